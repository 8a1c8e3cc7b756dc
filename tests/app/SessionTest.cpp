#include "FormFixture.h"
#include "QtPrinters.h"
#include "app/AboutBox.h"
#include "app/LandmarkGuide.h"
#include "app/SaveDialog.h"
#include "app/ScanFolder.h"
#include "measure/LeafSurface.h"
#include "measure/ResultsExport.h"
#include "picture/PictureLoader.h"
#include "picture/PictureView.h"

#include <QAction>
#include <QBuffer>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QSlider>
#include <QStatusBar>
#include <QTimer>
#include <algorithm>
#include <sys/stat.h>

namespace {

class SessionTest : public FormFixture {
protected:
    QString writeScan(const QString& name, int width = 40)
    {
        QImage picture(width, 30, QImage::Format_RGB32);
        picture.fill(Qt::white);
        return writePicture(name, picture);
    }

    QString writeFile(const QString& name, const QByteArray& bytes)
    {
        QFile file(folder.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return file.fileName();
    }

    [[nodiscard]] QString openedName() const
    {
        return QFileInfo(QString::fromStdString(form->state.FileName)).fileName();
    }

    [[nodiscard]] QString status() const { return form->Label2->text(); }

    void clickRow(int landmark, int column)
    {
        kestra::StringGrid* list = form->StringGrid2;
        list->scrollTo(list->model()->index(landmark - 1, 0)); // as the user scrolls
        if (column == 0) {
            QHeaderView* head = list->verticalHeader();
            QTest::mouseClick(head->viewport(), Qt::LeftButton, {},
                              {head->width() / 2, head->sectionViewportPosition(landmark - 1) + 5});
            return;
        }
        const QRect cell = list->visualRect(list->model()->index(landmark - 1, column - 1));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, cell.center());
    }

    void drop(const QList<QUrl>& urls)
    {
        QMimeData data;
        data.setUrls(urls);
        const QPoint at = form->Panel2->mapTo(form.get(), QPoint(100, 100));
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(form.get(), &enter);
        QDropEvent dropped(at, Qt::CopyAction, &data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(form.get(), &dropped);
        // The file opens once the drop is over.
        QCoreApplication::processEvents();
    }
};

TEST_F(SessionTest, MenuItemsRunTheButtonsHandlers)
{
    const kestra::MainMenu& menu = *form->MainMenu1;
    EXPECT_EQ(menu.fileMenu->title(), "&File");
    EXPECT_EQ(menu.openAction->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));
    EXPECT_EQ(menu.nextPointAction->shortcut(), QKeySequence(Qt::Key_F8));
    for (QAction* disabled : {menu.saveAction, menu.analyzeAction, menu.openNextScanAction,
                              menu.openPreviousScanAction})
        EXPECT_FALSE(disabled->isEnabled()) << disabled->text().toStdString();

