#include "app/command/MeasureCommand.h"

#include "app/command/CommandOptions.h"
#include "app/command/ProgressLine.h"
#include "app/scan/ScanMeasurement.h"
#include "measure/Analysis.h"
#include "measure/DecimalText.h"
#include "measure/Error.h"
#include "measure/FileReplace.h"
#include "measure/NumberText.h"
#include "measure/ResultsExport.h"
#include "measure/Tps.h"
#include "picture/PictureLoader.h"
#include "picture/PictureMemory.h"

#include <QFile>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <new>
#include <optional>
#include <sched.h>
#include <set>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <variant>

namespace kestra {
namespace {

constexpr int Measured = 0;
constexpr int LeftOut = 1;
constexpr int MaxJobs = 256;

// The cores this process may run on, which on a compute node are those of
// its allocation, not all of the machine's.
int defaultJobs()
{
    cpu_set_t cores;
    if (sched_getaffinity(0, sizeof cores, &cores) == 0)
        return std::clamp(CPU_COUNT(&cores), 1, MaxJobs);
    return static_cast<int>(
        std::clamp(std::thread::hardware_concurrency(), 1U, static_cast<unsigned>(MaxJobs)));
}

struct Options {
    std::string landmarks;
    std::optional<double> dpi;
    std::optional<std::string> output;
    int jobs = defaultJobs();
    std::vector<std::string> scans;
    bool help = false;
};

int jobsOption(const std::string& text)
{
    int jobs = 0;
    const std::from_chars_result read =
        std::from_chars(text.data(), text.data() + text.size(), jobs);
    if (read.ec != std::errc() || read.ptr != text.data() + text.size() || jobs < 1 ||
        jobs > MaxJobs)
        throw UsageError("--jobs takes a whole number from 1 to " + std::to_string(MaxJobs) +
                         ", not '" + text + "'");
    return jobs;
}

Options parseOptions(const std::vector<std::string>& arguments)
{
    Options options;
    std::set<std::string> given;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (optionsEnded || argument == "-" || !argument.starts_with('-')) {
            options.scans.push_back(argument);
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        // --name=value, --name value, -xvalue and -x value.
        std::string name = argument;
        std::optional<std::string> value;
        if (argument.starts_with("--")) {
            if (const std::size_t equals = argument.find('='); equals != std::string::npos) {
                name = argument.substr(0, equals);
                value = argument.substr(equals + 1);
            }
        } else if (argument.size() > 2) {
            name = argument.substr(0, 2);
            value = argument.substr(2);
        }
        const auto takeValue = [&]() -> std::string {
            if (value)
                return *value;
            // An option in the value's place means the value was forgotten.
            if (i + 1 == arguments.size() ||
                (arguments[i + 1].starts_with('-') && arguments[i + 1] != "-"))
                throw UsageError("option '" + name + "' needs a value");
            return arguments[++i];
        };
        const std::string longName = name == "-h"   ? "--help"
                                     : name == "-l" ? "--landmarks"
                                     : name == "-o" ? "--output"
                                     : name == "-j" ? "--jobs"
                                                    : name;
        if (!given.insert(longName).second)
            throw UsageError("option '" + longName + "' given twice");
        if (longName == "--help" && !value)
            options.help = true;
        else if (longName == "--landmarks")
            options.landmarks = takeValue();
        else if (longName == "--dpi")
            options.dpi = DpiOption(takeValue());
        else if (longName == "--output")
            options.output = takeValue();
        else if (longName == "--jobs")
            options.jobs = jobsOption(takeValue());
        else
            throw UsageError("unknown option '" + argument + "'");
    }
    if (options.help)
        return options;
    if (options.landmarks.empty())
        throw UsageError("no landmark file: give one with --landmarks FILE.tps");
    if (options.scans.empty())
        throw UsageError("no scans to measure");
    if (options.output == "-")
        options.output.reset();
    if (options.output) {
        // A forgotten name after -o would otherwise take a scan's place, and
        // the table would replace the picture or the landmarks.
        if (IsScanName(QFile::decodeName(options.output->c_str())))
            throw UsageError("--output " + *options.output +
                             " names a picture; the table is text (.txt)");
        std::error_code error;
        for (const std::string& input : options.scans)
            if (std::filesystem::equivalent(*options.output, input, error))
                throw UsageError("--output " + *options.output + " is one of the scans");
        if (std::filesystem::equivalent(*options.output, options.landmarks, error))
            throw UsageError("--output " + *options.output + " is the landmark file");
    }
    return options;
}

// One specimen's way to its row: the scan and resolution it is measured at,
// or why it cannot be.
struct Job {
    std::size_t specimen = 0;
    std::string scan;
    double dpi = 0.0;
};

// What became of a specimen: its row, or the file to name and why not.
struct Failure {
    std::string file;
    std::string message;
};
using Outcome = std::variant<MeasuredRow, Failure>;

std::string specimenText(const TpsSpecimen& specimen, std::size_t index)
{
    return "specimen " + std::to_string(index + 1) + " (line " + IntegerText(specimen.line) + ")";
}

std::string quotedName(const TpsSpecimen& specimen)
{
    std::string quoted = "\"";
    quoted.append(PictureNameOf(specimen).value_or("")).append("\"");
    return quoted;
}

class MeasureRun {
public:
    MeasureRun(const Options& options, std::vector<TpsSpecimen> specimens)
        : options_(options), specimens_(std::move(specimens)),
          decimalSeparator_(LocaleDecimalSeparator())
    {}

