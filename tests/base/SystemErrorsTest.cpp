// The system's errors in Japanese: each error a user can meet has its own
// text, and a library's English text of it is recognised and kept after it.
#include "base/SystemErrors.h"
#include "support/PrintQString.h"

#include <QFile>
#include <QtGlobal>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

namespace {

QString CText(int errnum) { return QString::fromLocal8Bit(std::strerror(errnum)); }

TEST(SystemErrors, EachErrorTheUserMeetsHasItsOwnText)
{
    struct TCase {
        int Errnum;
        const char* Text;
    };
    const TCase cases[] = {
        {EACCES, "アクセスの権限がありません"},
        {EPERM, "アクセスの権限がありません"},
        {ENOENT, "ファイルまたはフォルダがありません"},
        {EISDIR, "通常のファイルではなくディレクトリです"},
        {ENOSPC, "ディスクの空き容量が足りません"},
        {EDQUOT, "ディスクの空き容量が足りません"},
        {EROFS, "読み取り専用のドライブには書き込めません"},
        {EIO, "入出力エラーが起きました"},
        {EFBIG, "ファイルが大きすぎます"},
        {EMFILE, "開いているファイルが多すぎます"},
        {ELOOP, "シンボリックリンクが循環しています"},
        {EBUSY, "ファイルが使用中です"},
        {EPIPE, "システムエラー (errno 32)"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Errnum);
        EXPECT_EQ(SystemErrorText(c.Errnum), QString::fromUtf8(c.Text));
        // The C library's and Qt's texts of a number with a text of its own are recognised.
        const int named = c.Errnum == EPIPE ? 0 : c.Errnum;
        EXPECT_EQ(ErrnoOfText(CText(c.Errnum)), named);
        EXPECT_EQ(ErrnoOfText(qt_error_string(c.Errnum)), named);
    }
}

TEST(SystemErrors, AReasonIsJapaneseWithTheLibrarysTextAfterIt)
{
    EXPECT_EQ(SystemReason(CText(ENOSPC), "他の理由"), "ディスクの空き容量が足りません (" + CText(ENOSPC) + ")");
    EXPECT_EQ(SystemReason(" " + CText(EACCES) + " ", "他の理由"), "アクセスの権限がありません (" + CText(EACCES) + ")");
    EXPECT_EQ(SystemReason("Unknown error", "他の理由"), "他の理由 (Unknown error)");
    EXPECT_EQ(SystemReason("", "他の理由"), "他の理由");

    // What Qt says of a file it cannot open is one of them.
    QFile folder(QStringLiteral("/"));
    ASSERT_FALSE(folder.open(QIODevice::WriteOnly));
    EXPECT_FALSE(SystemReason(folder.errorString(), "他の理由").startsWith("他の理由")) << folder.errorString().toStdString();
}

}  // namespace
