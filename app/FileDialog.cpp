#include "app/FileDialog.h"

namespace kestra {

FileDialog::FileDialog(AcceptMode mode, QWidget* parent) : QFileDialog(parent)
{
    setAcceptMode(mode);
    setOption(QFileDialog::DontUseNativeDialog);
}

} // namespace kestra
