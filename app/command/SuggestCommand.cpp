#include "app/command/SuggestCommand.h"

#include "app/SuggestionPoints.h"
#include "app/command/CommandOptions.h"
#include "app/scan/ScanMeasurement.h"
#include "app/suggest/LandmarkSuggester.h"
#include "measure/Analysis.h"
#include "measure/DecimalText.h"
#include "measure/Error.h"
#include "measure/NumberText.h"
#include "measure/Tps.h"
#include "picture/DeclaredResolution.h"
#include "picture/PictureBitmap.h"
#include "picture/PictureLoader.h"

#include <QFile>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <optional>
#include <stdexcept>
#include <utility>

namespace kestra {
namespace {

constexpr int AllRead = 0;
constexpr int LeftOut = 1;

// What a display needs to show a JPEG in true colour, as `kestra measure`
// opens scans: no palette quantizing.
constexpr int TrueColourDepth = 24;

struct Options {
    std::optional<double> dpi;
    bool mirror = false;
    bool help = false;
    std::vector<std::string> scans;
};

Options parseOptions(const std::vector<std::string>& arguments)
{
    Options options;
    bool optionsEnded = false;
    bool dpiGiven = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (optionsEnded || argument == "-" || !argument.starts_with('-')) {
            options.scans.push_back(argument);
        } else if (argument == "--") {
            optionsEnded = true;
        } else if (argument == "-h" || argument == "--help") {
            options.help = true;
        } else if (argument == "--mirror") {
            options.mirror = true;
        } else if (argument == "--dpi" || argument.starts_with("--dpi=")) {
            if (dpiGiven)
                throw UsageError("option '--dpi' given twice");
            dpiGiven = true;
            std::string value;
            if (argument != "--dpi") {
                value = argument.substr(6);
            } else if (i + 1 == arguments.size() ||
                       (arguments[i + 1].starts_with('-') && arguments[i + 1] != "-")) {
                // An option in the value's place means the value was forgotten.
                throw UsageError("option '--dpi' needs a value");
            } else {
                value = arguments[++i];
            }
            options.dpi = DpiOption(value);
        } else {
            throw UsageError("unknown option '" + argument + "'");
        }
    }
    if (!options.help && options.scans.empty())
        throw UsageError("no scans to suggest landmarks for");
    return options;
}

// The resolution SCALE= states: the one given, else the one the file
// declares when a scanner could have been set to it. Cameras write 72 or 96
// knowing nothing of a leaf's size; a wrong SCALE= would scale every length
// that `kestra measure` takes from it, so those give none.
std::optional<double> scanDpi(const Options& options, std::optional<double> declared)
{
    if (options.dpi)
        return options.dpi;
    // A resolution that is no whole number is no scanner's setting.
    if (!declared || DeclaredValue(*declared) != std::round(*declared) ||
        IsDeviceDefaultDpi(*declared))
        return std::nullopt;
    const double dpi = DeclaredValue(*declared);
    if (!(dpi > 0.0))
        return std::nullopt;
    try {
        (void)SurfaceOfCount(0, dpi);
    } catch (const Error&) {
        return std::nullopt;
    }
    return dpi;
}

struct Suggested {
    Landmarks points;
    int height = 0;
    std::optional<double> dpi;
    bool damaged = false;
};

// Opens a scan as the window and `kestra measure` do, and suggests on its
// 32-bit rows.
Suggested suggestFor(const std::string& scan, const Options& options)
{
    LoadedPicture loaded = LoadPicture(QFile::decodeName(scan.c_str()), TrueColourDepth);
    PictureBitmap bitmap;
    bitmap.takeOver(std::move(loaded.image));
    const int width = bitmap.image().width();
    const int height = bitmap.image().height();
    const Landmarks found = SuggestLandmarks(bitmap.rgb32Rows());
    return {SuggestionPoints(found, width, height, options.mirror), height,
            scanDpi(options, loaded.declaredDpi), loaded.damaged};
}

void say(const std::string& file, const std::string& message)
{
    std::fprintf(stderr, "kestra: %s: %s\n", file.c_str(), message.c_str());
}

} // namespace

std::string SuggestHelp()
{
    return R"(Usage: kestra suggest [--dpi N] [--mirror] SCAN...

Suggests the landmarks of each scan (BMP or JPEG), as the window's "Suggest
landmarks" places them, and writes them as TPS to standard output: one
specimen per scan in the order given, "LM=32", 32 lines "x y" in pixels from
the picture's bottom-left corner, "-1 -1" for a landmark not suggested, then
IMAGE= the scan's file name, ID= the specimen's number and, when the
resolution is known, SCALE= (millimetres per pixel).

The halves are numbered clockwise round the leaf as the picture shows it:
with the apex up, P(9) to P(19) lie on the left.

A scan that does not open is said in one line on standard error and left
out; the others are still written.

Options:
      --dpi N     the scans' resolution, for SCALE=; without it, the
                  resolution a scan's file declares, when it is a whole
                  number other than a camera's 72 or 96
      --mirror    number the halves the other way round, as the window's
                  "Mirror suggestions"
  -h, --help      show this help and exit

Exit status: 0 when every scan was read, 1 when any was left out, 2 for a
usage error.

Example: measure a folder with no one at the window:
  kestra suggest --dpi 300 scans/*.jpg | kestra measure --landmarks - scans/*.jpg
)";
}

int RunSuggestCommand(const std::vector<std::string>& arguments)
{
    Options options;
    try {
        options = parseOptions(arguments);
    } catch (const UsageError& error) {
        return UsageFailure("suggest", error);
    }
    if (options.help)
        return WriteToStandardOutput(SuggestHelp());

    bool leftOut = false;
    int written = 0;
    for (const std::string& scan : options.scans) {
        std::optional<Suggested> suggested;
        try {
            suggested = suggestFor(scan, options);
        } catch (const std::bad_alloc&) {
            say(scan, "Out of memory");
        } catch (const std::exception& error) {
            say(scan, error.what());
        }
        if (!suggested) {
            leftOut = true;
            continue;
        }
        if (suggested->damaged)
            say(scan, "This JPEG file is damaged or incomplete: parts of the picture were filled "
                      "in by the decoder");
        const std::string text =
            TpsSpecimenText(suggested->points, suggested->height, NameCell(scan),
                            IntegerText(++written), suggested->dpi);
        if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size()) {
            say("standard output", std::string("Cannot write. ") + std::strerror(errno));
            return LeftOut;
        }
    }
    if (std::fflush(stdout) != 0) {
        say("standard output", std::string("Cannot write. ") + std::strerror(errno));
        return LeftOut;
    }
    return leftOut ? LeftOut : AllRead;
}

} // namespace kestra
