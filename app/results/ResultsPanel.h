#pragma once

#include "app/results/ResultsModel.h"

#include <QObject>
#include <QString>
#include <functional>
#include <string>

class QWidget;

namespace kestra {

class MainMenu;
class StatusNotes;
class StringGrid;
class TextGridModel;

// The results table in the window: the grid at the bottom, Edit > Delete rows
// and Undo, a row double-clicked (or Enter) for re-measuring, Escape to keep
// the row after all, the status bar's notes about the journal and the row the
// next Analyze replaces, and the question about results an earlier window
// left unsaved.
class ResultsPanel : public QObject {
    Q_OBJECT
public:
    ResultsPanel(ResultsTable& table, QWidget* clientArea, MainMenu& menu, StatusNotes& notes,
                 std::string journalFolder);

    [[nodiscard]] StringGrid* grid() const { return grid_; }
    [[nodiscard]] ResultsModel& model() { return model_; }

    // Asks whether to restore, with the box's text; true for Restore, false
    // for Discard. Replaceable for tests.
    using RestoreQuestion = std::function<bool(const QString& text)>;
    void setRestoreQuestion(RestoreQuestion question);

    // Asks about the newest journal of a window that is gone and left rows
    // unsaved; the older ones are moved aside.
    void offerRestore();

    // The next Analyze replaces this row (1..ResultCount), at the DPI the
    // field holds; the status bar says so, and says the row's own DPI where
    // it differs.
    void startReplacing(int row, double fieldDpi, const std::string& decimalSeparator);

    // The grid catches up with the table after a change made past the model.
    void refresh();

signals:
    // A row was double-clicked, or Enter pressed on it: re-measure it.
    void rowActivated(int row);
    // The table went from no rows to some, or back.
    void hasRowsChanged(bool hasRows);

private:
    void deleteSelectedRows();
    void showReplacing();
    void showChanged();

    ResultsModel model_;
    MainMenu& menu_;
    StatusNotes& notes_;
    TextGridModel* gridModel_ = nullptr;
    StringGrid* grid_ = nullptr;
    RestoreQuestion askRestore_;
    // Journals whose rows this window restored but could not yet protect.
    std::vector<AbandonedJournal> kept_;
    bool hadRows_ = false;
    QString replacingNote_;
};

} // namespace kestra
