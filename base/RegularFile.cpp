#include "base/RegularFile.h"

#include "base/SystemErrors.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#ifdef Q_OS_WIN
#include <QDir>
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

// ---- The system's calls, one small function each --------------------------

#ifdef Q_OS_WIN

// Names go to the wide API, so that any name works whatever the code page.
using TStatus = struct _stat64;
const wchar_t* Wide(const QString& native) { return reinterpret_cast<const wchar_t*>(native.utf16()); }
int StatusOf(const QString& path, TStatus& info) { return ::_wstat64(Wide(QDir::toNativeSeparators(path)), &info); }
int OpenForReading(const QString& path)
{
    return ::_wopen(Wide(QDir::toNativeSeparators(path)), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
}
int StatusOf(int fd, TStatus& info) { return ::_fstat64(fd, &info); }
void Close(int fd) { ::_close(fd); }

#else

using TStatus = struct stat;
int StatusOf(const QString& path, TStatus& info) { return ::stat(QFile::encodeName(path).constData(), &info); }
// Without blocking: a FIFO would wait for a writer.
int OpenForReading(const QString& path)
{
    return ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
}
int StatusOf(int fd, TStatus& info) { return ::fstat(fd, &info); }
void Close(int fd) { ::close(fd); }

#endif

TPathKind KindOfMode(unsigned mode)
{
    if (S_ISREG(mode))
        return TPathKind::Regular;
    if (S_ISDIR(mode))
        return TPathKind::Directory;
    if (S_ISFIFO(mode))
        return TPathKind::Fifo;
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return TPathKind::Device;
#ifdef S_ISSOCK
    if (S_ISSOCK(mode))
        return TPathKind::Socket;
#endif
    return TPathKind::Other;
}

// The system's error numbers in Japanese, in the words of a read.
QString ErrorText(int error)
{
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return PathKindText(TPathKind::Missing);
    case EACCES:
    case EPERM:
        return QStringLiteral("読み取りの権限がありません");
    case EIO:
        return QStringLiteral("読み取り中に入出力エラーが起きました");
    default:
        return SystemErrorText(error);
    }
}

}  // namespace

TPathKind PathKindOf(const QString& path, QString* reason)
{
    TStatus info {};
    if (StatusOf(path, info) == 0)
        return KindOfMode(info.st_mode);
    const int error = errno;
    if (error == ENOENT || error == ENOTDIR)
        return TPathKind::Missing;
    if (reason)
        *reason = ErrorText(error);
    return TPathKind::Other;
}

QString PathKindText(TPathKind kind)
{
    switch (kind) {
    case TPathKind::Missing:
        return QStringLiteral("ファイルがありません");
    case TPathKind::Regular:
        return QStringLiteral("通常のファイルです");
    case TPathKind::Directory:
        return QStringLiteral("通常のファイルではなくディレクトリです");
    case TPathKind::Fifo:
        return QStringLiteral("通常のファイルではなく名前付きパイプ (FIFO) です");
    case TPathKind::Device:
        return QStringLiteral("通常のファイルではなくデバイスです");
    case TPathKind::Socket:
        return QStringLiteral("通常のファイルではなくソケットです");
    case TPathKind::Other:
        break;
    }
    return QStringLiteral("通常のファイルではありません");
}

std::optional<QByteArray> ReadRegularFile(const QString& path, QString& reason)
{
    reason.clear();
    const TPathKind kind = PathKindOf(path, &reason);
    if (kind != TPathKind::Regular) {
        if (reason.isEmpty())
            reason = PathKindText(kind);
        return std::nullopt;
    }
    // The name may have been replaced since it was looked at: checked once
    // more by what is open.
    const int fd = OpenForReading(path);
    if (fd < 0) {
        reason = ErrorText(errno);
        return std::nullopt;
    }
    TStatus info {};
    if (StatusOf(fd, info) != 0 || !S_ISREG(info.st_mode)) {
        reason = PathKindText(KindOfMode(info.st_mode));
        Close(fd);
        return std::nullopt;
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        Close(fd);
        reason = QStringLiteral("開けません");
        return std::nullopt;
    }
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        const int errnum = ErrnoOfText(file.errorString());
        reason = ErrorText(errnum != 0 ? errnum : EIO);
        return std::nullopt;
    }
    return bytes;
}
