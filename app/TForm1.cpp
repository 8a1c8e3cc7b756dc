#include "app/TForm1.h"

#include "app/AboutBox.h"
#include "app/Anchors.h"
#include "app/Application.h"
#include "app/CountedPixels.h"
#include "app/FileDialog.h"
#include "app/LandmarkGuide.h"
#include "app/MainMenu.h"
#include "app/PictureDrop.h"
#include "app/SaveDialog.h"
#include "app/ScanFolder.h"
#include "app/ScanResolution.h"
#include "app/StatusNotes.h"
#include "app/StringGrid.h"
#include "app/TextGridModel.h"
#include "app/Tone.h"
#include "app/WindowDialogs.h"
#include "app/results/ResultsPanel.h"
#include "app/scan/ScanMeasurement.h"
#include "measure/NumberText.h"
#include "measure/ResultsExport.h"
#include "measure/Tps.h"
#include "picture/PictureLoader.h"
#include "picture/PictureView.h"
#include "picture/ViewGeometry.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFrame>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QScrollBar>
#include <QSlider>
#include <QStatusBar>
#include <QVBoxLayout>
#include <QWindow>
#include <utility>

namespace {

const QString Caption = QString::fromLatin1(kestra::ProgramCaption);

constexpr QSize ClientSize(1184, 863);
// A fixed height, so that the client area below stands at the same place
// whatever font the menus get.
constexpr int MenuBarHeight = 20;
constexpr int DpiToneFrequency = 750;
constexpr int DpiToneMilliseconds = 300;

// The 16-bit key codes of the recording keys (F8 is 119); keys without such a
// code give 0, which no handler acts on.
std::uint16_t VirtualKeyCode(int qtKey)
{
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24) {
        return static_cast<std::uint16_t>(112 + (qtKey - Qt::Key_F1));
    }
    if ((qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) || (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z)) {
        return static_cast<std::uint16_t>(qtKey);
    }
    return 0;
}

QFont WindowFont()
{
    QFont font = QFontDatabase::families().contains(QStringLiteral("Tahoma"))
                     ? QFont(QStringLiteral("Tahoma"))
                     : QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(11);
    return font;
}

QPushButton* MakeButton(const QString& caption, QWidget* parent, const QRect& geometry,
                        bool enabled)
{
    auto* button = new QPushButton(caption, parent);
    button->setGeometry(geometry);
    button->setEnabled(enabled);
    return button;
}

// Labels size their width to their text and keep their place and height.
void FitLabel(QLabel* label)
{
    label->resize(label->sizeHint().width(), label->height());
}

QLabel* MakeLabel(const QString& caption, QWidget* parent, const QRect& geometry)
{
    auto* label = new QLabel(caption, parent);
    label->setGeometry(geometry);
    FitLabel(label);
    return label;
}

QScrollBar* MakeScrollBar(Qt::Orientation orientation, QWidget* parent, const QRect& geometry)
{
    auto* bar = new QScrollBar(orientation, parent);
    bar->setGeometry(geometry);
    bar->setRange(0, 100);
    bar->setValue(0);
    // An arrow and a click in the track both move by one.
    bar->setSingleStep(1);
    bar->setPageStep(1);
    bar->setFocusPolicy(Qt::TabFocus);
    // The picture lies under the bars; they paint all of their strip.
    bar->setAutoFillBackground(true);
    return bar;
}

std::optional<QString> RunModal(QFileDialog& dialog)
{
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles().constFirst();
}

// Bits a pixel of the screen, read once: JPEG pictures are quantized to a
// palette on displays of 8 bits or less.
int DisplayColorDepth()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->depth() : 24;
}

} // namespace

TForm1::TForm1(QWidget* parent)
    : QWidget(parent), displayColorDepth_(DisplayColorDepth()),
      beep_([] { kestra::Beep(DpiToneFrequency, DpiToneMilliseconds); }),
      noticeBox_([this](const QString& text) {
          QMessageBox::warning(this, QStringLiteral("KESTRA"), text);
      }),
      runDialog_(RunModal)
{
    setWindowTitle(Caption);
    setFont(WindowFont());
    QPalette background = palette();
    background.setColor(QPalette::Window, background.color(QPalette::Button));
    setPalette(background);
    setAutoFillBackground(true);

    // The menu bar stands above the client area, which holds the layout. The
    // layout is drawn for this client area; the anchors take the controls
    // from there to the real one.
    buildMenu();
    ClientArea = new QWidget(this);
    ClientArea->resize(ClientSize);
    auto* frame = new QVBoxLayout(this);
    frame->setContentsMargins(0, 0, 0, 0);
    frame->setSpacing(0);
    frame->setMenuBar(MainMenu1);
    frame->addWidget(ClientArea);
    buildControls();
    anchorControls();
    setTabOrders();
    readDecimalSeparator();
    wireEvents();
    wireMenu();
    FormCreate();

    QApplication::instance()->installEventFilter(this);
    Edit1->setFocus();
    if (const QScreen* screen = this->screen()) {
        setGeometry(screen->availableGeometry());
    }
}

