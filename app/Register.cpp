// The settings page and the run register AYFS with its companion AYKS (each
// run's hold-out days, seed and hold-out figures, found by the run number):
// loading the last registered run, the register grid over both, the next run
// number and the registration itself, both rows or neither.
#include "app/BrelvanU.h"

#include "base/Errors.h"
#include "db/CatalogueCache.h"
#include "db/Data.h"
#include "db/Transaction.h"
#include "prices/PriceTexts.h"

#include <QLabel>
#include <QLineEdit>
#include <algorithm>
#include <iterator>
#include <limits>
#include <vector>

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

// The fields of AYKS after its CNT, the run number it shares with AYFS.  A
// run registered before AYKS existed has none of them: they read as empty.
const TPageField kDetailFields[] = {
    {TSetting::VLDN, "VLDN", ""},
    {TSetting::RSD, "RSD", ""},
    {TSetting::VMAE, "VMAE", ""},
    {TSetting::BMAE, "BMAE", ""},
    {TSetting::VRMSE, "VRMSE", ""},
    {TSetting::BRMSE, "BRMSE", ""},
    {TSetting::VHIT, "VHIT", ""},
};

// The fields the user types into.
constexpr TSetting kTypedFields[] = {TSetting::LNN, TSetting::LYIPN, TSetting::LYOPN, TSetting::TYO,
                                     TSetting::VLDN, TSetting::RSD};

const QString kDetail = QStringLiteral("AYKS");
const QString kKey = QStringLiteral("CNT");

QString NotInCatalogue(const QString& table) { return QStringLiteral("ﾃｰﾌﾞﾙ構造に %1 がありません").arg(table); }

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
    const auto fill = [&](const TPageField& field) {
        QLineEdit* edit = SettingEdit(field.Field);
        edit->setText(value(field.Column));
        if (edit->text().isEmpty())
            edit->setText(QString::fromLatin1(field.Default));
    };
    for (const TPageField& field : kPageFields)
        fill(field);
    for (const TPageField& field : kDetailFields)
        fill(field);
    LimitTypedLengths();
}

// Each edit the user types into takes no more characters than its text
// column holds, so that nothing typed is cut when it is registered.  A
// longer text the register already holds (written by another program)
// stays whole, for the start-up to refuse by its value.
void TBrelvanF::LimitTypedLengths()
{
    const auto limit = [this](const QString& table, const auto& fields) {
        stnm = table;
        const TCatalogueCache catalogue(*this);
        for (const TColumnRow& column : catalogue.Columns()) {
            for (const TPageField& field : fields) {
                const bool typed = std::find(std::begin(kTypedFields), std::end(kTypedFields), field.Field)
                                != std::end(kTypedFields);
                if (!typed || !column.Text || column.Ln <= 0
                    || column.Name.compare(QLatin1String(field.Column), Qt::CaseInsensitive) != 0)
                    continue;
                SettingEdit(field.Field)->setMaxLength(std::max(column.Ln, int(SettingEdit(field.Field)->text().size())));
                if (field.Field == TSetting::TYO)
                    fRemarkLength = column.Ln;
            }
        }
    };
    limit(QStringLiteral("AYFS"), kPageFields);
    limit(kDetail, kDetailFields);
    stnm = QStringLiteral("AYFS");
}

void TBrelvanF::uqc(std::int32_t id)
{
    stdb = QStringLiteral("csq");
    stnm = QStringLiteral("AYFS");
    switch (id) {
    case 1: {   // the register grid over every run with its figures, on the last
        TQuery& qc = dm->qc;
        qc.Close();
        qc.SetConnection(dm->csq);
        swh.clear();
        std::vector<int> widths;
        // The look-up has said so when the catalogue does not list a table.
        if (const QString missing = ucSqlDetail(kDetail, kKey, widths); !missing.isEmpty())
            throw EDatabaseError(QStringLiteral("登録の一覧を開けません: ") + NotInCatalogue(missing));
        qc.SetSQL(sqw);
        qc.Open();
        for (int field = 0; field < int(widths.size()) && field < qc.FieldCount(); ++field)
            qc.SetDisplayWidth(field, widths[std::size_t(field)]);
        qc.Last();
        return;
    }
    case 2: {   // register the page as a new run: its row of AYFS and of AYKS, or neither
        uqc(4);
        uqc(5);
        swh.clear();
        ucSql(2);
        const QString run = sqw;
        if (run.isEmpty())
            throw EDatabaseError(QStringLiteral("登録できませんでした: ") + NotInCatalogue(stnm));
        uqc(6);
        stnm = kDetail;
        ucSql(2);
        const QString detail = sqw;
        if (detail.isEmpty())
            throw EDatabaseError(QStringLiteral("登録できませんでした: ") + NotInCatalogue(stnm));
        stnm = QStringLiteral("AYFS");
        bool inserted = false;
        QString reason;
        {
            TTransaction transaction(dm->Csq());
            for (const QString& statement : {run, detail}) {
                sqw = statement;
                uexSql();
                if (!LastSqlOk)
                    break;
            }
            inserted = LastSqlOk;
            reason = LastSqlError;
            if (inserted)
                transaction.Commit();
        }
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
    case 6: {   // the page's fields of AYKS into the value slots, in column order
        sa[11] = c11cntL->text();
        int slot = 12;
        for (const TPageField& field : kDetailFields)
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
    CheckTypedSettings();
    // Checked numbers fit their columns; a remark longer than its column is
    // refused rather than cut when it is stored.
    if (fRemarkLength > 0 && c23tyoE->text().size() > fRemarkLength)
        throw ERangeError(TextTooLongText(c23tyoL->text(), int(c23tyoE->text().size()), fRemarkLength));
    NoteOutputsBeyondColumns(StrToInt(Setting(TSetting::LYOPN)));
    uqc(2);
}
