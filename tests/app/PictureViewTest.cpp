#include "picture/PictureView.h"

#include "FormFixture.h"
#include "QtPrinters.h"
#include "app/FileDialog.h"

#include <QLabel>
#include <QScrollBar>
#include <QSlider>

namespace {

// A picture whose every pixel tells where it came from.
QImage gradient(int width, int height)
{
    QImage picture(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            picture.setPixel(x, y, qRgb(x % 251, y % 241, (x / 251 + 7 * (y / 241)) % 256));
    return picture;
}

class PictureViewTest : public FormFixture {
protected:
    void zoomTo(int sliderPosition) { form->TrackBar1->setValue(sliderPosition); }

    void sendMouse(QEvent::Type type, QPoint at, Qt::KeyboardModifiers shift)
    {
        const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent event(type, at, form->Image2->mapToGlobal(at), button,
                          type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                          shift);
        QApplication::sendEvent(form->Image2, &event);
    }

    std::pair<int, int> recorded(int landmark) const
    {
        return {static_cast<int>(form->state.Landmarks.points.PointX[landmark]),
                static_cast<int>(form->state.Landmarks.points.PointY[landmark])};
    }
};

} // namespace

TEST_F(PictureViewTest, OpenLoadsThePictureAndStartsAfresh)
{
    const QStringList filters = form->openPictureDialog().nameFilters();
    EXPECT_EQ(filters, QStringList({"Bitmap (*.bmp)", "JPEG (*.jpg)", "Minden fájl (*.*)"}));
    EXPECT_EQ(form->openPictureDialog().selectedNameFilter(), "Bitmap (*.bmp)");

    startRecording();
    for (int i = 0; i < 6; ++i)
        form->Button4->click();
    QTest::mouseRelease(form->Image2, Qt::LeftButton, {}, QPoint(20, 30));
    ASSERT_EQ(recorded(7), std::make_pair(20, 30));

    // A bitmap in a folder named jpg, its extension in capitals.
    ASSERT_TRUE(QDir(folder.path()).mkpath("jpg"));
    const QString path = writePicture("jpg/LEAF.BMP", gradient(2400, 1800));
    zoomTo(1);
    open(path);
    ASSERT_TRUE(boxes.empty()) << boxes.front().toStdString();
    EXPECT_EQ(form->windowTitle(), "KESTRA v2.04 - " + path);
    EXPECT_EQ(form->state.FileName, path.toStdString());
    EXPECT_EQ(form->Image2->bitmap().image().size(), QSize(2400, 1800));
    EXPECT_EQ(form->Image2->size(), QSize(1200, 900)); // the slider's zoom applies again
    EXPECT_EQ(form->Image2->pos(), QPoint(0, 0));
    EXPECT_EQ(form->state.Landmarks.CurrentPoint, -1);
    EXPECT_EQ(recorded(7), std::make_pair(0, 0));
    EXPECT_EQ(form->Label2->text(), "Recorded coordinates");
    EXPECT_TRUE(form->Button4->isEnabled()); // a reset leaves Next point as it was
    EXPECT_TRUE(form->Button12->isEnabled());
    EXPECT_TRUE(form->Button13->isEnabled());
    EXPECT_EQ(form->Image2->bitmap().markerPen().color(), QColor(255, 0, 0));
    EXPECT_EQ(form->Image2->bitmap().markerPen().width(), 3);
}

TEST_F(PictureViewTest, FailedOrCancelledOpenChangesNothing)
{
    const QString path = writePicture("leaf.bmp", gradient(300, 200));
    open(path);
    startRecording();
    QTest::mouseRelease(form->Image2, Qt::LeftButton, {}, QPoint(40, 50));
    const QImage shown = form->Image2->bitmap().image();

    open(std::nullopt);
    const QString missing = folder.filePath("gone.bmp");
    open(missing);
    QFile tif(folder.filePath("leaf.tif"));
    ASSERT_TRUE(tif.open(QIODevice::WriteOnly));
    tif.close();
    open(tif.fileName());
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0], box("Cannot open file \"" + missing + "\". No such file or directory."));
    EXPECT_EQ(boxes[1], box("Unknown picture file extension (.tif)")); // ")" sorts before "."

    EXPECT_EQ(form->state.FileName, path.toStdString());
    EXPECT_EQ(form->windowTitle(), "KESTRA v2.04 - " + path);
    EXPECT_EQ(form->Image2->bitmap().image(), shown);
    EXPECT_EQ(recorded(1), std::make_pair(40, 50));
    EXPECT_EQ(form->state.Landmarks.CurrentPoint, 1);
}

