#include "db/Query.h"

#include "base/Errors.h"
#include "db/Connection.h"

#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>

#include <algorithm>

TQuery::TQuery(const QString& initialSql, QObject* parent) : QSqlQueryModel(parent), fSql(initialSql) {}

void TQuery::SetConnection(const QString& connectionName)
{
    Close();
    fConnection = connectionName;
}

void TQuery::SetPaged(bool paged)
{
    fPaged = paged;
}

void TQuery::Close()
{
    const bool wasActive = fActive;
    fPagedOpen = false;
    fFields = QSqlRecord();
    fRowCount = 0;
    fPages.clear();
    clear();
    fActive = false;
    fDisplayWidths.clear();
    MoveTo(-1, true);
    if (wasActive)
        emit displayWidthsChanged();
}

void TQuery::SetSQL(const QString& sql)
{
    Close();
    fSql = sql;
}

void TQuery::Open()
{
    Close();
    if (fPaged) {
        OpenPaged();
        return;
    }
    QSqlQuery query(UseConnection(fConnection));
    if (!query.exec(fSql))
        throw EDatabaseError(DatabaseMessage(query.lastError(), fSql));
    setQuery(std::move(query));
    if (lastError().isValid())
        throw EDatabaseError(DatabaseMessage(lastError(), fSql));
    fActive = true;
    First();
}

// Runs the text itself first (so that a rejected text fails as it would
// unpaged), keeps its fields and first page, and counts the rows only when
// there is more than one page.
void TQuery::OpenPaged()
{
    QSqlDatabase db = UseConnection(fConnection);
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.exec(fSql))
        throw EDatabaseError(DatabaseMessage(query.lastError(), fSql));
    TPage first;
    const QSqlRecord fields = query.record();
    while (first.Rows.size() < PageRows && query.next()) {
        QVector<QVariant> row(fields.count());
        for (int c = 0; c < fields.count(); ++c)
            row[c] = query.value(c);
        first.Rows.push_back(std::move(row));
    }
    if (query.lastError().isValid())
        throw EDatabaseError(DatabaseMessage(query.lastError(), fSql));
    int count = int(first.Rows.size());
    if (count == PageRows) {
        const bool more = query.next();
        query.finish();
        if (more) {
            const QString countSql = QStringLiteral("select count(*) from (") + fSql + QStringLiteral(")");
            QSqlQuery counter(db);
            if (!counter.exec(countSql) || !counter.next())
                throw EDatabaseError(DatabaseMessage(counter.lastError(), countSql));
            count = counter.value(0).toInt();
        }
    }
    query.finish();

    beginResetModel();
    fFields = fields;
    fRowCount = count;
    fPages.push_front(std::move(first));
    fPagedOpen = true;
    endResetModel();
    fActive = true;
    First();
}

TQuery::TPage TQuery::ReadPage(int first) const
{
    const QString pageSql = QStringLiteral("select * from (") + fSql + QStringLiteral(") limit %1 offset %2")
                                .arg(PageRows).arg(first);
    QSqlQuery query(UseConnection(fConnection));
    query.setForwardOnly(true);
    if (!query.exec(pageSql))
        throw EDatabaseError(DatabaseMessage(query.lastError(), pageSql));
    TPage page;
    page.First = first;
    page.Rows.reserve(PageRows);
    const int fields = fFields.count();
    while (query.next()) {
        QVector<QVariant> row(fields);
        for (int c = 0; c < fields; ++c)
            row[c] = query.value(c);
        page.Rows.push_back(std::move(row));
    }
    return page;
}

// The row from the kept pages, reading its page when it is not kept; null
// when the table has fewer rows now than when the query was opened.
const QVector<QVariant>* TQuery::PagedRow(int row) const
{
    if (!fPagedOpen || row < 0 || row >= fRowCount)
        return nullptr;
    const int first = row - row % PageRows;
    auto kept = std::find_if(fPages.begin(), fPages.end(), [first](const TPage& p) { return p.First == first; });
    if (kept == fPages.end()) {
        fPages.push_front(ReadPage(first));
        if (fPages.size() > KeptPages)
            fPages.pop_back();
        kept = fPages.begin();
    }
    const int index = row - first;
    return index < kept->Rows.size() ? &kept->Rows[index] : nullptr;
}

