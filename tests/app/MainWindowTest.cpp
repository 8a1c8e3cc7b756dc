#include "FormFixture.h"
#include "QtPrinters.h"
#include "app/SaveDialog.h"
#include "measure/Analysis.h"
#include "measure/Error.h"
#include "measure/ResultsExport.h"
#include "picture/PictureView.h"

#include <QAccessible>
#include <QFile>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QScreen>
#include <QScrollBar>
#include <QSlider>
#include <QStatusBar>
#include <QTimer>

namespace {

const QColor Green(0, 128, 0);
const QColor Red(255, 0, 0);

struct Placed {
    QWidget* control;
    QWidget* parent;
    QRect geometry;
};

// Counts the key releases a widget receives.
class KeyReleaseCounter : public QObject {
public:
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::KeyRelease) {
            ++count;
        }
        return false;
    }
};

class MainWindowTest : public FormFixture {
protected:
    [[nodiscard]] std::vector<Placed> layout() const
    {
        TForm1& f = *form;
        return {{f.Panel2, f.ClientArea, {8, 8, 945, 615}},
                {f.Image2, f.Panel2, {0, -1, 105, 105}},
                {f.ScrollBar1, f.Panel2, {1, 599, 943, 15}},
                {f.ScrollBar2, f.Panel2, {929, 1, 15, 598}},
                {f.Panel1, f.ClientArea, {956, 8, 220, 614}},
                {f.Edit1, f.Panel1, {80, 15, 121, 21}},
                {f.Button3, f.Panel1, {16, 64, 89, 25}},
                {f.Button4, f.Panel1, {120, 64, 89, 25}},
                {f.TrackBar1, f.Panel1, {16, 114, 193, 44}},
                {f.StringGrid2, f.Panel1, {16, 183, 193, 416}},
                {f.Button1, f.ClientArea, {8, 636, 105, 25}},
                {f.Button12, f.ClientArea, {240, 636, 105, 25}},
                {f.Button13, f.ClientArea, {363, 636, 107, 25}},
                {f.Button2, f.ClientArea, {1076, 636, 100, 25}},
                {f.StringGrid1, f.ClientArea, {8, 677, 1168, 161}},
                {f.StatusBar1, f.ClientArea, {0, 844, 1184, 19}}};
    }

    void expectLayoutPositions() const
    {
        for (const Placed& placed : layout()) {
            EXPECT_EQ(placed.control->parentWidget(), placed.parent)
                << placed.control->metaObject()->className();
            EXPECT_EQ(placed.control->geometry(), placed.geometry)
                << placed.control->metaObject()->className() << " "
                << placed.control->accessibleName().toStdString();
        }
        // Labels fit their width to the text and keep place and height.
        const std::vector<std::pair<QLabel*, QRect>> labels = {{form->Label1, {16, 18, 21, 13}},
                                                               {form->Label13, {16, 95, 62, 13}},
                                                               {form->Label2, {16, 164, 105, 13}}};
        for (const auto& [label, geometry] : labels) {
            EXPECT_EQ(label->parentWidget(), form->Panel1);
            EXPECT_EQ(label->pos(), geometry.topLeft()) << label->text().toStdString();
            EXPECT_EQ(label->height(), geometry.height());
            EXPECT_GE(label->width(), label->sizeHint().width());
        }
    }

    void releaseOnPicture(QPoint at, Qt::KeyboardModifiers shift = {},
                          Qt::MouseButton button = Qt::LeftButton)
    {
        QTest::mouseRelease(form->Image2, button, shift, at);
    }
};

