// "CSV出力": the price table as the price grid shows it, to a CSV file.
#include "prices/BrelvanPrices.h"

#include "base/SaveFile.h"
#include "db/PriceTable.h"
#include "prices/PriceExport.h"
#include "prices/PriceTexts.h"

void TBrelvanPrices::y09csvOut(const QString& fileName)
{
    RequireStarted();
    CheckSaveTarget(fileName);
    const std::vector<TPriceColumn>& columns = PriceGridColumns();
    QStringList fields;
    for (const TPriceColumn& column : columns)
        fields << column.Field;
    TPriceRows rows(fields);

    QByteArray bytes = Utf8Bom();
    QStringList cells;
    for (const TPriceColumn& column : columns)
        cells << ColumnHeading(column);
    bytes += CsvLine(cells);
    std::int32_t written = 0;
    while (rows.Next()) {
        cells.clear();
        for (int c = 0; c < int(columns.size()); ++c)
            cells << ExportCell(rows.Value(c), columns[std::size_t(c)].Kind);
        bytes += CsvLine(cells);
        ++written;
    }
    SaveWholeFile(fileName, bytes);
    AddLogLine(CsvExportedLine(fileName, written));
}
