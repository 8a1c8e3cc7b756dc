#include "app/SaveDialog.h"

#include <QDir>
#include <QFileInfo>
#include <QMessageBox>

namespace kestra {

SaveDialog::SaveDialog(QWidget* parent) : FileDialog(QFileDialog::AcceptSave, parent)
{
    setFileMode(QFileDialog::AnyFile);
}

bool SaveDialog::mayReturn(const QString& chosen)
{
    const QFileInfo file(chosen);
    if (file.isDir() || file.absoluteDir().exists()) {
        return true;
    }
    QMessageBox::warning(this, windowTitle(),
                         tr("%1\nThe folder does not exist. Check the name and try again.")
                             .arg(QDir::toNativeSeparators(file.absolutePath())));
    return false;
}

} // namespace kestra
