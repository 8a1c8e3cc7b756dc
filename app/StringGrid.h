#pragma once

#include <QTableView>

class QAbstractButton;

namespace kestra {

class TextGridModel;

// A read-only text grid in the manner of a spreadsheet: its first row and
// column are fixed heads that stay in view while the cells scroll, and the
// corner shows the grid's cell (0, 0).
class StringGrid : public QTableView {
    Q_OBJECT
public:
    StringGrid(TextGridModel* model, QWidget* parent = nullptr);

    [[nodiscard]] TextGridModel* gridModel() const { return model_; }

    // Widths of the fixed column and of every other column, and the height
    // of every row, the fixed row included.
    void setCellSizes(int fixedColumnWidth, int columnWidth, int rowHeight);

    [[nodiscard]] QString cornerText() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showCorner();

    TextGridModel* model_;
    QAbstractButton* corner_ = nullptr;
};

} // namespace kestra
