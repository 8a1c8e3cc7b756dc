#include "app/SaveDialog.h"

#include <QDir>
#include <QFileInfo>
#include <QMessageBox>

namespace kestra {

SaveDialog::SaveDialog(QWidget* parent) : FileDialog(QFileDialog::AcceptSave, parent)
{
    setFileMode(QFileDialog::AnyFile);
}

void SaveDialog::accept()
{
    const QStringList files = selectedFiles();
    if (!files.isEmpty()) {
        const QFileInfo chosen(files.first());
        if (!chosen.isDir() && !chosen.absoluteDir().exists()) {
            QMessageBox::warning(this, windowTitle(),
                                 tr("%1\nThe folder does not exist. Check the name and try again.")
                                     .arg(QDir::toNativeSeparators(chosen.absolutePath())));
            return;
        }
    }
    FileDialog::accept();
}

} // namespace kestra
