#include "app/results/ResultsPanel.h"

#include "app/Application.h"
#include "app/MainMenu.h"
#include "app/ScanResolution.h"
#include "app/StatusNotes.h"
#include "app/StringGrid.h"
#include "app/TextGridModel.h"
#include "measure/Error.h"

#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QHeaderView>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>

namespace kestra {
namespace {

bool AskInBox(QWidget* parent, const QString& text)
{
    QMessageBox box(QMessageBox::Question, QStringLiteral("KESTRA"), text, QMessageBox::NoButton,
                    parent);
    QPushButton* restore = box.addButton(QStringLiteral("&Restore"), QMessageBox::AcceptRole);
    QPushButton* discard = box.addButton(QStringLiteral("&Discard"), QMessageBox::DestructiveRole);
    box.setDefaultButton(restore);
    // Neither Escape nor the title bar closes it: one of the two is the answer.
    box.setEscapeButton(static_cast<QAbstractButton*>(nullptr));
    box.exec();
    return box.clickedButton() != discard;
}

QString restoreText(const AbandonedJournal& journal, int others, const std::string& folder)
{
    const QDateTime ended = QDateTime::fromSecsSinceEpoch(journal.endedAt());
    const int unsaved = journal.contents().unsavedCount();
    QString text =
        QStringLiteral("KESTRA ended on %1 at %2 with %3 %4 not saved. Restore them?")
            .arg(QLocale().toString(ended.date(), QLocale::LongFormat),
                 QLocale().toString(ended.time(), QLocale::ShortFormat), QString::number(unsaved),
                 unsaved == 1 ? QStringLiteral("result that was")
                              : QStringLiteral("results that were"));
    if (others > 0)
        text += QStringLiteral("\n\n%1 older %2 with unsaved results %3 kept aside in %4.")
                    .arg(QString::number(others),
                         others == 1 ? QStringLiteral("journal") : QStringLiteral("journals"),
                         others == 1 ? QStringLiteral("is") : QStringLiteral("are"),
                         QDir::toNativeSeparators(QString::fromStdString(folder)));
    return text;
}

} // namespace

ResultsPanel::ResultsPanel(ResultsTable& table, QWidget* clientArea, MainMenu& menu,
                           StatusNotes& notes, std::string journalFolder)
    : QObject(clientArea), model_(table, std::move(journalFolder)), menu_(menu), notes_(notes),
      askRestore_([clientArea](const QString& text) { return AskInBox(clientArea, text); })
{
    gridModel_ = new TextGridModel(table.grid(), this);
    grid_ = new StringGrid(gridModel_, clientArea);
    gridModel_->setParent(grid_);
    grid_->setGeometry(8, 677, 1168, 161);
    grid_->setCellSizes(64, 64, 24);
    grid_->horizontalHeader()->resizeSection(0, 77);
    grid_->setAccessibleName(QStringLiteral("Results"));

    connect(&model_, &ResultsModel::rowsAboutToBeRemoved, gridModel_,
            &TextGridModel::beginRemovingRows);
    connect(&model_, &ResultsModel::rowsRemoved, gridModel_, &TextGridModel::endRemovingRows);
    connect(&model_, &ResultsModel::rowsAboutToBeInserted, gridModel_,
            &TextGridModel::beginInsertingRows);
    connect(&model_, &ResultsModel::rowsInserted, gridModel_, &TextGridModel::endInsertingRows);
    connect(&model_, &ResultsModel::changed, this, &ResultsPanel::showChanged);
    connect(&model_, &ResultsModel::replacingChanged, this, &ResultsPanel::showReplacing);
    connect(&model_, &ResultsModel::journalFailed, this, [this](const QString& problem) {
        notes_.set(StatusNotes::Note::Journal,
                   problem.isEmpty()
                       ? QString()
                       : QStringLiteral("The results are not protected: %1.").arg(problem));
    });

    // The key deletes rows where the table has the focus; the menu item
    // deletes them from anywhere.
    auto* deleteKey = new QShortcut(QKeySequence::Delete, grid_, nullptr, nullptr,
                                    Qt::WidgetWithChildrenShortcut);
    connect(deleteKey, &QShortcut::activated, menu_.deleteRowsAction, &QAction::trigger);
    connect(menu_.deleteRowsAction, &QAction::triggered, this,
            [this] { RunHandler([this] { deleteSelectedRows(); }); });
    connect(menu_.undoAction, &QAction::triggered, this,
            [this] { RunHandler([this] { model_.undo(); }); });
    connect(grid_->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        menu_.deleteRowsAction->setEnabled(model_.table().ResultCount() > 0 &&
                                           grid_->selectionModel()->hasSelection());
    });
    connect(grid_, &QAbstractItemView::activated, this, [this](const QModelIndex& index) {
        if (index.row() < model_.table().ResultCount())
            emit rowActivated(index.row() + 1);
    });
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), clientArea->window());
    connect(escape, &QShortcut::activated, &model_, &ResultsModel::cancelReplacing);
}