TForm1::~TForm1()
{
    // The grids' models read the state, which goes before the children do.
    delete StringGrid1;
    delete StringGrid2;
}

void TForm1::setBeep(std::function<void()> beep)
{
    beep_ = std::move(beep);
}

void TForm1::setNoticeBox(std::function<void(const QString&)> box)
{
    noticeBox_ = std::move(box);
}

void TForm1::setDialogRunner(DialogRunner runner)
{
    runDialog_ = std::move(runner);
}

void TForm1::buildMenu()
{
    MainMenu1 = new kestra::MainMenu(this);
    MainMenu1->setFixedHeight(MenuBarHeight);
    // Without a results row there are no landmarks to save.
    MainMenu1->saveLandmarksAction->setEnabled(false);
}

void TForm1::buildControls()
{
    Panel2 = new QFrame(ClientArea);
    Panel2->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel2->setLineWidth(1);
    Panel2->setGeometry(8, 8, 945, 615);

    Image2 = new kestra::PictureView(Panel2);
    Image2->setGeometry(0, -1, 105, 105);
    Image2->setAccessibleName(QStringLiteral("Picture"));
    ScrollBar1 = MakeScrollBar(Qt::Horizontal, Panel2, {1, 599, 943, 15});
    ScrollBar2 = MakeScrollBar(Qt::Vertical, Panel2, {929, 1, 15, 598});

    // A raised outer and a lowered inner bevel.
    Panel1 = new QFrame(ClientArea);
    Panel1->setFrameStyle(QFrame::Box | QFrame::Raised);
    Panel1->setLineWidth(1);
    Panel1->setMidLineWidth(0);
    Panel1->setGeometry(956, 8, 220, 614);

    Label1 = MakeLabel(QStringLiteral("DPI:"), Panel1, {16, 18, 21, 13});
    Edit1 = new QLineEdit(QStringLiteral("300"), Panel1);
    Edit1->setGeometry(80, 15, 121, 21);
    Edit1->setAccessibleName(QStringLiteral("DPI"));
    // Files dropped on the field go to the window, which opens them.
    Edit1->setAcceptDrops(false);
    Label1->setBuddy(Edit1);
    Button3 = MakeButton(QStringLiteral("Start/Stop"), Panel1, {16, 64, 89, 25}, true);
    Button4 = MakeButton(QStringLiteral("Next point (F8)"), Panel1, {120, 64, 89, 25}, false);
    Label13 = MakeLabel(QStringLiteral("Zoom: 100%"), Panel1, {16, 95, 62, 13});
    TrackBar1 = new QSlider(Qt::Horizontal, Panel1);
    TrackBar1->setGeometry(16, 114, 193, 44);
    TrackBar1->setRange(0, 7);
    TrackBar1->setValue(kestra::SliderPositionAtFullSize);
    TrackBar1->setSingleStep(1);
    TrackBar1->setPageStep(2);
    TrackBar1->setTickPosition(QSlider::TicksBelow);
    TrackBar1->setTickInterval(1);
    TrackBar1->setAccessibleName(QStringLiteral("Zoom"));
    Label2 = MakeLabel(QString(), Panel1, {16, 164, 105, 13});

    coordinates_ = new kestra::TextGridModel(state.Landmarks.coordinates(), this);
    StringGrid2 = new kestra::StringGrid(coordinates_, Panel1);
    coordinates_->setParent(StringGrid2);
    StringGrid2->setGeometry(16, 183, 193, 416);
    StringGrid2->setCellSizes(56, 56, 24);
    StringGrid2->verticalHeader()->resizeSection(2, 22);
    StringGrid2->setAccessibleName(QStringLiteral("Coordinates"));
    // Only the recording cursor selects a row here (see showLandmarks).
    StringGrid2->setSelectionMode(QAbstractItemView::NoSelection);

    Button1 = MakeButton(QStringLiteral("Open ..."), ClientArea, {8, 636, 105, 25}, true);
    Button12 = MakeButton(QStringLiteral("Analyze"), ClientArea, {240, 636, 105, 25}, false);
    Button13 = MakeButton(QStringLiteral("Save ..."), ClientArea, {363, 636, 107, 25}, false);
    Button2 = MakeButton(QStringLiteral("Exit"), ClientArea, {1076, 636, 100, 25}, true);

    StatusBar1 = new QStatusBar(ClientArea);
    StatusBar1->setGeometry(0, 844, 1184, 19);
    StatusBar1->setSizeGripEnabled(false);
    StatusBar1->addWidget(
        new QLabel(QStringLiteral("Open a leaf scan and check the DPI. Press Start/Stop until "
                                  "\"Reading P(1) ...\" shows, click each landmark on the picture "
                                  "and press F8 for the next one; then Analyze and Save ..."),
                   StatusBar1),
        1);
    statusNotes_ = new kestra::StatusNotes(StatusBar1);
    results_ = new kestra::ResultsPanel(state.Results, ClientArea, *MainMenu1, *statusNotes_,
                                        kestra::JournalFolder());
    StringGrid1 = results_->grid();
}

