#include "measure/ResultsExport.h"

#include "measure/FileReplace.h"

namespace kestra {

std::string ResultsText(const ResultsTable& table)
{
    std::string text;
    for (int row = 0; row < table.RowCount(); ++row) {
        for (int column = 0; column < table.ColCount(); ++column) {
            text += table.Cells(column, row);
            text += '\t';
        }
        text += "\r\n";
    }
    return text;
}

void ExportResults(const ResultsTable& table, const std::string& path)
{
    ReplaceFile(path, ResultsText(table));
}

} // namespace kestra