TEST_F(MainWindowTest, StartsWithTheLayoutsControlsAndStates)
{
    // The menu bar stands above the client area, which holds the layout.
    EXPECT_EQ(form->MainMenu1->geometry(), QRect(0, 0, 1184, form->MainMenu1->height()));
    EXPECT_EQ(form->ClientArea->geometry(), QRect(0, form->MainMenu1->height(), 1184, 863));
    expectLayoutPositions();
    const TForm1 unshown;
    EXPECT_EQ(unshown.geometry(), unshown.screen()->availableGeometry());
    EXPECT_EQ(form->windowTitle(), "KESTRA v2.04");
    EXPECT_EQ(form->font().pixelSize(), 11);
    EXPECT_EQ(form->palette().color(QPalette::Window), form->palette().color(QPalette::Button));

    const std::vector<std::tuple<QPushButton*, const char*, bool>> buttons = {
        {form->Button1, "Open ...", true},   {form->Button2, "Exit", true},
        {form->Button3, "Start/Stop", true}, {form->Button4, "Next point (F8)", false},
        {form->Button12, "Analyze", false},  {form->Button13, "Save ...", false}};
    for (const auto& [button, caption, enabled] : buttons) {
        EXPECT_EQ(button->text(), caption);
        EXPECT_EQ(button->isEnabled(), enabled) << caption;
    }
    EXPECT_EQ(form->Label1->text(), "DPI:");
    EXPECT_EQ(form->Label13->text(), "Zoom: 100%");
    EXPECT_EQ(form->Label2->text(), "Recorded coordinates");

    EXPECT_EQ(form->Edit1->text(), "300");
    EXPECT_EQ(form->Edit1->palette().color(QPalette::Text),
              QApplication::palette().color(QPalette::Text));
    EXPECT_EQ(form->state.Dpi, 300.0);
    EXPECT_EQ(beeps, 0);
    EXPECT_EQ(QApplication::focusWidget(), form->Edit1);

    EXPECT_EQ(form->TrackBar1->minimum(), 0);
    EXPECT_EQ(form->TrackBar1->maximum(), 7);
    EXPECT_EQ(form->TrackBar1->value(), 3);
    for (const QScrollBar* bar : {form->ScrollBar1, form->ScrollBar2}) {
        EXPECT_TRUE(bar->isEnabled());
        EXPECT_EQ(bar->minimum(), 0);
        EXPECT_EQ(bar->maximum(), 100);
        EXPECT_EQ(bar->value(), 0);
    }
    EXPECT_EQ(form->Image2->cursor().shape(), Qt::CrossCursor);

    const auto statusLabels = form->StatusBar1->findChildren<QLabel*>();
    ASSERT_EQ(statusLabels.size(), 1);
    EXPECT_TRUE(statusLabels[0]->text().contains("Start/Stop"));

    EXPECT_EQ(form->Edit1->accessibleName(), "DPI");
    EXPECT_EQ(form->StringGrid1->accessibleName(), "Results");
    EXPECT_EQ(form->StringGrid2->accessibleName(), "Coordinates");
    EXPECT_EQ(form->Image2->accessibleName(), "Picture");
}

TEST_F(MainWindowTest, TabOrderRunsThroughThePanelsFirst)
{
    const std::vector<QWidget*> expected = {form->Edit1,       form->Button3,     form->Button4,
                                            form->TrackBar1,   form->StringGrid2, form->ScrollBar1,
                                            form->ScrollBar2,  form->Button1,     form->Button2,
                                            form->StringGrid1, form->Button12,    form->Button13};
    std::vector<QWidget*> chain;
    QWidget* widget = form->Edit1;
    do {
        if ((widget->focusPolicy() & Qt::TabFocus) != 0 && widget->window() == form.get()) {
            chain.push_back(widget);
        }
        widget = widget->nextInFocusChain();
    } while (widget != form->Edit1 && chain.size() < 40);
    EXPECT_EQ(chain, expected);
}

