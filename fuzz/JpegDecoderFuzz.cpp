// Feeds arbitrary bytes to the JPEG decoder at a true-colour and at a
// low-colour display depth, headers of any declared size included: the
// picture budget and the bound on scans keep every input within memory and
// time; pictures of up to a megapixel go on through the 32-bit widening.
#include "measure/Error.h"
#include "picture/JpegDecoder.h"
#include "picture/PictureMemory.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray file =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    try {
        (void)kestra::ReadJpegHeader(file.left(1024));
    } catch (const kestra::Error&) {
    }
    for (int depth : {24, 8}) {
        try {
            QImage picture = kestra::DecodeJpeg(file, depth).image;
            // Large pictures only widen the same rows again, slowly.
            if (qint64{picture.width()} * picture.height() <= 1 << 20)
                (void)kestra::WidenToRgb32(picture);
        } catch (const kestra::Error&) {
        }
    }
    return 0;
}