    choice = writeScan("leaf.bmp");
    QTest::keyClick(form.get(), Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(offered.size(), 1u);
    EXPECT_EQ(openedName(), "leaf.bmp");
    EXPECT_TRUE(menu.saveAction->isEnabled());
    EXPECT_TRUE(menu.analyzeAction->isEnabled());

    menu.startStopAction->trigger();
    menu.startStopAction->trigger();
    EXPECT_EQ(status(), "Reading P(1) ...");
    menu.nextPointAction->trigger();
    EXPECT_EQ(status(), "Reading P(2) ...");
    // A press and release of F8 steps once, by the release, menu or not.
    QTest::keyClick(form->windowHandle(), Qt::Key_F8);
    EXPECT_EQ(status(), "Reading P(3) ...");
    QTest::keyClick(form.get(), Qt::Key_F7);
    EXPECT_EQ(status(), "Reading P(2) ...");
    // In the open menu the item's F8 is swallowed, and the release is the
    // menu's: the key does nothing there rather than step twice.
    menu.landmarksMenu->popup(form->mapToGlobal(QPoint(40, 20)));
    QTest::keyClick(menu.landmarksMenu, Qt::Key_F8);
    EXPECT_EQ(status(), "Reading P(2) ...");
    menu.landmarksMenu->hide();

    QTest::keyClick(form.get(), Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(form->state.Results.ResultCount(), 1);
    form->Button12->setEnabled(false);
    EXPECT_FALSE(menu.analyzeAction->isEnabled());
    QTest::keyClick(form.get(), Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(form->state.Results.ResultCount(), 1);

    choice = folder.filePath("results.txt");
    QTest::keyClick(form.get(), Qt::Key_S, Qt::ControlModifier);
    EXPECT_TRUE(QFileInfo::exists(*choice));

    QTest::keyClick(form.get(), Qt::Key_Plus, Qt::ControlModifier);
    EXPECT_EQ(form->TrackBar1->value(), 4);
    EXPECT_EQ(form->Label13->text(), "Zoom: 125%");
    QTest::keyClick(form.get(), Qt::Key_Minus, Qt::ControlModifier);
    QTest::keyClick(form.get(), Qt::Key_Minus, Qt::ControlModifier);
    EXPECT_EQ(form->state.ZoomPercent, 75);
    QTest::keyClick(form.get(), Qt::Key_0, Qt::ControlModifier);
    EXPECT_EQ(form->state.ZoomPercent, 100);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(SessionTest, AboutSaysTheVersionTheLicenceAndTheQtInUse)
{
    const QString text = kestra::AboutText();
    EXPECT_TRUE(text.contains("KESTRA v2.04"));
    EXPECT_TRUE(text.contains("All rights reserved"));
    EXPECT_TRUE(text.contains(QString::fromLatin1(qVersion())));
    QString shown;
    QTimer::singleShot(0, [&shown] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            shown = box->text();
            box->accept();
        }
    });
    form->MainMenu1->aboutAction->trigger();
    EXPECT_EQ(shown, text);
}

TEST_F(SessionTest, F7AndTheListMoveTheCursorOnlyWhileRecording)
{
    const auto expectUnmoved = [this](const char* state) {
        for (int column = 0; column <= 2; ++column)
            clickRow(17, column);
        QTest::keyClick(form.get(), Qt::Key_F7);
        EXPECT_EQ(status(), "Recorded coordinates") << state;
        EXPECT_TRUE(form->StringGrid2->selectionModel()->selectedIndexes().isEmpty()) << state;
    };
    expectUnmoved("reset");
    QTest::mouseClick(form->Button3, Qt::LeftButton);
    expectUnmoved("idle");

    QTest::mouseClick(form->Button3, Qt::LeftButton);
    QTest::keyClick(form.get(), Qt::Key_F7);
    EXPECT_EQ(status(), "Reading P(32) ...");
    // The current row is brought into view.
    kestra::StringGrid* list = form->StringGrid2;
    EXPECT_TRUE(
        list->viewport()->rect().contains(list->visualRect(list->model()->index(31, 0)).center()));
    for (int column = 0; column <= 2; ++column) {
        const int landmark = 10 + column;
        clickRow(landmark, column);
        EXPECT_EQ(status(), QStringLiteral("Reading P(%1) ...").arg(landmark)) << column;
    }
    // The current landmark's row is the one selected; the cells stay as they are.
    const QModelIndexList selected = form->StringGrid2->selectionModel()->selectedIndexes();
    ASSERT_FALSE(selected.isEmpty());
    EXPECT_TRUE(std::all_of(selected.begin(), selected.end(),
                            [](const QModelIndex& index) { return index.row() == 11; }));
    EXPECT_EQ(coordinate(12, 1), "0");
    QTest::mouseClick(form->Image2, Qt::LeftButton, {}, {7, 9});
    EXPECT_EQ(status(), "Recorded P(12) at 7,9");
}

TEST_F(SessionTest, TheGuideFollowsTheCursorAndTheRecordings)
{
    EXPECT_EQ(form->landmarkGuide(), nullptr);
    QTest::keyClick(form.get(), Qt::Key_F1);
    kestra::LandmarkGuide* guide = form->landmarkGuide();
    ASSERT_NE(guide, nullptr);
    EXPECT_TRUE(guide->isVisible());
    EXPECT_FALSE(guide->isModal());
    EXPECT_TRUE(guide->currentLine().startsWith("Not recording"))
        << guide->currentLine().toStdString();

    startRecording();
    EXPECT_EQ(guide->currentLine(), "P(1): " + kestra::LandmarkDescription(1));
    QTest::mouseClick(form->Image2, Qt::LeftButton, {}, {20, 30});
    clickRow(17, 1);
    EXPECT_EQ(guide->currentLine(), "P(17): tooth tip of N2 R");
    EXPECT_EQ(guide->accessibleDescription(), guide->currentLine());
    // The guide never takes the keys from the window, and stays where the
    // user put it.
    EXPECT_TRUE(guide->windowFlags().testFlag(Qt::WindowDoesNotAcceptFocus));
    guide->move(guide->pos() + QPoint(-40, 30));
    const QPoint placed = guide->pos();
    QTest::keyRelease(form->windowHandle(), Qt::Key_F8);
    EXPECT_EQ(guide->currentLine(), "P(18): " + kestra::LandmarkDescription(18));
    QTest::keyClick(form.get(), Qt::Key_F1);
    EXPECT_EQ(form->landmarkGuide(), guide);
    EXPECT_EQ(guide->pos(), placed);
}

TEST_F(SessionTest, NextAndPreviousScanWalkTheFolderInNaturalOrder)
{
    const QString first = writeScan("leaf1.bmp");
    writeScan("leaf2.BMP", 41);
    writeFile("leaf3.jpeg", "not a JPEG");
    writeScan("leaf4.bmp", 42);
    writeScan("leaf10.bmp", 43);
    writeFile("notes.txt", "text");
    QDir().mkdir(folder.filePath("leaf5.bmp"));

    open(first);
    startRecording();
    QTest::mouseClick(form->Image2, Qt::LeftButton, {}, {5, 6});
    form->state.Results.appendRow(std::vector<std::string>(kestra::ResultsTable::ColumnCount), {});

    const auto next = [this] {
        QTest::keyClick(form.get(), Qt::Key_PageDown, Qt::ControlModifier);
    };
    const auto previous = [this] {
        QTest::keyClick(form.get(), Qt::Key_PageUp, Qt::ControlModifier);
    };
    next();
    EXPECT_EQ(openedName(), "leaf2.BMP");
    EXPECT_EQ(form->windowTitle(), "KESTRA v2.04 - " + folder.filePath("leaf2.BMP"));
    EXPECT_EQ(form->Image2->bitmap().image().width(), 41);
    EXPECT_EQ(coordinate(1, 1), "0");
    EXPECT_EQ(status(), "Recorded coordinates");
    EXPECT_EQ(form->state.Results.ResultCount(), 1);

    // The unreadable scan says why and changes nothing; the next step passes it.
    next();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].endsWith("|JPEG error #53.")) << boxes[0].toStdString();
    EXPECT_EQ(openedName(), "leaf2.BMP");
    next();
    EXPECT_EQ(openedName(), "leaf4.bmp");
    next();
    EXPECT_EQ(openedName(), "leaf10.bmp");
    next();
    EXPECT_EQ(openedName(), "leaf10.bmp");
    EXPECT_EQ(form->StatusBar1->currentMessage(), "No next scan in this folder.");

