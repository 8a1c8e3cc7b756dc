#include "app/command/MeasureCommand.h"

#include "FormFixture.h"
#include "app/SuggestionPoints.h"
#include "app/command/CommandLine.h"
#include "app/command/SuggestCommand.h"
#include "measure/Analysis.h"
#include "measure/ResultsExport.h"
#include "measure/Tps.h"
#include "picture/PictureBitmap.h"
#include "picture/PictureLoader.h"
#include "tests/picture/TestPictures.h"
#include "tools/JpegWriter.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPainter>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <sys/stat.h>

namespace {

struct CommandRun {
    int status = -1;
    QByteArray out;
    QStringList errorLines;
};

// A program, as a script on a compute node runs it: no display of any kind.
CommandRun runProgram(const QString& program, const QStringList& arguments,
                      const QString& locale = QStringLiteral("C"))
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(name));
    environment.insert(QStringLiteral("LC_ALL"), locale);
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    if (!process.waitForFinished(120'000)) {
        process.kill();
        process.waitForFinished();
        ADD_FAILURE() << program.toStdString() << " " << arguments.join(' ').toStdString()
                      << " did not end";
        return {};
    }
    CommandRun run;
    run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.errorLines =
        QString::fromLocal8Bit(process.readAllStandardError()).split(u'\n', Qt::SkipEmptyParts);
    return run;
}

// The real program.
CommandRun runKestra(const QStringList& arguments, const QString& locale = QStringLiteral("C"))
{
    return runProgram(QStringLiteral(KESTRA_EXECUTABLE), arguments, locale);
}

// The specimen `kestra suggest` writes for a scan, by the window's steps:
// the picture as opened at true colour, its 32-bit rows, the suggester.
std::string suggestedSpecimen(const QString& scan, int id, std::optional<double> dpi)
{
    kestra::LoadedPicture loaded = kestra::LoadPicture(scan, 24);
    kestra::PictureBitmap bitmap;
    bitmap.takeOver(std::move(loaded.image));
    const int width = bitmap.image().width();
    const int height = bitmap.image().height();
    const kestra::Landmarks found = kestra::SuggestLandmarks(bitmap.rgb32Rows());
    return kestra::TpsSpecimenText(kestra::SuggestionPoints(found, width, height, false), height,
                                   kestra::NameCell(scan.toStdString()), std::to_string(id), dpi);
}

// A specimen of 32 landmarks for the named picture (height 180), in TPS's
// bottom-up coordinates: most on the picture, two not placed, one right of it.
QString specimen(const QString& image, quint32 seed, const QString& scale = {})
{
    QRandomGenerator random(seed);
    QString text = QStringLiteral("LM=32\n");
    for (int n = 1; n <= 32; ++n) {
        if (n == 7 || n == 19)
            text += QStringLiteral("-1 -1\n");
        else if (n == 30)
            text += QStringLiteral("250 40\n");
        else
            text += QStringLiteral("%1 %2\n").arg(random.bounded(240)).arg(random.bounded(180));
    }
    if (!image.isEmpty())
        text += QStringLiteral("IMAGE=%1\n").arg(image);
    if (!scale.isEmpty())
        text += QStringLiteral("SCALE=%1\n").arg(scale);
    return text;
}