TEST_F(MainWindowTest, GridsShowTheCoresCellsWithFixedHeads)
{
    kestra::StringGrid* results = form->StringGrid1;
    EXPECT_EQ(results->cornerText(), "No.");
    EXPECT_EQ(results->model()->columnCount(), 118);
    EXPECT_EQ(results->model()->rowCount(), 1);
    EXPECT_EQ(results->model()->headerData(0, Qt::Horizontal).toString(), "Name");
    EXPECT_EQ(results->model()->headerData(117, Qt::Horizontal).toString(), "P(32).Y");
    EXPECT_EQ(results->verticalHeader()->width(), 64);
    EXPECT_EQ(results->columnWidth(0), 77);
    EXPECT_EQ(results->columnWidth(1), 64);
    EXPECT_EQ(results->horizontalHeader()->height(), 24);
    EXPECT_EQ(results->rowHeight(0), 24);

    kestra::StringGrid* coordinates = form->StringGrid2;
    EXPECT_EQ(coordinates->cornerText(), "Points");
    EXPECT_EQ(coordinates->model()->columnCount(), 2);
    EXPECT_EQ(coordinates->model()->rowCount(), 32);
    EXPECT_EQ(coordinates->model()->headerData(0, Qt::Horizontal).toString(), "X");
    EXPECT_EQ(coordinates->model()->headerData(31, Qt::Vertical).toString(), "P(32)");
    EXPECT_EQ(coordinates->verticalHeader()->width(), 56);
    EXPECT_EQ(coordinates->columnWidth(0), 56);
    EXPECT_EQ(coordinates->rowHeight(1), 24);
    EXPECT_EQ(coordinates->rowHeight(2), 22); // grid row 3
    EXPECT_EQ(coordinate(1, 1), "0");

    for (kestra::StringGrid* grid : {results, coordinates}) {
        EXPECT_EQ(grid->editTriggers(), QAbstractItemView::NoEditTriggers);
        EXPECT_FALSE(grid->model()->flags(grid->model()->index(0, 0)).testFlag(Qt::ItemIsEditable));
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(grid);
        ASSERT_NE(accessible, nullptr);
        ASSERT_NE(accessible->tableInterface(), nullptr);
        EXPECT_EQ(accessible->tableInterface()->columnCount(), grid->model()->columnCount());
    }
}

TEST_F(MainWindowTest, ControlsFollowTheirAnchorsAndComeBackExactly)
{
    resizeClientArea(1400, 1000); // 216 wider, 137 taller
    EXPECT_EQ(form->Panel2->geometry(), QRect(8, 8, 1161, 752));
    EXPECT_EQ(form->Panel1->geometry(), QRect(1172, 8, 220, 751));
    EXPECT_EQ(form->ScrollBar2->geometry(), QRect(1145, 1, 15, 735));
    EXPECT_EQ(form->StringGrid2->geometry(), QRect(16, 183, 193, 553));
    EXPECT_EQ(form->Button13->geometry(), QRect(363, 773, 107, 25));
    EXPECT_EQ(form->Button2->geometry(), QRect(1292, 773, 100, 25));
    EXPECT_EQ(form->StringGrid1->geometry(), QRect(8, 814, 1384, 161));
    EXPECT_EQ(form->StatusBar1->geometry(), QRect(0, 981, 1400, 19));

    resizeClientArea(900, 700);
    resizeClientArea(1184, 863);
    expectLayoutPositions();
}

TEST_F(MainWindowTest, DpiFieldReadsEveryChange)
{
    form->Edit1->clear();
    EXPECT_EQ(beeps, 1);
    EXPECT_EQ(form->Edit1->palette().color(QPalette::Text), Red);
    EXPECT_EQ(form->state.Dpi, 300.0);

    for (const auto& [key, dpi] : {std::pair{'3', 3.0}, {'0', 30.0}, {'0', 300.0}}) {
        QTest::keyClick(form->Edit1, key);
        EXPECT_EQ(form->state.Dpi, dpi);
        EXPECT_EQ(form->Edit1->palette().color(QPalette::Text), Green);
    }
    EXPECT_EQ(beeps, 1);

    struct Case {
        const char* text;
        std::optional<double> dpi;
    };
    const Case cases[] = {{" 300 ", 300.0}, {"300 dpi", {}},  {"300x", {}},     {"3e2", 300.0},
                          {"3E+2", 300.0},  {"3e", 3.0},      {"+300", 300.0},  {".", 0.0},
                          {"0", 0.0},       {"-300", -300.0}, {"300.5", 300.5}, {"300,5", {}},
                          {"1e400", {}},    {"\t300", {}},    {" ", {}},        {"+", {}}};
    for (const Case& c : cases) {
        form->Edit1->setText("250");
        const int before = beeps;
        form->Edit1->setText(c.text);
        EXPECT_EQ(form->state.Dpi, c.dpi.value_or(250.0)) << c.text;
        EXPECT_EQ(form->Edit1->palette().color(QPalette::Text), c.dpi ? Green : Red) << c.text;
        EXPECT_EQ(beeps - before, c.dpi ? 0 : 1) << c.text;
    }
    EXPECT_TRUE(boxes.empty());
}

