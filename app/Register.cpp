// The settings page and the run register AYFS: loading the last registered
// run, the register grid, the next run number and the registration itself.
#include "app/BrelvanU.h"

#include "base/Errors.h"
#include "db/Data.h"

#include <QLabel>
#include <QLineEdit>
#include <limits>

namespace {

// The edits of the settings page in the register's column order (after CNT,
// which the label c11cntL shows), with the text an empty value is replaced by.
struct TPageField {
    TSetting Field;
    const char* Column;
    const char* Default;
};

const TPageField kPageFields[] = {
    {TSetting::DT, "DT", ""},
    {TSetting::TF, "TF", ""},
    {TSetting::DN, "DN", ""},
    {TSetting::LNN, "LNN", "400"},
    {TSetting::LNR, "LNR", "0.005"},
    {TSetting::LYIPN, "LYIPN", "7"},
    {TSetting::LYM1N, "LYM1N", "7"},
    {TSetting::LYM2N, "LYM2N", "3"},
    {TSetting::LYOPN, "LYOPN", "2"},
    {TSetting::LNTM, "LNTM", ""},
    {TSetting::MSE, "MSE", ""},
    {TSetting::TYO, "TYO", ""},
};

QString NotInCatalogue() { return QStringLiteral("ﾃｰﾌﾞﾙ構造に AYFS がありません"); }

}  // namespace

void TBrelvanF::udc(std::int32_t id)
{
    stdb = QStringLiteral("csq");
    swh.clear();
    stnm = QStringLiteral("AYFS");
    if (id != 1)
        return;
    uqc(1);
    // On an empty register every value reads as empty text.
    const TQuery& qc = dm->qc;
    const bool hasRow = qc.RecNo() >= 0;
    const auto value = [&](const char* column) {
        return hasRow ? qc.FieldText(QString::fromLatin1(column)) : QString();
    };
    c11cntL->setText(value("CNT"));
    for (const TPageField& field : kPageFields) {
        QLineEdit* edit = SettingEdit(field.Field);
        edit->setText(value(field.Column));
        if (edit->text().isEmpty())
            edit->setText(QString::fromLatin1(field.Default));
    }
}

void TBrelvanF::uqc(std::int32_t id)
{
    stdb = QStringLiteral("csq");
    stnm = QStringLiteral("AYFS");
    switch (id) {
    case 1: {   // the register grid over every run, on the last
        TQuery& qc = dm->qc;
        qc.Close();
        qc.SetConnection(dm->csq);
        swh.clear();
        ucSql(1);
        if (sqw.isEmpty())   // the look-up has said that the catalogue does not list AYFS
            throw EDatabaseError(QStringLiteral("登録の一覧を開けません: ") + NotInCatalogue());
        qc.SetSQL(sqw);
        qc.Open();
        TQuery& columns = dm->qst;
        int field = 0;
        for (columns.First(); !columns.Eof() && field < qc.FieldCount(); columns.Next(), ++field)
            qc.SetDisplayWidth(field, columns.FieldByName(QStringLiteral("DPW")).toInt());
        qc.Last();
        return;
    }
    case 2: {   // register the page as a new run
        uqc(4);
        uqc(5);
        swh.clear();
        ucSql(2);
        if (sqw.isEmpty())
            throw EDatabaseError(QStringLiteral("登録できませんでした: ") + NotInCatalogue());
        uexSql();
        const bool inserted = LastSqlOk;
        const QString reason = LastSqlError;
        uqc(1);
        if (!inserted)
            throw EDatabaseError(QStringLiteral("登録できませんでした: %1").arg(reason));
        return;
    }
    case 4: {   // the next run number
        sqw = QStringLiteral("select Max(cnt) as cnt from AYFS");
        TQuery& qw = dm->qw;
        qw.SetConnection(dm->csq);
        qw.SetSQL(sqw);
        qw.Open();
        const QString last = qw.FieldText(QStringLiteral("cnt"));
        qw.Close();
        std::int32_t next = 1;
        if (!last.isEmpty()) {
            const std::int32_t highest = StrToInt(last);
            if (highest == std::numeric_limits<std::int32_t>::max())
                throw ERangeError(QStringLiteral("登録番号 %1 の次の番号を付けられません").arg(last));
            next = highest + 1;
        }
        c11cntL->setText(QString::number(next));
        return;
    }
    case 5: {   // the page into the value slots, in column order
        sa[11] = c11cntL->text();
        int slot = 12;
        for (const TPageField& field : kPageFields)
            sa[slot++] = Setting(field.Field);
        return;
    }
    default:
        return;
    }
}

void TBrelvanF::c24rgBClick()
{
    RequireDatabase();
    uqc(2);
}
