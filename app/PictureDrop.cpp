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

} // namespace

std::optional<QString> ChooseDroppedFile(const QList<QUrl>& urls)
{
    QStringList files = localFiles(urls);
    if (files.isEmpty())
        return std::nullopt;
    return *std::min_element(files.cbegin(), files.cend(), [](const QString& a, const QString& b) {
        return NaturalLess(QFileInfo(a).fileName(), QFileInfo(b).fileName());
    });
}

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
        if (drag->mimeData()->hasUrls() && ChooseDroppedFile(drag->mimeData()->urls())) {
            drag->acceptProposedAction();
            return true;
        }
        drag->ignore();
        return true;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        const std::optional<QString> file = drop->mimeData()->hasUrls()
                                                ? ChooseDroppedFile(drop->mimeData()->urls())
                                                : std::nullopt;
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