    int run();

private:
    void planJobs();
    Outcome measure(const Job& job) const;
    void work();
    void take(Outcome outcome);
    void report(const std::string& file, const std::string& message);
    void note(const std::string& file, const std::string& message);
    void writeOut(const std::string& text);

    const Options& options_;
    const std::vector<TpsSpecimen> specimens_;
    const std::string decimalSeparator_;

    // A job, or the failure that stands in its place, a specimen each.
    std::vector<std::variant<Job, Failure>> plan_;
    std::vector<std::size_t> jobs_; // the specimens that have a job
    std::vector<std::optional<Outcome>> outcomes_;
    std::atomic<std::size_t> nextJob_ = 0;
    // Set once the table can no longer be written: no more scans are taken.
    std::atomic<bool> stopped_ = false;
    std::mutex mutex_;
    std::condition_variable finished_;
    long finishedCount_ = 0;

    std::optional<ProgressLine> progress_;
    ResultsTable table_;
    bool leftOut_ = false;
    bool writeFailed_ = false;
};

void MeasureRun::planJobs()
{
    // The scans by the name a TPS file knows them by; one given twice counts once.
    std::map<std::string, std::vector<std::string>> scansByName;
    for (const std::string& scan : options_.scans) {
        std::vector<std::string>& named = scansByName[NameCell(scan)];
        if (std::find(named.begin(), named.end(), scan) == named.end())
            named.push_back(scan);
    }
    std::map<std::string, bool> scanHasSpecimen;

    for (std::size_t index = 0; index < specimens_.size(); ++index) {
        const TpsSpecimen& specimen = specimens_[index];
        const std::optional<std::string> name = PictureNameOf(specimen);
        const auto found = name ? scansByName.find(*name) : scansByName.end();
        // "specimen 3 (line 71): ...": where in the TPS file, then why.
        const auto fail = [&](const std::string& why) {
            plan_.emplace_back(
                Failure{options_.landmarks, specimenText(specimen, index) + ": " + why});
        };
        if (found == scansByName.end()) {
            fail(name ? quotedName(specimen) + " is not among the scans given"
                      : "it names no picture (no IMAGE= line)");
            continue;
        }
        for (const std::string& scan : found->second)
            scanHasSpecimen[scan] = true;
        if (found->second.size() > 1) {
            std::string scans;
            for (const std::string& scan : found->second)
                scans += (scans.empty() ? "" : ", ") + scan;
            fail(quotedName(specimen) + " names " + std::to_string(found->second.size()) +
                 " of the scans given, and a TPS file tells pictures apart by name only: " + scans);
            continue;
        }
        try {
            CheckLandmarkCount(specimen, options_.landmarks);
        } catch (const Error& error) {
            fail(error.what());
            continue;
        }
        std::optional<double> dpi = options_.dpi;
        if (!dpi && !specimen.scale.empty())
            dpi = DpiOfScale(specimen.scale);
        if (dpi && !options_.dpi) {
            try {
                (void)SurfaceOfCount(0, *dpi);
            } catch (const Error& error) {
                fail("SCALE=" + specimen.scale + " gives no lengths: " + error.what());
                continue;
            }
        }
        if (!dpi) {
            fail((specimen.scale.empty()
                      ? "no SCALE= and no --dpi"
                      : "SCALE=" + specimen.scale + " is not a number greater than 0") +
                 ": the resolution of " + quotedName(specimen) + " is unknown");
            continue;
        }
        jobs_.push_back(index);
        plan_.emplace_back(Job{index, found->second.front(), *dpi});
    }

    for (const std::string& scan : options_.scans) {
        if (!scanHasSpecimen[scan]) {
            report(scan, NoSpecimenMessage(options_.landmarks, NameCell(scan)));
            scanHasSpecimen[scan] = true; // said once, also when given twice
        }
    }
}

Outcome MeasureRun::measure(const Job& job) const
{
    try {
        return MeasureScan(QFile::decodeName(job.scan.c_str()),
                           {specimens_[job.specimen], options_.landmarks}, job.dpi,
                           decimalSeparator_);
    } catch (const std::bad_alloc&) {
        return Failure{job.scan, "Out of memory"};
    } catch (const std::exception& error) {
        return Failure{job.scan, error.what()};
    } catch (...) {
        return Failure{job.scan, "Unknown error"};
    }
}

void MeasureRun::work()
{
    // Each scan takes the picture memory the job's previous scan let go,
    // already resident, instead of mapping and populating its own.
    const PictureMemory memory;
    for (std::size_t next; !stopped_ && (next = nextJob_++) < jobs_.size();) {
        const std::size_t specimen = jobs_[next];
        Outcome outcome = measure(std::get<Job>(plan_[specimen]));
        {
            const std::lock_guard lock(mutex_);
            outcomes_[specimen] = std::move(outcome);
            ++finishedCount_;
        }
        finished_.notify_all();
    }
}

void MeasureRun::report(const std::string& file, const std::string& message)
{
    leftOut_ = true;
    note(file, message);
}

void MeasureRun::note(const std::string& file, const std::string& message)
{
    const std::string line = "kestra: " + file + ": " + message;
    if (progress_) {
        progress_->say(line);
        return;
    }
    std::fprintf(stderr, "%s\n", line.c_str());
}

void MeasureRun::writeOut(const std::string& text)
{
    if (options_.output || writeFailed_)
        return;
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size()) {
        writeFailed_ = true;
        stopped_ = true;
        report("standard output", std::string("Cannot write. ") + std::strerror(errno));
    }
}

void MeasureRun::take(Outcome outcome)
{
    if (const auto* failure = std::get_if<Failure>(&outcome)) {
        report(failure->file, failure->message);
        return;
    }
    auto& measured = std::get<MeasuredRow>(outcome);
    const std::string scan = measured.row.measuredFrom.FileName;
    if (measured.damaged)
        note(scan, "This JPEG file is damaged or incomplete: parts of the picture were filled in "
                   "by the decoder, and the surface will count them");
    AppendRow(table_, std::move(measured.row));
    writeOut(ResultsRowText(table_, table_.ResultCount()));
}

int MeasureRun::run()
{
    planJobs();
    outcomes_.resize(specimens_.size());
    for (std::size_t index = 0; index < plan_.size(); ++index) {
        if (auto* failure = std::get_if<Failure>(&plan_[index]))
            outcomes_[index] = std::move(*failure);
    }

    // On a terminal that also shows the table, a progress line would run
    // into its rows.
    if (isatty(STDOUT_FILENO) != 1 || options_.output)
        progress_.emplace(stderr, static_cast<long>(jobs_.size()));
    writeOut(ResultsRowText(table_, 0));
    {
        // At most one picture a job is held at once; the rows wait for their
        // turn, since the table keeps the TPS file's order.
        const std::size_t workerCount =
            std::min(jobs_.size(), static_cast<std::size_t>(options_.jobs));
        std::vector<std::jthread> workers;
        try {
            for (std::size_t n = 0; n < workerCount; ++n)
                workers.emplace_back([this] { work(); });
        } catch (const std::system_error&) {
            // The jobs that did start share the scans; without any, this
            // thread measures them.
            if (workers.empty())
                work();
        }

        for (std::size_t index = 0; index < outcomes_.size() && !stopped_; ++index) {
            std::optional<Outcome> outcome;
            {
                std::unique_lock lock(mutex_);
                while (!outcomes_[index]) {
                    finished_.wait_for(lock, std::chrono::milliseconds(200));
                    const long done = finishedCount_;
                    lock.unlock();
                    if (progress_)
                        progress_->show(done);
                    lock.lock();
                }
                outcome = std::exchange(outcomes_[index], std::nullopt);
            }
            take(std::move(*outcome));
        }
        stopped_ = true;
    }
    progress_.reset();

    if (options_.output) {
        try {
            ExportResults(table_, *options_.output);
        } catch (const Error& error) {
            report(*options_.output, error.what());
        }
    } else {
        // A table without rows is saved with its one empty row.
        if (table_.ResultCount() == 0)
            writeOut(ResultsRowText(table_, 1));
        if (std::fflush(stdout) != 0 && !writeFailed_)
            report("standard output", std::string("Cannot write. ") + std::strerror(errno));
    }
    return leftOut_ ? LeftOut : Measured;
}

} // namespace

