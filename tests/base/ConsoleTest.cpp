// Text for a stream that is no console (a file, as when the output is
// redirected): UTF-8 bytes, whole and flushed, on every system.
#include "base/Console.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

TEST(ConsoleTest, AFileReceivesUtf8)
{
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::tmpfile(), &std::fclose);
    ASSERT_TRUE(file);
    const QString text = QStringLiteral("1件 読込終了\nﾃﾞｰﾀ 予測1: 2,881.19\n");
    EXPECT_TRUE(WriteText(file.get(), text));
    EXPECT_TRUE(WriteText(file.get(), QString()));
    std::rewind(file.get());
    std::string bytes(256, '\0');
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file.get()));
    EXPECT_EQ(bytes, text.toStdString());
}
