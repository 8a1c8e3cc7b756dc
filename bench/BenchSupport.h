#pragma once

// What the benchmarks that time a step beside a baseline share: a step's
// wall-clock time, and the leaf scans they open.
#include <chrono>

namespace bench {

template <typename Work> double secondsOf(Work&& work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

#ifdef KESTRA_LEAF_SCAN_300
inline const char* scanPath(long dpi)
{
    return dpi == 300 ? KESTRA_LEAF_SCAN_300 : KESTRA_LEAF_SCAN_1200;
}
#endif

} // namespace bench