TEST_F(PictureViewTest, ZoomSizesTheControlAtEverySliderPosition)
{
    open(writePicture("leaf.bmp", gradient(2400, 1800)));
    const int widths[] = {600, 1200, 1800, 2400, 3000, 3600, 4200, 4800};
    for (int position = 0; position <= 7; ++position) {
        zoomTo(position);
        EXPECT_EQ(form->state.ZoomPercent, position * 25 + 25);
        EXPECT_EQ(form->Label13->text(), QString("Zoom: %1%").arg(position * 25 + 25));
        EXPECT_EQ(form->Image2->size(), QSize(widths[position], widths[position] * 3 / 4));
        EXPECT_EQ(form->Image2->stretch(), position != 3);
    }
    open(writePicture("odd.bmp", gradient(1001, 10)));
    zoomTo(2);
    EXPECT_EQ(form->Image2->width(), 750);
}

TEST_F(PictureViewTest, ScrollRangesLetEveryPartOfTheZoomedPictureShow)
{
    // The picture shows in the 929 x 599 pixels of Panel2 beside the bars.
    open(writePicture("leaf.bmp", gradient(2400, 1800)));
    const auto bars = [this] {
        return std::make_tuple(form->ScrollBar1->isEnabled(), form->ScrollBar1->maximum(),
                               form->ScrollBar2->isEnabled(), form->ScrollBar2->maximum());
    };
    EXPECT_EQ(bars(), std::make_tuple(true, 2400 - 929, true, 1800 - 599));
    zoomTo(7);
    EXPECT_EQ(bars(), std::make_tuple(true, 4800 - 929, true, 3600 - 599));
    form->ScrollBar1->setValue(4800 - 929);
    form->ScrollBar2->setValue(3600 - 599);
    EXPECT_EQ(form->Image2->pos(), QPoint(929 - 4800, 599 - 3600)); // the far corner in view
    zoomTo(0);
    EXPECT_EQ(bars(), std::make_tuple(false, 600, false, 450));
    EXPECT_EQ(form->ScrollBar1->value(), 0);
    EXPECT_EQ(form->Image2->pos(), QPoint(0, 0));

    open(writePicture("narrow.bmp", gradient(929, 599)));
    zoomTo(3);
    EXPECT_EQ(bars(), std::make_tuple(false, 929, false, 599));
}

TEST_F(PictureViewTest, CtrlDragPansAtHalfTheMouseSpeed)
{
    open(writePicture("leaf.bmp", gradient(2400, 1800)));
    form->ScrollBar1->setValue(300);
    ASSERT_EQ(form->Image2->x(), -300);

    sendMouse(QEvent::MouseButtonPress, {500, 100}, Qt::ControlModifier);
    EXPECT_TRUE(form->state.Pan.Dragging);
    sendMouse(QEvent::MouseMove, {450, 100}, Qt::ControlModifier);
    EXPECT_EQ(form->ScrollBar1->value(), 350);
    EXPECT_EQ(form->Image2->x(), -350);
    EXPECT_EQ(form->ScrollBar2->value(), 0); // ny = 0 is not inside the open range
    sendMouse(QEvent::MouseMove, {900 + 50, 100}, Qt::ControlModifier);
    EXPECT_EQ(form->ScrollBar1->value(), 350); // nx < 0: the axis stays
    sendMouse(QEvent::MouseButtonRelease, {900, 100}, Qt::ControlModifier);
    EXPECT_FALSE(form->state.Pan.Dragging);

    // The mouse moves right by one pixel at a time, at one place on the panel.
    form->ScrollBar1->setValue(300);
    const int panelX = 200;
    sendMouse(QEvent::MouseButtonPress, {panelX + 300, 100}, Qt::ControlModifier);
    std::vector<int> positions;
    for (int step = 1; step <= 6; ++step) {
        sendMouse(QEvent::MouseMove, {panelX + step - form->Image2->x(), 100}, Qt::ControlModifier);
        positions.push_back(form->ScrollBar1->value());
    }
    EXPECT_EQ(positions, std::vector<int>({299, 299, 298, 298, 297, 297}));

    // Ctrl let go suspends the pan; a release with Ctrl held records nothing.
    startRecording();
    sendMouse(QEvent::MouseMove, {10, 10}, {});
    EXPECT_EQ(form->ScrollBar1->value(), 297);
    sendMouse(QEvent::MouseButtonRelease, {10, 10}, Qt::ControlModifier);
    EXPECT_FALSE(form->state.Pan.Dragging);
    EXPECT_TRUE(form->state.Landmarks.points.IsPointMissing(1));
}

