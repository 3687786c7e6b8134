#include "db/Transaction.h"

#include "base/Errors.h"
#include "db/Connection.h"

#include <QSqlError>

namespace {
QString Failure(const QSqlDatabase& db) { return QStringLiteral("データベースエラー: ") + DatabaseReason(db.lastError()); }
}  // namespace

TTransaction::TTransaction(const QSqlDatabase& db) : fDb(db)
{
    if (!fDb.transaction())
        throw EDatabaseError(Failure(fDb));
}

TTransaction::~TTransaction()
{
    if (!fDone)
        fDb.rollback();
}

void TTransaction::Commit()
{
    fDone = true;
    if (!fDb.commit()) {
        const QString failure = Failure(fDb);
        fDb.rollback();
        throw EDatabaseError(failure);
    }
}
