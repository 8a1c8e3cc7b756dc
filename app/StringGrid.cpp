#include "app/StringGrid.h"

#include "app/TextGridModel.h"

#include <QAbstractButton>
#include <QEvent>
#include <QHeaderView>
#include <QStyleOptionHeader>
#include <QStylePainter>

namespace kestra {
namespace {

// A head of fixed thickness (setCellSizes fixes it): the table asks for its
// size hint on every change of the model and of the geometry, and Qt's own
// measures the text of every section for it, a good part of start-up.
class FixedHead : public QHeaderView {
public:
    FixedHead(Qt::Orientation orientation, QWidget* parent) : QHeaderView(orientation, parent)
    {
        // As the table's own heads: a click on a head selects its row or column.
        setSectionsClickable(true);
    }

    [[nodiscard]] QSize sizeHint() const override { return minimumSize(); }
};

} // namespace

StringGrid::StringGrid(TextGridModel* model, QWidget* parent) : QTableView(parent), model_(model)
{
    setHorizontalHeader(new FixedHead(Qt::Horizontal, this));
    setVerticalHeader(new FixedHead(Qt::Vertical, this));
    setModel(model_);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::ContiguousSelection);
    // Tab leaves the grid for the next control instead of walking its cells.
    setTabKeyNavigation(false);
    setWordWrap(false);
    for (QHeaderView* header : {horizontalHeader(), verticalHeader()}) {
        header->setSectionResizeMode(QHeaderView::Fixed);
        header->setMinimumSectionSize(1);
        header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        header->setHighlightSections(false);
    }

    // The corner button selects everything and paints no text; here it only
    // shows the corner head.
    setCornerButtonEnabled(false);
    corner_ = findChild<QAbstractButton*>(QString(), Qt::FindDirectChildrenOnly);
    if (corner_ != nullptr) {
        corner_->installEventFilter(this);
    }
    connect(model_, &TextGridModel::cornerChanged, this, &StringGrid::showCorner);
    showCorner();
}

void StringGrid::setCellSizes(int fixedColumnWidth, int columnWidth, int rowHeight)
{
    verticalHeader()->setFixedWidth(fixedColumnWidth);
    verticalHeader()->setDefaultSectionSize(rowHeight);
    horizontalHeader()->setDefaultSectionSize(columnWidth);
    horizontalHeader()->setFixedHeight(rowHeight);
}

QString StringGrid::cornerText() const
{
    return model_->cornerText();
}

bool StringGrid::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == corner_ && event->type() == QEvent::Paint) {
        QStyleOptionHeader option;
        option.initFrom(corner_);
        // The button is disabled so that a click selects nothing; its head
        // still reads like the others.
        option.state |= QStyle::State_Enabled;
        option.palette.setCurrentColorGroup(QPalette::Active);
        option.rect = corner_->rect();
        option.text = model_->cornerText();
        option.textAlignment = Qt::AlignLeft | Qt::AlignVCenter;
        option.position = QStyleOptionHeader::OnlyOneSection;
        option.orientation = Qt::Horizontal;
        QStylePainter painter(corner_);
        painter.drawControl(QStyle::CE_Header, option);
        return true;
    }
    return QTableView::eventFilter(watched, event);
}

void StringGrid::showCorner()
{
    if (corner_ != nullptr) {
        corner_->setAccessibleName(model_->cornerText());
        corner_->update();
    }
}

} // namespace kestra
