#pragma once

#include <QFileDialog>

class QLineEdit;

namespace kestra {

// The window's file dialogs: Qt's own dialog, so that it behaves the same on
// every desktop, with two faults of Qt 6.4's dialog mended: the file-name
// field's completion list outliving the dialog, and a typed path refused
// because of a selection that the text no longer names.
class FileDialog : public QFileDialog {
    Q_OBJECT
public:
    FileDialog(AcceptMode mode, QWidget* parent = nullptr);

    void accept() override;
    void done(int result) override;

protected:
    // Whether the chosen path may be returned; a dialog that refuses it tells
    // the user why, who then stays in the dialog.
    [[nodiscard]] virtual bool mayReturn(const QString& chosen);

private:
    void closeCompletionList();
    void dropSelectionTheTextDoesNotName();
    [[nodiscard]] QString typedPath() const;

    QLineEdit* fileNameEdit_ = nullptr;
};

} // namespace kestra