    previous();
    previous();
    EXPECT_EQ(boxes.size(), 2u);
    EXPECT_EQ(openedName(), "leaf4.bmp");
    previous();
    previous();
    EXPECT_EQ(openedName(), "leaf1.bmp");
    previous();
    EXPECT_EQ(form->StatusBar1->currentMessage(), "No previous scan in this folder.");
    EXPECT_EQ(boxes.size(), 2u);
}

TEST_F(SessionTest, LandmarksSavedAsTpsComeBackOnTheirPicture)
{
    const QStringList leaves = {writeScan("leaf1.bmp", 300), writeScan("leaf2.bmp", 300),
                                writeScan("leaf3.bmp", 300)};
    const kestra::MainMenu& menu = *form->MainMenu1;
    EXPECT_FALSE(menu.loadLandmarksAction->isEnabled());
    open(leaves[0]);
    EXPECT_TRUE(menu.loadLandmarksAction->isEnabled());
    EXPECT_FALSE(menu.saveLandmarksAction->isEnabled());

    // Three leaves, each with P(2) and all beyond P(4) skipped.
    QTest::keyClick(form.get(), Qt::Key_F9);
    std::vector<std::vector<QString>> lists;
    for (int leaf = 1; leaf <= 3; ++leaf) {
        startRecording();
        QTest::mouseClick(form->Image2, Qt::LeftButton, {}, {10 + leaf, 20});
        QTest::keyRelease(form->windowHandle(), Qt::Key_F8);
        for (const QPoint at : {QPoint(200, 25 + leaf), QPoint(3, 4 * leaf)})
            QTest::mouseClick(form->Image2, Qt::LeftButton, {}, at);
        std::vector<QString> list;
        for (int n = 1; n <= 32; ++n)
            list.push_back(coordinate(n, 1) + "," + coordinate(n, 2));
        lists.push_back(list);
        QTest::keyClick(form.get(), Qt::Key_Return, Qt::ControlModifier | Qt::ShiftModifier);
    }
    ASSERT_EQ(form->state.Results.ResultCount(), 3);
    EXPECT_TRUE(menu.saveLandmarksAction->isEnabled());

    const QString tps = folder.filePath("leaves.tps");
    choice = tps;
    QTest::keyClick(form.get(), Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(form->saveLandmarksDialog().defaultSuffix(), "tps");
    EXPECT_EQ(form->saveLandmarksDialog().nameFilters(), QStringList{"TPS (*.tps)"});

    // A picture the file does not hold: said, and nothing changes.
    open(writeScan("other.bmp", 300));
    startRecording();
    QTest::mouseClick(form->Image2, Qt::LeftButton, {}, {7, 7});
    choice = tps;
    QTest::keyClick(form.get(), Qt::Key_L, Qt::ControlModifier);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].endsWith("has no specimen for the picture \"other.bmp\""))
        << boxes[0].toStdString();
    EXPECT_EQ(coordinate(1, 1), "7");
    EXPECT_EQ(status(), "Reading P(2) ...");