TEST_F(MainWindowTest, DecimalSeparatorIsReadAgainOnALocaleChange)
{
    EXPECT_EQ(form->decimalSeparator(), ".");
    QLocale::setDefault(QLocale(QLocale::Hungarian, QLocale::Hungary));
    QEvent change(QEvent::LocaleChange);
    QCoreApplication::sendEvent(qApp, &change);
    EXPECT_EQ(form->decimalSeparator(), ",");

    form->Edit1->setText("300,5");
    EXPECT_EQ(form->state.Dpi, 300.5);
    EXPECT_EQ(form->Edit1->palette().color(QPalette::Text), Green);
    form->Edit1->setText("300.5");
    EXPECT_EQ(form->state.Dpi, 300.5);
    EXPECT_EQ(form->Edit1->palette().color(QPalette::Text), Red);
    form->Edit1->setText(",");
    EXPECT_EQ(form->state.Dpi, 0.0);
}

TEST_F(MainWindowTest, F8StepsWhateverHasTheFocusAndTheFocusedControlStillGetsIt)
{
    KeyReleaseCounter edit1Releases;
    form->Edit1->installEventFilter(&edit1Releases);
    ASSERT_EQ(QApplication::focusWidget(), form->Edit1);

    QTest::keyRelease(form->windowHandle(), Qt::Key_F8); // reset: nothing to step
    EXPECT_EQ(form->Label2->text(), "Recorded coordinates");

    startRecording();
    form->Edit1->setFocus();
    QTest::keyRelease(form->windowHandle(), Qt::Key_F8);
    EXPECT_EQ(form->Label2->text(), "Reading P(2) ...");
    EXPECT_EQ(edit1Releases.count, 2);
    EXPECT_EQ(form->Edit1->text(), "300");

    QTest::keyRelease(form->windowHandle(), Qt::Key_F8, Qt::ShiftModifier);
    EXPECT_EQ(form->Label2->text(), "Reading P(3) ...");

    // Holding the key repeats releases; only the real release steps.
    QKeyEvent repeated(QEvent::KeyRelease, Qt::Key_F8, Qt::NoModifier, QString(), true);
    QCoreApplication::sendEvent(form->windowHandle(), &repeated);
    EXPECT_EQ(form->Label2->text(), "Reading P(3) ...");

    QTest::keyRelease(form->windowHandle(), Qt::Key_F7);
    EXPECT_EQ(form->Label2->text(), "Reading P(3) ...");

    QTest::mouseClick(form->Button3, Qt::LeftButton); // stop
    QTest::keyRelease(form->windowHandle(), Qt::Key_F8);
    EXPECT_EQ(form->Label2->text(), "Recorded coordinates");
}

