#include "db/Data.h"

#include "app/Errors.h"
#include "app/RegularFile.h"

#include <QDir>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>

#include <algorithm>
#include <atomic>

Tdm* dm = nullptr;

Tdm& DataModule()
{
    if (!dm)
        throw EDatabaseError(QStringLiteral("データモジュールが作成されていません"));
    return *dm;
}

namespace {

const QString kDriver = QStringLiteral("QSQLITE");
const QString kMemory = QStringLiteral(":memory:");

// The settings every connection runs with.
const char* const kPragmas[] = {
    "PRAGMA cache_size = 10000",
    "PRAGMA locking_mode = EXCLUSIVE",
    "PRAGMA synchronous = OFF",
    "PRAGMA journal_mode = DELETE",
    "PRAGMA foreign_keys = ON",
};

QString DatabaseMessage(const QSqlError& error, const QString& sql)
{
    QString reason = error.text().trimmed();
    if (reason.isEmpty())
        reason = sql.trimmed().isEmpty() ? QStringLiteral("実行する SQL 文がありません")
                                         : QStringLiteral("データベースが理由を返しませんでした");
    QString text = QStringLiteral("データベースエラー: ") + reason;
    if (!sql.trimmed().isEmpty())
        text += QStringLiteral("\n") + sql.trimmed();
    return text;
}

// SQLITE_BUSY (5) and SQLITE_LOCKED (6): another connection holds the file.
bool IsLockError(const QSqlError& error)
{
    const QString code = error.nativeErrorCode();
    return code == QLatin1String("5") || code == QLatin1String("6");
}

// Opens a connection and applies the pragmas; a file database also takes its
// exclusive lock now (under locking_mode EXCLUSIVE the lock stays after the
// commit), so that no other program can write to it while this one runs.
void OpenConnection(QSqlDatabase db)
{
    const QString file = db.databaseName();
    if (file.isEmpty())
        throw EDatabaseError(QStringLiteral("データベースファイルが指定されていません"));
    const QString shown = QDir::toNativeSeparators(file);
    if (!db.open())
        throw EDatabaseError(QStringLiteral("データベース ") + shown + QStringLiteral(" を開けません: ")
                             + db.lastError().text());
    QStringList statements;
    for (const char* pragma : kPragmas)
        statements << QString::fromLatin1(pragma);
    if (file != kMemory)
        statements << QStringLiteral("BEGIN EXCLUSIVE") << QStringLiteral("COMMIT");
    for (const QString& sql : statements) {
        QSqlQuery query(db);
        if (query.exec(sql))
            continue;
        const QSqlError error = query.lastError();
        query = QSqlQuery();
        db.close();
        if (IsLockError(error))
            throw EDatabaseError(QStringLiteral("データベース ") + shown
                                 + QStringLiteral(" は他のプログラムが使用中です"));
        throw EDatabaseError(DatabaseMessage(error, sql));
    }
}

// A connection by name, opened (with its settings) when it is closed.
QSqlDatabase UseConnection(const QString& name)
{
    QSqlDatabase db = QSqlDatabase::database(name, false);
    if (!db.isValid())
        throw EDatabaseError(QStringLiteral("接続 ") + name + QStringLiteral(" がありません"));
    if (!db.isOpen())
        OpenConnection(db);
    return db;
}

QString NextConnectionName(const char* stem)
{
    static std::atomic<int> counter{0};
    return QStringLiteral("%1_%2").arg(QLatin1String(stem)).arg(++counter);
}

QSqlDatabase AddConnection(const QString& name)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(kDriver, name);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(Tdm::BusyTimeoutMs));
    return db;
}

}  // namespace

void ExecSql(const QSqlDatabase& db, const QString& sql)
{
    QSqlQuery query(db);
    if (!query.exec(sql))
        throw EDatabaseError(DatabaseMessage(query.lastError(), sql));
}

namespace {
QString& CatalogueDirectoryOverride()
{
    static QString dir;
    return dir;
}
}  // namespace

QString CatalogueDirectory()
{
    const QString& dir = CatalogueDirectoryOverride();
    return dir.isEmpty() ? QStringLiteral(BRELVAN_CATALOGUE_DIR) : dir;
}

QString SetCatalogueDirectory(const QString& dir)
{
    const QString before = CatalogueDirectory();
    CatalogueDirectoryOverride() = dir;
    return before;
}

// ---- TQuery ------------------------------------------------------------------

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

// ---- TBatchMove --------------------------------------------------------------

