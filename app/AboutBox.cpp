#include "app/AboutBox.h"

#include <QMessageBox>
#include <QtGlobal>

namespace kestra {

QString AboutText()
{
    return QStringLiteral("<p><b>%1</b></p>"
                          "<p>Measures grapevine leaves from scanned pictures: the leaf surface, "
                          "the lengths and angles of the OIV descriptors and the landmark "
                          "positions, from 32 landmarks placed on the scan.</p>"
                          "<p>Copyright 2026 The KESTRA developers. All rights reserved: no "
                          "licence to copy, modify or redistribute this program has been granted "
                          "yet.</p>"
                          "<p>Built with Qt %2, running on Qt %3.</p>")
        .arg(QString::fromLatin1(ProgramCaption), QStringLiteral(QT_VERSION_STR),
             QString::fromLatin1(qVersion()));
}

void ShowAbout(QWidget* parent)
{
    QMessageBox::about(parent, QStringLiteral("About KESTRA"), AboutText());
}

} // namespace kestra
