#include "app/LandmarkGuide.h"

#include <QAccessible>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>
#include <algorithm>

namespace kestra {

namespace {

// Sizes in scheme units (see SchemeSize), so that the drawing keeps its
// proportions at every window size and display scale.
constexpr double MarkerRadius = 13.0;
constexpr double CurrentRadius = 24.0;
constexpr double HaloRadius = 44.0;
constexpr int NumberSize = 34;
constexpr int CurrentNumberSize = 44;
constexpr int VeinNameSize = 28;
constexpr int HalfNameSize = 72;

const QColor Paper(255, 255, 255);
const QColor Blade(217, 236, 199);
const QColor Margin(59, 110, 34);
const QColor VeinColour(106, 154, 76);
const QColor VeinName(60, 100, 40);
const QColor Marker(29, 63, 143);
const QColor Current(224, 64, 10);
// Suggested landmarks: amber round light amber, unlike placed and missing ones.
const QColor Suggested(196, 120, 0);
const QColor SuggestedFill(255, 221, 150);
const QColor Note(80, 80, 80);

QPointF LabelDirection(LabelSide side)
{
    constexpr double Diagonal = 0.7071;
    switch (side) {
    case LabelSide::North:
        return {0, -1};
    case LabelSide::NorthEast:
        return {Diagonal, -Diagonal};
    case LabelSide::East:
        return {1, 0};
    case LabelSide::SouthEast:
        return {Diagonal, Diagonal};
    case LabelSide::South:
        return {0, 1};
    case LabelSide::SouthWest:
        return {-Diagonal, Diagonal};
    case LabelSide::West:
        return {-1, 0};
    case LabelSide::NorthWest:
        return {-Diagonal, -Diagonal};
    }
    return {};
}

QFont SchemeFont(int pixelSize, bool bold = false, bool italic = false)
{
    QFont font;
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    font.setItalic(italic);
    // Hinting snaps glyphs to the unscaled pixel grid, which distorts text
    // drawn through the scheme's scaling.
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

// Text centred on a point of the scheme.
void DrawCentred(QPainter& painter, QPointF centre, const QString& text)
{
    const QRectF box(centre.x() - 200, centre.y() - 50, 400, 100);
    painter.drawText(box, Qt::AlignCenter, text);
}

void DrawLeaf(QPainter& painter)
{
    painter.setPen(QPen(Margin, 16, Qt::SolidLine, Qt::RoundCap));
    painter.drawPolyline(LeafPetiole());

    painter.setPen(QPen(Margin, 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Blade);
    painter.drawPolygon(LeafOutline());

    painter.setBrush(Qt::NoBrush);
    painter.setFont(SchemeFont(VeinNameSize, false, true));
    for (const Vein& vein : LeafVeins()) {
        painter.setPen(
            QPen(VeinColour, vein.main ? 7 : 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.drawPolyline(vein.path);
        if (vein.name.isEmpty()) {
            continue;
        }
        painter.setPen(VeinName);
        DrawCentred(painter, vein.namePlace, vein.name);
    }

    painter.setPen(Note);
    painter.setFont(SchemeFont(HalfNameSize, true));
    DrawCentred(painter, {90, 110}, QStringLiteral("R"));
    DrawCentred(painter, {SchemeSize.width() - 90, 110}, QStringLiteral("L"));
}

} // namespace

LandmarkGuide::LandmarkGuide(QWidget* parent)
    : QWidget(parent, Qt::Tool),
      caption_(new QLabel(QStringLiteral("R and L are the two halves of the blade; "
                                         "either may lie on the left of a scan."),
                          this)),
      line_(new QLabel(this))
{
    setWindowTitle(QStringLiteral("Landmark guide"));
    setAccessibleName(QStringLiteral("Landmark guide"));
    // It stands beside the picture; the keys stay with the window, so that F8
    // and every shortcut work while it shows.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setWindowFlag(Qt::WindowDoesNotAcceptFocus);
    setMinimumSize(200, 260);

    caption_->setWordWrap(true);
    caption_->setAlignment(Qt::AlignCenter);
    line_->setWordWrap(true);
    QFont lineFont = line_->font();
    lineFont.setBold(true);
    line_->setFont(lineFont);
    line_->setAlignment(Qt::AlignCenter);
    line_->setAccessibleName(QStringLiteral("Current landmark"));
    auto* layout = new QVBoxLayout(this);
    layout->addStretch(1);
    layout->addWidget(caption_);
    layout->addWidget(line_);

    line_->setText(currentLine());
    setAccessibleDescription(line_->text());
    resize(sizeHint());
}

void LandmarkGuide::showLandmarks(const LandmarkRecorder& recorder)
{
    for (int n = 1; n <= LandmarkCount; ++n) {
        suggested_[static_cast<std::size_t>(n - 1)] = recorder.isSuggested(n);
    }
    showLandmarks(recorder.points, recorder.CurrentPoint, false);
}

void LandmarkGuide::showLandmarks(const Landmarks& points, std::int32_t currentPoint)
{
    showLandmarks(points, currentPoint, true);
}

void LandmarkGuide::showLandmarks(const Landmarks& points, std::int32_t currentPoint,
                                  bool noneSuggested)
{
    for (int n = 1; n <= LandmarkCount; ++n) {
        recorded_[static_cast<std::size_t>(n - 1)] = !points.IsPointMissing(n);
    }
    if (noneSuggested) {
        suggested_.fill(false);
    }
    currentPoint_ = currentPoint;

    const QString line = currentLine();
    if (line != line_->text()) {
        line_->setText(line);
        setAccessibleDescription(line);
        QAccessibleEvent event(this, QAccessible::DescriptionChanged);
        QAccessible::updateAccessibility(&event);
    }
    update();
}

QString LandmarkGuide::currentLine() const
{
    if (const LandmarkEntry* entry = FindLandmark(currentPoint_)) {
        const bool suggested = suggested_[static_cast<std::size_t>(entry->number - 1)];
        return QStringLiteral("P(%1)%2: %3")
            .arg(QString::number(entry->number),
                 suggested ? QStringLiteral(", suggested") : QString(),
                 QString::fromLatin1(entry->description));
    }
    // Start/Stop leads from the reset state to idle and only then to P(1).
    return currentPoint_ < 1
               ? QStringLiteral("Not recording: press Start/Stop twice to begin at P(1).")
               : QStringLiteral("Not recording: press Start/Stop to begin at P(1).");
}

QPointF LandmarkGuide::landmarkPosition(int landmark) const
{
    const LandmarkEntry* entry = FindLandmark(landmark);
    return entry != nullptr ? schemeTransform().map(entry->place) : QPointF();
}

QSize LandmarkGuide::sizeHint() const
{
    return {360, 440};
}

QRect LandmarkGuide::schemeRoom() const
{
    return {0, 0, width(), caption_->geometry().top()};
}

// The scheme fills the room above the texts, as large as it fits without
// changing its proportions, centred.
QTransform LandmarkGuide::schemeTransform() const
{
    const QRectF room = schemeRoom();
    const double scale =
        std::min(room.width() / SchemeSize.width(), room.height() / SchemeSize.height());
    const double left = (room.width() - SchemeSize.width() * scale) / 2;
    const double top = (room.height() - SchemeSize.height() * scale) / 2;
    return QTransform::fromTranslate(left, top).scale(scale, scale);
}

void LandmarkGuide::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.fillRect(schemeRoom(), Paper);
    painter.setTransform(schemeTransform());

    DrawLeaf(painter);

    const LandmarkEntry* current = FindLandmark(currentPoint_);
    if (current != nullptr) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(Current.red(), Current.green(), Current.blue(), 60));
        painter.drawEllipse(current->place, HaloRadius, HaloRadius);
    }
    for (const LandmarkEntry& entry : LandmarkTable()) {
        const bool isCurrent = &entry == current;
        const bool recorded = recorded_[static_cast<std::size_t>(entry.number - 1)];
        const bool suggested = suggested_[static_cast<std::size_t>(entry.number - 1)];
        const QColor colour = isCurrent ? Current : suggested ? Suggested : Marker;
        const double radius = isCurrent ? CurrentRadius : MarkerRadius;
        const double ring = isCurrent ? 8 : 4;
        painter.setPen(QPen(colour, ring));
        painter.setBrush(suggested ? SuggestedFill : recorded ? colour : Paper);
        // The ring is drawn half outside the path; keep its outer edge at
        // the radius.
        painter.drawEllipse(entry.place, radius - ring / 2, radius - ring / 2);

        painter.setPen(colour);
        painter.setFont(SchemeFont(isCurrent ? CurrentNumberSize : NumberSize, isCurrent));
        const double distance = radius + (isCurrent ? 26 : 20);
        const QPointF labelCentre = entry.place + LabelDirection(entry.label) * distance;
        DrawCentred(painter, labelCentre, QString::number(entry.number));
        if (entry.number == FreeLandmark) {
            painter.setFont(SchemeFont(VeinNameSize, false, true));
            painter.drawText(QRectF(labelCentre.x() + 30, labelCentre.y() - 50, 400, 100),
                             Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("anywhere"));
        }
    }
}

void LandmarkGuide::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

} // namespace kestra