QSqlRecord TQuery::record() const
{
    return fPagedOpen ? fFields : QSqlQueryModel::record();
}

QSqlRecord TQuery::record(int row) const
{
    if (!fPagedOpen)
        return QSqlQueryModel::record(row);
    QSqlRecord result = fFields;
    if (const QVector<QVariant>* values = PagedRow(row))
        for (int c = 0; c < values->size(); ++c)
            result.setValue(c, values->at(c));
    return result;
}

int TQuery::rowCount(const QModelIndex& parent) const
{
    if (!fPagedOpen)
        return QSqlQueryModel::rowCount(parent);
    return parent.isValid() ? 0 : fRowCount;
}

int TQuery::columnCount(const QModelIndex& parent) const
{
    if (!fPagedOpen)
        return QSqlQueryModel::columnCount(parent);
    return parent.isValid() ? 0 : fFields.count();
}

QVariant TQuery::data(const QModelIndex& item, int role) const
{
    if (!fPagedOpen)
        return QSqlQueryModel::data(item, role);
    if (!item.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole))
        return {};
    const QVector<QVariant>* values = PagedRow(item.row());
    return values && item.column() < values->size() ? values->at(item.column()) : QVariant();
}

QVariant TQuery::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (fPagedOpen && orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0
        && section < fFields.count())
        return fFields.fieldName(section);
    return QSqlQueryModel::headerData(section, orientation, role);
}

bool TQuery::canFetchMore(const QModelIndex& parent) const
{
    return !fPagedOpen && QSqlQueryModel::canFetchMore(parent);
}

void TQuery::fetchMore(const QModelIndex& parent)
{
    if (!fPagedOpen)
        QSqlQueryModel::fetchMore(parent);
}

void TQuery::MoveTo(int row, bool eof)
{
    fEof = eof;
    if (row == fRow)
        return;
    fRow = row;
    emit currentRowChanged(row);
}

void TQuery::First()
{
    if (!fActive || rowCount() == 0)
        MoveTo(-1, true);
    else
        MoveTo(0, false);
}

void TQuery::Next()
{
    if (!fActive || fEof)
        return;
    if (fRow + 1 >= rowCount() && canFetchMore())
        fetchMore();
    if (fRow + 1 < rowCount())
        MoveTo(fRow + 1, false);
    else
        MoveTo(fRow, true);
}

void TQuery::Last()
{
    if (!fActive)
        return;
    while (canFetchMore())
        fetchMore();
    MoveTo(rowCount() - 1, true);
}

int TQuery::RecordCount()
{
    while (canFetchMore())
        fetchMore();
    return rowCount();
}

QVariant TQuery::FieldByName(const QString& name) const
{
    const int field = record().indexOf(name);
    if (field < 0)
        throw EDatabaseError(QStringLiteral("フィールド ") + name + QStringLiteral(" が見つかりません"));
    if (fRow < 0)
        return {};
    if (fPagedOpen) {
        const QVector<QVariant>* values = PagedRow(fRow);
        return values ? values->value(field) : QVariant();
    }
    return record(fRow).value(field);
}

QString TQuery::FieldText(const QString& name) const
{
    return FieldByName(name).toString();
}

int TQuery::FieldCount() const
{
    return record().count();
}

void TQuery::SetDisplayWidth(int field, int chars)
{
    if (field < 0)
        return;
    if (fDisplayWidths.size() <= field)
        fDisplayWidths.resize(field + 1);
    fDisplayWidths[field] = chars;
    emit displayWidthsChanged();
}

int TQuery::DisplayWidth(int field) const
{
    return field >= 0 && field < fDisplayWidths.size() ? fDisplayWidths[field] : 0;
}
