#include "app/command/CommandOptions.h"

#include "app/scan/ScanMeasurement.h"
#include "measure/Analysis.h"
#include "measure/Error.h"
#include "measure/NumberText.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>

namespace kestra {

double DpiOption(const std::string& text)
{
    // "." always, as scripts write it; the locale's separator too, as the
    // window's DPI field takes it.
    std::optional<double> dpi = TextToNumber(text, ".");
    if (!dpi)
        dpi = TextToNumber(text, LocaleDecimalSeparator());
    if (!dpi || !(*dpi > 0.0))
        throw UsageError("--dpi takes a number greater than 0, not '" + text + "'");
    try {
        (void)SurfaceOfCount(0, *dpi);
    } catch (const Error& error) {
        throw UsageError("--dpi " + text + " gives no lengths: " + error.what());
    }
    return *dpi;
}

int UsageFailure(std::string_view command, const UsageError& error)
{
    const std::string name(command);
    std::fprintf(stderr, "kestra %s: %s\nTry 'kestra %s --help' for more.\n", name.c_str(),
                 error.what(), name.c_str());
    return UsageStatus;
}

int WriteToStandardOutput(std::string_view text)
{
    std::fwrite(text.data(), 1, text.size(), stdout);
    if (std::fflush(stdout) == 0 && std::ferror(stdout) == 0)
        return 0;
    std::fprintf(stderr, "kestra: standard output: Cannot write. %s\n", std::strerror(errno));
    return 1;
}

} // namespace kestra
