#include "base/SystemErrors.h"

#include <QtGlobal>
#include <cerrno>
#include <cstring>

namespace {

// The numbers that have a text of their own, in the order they are looked for.
// (Windows' C runtime has no EDQUOT: disk quotas report ENOSPC there.)
const int kNamedErrors[] = {EACCES, EPERM,  ENOENT, ENOTDIR, EISDIR, ENOSPC,
#ifdef EDQUOT
                            EDQUOT,
#endif
                            EROFS,  EIO,    EFBIG,  EMFILE,  ENFILE, ENOMEM, ELOOP, ENAMETOOLONG, EBUSY, ETXTBSY, EXDEV};

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
    for (int errnum : kNamedErrors) {
        if (wanted == qt_error_string(errnum).trimmed()
            || wanted == QString::fromLocal8Bit(std::strerror(errnum)).trimmed())
            return errnum;
    }
    return 0;
}

QString SystemReason(const QString& text, const QString& otherwise)
{
    const QString original = text.trimmed();
    const int errnum = ErrnoOfText(original);
    const QString reason = errnum != 0 ? SystemErrorText(errnum) : otherwise;
    return original.isEmpty() ? reason : reason + QStringLiteral(" (") + original + QLatin1Char(')');
}
