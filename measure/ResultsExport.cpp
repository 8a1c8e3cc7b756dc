#include "measure/ResultsExport.h"

#include "measure/FileReplace.h"

namespace kestra {

std::string ResultsRowText(const ResultsTable& table, int row)
{
    std::string text;
    for (int column = 0; column < table.ColCount(); ++column) {
        text += table.Cells(column, row);
        text += '\t';
    }
    text += "\r\n";
    return text;
}

std::string ResultsText(const ResultsTable& table)
{
    std::string text;
    for (int row = 0; row < table.RowCount(); ++row)
        text += ResultsRowText(table, row);
    return text;
}

void ExportResults(const ResultsTable& table, const std::string& path)
{
    ReplaceFile(path, ResultsText(table));
}

} // namespace kestra
