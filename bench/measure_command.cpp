// `kestra measure` over A4 pages scanned at 300 dpi as JPEG, run as the built
// executable in a child process with its table going to /dev/null. The scans
// are names linked to one drawn scan, each with its specimen of 32 landmarks
// in a TPS file.
//
// MeasureScans, 24 scans: --jobs 2 against --jobs 1 (speedup, goal 1.7 on two
// cores), and --jobs 1 a scan against a bare open and count of the same scans
// in this process, LoadPicture, the 32-bit rows and the leaf count (ratio,
// goal 1.15). MeasurePeak, 200 scans with --jobs 2: the child's peak memory
// against one 32-bit picture (peak_ratio), and against the goal of two such
// pictures and 50 MB (peak_to_goal, goal 1). jobs2_cpus, the processor time
// of the --jobs 2 run over its wall time, tells a busy machine from a command
// that does not scale.
//
// MeasureReuse, 200 scans: what each job of the command does for a scan
// (MeasureScan) on one thread, with the job's picture memory kept from one
// scan to the next as the command keeps it (reused_ms) against each picture
// having its memory anew (fresh_ms), and anew the plain way, a page fault at
// each page's first touch (plain_ms); speedup is fresh over reused,
// plain_speedup plain over reused.
#include "BenchSupport.h"
#include "ProcessMemory.h"
#include "app/scan/ScanMeasurement.h"
#include "measure/LeafSurface.h"
#include "measure/Tps.h"
#include "picture/PictureBitmap.h"
#include "picture/PictureLoader.h"
#include "picture/PictureMemory.h"

#include <QTemporaryDir>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <optional>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace {

using bench::secondsOf;

constexpr int ScanCount = 24;
constexpr int PeakScanCount = 200;
constexpr double Megabyte = 1e6;

// Where the drawn leaf's petiole junction lies on the page, and its height, in
// pixels from the top; the landmarks ring it as a user's would.
constexpr double JunctionX = 1000;
constexpr double JunctionY = 1120;
constexpr double PageHeight = 3508;

// The names the runs measure, in a folder of their own: links to the one
// drawn scan, so that the measuring side and the bare side read the same
// cached file. The TPS files hold one specimen a name, for the first 24 and
// for all 200.
class ScanSet {
public:
    static const ScanSet& get()
    {
        static const ScanSet set;
        return set;
    }

    [[nodiscard]] std::vector<std::string> scans(int count) const
    {
        return {scans_.begin(), scans_.begin() + count};
    }

    [[nodiscard]] std::string landmarks(int count) const
    {
        return path("scans-" + std::to_string(count) + ".tps");
    }

    [[nodiscard]] std::string path(const std::string& name) const
    {
        return (folder_.path() + '/').toStdString() + name;
    }

private:
    ScanSet()
    {
        if (!folder_.isValid())
            throw std::runtime_error("no temporary folder for the scans: " +
                                     folder_.errorString().toStdString());
        for (int n = 1; n <= PeakScanCount; ++n) {
            char name[16];
            std::snprintf(name, sizeof name, "scan-%03d.jpg", n);
            scans_.push_back(path(name));
            // A hard link when the temporary folder shares the build tree's file system.
            std::error_code error;
            std::filesystem::create_hard_link(KESTRA_LEAF_SCAN_JPEG, scans_.back(), error);
            if (error)
                std::filesystem::create_symlink(KESTRA_LEAF_SCAN_JPEG, scans_.back());
        }
        writeLandmarks(ScanCount);
        writeLandmarks(PeakScanCount);
    }

    void writeLandmarks(int count) const
    {
        std::ofstream tps(landmarks(count));
        for (int n = 1; n <= count; ++n) {
            tps << "LM=32\n";
            for (int k = 0; k < 32; ++k) {
                const double angle = 2 * std::numbers::pi * k / 32;
                tps << std::lround(JunctionX + 700 * std::cos(angle)) << ' '
                    << std::lround(PageHeight - JunctionY - 700 * std::sin(angle)) << '\n';
            }
            tps << "IMAGE=" << std::filesystem::path(scans_[n - 1]).filename().string() << '\n'
                << "ID=" << n << '\n'
                << "SCALE=0.08466666666666667\n";
        }
    }

