#pragma once

#include "measure/Error.h"
#include "measure/Landmarks.h"

#include <array>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <initializer_list>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <tuple>
#include <unistd.h>
#include <utility>

namespace kestra::test {

// A file's bytes, whole; empty when it cannot be read.
inline std::string readFile(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

inline void writeFile(const std::filesystem::path& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

// Landmarks with the given (index, x, y) placed, every other one at (0, 0).
inline Landmarks landmarksAt(std::initializer_list<std::tuple<int, double, double>> points)
{
    Landmarks landmarks;
    for (const auto& [index, x, y] : points) {
        landmarks.PointX[index] = x;
        landmarks.PointY[index] = y;
    }
    return landmarks;
}

// The message of the Error that work throws, or `passed` when it throws none.
template <class Work> std::string errorOf(Work&& work, std::string passed = {})
{
    try {
        std::forward<Work>(work)();
    } catch (const Error& error) {
        return error.what();
    }
    return passed;
}

// The number of entries in a folder, subfolders' contents not counted.
inline std::size_t entryCount(const std::filesystem::path& folder)
{
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(folder),
                                                  std::filesystem::directory_iterator()));
}

// An empty folder of the running test's own, named after it and the
// process; removed with its contents at the end, whatever permissions the
// test left on it.
class TempFolder : public std::filesystem::path {
public:
    TempFolder()
        : path(std::filesystem::temp_directory_path() /
               ("kestra-" + std::to_string(::getpid()) + "-" +
                testing::UnitTest::GetInstance()->current_test_info()->test_suite_name() + "-" +
                testing::UnitTest::GetInstance()->current_test_info()->name()))
    {
        std::filesystem::remove_all(*this);
        std::filesystem::create_directories(*this);
    }
    ~TempFolder()
    {
        std::error_code ignored;
        std::filesystem::permissions(*this, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(*this, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
};

// What work, run in a child process, reports: for a case that changes the
// process for good, such as a mount namespace of its own. Whatever it throws
// is reported as "unexpected: <what>".
template <class Work> std::string childReport(Work&& work)
{
    std::array<int, 2> channel{};
    if (::pipe(channel.data()) != 0)
        return "unexpected: no pipe";
    const pid_t child = ::fork();
    if (child < 0)
        return "unexpected: no child";
    if (child == 0) {
        ::close(channel[0]);
        std::string report;
        try {
            report = work();
        } catch (const std::exception& error) {
            report = std::string("unexpected: ") + error.what();
        }
        (void)!::write(channel[1], report.data(), report.size());
        ::_exit(0);
    }
    ::close(channel[1]);
    std::string report;
    std::array<char, 512> piece{};
    for (ssize_t got; (got = ::read(channel[0], piece.data(), piece.size())) > 0;)
        report.append(piece.data(), static_cast<std::size_t>(got));
    ::close(channel[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return report;
}

} // namespace kestra::test
