#include "app/command/ProgressLine.h"

#include <cmath>
#include <string>
#include <unistd.h>

namespace kestra {
namespace {

using Clock = std::chrono::steady_clock;

constexpr auto RedrawInterval = std::chrono::milliseconds(200);

std::string durationText(double seconds)
{
    const long whole = std::lround(seconds);
    if (whole < 60)
        return std::to_string(whole) + " s";
    if (whole < 3600)
        return std::to_string(whole / 60) + " min " + std::to_string(whole % 60) + " s";
    return std::to_string(whole / 3600) + " h " + std::to_string(whole / 60 % 60) + " min";
}

} // namespace

ProgressLine::ProgressLine(std::FILE* stream, long total)
    : stream_(stream), total_(total), onTerminal_(isatty(fileno(stream)) == 1),
      started_(Clock::now())
{}

ProgressLine::~ProgressLine()
{
    clear();
}

void ProgressLine::show(long done)
{
    lastDone_ = done;
    if (!onTerminal_)
        return;
    const Clock::time_point now = Clock::now();
    if (shown_ && done < total_ && now - drawn_ < RedrawInterval)
        return;
    drawn_ = now;
    draw(done);
}

void ProgressLine::say(std::string_view line)
{
    clear();
    std::fwrite(line.data(), 1, line.size(), stream_);
    std::fputc('\n', stream_);
    if (onTerminal_)
        draw(lastDone_);
    std::fflush(stream_);
}

void ProgressLine::draw(long done)
{
    if (!onTerminal_)
        return;
    const double seconds = std::chrono::duration<double>(Clock::now() - started_).count();
    // Not "\r" + std::to_string(...): that trips GCC 12's false -Wrestrict
    // warning at -O2.
    std::string text = "\r";
    text += std::to_string(done) + " of " + std::to_string(total_) + " scans";
    if (done > 0 && seconds > 0.0) {
        const double rate = done / seconds;
        char rateText[32];
        std::snprintf(rateText, sizeof rateText, ", %.1f scans/s", rate);
        text += rateText;
        if (done < total_)
            text += ", " + durationText((total_ - done) / rate) + " left";
    }
    // Erase what a longer line before left behind.
    text += "\x1b[K";
    std::fputs(text.c_str(), stream_);
    std::fflush(stream_);
    shown_ = true;
}

void ProgressLine::clear()
{
    if (!shown_)
        return;
    std::fputs("\r\x1b[K", stream_);
    std::fflush(stream_);
    shown_ = false;
}

} // namespace kestra
