#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>
#include <optional>

class QWidget;

namespace kestra {

// The file a drop opens: of the local files dropped (folders aside), the first
// in natural name order, whose load says what is wrong with it if it is no
// picture; nothing when no local file came.
[[nodiscard]] std::optional<QString> ChooseDroppedFile(const QList<QUrl>& urls);

// Lets a window take files dropped on it: accepts a drag that carries a local
// file and reports the file a drop opens.
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
