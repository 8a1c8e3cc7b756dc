#include "app/MainMenu.h"

#include <QAction>
#include <QEvent>
#include <QKeyEvent>
#include <QMenu>

namespace kestra {
namespace {

// Mirrors a control's enabled state onto an action.
class EnabledFollower : public QObject {
public:
    EnabledFollower(QAction* action, QWidget* control) : QObject(action), action_(action)
    {
        action_->setEnabled(control->isEnabled());
        control->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::EnabledChange)
            action_->setEnabled(static_cast<QWidget*>(watched)->isEnabled());
        return false;
    }

private:
    QAction* action_;
};

} // namespace

MainMenu::MainMenu(QWidget* parent) : QMenuBar(parent)
{
    setAccessibleName(QStringLiteral("Menu bar"));

    fileMenu = addMenu(QStringLiteral("&File"));
    openAction = addItem(fileMenu, QStringLiteral("&Open ..."), {QKeySequence::Open});
    openNextScanAction =
        addItem(fileMenu, QStringLiteral("Open &next scan"), {Qt::CTRL | Qt::Key_PageDown});
    openPreviousScanAction =
        addItem(fileMenu, QStringLiteral("Open &previous scan"), {Qt::CTRL | Qt::Key_PageUp});
    fileMenu->addSeparator();
    saveAction = addItem(fileMenu, QStringLiteral("&Save ..."), {QKeySequence::Save});
    fileMenu->addSeparator();
    saveLandmarksAction = addItem(fileMenu, QStringLiteral("Save &landmarks (TPS) ..."),
                                  {Qt::CTRL | Qt::SHIFT | Qt::Key_S});
    loadLandmarksAction =
        addItem(fileMenu, QStringLiteral("Loa&d landmarks (TPS) ..."), {Qt::CTRL | Qt::Key_L});
    fileMenu->addSeparator();
    exitAction = addItem(fileMenu, QStringLiteral("E&xit"), {Qt::CTRL | Qt::Key_Q});

    editMenu = addMenu(QStringLiteral("&Edit"));
    undoAction = addItem(editMenu, QStringLiteral("&Undo"), {QKeySequence::Undo});
    deleteRowsAction = addItem(editMenu, QStringLiteral("&Delete rows"), {QKeySequence::Delete});
    // The item shows the key; the key itself deletes rows only where the
    // results table has the focus, which binds it there.
    deleteRowsAction->setShortcutContext(Qt::WidgetShortcut);
    undoAction->setEnabled(false);
    deleteRowsAction->setEnabled(false);

    landmarksMenu = addMenu(QStringLiteral("&Landmarks"));
    startStopAction = addItem(landmarksMenu, QStringLiteral("&Start/Stop"));
    // F8 steps on its key release, whatever has the focus; the item only shows
    // the key. Its shortcut is bound to the open menu, where it is swallowed,
    // so that one press of F8 never steps twice.
    nextPointAction = addItem(landmarksMenu, QStringLiteral("&Next point"), {Qt::Key_F8});
    nextPointAction->setShortcutContext(Qt::WidgetShortcut);
    landmarksMenu->installEventFilter(this);
    previousPointAction = addItem(landmarksMenu, QStringLiteral("&Previous point"), {Qt::Key_F7});
    // Not Ctrl+Shift+F8: the release of any F8 steps the cursor as well.
    stepOnAfterClickAction =
        addItem(landmarksMenu, QStringLiteral("S&tep on after each click"), {Qt::Key_F9});
    stepOnAfterClickAction->setCheckable(true);
    landmarksMenu->addSeparator();
    suggestLandmarksAction =
        addItem(landmarksMenu, QStringLiteral("Su&ggest landmarks"), {Qt::CTRL | Qt::Key_G});
    suggestOnOpeningAction = addItem(landmarksMenu, QStringLiteral("Suggest on &opening"));
    suggestOnOpeningAction->setCheckable(true);
    mirrorSuggestionsAction = addItem(landmarksMenu, QStringLiteral("&Mirror suggestions"));
    mirrorSuggestionsAction->setCheckable(true);
    landmarksMenu->addSeparator();
    analyzeAction = addItem(landmarksMenu, QStringLiteral("&Analyze"),
                            {Qt::CTRL | Qt::Key_Return, Qt::CTRL | Qt::Key_Enter});
    analyzeAndOpenNextAction =
        addItem(landmarksMenu, QStringLiteral("Analyze and open ne&xt scan"),
                {Qt::CTRL | Qt::SHIFT | Qt::Key_Return, Qt::CTRL | Qt::SHIFT | Qt::Key_Enter});

    viewMenu = addMenu(QStringLiteral("&View"));
    // Ctrl+= as well, for keyboards where "+" needs Shift.
    zoomInAction = addItem(viewMenu, QStringLiteral("Zoom &in"),
                           {QKeySequence::ZoomIn, Qt::CTRL | Qt::Key_Equal});
    zoomOutAction = addItem(viewMenu, QStringLiteral("Zoom &out"), {QKeySequence::ZoomOut});
    // Zooming step by step while the key is held is what the slider would do.
    zoomInAction->setAutoRepeat(true);
    zoomOutAction->setAutoRepeat(true);
    actualSizeAction = addItem(viewMenu, QStringLiteral("&Actual size"), {Qt::CTRL | Qt::Key_0});
    viewMenu->addSeparator();
    useScanResolutionAction = addItem(viewMenu, QString());
    offerScanResolution(QString());
    showCountedPixelsAction =
        addItem(viewMenu, QStringLiteral("Show &counted pixels"), {Qt::CTRL | Qt::Key_T});
    showCountedPixelsAction->setCheckable(true);

    helpMenu = addMenu(QStringLiteral("&Help"));
    landmarkGuideAction =
        addItem(helpMenu, QStringLiteral("&Landmark guide"), {QKeySequence::HelpContents});
    aboutAction = addItem(helpMenu, QStringLiteral("&About KESTRA"));
}

QAction* MainMenu::addItem(QMenu* menu, const QString& text, const QList<QKeySequence>& shortcuts)
{
    QAction* action = menu->addAction(text);
    action->setShortcuts(shortcuts);
    // A key held down does its work once: a held Ctrl+Return must not append
    // row after row, nor F9 turn the mode on and off.
    action->setAutoRepeat(false);
    return action;
}

void MainMenu::followEnabled(QAction* action, QWidget* control)
{
    new EnabledFollower(action, control);
}

bool MainMenu::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == landmarksMenu && event->type() == QEvent::ShortcutOverride &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_F8) {
        event->accept();
        return true;
    }
    return QMenuBar::eventFilter(watched, event);
}

void MainMenu::offerScanResolution(const QString& text)
{
    // Enabled, and named with the value, only when a scan declares another one.
    useScanResolutionAction->setEnabled(!text.isEmpty());
    useScanResolutionAction->setText(text.isEmpty() ? QStringLiteral("&Use the scan's resolution")
                                                    : text);
}

} // namespace kestra
