#pragma once

#include "measure/LandmarkRecorder.h"
#include "measure/ResultsTable.h"

#include <cstdint>
#include <string>

namespace kestra {

// A Ctrl-drag pan in progress: where the mouse was pressed on the picture
// control and where the two scroll bars stood then.
struct PanState {
    std::int32_t DragStartX = 0;
    std::int32_t DragStartY = 0;
    std::int32_t DragScrollX = 0;
    std::int32_t DragScrollY = 0;
    bool Dragging = false;
};

// Everything the main window keeps besides its controls, at its start values.
struct MainState {
    std::string FileName; // full path of the loaded picture, UTF-8; empty until one loads
    double Dpi = 300.0;
    LandmarkRecorder Landmarks; // CurrentPoint, PointX and PointY
    std::int32_t ZoomPercent = 100;
    ResultsTable Results; // ResultCount and the table
    PanState Pan;
};

} // namespace kestra