TEST_F(MainWindowTest, RecordingFlowShowsTheCoresThreeOutputs)
{
    EXPECT_FALSE(form->Button4->isEnabled());
    QTest::mouseClick(form->Button3, Qt::LeftButton);
    EXPECT_EQ(form->Label2->text(), "Recorded coordinates");
    EXPECT_FALSE(form->Button4->isEnabled());
    releaseOnPicture({10, 20});
    EXPECT_EQ(coordinate(1, 1), "0");

    QTest::mouseClick(form->Button3, Qt::LeftButton);
    EXPECT_EQ(form->Label2->text(), "Reading P(1) ...");
    EXPECT_TRUE(form->Button4->isEnabled());

    QTest::mouseClick(form->Image2, Qt::LeftButton, {}, {10, 20});
    EXPECT_EQ(form->Label2->text(), "Recorded P(1) at 10,20");
    EXPECT_EQ(coordinate(1, 1), "10");
    EXPECT_EQ(coordinate(1, 2), "20");

    form->state.Pan.Dragging = true;
    releaseOnPicture({30, 40}, Qt::ControlModifier);
    EXPECT_FALSE(form->state.Pan.Dragging);
    EXPECT_EQ(form->Label2->text(), "Recorded P(1) at 10,20");
    EXPECT_EQ(coordinate(1, 1), "10");

    QTest::mouseClick(form->Button4, Qt::LeftButton);
    EXPECT_EQ(form->Label2->text(), "Reading P(2) ...");
    // Pressed on the picture, released outside it.
    QTest::mousePress(form->Image2, Qt::LeftButton, {}, {5, 5});
    releaseOnPicture({-3, 200});
    EXPECT_EQ(form->Label2->text(), "Recorded P(2) at -3,200");
    EXPECT_EQ(coordinate(2, 1), "-3");
    EXPECT_EQ(coordinate(2, 2), "200");
    releaseOnPicture({7, 8}, {}, Qt::RightButton);
    EXPECT_EQ(form->Label2->text(), "Recorded P(2) at 7,8");
    EXPECT_EQ(form->state.Landmarks.points.PointX[2], 7.0);

    QTest::mouseClick(form->Button3, Qt::LeftButton);
    EXPECT_EQ(form->Label2->text(), "Recorded coordinates");
    EXPECT_FALSE(form->Button4->isEnabled());
    releaseOnPicture({50, 50});
    EXPECT_EQ(coordinate(2, 1), "7");
    EXPECT_EQ(coordinate(1, 1), "10"); // stop keeps the landmarks
}

TEST_F(MainWindowTest, AnalyzeAppendsRowsWithoutMovingTheGrid)
{
    startRecording();
    QTest::mouseClick(form->Image2, Qt::LeftButton, {}, {100, 100});
    for (int step = 0; step < 19; ++step) {
        QTest::keyRelease(form->windowHandle(), Qt::Key_F8);
    }
    ASSERT_EQ(form->Label2->text(), "Reading P(20) ...");
    QTest::mouseClick(form->Image2, Qt::LeftButton, {}, {100, 400});

    kestra::StringGrid* grid = form->StringGrid1;
    grid->setCurrentIndex(grid->model()->index(0, 3));
    grid->horizontalScrollBar()->setValue(5);
    const int vertical = grid->verticalScrollBar()->value();

    form->Button12->setEnabled(true);
    QTest::mouseClick(form->Button12, Qt::LeftButton);
    EXPECT_EQ(grid->model()->rowCount(), 1);
    EXPECT_EQ(grid->model()->headerData(0, Qt::Vertical).toString(), "1");
    EXPECT_EQ(result(1, 1), "E:Name");
    EXPECT_EQ(result(1, 3), "25.40"); // OIV 601, P(1) to P(20) at 300 dpi

    QTest::mouseClick(form->Button12, Qt::LeftButton);
    QTest::mouseClick(form->Button12, Qt::LeftButton);
    EXPECT_EQ(grid->model()->rowCount(), 3);
    EXPECT_EQ(grid->model()->headerData(2, Qt::Vertical).toString(), "3");
    EXPECT_EQ(result(3, 3), "25.40");
    EXPECT_EQ(grid->currentIndex(), grid->model()->index(0, 3));
    EXPECT_EQ(grid->selectionModel()->selectedIndexes().size(), 1);
    EXPECT_EQ(grid->horizontalScrollBar()->value(), 5);
    EXPECT_EQ(grid->verticalScrollBar()->value(), vertical);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(MainWindowTest, AnalysisErrorReachesTheBoxAndTheProgramGoesOn)
{
    form->Edit1->setText("0");
    ASSERT_EQ(form->state.Dpi, 0.0);
    form->Button12->setEnabled(true);

    QString expected;
    try {
        kestra::ResultsTable table;
        kestra::Landmarks landmarks;
        kestra::AnalysisInput input;
        input.Dpi = 0.0;
        kestra::RunAnalysis(table, landmarks, input);
    } catch (const kestra::Error& error) {
        expected = kestra::ErrorBoxText(QString::fromUtf8(error.what()));
    }
    ASSERT_FALSE(expected.isEmpty());

    clickThroughWindow(form->Button12);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], box(expected));
    EXPECT_EQ(form->StringGrid1->model()->rowCount(), 1);
    EXPECT_EQ(result(1, 0 + 1), "");

    // The window still answers, and a good DPI analyses again.
    clickThroughWindow(form->Button3);
    EXPECT_EQ(form->state.Landmarks.CurrentPoint, kestra::LandmarkRecorder::Idle);
    form->Edit1->setText("300");
    clickThroughWindow(form->Button12);
    EXPECT_EQ(boxes.size(), 1u);
    EXPECT_EQ(form->StringGrid1->model()->headerData(0, Qt::Vertical).toString(), "1");
}

