// PLACEHOLDER
#include "db/Data.h"
Tdm* dm = nullptr;
TQuery::TQuery(const QString& initialSql, QObject* parent) : QSqlQueryModel(parent), fSql(initialSql) {}
void TQuery::SetConnection(const QString& c) { fConnection = c; }
void TQuery::Close() {}
void TQuery::SetSQL(const QString& s) { fSql = s; }
void TQuery::Open() {}
void TQuery::First() {}
void TQuery::Next() {}
void TQuery::Last() {}
bool TQuery::Eof() const { return true; }
int TQuery::RecordCount() { return 0; }
QVariant TQuery::FieldByName(const QString&) const { return {}; }
QString TQuery::FieldText(const QString&) const { return {}; }
int TQuery::FieldCount() const { return 0; }
void TQuery::SetDisplayWidth(int, int) {}
int TQuery::DisplayWidth(int) const { return 0; }
void TBatchMove::Execute() {}
Tdm::Tdm(QObject* parent) : QObject(parent), qb("select * from AYNK"), qc("select * from AYFS"),
    qw("select * from AAATBN"), qst("select * from AAATST") {}
Tdm::~Tdm() = default;
QSqlDatabase Tdm::Csq() const { return {}; }
QSqlDatabase Tdm::CsqM() const { return {}; }
void Tdm::OpenFile(const QString&) {}
