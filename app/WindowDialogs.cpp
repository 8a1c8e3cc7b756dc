#include "app/WindowDialogs.h"

#include "app/FileDialog.h"
#include "app/SaveDialog.h"

namespace kestra {

FileDialog* MakeOpenPictureDialog(QWidget* parent)
{
    auto* dialog = new FileDialog(QFileDialog::AcceptOpen, parent);
    // A typed name of a file that does not exist is accepted; the load reports it.
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setNameFilters({QStringLiteral("Bitmap (*.bmp)"), QStringLiteral("JPEG (*.jpg)"),
                            QStringLiteral("Minden fájl (*.*)")});
    return dialog;
}

SaveDialog* MakeSaveResultsDialog(QWidget* parent)
{
    // The text files' filter matches *.TXT; Qt's file dialogs match without
    // regard to case, so the label's own pattern finds the same files.
    auto* dialog = new SaveDialog(parent);
    dialog->setNameFilters({QStringLiteral("Szöveg (*.txt)"), QStringLiteral("Minden fájl (*.*)")});
    dialog->setDefaultSuffix(QStringLiteral("TXT"));
    return dialog;
}

SaveDialog* MakeSaveLandmarksDialog(QWidget* parent)
{
    auto* dialog = new SaveDialog(parent);
    dialog->setWindowTitle(QStringLiteral("Save landmarks"));
    dialog->setNameFilters({QStringLiteral("TPS (*.tps)")});
    dialog->setDefaultSuffix(QStringLiteral("tps"));
    return dialog;
}

FileDialog* MakeLoadLandmarksDialog(QWidget* parent)
{
    auto* dialog = new FileDialog(QFileDialog::AcceptOpen, parent);
    dialog->setWindowTitle(QStringLiteral("Load landmarks"));
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setNameFilters({QStringLiteral("TPS (*.tps)"), QStringLiteral("All files (*)")});
    return dialog;
}

} // namespace kestra
