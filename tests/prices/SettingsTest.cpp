// The settings the user types, read as the commands read them: a table of
// texts an input method or a careless hand may give, and the check that
// "読込学習" and "登録(&R)" make before anything changes.
#include "support/ControllerFixture.h"
#include "support/PriceStandIn.h"

#include "base/Errors.h"
#include "prices/PriceTexts.h"
#include "prices/Settings.h"

#include <gtest/gtest.h>

namespace {

const char kPassesRefused[] = "は 0 から 99999999 までの整数で指定してください (0 なら読込だけで学習しません)";

TEST(TypedSettings, TrainingCountsFromZeroToEightDigits)
{
    struct TCase {
        const char* Text;
        std::int32_t Count;   // -1: refused
    };
    const TCase cases[] = {
        {"400", 400},           {"0", 0},              {"99999999", 99999999}, {" 400 ", 400},
        {"+5", 5},              {"４００", 400},       {"　４００　", 400},    {"\t12\n", 12},
        {"９９９９９９９９", 99999999},                 {"00000400", 400},
        {"100000000", -1},      {"123456789", -1},     {"-1", -1},             {"－１", -1},
        {"abc", -1},            {"ａｂｃ", -1},        {"", -1},               {"　", -1},
        {"4 00", -1},           {"4.0", -1},           {"1e3", -1},            {"4００x", -1},
        {"99999999999", -1},    {"٤٠٠", -1},
    };
    for (const TCase& c : cases) {
        const QString text = QString::fromUtf8(c.Text);
        SCOPED_TRACE(c.Text);
        if (c.Count >= 0) {
            EXPECT_EQ(TrainingCountFromText(text), c.Count);
            continue;
        }
        try {
            TrainingCountFromText(text);
            ADD_FAILURE() << "accepted";
        } catch (const EBrelvanError& e) {
            EXPECT_EQ(e.Message(), QStringLiteral("学習数 '%1' ").arg(text) + QString::fromUtf8(kPassesRefused));
        }
    }
}

TEST(TypedSettings, NormalisesAsNfkcAndDropsTheBlanksAround)
{
    EXPECT_EQ(TypedSetting(QStringLiteral("　＋１２３　")), QStringLiteral("+123"));
    EXPECT_EQ(TypedSetting(QStringLiteral(" ｱｲｳ ")), QStringLiteral("アイウ"));
    EXPECT_EQ(TypedSetting(QStringLiteral("1 2")), QStringLiteral("1 2"));
    EXPECT_EQ(TypedWholeNumber(QStringLiteral("－１２")), -12);
    EXPECT_THROW(TypedWholeNumber(QStringLiteral("2147483648")), EConvertError);
}

class CheckTypedSettings : public ControllerFixture<TPriceStandIn> {
protected:
    void SetUp() override
    {
        ControllerFixture::SetUp();
        Create();
    }
    // What the check raises, or "" when it lets the settings through.
    QString Refusal()
    {
        try {
            form->CheckTypedSettings();
        } catch (const EBrelvanError& e) {
            return e.Message();
        }
        return QString();
    }
};

// The first refused setting is named with the message its reader shows, and
// nothing on the page changes; good settings are written back plainly.
TEST_F(CheckTypedSettings, RefusesTheFirstBadSettingBeforeAnythingChanges)
{
    struct TCase {
        TSetting Field;
        const char* Text;
        const char* Refusal;
    };
    const TCase cases[] = {
        {TSetting::LNN, "abc", "学習数 'abc' は 0 から 99999999 までの整数で指定してください (0 なら読込だけで学習しません)"},
        {TSetting::LNN, "123456789",
         "学習数 '123456789' は 0 から 99999999 までの整数で指定してください (0 なら読込だけで学習しません)"},
        {TSetting::VLDN, "-5", "検証日数 '-5' は 0 から 99999999 までの整数で指定してください (空欄か 0 なら検証しません)"},
        {TSetting::RSD, "x", "乱数シード 'x' は整数で指定してください (空欄なら時計の値を使います)"},
        {TSetting::LYIPN, "abc", "'abc' は整数ではありません"},
        {TSetting::LYIPN, "0", "入力層のﾆｭｰﾛﾝ数 '0' は 1 から 9999 までの整数で指定してください"},
        {TSetting::LYOPN, "10000", "出力層のﾆｭｰﾛﾝ数 '10000' は 1 から 9999 までの整数で指定してください"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Text);
        form->Settings[TSetting::LNN] = QStringLiteral("４００");
        form->Settings[c.Field] = QString::fromUtf8(c.Text);
        const auto before = form->Settings;
        EXPECT_EQ(Refusal(), QString::fromUtf8(c.Refusal));
        EXPECT_EQ(form->Settings, before);
        form->Settings = TPriceStandIn().Settings;
    }

    form->Settings[TSetting::LNN] = QStringLiteral("　４００ ");
    form->Settings[TSetting::VLDN] = QStringLiteral("２５０");
    form->Settings[TSetting::RSD] = QStringLiteral("－７");
    form->Settings[TSetting::LYIPN] = QStringLiteral("+10");
    form->Settings[TSetting::LYOPN] = QStringLiteral("３");
    EXPECT_EQ(Refusal(), QString());
    EXPECT_EQ(form->Settings[TSetting::LNN], "400");
    EXPECT_EQ(form->Settings[TSetting::VLDN], "250");
    EXPECT_EQ(form->Settings[TSetting::RSD], "-7");
    EXPECT_EQ(form->Settings[TSetting::LYIPN], "10");
    EXPECT_EQ(form->Settings[TSetting::LYOPN], "3");
    // Empty hold-out days and seed stay empty: no hold-out, the clock's seed.
    form->Settings[TSetting::VLDN] = QStringLiteral(" ");
    form->Settings[TSetting::RSD] = QString();
    EXPECT_EQ(Refusal(), QString());
    EXPECT_EQ(form->Settings[TSetting::VLDN], " ");
    EXPECT_EQ(form->Settings[TSetting::RSD], "");
}

}  // namespace
