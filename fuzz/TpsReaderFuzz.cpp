// Feeds arbitrary text to the TPS reader, for a picture that the text may
// well name: the input's first byte picks the picture's height.
#include "measure/Error.h"
#include "measure/Tps.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const int height = size > 0 ? data[0] * 4 : 300;
    try {
        const kestra::Landmarks landmarks =
            kestra::ReadTpsLandmarks(text, "fuzz.tps", {"leaf.jpg", 1000, height});
        for (int n = 1; n <= kestra::LandmarkCount; ++n) {
            // What the reader hands out must be a whole pixel within reach.
            const double x = landmarks.PointX[n];
            const double y = landmarks.PointY[n];
            if (!(std::fabs(x) <= kestra::FarOutside && std::fabs(y) <= kestra::FarOutside) ||
                x != std::round(x) || y != std::round(y))
                __builtin_trap();
        }
    } catch (const kestra::Error&) {
    }
    return 0;
}
