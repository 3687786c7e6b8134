// PLACEHOLDER
#include "app/BrelvanU.h"
void TBrelvanF::ucSql(std::int32_t) {}
void TBrelvanF::ucNul(QString&, std::int32_t, std::int32_t) {}
void TBrelvanF::uexSql() {}
void TBrelvanF::uexSqlM() {}