void TBatchMove::Execute()
{
    constexpr int Batch = 100;
    if (!Reader || !Writer)
        throw EDatabaseError(QStringLiteral("テーブル複写の読込先または書込先がありません"));
    QSqlDatabase source = UseConnection(Reader->Connection);
    QSqlDatabase target = UseConnection(Writer->Connection);
    QSqlDriver* driver = target.driver();
    const auto name = [driver](const QString& id) {
        return driver->escapeIdentifier(id, QSqlDriver::FieldName);
    };
    const QString table = driver->escapeIdentifier(Writer->TableName, QSqlDriver::TableName);

    const QString selectSql = QStringLiteral("SELECT * FROM ") + Reader->TableName;
    QSqlQuery read(source);
    read.setForwardOnly(true);
    if (!read.exec(selectSql))
        throw EDatabaseError(DatabaseMessage(read.lastError(), selectSql));
    const QSqlRecord from = read.record();

    QSqlRecord to = target.record(Writer->TableName);
    if (to.isEmpty()) {   // a missing destination is created from the source's columns
        QStringList columns;
        for (int i = 0; i < from.count(); ++i)
            columns << name(from.fieldName(i));
        ExecSql(target, QStringLiteral("create table ") + table + QStringLiteral(" (") + columns.join(", ") + ")");
        to = target.record(Writer->TableName);
    }

    // Columns paired by name; destination columns without a source are skipped.
    QVector<int> sourceFields;
    QStringList targetNames;
    for (int i = 0; i < from.count(); ++i) {
        const int j = to.indexOf(from.fieldName(i));
        if (j < 0)
            continue;
        sourceFields << i;
        targetNames << name(to.fieldName(j));
    }
    if (sourceFields.isEmpty())
        return;
    const QString insertSql = QStringLiteral("insert into ") + table + QStringLiteral(" (") + targetNames.join(", ")
        + QStringLiteral(") values (") + QStringList(targetNames.size(), QStringLiteral("?")).join(", ")
        + QStringLiteral(")");
    QSqlQuery write(target);
    if (!write.prepare(insertSql))
        throw EDatabaseError(DatabaseMessage(write.lastError(), insertSql));

    QVector<QVector<QVariant>> rows;
    rows.reserve(Batch);
    for (;;) {
        rows.clear();
        while (rows.size() < Batch && read.next()) {
            QVector<QVariant> row;
            row.reserve(sourceFields.size());
            for (int field : sourceFields)
                row << read.value(field);
            rows << row;
        }
        if (read.lastError().isValid())
            throw EDatabaseError(DatabaseMessage(read.lastError(), selectSql));
        if (rows.isEmpty())
            return;
        if (!target.transaction())
            throw EDatabaseError(DatabaseMessage(target.lastError(), QStringLiteral("BEGIN")));
        for (const auto& row : rows) {
            for (int k = 0; k < row.size(); ++k)
                write.bindValue(k, row[k]);
            if (!write.exec()) {
                const QSqlError error = write.lastError();
                target.rollback();
                throw EDatabaseError(DatabaseMessage(error, insertSql));
            }
        }
        if (!target.commit()) {
            const QSqlError error = target.lastError();
            target.rollback();
            throw EDatabaseError(DatabaseMessage(error, QStringLiteral("COMMIT")));
        }
        if (rows.size() < Batch)
            return;
    }
}

// ---- Tdm ---------------------------------------------------------------------

Tdm::Tdm(QObject* parent)
    : QObject(parent),
      csq(NextConnectionName("csq")),
      csqM(NextConnectionName("csqM")),
      qb(QStringLiteral("select * from AYNK")),
      qc(QStringLiteral("select * from AYFS")),
      qw(QStringLiteral("select * from AAATBN")),
      qst(QStringLiteral("select * from AAATST"))
{
    AddConnection(csq);
    AddConnection(csqM).setDatabaseName(kMemory);
    qb.SetConnection(csqM);
    qb.SetPaged(true);   // the whole price table: its grid reads the rows it shows
    qc.SetConnection(csq);
    qw.SetConnection(csq);
    qst.SetConnection(csq);
    BmSqRd.Connection = csq;
    BmSqWt.Connection = csqM;
    FDBm.Reader = &BmSqRd;
    FDBm.Writer = &BmSqWt;
    bds.DataSet = &qb;
    cds.DataSet = &qc;
}

Tdm::~Tdm()
{
    for (TQuery* query : {&qb, &qc, &qw, &qst})
        query->Close();
    for (const QString& name : {csq, csqM}) {
        {
            QSqlDatabase db = QSqlDatabase::database(name, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
    }
}

QSqlDatabase Tdm::Csq() const
{
    return UseConnection(csq);
}

QSqlDatabase Tdm::CsqM() const
{
    return UseConnection(csqM);
}

void Tdm::OpenFile(const QString& fileName)
{
    for (TQuery* query : {&qc, &qw, &qst})
        query->Close();
    QSqlDatabase db = QSqlDatabase::database(csq, false);
    db.close();
    db.setDatabaseName(fileName);
    fFileName = fileName;
    // Only a regular file (or none yet) is a database: a device or a FIFO
    // under the name would swallow every write or fail with a bare I/O error.
    QString reason;
    const TPathKind kind = PathKindOf(fileName, &reason);
    if (kind != TPathKind::Missing && kind != TPathKind::Regular)
        throw EDatabaseError(QStringLiteral("データベース %1 を開けません: %2")
                                 .arg(QDir::toNativeSeparators(fileName), reason.isEmpty() ? PathKindText(kind) : reason));
    OpenConnection(db);
}
