#pragma once

#include "measure/TextGrid.h"

#include <QAbstractTableModel>

namespace kestra {

// Shows a TextGrid of the core in a table view: grid row 0 becomes the
// horizontal header, grid column 0 the vertical header, and cell (0, 0) the
// corner. The core has no notifications, so the window calls refresh() after
// each change; new rows are inserted, never reset, so that the view keeps its
// selection and scroll position.
class TextGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TextGridModel(const TextGrid& grid, QObject* parent = nullptr);

    [[nodiscard]] int rowCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] int columnCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override;
    [[nodiscard]] QVariant headerData(int section, Qt::Orientation orientation,
                                      int role) const override;
    [[nodiscard]] Qt::ItemFlags flags(const QModelIndex& index) const override;

    [[nodiscard]] QString cornerText() const;

    // Catches up with the grid: inserts the rows it has grown by and announces
    // every cell and head as changed.
    void refresh();

    // The grid is about to lose, or gain, count rows at grid row first (1 or
    // more), and then has: the view takes them out or puts them in where they
    // were, and keeps its selection and scroll position elsewhere.
    void beginRemovingRows(int first, int count);
    void endRemovingRows();
    void beginInsertingRows(int first, int count);
    void endInsertingRows();

signals:
    void cornerChanged();

private:
    [[nodiscard]] QString cellText(int column, int row) const;

    const TextGrid& grid_;
    int rows_;
};

} // namespace kestra