kestra::FileDialog& TForm1::openPictureDialog()
{
    if (OpenPictureDialog1 == nullptr)
        OpenPictureDialog1 = kestra::MakeOpenPictureDialog(this);
    return *OpenPictureDialog1;
}

kestra::SaveDialog& TForm1::saveDialog()
{
    if (SaveDialog1 == nullptr)
        SaveDialog1 = kestra::MakeSaveResultsDialog(this);
    return *SaveDialog1;
}

kestra::SaveDialog& TForm1::saveLandmarksDialog()
{
    if (saveLandmarksDialog_ == nullptr)
        saveLandmarksDialog_ = kestra::MakeSaveLandmarksDialog(this);
    return *saveLandmarksDialog_;
}

kestra::FileDialog& TForm1::loadLandmarksDialog()
{
    if (loadLandmarksDialog_ == nullptr)
        loadLandmarksDialog_ = kestra::MakeLoadLandmarksDialog(this);
    return *loadLandmarksDialog_;
}

void TForm1::anchorControls()
{
    anchors_ = new kestra::Anchors(this);
    const Qt::Edges leftTop = Qt::LeftEdge | Qt::TopEdge;
    const Qt::Edges all = leftTop | Qt::RightEdge | Qt::BottomEdge;
    const Qt::Edges alongBottom = Qt::LeftEdge | Qt::RightEdge | Qt::BottomEdge;

    anchors_->anchor(Panel2, all);
    anchors_->anchor(Panel1, Qt::TopEdge | Qt::RightEdge | Qt::BottomEdge);
    anchors_->anchor(Button1, Qt::LeftEdge | Qt::BottomEdge);
    anchors_->anchor(Button12, Qt::LeftEdge | Qt::BottomEdge);
    anchors_->anchor(Button13, Qt::LeftEdge | Qt::BottomEdge);
    anchors_->anchor(Button2, Qt::RightEdge | Qt::BottomEdge);
    anchors_->anchor(StringGrid1, alongBottom);
    anchors_->anchor(StatusBar1, alongBottom);

    // The picture control has no anchors: its centre keeps its proportional
    // place. The scroll bars run along the bottom and the right edge.
    anchors_->anchor(Image2, Qt::Edges());
    anchors_->anchor(ScrollBar1, alongBottom);
    anchors_->anchor(ScrollBar2, Qt::TopEdge | Qt::RightEdge | Qt::BottomEdge);

    for (QWidget* control : {static_cast<QWidget*>(Label1), static_cast<QWidget*>(Edit1),
                             static_cast<QWidget*>(Button3), static_cast<QWidget*>(Button4),
                             static_cast<QWidget*>(Label13), static_cast<QWidget*>(TrackBar1),
                             static_cast<QWidget*>(Label2)}) {
        anchors_->anchor(control, leftTop);
    }
    anchors_->anchor(StringGrid2, all);
}

void TForm1::setTabOrders()
{
    // Panel1 comes first in the window, then Panel2, then the window's own
    // controls; within each parent the layout's order.
    QWidget* const order[] = {Edit1,      Button3, Button4, TrackBar1,   StringGrid2, ScrollBar1,
                              ScrollBar2, Button1, Button2, StringGrid1, Button12,    Button13};
    for (std::size_t i = 1; i < std::size(order); ++i) {
        setTabOrder(order[i - 1], order[i]);
    }
}

