#include "FormFixture.h"
#include "QtPrinters.h"
#include "app/LandmarkGuide.h"
#include "measure/Error.h"
#include "measure/ResultsExport.h"
#include "picture/PictureView.h"
#include "tests/picture/TestPictures.h"

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QPainter>

namespace {

// The window with a suggester that knows its answer and counts its calls.
class SuggestionTest : public FormFixture {
protected:
    void SetUp() override
    {
        FormFixture::SetUp();
        form->setSuggester([this](const kestra::PixelRows& rows) {
            ++calls;
            seen = QSize(rows.width, rows.height);
            return suggested;
        });
    }

    void place(int landmark, int x, int y)
    {
        suggested.PointX[landmark] = x;
        suggested.PointY[landmark] = y;
    }

    void suggest() { QTest::keyClick(form.get(), Qt::Key_G, Qt::ControlModifier); }
    void clickPicture(QPoint at) { QTest::mouseClick(form->Image2, Qt::LeftButton, {}, at); }

    [[nodiscard]] QString pointName(int landmark) const
    {
        return form->StringGrid2->model()->headerData(landmark - 1, Qt::Vertical).toString();
    }
    [[nodiscard]] QString status() const { return form->Label2->text(); }
    // The picture's pixels at 32 bits, whatever format it is held in.
    [[nodiscard]] QImage pixels() const
    {
        return form->Image2->bitmap().image().convertToFormat(QImage::Format_RGB32);
    }
    [[nodiscard]] kestra::Landmarks points() const { return form->state.Landmarks.points; }

    // The latest results row as "Save ..." writes it, without its number.
    [[nodiscard]] QString lastRow() const
    {
        const kestra::ResultsTable& table = form->state.Results;
        return QString::fromStdString(kestra::ResultsRowText(table, table.ResultCount()))
            .section(u'\t', 1);
    }

