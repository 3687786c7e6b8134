// Shift-JIS (code page 932) on every system: the same bytes read as the same
// text on Linux (Qt with ICU) and on Windows (the system's conversion, with
// any ANSI code page), faults included.
#include "base/ShiftJis.h"

#include <QCryptographicHash>
#include <gtest/gtest.h>

namespace {

struct DecodeCase {
    const char* name;
    QByteArray bytes;
    QString text;
};

class ShiftJisDecodeTest : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(ShiftJisDecodeTest, ReadsTheText)
{
    EXPECT_EQ(ShiftJis::Decode(GetParam().bytes), GetParam().text);
}

QByteArray Bytes(const char* bytes, qsizetype size) { return QByteArray(bytes, size); }

INSTANTIATE_TEST_SUITE_P(
    Cases, ShiftJisDecodeTest,
    ::testing::Values(
        DecodeCase{"AsciiWithNul", Bytes("a\0b\\~\r\n", 7), QString::fromUtf16(u"a\0b\\~\r\n", 7)},
        DecodeCase{"Header", Bytes("\x93\xfa\x95\x74,\x8f\x49\x92\x6c", 9), QString::fromUtf16(u"日付,終値")},
        DecodeCase{"HalfWidthKatakana", Bytes("\xcc\xdf\xdb\xb8\xde\xd7\xd1", 7), QString::fromUtf16(u"ﾌﾟﾛｸﾞﾗﾑ")},
        // Code page 932's own readings and extensions: the full-width
        // backslash and tilde, NEC's circled digits, NEC's selection of
        // IBM's kanji, IBM's roman numerals, the user-defined area.
        DecodeCase{"WindowsReadings", Bytes("\x81\x5f\x81\x60\x81\x61\x81\x7c", 8), QString::fromUtf16(u"＼～∥－")},
        DecodeCase{"Extensions", Bytes("\x87\x40\xed\x40\xfa\x40\xf0\x40", 8),
                   QString::fromUtf16(u"①\u7e8aⅰ\ue000")},
        DecodeCase{"BytesThatStartNothing", Bytes("\x80" "a\xa0\xfd\xfe\xff", 6),
                   QString::fromUtf16(u"\u001aa\u001a\u001a\u001a\u001a")},
        DecodeCase{"LeadWithoutTrail", Bytes("\x82 b\x82\n\x82\xff" "c", 8),
                   QString::fromUtf16(u"\u001a b\u001a\n\u001a\u001ac")},
        DecodeCase{"LeadBeforeLead", Bytes("\x82\x82\xa0", 3), QString::fromUtf16(u"ｂ\u001a")},
        DecodeCase{"UnassignedPairs", Bytes("x\x85\x40\xef\x40\x81\xad" "y", 8),
                   QString::fromUtf16(u"x\ufffd\ufffd\ufffdy")},
        DecodeCase{"LeadAtTheEndIsDropped", Bytes("\x82\xa0\x82", 3), QString::fromUtf16(u"あ")},
        DecodeCase{"Empty", QByteArray(), QString()}),
    [](const auto& info) { return std::string(info.param.name); });

// Every two-byte sequence of a lead byte and a byte that may follow it, read
// one by one: the code page's whole table.  Its fingerprint is the same on
// every system; a changed mapping anywhere changes it.
TEST(ShiftJisTableTest, EveryPairReadsAsTheCodePageSays)
{
    QString all;
    int unassigned = 0;
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
        if (lead >= 0xA0 && lead <= 0xDF)
            continue;
        for (int trail = 0x40; trail <= 0xFC; ++trail) {
            if (trail == 0x7F)
                continue;
            const char pair[2] = {char(lead), char(trail)};
            const QString text = ShiftJis::Decode(QByteArrayView(pair, 2));
            ASSERT_EQ(text.size(), 1) << std::hex << lead << trail;
            unassigned += text[0] == QChar(0xFFFD);
            all += text;
        }
    }
    // 7,724 characters and the 1,880 of the user-defined area.
    EXPECT_EQ(all.size() - unassigned, 9'604);
    const QByteArray hash = QCryptographicHash::hash(
        QByteArrayView(reinterpret_cast<const char*>(all.utf16()), all.size() * 2), QCryptographicHash::Sha256);
    EXPECT_EQ(hash.toHex().toStdString(), "c856e516b69a1342c242da81f4664ab112d7311b9e27f9575f3f6c4a700119f8");

    // The whole table at once reads the same as pair by pair.
    QByteArray bytes;
    for (int lead = 0x81; lead <= 0xFC; ++lead)
        for (int trail = 0x40; trail <= 0xFC; ++trail)
            if (!(lead >= 0xA0 && lead <= 0xDF) && trail != 0x7F)
                bytes.append(char(lead)).append(char(trail));
    EXPECT_EQ(ShiftJis::Decode(bytes), all);
}

TEST(ShiftJisEncodeTest, WritesWhatDecodeReads)
{
    const QString text = QStringLiteral("日付,終値,ﾌﾟﾛｸﾞﾗﾑ ①ⅰ＼～ \\~\r\n");
    const QByteArray bytes = ShiftJis::Encode(text);
    EXPECT_EQ(bytes, QByteArray("\x93\xfa\x95\x74,\x8f\x49\x92\x6c,\xcc\xdf\xdb\xb8\xde\xd7\xd1 \x87\x40\xfa\x40"
                                "\x81\x5f\x81\x60 \\~\r\n"));
    EXPECT_EQ(ShiftJis::Decode(bytes), text);
    EXPECT_TRUE(ShiftJis::Encode(QString()).isEmpty());
}

}  // namespace
