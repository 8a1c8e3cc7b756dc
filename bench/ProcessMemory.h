#pragma once

// The process's resident memory and its peak, from /proc/self/status; the
// peak can be set back to what is resident now, so that one step's peak is
// read on its own.
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace bench {

// VmRSS or VmHWM, in bytes.
inline long long statusBytes(const char* key)
{
    std::FILE* status = std::fopen("/proc/self/status", "r");
    if (status == nullptr)
        return 0;
    char line[256];
    long long kilobytes = 0;
    const std::size_t length = std::strlen(key);
    while (std::fgets(line, sizeof line, status) != nullptr)
        if (std::strncmp(line, key, length) == 0 && line[length] == ':') {
            kilobytes = std::atoll(line + length + 1);
            break;
        }
    std::fclose(status);
    return kilobytes * 1024;
}

inline long long residentBytes()
{
    return statusBytes("VmRSS");
}

inline long long peakBytes()
{
    return statusBytes("VmHWM");
}

// Linux sets the peak back to the resident size on "5".
inline void resetPeak()
{
    if (std::FILE* refs = std::fopen("/proc/self/clear_refs", "w")) {
        std::fputs("5", refs);
        std::fclose(refs);
    }
}

// How far the resident size rises above where it stands while work runs.
template <typename Work> long long peakAbove(Work&& work)
{
    resetPeak();
    const long long before = residentBytes();
    work();
    return peakBytes() - before;
}

} // namespace bench
