#include "base/Console.h"

#include <QByteArray>

#ifdef Q_OS_WIN
#include <io.h>
#include <windows.h>
#endif

bool WriteText(std::FILE* stream, const QString& text)
{
    if (std::fflush(stream) != 0)
        return false;
#ifdef Q_OS_WIN
    const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(stream)));
    DWORD mode = 0;
    if (handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode)) {
        const auto* units = reinterpret_cast<const wchar_t*>(text.utf16());
        for (qsizetype done = 0; done < text.size();) {
            DWORD written = 0;
            const auto count = DWORD(qMin<qsizetype>(text.size() - done, 16384));
            if (!::WriteConsoleW(handle, units + done, count, &written, nullptr) || written == 0)
                return false;
            done += written;
        }
        return true;
    }
#endif
    const QByteArray bytes = text.toUtf8();
    const std::size_t written = std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stream);
    return std::fflush(stream) == 0 && written == std::size_t(bytes.size());
}
