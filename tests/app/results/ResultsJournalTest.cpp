#include "app/results/ResultsJournal.h"

#include "app/results/ResultsModel.h"
#include "measure/Analysis.h"
#include "measure/Error.h"
#include "tests/measure/TestFiles.h"

#include <array>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kestra;
namespace fs = std::filesystem;

namespace {

// A row as an analysis makes it, apart from any table: numbered 1.
TableRow analysed(double x, const std::string& path)
{
    ResultsTable table;
    Landmarks leaf = test::landmarksAt({{1, x, 7}, {20, 40, 90}, {17, 3.5, 8}});
    RunAnalysis(table, leaf, {path, 254.0, {}, ",", 400, 300});
    return table.takeRow(1);
}

std::vector<std::vector<std::string>> cellsOf(const std::vector<JournalRow>& rows)
{
    std::vector<std::vector<std::string>> cells;
    for (const JournalRow& row : rows)
        cells.push_back(row.row.cells);
    return cells;
}

std::vector<std::vector<std::string>> cellsOf(const ResultsTable& table)
{
    std::vector<std::vector<std::string>> cells;
    for (int row = 1; row <= table.ResultCount(); ++row)
        cells.push_back(table.copyRow(row).cells);
    return cells;
}

std::string onlyJournalIn(const fs::path& folder)
{
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(folder))
        files.push_back(entry.path());
    EXPECT_EQ(files.size(), 1u);
    return files.empty() ? std::string() : test::readFile(files.front());
}

} // namespace

TEST(ResultsJournal, EveryChangeIsReadBackAndACutRecordIsLeftOut)
{
    const test::TempFolder folder;
    ResultsTable table;
    std::string text;
    std::size_t beforeLast = 0;
    {
        ResultsModel model(table, folder.string());
        // Names and paths with the journal's own separators in them.
        model.add(analysed(10, "/scans/a\tb\\c\nd.jpg"));
        model.add(analysed(20, "/scans/leaf 2.bmp"));
        model.add(analysed(30, "/scans/leaf3.bmp"));
        model.remove({2});
        model.startReplacing(1);
        model.add(analysed(11, "/scans/again.jpg"));
        model.markSaved();
        beforeLast = onlyJournalIn(folder).size();
        model.add(analysed(40, "/scans/leaf4.jpg"));
        EXPECT_EQ(model.unsavedCount(), 1);
        text = onlyJournalIn(folder);
    } // with a row unsaved, the journal stays

    ASSERT_EQ(table.ResultCount(), 3);
    EXPECT_EQ(table.Cells(0, 1), "1");
    EXPECT_EQ(table.Cells(1, 1), "again.jpg");
    EXPECT_EQ(table.Cells(0, 2), "3");
    EXPECT_EQ(table.Cells(0, 3), "4");

    const JournalContents read = ReadJournal(text);
    EXPECT_TRUE(read.whole);
    EXPECT_EQ(cellsOf(read.rows), cellsOf(table));
    EXPECT_EQ(read.lastNumber, 4);
    EXPECT_EQ(read.unsavedCount(), 1);
    ASSERT_EQ(read.rows.size(), 3u);
    EXPECT_TRUE(read.rows[0].saved);
    EXPECT_FALSE(read.rows[2].saved);
    const RowLandmarks& first = read.rows[0].row.measuredFrom;
    EXPECT_EQ(first.FileName, "/scans/again.jpg");
    EXPECT_EQ(first.points.PointX[1], 11.0);
    EXPECT_EQ(first.points.PointX[17], 3.5);
    EXPECT_EQ(first.Dpi, 254.0);
    EXPECT_EQ(first.pictureHeight, 300);

    // A power cut anywhere in the last record: the record is not there, nor
    // half of it, and everything before it is.
    std::vector<std::vector<std::string>> earlier = cellsOf(table);
    earlier.pop_back();
    for (std::size_t cut = beforeLast; cut < text.size(); ++cut) {
        const JournalContents partial = ReadJournal(std::string_view(text).substr(0, cut));
        ASSERT_EQ(cellsOf(partial.rows), earlier) << "cut at " << cut;
        EXPECT_EQ(partial.whole, cut == beforeLast) << cut;
        EXPECT_EQ(partial.unsavedCount(), 0);
    }
    // A byte changed in the middle ends the reading there.
    std::string garbled = text;
    garbled[beforeLast + 40] ^= 1;
    EXPECT_EQ(cellsOf(ReadJournal(garbled).rows), earlier);
    EXPECT_FALSE(ReadJournal(garbled).whole);
}

