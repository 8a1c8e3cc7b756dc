#include "app/FileDialog.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QItemSelectionModel>
#include <QLineEdit>

namespace kestra {

FileDialog::FileDialog(AcceptMode mode, QWidget* parent) : QFileDialog(parent)
{
    setAcceptMode(mode);
    setOption(QFileDialog::DontUseNativeDialog);
    // The name is that of the field in Qt's own form of the dialog.
    fileNameEdit_ = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    if (fileNameEdit_ != nullptr) {
        // Connected after the dialog's own slots, so that it runs after the
        // dialog has selected what the new text names.
        connect(fileNameEdit_, &QLineEdit::textChanged, this,
                &FileDialog::dropSelectionTheTextDoesNotName);
    }
}

void FileDialog::accept()
{
    // An open list would keep the keyboard and the mouse through a message
    // box and after the dialog, and eat the next click.
    closeCompletionList();
    const QStringList files = selectedFiles();
    if (!files.isEmpty() && !mayReturn(files.constFirst())) {
        return;
    }
    QFileDialog::accept();
}

void FileDialog::done(int result)
{
    closeCompletionList();
    QFileDialog::done(result);
}

bool FileDialog::mayReturn(const QString&)
{
    return true;
}

void FileDialog::closeCompletionList()
{
    QCompleter* completer = fileNameEdit_ != nullptr ? fileNameEdit_->completer() : nullptr;
    if (completer != nullptr && completer->popup()->isVisible()) {
        completer->popup()->hide();
    }
}

// The dialog returns its selected rows before the typed text, and selects each
// file or folder that the text names on its way. Qt 6.4 can miss one of them
// when it drops them again: QItemSelectionModel::isRowSelected() answers no for
// a row whose number equals that of a row just toggled under another parent.
// A full path typed through the shown folder then leaves that folder selected
// beside the file, and the dialog enters the folder instead of returning.
void FileDialog::dropSelectionTheTextDoesNotName()
{
    const QString named = typedPath();
    auto* view = findChild<QAbstractItemView*>(QStringLiteral("listView"));
    if (named.isEmpty() || view == nullptr || view->selectionModel() == nullptr) {
        return;
    }
    QItemSelectionModel* selection = view->selectionModel();
    const QModelIndexList selected = selection->selectedIndexes();
    for (const QModelIndex& index : selected) {
        const QString path = index.data(QFileSystemModel::FilePathRole).toString();
        if (index.column() == 0 && QDir::cleanPath(path) != named) {
            selection->select(index, QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
        }
    }
}

// The absolute path that the file-name field names, read as the dialog reads
// it; empty when the field is empty or holds several quoted names, where the
// dialog's own rules hold.
QString FileDialog::typedPath() const
{
    const QString text = fileNameEdit_->text();
    if (text.isEmpty() || text.contains(u'"')) {
        return {};
    }
    const QDir shown = directory();
    QString path = text;
    const bool home = text == QStringLiteral("~") || text.startsWith(QStringLiteral("~/"));
    if (home && !QFileInfo::exists(shown.filePath(text))) {
        path = QDir::homePath() + text.mid(1);
    }
    return QDir::cleanPath(shown.absoluteFilePath(path));
}

} // namespace kestra