std::string MeasureHelp()
{
    return R"(Usage: kestra measure --landmarks FILE.tps [OPTION...] SCAN...

Measures scans from their landmarks in a TPS file, without the window, and
writes the results table as "Save ..." writes it: the head line, then one row
per specimen in the TPS file's order, numbered from 1, tab-separated, with the
locale's decimal separator.

Each specimen whose IMAGE= names one of the SCANs (by file name, as Load
landmarks matches) gives one row, the row that the window's Analyze gives after
opening the scan and loading the specimen's landmarks, crosses included. (Load
landmarks takes a picture's last specimen; here each specimen gives its row.) A scan that does
not open, a specimen without a scan or without a resolution, and a scan without
a specimen are each said in one line on standard error and left out; the other
rows are still written.

Options:
  -l, --landmarks FILE  the TPS file that holds the landmarks (required); -
                        reads it from standard input, as 'kestra suggest'
                        writes it
      --dpi N           measure every scan at N dots per inch; without it, each
                        specimen's SCALE= gives its resolution (25.4 / SCALE)
  -o, --output FILE     write the table to FILE, replaced only once it is
                        complete, as "Save ..." does; standard output without
                        it or with -
  -j, --jobs N          measure N scans at once (default: the number of cores)
  -h, --help            show this help and exit

When standard error is a terminal and the table does not go to one, it shows
how many scans are done, the rate and the time left.

Exit status: 0 when every specimen and scan was measured, 1 when anything was
left out, 2 for a usage error.

Example: the scanner was set to 600 dpi, not 300; measure the season again:
  kestra measure --landmarks season.tps --dpi 600 -o season-600dpi.txt scans/*.jpg
)";
}

int RunMeasureCommand(const std::vector<std::string>& arguments)
{
    Options options;
    try {
        options = parseOptions(arguments);
    } catch (const UsageError& error) {
        return UsageFailure("measure", error);
    }
    if (options.help)
        return WriteToStandardOutput(MeasureHelp());

    std::vector<TpsSpecimen> specimens;
    try {
        // An output that cannot be written is said before an hour of measuring.
        if (options.output)
            CheckReplaceable(*options.output);
    } catch (const Error& error) {
        std::fprintf(stderr, "kestra: %s: %s\n", options.output->c_str(), error.what());
        return LeftOut;
    }
    try {
        // "-" is standard input, as `kestra suggest` pipes its landmarks in;
        // messages name it so.
        const bool piped = options.landmarks == "-";
        if (piped)
            options.landmarks = "standard input";
        specimens = ReadTpsSpecimens(
            piped ? ReadTpsStandardInput() : ReadTpsFile(options.landmarks), options.landmarks);
    } catch (const Error& error) {
        std::fprintf(stderr, "kestra: %s: %s\n", options.landmarks.c_str(), error.what());
        return LeftOut;
    }
    return MeasureRun(options, std::move(specimens)).run();
}

} // namespace kestra
