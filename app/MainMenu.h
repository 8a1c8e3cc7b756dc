#pragma once

#include <QMenuBar>

class QAction;
class QMenu;

namespace kestra {

// The window's menu bar: every action with its text, shortcut and mnemonic.
// The window wires the actions to its handlers; the menus only offer them.
class MainMenu : public QMenuBar {
    Q_OBJECT
public:
    explicit MainMenu(QWidget* parent = nullptr);

    // Keeps an action enabled exactly when a control is, so that a menu item
    // and the button it stands for are never out of step.
    void followEnabled(QAction* action, QWidget* control);

    // Offers the scan's own resolution under the given text, or, with an
    // empty text, shows the item disabled under its plain name.
    void offerScanResolution(const QString& text);

    QMenu* fileMenu = nullptr;
    QAction* openAction = nullptr;
    QAction* openNextScanAction = nullptr;
    QAction* openPreviousScanAction = nullptr;
    QAction* saveAction = nullptr;
    QAction* saveLandmarksAction = nullptr;
    QAction* loadLandmarksAction = nullptr;
    QAction* exitAction = nullptr;

    // Both act on the results table, and are enabled when they can.
    QMenu* editMenu = nullptr;
    QAction* undoAction = nullptr;
    QAction* deleteRowsAction = nullptr;

    QMenu* landmarksMenu = nullptr;
    QAction* startStopAction = nullptr;
    QAction* nextPointAction = nullptr;
    QAction* previousPointAction = nullptr;
    QAction* analyzeAction = nullptr;
    QAction* stepOnAfterClickAction = nullptr;
    QAction* suggestLandmarksAction = nullptr;
    // Both are check items, off at every start.
    QAction* suggestOnOpeningAction = nullptr;
    QAction* mirrorSuggestionsAction = nullptr;
    QAction* analyzeAndOpenNextAction = nullptr;

    QMenu* viewMenu = nullptr;
    QAction* zoomInAction = nullptr;
    QAction* zoomOutAction = nullptr;
    QAction* actualSizeAction = nullptr;
    QAction* useScanResolutionAction = nullptr;
    QAction* showCountedPixelsAction = nullptr;

    QMenu* helpMenu = nullptr;
    QAction* landmarkGuideAction = nullptr;
    QAction* aboutAction = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QAction* addItem(QMenu* menu, const QString& text, const QList<QKeySequence>& shortcuts = {});
};

} // namespace kestra
