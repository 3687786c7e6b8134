// The data module: the two SQLite connections, the four queries, the table
// copy and the two sources that feed the window's grids.  One instance, dm,
// lives from program start to the end of the process.
#pragma once

#include "db/BatchMove.h"
#include "db/Connection.h"
#include "db/Query.h"

#include <QObject>
#include <QSqlDatabase>
#include <QString>

// Binds a query to a grid.
struct TDataSource {
    TQuery* DataSet = nullptr;
};

class Tdm : public QObject {
    Q_OBJECT
public:
    explicit Tdm(QObject* parent = nullptr);
    ~Tdm() override;

    // Connection names of the file database and of the private in-memory one.
    QString csq;
    QString csqM;
    QSqlDatabase Csq() const;
    QSqlDatabase CsqM() const;             // connects itself on first use

    // Sets the file name of csq (closing it and its queries first) and opens
    // it, creating the file when missing; applies the connection pragmas and
    // takes the file's exclusive lock at once.  A file that another program
    // holds raises EDatabaseError naming the file, after a short wait.
    void OpenFile(const QString& fileName);
    QString FileName() const { return fFileName; }

    // How long a connection waits for a lock another program holds.
    static constexpr int BusyTimeoutMs = kBusyTimeoutMs;

    TQuery qb;   // AYNK on csqM, shown in the price grid
    TQuery qc;   // AYFS on csq, shown in the register grid
    TQuery qw;   // look-ups and one-value queries on csq
    TQuery qst;  // column rows of the current table on csq

    TBatchMove FDBm;
    TBatchEnd BmSqRd;  // reader on csq
    TBatchEnd BmSqWt;  // writer on csqM

    TDataSource bds;   // qb → bDG
    TDataSource cds;   // qc → cdg

private:
    QString fFileName;
};

// The directory of the catalogue files tbl.csv and tblstrc.csv, found where
// the program is (FindCatalogueDirectory with the program's folder).  Tests
// point it elsewhere; an empty text restores the search.  Returns the
// directory set before.
QString CatalogueDirectory();
QString SetCatalogueDirectory(const QString& dir);

// The first of these folders that holds either catalogue file: `data` beside
// the program, the installed data folder `../share/brelvan` beside it, the
// folder `builtIn` named when the program was built (the source tree's data/
// for a run in the build tree; empty for none).  When none does, the first of
// them, so that a message names the place the files belong.
QString FindCatalogueDirectory(const QString& programDir, const QString& builtIn);

// The one data module, created at program start after the main window.
extern Tdm* dm;
// dm itself; EDatabaseError when it has not been created yet.
Tdm& DataModule();
