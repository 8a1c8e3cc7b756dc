#pragma once

#include "app/FileDialog.h"

namespace kestra {

// A save dialog that accepts a name only in a folder that exists: the user is
// told and stays in the dialog, as with a name whose file would be replaced.
class SaveDialog : public FileDialog {
    Q_OBJECT
public:
    explicit SaveDialog(QWidget* parent = nullptr);

protected:
    [[nodiscard]] bool mayReturn(const QString& chosen) override;
};

} // namespace kestra