    // Each leaf gets its own landmarks back, list and crosses.
    for (int leaf = 1; leaf <= 3; ++leaf) {
        open(leaves[leaf - 1]);
        choice = tps;
        QTest::keyClick(form.get(), Qt::Key_L, Qt::ControlModifier);
        for (int n = 1; n <= 32; ++n)
            EXPECT_EQ(coordinate(n, 1) + "," + coordinate(n, 2),
                      lists[static_cast<std::size_t>(leaf - 1)][static_cast<std::size_t>(n - 1)])
                << leaf << " " << n;
        EXPECT_EQ(status(), "Recorded coordinates");
        EXPECT_EQ(form->state.Landmarks.CurrentPoint, kestra::LandmarkRecorder::Idle);
        EXPECT_EQ(form->Image2->bitmap().image().pixel(200, 25 + leaf), qRgb(255, 0, 0));
    }
    EXPECT_EQ(boxes.size(), 1u);

    // Analysed again, the last leaf gives its row again but for the number.
    form->Button12->click();
    ASSERT_EQ(form->state.Results.ResultCount(), 4);
    for (int column = 1; column < kestra::ResultsTable::ColumnCount; ++column)
        EXPECT_EQ(result(4, column), result(3, column)) << column;
}

TEST_F(SessionTest, CountedPixelsFollowTheMarkersWithoutConvertingThePicture)
{
    // An 8-bit palette picture: white, with a dark square of 10 x 10.
    QImage picture(60, 40, QImage::Format_Indexed8);
    picture.setColorTable({qRgb(255, 255, 255), qRgb(20, 90, 30)});
    picture.fill(0);
    for (int y = 5; y < 15; ++y)
        for (int x = 5; x < 15; ++x)
            picture.setPixel(x, y, 1);
    picture.setDotsPerMeterX(11811); // 300 dpi, as the DPI field says
    ASSERT_TRUE(picture.save(folder.filePath("leaf.bmp"), "BMP"));
    open(folder.filePath("leaf.bmp"));
    ASSERT_EQ(form->Image2->bitmap().image().format(), QImage::Format_Indexed8);

    QTest::keyClick(form.get(), Qt::Key_T, Qt::ControlModifier);
    EXPECT_TRUE(form->Image2->showCounted());
    EXPECT_EQ(form->StatusBar1->currentMessage(), "Counted 100 pixels: 0.01 cm2 at 300 dpi");

    // Crosses on the white count as leaf: the count follows them at once.
    startRecording();
    QTest::mouseClick(form->Image2, Qt::LeftButton, {}, {40, 20});
    QTest::keyRelease(form->windowHandle(), Qt::Key_F8);
    QTest::mouseClick(form->Image2, Qt::LeftButton, {}, {10, 10});
    QImage converted = form->Image2->bitmap().image().convertToFormat(QImage::Format_RGB32);
    const std::uint64_t expected = kestra::CountLeafPixels(kestra::PixelRows{
        converted.constBits(), converted.width(), converted.height(), converted.bytesPerLine()});
    EXPECT_GT(expected, 100u);
    EXPECT_EQ(form->StatusBar1->currentMessage(),
              QStringLiteral("Counted %1 pixels: 0.01 cm2 at 300 dpi").arg(expected));
    EXPECT_EQ(form->Image2->bitmap().image().format(), QImage::Format_Indexed8);

    form->Edit1->setText("25.4");
    EXPECT_EQ(form->StatusBar1->currentMessage(),
              QStringLiteral("Counted %1 pixels: %2 cm2 at 25.4 dpi")
                  .arg(expected)
                  .arg(QString::number(expected / 100.0, 'f', 2)));
    form->Edit1->setText("0");
    EXPECT_EQ(form->StatusBar1->currentMessage(),
              QStringLiteral("Counted %1 pixels (no surface: The DPI must be a number greater "
                             "than 0)")
                  .arg(expected));
    form->Edit1->setText("25.4");

    // The analysis counts the same, tint or not.
    form->Button12->click();
    QTest::keyClick(form.get(), Qt::Key_T, Qt::ControlModifier);
    EXPECT_FALSE(form->Image2->showCounted());
    EXPECT_EQ(form->StatusBar1->currentMessage(), "");
    form->Button12->click();
    EXPECT_EQ(result(1, 2), QString::number(expected / 100.0, 'f', 2));
    EXPECT_EQ(result(2, 2), result(1, 2));
}