TEST_F(MainWindowTest, SaveWritesTheTableThroughTheDialog)
{
    ASSERT_TRUE(folder.isValid());
    const QString path = folder.filePath("leaves.TXT");
    QFileDialog& dialog = form->saveDialog();
    EXPECT_EQ(dialog.acceptMode(), QFileDialog::AcceptSave);
    EXPECT_EQ(dialog.nameFilters(),
              QStringList({QStringLiteral("Szöveg (*.txt)"), QStringLiteral("Minden fájl (*.*)")}));
    EXPECT_EQ(dialog.selectedNameFilter(), QStringLiteral("Szöveg (*.txt)"));
    EXPECT_EQ(dialog.defaultSuffix(), "TXT");
    EXPECT_FALSE(dialog.testOption(QFileDialog::DontConfirmOverwrite));

    form->Button13->setEnabled(true);
    choice = path;
    QTest::mouseClick(form->Button13, Qt::LeftButton);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    file.close();
    EXPECT_EQ(bytes.toStdString(), kestra::ResultsText(form->state.Results));
    EXPECT_TRUE(bytes.startsWith("No.\tName\tSurface, cm2\t"));
    EXPECT_EQ(bytes.count("\r\n"), 2);
    EXPECT_EQ(bytes.count('\t'), 2 * 119);

    // Cancelling the next time touches nothing; the name is offered again.
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("old");
    file.close();
    choice.reset();
    QTest::mouseClick(form->Button13, Qt::LeftButton);
    ASSERT_EQ(offered.size(), 2u);
    EXPECT_EQ(offered[1], path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "old");
    file.close();
    EXPECT_TRUE(boxes.empty());

    choice = folder.filePath("missing/leaves.TXT");
    QTest::mouseClick(form->Button13, Qt::LeftButton);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].contains("missing/leaves.TXT")) << boxes[0].toStdString();
}

TEST_F(MainWindowTest, SaveDialogRefusesAFolderThatDoesNotExist)
{
    kestra::SaveDialog& dialog = form->saveDialog();
    int warnings = 0;
    QTimer::singleShot(0, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            ++warnings;
            box->accept();
        }
    });
    dialog.selectFile(folder.filePath("missing/leaves.TXT"));
    dialog.accept();
    EXPECT_EQ(warnings, 1);
    EXPECT_NE(dialog.result(), QDialog::Accepted);

    dialog.selectFile(folder.filePath("leaves"));
    EXPECT_EQ(dialog.selectedFiles().value(0), folder.filePath("leaves.TXT"));
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

TEST_F(MainWindowTest, ExitEndsAtOnceWithUnsavedResults)
{
    form->Button12->setEnabled(true);
    QTest::mouseClick(form->Button12, Qt::LeftButton);
    QTimer::singleShot(0, [this] { QTest::mouseClick(form->Button2, Qt::LeftButton); });
    QTimer::singleShot(5000, [] { QCoreApplication::exit(1); });
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_TRUE(offered.empty());
    EXPECT_TRUE(boxes.empty());
}

} // namespace
