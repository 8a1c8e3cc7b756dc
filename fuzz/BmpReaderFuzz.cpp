// Feeds arbitrary bytes to the BMP reader, and whatever it accepts on through
// the markers and the 32-bit conversion, which meet every format it returns.
#include "measure/Error.h"
#include "measure/LeafSurface.h"
#include "picture/BmpReader.h"
#include "picture/PictureBitmap.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray file =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    try {
        kestra::PictureBitmap bitmap;
        bitmap.takeOver(kestra::ReadBmp(file));
        const QImage& picture = bitmap.image();
        kestra::Landmarks landmarks;
        landmarks.PointX[1] = picture.width() / 2;
        landmarks.PointY[1] = picture.height() / 2;
        landmarks.PointX[2] = picture.width() - 1;
        landmarks.PointY[2] = 2;
        bitmap.DrawMarkers(landmarks);
        (void)kestra::CountLeafPixels(bitmap.rgb32Rows());
    } catch (const kestra::Error&) {
    }
    return 0;
}