void ResultsPanel::setRestoreQuestion(RestoreQuestion question)
{
    askRestore_ = std::move(question);
}

void ResultsPanel::offerRestore()
{
    std::vector<AbandonedJournal> journals = FindAbandonedJournals(model_.journalFolder());
    if (journals.empty())
        return;
    const bool restore = askRestore_(restoreText(
        journals.front(), static_cast<int>(journals.size()) - 1, model_.journalFolder()));
    AbandonedJournal& newest = journals.front();
    if (restore) {
        model_.restore(newest.contents());
        // Once this window's journal holds the rows, the old one has done its
        // work; until then it stays, locked while this window runs.
        if (model_.journalProblem().isEmpty())
            newest.remove();
        else
            kept_.push_back(std::move(newest));
    } else {
        try {
            const std::string aside = newest.moveAside(".discarded");
            notes_.set(StatusNotes::Note::Journal,
                       QStringLiteral("The results that were not saved are kept in %1.")
                           .arg(QDir::toNativeSeparators(QString::fromStdString(aside))));
        } catch (const Error& error) {
            notes_.set(StatusNotes::Note::Journal, QString::fromStdString(error.what()) + '.');
        }
    }
    for (std::size_t older = 1; older < journals.size(); ++older) {
        try {
            (void)journals[older].moveAside(".aside");
        } catch (const Error&) {
            // Offered again at the next start.
        }
    }
}

void ResultsPanel::startReplacing(int row, double fieldDpi, const std::string& decimalSeparator)
{
    const double rowDpi = model_.table().rowLandmarks(row).Dpi;
    const QString separator = QString::fromStdString(decimalSeparator);
    // A re-measure at another resolution would change every length.
    replacingNote_ = rowDpi == fieldDpi
                         ? QString()
                         : QStringLiteral(" It was measured at %1 dpi; the DPI field says %2.")
                               .arg(DpiText(rowDpi, separator), DpiText(fieldDpi, separator));
    model_.startReplacing(row);
}

void ResultsPanel::refresh()
{
    gridModel_->refresh();
}

void ResultsPanel::deleteSelectedRows()
{
    // A row counts as selected with any of its cells, as a click on its head
    // selects them all.
    std::vector<int> rows;
    for (const QModelIndex& index : grid_->selectionModel()->selectedIndexes())
        rows.push_back(index.row() + 1);
    model_.remove(rows);
    grid_->clearSelection();
}

void ResultsPanel::showReplacing()
{
    const std::optional<int> row = model_.replacingRow();
    notes_.set(StatusNotes::Note::Replacing,
               row ? QStringLiteral("The next Analyze replaces row %1; Escape keeps it.")
                             .arg(QString::fromStdString(model_.table().Cells(0, *row))) +
                         replacingNote_
                   : QString());
}

void ResultsPanel::showChanged()
{
    gridModel_->refresh();
    menu_.undoAction->setEnabled(model_.canUndo());
    const bool hasRows = model_.table().ResultCount() > 0;
    menu_.saveLandmarksAction->setEnabled(hasRows);
    if (model_.journalProblem().isEmpty())
        notes_.set(StatusNotes::Note::Journal, QString());
    if (hasRows != hadRows_) {
        hadRows_ = hasRows;
        emit hasRowsChanged(hasRows);
    }
}

} // namespace kestra
