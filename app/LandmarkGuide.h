#pragma once

#include "app/LandmarkScheme.h"
#include "measure/LandmarkRecorder.h"
#include "measure/Landmarks.h"

#include <QPointF>
#include <QString>
#include <QWidget>
#include <array>
#include <cstdint>

class QLabel;

namespace kestra {

// A tool window beside the main window that shows where each landmark lies on
// a schematic grapevine leaf: the landmark being recorded is highlighted and
// described under the drawing, recorded landmarks are drawn filled, missing
// ones hollow and suggested ones in a colour of their own.
class LandmarkGuide : public QWidget {
    Q_OBJECT
public:
    explicit LandmarkGuide(QWidget* parent = nullptr);

    // Follows the recording: which landmarks are placed and which is current
    // (CurrentPoint: -1 reset, 1..32 recording, 99 idle). Repaints at once.
    void showLandmarks(const Landmarks& points, std::int32_t currentPoint);
    // The same from the recorder, with which landmarks are suggested.
    void showLandmarks(const LandmarkRecorder& recorder);

    // The line under the drawing, e.g. "P(17): tooth tip of N2 R", or
    // "P(17), suggested: ..." while its suggestion awaits a click.
    [[nodiscard]] QString currentLine() const;

    // The centre of landmark n's marker in this widget's coordinates, once the
    // window has been laid out (shown).
    [[nodiscard]] QPointF landmarkPosition(int landmark) const;

    [[nodiscard]] QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void showLandmarks(const Landmarks& points, std::int32_t currentPoint, bool noneSuggested);
    [[nodiscard]] QRect schemeRoom() const;
    [[nodiscard]] QTransform schemeTransform() const;

    std::array<bool, LandmarkCount> recorded_{};
    std::array<bool, LandmarkCount> suggested_{};
    std::int32_t currentPoint_ = -1;
    QLabel* caption_;
    QLabel* line_;
};

} // namespace kestra
