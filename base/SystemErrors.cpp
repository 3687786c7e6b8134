#include "base/SystemErrors.h"

#include <QtGlobal>
#include <cerrno>
#include <cstring>
#include <utility>
#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {

// The numbers that have a text of their own, in the order they are looked for.
// (Windows' C runtime has no EDQUOT: disk quotas report ENOSPC there.)
const int kNamedErrors[] = {EACCES, EPERM,  ENOENT, ENOTDIR, EISDIR, ENOSPC,
#ifdef EDQUOT
                            EDQUOT,
#endif
                            EROFS,  EIO,    EFBIG,  EMFILE,  ENFILE, ENOMEM, ELOOP, ENAMETOOLONG, EBUSY, ETXTBSY, EXDEV};

// A number no system gives an error, for the C library's text of an unknown one.
constexpr int kNoSuchErrno = 29999;

#ifdef Q_OS_WIN
// On Windows Qt's file errors are the system's texts of Windows error codes
// (qt_error_string takes such a code there, not an errno): each code a user
// can meet, with the error number of the same meaning.
const std::pair<DWORD, int> kWindowsErrors[] = {
    {ERROR_ACCESS_DENIED, EACCES},      {ERROR_FILE_NOT_FOUND, ENOENT},    {ERROR_PATH_NOT_FOUND, ENOENT},
    {ERROR_DISK_FULL, ENOSPC},          {ERROR_HANDLE_DISK_FULL, ENOSPC},  {ERROR_WRITE_PROTECT, EROFS},
    {ERROR_SHARING_VIOLATION, EBUSY},   {ERROR_LOCK_VIOLATION, EBUSY},     {ERROR_TOO_MANY_OPEN_FILES, EMFILE},
    {ERROR_NOT_ENOUGH_MEMORY, ENOMEM},  {ERROR_OUTOFMEMORY, ENOMEM},       {ERROR_FILENAME_EXCED_RANGE, ENAMETOOLONG},
    {ERROR_NOT_SAME_DEVICE, EXDEV},     {ERROR_IO_DEVICE, EIO},            {ERROR_CRC, EIO},
};
#endif

}  // namespace

QString SystemErrorText(int errnum)
{
    switch (errnum) {
    case EACCES:
    case EPERM: return QStringLiteral("アクセスの権限がありません");
    case ENOENT:
    case ENOTDIR: return QStringLiteral("ファイルまたはフォルダがありません");
    case EISDIR: return QStringLiteral("通常のファイルではなくディレクトリです");
#ifdef EDQUOT
    case EDQUOT:
#endif
    case ENOSPC: return QStringLiteral("ディスクの空き容量が足りません");
    case EROFS: return QStringLiteral("読み取り専用のドライブには書き込めません");
    case EIO: return QStringLiteral("入出力エラーが起きました");
    case EFBIG: return QStringLiteral("ファイルが大きすぎます");
    case EMFILE:
    case ENFILE: return QStringLiteral("開いているファイルが多すぎます");
    case ENOMEM: return QStringLiteral("メモリが足りません");
    case ELOOP: return QStringLiteral("シンボリックリンクが循環しています");
    case ENAMETOOLONG: return QStringLiteral("パスが長すぎます");
    case EBUSY:
    case ETXTBSY: return QStringLiteral("ファイルが使用中です");
    case EXDEV: return QStringLiteral("別のドライブへは移せません");
    default: return QStringLiteral("システムエラー (errno %1)").arg(errnum);
    }
}

int ErrnoOfText(const QString& text)
{
    const QString wanted = text.trimmed();
    if (wanted.isEmpty())
        return 0;
    // A C library without a text of its own for a number (Windows' has none
    // for ELOOP or ETXTBSY) gives it the text of every unknown number.
    const QString unknown = QString::fromLocal8Bit(std::strerror(kNoSuchErrno)).trimmed();
    for (int errnum : kNamedErrors) {
        const QString c = QString::fromLocal8Bit(std::strerror(errnum)).trimmed();
        if (wanted == c && c != unknown)
            return errnum;
#ifndef Q_OS_WIN
        if (wanted == qt_error_string(errnum).trimmed())
            return errnum;
#endif
    }
#ifdef Q_OS_WIN
    for (const auto& [code, errnum] : kWindowsErrors) {
        if (wanted == qt_error_string(int(code)).trimmed())
            return errnum;
    }
#endif
    return 0;
}

QString SystemReason(const QString& text, const QString& otherwise)
{
    const QString original = text.trimmed();
    const int errnum = ErrnoOfText(original);
    const QString reason = errnum != 0 ? SystemErrorText(errnum) : otherwise;
    return original.isEmpty() ? reason : reason + QStringLiteral(" (") + original + QLatin1Char(')');
}