TEST_F(PictureViewTest, PanningAPictureThatFitsEnablesTheMovedBar)
{
    open(writePicture("small.bmp", gradient(800, 500)));
    ASSERT_FALSE(form->ScrollBar1->isEnabled());
    sendMouse(QEvent::MouseButtonPress, {400, 200}, Qt::ControlModifier);
    sendMouse(QEvent::MouseMove, {390, 200}, Qt::ControlModifier);
    EXPECT_EQ(form->ScrollBar1->value(), 10);
    EXPECT_TRUE(form->ScrollBar1->isEnabled());
    EXPECT_FALSE(form->ScrollBar2->isEnabled());
}

TEST_F(PictureViewTest, ReleasesRecordThePictureUnderTheCrossHair)
{
    const QImage picture = gradient(1000, 700);
    open(writePicture("leaf.bmp", picture));
    startRecording();
    struct Case {
        int slider;
        QPoint display;
        std::pair<int, int> expected;
    };
    const Case cases[] = {{1, {101, 33}, {202, 66}}, {2, {10, 10}, {13, 13}},
                          {4, {10, 10}, {8, 8}},     {6, {1, 1}, {0, 0}},
                          {7, {-3, 5}, {-1, 2}},     {0, {3, 3}, {12, 12}}};
    for (const Case& c : cases) {
        zoomTo(c.slider);
        QTest::mousePress(form->Image2, Qt::LeftButton, {}, QPoint(5, 5));
        QTest::mouseRelease(form->Image2, Qt::LeftButton, {}, c.display);
        EXPECT_EQ(recorded(1), c.expected) << c.slider;
    }

    // What the view paints at a display pixel is the picture pixel recorded there.
    zoomTo(1);
    form->ScrollBar1->setValue(50);
    const QImage shown = form->Image2->grab(QRect(100, 40, 60, 30)).toImage();
    for (const QPoint at : {QPoint(0, 0), QPoint(1, 1), QPoint(37, 29), QPoint(59, 12)}) {
        const QPoint picturePixel((100 + at.x()) * 100 / 50, (40 + at.y()) * 100 / 50);
        EXPECT_EQ(shown.pixel(at), form->Image2->bitmap().image().pixel(picturePixel))
            << at.x() << "," << at.y();
    }
}

TEST_F(PictureViewTest, MarkersBeforeAnyPictureGoIntoABlankOne)
{
    startRecording();
    QTest::mouseRelease(form->Image2, Qt::LeftButton, {}, QPoint(50, 50));
    const QImage& blank = form->Image2->bitmap().image();
    ASSERT_EQ(blank.size(), QSize(105, 105));
    EXPECT_EQ(blank.pixelColor(50, 50), QColor(Qt::black));
    EXPECT_EQ(blank.pixelColor(10, 10), QColor(Qt::white));

    open(writePicture("white.bmp", QImage(200, 100, QImage::Format_RGB32)));
    EXPECT_EQ(form->Image2->bitmap().image().size(), QSize(200, 100));
}
