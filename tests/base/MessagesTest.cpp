// The default error handler: what it shows for the program's errors and for
// the standard library's, which speak English.
#include "base/Errors.h"
#include "base/Messages.h"
#include "support/PrintQString.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <vector>

TEST(DefaultHandler, ShowsEveryErrorInJapanese)
{
    QStringList shown;
    const TMessageSink previous = SetMessageSink([&](const QString& text) { shown << text; });
    const int before = UnhandledErrorCount();
    Guarded([] { throw EFileError(QStringLiteral("CSV ﾌｧｲﾙを開けません: 読み取りの権限がありません")); });
    Guarded([] { throw std::bad_alloc(); });
    Guarded([] { std::vector<int>().at(3); });
    Guarded([] { throw 42; });
    SetMessageSink(previous);
    ASSERT_EQ(shown.size(), 4);
    EXPECT_EQ(shown[0], "CSV ﾌｧｲﾙを開けません: 読み取りの権限がありません");
    EXPECT_EQ(shown[1], "メモリが足りません");
    EXPECT_TRUE(shown[2].startsWith("予期しないエラーが発生しました (vector::_M_range_check")) << shown[2].toStdString();
    EXPECT_EQ(shown[3], "予期しないエラーが発生しました");
    EXPECT_EQ(UnhandledErrorCount(), before + 4);
}
