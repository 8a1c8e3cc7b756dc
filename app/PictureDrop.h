#pragma once

#include <QObject>
#include <QString>

class QWidget;

namespace kestra {

// Lets a window take files dropped on it: accepts a drag that carries a local
// file and reports the file a drop opens: of the local files dropped (folders
// aside), the first in natural name order.
class PictureDrop : public QObject {
    Q_OBJECT
public:
    explicit PictureDrop(QWidget* window);

signals:
    void fileDropped(const QString& path);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

} // namespace kestra