class MeasureCommandTest : public FormFixture {
protected:
    QString writeFile(const QString& name, const QByteArray& bytes)
    {
        QFile file(folder.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return file.fileName();
    }

    // The scans of every kind the window opens: 24-bit and palette bitmaps,
    // JPEG. The first is the largest, so that two jobs finish it last.
    QStringList writeScans()
    {
        const QImage picture = kestra::test::leafPicture();
        const QByteArray jpeg =
            kestra::WriteJpeg(picture.width(), picture.height(), 3, [&](int y, std::uint8_t* row) {
                for (int x = 0; x < picture.width(); ++x) {
                    const QRgb colour = picture.pixel(x, y);
                    row[3 * x] = static_cast<std::uint8_t>(qRed(colour));
                    row[3 * x + 1] = static_cast<std::uint8_t>(qGreen(colour));
                    row[3 * x + 2] = static_cast<std::uint8_t>(qBlue(colour));
                }
            });
        return {writePicture(QStringLiteral("leaf1.bmp"), kestra::test::leafPicture(8)),
                writeFile(QStringLiteral("leaf2.bmp"),
                          kestra::test::makeBmp(picture, 8, kestra::test::BmpHeader::Info40)),
                writeFile(QStringLiteral("leaf3.jpg"), jpeg)};
    }

    // The window's rows, each line as "Save ..." writes it, its number aside.
    [[nodiscard]] QStringList windowRows() const
    {
        QStringList rows;
        for (int row = 1; row <= form->state.Results.ResultCount(); ++row)
            rows.append(withoutNumber(kestra::ResultsRowText(form->state.Results, row)));
        return rows;
    }

    [[nodiscard]] static QString withoutNumber(const std::string& line)
    {
        return QString::fromStdString(line).section(u'\t', 1);
    }

    // The rows of a table as the command wrote it, numbers checked and cut off.
    [[nodiscard]] static QStringList commandRows(const QByteArray& table)
    {
        QStringList lines = QString::fromUtf8(table).split(QStringLiteral("\r\n"));
        EXPECT_EQ(lines.takeLast(), QString());
        EXPECT_EQ(lines.takeFirst().toStdString() + "\r\n",
                  kestra::ResultsRowText(kestra::ResultsTable(), 0));
        QStringList rows;
        for (const QString& line : lines) {
            EXPECT_EQ(line.section(u'\t', 0, 0), QString::number(rows.size() + 1));
            rows.append(line.section(u'\t', 1) + QStringLiteral("\r\n"));
        }
        return rows;
    }
};

TEST_F(MeasureCommandTest, RowsAreTheWindowsToTheByte)
{
    const QStringList scans = writeScans();
    QString landmarks;
    for (int n = 0; n < scans.size(); ++n)
        landmarks += specimen(QFileInfo(scans[n]).fileName(), static_cast<quint32>(n + 1));
    const QString tps = writeFile(QStringLiteral("placed.tps"), landmarks.toUtf8());

    // The window: open, Load landmarks, Analyze, at a DPI typed in the field.
    form->Edit1->setText(QStringLiteral("254"));
    for (const QString& scan : scans) {
        open(scan);
        choice = tps;
        QTest::keyClick(form.get(), Qt::Key_L, Qt::ControlModifier);
        form->Button12->click();
    }
    ASSERT_TRUE(boxes.empty()) << boxes.front().toStdString();
    const QStringList expected = windowRows();
    ASSERT_EQ(expected.size(), 3);

    // The resolution given on the command line, scans in any order, two jobs.
    CommandRun run = runKestra({QStringLiteral("measure"), QStringLiteral("--landmarks"), tps,
                                QStringLiteral("--dpi=254"), QStringLiteral("-j2"), scans[2],
                                scans[0], scans[1]});
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(run.errorLines.isEmpty()) << run.errorLines.join('\n').toStdString();
    EXPECT_EQ(commandRows(run.out), expected);

    // The resolution from the SCALE= that the window's own TPS file holds.
    const QString saved = folder.filePath(QStringLiteral("saved.tps"));
    choice = saved;
    QTest::keyClick(form.get(), Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
    const QString output = folder.filePath(QStringLiteral("table.txt"));
    run = runKestra({QStringLiteral("measure"), QStringLiteral("-l"), saved, QStringLiteral("-o"),
                     output, QStringLiteral("--jobs"), QStringLiteral("1"), scans[1], scans[2],
                     scans[0]});
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(run.out.isEmpty());
    QFile table(output);
    ASSERT_TRUE(table.open(QIODevice::ReadOnly));
    EXPECT_EQ(commandRows(table.readAll()), expected);

    // Under a decimal-comma locale, the numbers take the comma.
    run = runKestra({QStringLiteral("measure"), QStringLiteral("--landmarks"), saved, scans[0],
                     scans[1], scans[2]},
                    QStringLiteral("de_DE.UTF-8"));
    EXPECT_EQ(run.status, 0);
    const QStringList commaRows = commandRows(run.out);
    ASSERT_EQ(commaRows.size(), 3);
    for (int row = 0; row < 3; ++row)
        EXPECT_EQ(commaRows[row].section(u'\t', 1),
                  QString(expected[row].section(u'\t', 1)).replace(u'.', u','));
}

TEST_F(MeasureCommandTest, WhatCannotBeMeasuredIsSaidAndLeftOut)
{
    const QStringList scans = writeScans();
    const QString broken = writeFile(QStringLiteral("broken.jpg"), "not a JPEG at all");
    const QString unlisted = writeFile(QStringLiteral("unlisted.bmp"), "BM");
    ASSERT_TRUE(QDir(folder.path()).mkdir(QStringLiteral("other")));
    const QString namesake = folder.filePath(QStringLiteral("other/leaf2.bmp"));
    ASSERT_TRUE(QFile::copy(scans[1], namesake));
    const QString scale = QStringLiteral("0.1");
    const QString tps = writeFile(QStringLiteral("season.tps"),
                                  (specimen(QStringLiteral("leaf1.bmp"), 1, scale) +
                                   specimen(QStringLiteral("gone.bmp"), 2, scale) +
                                   specimen(QStringLiteral("broken.jpg"), 3, scale) +
                                   specimen(QStringLiteral("leaf3.jpg"), 4) +
                                   specimen(QStringLiteral("C:\\scans\\leaf2.bmp"), 5, scale) +
                                   specimen(QString(), 6, scale) +
                                   QStringLiteral("LM=3\n1 1\n2 2\n3 3\nIMAGE=leaf3.jpg\n") +
                                   specimen(QStringLiteral("leaf3.jpg"), 8, scale))
                                      .toUtf8());

    const CommandRun run = runKestra({QStringLiteral("measure"), QStringLiteral("--landmarks"), tps,
                                      scans[0], scans[1], scans[2], broken, unlisted, namesake});
    EXPECT_EQ(run.status, 1);
    const auto specimenLine = [&](int n, int line, const QString& why) {
        return QStringLiteral("kestra: %1: specimen %2 (line %3): %4")
            .arg(tps)
            .arg(n)
            .arg(line)
            .arg(why);
    };
    EXPECT_EQ(run.errorLines,
              QStringList({QStringLiteral("kestra: %1: The TPS file \"%2\" has no specimen for "
                                          "the picture \"unlisted.bmp\"")
                               .arg(unlisted, tps),
                           specimenLine(2, 36, "\"gone.bmp\" is not among the scans given"),
                           QStringLiteral("kestra: %1: JPEG error #53").arg(broken),
                           specimenLine(4, 106,
                                        "no SCALE= and no --dpi: the resolution of "
                                        "\"leaf3.jpg\" is unknown"),
                           specimenLine(5, 140,
                                        QStringLiteral("\"leaf2.bmp\" names 2 of the scans "
                                                       "given, and a TPS file tells pictures "
                                                       "apart by name only: %1, %2")
                                            .arg(scans[1], namesake)),
                           specimenLine(6, 175, "it names no picture (no IMAGE= line)"),
                           specimenLine(7, 209,
                                        QStringLiteral("The TPS file \"%1\" holds 3 landmarks a "
                                                       "specimen; KESTRA uses 32")
                                            .arg(tps))}))
        << run.errorLines.join('\n').toStdString();
    // The rest is measured, in the TPS file's order.
    const QStringList rows = commandRows(run.out);
    ASSERT_EQ(rows.size(), 2);
    EXPECT_TRUE(rows[0].startsWith(QStringLiteral("leaf1.bmp\t")));
    EXPECT_TRUE(rows[1].startsWith(QStringLiteral("leaf3.jpg\t")));

    // A table that cannot be written stops the run and says so.
    QStringList full = {QStringLiteral("-c"),
                        QStringLiteral("exec \"$0\" \"$@\" >/dev/full"),
                        QStringLiteral(KESTRA_EXECUTABLE),
                        QStringLiteral("measure"),
                        QStringLiteral("-l"),
                        tps,
                        scans[0]};
    QProcess shell;
    shell.start(QStringLiteral("/bin/sh"), full);
    ASSERT_TRUE(shell.waitForFinished(60'000));
    EXPECT_EQ(shell.exitCode(), 1);
    EXPECT_TRUE(shell.readAllStandardError().contains(
        "kestra: standard output: Cannot write. No space left on device"));

    // Usage errors: nothing measured, nothing written.
    const QString output = folder.filePath(QStringLiteral("table.txt"));
    const std::vector<std::pair<QStringList, QString>> usage = {
        {{}, QStringLiteral("no landmark file: give one with --landmarks FILE.tps")},
        {{QStringLiteral("--landmarks"), tps}, QStringLiteral("no scans to measure")},
        {{QStringLiteral("--frobnicate"), scans[0]},
         QStringLiteral("unknown option '--frobnicate'")},
        {{QStringLiteral("-l"), tps, QStringLiteral("--dpi"), QStringLiteral("0"), scans[0]},
         QStringLiteral("--dpi takes a number greater than 0, not '0'")},
        {{QStringLiteral("-l"), tps, QStringLiteral("--dpi=1e-300"), scans[0]},
         QStringLiteral("--dpi 1e-300 gives no lengths: Floating point overflow")},
        {{QStringLiteral("-l"), tps, QStringLiteral("-j"), QStringLiteral("many"), scans[0]},
         QStringLiteral("--jobs takes a whole number from 1 to 256, not 'many'")},
        {{QStringLiteral("-l"), QStringLiteral("--dpi"), QStringLiteral("300"), scans[0]},
         QStringLiteral("option '-l' needs a value")},
        {{QStringLiteral("-l"), tps, QStringLiteral("--landmarks=") + tps, scans[0]},
         QStringLiteral("option '--landmarks' given twice")},
        // A forgotten output name would put the table in place of a scan or
        // of the landmarks.
        {{QStringLiteral("-l"), tps, QStringLiteral("-o"), scans[2], scans[0]},
         QStringLiteral("--output %1 names a picture; the table is text (.txt)").arg(scans[2])},
        {{QStringLiteral("-l"), tps, QStringLiteral("-o"), tps, scans[0]},
         QStringLiteral("--output %1 is the landmark file").arg(tps)},
    };
    for (const auto& [arguments, message] : usage) {
        const CommandRun refused = runKestra(QStringList{QStringLiteral("measure")} + arguments);
        EXPECT_EQ(refused.status, 2) << arguments.join(' ').toStdString();
        EXPECT_TRUE(refused.out.isEmpty());
        EXPECT_EQ(refused.errorLines,
                  QStringList({QStringLiteral("kestra measure: ") + message,
                               QStringLiteral("Try 'kestra measure --help' for more.")}));
    }
    EXPECT_FALSE(QFile::exists(output));

    // A file that is not TPS: said, and no table at all.
    const CommandRun notTps =
        runKestra({QStringLiteral("measure"), QStringLiteral("-l"), broken, scans[0]});
    EXPECT_EQ(notTps.status, 1);
    EXPECT_TRUE(notTps.out.isEmpty());
    EXPECT_EQ(notTps.errorLines,
              QStringList(QStringLiteral("kestra: %1: The file \"%1\" is not a TPS file: line 1 "
                                         "reads \"not a JPEG at all\"")
                              .arg(broken)));
}

TEST_F(MeasureCommandTest, AnOutputThatIsNoRegularFileIsRefusedAtOnce)
{
    const QStringList scans = writeScans();
    const QString tps =
        writeFile(QStringLiteral("leaf.tps"),
                  specimen(QStringLiteral("leaf1.bmp"), 1, QStringLiteral("0.1")).toUtf8());
    // Opening a pipe to write would wait for a reader for ever.
    const QString pipe = folder.filePath(QStringLiteral("pipe"));
    ASSERT_EQ(mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    for (const QString& output : {pipe, folder.path()}) {
        const CommandRun run = runKestra({QStringLiteral("measure"), QStringLiteral("-l"), tps,
                                          QStringLiteral("--output"), output, scans[0]});
        EXPECT_EQ(run.status, 1);
        EXPECT_TRUE(run.out.isEmpty());
        EXPECT_EQ(run.errorLines, QStringList(QStringLiteral("kestra: %1: Cannot write file "
                                                             "\"%1\". Not a regular file")
                                                  .arg(output)));
    }
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files | QDir::System).size(), 5);
}

TEST_F(MeasureCommandTest, SuggestWritesTpsThatMeasureTakesFromAPipe)
{
    const QStringList scans = writeScans();
    const QString broken = writeFile(QStringLiteral("broken.jpg"), "not a JPEG at all");
    // Pixels per metre, as a scanner set to 300 dpi writes them.
    QImage declared = kestra::test::leafPicture();
    declared.setDotsPerMeterX(11811);
    declared.setDotsPerMeterY(11811);
    const QString at300 = writePicture(QStringLiteral("leaf300.bmp"), declared);

    // A bad scan is said and left out; SCALE= from --dpi.
    CommandRun run = runKestra({QStringLiteral("suggest"), QStringLiteral("--dpi"),
                                QStringLiteral("254"), scans[0], broken, scans[2]});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.errorLines,
              QStringList(QStringLiteral("kestra: %1: JPEG error #53").arg(broken)));
    EXPECT_EQ(run.out.toStdString(),
              suggestedSpecimen(scans[0], 1, 254) + suggestedSpecimen(scans[2], 2, 254));
    const QStringList lines = QString::fromUtf8(run.out).split(u'\n');
    ASSERT_EQ(lines.size(), 2 * 36 + 1);
    EXPECT_EQ(lines[0], "LM=32");
    const QRegularExpression coordinates(QStringLiteral("^(-1 -1|[0-9]+ [0-9]+)$"));
    for (int n = 1; n <= 32; ++n)
        EXPECT_TRUE(coordinates.match(lines[n]).hasMatch()) << lines[n].toStdString();
    // The free landmark is the user's choice, never suggested.
    EXPECT_EQ(lines[32], "-1 -1");
    EXPECT_EQ(lines.mid(33, 2), QStringList({"IMAGE=leaf1.bmp", "ID=1"}));
    EXPECT_EQ(lines.mid(69, 2), QStringList({"IMAGE=leaf3.jpg", "ID=2"}));
    // SCALE= as the window writes it for 254 dpi, which reads back as 254.
    for (const int line : {35, 71}) {
        ASSERT_TRUE(lines[line].startsWith("SCALE=")) << lines[line].toStdString();
        EXPECT_EQ(kestra::DpiOfScale(lines[line].mid(6).toStdString()), 254.0);
    }

    // Without --dpi, the resolution a scan declares when a scanner could
    // have been set to it; none for the screen's resolution that Qt writes
    // into a picture of unknown size.
    run = runKestra({QStringLiteral("suggest"), at300, scans[0]});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.toStdString(),
              suggestedSpecimen(at300, 1, 300) + suggestedSpecimen(scans[0], 2, std::nullopt));

    // Piped into measure, the rows of the same landmarks read from a file.
    const QString tps = writeFile(
        QStringLiteral("suggested.tps"),
        runKestra({QStringLiteral("suggest"), QStringLiteral("--dpi=254"), scans[0], scans[1]})
            .out);
    const CommandRun fromFile =
        runKestra({QStringLiteral("measure"), QStringLiteral("-l"), tps, scans[0], scans[1]});
    ASSERT_EQ(commandRows(fromFile.out).size(), 2);
    const CommandRun piped = runProgram(
        QStringLiteral("/bin/sh"),
        {QStringLiteral("-c"),
         QStringLiteral("\"$0\" suggest --dpi 254 \"$1\" \"$2\" | \"$0\" measure --landmarks - "
                        "\"$1\" \"$2\""),
         QStringLiteral(KESTRA_EXECUTABLE), scans[0], scans[1]});
    EXPECT_EQ(piped.status, 0);
    EXPECT_TRUE(piped.errorLines.isEmpty()) << piped.errorLines.join('\n').toStdString();
    EXPECT_EQ(piped.out, fromFile.out);

    const CommandRun refused = runKestra({QStringLiteral("suggest"), QStringLiteral("--mirror")});
    EXPECT_EQ(refused.status, 2);
    EXPECT_EQ(refused.errorLines,
              QStringList({QStringLiteral("kestra suggest: no scans to suggest landmarks for"),
                           QStringLiteral("Try 'kestra suggest --help' for more.")}));
    EXPECT_EQ(runKestra({QStringLiteral("suggest"), QStringLiteral("--help")}).out.toStdString(),
              kestra::SuggestHelp());
}

TEST_F(MeasureCommandTest, TheWindowTakesOneScanAndNoOtherWord)
{
    const auto scanOf = [](const QStringList& arguments) {
        return kestra::WindowScan(QStringList{QStringLiteral("kestra")} + arguments);
    };
    EXPECT_EQ(std::get<std::optional<QString>>(scanOf({})), std::nullopt);
    EXPECT_EQ(std::get<std::optional<QString>>(scanOf({QStringLiteral("leaf.jpg")})),
              QDir::current().absoluteFilePath(QStringLiteral("leaf.jpg")));
    EXPECT_EQ(std::get<std::optional<QString>>(
                  scanOf({QStringLiteral("--"), QStringLiteral("/scans/-odd.bmp")})),
              QStringLiteral("/scans/-odd.bmp"));
    for (const QStringList& arguments :
         {QStringList{QStringLiteral("--frobnicate")},
          QStringList{QStringLiteral("a.jpg"), QStringLiteral("b.jpg")},
          QStringList{QStringLiteral("mesure")}})
        EXPECT_EQ(std::get<int>(scanOf(arguments)), 2) << arguments.join(' ').toStdString();

    const CommandRun help = runKestra({QStringLiteral("--help")});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.startsWith("Usage: kestra [SCAN]\n"));
    EXPECT_EQ(runKestra({QStringLiteral("measure"), QStringLiteral("--help")}).out.toStdString(),
              kestra::MeasureHelp());
    EXPECT_EQ(runKestra({QStringLiteral("--version")}).out, "KESTRA v2.04\n");
}

} // namespace
