#include "db/Transaction.h"

#include "base/Errors.h"
#include "db/Connection.h"

#include <QSqlError>

TTransaction::TTransaction(QSqlDatabase db) : fDb(std::move(db))
{
    if (!fDb.transaction())
        throw EDatabaseError(DatabaseMessage(fDb.lastError(), QStringLiteral("BEGIN")));
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
        const QSqlError error = fDb.lastError();
        fDb.rollback();
        throw EDatabaseError(DatabaseMessage(error, QStringLiteral("COMMIT")));
    }
}