    QTemporaryDir folder_;
    std::vector<std::string> scans_;
};

struct ChildRun {
    double seconds = 0;
    double cpuSeconds = 0; // user and system, all threads
    long long peakBytes = 0;
    std::string failure; // empty when the run measured every scan
};

// One run of the executable, timed from spawn to reaping. The child's peak
// comes from its rusage; exec hands the child the peak of the memory it
// leaves, which after posix_spawn is this process's, so that peak is first
// set back to what is resident now, far below any picture.
ChildRun runKestra(const std::vector<std::string>& arguments)
{
    const std::string errors = ScanSet::get().path("stderr.txt");
    std::vector<char*> argv{const_cast<char*>(KESTRA_EXECUTABLE)};
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);

    ChildRun run;
    bench::resetPeak();
    int status = 0;
    rusage usage{};
    run.seconds = secondsOf([&] {
        pid_t child = 0;
        if (posix_spawn(&child, KESTRA_EXECUTABLE, &actions, nullptr, argv.data(), environ) != 0)
            status = -1;
        else if (wait4(child, &status, 0, &usage) != child)
            status = -1;
    });
    posix_spawn_file_actions_destroy(&actions);
    const auto seconds = [](const timeval& time) {
        return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) * 1e-6;
    };
    run.cpuSeconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
    run.peakBytes = static_cast<long long>(usage.ru_maxrss) * 1024;
    if (status != 0) {
        std::ostringstream said;
        said << "kestra " << arguments.front();
        if (status == -1)
            said << " did not start";
        else if (WIFEXITED(status))
            said << " ended with status " << WEXITSTATUS(status) << ": "
                 << std::ifstream(errors).rdbuf();
        else
            said << " was killed by signal " << WTERMSIG(status);
        run.failure = said.str();
    }
    return run;
}

ChildRun measureScans(int count, int jobs)
{
    const ScanSet& set = ScanSet::get();
    std::vector<std::string> arguments{"measure", "--landmarks", set.landmarks(count), "--jobs",
                                       std::to_string(jobs)};
    for (std::string& scan : set.scans(count))
        arguments.push_back(std::move(scan));
    return runKestra(arguments);
}

// The bare side: the open and the leaf count that measuring a scan cannot do
// without. Gives the picture's size at 32 bits a pixel too.
std::uint64_t openAndCount(const std::string& scan, double& picture32)
{
    kestra::PictureBitmap bitmap;
    bitmap.takeOver(kestra::LoadPicture(QString::fromStdString(scan), 24).image);
    const std::uint64_t count = kestra::CountLeafPixels(bitmap.rgb32Rows());
    picture32 = static_cast<double>(bitmap.image().sizeInBytes());
    return count;
}

void MeasureScans(benchmark::State& state)
{
    const std::vector<std::string> scans = ScanSet::get().scans(ScanCount);
    // The executable's pages are read before any run is timed.
    if (const ChildRun warm = runKestra({"--version"}); !warm.failure.empty()) {
        state.SkipWithError(warm.failure.c_str());
        return;
    }
    double bare = 0;
    double jobs1 = 0;
    double jobs2 = 0;
    double jobs2Cpu = 0;
    double picture32 = 0;
    for (auto _ : state) {
        bare += secondsOf([&] {
            for (const std::string& scan : scans)
                benchmark::DoNotOptimize(openAndCount(scan, picture32));
        });
        const ChildRun one = measureScans(ScanCount, 1);
        const ChildRun two = measureScans(ScanCount, 2);
        if (!one.failure.empty() || !two.failure.empty()) {
            state.SkipWithError((one.failure + two.failure).c_str());
            return;
        }
        jobs1 += one.seconds;
        jobs2 += two.seconds;
        jobs2Cpu += two.cpuSeconds;
        state.SetIterationTime(two.seconds);
    }
    const double scanRuns = static_cast<double>(state.iterations()) * ScanCount;
    state.counters["bare_ms"] = bare / scanRuns * 1e3;
    state.counters["jobs1_ms"] = jobs1 / scanRuns * 1e3;
    state.counters["jobs2_ms"] = jobs2 / scanRuns * 1e3;
    state.counters["speedup"] = jobs1 / jobs2;
    state.counters["ratio"] = jobs1 / bare;
    // Below 2, the cores the --jobs 2 run had to itself on a shared machine.
    state.counters["jobs2_cpus"] = jobs2Cpu / jobs2;
    state.counters["picture32_MB"] = picture32 / Megabyte;
}

