#include "picture/DeclaredResolution.h"

#include <cmath>
#include <cstdint>
#include <cstring>

namespace kestra {
namespace {

// Outside this range a declared resolution is no scan's: a writer's
// placeholder (JFIF's 1 x 1 with units set) or a broken field.
constexpr double LowestDpi = 10.0;
constexpr double HighestDpi = 100000.0;

constexpr double CentimetresPerInch = 2.54;
constexpr double MetresPerInch = 0.0254;

std::optional<double> believable(double dpi)
{
    if (!(dpi >= LowestDpi && dpi <= HighestDpi)) // NaN fails here too
        return std::nullopt;
    return dpi;
}

bool startsWith(const unsigned char* data, std::size_t size, const char* prefix,
                std::size_t prefixSize)
{
    return size >= prefixSize && std::memcmp(data, prefix, prefixSize) == 0;
}

// The TIFF structure inside an Exif block. Offsets in it count from its first
// byte; every read is checked against its end first.
class Tiff {
public:
    Tiff(const unsigned char* data, std::size_t size, bool bigEndian)
        : data_(data), size_(size), bigEndian_(bigEndian)
    {}

    // Done in 64 bits, so that an offset near 2^32 cannot wrap round.
    [[nodiscard]] bool holds(std::uint64_t offset, std::uint64_t length) const
    {
        return offset <= size_ && length <= size_ - offset;
    }

    [[nodiscard]] std::uint16_t u16(std::size_t offset) const
    {
        const unsigned first = data_[offset];
        const unsigned second = data_[offset + 1];
        return static_cast<std::uint16_t>(bigEndian_ ? first << 8 | second : second << 8 | first);
    }

    [[nodiscard]] std::uint32_t u32(std::size_t offset) const
    {
        const std::uint32_t first = u16(offset);
        const std::uint32_t second = u16(offset + 2);
        return bigEndian_ ? first << 16 | second : second << 16 | first;
    }

private:
    const unsigned char* data_;
    std::size_t size_;
    bool bigEndian_;
};

constexpr std::uint16_t TagOrientation = 0x0112;
constexpr std::uint16_t TagXResolution = 0x011A;
constexpr std::uint16_t TagResolutionUnit = 0x0128;
constexpr std::uint16_t TypeShort = 3;
constexpr std::uint16_t TypeRational = 5;
constexpr std::size_t EntrySize = 12;

enum class Unit { None = 1, Inch = 2, Centimetre = 3 };

// Only the first IFD is read: it describes the picture itself (the next one is
// the thumbnail), so no chain of IFDs is followed and none can loop.
Declaration readExif(const unsigned char* data, std::size_t size)
{
    Declaration declaration;
    if (size < 8)
        return declaration;
    bool bigEndian = false;
    if (startsWith(data, size, "MM", 2))
        bigEndian = true;
    else if (!startsWith(data, size, "II", 2))
        return declaration;
    const Tiff tiff(data, size, bigEndian);
    if (tiff.u16(2) != 42)
        return declaration;
    const std::uint32_t ifd = tiff.u32(4);
    if (ifd < 8 || !tiff.holds(ifd, 2)) // an IFD inside the header is no IFD
        return declaration;
    const std::uint16_t count = tiff.u16(ifd);
    if (!tiff.holds(std::uint64_t{ifd} + 2, std::uint64_t{count} * EntrySize))
        return declaration;

    std::optional<double> resolution;
    unsigned unit = static_cast<unsigned>(Unit::Inch); // TIFF's default
    bool resolutionSeen = false;
    bool unitSeen = false;
    bool orientationSeen = false;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t entry = ifd + 2 + i * EntrySize;
        const std::uint16_t tag = tiff.u16(entry);
        const std::uint16_t type = tiff.u16(entry + 2);
        const std::uint32_t values = tiff.u32(entry + 4);
        // A repeated tag is ignored: the first one is the one readers agree on.
        if (tag == TagXResolution && !resolutionSeen) {
            resolutionSeen = true;
            const std::uint32_t offset = tiff.u32(entry + 8);
            if (type == TypeRational && values == 1 && offset >= 8 && tiff.holds(offset, 8)) {
                const std::uint32_t numerator = tiff.u32(offset);
                const std::uint32_t denominator = tiff.u32(offset + 4);
                if (denominator != 0)
                    resolution = static_cast<double>(numerator) / denominator;
            }
        } else if (tag == TagResolutionUnit && !unitSeen) {
            unitSeen = true;
            // A SHORT stands in the first two bytes of the value field.
            unit = type == TypeShort && values == 1 ? tiff.u16(entry + 8) : 0;
        } else if (tag == TagOrientation && !orientationSeen) {
            orientationSeen = true;
            const unsigned orientation = type == TypeShort && values == 1 ? tiff.u16(entry + 8) : 1;
            declaration.storedTurned = orientation >= 2 && orientation <= 8;
        }
    }
    if (resolution && unit == static_cast<unsigned>(Unit::Inch))
        declaration.dpi = believable(*resolution);
    else if (resolution && unit == static_cast<unsigned>(Unit::Centimetre))
        declaration.dpi = believable(*resolution * CentimetresPerInch);
    return declaration;
}

constexpr unsigned char MarkerStart = 0xFF;
constexpr unsigned char StartOfImage = 0xD8;
constexpr unsigned char EndOfImage = 0xD9;
constexpr unsigned char StartOfScan = 0xDA;
constexpr unsigned char App0 = 0xE0;
constexpr unsigned char App1 = 0xE1;

// Markers that stand alone, without a length: TEM and RST0 to RST7.
bool hasNoLength(unsigned char marker)
{
    return marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7);
}