    QString writeFile(const QString& name, const QByteArray& bytes)
    {
        QFile file(folder.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return file.fileName();
    }

    kestra::Landmarks suggested;
    int calls = 0;
    QSize seen;
};

TEST_F(SuggestionTest, AnalyzeGivesTheRowOfOneClickAtEachSuggestionToTheByte)
{
    // On the leaf, on the paper, on the light patch, at the edges where the
    // crosses are cut, two crosses overlapping; P(7), P(19), P(25) and P(32)
    // not found.
    for (int n = 1; n <= 31; ++n) {
        if (n != 7 && n != 19 && n != 25)
            place(n, 20 + n * 53 % 200, 10 + n * 37 % 160);
    }
    place(11, 0, 90);
    place(12, 239, 179);
    place(13, 100, 100);
    place(14, 103, 101);

    const QImage leaf = kestra::test::leafPicture();
    for (const QString& scan :
         {writePicture(QStringLiteral("leaf24.bmp"), leaf),
          writeFile(QStringLiteral("leaf8.bmp"),
                    kestra::test::makeBmp(leaf, 8, kestra::test::BmpHeader::Info40))}) {
        SCOPED_TRACE(scan.toStdString());
        open(scan);
        const QImage opened = pixels();
        const QImage::Format format = form->Image2->bitmap().image().format();
        suggest();
        EXPECT_EQ(seen, opened.size());
        // Suggestions are the view's marks: the picture is as it opened, and
        // one that a cross would change by its format keeps it.
        EXPECT_EQ(pixels(), opened);
        if (format == QImage::Format_Indexed8) {
            EXPECT_EQ(form->Image2->bitmap().image().format(), format);
        }
        EXPECT_EQ(form->Image2->suggested().size(), 28u);
        QTest::mouseClick(form->Button12, Qt::LeftButton);
        const QString fromSuggestions = lastRow();
        const QImage suggestedPixels = pixels();
        EXPECT_EQ(pointName(13), "P(13)");
        EXPECT_TRUE(form->Image2->suggested().empty());

        // The same leaf, one click at each of the same places.
        open(scan);
        startRecording();
        for (int n = 1; n <= kestra::LandmarkCount; ++n) {
            if (!suggested.IsPointMissing(n))
                clickPicture(
                    {static_cast<int>(suggested.PointX[n]), static_cast<int>(suggested.PointY[n])});
            QTest::mouseClick(form->Button4, Qt::LeftButton);
        }
        QTest::mouseClick(form->Button12, Qt::LeftButton);
        EXPECT_EQ(lastRow(), fromSuggestions);
        EXPECT_EQ(pixels(), suggestedPixels);
    }
    EXPECT_EQ(form->state.Results.ResultCount(), 4);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(SuggestionTest, ACorrectedSuggestionLeavesNoStrayCrossAndSteppingGoesToTheNextMissing)
{
    for (int n = 1; n <= kestra::LandmarkCount; ++n) {
        if (n != 6 && n != 30)
            place(n, 7 * n, 2 * n + 10);
    }
    open(writePicture(QStringLiteral("leaf.bmp"), kestra::test::leafPicture()));
    const QImage opened = pixels();
    QTest::keyClick(form.get(), Qt::Key_F9); // step on after each click
    suggest();
    EXPECT_EQ(status(), "Reading P(6) ...");
    EXPECT_EQ(pointName(5), "P(5)?");
    EXPECT_EQ(pointName(6), "P(6)");
    // The ring shows on the screen round P(5), on white paper.
    const QImage shown = form->Image2->grab().toImage();
    EXPECT_NE(shown.pixelColor(35 + 7, 20), QColor(Qt::white));
    EXPECT_EQ(opened.pixelColor(35 + 7, 20), QColor(Qt::white));

    form->LandmarkGuideClick();
    form->StringGrid2Click(5);
    EXPECT_TRUE(form->landmarkGuide()->currentLine().startsWith("P(5), suggested: "));
    clickPicture({150, 150});
    EXPECT_EQ(pointName(5), "P(5)");
    EXPECT_EQ(coordinate(5, 1), "150");
    EXPECT_EQ(status(), "Reading P(6) ...");
    EXPECT_EQ(form->Image2->suggested().size(), 29u);
    // One cross, at the corrected place; none where the suggestion stood.
    kestra::PictureBitmap expected;
    expected.takeOver(opened);
    kestra::Landmarks corrected;
    corrected.PointX[5] = corrected.PointY[5] = 150;
    expected.DrawMarkers(corrected);
    EXPECT_EQ(pixels(), expected.image());

    clickPicture({60, 70});
    EXPECT_EQ(status(), "Reading P(30) ...");
    clickPicture({61, 71});
    // Nothing is missing: the cursor stays.
    EXPECT_EQ(status(), "Recorded P(30) at 61,71");
    EXPECT_EQ(form->state.Landmarks.CurrentPoint, 30);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(SuggestionTest, SuggestOnOpeningIsOffAtStartAndSuggestsAfterEveryOpen)
{
    const kestra::MainMenu& menu = *form->MainMenu1;
    EXPECT_EQ(menu.suggestLandmarksAction->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_G));
    EXPECT_FALSE(menu.suggestLandmarksAction->isEnabled());
    EXPECT_TRUE(menu.suggestOnOpeningAction->isCheckable());
    EXPECT_FALSE(menu.suggestOnOpeningAction->isChecked());
    place(1, 120, 140);
    place(20, 115, 32);
    const QString first = writePicture(QStringLiteral("leaf1.bmp"), kestra::test::leafPicture());
    writePicture(QStringLiteral("leaf2.bmp"), kestra::test::leafPicture());

    open(first);
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(status(), "Recorded coordinates");
    EXPECT_TRUE(menu.suggestLandmarksAction->isEnabled());

    menu.suggestOnOpeningAction->trigger();
    QTest::keyClick(form.get(), Qt::Key_PageDown, Qt::ControlModifier); // the next scan
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(form->state.FileName.ends_with("leaf2.bmp"));
    EXPECT_EQ(pointName(1), "P(1)?");
    EXPECT_EQ(status(), "Reading P(2) ...");

    // A scan that does not open changes nothing and suggests nothing.
    open(writeFile(QStringLiteral("broken.bmp"), "BM"));
    EXPECT_EQ(boxes.size(), 1u);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(pointName(1), "P(1)?");

    // A suggester that fails leaves the picture open, without suggestions.
    std::vector<QString> notices;
    form->setNoticeBox([&notices](const QString& text) { notices.push_back(text); });
    form->setSuggester([](const kestra::PixelRows&) -> kestra::Landmarks {
        throw kestra::Error("Out of memory");
    });
    open(first);
    EXPECT_TRUE(form->state.FileName.ends_with("leaf1.bmp"));
    EXPECT_EQ(notices,
              std::vector<QString>{"No landmarks were suggested for this picture: Out of memory"});
    EXPECT_EQ(pointName(1), "P(1)");
    EXPECT_EQ(status(), "Recorded coordinates");
    EXPECT_EQ(boxes.size(), 1u);
}

TEST_F(SuggestionTest, MirrorSwapsTheHalvesAndHoldsForTheNextSuggestions)
{
    place(9, 30, 40);
    place(3, 100, 120);
    place(20, 115, 32);
    const QString scan = writePicture(QStringLiteral("leaf.bmp"), kestra::test::leafPicture());
    open(scan);
    startRecording();
    clickPicture({118, 141}); // P(1), the user's own
    suggest();
    EXPECT_EQ(status(), "Reading P(2) ...");

    QAction* mirror = form->MainMenu1->mirrorSuggestionsAction;
    EXPECT_TRUE(mirror->isCheckable());
    EXPECT_FALSE(mirror->isChecked());
    mirror->trigger();
    const auto expectMirrored = [this] {
        const kestra::Landmarks now = points();
        EXPECT_EQ(QPointF(now.PointX[31], now.PointY[31]), QPointF(30, 40));
        EXPECT_EQ(QPointF(now.PointX[5], now.PointY[5]), QPointF(100, 120));
        EXPECT_TRUE(now.IsPointMissing(9));
        EXPECT_TRUE(now.IsPointMissing(3));
        EXPECT_EQ(QPointF(now.PointX[20], now.PointY[20]), QPointF(115, 32));
        EXPECT_EQ(pointName(31), "P(31)?");
        EXPECT_EQ(pointName(9), "P(9)");
    };
    expectMirrored();
    EXPECT_EQ(QPointF(points().PointX[1], points().PointY[1]), QPointF(118, 141));
    EXPECT_EQ(pointName(1), "P(1)");

    // The choice holds: again on this leaf, and on the next one.
    suggest();
    expectMirrored();
    open(scan);
    suggest();
    expectMirrored();

    mirror->trigger();
    EXPECT_EQ(QPointF(points().PointX[9], points().PointY[9]), QPointF(30, 40));
    EXPECT_EQ(pointName(9), "P(9)?");
    EXPECT_TRUE(boxes.empty());
}

} // namespace
