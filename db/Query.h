// TQuery: a query over one connection, opened and walked row by row, and the
// table model a grid shows.
#pragma once

#include <QSqlQueryModel>
#include <QSqlRecord>
#include <QString>
#include <QVector>

#include <deque>

// A query over one connection: its SQL text is replaced while it is closed,
// opening runs it, and a row cursor walks the result.  As a table model it is
// what a grid shows; the grid follows its current row.
class TQuery : public QSqlQueryModel {
    Q_OBJECT
public:
    TQuery(const QString& initialSql, QObject* parent = nullptr);

    // The connection the query runs on (by Qt connection name).
    void SetConnection(const QString& connectionName);
    QString Connection() const { return fConnection; }

    void Close();                          // forgets the result
    void SetSQL(const QString& sql);       // closes, then replaces the text
    QString SQL() const { return fSql; }
    void Open();                           // runs the text; EDatabaseError with the database's message
    bool Active() const { return fActive; }

    // Row cursor over the result (rows counted from 0; -1 on an empty result).
    // Eof is true on an empty result, after Next from the last row and after Last.
    void First();
    void Next();
    void Last();                           // fetches every row first (a paged query only counts)
    bool Eof() const { return fEof; }
    int RecNo() const { return fRow; }
    int RecordCount();                     // fetches every row first (a paged query only counts)

    // A field of the current row, by name (case-insensitive, as SQLite's).
    // An unknown name raises EDatabaseError; NULL reads as an empty text.
    QVariant FieldByName(const QString& name) const;
    QString FieldText(const QString& name) const;
    int FieldCount() const;

    // Display width of a field in characters; below 1 means the default.
    void SetDisplayWidth(int field, int chars);
    int DisplayWidth(int field) const;

    // A paged query keeps no copy of its whole result: opening counts the
    // rows, and rows are read a page at a time (LIMIT/OFFSET over the same
    // text, so in the same order) when the cursor or a grid reaches them;
    // only the last few pages read are kept.  For a large table in a grid.
    // Takes effect at the next Open.
    void SetPaged(bool paged);
    bool Paged() const { return fPaged; }

    // The fields of the result, and one row of it.
    QSqlRecord record() const;
    QSqlRecord record(int row) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& item, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    bool canFetchMore(const QModelIndex& parent = QModelIndex()) const override;
    void fetchMore(const QModelIndex& parent = QModelIndex()) override;

signals:
    void currentRowChanged(int row);
    void displayWidthsChanged();

private:
    QString fConnection;
    QString fSql;
    bool fActive = false;
    bool fEof = true;
    int fRow = -1;
    QVector<int> fDisplayWidths;

    // The paged result: its fields, its row count and the pages read last.
    static constexpr int PageRows = 256;
    static constexpr std::size_t KeptPages = 8;
    struct TPage {
        int First = 0;
        QVector<QVector<QVariant>> Rows;
    };
    bool fPaged = false;
    bool fPagedOpen = false;
    QSqlRecord fFields;
    int fRowCount = 0;
    mutable std::deque<TPage> fPages;

    void MoveTo(int row, bool eof);
    void OpenPaged();
    const QVector<QVariant>* PagedRow(int row) const;
    TPage ReadPage(int first) const;
};

