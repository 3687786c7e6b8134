#include "base/SaveFile.h"

#include "base/Errors.h"
#include "base/SystemErrors.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace {

// Why the temporary file could not be made, in the user's terms; Qt's own
// text follows in brackets for the details.
QString OpenFailure(const QFileInfo& target, const QSaveFile& file)
{
    const QFileInfo folder(target.absolutePath());
    QString reason;
    if (target.exists() && !target.isWritable())
        reason = QStringLiteral("ファイルが書き込み禁止です");
    else if (!folder.isWritable())
        reason = QStringLiteral("フォルダ %1 に書き込む権限がありません").arg(QDir::toNativeSeparators(folder.filePath()));
    else
        return QStringLiteral("一時ファイルを作れません: ") + SystemReason(file.errorString(), QStringLiteral("原因不明のエラーです"));
    return reason + QStringLiteral(" (") + file.errorString() + QLatin1Char(')');
}

// A write or its completion that the system refused, with its reason.
QString WriteFailure(const QString& what, const QString& detail)
{
    return what + SystemReason(detail, QStringLiteral("ディスクの空き容量などを確かめてください"));
}

}  // namespace

QString SaveFailedText(const QString& fileName, const QString& reason)
{
    return QStringLiteral("%1 に保存できませんでした: %2").arg(QDir::toNativeSeparators(fileName), reason);
}

void CheckSaveTarget(const QString& fileName)
{
    const QFileInfo target(fileName);
    if (fileName.isEmpty())
        throw EFileError(SaveFailedText(fileName, QStringLiteral("ファイル名がありません")));
    if (target.isDir())
        throw EFileError(SaveFailedText(fileName, QStringLiteral("同じ名前のフォルダがあります")));
    if (!QFileInfo(target.absolutePath()).isDir())
        throw EFileError(SaveFailedText(fileName, QStringLiteral("保存先のフォルダがありません")));
}

void SaveWholeFile(const QString& fileName, const QByteArray& bytes)
{
    CheckSaveTarget(fileName);
    const QFileInfo target(fileName);
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        throw EFileError(SaveFailedText(fileName, OpenFailure(target, file)));
    // A short write is no error to Qt: the rest is written again until the
    // system refuses it, which then names its reason.
    for (qsizetype done = 0; done < bytes.size();) {
        const qint64 written = file.write(bytes.constData() + done, bytes.size() - done);
        if (written <= 0) {
            const QString detail = file.errorString();
            file.cancelWriting();
            throw EFileError(SaveFailedText(fileName, WriteFailure(QStringLiteral("書き込めませんでした: "), detail)));
        }
        done += written;
    }
    if (!file.commit())
        throw EFileError(
            SaveFailedText(fileName, WriteFailure(QStringLiteral("書き込みを完了できませんでした: "), file.errorString())));
}
