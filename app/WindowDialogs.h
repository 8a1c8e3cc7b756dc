#pragma once

class QWidget;

namespace kestra {

class FileDialog;
class SaveDialog;

// The window's file dialogs, each as the window first builds it, owned by
// parent.
[[nodiscard]] FileDialog* MakeOpenPictureDialog(QWidget* parent);
[[nodiscard]] SaveDialog* MakeSaveResultsDialog(QWidget* parent);
[[nodiscard]] SaveDialog* MakeSaveLandmarksDialog(QWidget* parent);
[[nodiscard]] FileDialog* MakeLoadLandmarksDialog(QWidget* parent);

} // namespace kestra
