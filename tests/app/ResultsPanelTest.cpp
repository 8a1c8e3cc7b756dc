#include "app/results/ResultsPanel.h"

#include "FormFixture.h"
#include "measure/Analysis.h"
#include "measure/ResultsExport.h"
#include "measure/Tps.h"
#include "picture/PictureView.h"

#include <QAbstractItemModelTester>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QStatusBar>

namespace {

class ResultsPanelTest : public FormFixture {
protected:
    QString writeScan(const QString& name)
    {
        QImage picture(60, 40, QImage::Format_RGB32);
        picture.fill(Qt::white);
        // 300 dpi, as the DPI field says.
        picture.setDotsPerMeterX(11811);
        picture.setDotsPerMeterY(11811);
        return writePicture(name, picture);
    }

    // Places P(1) and P(20) by clicks, x pixels apart, and analyses. After a
    // load, recording is idle and one press of Start/Stop starts it.
    void measure(int x, bool loaded = false)
    {
        if (loaded)
            QTest::mouseClick(form->Button3, Qt::LeftButton);
        else
            startRecording();
        QTest::mouseClick(form->Image2, Qt::LeftButton, {}, {x, 5});
        form->state.Landmarks.jumpTo(20);
        QTest::mouseClick(form->Image2, Qt::LeftButton, {}, {x, 5 + x});
        form->Button12->click();
    }

    void selectRow(int row)
    {
        QHeaderView* heads = form->StringGrid1->verticalHeader();
        QTest::mouseClick(heads->viewport(), Qt::LeftButton, {},
                          {heads->width() / 2, heads->sectionViewportPosition(row - 1) + 5});
    }

    void activateRow(int row)
    {
        kestra::StringGrid* grid = form->StringGrid1;
        const QModelIndex index = grid->model()->index(row - 1, 2);
        grid->setCurrentIndex(index);
        QTest::keyClick(grid, Qt::Key_Return);
    }

    [[nodiscard]] QString status() const { return form->StatusBar1->currentMessage(); }