TEST_F(SessionTest, AScanThatDeclaresAnotherResolutionIsSaidAloud)
{
    const auto openScanAt = [this](const QString& name, int dotsPerMetre) {
        QImage picture(20, 10, QImage::Format_RGB32);
        picture.fill(Qt::white);
        picture.setDotsPerMeterX(dotsPerMetre);
        open(writePicture(name, picture));
    };
    QAction* use = form->MainMenu1->useScanResolutionAction;
    EXPECT_FALSE(use->isEnabled());

    openScanAt("at600.bmp", 23622);
    const QString said = "This scan declares 600 dpi; the DPI field says 300.";
    EXPECT_EQ(form->StatusBar1->currentMessage(), said);
    EXPECT_EQ(form->Edit1->toolTip(), said);
    EXPECT_TRUE(use->isEnabled());
    EXPECT_EQ(use->text(), "Use the scan's resolution (600 dpi)");
    EXPECT_EQ(form->state.Dpi, 300.0); // nothing changes it by itself

    use->trigger();
    EXPECT_EQ(form->Edit1->text(), "600");
    EXPECT_EQ(form->state.Dpi, 600.0);
    EXPECT_EQ(form->Edit1->palette().color(QPalette::Text), QColor(0, 128, 0));
    EXPECT_EQ(form->StatusBar1->currentMessage(), "");
    EXPECT_EQ(form->Edit1->toolTip(), "");
    EXPECT_FALSE(use->isEnabled());
    EXPECT_EQ(use->text(), "&Use the scan's resolution");

    // Cameras' and screens' defaults are named as such.
    openScanAt("at72.bmp", 2835);
    EXPECT_EQ(form->StatusBar1->currentMessage(),
              "This scan declares 72 dpi (probably not the scan's resolution); the DPI field "
              "says 600.");

    // The value is written, and typed, with the user's decimal separator, also
    // when the user changes it.
    openScanAt("odd.bmp", 4665); // 118.491 dpi
    EXPECT_EQ(use->text(), "Use the scan's resolution (118.49 dpi)");
    QLocale::setDefault(QLocale(QLocale::Hungarian, QLocale::Hungary));
    QEvent change(QEvent::LocaleChange);
    QCoreApplication::sendEvent(qApp, &change);
    EXPECT_EQ(use->text(), "Use the scan's resolution (118,49 dpi)");
    use->trigger();
    EXPECT_EQ(form->Edit1->text(), "118,49");
    EXPECT_EQ(form->state.Dpi, 118.49);

    // A scan within half a percent of the field says nothing.
    openScanAt("close.bmp", 4670);
    EXPECT_FALSE(use->isEnabled());
    EXPECT_EQ(form->StatusBar1->currentMessage(), "");
    EXPECT_TRUE(boxes.empty());
}

