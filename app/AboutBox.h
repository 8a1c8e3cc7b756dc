#pragma once

#include <QString>

class QWidget;

namespace kestra {

// The window title's program name and version.
inline constexpr char ProgramCaption[] = "KESTRA v2.04";

// What Help > About says: the program, its version, its licence and the Qt
// it was built with and runs on.
[[nodiscard]] QString AboutText();

void ShowAbout(QWidget* parent);

} // namespace kestra
