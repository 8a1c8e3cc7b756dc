#include "app/LandmarkGuide.h"

#include "QtPrinters.h"
#include "app/LandmarkScheme.h"

#include <QAccessible>
#include <QImage>
#include <QLabel>
#include <QTest>
#include <QVector2D>
#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>
#include <vector>

namespace {

using kestra::FindLandmark;
using kestra::LandmarkCount;
using kestra::LandmarkGuide;
using kestra::Landmarks;

const QColor Current(224, 64, 10);
const QColor Marker(29, 63, 143);
const QColor Paper(255, 255, 255);

bool Near(const QColor& seen, const QColor& wanted)
{
    return std::abs(seen.red() - wanted.red()) < 40 &&
           std::abs(seen.green() - wanted.green()) < 40 &&
           std::abs(seen.blue() - wanted.blue()) < 40;
}

Landmarks RecordedUpTo(int last)
{
    Landmarks points;
    for (int n = 1; n <= last; ++n) {
        points.PointX[n] = 10 * n;
        points.PointY[n] = 5;
    }
    return points;
}

TEST(LandmarkGuideTest, LineAndAccessibleDescriptionFollowTheCursor)
{
    LandmarkGuide guide;
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(&guide);
    ASSERT_NE(accessible, nullptr);
    EXPECT_EQ(accessible->text(QAccessible::Name), "Landmark guide");
    const QString reset = "Not recording: press Start/Stop twice to begin at P(1).";
    EXPECT_EQ(guide.currentLine(), reset);

    const struct {
        std::int32_t cursor;
        QString line;
    } steps[] = {
        {17, "P(17): tooth tip of N2 R"},
        {1, "P(1): petiole point, where the petiole meets the blade"},
        {32, "P(32): a free landmark of your choice, for the distance D 01-32"},
        {99, "Not recording: press Start/Stop to begin at P(1)."},
        {-1, reset},
    };
    for (const auto& step : steps) {
        guide.showLandmarks(RecordedUpTo(3), step.cursor);
        EXPECT_EQ(guide.currentLine(), step.line) << step.cursor;
        EXPECT_EQ(accessible->text(QAccessible::Description), step.line) << step.cursor;
        bool shown = false;
        for (const QLabel* label : guide.findChildren<QLabel*>()) {
            shown = shown || label->text() == step.line;
        }
        EXPECT_TRUE(shown) << step.cursor;
    }
}

// The scheme against the landmarks' own description: the partners of the two
// halves mirror each other about N1, the margin points come in their order
// once round the leaf, the veins end at their tooth tips, and the inner
// points lie inside the blade.
TEST(LandmarkGuideTest, SchemePlacesEveryLandmarkWhereItBelongs)
{
    EXPECT_EQ(kestra::LandmarkDescription(0), "");
    EXPECT_EQ(kestra::LandmarkDescription(33), "");
    for (int n = 1; n <= LandmarkCount; ++n) {
        EXPECT_FALSE(kestra::LandmarkDescription(n).isEmpty()) << n;
        EXPECT_EQ(FindLandmark(n)->number, n);
    }

    const double axis = kestra::SchemeSize.width() / 2;
    const auto place = [](int n) { return FindLandmark(n)->place; };
    const int partners[][2] = {{2, 6},   {3, 5},   {8, 7},   {9, 31},  {10, 30},
                               {11, 29}, {12, 28}, {13, 27}, {14, 26}, {15, 25},
                               {16, 24}, {17, 23}, {18, 22}, {19, 21}};
    for (const auto& pair : partners) {
        EXPECT_LT(place(pair[0]).x(), axis) << pair[0];
        EXPECT_EQ(place(pair[0]).y(), place(pair[1]).y()) << pair[0];
        EXPECT_EQ(place(pair[0]).x() + place(pair[1]).x(), 2 * axis) << pair[0];
        EXPECT_TRUE(kestra::LandmarkDescription(pair[0]).contains(" R")) << pair[0];
        EXPECT_TRUE(kestra::LandmarkDescription(pair[1]).contains(" L")) << pair[1];
    }
    for (int n : {1, 4, 20}) {
        EXPECT_EQ(place(n).x(), axis) << n;
    }

    const QPolygonF outline = kestra::LeafOutline();
    qsizetype previous = -1;
    for (int n = 9; n <= 31; ++n) {
        const qsizetype at = outline.indexOf(place(n));
        EXPECT_GT(at, previous) << n;
        previous = at;
    }
    for (const QPointF& point : outline) {
        EXPECT_GE(point.y(), place(20).y()); // N1 points up
    }
    for (int n = 1; n <= 8; ++n) {
        EXPECT_TRUE(outline.containsPoint(place(n), Qt::OddEvenFill)) << n;
    }
    EXPECT_FALSE(outline.containsPoint(place(32), Qt::OddEvenFill));

    for (const kestra::Vein& vein : kestra::LeafVeins()) {
        const QPointF tip = vein.path.last();
        const auto landmark =
            std::find_if(kestra::LandmarkTable().begin(), kestra::LandmarkTable().end(),
                         [&](const kestra::LandmarkEntry& entry) { return entry.place == tip; });
        ASSERT_NE(landmark, kestra::LandmarkTable().end()) << vein.name.toStdString();
        const QString tooth = vein.name.isEmpty() ? "tooth tip of the first secondary vein of N2"
                                                  : "tooth tip of " + vein.name;
        EXPECT_TRUE(QString(landmark->description).startsWith(tooth)) << landmark->number;
    }
}

TEST(LandmarkGuideTest, DrawingShowsCurrentRecordedAndMissingLandmarks)
{
    QWidget owner;
    LandmarkGuide guide(&owner);
    EXPECT_TRUE(guide.isWindow());
    EXPECT_EQ(guide.windowType(), Qt::Tool);
    EXPECT_FALSE(guide.isModal());
    EXPECT_EQ(guide.windowTitle(), "Landmark guide");
    EXPECT_EQ(guide.size(), QSize(360, 440));
    guide.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&guide));

    // Every marker lies in the drawing, above the texts, clear of the others.
    int textTop = guide.height();
    for (const QLabel* label : guide.findChildren<QLabel*>()) {
        textTop = std::min(textTop, label->geometry().top());
    }
    for (int n = 1; n <= LandmarkCount; ++n) {
        const QPointF at = guide.landmarkPosition(n);
        EXPECT_TRUE(at.x() > 0 && at.x() < guide.width() && at.y() > 0 && at.y() < textTop) << n;
        for (int other = 1; other < n; ++other) {
            EXPECT_GT(QVector2D(at - guide.landmarkPosition(other)).length(), 8.0)
                << n << " " << other;
        }
    }

    const auto pixel = [&guide](int landmark, QPointF offset = {}) {
        return guide.grab().toImage().pixelColor(
            (guide.landmarkPosition(landmark) + offset).toPoint());
    };
    // Further out than a plain marker reaches, inside the highlighted one;
    // below the marker, where no number stands beside 16, 17 or 23.
    const QPointF outside(0, 7);

    guide.showLandmarks(RecordedUpTo(17), 17);
    EXPECT_PRED2(Near, pixel(17), Current);
    EXPECT_PRED2(Near, pixel(17, outside), Current);
    EXPECT_PRED2(Near, pixel(16), Marker);
    EXPECT_PRED2(Near, pixel(18), Paper);
    EXPECT_FALSE(Near(pixel(16, outside), Marker));

    guide.showLandmarks(RecordedUpTo(17), 23);
    EXPECT_PRED2(Near, pixel(17), Marker);
    EXPECT_FALSE(Near(pixel(17, outside), Current));
    EXPECT_PRED2(Near, pixel(23), Paper); // hollow, however highlighted
    EXPECT_PRED2(Near, pixel(23, outside), Current);

    for (std::int32_t idle : {-1, 99}) {
        guide.showLandmarks(RecordedUpTo(17), idle);
        const QImage image = guide.grab().toImage();
        int highlighted = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                highlighted += image.pixelColor(x, y) == Current ? 1 : 0;
            }
        }
        EXPECT_EQ(highlighted, 0) << idle;
    }

    QTest::keyClick(&guide, Qt::Key_Escape);
    EXPECT_FALSE(guide.isVisible());
}

} // namespace
