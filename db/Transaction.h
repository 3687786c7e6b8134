// One transaction on a connection, RAII: begun by the constructor, rolled
// back by the destructor unless Commit() has succeeded.  Either failing
// raises EDatabaseError with the database's message.
#pragma once

#include <QSqlDatabase>

class TTransaction {
public:
    explicit TTransaction(const QSqlDatabase& db);
    ~TTransaction();
    void Commit();

    TTransaction(const TTransaction&) = delete;
    TTransaction& operator=(const TTransaction&) = delete;

private:
    QSqlDatabase fDb;
    bool fDone = false;
};