TEST(ResultsJournal, WhatTheWindowShowsIsOnDiskAndAnUndoneRowIsSavedOnlyIfItWas)
{
    const test::TempFolder folder;
    ResultsTable table;
    ResultsModel model(table, folder.string());
    // Whoever shows a change finds it in the journal already.
    std::size_t shownRows = 0;
    QObject::connect(&model, &ResultsModel::changed, [&] {
        EXPECT_EQ(cellsOf(ReadJournal(onlyJournalIn(folder)).rows), cellsOf(table));
        ++shownRows;
    });
    model.add(analysed(10, "/scans/a.jpg"));
    model.add(analysed(20, "/scans/b.jpg"));
    model.markSaved();
    model.remove({2});
    model.markSaved(); // a table without row 2
    model.undo();
    EXPECT_EQ(shownRows, 4u);
    EXPECT_EQ(model.unsavedCount(), 1);
    EXPECT_EQ(ReadJournal(onlyJournalIn(folder)).unsavedCount(), 1);

    // A restore's records count all together: cut anywhere, none of them.
    const fs::path other = folder / "other";
    ResultsTable restored;
    {
        ResultsModel restoring(restored, other.string());
        restoring.restore(ReadJournal(onlyJournalIn(folder)));
    }
    const std::string text = onlyJournalIn(other);
    const std::size_t group = text.find("group\t");
    ASSERT_NE(group, std::string::npos);
    for (std::size_t cut = group; cut < text.size(); cut += 7)
        EXPECT_TRUE(ReadJournal(std::string_view(text).substr(0, cut)).rows.empty()) << cut;
    EXPECT_EQ(cellsOf(ReadJournal(text).rows), cellsOf(table));
}

TEST(ResultsJournal, OnlyJournalsOfWindowsThatAreGoneAreOffered)
{
    const test::TempFolder folder;
    ResultsTable running;
    ResultsModel live(running, folder.string());
    live.add(analysed(10, "/scans/live.jpg"));

    ResultsTable gone;
    {
        ResultsModel crashed(gone, folder.string());
        crashed.add(analysed(20, "/scans/a.jpg"));
        crashed.add(analysed(30, "/scans/b.jpg"));
    } // its window is gone, with rows unsaved: the journal stays, unlocked
    TableRow saved = analysed(40, "/scans/c.jpg");
    test::writeFile(folder / "saved.journal",
                    "KESTRA results journal 1\n" + RowRecord(saved) + SavedRecord({1}));
    test::writeFile(folder / "x.journal", "KESTRA results journal 1\nrow\tdamaged\n");

    std::vector<AbandonedJournal> found = FindAbandonedJournals(folder.string());
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(cellsOf(found[0].contents().rows), cellsOf(gone));
    EXPECT_EQ(found[0].contents().unsavedCount(), 2);
    // A second window starting now finds it taken.
    EXPECT_TRUE(FindAbandonedJournals(folder.string()).empty());

    const std::string aside = found[0].moveAside(".discarded");
    EXPECT_TRUE(aside.ends_with(".discarded"));
    EXPECT_TRUE(fs::exists(aside));
    // The saved one was removed, the unreadable one moved aside; the live one
    // is untouched.
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().extension().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{".discarded", ".journal", ".unreadable"}));
}

// The journal on a file system that fills up, in a child with a mount
// namespace of its own. What the child saw, or "skip: <reason>".
std::string fullDiskReport(const fs::path& folder)
{
    if (::unshare(CLONE_NEWNS) != 0)
        return std::string("skip: unshare: ") + std::strerror(errno);
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=64k") != 0)
        return std::string("skip: mount: ") + std::strerror(errno);
    ResultsTable table;
    std::string problem;
    int added = 0;
    {
        ResultsModel model(table, folder.string());
        while (model.journalProblem().isEmpty() && added < 1000) {
            model.add(analysed(10 + added, "/scans/leaf.jpg"));
            ++added;
        }
        problem = model.journalProblem().toStdString();
        model.add(analysed(5, "/scans/after.jpg"));
    }
    const JournalContents read = ReadJournal(onlyJournalIn(folder));
    return problem.substr(problem.rfind('.')) + "|" + std::to_string(table.ResultCount() - added) +
           "|" + std::to_string(added - static_cast<int>(read.rows.size())) + "|" +
           (read.whole ? "whole" : "damaged");
}

TEST(ResultsJournal, AFullDiskLeavesTheTableWorkingAndTheJournalWhole)
{
    const test::TempFolder folder;
    const std::string report = test::childReport([&] { return fullDiskReport(folder); });
    if (report.starts_with("skip:"))
        GTEST_SKIP() << report;
    // The message names the reason; the failed row and the one after are in
    // the table; the journal holds every row before the failure, whole.
    EXPECT_EQ(report, ". No space left on device|1|1|whole");
}
