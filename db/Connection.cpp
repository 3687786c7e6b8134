#include "db/Connection.h"

#include "base/Errors.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

#include <atomic>

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

// SQLite's result codes that a user can meet.
enum : int {
    kSqliteError = 1, kSqlitePerm = 3, kSqliteAbort = 4, kSqliteBusy = 5, kSqliteLocked = 6, kSqliteNoMem = 7,
    kSqliteReadOnly = 8, kSqliteInterrupt = 9, kSqliteIoErr = 10, kSqliteCorrupt = 11, kSqliteFull = 13,
    kSqliteCantOpen = 14, kSqliteProtocol = 15, kSqliteSchema = 17, kSqliteTooBig = 18, kSqliteConstraint = 19,
    kSqliteMismatch = 20, kSqliteMisuse = 21, kSqliteNoLfs = 22, kSqliteAuth = 23, kSqliteRange = 25,
    kSqliteNotADb = 26,
};

// SQLite's primary result code of an error, 0 when it has none (an error of
// Qt's own, such as a statement that was never prepared).
int SqliteCode(const QSqlError& error)
{
    bool ok = false;
    const int code = error.nativeErrorCode().toInt(&ok);
    return ok && code > 0 ? code & 0xff : 0;
}

// SQLITE_BUSY and SQLITE_LOCKED: another connection holds the file.
bool IsLockError(const QSqlError& error)
{
    const int code = SqliteCode(error);
    return code == kSqliteBusy || code == kSqliteLocked;
}

// Why SQLite could not open a file (SQLITE_CANTOPEN), from what the file
// system says of it.
QString CantOpenReason(const QString& file)
{
    const QFileInfo info(file);
    const QFileInfo folder(info.absolutePath());
    if (!folder.isDir())
        return QStringLiteral("フォルダ %1 がありません").arg(QDir::toNativeSeparators(folder.filePath()));
    if (info.exists() && !info.isReadable())
        return QStringLiteral("データベースファイルを読む権限がありません");
    if (!info.exists() && !folder.isWritable())
        return QStringLiteral("フォルダ %1 に書き込む権限がないため、データベースファイルを作れません")
            .arg(QDir::toNativeSeparators(folder.filePath()));
    return SqliteCodeText(kSqliteCantOpen);
}

}  // namespace

QSqlDatabase AddConnection(const QString& name)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(kDriver, name);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyTimeoutMs));
    return db;
}

QString NextConnectionName(const char* stem)
{
    static std::atomic<int> counter{0};
    return QStringLiteral("%1_%2").arg(QLatin1String(stem)).arg(++counter);
}

// Under locking_mode EXCLUSIVE the lock taken by BEGIN EXCLUSIVE stays after
// the commit, so that no other program can write to the file while this one runs.
void OpenConnection(QSqlDatabase db)
{
    const QString file = db.databaseName();
    if (file.isEmpty())
        throw EDatabaseError(QStringLiteral("データベースファイルが指定されていません"));
    const QString shown = QDir::toNativeSeparators(file);
    const QString cannotOpen = QStringLiteral("データベース ") + shown + QStringLiteral(" を開けません: ");
    if (!db.open()) {
        const QSqlError error = db.lastError();
        if (SqliteCode(error) == kSqliteCantOpen && file != kMemory)
            throw EDatabaseError(cannotOpen + CantOpenReason(file) + QStringLiteral(" (")
                                 + error.databaseText().trimmed() + QLatin1Char(')'));
        throw EDatabaseError(cannotOpen + DatabaseReason(error));
    }
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
            throw EDatabaseInUse(QStringLiteral("データベース ") + shown
                                 + QStringLiteral(" は他のプログラムが使用中です"));
        // The settings' statements mean nothing to the user: the file does.
        throw EDatabaseError(cannotOpen + DatabaseReason(error));
    }
}

