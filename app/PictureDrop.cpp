#include "app/PictureDrop.h"

#include "app/ScanFolder.h"

#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QWidget>
#include <algorithm>

namespace kestra {
namespace {

QStringList localFiles(const QList<QUrl>& urls)
{
    QStringList files;
    for (const QUrl& url : urls) {
        if (!url.isLocalFile())
            continue;
        const QString path = url.toLocalFile();
        if (!path.isEmpty() && !QFileInfo(path).isDir())
            files.append(path);
    }
    return files;
}

// The file a drop opens: of the local files dropped (folders aside), the first
// in natural name order, whose load says what is wrong with it if it is no
// picture; nothing when no local file came.
std::optional<QString> chooseDroppedFile(const QMimeData& data)
{
    const QStringList files = data.hasUrls() ? localFiles(data.urls()) : QStringList();
    if (files.isEmpty())
        return std::nullopt;
    return *std::min_element(files.cbegin(), files.cend(), [](const QString& a, const QString& b) {
        return NaturalLess(QFileInfo(a).fileName(), QFileInfo(b).fileName());
    });
}

} // namespace

PictureDrop::PictureDrop(QWidget* window) : QObject(window)
{
    window->setAcceptDrops(true);
    window->installEventFilter(this);
}

bool PictureDrop::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDropEvent*>(event);
        // Which file opens is chosen on the drop; a drag only needs one.
        if (drag->mimeData()->hasUrls() && !localFiles(drag->mimeData()->urls()).isEmpty()) {
            drag->acceptProposedAction();
            return true;
        }
        drag->ignore();
        return true;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        const std::optional<QString> file = chooseDroppedFile(*drop->mimeData());
        if (!file) {
            drop->ignore();
            return true;
        }
        drop->acceptProposedAction();
        emit fileDropped(*file);
        return true;
    }
    default:
        return QObject::eventFilter(watched, event);
    }
}

} // namespace kestra
