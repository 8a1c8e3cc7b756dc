#include "app/Anchors.h"

#include <QEvent>
#include <QWidget>
#include <algorithm>
#include <cmath>

namespace kestra {

namespace {

// One axis of a control: where it starts and how long it is.
struct Span {
    int start;
    int length;
};

struct AxisRule {
    bool nearAnchored;
    bool farAnchored;
    int nearDistance;
    int farDistance;
    double centre; // fraction of the parent's length
};

Span placeSpan(int length, const AxisRule& rule, int parentLength)
{
    if (rule.nearAnchored && rule.farAnchored) {
        return {rule.nearDistance,
                std::max(0, parentLength - rule.nearDistance - rule.farDistance)};
    }
    if (rule.nearAnchored) {
        return {rule.nearDistance, length};
    }
    if (rule.farAnchored) {
        return {parentLength - rule.farDistance - length, length};
    }
    return {static_cast<int>(std::lround(rule.centre * parentLength - length / 2.0)), length};
}

double CentreFraction(int start, int length, int parentLength)
{
    return parentLength > 0 ? (start + length / 2.0) / parentLength : 0.0;
}

} // namespace

Anchors::Anchors(QObject* parent) : QObject(parent) {}

void Anchors::anchor(QWidget* control, Qt::Edges edges)
{
    QWidget* parent = control->parentWidget();
    auto found = parents_.find(parent);
    if (found == parents_.end()) {
        found = parents_.insert(parent, Children{parent->size(), {}});
        parent->installEventFilter(this);
    }
    const QSize size = found->lastSize;
    const QRect geometry = control->geometry();
    found->controls.append({control, edges, geometry.left(), geometry.top(),
                            size.width() - geometry.left() - geometry.width(),
                            size.height() - geometry.top() - geometry.height(),
                            CentreFraction(geometry.x(), geometry.width(), size.width()),
                            CentreFraction(geometry.y(), geometry.height(), size.height()),
                            geometry});
}

void Anchors::apply(QWidget* parent)
{
    const auto found = parents_.find(parent);
    if (found == parents_.end()) {
        return;
    }
    const QSize last = found->lastSize;
    const QSize size = parent->size();
    for (Anchored& anchored : found->controls) {
        if (anchored.control.isNull()) {
            continue;
        }
        const QRect current = anchored.control->geometry();
        if (current != anchored.placed) {
            anchored.centreX = CentreFraction(current.x(), current.width(), last.width());
            anchored.centreY = CentreFraction(current.y(), current.height(), last.height());
        }
        const Span x = placeSpan(current.width(),
                                 {anchored.edges.testFlag(Qt::LeftEdge),
                                  anchored.edges.testFlag(Qt::RightEdge), anchored.left,
                                  anchored.right, anchored.centreX},
                                 size.width());
        const Span y = placeSpan(current.height(),
                                 {anchored.edges.testFlag(Qt::TopEdge),
                                  anchored.edges.testFlag(Qt::BottomEdge), anchored.top,
                                  anchored.bottom, anchored.centreY},
                                 size.height());
        anchored.placed = QRect(x.start, y.start, x.length, y.length);
        anchored.control->setGeometry(anchored.placed);
    }
    found->lastSize = size;
}

bool Anchors::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Resize) {
        apply(static_cast<QWidget*>(watched));
    }
    return QObject::eventFilter(watched, event);
}

} // namespace kestra