QSqlDatabase UseConnection(const QString& name)
{
    QSqlDatabase db = QSqlDatabase::database(name, false);
    if (!db.isValid())
        throw EDatabaseError(QStringLiteral("接続 ") + name + QStringLiteral(" がありません"));
    if (!db.isOpen())
        OpenConnection(db);
    return db;
}

QString SqliteCodeText(int code)
{
    switch (code & 0xff) {
    case kSqliteError: return QStringLiteral("SQL 文を実行できません");
    case kSqlitePerm: return QStringLiteral("データベースへのアクセスが許可されていません");
    case kSqliteAbort:
    case kSqliteInterrupt: return QStringLiteral("データベースの処理が中断されました");
    case kSqliteBusy: return QStringLiteral("データベースは他のプログラムが使用中です");
    case kSqliteLocked: return QStringLiteral("データベースのテーブルがロックされています");
    case kSqliteNoMem: return QStringLiteral("メモリが足りません");
    case kSqliteReadOnly: return QStringLiteral("データベースが読み取り専用のため書き込めません");
    case kSqliteIoErr: return QStringLiteral("データベースファイルの読み書き中に入出力エラーが起きました");
    case kSqliteCorrupt: return QStringLiteral("データベースファイルが壊れています");
    case kSqliteFull: return QStringLiteral("ディスクの空き容量が足りないため、データベースに書き込めません");
    case kSqliteCantOpen: return QStringLiteral("データベースファイルを開けません");
    case kSqliteProtocol: return QStringLiteral("データベースのロックを取れません");
    case kSqliteSchema: return QStringLiteral("実行中にデータベースの構造が変わりました");
    case kSqliteTooBig: return QStringLiteral("文字列またはデータが大きすぎます");
    case kSqliteConstraint: return QStringLiteral("データベースの制約により書き込めません");
    case kSqliteMismatch: return QStringLiteral("データの型が列に合いません");
    case kSqliteMisuse: return QStringLiteral("データベースの使い方が正しくありません");
    case kSqliteNoLfs: return QStringLiteral("大きなファイルを扱えません");
    case kSqliteAuth: return QStringLiteral("許可されていない操作です");
    case kSqliteRange: return QStringLiteral("パラメーターの番号が範囲外です");
    case kSqliteNotADb: return QStringLiteral("データベースファイルではありません");
    default: return QStringLiteral("データベースエラー (コード %1)").arg(code);
    }
}

QString DatabaseReason(const QSqlError& error)
{
    QString reason;
    if (const int code = SqliteCode(error); code != 0) {
        reason = SqliteCodeText(code);
    } else {
        switch (error.type()) {
        case QSqlError::ConnectionError: reason = QStringLiteral("データベースに接続できません"); break;
        case QSqlError::StatementError: reason = QStringLiteral("SQL 文を実行できません"); break;
        case QSqlError::TransactionError: reason = QStringLiteral("トランザクションを処理できません"); break;
        default: reason = QStringLiteral("データベースの処理に失敗しました"); break;
        }
    }
    const QString original = error.databaseText().trimmed().isEmpty() ? error.driverText().trimmed()
                                                                        : error.databaseText().trimmed();
    return original.isEmpty() ? reason : reason + QStringLiteral(" (") + original + QLatin1Char(')');
}

QString DatabaseMessage(const QSqlError& error, const QString& sql)
{
    QString reason = DatabaseReason(error);
    if (!error.isValid())
        reason = sql.trimmed().isEmpty() ? QStringLiteral("実行する SQL 文がありません")
                                         : QStringLiteral("データベースが理由を返しませんでした");
    QString text = QStringLiteral("データベースエラー: ") + reason;
    if (!sql.trimmed().isEmpty())
        text += QStringLiteral("\n") + sql.trimmed();
    return text;
}

void ExecSql(const QSqlDatabase& db, const QString& sql)
{
    QSqlQuery query(db);
    if (!query.exec(sql))
        throw EDatabaseError(DatabaseMessage(query.lastError(), sql));
}
