#include "base/Console.h"

#include <QByteArray>

#ifdef Q_OS_WIN
#include <io.h>
#include <windows.h>
#endif

void WriteText(std::FILE* stream, const QString& text)
{
    std::fflush(stream);
#ifdef Q_OS_WIN
    const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(stream)));
    DWORD mode = 0;
    if (handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode)) {
        const auto* units = reinterpret_cast<const wchar_t*>(text.utf16());
        for (qsizetype done = 0; done < text.size();) {
            DWORD written = 0;
            const auto count = DWORD(qMin<qsizetype>(text.size() - done, 16384));
            if (!::WriteConsoleW(handle, units + done, count, &written, nullptr) || written == 0)
                return;
            done += written;
        }
        return;
    }
#endif
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stream);
    std::fflush(stream);
}