TEST_F(SessionTest, ATurnedOrDamagedJpegIsSaidAfterItLoads)
{
    std::vector<QString> notices;
    form->setNoticeBox([&notices](const QString& text) { notices.push_back(text); });
    QImage picture(256, 192, QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            picture.setPixel(x, y, qRgb(x, y, (x * y) % 256));
    picture.setDotsPerMeterX(11811);
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    ASSERT_TRUE(buffer.open(QIODevice::WriteOnly) && picture.save(&buffer, "JPEG"));
    // An Exif block that asks for the picture to be turned (orientation 6).
    const char exif[] = "\xFF\xE1\x00\x22"
                        "Exif\0\0II\x2A\0\x08\0\0\0"
                        "\x01\0\x12\x01\x03\0\x01\0\0\0\x06\0\0\0\0\0\0\0";
    QByteArray turned = jpeg;
    turned.insert(2, QByteArray(exif, sizeof exif - 1));

    open(writeFile("turned.jpg", turned));
    EXPECT_EQ(form->Image2->bitmap().image().size(), QSize(256, 192)); // as stored
    EXPECT_EQ(form->StatusBar1->currentMessage(),
              "This picture is stored turned; it is measured as stored.");
    EXPECT_TRUE(notices.empty());

    open(writeFile("cut.jpg", jpeg.left(jpeg.size() * 3 / 4)));
    EXPECT_EQ(openedName(), "cut.jpg");
    EXPECT_EQ(form->StatusBar1->currentMessage(), "");
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0], "This JPEG file is damaged or incomplete: parts of the picture were "
                          "filled in by the decoder, and the surface will count them.");
}