void MeasurePeak(benchmark::State& state)
{
    constexpr int Jobs = 2;
    double picture32 = 0;
    benchmark::DoNotOptimize(openAndCount(ScanSet::get().scans(1).front(), picture32));
    double peak = 0;
    double seconds = 0;
    for (auto _ : state) {
        const ChildRun run = measureScans(PeakScanCount, Jobs);
        if (!run.failure.empty()) {
            state.SkipWithError(run.failure.c_str());
            return;
        }
        peak = std::max(peak, static_cast<double>(run.peakBytes));
        seconds += run.seconds;
        state.SetIterationTime(run.seconds);
    }
    state.counters["jobs2_ms"] =
        seconds / (static_cast<double>(state.iterations()) * PeakScanCount) * 1e3;
    state.counters["picture32_MB"] = picture32 / Megabyte;
    state.counters["peak_MB"] = peak / Megabyte;
    state.counters["peak_ratio"] = peak / picture32;
    state.counters["peak_to_goal"] = peak / (Jobs * picture32 + 50 * Megabyte);
}

// The scans measured one after another as one job of the command measures
// them, the job's picture memory kept or not.
double measureInProcess(const std::vector<kestra::TpsSpecimen>& specimens,
                        const std::string& landmarks, bool keepMemory)
{
    std::optional<kestra::PictureMemory> memory;
    if (keepMemory)
        memory.emplace();
    const std::vector<std::string> scans = ScanSet::get().scans(PeakScanCount);
    return secondsOf([&] {
        for (std::size_t n = 0; n < scans.size(); ++n)
            benchmark::DoNotOptimize(kestra::MeasureScan(QString::fromStdString(scans[n]),
                                                         {specimens[n], landmarks}, 300.0, ".")
                                         .damaged);
    });
}

void MeasureReuse(benchmark::State& state)
{
    const std::string landmarks = ScanSet::get().landmarks(PeakScanCount);
    const std::vector<kestra::TpsSpecimen> specimens =
        kestra::ReadTpsSpecimens(kestra::ReadTpsFile(landmarks), landmarks);
    double reused = 0;
    double fresh = 0;
    double plain = 0;
    // The plain way last: memory faulted in and freed page by page leaves
    // the machine slower to hand out huge pages for a while.
    for (auto _ : state) {
        const double seconds = measureInProcess(specimens, landmarks, true);
        reused += seconds;
        state.SetIterationTime(seconds);
        fresh += measureInProcess(specimens, landmarks, false);
        const kestra::PictureMemoryWay before =
            kestra::UsePictureMemoryWay(kestra::PictureMemoryWay::Plain);
        plain += measureInProcess(specimens, landmarks, false);
        kestra::UsePictureMemoryWay(before);
    }
    const double scanRuns = static_cast<double>(state.iterations()) * PeakScanCount;
    state.counters["fresh_ms"] = fresh / scanRuns * 1e3;
    state.counters["reused_ms"] = reused / scanRuns * 1e3;
    state.counters["plain_ms"] = plain / scanRuns * 1e3;
    state.counters["speedup"] = fresh / reused;
    state.counters["plain_speedup"] = plain / reused;
}

} // namespace

BENCHMARK(MeasureScans)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(MeasurePeak)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(MeasureReuse)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