    // A window that measured one row and ended without saving it.
    static void crash(const QString& journals, const std::string& scan)
    {
        kestra::ResultsTable table;
        kestra::ResultsModel crashed(table, journals.toStdString());
        kestra::ResultsTable one;
        kestra::Landmarks leaf;
        kestra::RunAnalysis(one, leaf, {scan, 300.0, {}, ".", 60, 40});
        crashed.add(one.takeRow(1));
    }
    [[nodiscard]] QStringList numbers() const
    {
        QStringList list;
        for (int row = 1; row <= form->state.Results.ResultCount(); ++row)
            list.append(QString::fromStdString(form->state.Results.Cells(0, row)));
        return list;
    }
};

TEST_F(ResultsPanelTest, RowsAreDeletedBroughtBackAndReMeasuredInPlace)
{
    const QString first = writeScan(QStringLiteral("first.bmp"));
    const QString second = writeScan(QStringLiteral("second.bmp"));
    const kestra::MainMenu& menu = *form->MainMenu1;
    // Every insertion and removal the grid hears of is checked as it happens.
    const QAbstractItemModelTester checked(form->StringGrid1->model(),
                                           QAbstractItemModelTester::FailureReportingMode::Fatal);
    open(first);
    measure(10);
    measure(20);
    open(second);
    measure(30);
    ASSERT_EQ(numbers(), QStringList({"1", "2", "3"}));
    EXPECT_FALSE(menu.undoAction->isEnabled());

    // Delete takes the selected rows out; the others keep their numbers.
    form->StringGrid1->setFocus();
    selectRow(2);
    EXPECT_TRUE(menu.deleteRowsAction->isEnabled());
    QTest::keyClick(form->StringGrid1, Qt::Key_Delete);
    EXPECT_EQ(numbers(), QStringList({"1", "3"}));
    EXPECT_EQ(form->StringGrid1->model()->rowCount(), 2);
    EXPECT_EQ(form->StringGrid1->model()->headerData(1, Qt::Vertical).toString(), "3");
    QTest::keyClick(form.get(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(numbers(), QStringList({"1", "2", "3"}));
    EXPECT_EQ(result(2, 3), "1.69"); // OIV 601: 20 pixels at 300 dpi
    EXPECT_FALSE(menu.undoAction->isEnabled());

    // Rows apart, then every row, each brought back in its place.
    form->resultsPanel().model().remove({3, 1});
    EXPECT_EQ(numbers(), QStringList({"2"}));
    form->resultsPanel().model().remove({1});
    EXPECT_EQ(numbers(), QStringList());
    EXPECT_EQ(form->StringGrid1->model()->rowCount(), 1); // the empty row
    QTest::keyClick(form.get(), Qt::Key_Z, Qt::ControlModifier);
    QTest::keyClick(form.get(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(numbers(), QStringList({"1", "2", "3"}));

    // Re-measuring row 1 opens its scan with its landmarks, recording idle,
    // and says when the row was measured at another resolution.
    form->Edit1->setText(QStringLiteral("600"));
    activateRow(1);
    EXPECT_TRUE(status().startsWith("The next Analyze replaces row 1; Escape keeps it. It was "
                                    "measured at 300 dpi; the DPI field says 600."))
        << status().toStdString();
    form->Edit1->setText(QStringLiteral("300"));
    activateRow(1);
    EXPECT_TRUE(form->windowTitle().endsWith(first));
    EXPECT_EQ(coordinate(1, 1), "10");
    EXPECT_EQ(coordinate(20, 2), "15");
    EXPECT_EQ(form->Label2->text(), "Recorded coordinates");
    EXPECT_EQ(status(), "The next Analyze replaces row 1; Escape keeps it.");
    measure(15, true);
    EXPECT_EQ(numbers(), QStringList({"1", "2", "3"}));
    EXPECT_EQ(result(1, 3), "1.27");
    EXPECT_EQ(status(), "");
    measure(16);
    EXPECT_EQ(numbers(), QStringList({"1", "2", "3", "4"}));

    // Escape, or another scan, keeps the row after all.
    activateRow(2);
    QTest::keyClick(form.get(), Qt::Key_Escape);
    EXPECT_EQ(status(), "");
    activateRow(2);
    open(second);
    EXPECT_EQ(status(), "");
    measure(17);
    EXPECT_EQ(numbers(), QStringList({"1", "2", "3", "4", "5"}));

    // A scan that is gone: the usual box, and nothing changes.
    ASSERT_TRUE(QFile::remove(first));
    activateRow(2);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].contains("Cannot open file")) << boxes[0].toStdString();
    EXPECT_TRUE(form->windowTitle().endsWith(second));
    EXPECT_EQ(status(), "");
}

TEST_F(ResultsPanelTest, AnEarlierWindowsUnsavedRowsAreRestoredOrKeptAside)
{
    const QString folder = QString::fromStdString(kestra::JournalFolder());
    kestra::ResultsTable earlier;
    std::string savedTps;
    {
        kestra::ResultsModel crashed(earlier, folder.toStdString());
        for (const double x : {10.0, 20.0, 30.0}) {
            kestra::ResultsTable one;
            kestra::Landmarks leaf;
            leaf.PointX[1] = x;
            leaf.PointY[1] = 5;
            kestra::RunAnalysis(one, leaf, {"/gone/leaf.bmp", 254.0, {}, ".", 60, 40});
            crashed.add(one.takeRow(1));
        }
        crashed.remove({2});
    }
    const std::string table = kestra::ResultsText(earlier);
    // An older window's rows too, an hour before: the newest is offered, the
    // older kept aside.
    const QString newest = QDir(folder).entryList({QStringLiteral("*.journal")}).value(0);
    crash(folder, "/gone/older.bmp");
    for (const QString& name : QDir(folder).entryList({QStringLiteral("*.journal")})) {
        QFile journal(QDir(folder).filePath(name));
        if (name != newest && journal.open(QIODevice::ReadWrite))
            journal.setFileTime(QDateTime::currentDateTime().addSecs(-3600),
                                QFileDevice::FileModificationTime);
    }

    QString asked;
    form->resultsPanel().setRestoreQuestion([&](const QString& text) {
        asked = text;
        return true;
    });
    form->resultsPanel().offerRestore();
    EXPECT_TRUE(asked.contains(" with 2 results that were not saved. Restore them?\n\n1 older "
                               "journal with unsaved results is kept aside in "))
        << asked.toStdString();
    EXPECT_EQ(QDir(folder).entryList({QStringLiteral("*.aside")}).size(), 1);
    EXPECT_TRUE(asked.startsWith("KESTRA ended on "));
    // The rows as they were, saved to the byte, with their landmarks, before
    // any scan is open; the numbering goes on.
    EXPECT_EQ(kestra::ResultsText(form->state.Results), table);
    EXPECT_TRUE(form->Button13->isEnabled());
    EXPECT_TRUE(form->MainMenu1->saveLandmarksAction->isEnabled());
    EXPECT_EQ(kestra::TpsText(form->state.Results), kestra::TpsText(earlier));
    EXPECT_EQ(form->state.Results.NextNumber(), 4);

    // Asked once only: this window's journal is locked, the old one gone.
    asked.clear();
    form->resultsPanel().offerRestore();
    EXPECT_TRUE(asked.isEmpty());

    // Another window's rows, discarded: kept aside, and said where.
    crash(folder, "/gone/other.bmp");
    form->resultsPanel().setRestoreQuestion([](const QString&) { return false; });
    form->resultsPanel().offerRestore();
    EXPECT_EQ(form->state.Results.ResultCount(), 2);
    const QStringList aside = QDir(folder).entryList({QStringLiteral("*.discarded")});
    ASSERT_EQ(aside.size(), 1);
    EXPECT_EQ(status(), QStringLiteral("The results that were not saved are kept in %1.")
                            .arg(QDir(folder).filePath(aside[0])));
}

TEST_F(ResultsPanelTest, AJournalThatCannotBeWrittenIsSaidAndTheAnalysisGoesOn)
{
    // A file where the journals' folder should be.
    const QString blocked = folder.filePath(QStringLiteral("state"));
    QFile(blocked).open(QIODevice::WriteOnly);
    const QByteArray before = qgetenv("XDG_STATE_HOME");
    qputenv("XDG_STATE_HOME", blocked.toLocal8Bit());
    form = std::make_unique<TForm1>();
    qputenv("XDG_STATE_HOME", before);
    form->show();

    form->openPicture(writeScan(QStringLiteral("leaf.bmp")));
    measure(10);
    measure(20);
    EXPECT_EQ(numbers(), QStringList({"1", "2"}));
    EXPECT_TRUE(status().startsWith(
        QStringLiteral("The results are not protected: Cannot write file \"%1/kestra/results-")
            .arg(blocked)))
        << status().toStdString();
    EXPECT_TRUE(status().endsWith(QStringLiteral(". Not a directory.")));
    EXPECT_TRUE(boxes.empty());
}

} // namespace
