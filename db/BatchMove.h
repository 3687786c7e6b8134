// The table copy between two connections.
#pragma once

#include <QString>

// Copies every row of one table from the file database to the in-memory
// database: rows read 100 at a time, columns paired by name, inserts committed
// in transactions of 100 rows.  The destination is not emptied first.
struct TBatchEnd {
    QString Connection;
    QString TableName;
};
class TBatchMove {
public:
    TBatchEnd* Reader = nullptr;
    TBatchEnd* Writer = nullptr;
    void Execute();                        // EDatabaseError on failure
};

