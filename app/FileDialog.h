#pragma once

#include <QFileDialog>

namespace kestra {

// The window's file dialogs: Qt's own dialog, so that it behaves the same on
// every desktop.
class FileDialog : public QFileDialog {
    Q_OBJECT
public:
    FileDialog(AcceptMode mode, QWidget* parent = nullptr);
};

} // namespace kestra