template <typename... Parameters, typename... Arguments>
void TForm1::runHandler(void (TForm1::*handler)(Parameters...), Arguments... arguments)
{
    kestra::RunHandler([&] { (this->*handler)(arguments...); });
}

void TForm1::wireEvents()
{
    connect(Edit1, &QLineEdit::textChanged, this, [this] { runHandler(&TForm1::Edit1Change); });
    connect(Button1, &QPushButton::clicked, this, [this] { runHandler(&TForm1::Button1Click); });
    connect(Button2, &QPushButton::clicked, this, [this] { runHandler(&TForm1::Button2Click); });
    connect(Button3, &QPushButton::clicked, this, [this] { runHandler(&TForm1::Button3Click); });
    connect(Button4, &QPushButton::clicked, this, [this] { runHandler(&TForm1::Button4Click); });
    connect(Button12, &QPushButton::clicked, this, [this] { runHandler(&TForm1::Button12Click); });
    connect(Button13, &QPushButton::clicked, this, [this] { runHandler(&TForm1::Button13Click); });
    connect(TrackBar1, &QSlider::valueChanged, this,
            [this] { runHandler(&TForm1::TrackBar1Change); });
    connect(ScrollBar1, &QScrollBar::valueChanged, this,
            [this] { runHandler(&TForm1::ScrollBar1Change); });
    connect(ScrollBar2, &QScrollBar::valueChanged, this,
            [this] { runHandler(&TForm1::ScrollBar2Change); });
    connect(Image2, &kestra::PictureView::mousePressed, this,
            [this](Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y) {
                runHandler(&TForm1::Image2MouseDown, button, shift, x, y);
            });
    connect(Image2, &kestra::PictureView::mouseMoved, this,
            [this](Qt::MouseButtons, Qt::KeyboardModifiers shift, int x, int y) {
                runHandler(&TForm1::Image2MouseMove, shift, x, y);
            });
    connect(Image2, &kestra::PictureView::mouseReleased, this,
            [this](Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y) {
                runHandler(&TForm1::Image2MouseUp, button, shift, x, y);
            });
}

void TForm1::wireMenu()
{
    const kestra::MainMenu& menu = *MainMenu1;
    const auto wire = [this](QAction* action, void (TForm1::*handler)()) {
        connect(action, &QAction::triggered, this, [this, handler] { runHandler(handler); });
    };
    wire(menu.openAction, &TForm1::Button1Click);
    wire(menu.openNextScanAction, &TForm1::OpenNextScanClick);
    wire(menu.openPreviousScanAction, &TForm1::OpenPreviousScanClick);
    wire(menu.saveAction, &TForm1::Button13Click);
    wire(menu.saveLandmarksAction, &TForm1::SaveLandmarksClick);
    wire(menu.loadLandmarksAction, &TForm1::LoadLandmarksClick);
    wire(menu.exitAction, &TForm1::Button2Click);
    wire(menu.startStopAction, &TForm1::Button3Click);
    wire(menu.nextPointAction, &TForm1::Button4Click);
    wire(menu.previousPointAction, &TForm1::PreviousPointClick);
    wire(menu.analyzeAction, &TForm1::Button12Click);
    wire(menu.stepOnAfterClickAction, &TForm1::StepOnClick);
    wire(menu.useScanResolutionAction, &TForm1::UseScanResolutionClick);
    wire(menu.showCountedPixelsAction, &TForm1::ShowCountedPixelsClick);
    wire(menu.analyzeAndOpenNextAction, &TForm1::AnalyzeAndOpenNextClick);
    wire(menu.suggestLandmarksAction, &TForm1::SuggestLandmarksClick);
    wire(menu.mirrorSuggestionsAction, &TForm1::MirrorSuggestionsClick);
    wire(menu.zoomInAction, &TForm1::ZoomInClick);
    wire(menu.zoomOutAction, &TForm1::ZoomOutClick);
    wire(menu.actualSizeAction, &TForm1::ActualSizeClick);
    wire(menu.landmarkGuideAction, &TForm1::LandmarkGuideClick);
    wire(menu.aboutAction, &TForm1::AboutClick);
    MainMenu1->followEnabled(menu.saveAction, Button13);
    MainMenu1->followEnabled(menu.analyzeAction, Button12);
    MainMenu1->followEnabled(menu.analyzeAndOpenNextAction, Button12);
    // These need a picture, and Analyze is enabled exactly once one is open.
    for (QAction* needsPicture : {menu.openNextScanAction, menu.openPreviousScanAction,
                                  menu.loadLandmarksAction, menu.suggestLandmarksAction}) {
        MainMenu1->followEnabled(needsPicture, Button12);
    }

    connect(results_, &kestra::ResultsPanel::rowActivated, this,
            [this](int row) { runHandler(&TForm1::StringGrid1DblClick, row); });
    connect(results_, &kestra::ResultsPanel::hasRowsChanged, Button13,
            [this](bool hasRows) { Button13->setEnabled(Button13->isEnabled() || hasRows); });

    // A click anywhere on a row of the coordinates list, or Enter on it.
    const auto jump = [this](const QModelIndex& index) {
        runHandler(&TForm1::StringGrid2Click, index.row() + 1);
    };
    connect(StringGrid2, &QAbstractItemView::clicked, this, jump);
    connect(StringGrid2, &QAbstractItemView::activated, this, jump);
    connect(StringGrid2->verticalHeader(), &QHeaderView::sectionClicked, this,
            [this](int section) { runHandler(&TForm1::StringGrid2Click, section + 1); });

    auto* drop = new kestra::PictureDrop(this);
    // Opened once the drop is over: a box that a failed load shows must not
    // hold up the program the file came from.
    connect(
        drop, &kestra::PictureDrop::fileDropped, this,
        [this](const QString& path) { runHandler(&TForm1::FormDragDrop, path); },
        Qt::QueuedConnection);
}

