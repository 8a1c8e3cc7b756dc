#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QVector>

class QWidget;

namespace kestra {

// Keeps controls where the layout puts them when their parent changes size.
// A control anchored to a side keeps its distance to that side; anchored to
// two opposite sides it stretches; anchored to neither side of an axis it
// keeps its centre at the same proportional place. Distances are taken when
// the control is anchored, so the parent must have its layout size then.
class Anchors : public QObject {
    Q_OBJECT
public:
    explicit Anchors(QObject* parent = nullptr);

    void anchor(QWidget* control, Qt::Edges edges);

    // Re-places the controls of one parent for its current size. Runs by
    // itself on every resize of the parent.
    void apply(QWidget* parent);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Anchored {
        QPointer<QWidget> control;
        Qt::Edges edges;
        int left;
        int top;
        int right;
        int bottom;
        // The centre as a fraction of the parent's size, kept unrounded so
        // that resizing back and forth does not creep; renewed whenever
        // something else has moved the control.
        double centreX;
        double centreY;
        QRect placed;
    };
    struct Children {
        QSize lastSize;
        QVector<Anchored> controls;
    };

    QHash<QWidget*, Children> parents_;
};

} // namespace kestra