// The density of a JFIF APP0 payload: "JFIF\0", version (2 bytes), units,
// horizontal and vertical density (2 bytes each, big-endian), thumbnail size.
std::optional<double> readJfif(const unsigned char* payload, std::size_t size)
{
    constexpr std::size_t HeaderSize = 14;
    if (size < HeaderSize)
        return std::nullopt;
    const unsigned units = payload[7];
    const unsigned density = unsigned{payload[8]} << 8 | payload[9];
    if (units == 1)
        return believable(density);
    if (units == 2)
        return believable(density * CentimetresPerInch);
    return std::nullopt; // units 0: an aspect ratio only
}

} // namespace

Declaration ReadJpegDeclaration(const unsigned char* data, std::size_t size)
{
    Declaration declaration;
    if (data == nullptr || size < 4 || data[0] != MarkerStart || data[1] != StartOfImage)
        return declaration;
    std::optional<double> jfifDpi;
    bool jfifSeen = false;
    bool exifSeen = false;
    std::size_t at = 2;
    // Each turn moves at least one byte on, so the walk ends within the buffer.
    while (at < size && data[at] == MarkerStart) {
        while (at < size && data[at] == MarkerStart) // fill bytes
            ++at;
        if (at >= size)
            break;
        const unsigned char marker = data[at++];
        if (marker == StartOfScan || marker == EndOfImage)
            break;
        if (hasNoLength(marker))
            continue;
        if (size - at < 2)
            break;
        const std::size_t length = std::size_t{data[at]} << 8 | data[at + 1];
        if (length < 2 || length > size - at) // a segment cut short: trust nothing past here
            break;
        const unsigned char* payload = data + at + 2;
        const std::size_t payloadSize = length - 2;
        if (marker == App0 && !jfifSeen && startsWith(payload, payloadSize, "JFIF", 5)) {
            jfifSeen = true;
            jfifDpi = readJfif(payload, payloadSize);
        } else if (marker == App1 && !exifSeen && startsWith(payload, payloadSize, "Exif\0", 6)) {
            exifSeen = true;
            declaration = readExif(payload + 6, payloadSize - 6);
        }
        at += length;
    }
    // JFIF's density wins; Exif's only stands in when JFIF declares none.
    if (jfifDpi)
        declaration.dpi = jfifDpi;
    return declaration;
}

std::optional<double> ReadBmpDeclaredDpi(const unsigned char* data, std::size_t size)
{
    constexpr std::size_t InfoHeaderStart = 14;
    constexpr std::size_t PixelsPerMetreAt = 38; // offset 24 in the information header
    if (data == nullptr || size < PixelsPerMetreAt + 4 || data[0] != 'B' || data[1] != 'M')
        return std::nullopt;
    const auto le32 = [data](std::size_t offset) {
        return std::uint32_t{data[offset]} | std::uint32_t{data[offset + 1]} << 8 |
               std::uint32_t{data[offset + 2]} << 16 | std::uint32_t{data[offset + 3]} << 24;
    };
    if (le32(InfoHeaderStart) < 40) // the OS/2 headers of 12 to 39 bytes carry no resolution
        return std::nullopt;
    const auto perMetre = static_cast<std::int32_t>(le32(PixelsPerMetreAt));
    if (perMetre <= 0)
        return std::nullopt;
    return believable(perMetre * MetresPerInch);
}

double DeclaredValue(double dpi)
{
    constexpr double WholeEnough = 0.05;
    return std::fabs(dpi - std::round(dpi)) < WholeEnough ? std::round(dpi) : dpi;
}

bool IsDeviceDefaultDpi(double dpi)
{
    const double value = DeclaredValue(dpi);
    return value == 72.0 || value == 96.0;
}

} // namespace kestra