TEST_F(SessionTest, HostileFilesAndSaveTargetsAreRefusedAndChangeNothing)
{
    const QString leaf = writeScan("leaf.bmp", 120);
    open(leaf);
    startRecording();
    QTest::mouseClick(form->Image2, Qt::LeftButton, {}, {30, 12});
    form->Button12->click();
    const QImage picture = form->Image2->bitmap().image();
    const std::string results = kestra::ResultsText(form->state.Results);
    const auto expectUnchanged = [&](const char* what) {
        EXPECT_EQ(form->Image2->bitmap().image(), picture) << what;
        EXPECT_EQ(openedName(), "leaf.bmp") << what;
        EXPECT_EQ(form->windowTitle(), "KESTRA v2.04 - " + leaf) << what;
        EXPECT_EQ(coordinate(1, 1), "30") << what;
        EXPECT_EQ(status(), "Recorded P(1) at 30,12") << what;
        EXPECT_EQ(kestra::ResultsText(form->state.Results), results) << what;
    };

    // An RLE8 bitmap of a few bytes that declares 40000 x 40000 pixels.
    QByteArray bomb(14 + 40 + 4 * 256, '\0');
    const auto put = [&bomb](int at, quint32 value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            bomb[at + i] = static_cast<char>(value >> (8 * i));
    };
    bomb[0] = 'B';
    bomb[1] = 'M';
    put(2, static_cast<quint32>(bomb.size() + 4), 4);
    put(10, static_cast<quint32>(bomb.size()), 4);
    put(14, 40, 4);
    put(18, 40000, 4);
    put(22, 40000, 4);
    put(26, 1, 2);
    put(28, 8, 2);
    put(30, 1, 4); // RLE8
    bomb.append("\x00\x00\x00\x01", 4);
    open(writeFile("bomb.bmp", bomb));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].endsWith("|The picture is 40000 x 40000 pixels; KESTRA opens pictures of "
                                  "up to 300 megapixels."))
        << boxes[0].toStdString();
    expectUnchanged("a picture beyond the budget");

    // A named pipe chosen to save into is refused at once, not waited on.
    const QString pipe = folder.filePath("results.txt");
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    choice = pipe;
    QTest::mouseClick(form->Button13, Qt::LeftButton);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_TRUE(boxes[1].endsWith("|Cannot write file \"" + pipe + "\". Not a regular file."))
        << boxes[1].toStdString();
    expectUnchanged("a pipe to save into");
}

TEST_F(SessionTest, NaturalOrderReadsNumbersByValue)
{
    QStringList names = {"leaf10.bmp", "Leaf2.bmp", "leaf2.jpg", "leaf02.bmp",
                         "leaf1b.bmp", "leaf1.bmp", "a.bmp",     "B.bmp"};
    std::sort(names.begin(), names.end(), kestra::NaturalLess);
    EXPECT_EQ(names, QStringList({"a.bmp", "B.bmp", "leaf1.bmp", "leaf1b.bmp", "Leaf2.bmp",
                                  "leaf2.jpg", "leaf02.bmp", "leaf10.bmp"}));
    EXPECT_TRUE(kestra::IsScanName("x.JPEG"));
    EXPECT_FALSE(kestra::IsScanName("x.png"));
}

TEST_F(SessionTest, ADropOpensTheFirstScanInNameOrder)
{
    const QString ten = writeScan("leaf10.bmp", 50);
    const QString nine = writeScan("leaf9.bmp", 45);
    const QString notes = writeFile("notes.txt", "text");

    drop({QUrl("https://example.org/leaf.jpg")});
    EXPECT_TRUE(form->state.FileName.empty());

    drop({QUrl::fromLocalFile(ten)});
    EXPECT_EQ(openedName(), "leaf10.bmp");
    drop({QUrl::fromLocalFile(notes), QUrl::fromLocalFile(ten), QUrl::fromLocalFile(nine),
          QUrl::fromLocalFile(folder.path())});
    EXPECT_EQ(openedName(), "leaf9.bmp");
    EXPECT_TRUE(boxes.empty());

    // A file that is no picture says so, as Open would.
    drop({QUrl::fromLocalFile(notes), QUrl::fromLocalFile(QStringLiteral("/nonexistent/x"))});
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].endsWith("|Unknown picture file extension (.txt)"))
        << boxes[0].toStdString();
    EXPECT_EQ(openedName(), "leaf9.bmp");
}

