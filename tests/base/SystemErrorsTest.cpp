// The system's errors in Japanese: each error a user can meet has its own
// text, and a library's English text of it is recognised and kept after it.
#include "base/SystemErrors.h"
#include "support/PrintQString.h"

#include <QFile>
#include <QtGlobal>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <utility>
#ifdef _WIN32
#include <windows.h>
#endif

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
#ifdef EDQUOT
        {EDQUOT, "ディスクの空き容量が足りません"},
#endif
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
        // (Windows' C library has no text of its own for ELOOP: its "Unknown error" stands for nothing.)
        const bool hasText = CText(c.Errnum) != CText(29999);
        const int named = c.Errnum == EPIPE || !hasText ? 0 : c.Errnum;
        EXPECT_EQ(ErrnoOfText(CText(c.Errnum)), named);
#ifndef _WIN32
        EXPECT_EQ(ErrnoOfText(qt_error_string(c.Errnum)), named);
#endif
    }
}

#ifdef _WIN32
// Qt's texts on Windows are those of Windows error codes: recognised by
// their meaning, never by a number that means something else as an errno
// (13, ERROR_INVALID_DATA, is EACCES's number).
TEST(SystemErrors, WindowsErrorCodesOfQtsTextsAreRecognisedByTheirMeaning)
{
    const std::pair<int, int> cases[] = {{ERROR_ACCESS_DENIED, EACCES},
                                         {ERROR_FILE_NOT_FOUND, ENOENT},
                                         {ERROR_DISK_FULL, ENOSPC},
                                         {ERROR_SHARING_VIOLATION, EBUSY},
                                         {ERROR_INVALID_DATA, 0}};
    for (const auto& [code, errnum] : cases) {
        SCOPED_TRACE(code);
        EXPECT_EQ(ErrnoOfText(qt_error_string(code)), errnum);
    }
}
#endif

TEST(SystemErrors, AReasonIsJapaneseWithTheLibrarysTextAfterIt)
{
    EXPECT_EQ(SystemReason(CText(ENOSPC), "他の理由"), "ディスクの空き容量が足りません (" + CText(ENOSPC) + ")");
    EXPECT_EQ(SystemReason(" " + CText(EACCES) + " ", "他の理由"), "アクセスの権限がありません (" + CText(EACCES) + ")");
    EXPECT_EQ(SystemReason("Unknown error", "他の理由"), "他の理由 (Unknown error)");
    EXPECT_EQ(SystemReason(CText(29999), "他の理由"), "他の理由 (" + CText(29999) + ")");
    EXPECT_EQ(SystemReason("", "他の理由"), "他の理由");

    // What Qt says of a file it cannot open is one of them.
    QFile folder(QStringLiteral("/"));
    ASSERT_FALSE(folder.open(QIODevice::WriteOnly));
    EXPECT_FALSE(SystemReason(folder.errorString(), "他の理由").startsWith("他の理由")) << folder.errorString().toStdString();
}

}  // namespace
