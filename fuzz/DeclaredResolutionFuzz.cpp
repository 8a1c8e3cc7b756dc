// Feeds arbitrary bytes to both declared-resolution readers: neither may read
// outside the buffer, and whatever they declare must be a believable number.
#include "picture/DeclaredResolution.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const kestra::Declaration jpeg = kestra::ReadJpegDeclaration(data, size);
    const std::optional<double> bmp = kestra::ReadBmpDeclaredDpi(data, size);
    for (const std::optional<double>& dpi : {jpeg.dpi, bmp})
        if (dpi && !(*dpi >= 10.0 && *dpi <= 100000.0))
            std::abort();
    return 0;
}