TEST_F(SessionTest, SteppingOnAfterEachClickTakesTheCycleWithoutF8)
{
    open(writeScan("leaf.bmp", 200));
    QAction* stepOn = form->MainMenu1->stepOnAfterClickAction;
    EXPECT_TRUE(stepOn->isCheckable());
    EXPECT_FALSE(stepOn->isChecked());

    startRecording();
    for (const bool on : {false, true}) {
        if (on)
            QTest::keyClick(form.get(), Qt::Key_F9);
        EXPECT_EQ(stepOn->isChecked(), on);
        for (int n = 1; n <= 32; ++n) {
            const QPoint at(n + (on ? 100 : 0), 2 * n);
            QTest::mouseClick(form->Image2, Qt::LeftButton, {}, at);
            const QString recorded =
                QStringLiteral("Recorded P(%1) at %2,%3").arg(on ? n : 1).arg(at.x()).arg(at.y());
            EXPECT_EQ(status(),
                      on && n < 32 ? QStringLiteral("Reading P(%1) ...").arg(n + 1) : recorded)
                << n;
            if (on) {
                EXPECT_EQ(form->StatusBar1->currentMessage(), recorded) << n;
            }
            const int row = on ? n : 1;
            EXPECT_EQ(coordinate(row, 1), QString::number(at.x())) << n;
            EXPECT_EQ(coordinate(row, 2), QString::number(at.y())) << n;
        }
        // Stop, and start again at P(1).
        QTest::mouseClick(form->Button3, Qt::LeftButton);
        QTest::mouseClick(form->Button3, Qt::LeftButton);
    }
    // P(32) kept the cursor, so P(1) holds the first click; F8 skips as ever.
    EXPECT_EQ(coordinate(1, 1), "101");
    QTest::keyClick(form->windowHandle(), Qt::Key_F8);
    QTest::mouseClick(form->Image2, Qt::LeftButton, {}, {50, 60});
    EXPECT_EQ(coordinate(2, 1), "50");
    EXPECT_EQ(status(), "Reading P(3) ...");
}

TEST_F(SessionTest, AnalyzeAndOpenNextStopsAtARefusedRunAndAtTheFolderEnd)
{
    const QString first = writeScan("leaf1.bmp");
    writeScan("leaf2.bmp", 41);
    open(first);
    const auto analyzeAndNext = [this] {
        QTest::keyClick(form.get(), Qt::Key_Return, Qt::ControlModifier | Qt::ShiftModifier);
    };

    form->Edit1->setText("0");
    analyzeAndNext();
    EXPECT_EQ(boxes.size(), 1u);
    EXPECT_EQ(form->state.Results.ResultCount(), 0);
    EXPECT_EQ(openedName(), "leaf1.bmp");

    form->Edit1->setText("300");
    analyzeAndNext();
    EXPECT_EQ(form->state.Results.ResultCount(), 1);
    EXPECT_EQ(result(1, 1), "leaf1.bmp");
    EXPECT_EQ(openedName(), "leaf2.bmp");
    analyzeAndNext();
    EXPECT_EQ(form->state.Results.ResultCount(), 2);
    EXPECT_EQ(result(2, 1), "leaf2.bmp");
    EXPECT_EQ(openedName(), "leaf2.bmp");
    EXPECT_EQ(form->StatusBar1->currentMessage(), "No next scan in this folder.");
    EXPECT_EQ(boxes.size(), 1u);
}

} // namespace
