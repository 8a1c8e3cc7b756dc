#pragma once

#include <chrono>
#include <cstdio>
#include <string_view>

namespace kestra {

// A line on a terminal that says how far a long run has come: done of all,
// the rate and the time left. It writes nothing when its stream is not a
// terminal, so that logs and pipes get only what matters.
class ProgressLine {
public:
    ProgressLine(std::FILE* stream, long total);
    ~ProgressLine();
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    // Shows the count of scans done, at most a few times a second.
    void show(long done);

    // Writes a line of its own above the progress line.
    void say(std::string_view line);

private:
    void draw(long done);
    void clear();

    std::FILE* stream_;
    long total_;
    bool onTerminal_;
    bool shown_ = false;
    long lastDone_ = 0;
    std::chrono::steady_clock::time_point started_;
    std::chrono::steady_clock::time_point drawn_;
};

} // namespace kestra
