#include "TestPictures.h"

#include "tools/JpegWriter.h"

#include <QPainter>
#include <cstdlib>
#include <stdexcept>
#include <vector>

namespace kestra::test {
namespace {

void append16(QByteArray& out, std::uint32_t value)
{
    out.append(static_cast<char>(value & 0xFF));
    out.append(static_cast<char>(value >> 8 & 0xFF));
}

void append32(QByteArray& out, std::uint32_t value)
{
    append16(out, value & 0xFFFF);
    append16(out, value >> 16);
}

std::uint32_t packed(QRgb colour, const std::array<std::uint32_t, 3>& masks)
{
    std::uint32_t pixel = 0;
    const int channels[3] = {qRed(colour), qGreen(colour), qBlue(colour)};
    for (int i = 0; i < 3; ++i) {
        const std::uint32_t mask = masks[i];
        if (mask == 0)
            continue;
        const int shift = __builtin_ctz(mask);
        const std::uint32_t maximum = mask >> shift;
        pixel |= (channels[i] * maximum + 127) / 255 << shift;
    }
    return pixel;
}

QByteArray finish(int headerSize, int width, int height, int bitCount, std::uint32_t compression,
                  const std::array<std::uint32_t, 3>& masks, bool masksAfterHeader,
                  const QList<QRgb>& palette, const QByteArray& pixels)
{
    const bool core = headerSize == 12;
    QByteArray info;
    append32(info, static_cast<std::uint32_t>(headerSize));
    if (core) {
        append16(info, static_cast<std::uint32_t>(width));
        append16(info, static_cast<std::uint32_t>(height));
        append16(info, 1);
        append16(info, static_cast<std::uint32_t>(bitCount));
    } else {
        append32(info, static_cast<std::uint32_t>(width));
        append32(info, static_cast<std::uint32_t>(height));
        append16(info, 1);
        append16(info, static_cast<std::uint32_t>(bitCount));
        append32(info, compression);
        append32(info, static_cast<std::uint32_t>(pixels.size()));
        append32(info, 2835);
        append32(info, 2835);
        append32(info, static_cast<std::uint32_t>(palette.size()));
        append32(info, 0);
        if (headerSize > 40)
            for (std::uint32_t mask : masks)
                append32(info, mask);
        info.append(headerSize - info.size(), '\0');
    }
    if (masksAfterHeader)
        for (std::uint32_t mask : masks)
            append32(info, mask);
    for (QRgb colour : palette) {
        info.append(static_cast<char>(qBlue(colour)));
        info.append(static_cast<char>(qGreen(colour)));
        info.append(static_cast<char>(qRed(colour)));
        if (!core)
            info.append('\0');
    }
    QByteArray file("BM");
    append32(file, static_cast<std::uint32_t>(14 + info.size() + pixels.size()));
    append32(file, 0);
    append32(file, static_cast<std::uint32_t>(14 + info.size()));
    return file + info + pixels;
}

} // namespace

QByteArray makeBmp(const QImage& picture, int bitCount, BmpHeader header, bool topDown,
                   std::array<std::uint32_t, 3> masks)
{
    const QImage source = picture.convertToFormat(QImage::Format_RGB32);
    const int headerSizes[] = {12, 40, 108, 124};
    const int headerSize = headerSizes[static_cast<int>(header)];
    const bool bitFields = masks != std::array<std::uint32_t, 3>{};
    if (!bitFields)
        masks = bitCount == 16 ? std::array<std::uint32_t, 3>{0x7C00, 0x03E0, 0x001F}
                               : std::array<std::uint32_t, 3>{0xFF0000, 0xFF00, 0xFF};
    QList<QRgb> palette;
    if (bitCount <= 8) {
        for (int y = 0; y < source.height(); ++y)
            for (int x = 0; x < source.width(); ++x)
                if (!palette.contains(source.pixel(x, y)))
                    palette.append(source.pixel(x, y));
        if (palette.size() > (1 << bitCount))
            throw std::invalid_argument("too many colours for the depth");
        if (headerSize == 12)
            palette.resize(1 << bitCount, qRgb(0, 0, 0));
    }
    const int stride = (source.width() * bitCount + 31) / 32 * 4;
    QByteArray pixels;
    for (int row = 0; row < source.height(); ++row) {
        const int y = topDown ? row : source.height() - 1 - row;
        QByteArray line(stride, '\0');
        auto* out = reinterpret_cast<std::uint8_t*>(line.data());
        for (int x = 0; x < source.width(); ++x) {
            const QRgb colour = source.pixel(x, y);
            if (bitCount <= 8) {
                const int index = static_cast<int>(palette.indexOf(colour));
                const int bit = x * bitCount;
                out[bit / 8] |= static_cast<std::uint8_t>(index << (8 - bitCount - bit % 8));
            } else {
                const std::uint32_t pixel =
                    bitCount == 24 ? colour & 0xFFFFFF : packed(colour, masks);
                for (int i = 0; i < bitCount / 8; ++i)
                    out[x * bitCount / 8 + i] = static_cast<std::uint8_t>(pixel >> 8 * i);
            }
        }
        pixels += line;
    }
    const int height = topDown ? -source.height() : source.height();
    return finish(headerSize, source.width(), height, bitCount, bitFields ? 3 : 0, masks,
                  bitFields && headerSize == 40, palette, pixels);
}

QByteArray makeRleBmp(int width, int height, int bitCount, const QList<QRgb>& palette,
                      const QByteArray& data)
{
    return finish(40, width, height, bitCount, bitCount == 8 ? 1 : 2, {}, false, palette, data);
}

void put16(QByteArray& file, int offset, std::uint16_t value)
{
    file[offset] = static_cast<char>(value & 0xFF);
    file[offset + 1] = static_cast<char>(value >> 8);
}

void put32(QByteArray& file, int offset, std::uint32_t value)
{
    put16(file, offset, static_cast<std::uint16_t>(value & 0xFFFF));
    put16(file, offset + 2, static_cast<std::uint16_t>(value >> 16));
}

QByteArray makeScanBomb(int width, int height, int scans)
{
    const QByteArray file = WriteJpeg(
        width, height, 1,
        [width](int, std::uint8_t* row) { std::fill(row, row + width, std::uint8_t{128}); },
        {.progressive = true});
    const QByteArray sos("\xFF\xDA", 2);
    const int written = static_cast<int>(file.count(sos));

    // A scan runs from its marker to the next marker that is not a stuffed
    // 0xFF byte or a restart marker.
    const qsizetype first = file.indexOf(sos);
    const qsizetype second = file.indexOf(sos, first + 2);
    qsizetype end = second + 2;
    while (!(file[end] == '\xFF' && file[end + 1] != '\0' &&
             (static_cast<std::uint8_t>(file[end + 1]) & 0xF8) != 0xD0))
        ++end;
    const QByteArray scan = file.mid(second, end - second);
    QByteArray bomb = file.left(file.size() - 2); // without the end-of-image marker
    for (int i = written; i < scans; ++i)
        bomb += scan;
    return bomb + QByteArray("\xFF\xD9", 2);
}

bool near(QRgb actual, QRgb expected, int tolerance)
{
    return std::abs(qRed(actual) - qRed(expected)) <= tolerance &&
           std::abs(qGreen(actual) - qGreen(expected)) <= tolerance &&
           std::abs(qBlue(actual) - qBlue(expected)) <= tolerance;
}

std::string colourDifference(const QImage& actual, const QImage& expected, int tolerance)
{
    const QImage a = actual.convertToFormat(QImage::Format_RGB32);
    const QImage b = expected.convertToFormat(QImage::Format_RGB32);
    if (a.size() != b.size())
        return "size " + std::to_string(a.width()) + "x" + std::to_string(a.height()) +
               " instead of " + std::to_string(b.width()) + "x" + std::to_string(b.height());
    int count = 0;
    std::string first;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (!near(a.pixel(x, y), b.pixel(x, y), tolerance) && count++ == 0)
                first = "at " + std::to_string(x) + "," + std::to_string(y) + ": " +
                        QString::number(a.pixel(x, y), 16).toStdString() + " instead of " +
                        QString::number(b.pixel(x, y), 16).toStdString();
    return count == 0 ? std::string() : std::to_string(count) + " pixels differ, first " + first;
}

QImage leafPicture(int scale)
{
    QImage picture(240 * scale, 180 * scale, QImage::Format_RGB32);
    picture.fill(Qt::white);
    QPainter painter(&picture);
    painter.scale(scale, scale);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(40, 90, 30));
    painter.drawEllipse(QRect(40, 30, 150, 120));
    painter.setBrush(QColor(200, 210, 190));
    painter.drawEllipse(QRect(100, 60, 40, 30));
    return picture;
}

} // namespace kestra::test
