// Whole-file saves: the new bytes replace the file only once they are all
// written; every failure names the file and the reason in Japanese and
// leaves the former file, and nothing else, in the folder.
#include "base/Errors.h"
#include "base/SaveFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/resource.h>

namespace {

QByteArray Contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

QStringList Entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

// The message of a save expected to fail.
QString Failure(const QString& fileName, const QByteArray& bytes)
{
    try {
        SaveWholeFile(fileName, bytes);
    } catch (const EFileError& e) {
        return e.Message();
    }
    return QStringLiteral("<saved>");
}

}  // namespace

TEST(SaveWholeFile, CreatesAndReplacesWithExactlyTheBytes)
{
    QTemporaryDir folder;
    const QString path = folder.filePath("t.csv");
    SaveWholeFile(path, QByteArray("\xEF\xBB\xBF" "a,b\r\n", 8));
    EXPECT_EQ(Contents(path), QByteArray("\xEF\xBB\xBF" "a,b\r\n", 8));
    SaveWholeFile(path, QByteArray());
    EXPECT_EQ(Contents(path), QByteArray());
    EXPECT_EQ(Entries(folder.path()), QStringList{"t.csv"});
}

TEST(SaveWholeFile, RefusesWhatCannotBeAFileAndSaysWhy)
{
    QTemporaryDir folder;
    ASSERT_TRUE(QDir(folder.path()).mkdir("sub"));
    const QString sub = folder.filePath("sub");
    const QString missing = folder.filePath("none/t.csv");
    EXPECT_EQ(Failure(sub, "x"), sub + " に保存できませんでした: 同じ名前のフォルダがあります");
    EXPECT_EQ(Failure(missing, "x"), missing + " に保存できませんでした: 保存先のフォルダがありません");
    EXPECT_EQ(Failure("", "x"), " に保存できませんでした: ファイル名がありません");
    // Not even root may create a file here.
    EXPECT_TRUE(Failure("/proc/brelvan.csv", "x").startsWith("/proc/brelvan.csv に保存できませんでした: "));
    EXPECT_EQ(Entries(folder.path()), QStringList{"sub"});
}

TEST(SaveWholeFile, AWriteTheSystemRefusesHalfwayKeepsTheFormerFile)
{
    QTemporaryDir folder;
    const QString path = folder.filePath("t.csv");
    SaveWholeFile(path, "former");

    // Files of this process may grow to 64 KiB only (root included).
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 64 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const QString message = Failure(path, QByteArray(1 << 20, 'x'));
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_EQ(message, path + " に保存できませんでした: 書き込めませんでした: ファイルが大きすぎます ("
                           + QString::fromLocal8Bit(std::strerror(EFBIG)) + ")");
    EXPECT_EQ(Contents(path), "former");
    EXPECT_EQ(Entries(folder.path()), QStringList{"t.csv"});
}
