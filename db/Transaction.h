// One transaction on a connection for the life of a scope: begun by the
// constructor, committed by Commit, rolled back when the scope is left
// without it (an error on the way).
#pragma once

#include <QSqlDatabase>

class TTransaction {
public:
    explicit TTransaction(QSqlDatabase db);   // EDatabaseError when it cannot begin
    ~TTransaction();
    void Commit();                            // EDatabaseError when the commit fails
    TTransaction(const TTransaction&) = delete;
    TTransaction& operator=(const TTransaction&) = delete;

private:
    QSqlDatabase fDb;
    bool fDone = false;
};