void TForm1::FormCreate()
{
    state.Dpi = 300.0;
    state.ZoomPercent = 100;
    state.Pan = kestra::PanState{};
    state.Landmarks.ResetPoints();
    setWindowTitle(Caption);
    // Both grids' heads come with the core's tables.
    results_->refresh();
    showLandmarks();
}

bool TForm1::eventFilter(QObject* watched, QEvent* event)
{
    // Key preview: a key release for this window passes here once, on its
    // way to the focused control, which still gets it. Holding a key down
    // repeats releases; only the last, real one counts.
    if (event->type() == QEvent::KeyRelease && watched == windowHandle()) {
        const auto* key = static_cast<const QKeyEvent*>(event);
        if (!key->isAutoRepeat()) {
            runHandler(&TForm1::FormKeyUp, VirtualKeyCode(key->key()), key->modifiers());
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TForm1::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LocaleChange) {
        readDecimalSeparator();
        // What the window wrote with the old separator is written again.
        compareResolution();
        showCount();
    }
    QWidget::changeEvent(event);
}

void TForm1::readDecimalSeparator()
{
    decimalSeparator_ = kestra::LocaleDecimalSeparator();
}

void TForm1::FormKeyUp(std::uint16_t key, Qt::KeyboardModifiers)
{
    state.Landmarks.keyReleased(key);
    showLandmarks();
}

void TForm1::Edit1Change()
{
    const std::optional<double> dpi =
        kestra::TextToNumber(Edit1->text().toStdString(), decimalSeparator_);
    if (dpi) {
        const bool changed = state.Dpi != *dpi;
        state.Dpi = *dpi;
        setEdit1Color(QColor(0, 128, 0));
        if (changed) {
            statusNotes_->set(kestra::StatusNotes::Note::Resolution, QString());
        }
        compareResolution();
        showCount();
        return;
    }
    setEdit1Color(QColor(255, 0, 0));
    beep_();
}

void TForm1::Button1Click()
{
    const std::optional<QString> chosen = runDialog_(openPictureDialog());
    if (!chosen) {
        return;
    }
    openPicture(*chosen);
}

void TForm1::openPicture(const QString& path)
{
    kestra::LoadedPicture picture;
    {
        // Large scans take a moment to decode.
        QApplication::setOverrideCursor(Qt::WaitCursor);
        const auto restoreCursor = qScopeGuard([] { QApplication::restoreOverrideCursor(); });
        // A picture that does not load throws here, before anything has changed.
        picture = kestra::LoadPicture(path, displayColorDepth_);
    }
    Image2->bitmap().takeOver(std::move(picture.image));
    countedPixels_.recount(Image2->bitmap().image());
    state.FileName = path.toStdString();
    skippedScans_.clear();
    setWindowTitle(Caption + QStringLiteral(" - ") + path);
    state.Landmarks.ResetPoints();
    suggestions_.pictureOpened(Image2->bitmap(), MainMenu1->suggestOnOpeningAction->isChecked());
    results_->model().cancelReplacing();
    showLandmarks();
    TrackBar1Change();
    Button12->setEnabled(true);
    Button13->setEnabled(true);

    // What the file says of itself: a resolution that differs from the DPI in
    // use would scale every length, and a turned picture looks unlike the
    // photo viewer's.
    declaredDpi_ = picture.declaredDpi;
    const std::optional<kestra::ResolutionWarning> warning = compareResolution();
    statusNotes_->set(kestra::StatusNotes::Note::Resolution, warning ? warning->text : QString());
    statusNotes_->set(kestra::StatusNotes::Note::Orientation,
                      picture.storedTurned
                          ? QStringLiteral("This picture is stored turned; it is measured as "
                                           "stored.")
                          : QString());
    showCount();
    if (picture.damaged) {
        noticeBox_(QStringLiteral(
            "This JPEG file is damaged or incomplete: parts of the picture were filled in by the "
            "decoder, and the surface will count them."));
    }
}

void TForm1::Button2Click()
{
    // At once and without asking: unsaved results are the user's choice.
    QCoreApplication::exit(0);
}

void TForm1::Button3Click()
{
    state.Landmarks.startStop();
    showLandmarks();
}

void TForm1::Button4Click()
{
    state.Landmarks.nextPoint();
    showLandmarks();
}

void TForm1::Button12Click()
{
    // The count may have widened the picture, also when the run stops with an error.
    const auto repaint = qScopeGuard([this] { Image2->update(); });
    // Suggestions count as they stand, their crosses drawn as clicks would draw them.
    suggestions_.confirm();
    results_->model().add(kestra::AnalyzePicture(state.Landmarks.points, Image2->bitmap(),
                                                 state.FileName, state.Dpi, decimalSeparator_));
}

void TForm1::Button13Click()
{
    if (const std::optional<std::string> chosen = chooseSaveTarget(saveDialog())) {
        kestra::ExportResults(state.Results, *chosen);
        results_->model().markSaved();
    }
}

std::optional<std::string> TForm1::chooseSaveTarget(kestra::SaveDialog& dialog)
{
    const std::optional<QString> chosen = runDialog_(dialog);
    if (!chosen) {
        return std::nullopt;
    }
    // Offered again the next time.
    dialog.selectFile(*chosen);
    return QFile::encodeName(*chosen).toStdString();
}

void TForm1::Image2MouseDown(Qt::MouseButton, Qt::KeyboardModifiers shift, int x, int y)
{
    if (!shift.testFlag(Qt::ControlModifier)) {
        return;
    }
    state.Pan.Dragging = true;
    state.Pan.DragStartX = x;
    state.Pan.DragStartY = y;
    state.Pan.DragScrollX = ScrollBar1->value();
    state.Pan.DragScrollY = ScrollBar2->value();
}

void TForm1::Image2MouseMove(Qt::KeyboardModifiers shift, int x, int y)
{
    // Letting Ctrl go suspends the pan; pressing it again resumes it.
    if (!state.Pan.Dragging || !shift.testFlag(Qt::ControlModifier)) {
        return;
    }
    // x and y are measured against the control as the previous step left it,
    // so the picture follows the mouse at half its speed.
    if (const auto left = kestra::PanPosition(state.Pan.DragScrollX, state.Pan.DragStartX, x,
                                              ScrollBar1->maximum())) {
        ScrollBar1->setValue(*left);
        Image2->move(-*left, Image2->y());
    }
    if (const auto top = kestra::PanPosition(state.Pan.DragScrollY, state.Pan.DragStartY, y,
                                             ScrollBar2->maximum())) {
        ScrollBar2->setValue(*top);
        Image2->move(Image2->x(), -*top);
    }
}

void TForm1::Image2MouseUp(Qt::MouseButton, Qt::KeyboardModifiers shift, int x, int y)
{
    state.Pan.Dragging = false;
    // A release with Ctrl held ends a pan and records nothing.
    if (shift.testFlag(Qt::ControlModifier)) {
        return;
    }
    if (state.Landmarks.recordRelease(x, y, state.ZoomPercent)) {
        DrawMarkers();
        // The label has moved on to the next landmark: what the click
        // recorded stays in sight a moment longer.
        if (state.Landmarks.stepOnAfterClick()) {
            statusNotes_->showPassing(QString::fromStdString(state.Landmarks.recordedText()));
        }
    }
    showLandmarks();
}

void TForm1::TrackBar1Change()
{
    state.ZoomPercent = kestra::ZoomPercentAt(TrackBar1->value());
    Label13->setText(QStringLiteral("Zoom: %1%").arg(state.ZoomPercent));
    FitLabel(Label13);
    const QSize picture = Image2->bitmap().image().size();
    Image2->resize(kestra::ZoomedLength(picture.width(), state.ZoomPercent),
                   kestra::ZoomedLength(picture.height(), state.ZoomPercent));
    Image2->setStretch(state.ZoomPercent != 100);
    UpdateScrollBars();
}

void TForm1::UpdateScrollBars()
{
    // The picture shows in the part of Panel2 left of the vertical bar and
    // above the horizontal one; the ranges measure the zoomed picture
    // against that, so every part of it can be brought into view.
    const kestra::ScrollRange horizontal = kestra::ScrollRangeFor(Image2->width(), ScrollBar2->x());
    ScrollBar1->setValue(0);
    ScrollBar1->setEnabled(horizontal.enabled);
    ScrollBar1->setMaximum(horizontal.maximum);

    const kestra::ScrollRange vertical = kestra::ScrollRangeFor(Image2->height(), ScrollBar1->y());
    ScrollBar2->setValue(0);
    ScrollBar2->setEnabled(vertical.enabled);
    ScrollBar2->setMaximum(vertical.maximum);

    Image2->move(0, 0);
    Image2->update();
    DrawMarkers();
}

void TForm1::ScrollBar1Change()
{
    // A bar whose position changes becomes enabled, also when a pan moved it.
    ScrollBar1->setEnabled(true);
    Image2->move(-ScrollBar1->value(), Image2->y());
}

void TForm1::ScrollBar2Change()
{
    ScrollBar2->setEnabled(true);
    Image2->move(Image2->x(), -ScrollBar2->value());
}

void TForm1::DrawMarkers()
{
    kestra::PictureBitmap& bitmap = Image2->bitmap();
    const bool hadPicture = !bitmap.image().isNull();
    bitmap.ensureBlank(Image2->size());
    // Markers count as leaf: the count shown follows them.
    const kestra::Landmarks placed = state.Landmarks.placedPoints();
    const QRegion boxes = kestra::MarkerBoxes(placed);
    if (hadPicture) {
        countedPixels_.beforeMarkers(bitmap.image(), boxes);
    }
    bitmap.DrawMarkers(placed);
    if (hadPicture) {
        countedPixels_.afterMarkers(bitmap.image(), boxes);
    } else {
        countedPixels_.recount(bitmap.image());
    }
    showCount();
    Image2->update();
}

void TForm1::OpenNextScanClick()
{
    openNeighbourScan(1);
}

void TForm1::OpenPreviousScanClick()
{
    openNeighbourScan(-1);
}

void TForm1::openNeighbourScan(int step)
{
    if (state.FileName.empty()) {
        return;
    }
    const std::optional<QString> scan =
        kestra::NeighbourScan(QString::fromStdString(state.FileName), step, skippedScans_);
    if (!scan) {
        statusNotes_->showPassing(step > 0 ? QStringLiteral("No next scan in this folder.")
                                           : QStringLiteral("No previous scan in this folder."));
        return;
    }
    // A scan that does not load is passed over by the next step, so that one
    // damaged file does not bar the way through the folder.
    skippedScans_.insert(*scan);
    openPicture(*scan);
}

void TForm1::PreviousPointClick()
{
    state.Landmarks.previousPoint();
    showLandmarks();
}

void TForm1::StepOnClick()
{
    state.Landmarks.setStepOnAfterClick(MainMenu1->stepOnAfterClickAction->isChecked());
}

void TForm1::AnalyzeAndOpenNextClick()
{
    // An analysis either appends its row or throws here, and nothing opens.
    Button12Click();
    openNeighbourScan(1);
}

void TForm1::SuggestLandmarksClick()
{
    suggestions_.suggest(Image2->bitmap());
}

void TForm1::MirrorSuggestionsClick()
{
    suggestions_.setMirror(MainMenu1->mirrorSuggestionsAction->isChecked());
}

void TForm1::UseScanResolutionClick()
{
    if (const auto warning = compareResolution()) {
        // Typed as the user would, so that the field's own rule sets the DPI.
        Edit1->setText(warning->fieldText);
    }
}

void TForm1::ShowCountedPixelsClick()
{
    const bool show = MainMenu1->showCountedPixelsAction->isChecked();
    Image2->setShowCounted(show);
    if (show) {
        countedPixels_.show(Image2->bitmap().image());
    } else {
        countedPixels_.hide();
    }
    showCount();
}

void TForm1::showCount()
{
    statusNotes_->set(kestra::StatusNotes::Note::Count,
                      countedPixels_.note(state.Dpi, decimalSeparator_));
}

std::optional<kestra::ResolutionWarning> TForm1::compareResolution()
{
    const auto warning = kestra::CompareResolution(declaredDpi_, state.Dpi,
                                                   QString::fromStdString(decimalSeparator_));
    MainMenu1->offerScanResolution(warning ? warning->menuText : QString());
    Edit1->setToolTip(warning ? warning->text : QString());
    return warning;
}

void TForm1::SaveLandmarksClick()
{
    if (const std::optional<std::string> chosen = chooseSaveTarget(saveLandmarksDialog())) {
        kestra::ExportTps(state.Results, *chosen);
    }
}

void TForm1::LoadLandmarksClick()
{
    if (state.FileName.empty()) {
        return;
    }
    const std::optional<QString> chosen = runDialog_(loadLandmarksDialog());
    if (!chosen) {
        return;
    }
    const QSize picture = Image2->bitmap().image().size();
    // A file that does not hold this picture's landmarks throws here, before
    // anything has changed.
    const kestra::Landmarks loaded = kestra::LoadTpsLandmarks(
        QFile::encodeName(*chosen).toStdString(),
        {.name = state.FileName, .width = picture.width(), .height = picture.height()});
    placeLandmarks(loaded);
}

void TForm1::StringGrid1DblClick(int row)
{
    const kestra::RowLandmarks measured = state.Results.rowLandmarks(row);
    // A scan that is gone throws here, before anything has changed.
    openPicture(QString::fromStdString(measured.FileName));
    placeLandmarks(measured.points);
    results_->startReplacing(row, state.Dpi, decimalSeparator_);
}

void TForm1::placeLandmarks(const kestra::Landmarks& landmarks)
{
    state.Landmarks.takeLandmarks(landmarks);
    showLandmarks();
    DrawMarkers();
}

void TForm1::StringGrid2Click(int row)
{
    state.Landmarks.jumpTo(row);
    showLandmarks();
}

void TForm1::ZoomInClick()
{
    TrackBar1->setValue(TrackBar1->value() + 1);
}

void TForm1::ZoomOutClick()
{
    TrackBar1->setValue(TrackBar1->value() - 1);
}

void TForm1::ActualSizeClick()
{
    TrackBar1->setValue(kestra::SliderPositionAtFullSize);
}

void TForm1::LandmarkGuideClick()
{
    if (guide_ == nullptr) {
        guide_ = new kestra::LandmarkGuide(this);
        guide_->showLandmarks(state.Landmarks);
        // At the picture's top right corner, clear of the coordinates list.
        guide_->resize(guide_->sizeHint());
        const QPoint corner = Panel2->mapToGlobal(QPoint(Panel2->width(), 0));
        guide_->move(corner.x() - guide_->width() - ScrollBar2->width() - 8, corner.y() + 8);
    }
    guide_->show();
    guide_->raise();
}

void TForm1::AboutClick()
{
    kestra::ShowAbout(this);
}

void TForm1::FormDragDrop(const QString& path)
{
    openPicture(path);
}

void TForm1::showLandmarks()
{
    Label2->setText(QString::fromStdString(state.Landmarks.statusText()));
    FitLabel(Label2);
    coordinates_->refresh();
    Button4->setEnabled(state.Landmarks.nextPointAvailable());
    Image2->setSuggested(state.Landmarks.suggestedPoints());
    if (guide_ != nullptr) {
        guide_->showLandmarks(state.Landmarks);
    }
    // While recording, the current landmark's row stands out and stays in
    // view; otherwise no row is selected, and a click on the list selects
    // nothing.
    QItemSelectionModel* selection = StringGrid2->selectionModel();
    if (state.Landmarks.isRecording()) {
        const QModelIndex current = coordinates_->index(state.Landmarks.CurrentPoint - 1, 0);
        selection->select(current, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        StringGrid2->scrollTo(current);
    } else {
        selection->clearSelection();
    }
}

void TForm1::setEdit1Color(const QColor& color)
{
    QPalette palette = Edit1->palette();
    palette.setColor(QPalette::Text, color);
    Edit1->setPalette(palette);
}
