#include "picture/PictureMemory.h"

#include "measure/Error.h"

#include <QColorSpace>
#include <QString>
#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <sys/mman.h>
#include <unordered_map>
#include <utility>
#include <vector>

namespace kestra {
namespace {

static_assert(std::endian::native == std::endian::little);

// Older C library headers lack it; kernels before 5.14 answer EINVAL.
#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23
#endif

constexpr qsizetype HugePage = qsizetype{2} << 20;
constexpr qsizetype Page = 4096;

qsizetype roundedUp(qsizetype bytes, qsizetype unit)
{
    return (bytes + unit - 1) / unit * unit;
}

// Memory from AllocatePicture and the QImages that lie over it: usually one,
// two for a moment while a widened picture replaces the one it was.
struct Block {
    void* memory = nullptr;
    qsizetype capacity = 0;
    int images = 0;
    bool mapped = false;     // mmap'd in huge pages rather than from malloc
    qsizetype populated = 0; // how far a mapped block is resident
    // The job memory it goes back to, if any.
    std::shared_ptr<PictureMemory::Shelf> home;
};

} // namespace

struct PictureMemory::Shelf {
    std::mutex mutex;
    Block* kept = nullptr;
    bool open = true; // false once the PictureMemory is gone
};

namespace {

// Which QImages lie over our own memory, found by their first pixel; QImage
// does not hand out the cleanup information it was made with.
struct Registry {
    std::mutex mutex;
    std::unordered_map<const void*, Block*> blocks;
};

// Never destroyed: a QImage held in a static may outlive every other static.
Registry& registry()
{
    static Registry* const blocks = new Registry;
    return *blocks;
}

bool mappedWayAvailable()
{
    // "always [madvise] never": only "never" turns MADV_HUGEPAGE into nothing.
    std::ifstream settings("/sys/kernel/mm/transparent_hugepage/enabled");
    std::string enabled;
    if (!std::getline(settings, enabled) || enabled.find("[never]") != std::string::npos)
        return false;
    void* page = ::mmap(nullptr, Page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (page == MAP_FAILED)
        return false;
    const bool populates = ::madvise(page, Page, MADV_POPULATE_WRITE) == 0;
    ::munmap(page, Page);
    return populates;
}

PictureMemoryWay availableWay()
{
    static const PictureMemoryWay way =
        mappedWayAvailable() ? PictureMemoryWay::Mapped : PictureMemoryWay::Plain;
    return way;
}

std::atomic<PictureMemoryWay>& chosenWay()
{
    static std::atomic<PictureMemoryWay> way = availableWay();
    return way;
}

// The thread's job memory, if one lives.
thread_local std::shared_ptr<PictureMemory::Shelf> threadShelf;

// A mapping of length bytes (a multiple of HugePage) that starts on a huge
// page, so that every 2 MB of it can be one huge page.
void* mapHugePages(qsizetype length)
{
    const auto span = static_cast<std::size_t>(length + HugePage);
    void* const start =
        ::mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (start == MAP_FAILED)
        return nullptr;
    const auto begin = reinterpret_cast<std::uintptr_t>(start);
    const std::uintptr_t aligned = roundedUp(static_cast<qsizetype>(begin), HugePage);
    const std::uintptr_t end = aligned + static_cast<std::uintptr_t>(length);
    if (aligned > begin)
        ::munmap(start, aligned - begin);
    if (begin + span > end)
        ::munmap(reinterpret_cast<void*>(end), begin + span - end);
    // Refused only where the kernel has no huge pages: small pages then.
    ::madvise(reinterpret_cast<void*>(aligned), static_cast<std::size_t>(length), MADV_HUGEPAGE);
    return reinterpret_cast<void*>(aligned);
}

Block* newBlock(qsizetype capacity)
{
    auto block = std::make_unique<Block>();
    if (chosenWay() == PictureMemoryWay::Mapped && capacity >= HugePage) {
        block->capacity = roundedUp(capacity, HugePage);
        block->memory = mapHugePages(block->capacity);
        block->mapped = true;
    } else {
        block->capacity = capacity;
        block->memory = std::malloc(static_cast<std::size_t>(capacity));
    }
    return block->memory == nullptr ? nullptr : block.release();
}

void discard(Block* block)
{
    if (block == nullptr)
        return;
    if (block->mapped)
        ::munmap(block->memory, static_cast<std::size_t>(block->capacity));
    else
        std::free(block->memory);
    delete block;
}

// Makes the block resident up to `end` in one call, where the kernel can.
// Where it cannot (memory short, an old kernel), the pages are faulted in
// as they are written, as with malloc's memory.
void populate(Block& block, qsizetype end)
{
    if (!block.mapped || end <= block.populated)
        return;
    end = std::min(roundedUp(end, Page), block.capacity);
    if (::madvise(static_cast<char*>(block.memory) + block.populated,
                  static_cast<std::size_t>(end - block.populated), MADV_POPULATE_WRITE) == 0)
        block.populated = end;
}

// The thread's kept memory when it fits capacity bytes. One that does not
// fit goes back to the system, so that a job never holds two pictures'.
Block* takeKept(qsizetype capacity)
{
    PictureMemory::Shelf* const shelf = threadShelf.get();
    if (shelf == nullptr)
        return nullptr;
    Block* kept = nullptr;
    {
        const std::lock_guard lock(shelf->mutex);
        kept = std::exchange(shelf->kept, nullptr);
    }
    if (kept != nullptr && kept->capacity >= capacity)
        return kept;
    discard(kept);
    return nullptr;
}

// A block no QImage lies over any more: back to its job's memory while that
// lives, otherwise back to the system.
void giveBack(Block* block)
{
    if (const std::shared_ptr<PictureMemory::Shelf> home = std::exchange(block->home, nullptr)) {
        const std::lock_guard lock(home->mutex);
        // Of two, the larger stays: it fits more pictures.
        if (home->open && (home->kept == nullptr || home->kept->capacity <= block->capacity))
            std::swap(home->kept, block);
    }
    discard(block);
}

void release(void* info)
{
    auto* block = static_cast<Block*>(info);
    {
        Registry& known = registry();
        const std::lock_guard lock(known.mutex);
        if (--block->images > 0)
            return;
        known.blocks.erase(block->memory);
    }
    giveBack(block);
}

QImage wrap(Block* block, int width, int height, qsizetype bytesPerLine, QImage::Format format)
{
    {
        const std::lock_guard lock(registry().mutex);
        ++block->images;
    }
    QImage image(static_cast<uchar*>(block->memory), width, height, bytesPerLine, format, release,
                 block);
    if (image.isNull()) // Qt calls no cleanup for an image it did not make
        release(block);
    return image;
}

Block* blockOf(const QImage& picture)
{
    Registry& known = registry();
    const std::lock_guard lock(known.mutex);
    const auto found = known.blocks.find(picture.constBits());
    return found == known.blocks.end() ? nullptr : found->second;
}

qsizetype bytesPerLineOf(int width, QImage::Format format)
{
    // QPixelFormat counts the bits that hold colour (15 for 5-5-5), QImage
    // the bits a pixel takes.
    const int depth = QImage(1, 1, format).depth();
    return (qsizetype{width} * depth + 31) / 32 * 4;
}

// Pixels per chunk that a row is widened in; a multiple of 8, so that a
// chunk of a 1-bit row starts on a byte.
constexpr int Chunk = 512;

// Widens one row whose 32-bit form starts at or after its source. From the
// end of the row, each chunk of source pixels is copied aside before its
// 32-bit pixels overwrite it; every pixel before the chunk lies before the
// chunk's 32-bit pixels, so nothing is overwritten before it is read.
template <typename Convert>
void widenRow(const uchar* source, QRgb* target, int width, int depth, Convert convert)
{
    std::array<uchar, Chunk * 4> aside;
    for (int end = width; end > 0;) {
        const int start = (end - 1) / Chunk * Chunk;
        const qsizetype from = qsizetype{start} * depth / 8;
        const qsizetype to = (qsizetype{end} * depth + 7) / 8;
        std::memcpy(aside.data(), source + from, static_cast<std::size_t>(to - from));
        convert(aside.data(), end - start, target + start);
        end = start;
    }
}

bool canWidenInPlace(QImage::Format format)
{
    switch (format) {
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB:
    case QImage::Format_Indexed8:
    case QImage::Format_RGB555:
    case QImage::Format_RGB16:
    case QImage::Format_RGB888:
    case QImage::Format_BGR888:
        return true;
    default:
        return false;
    }
}

void widenRows(QImage& picture, uchar* base)
{
    const QImage::Format format = picture.format();
    const int width = picture.width();
    const int depth = picture.depth();
    const qsizetype sourceBytesPerLine = picture.bytesPerLine();
    const qsizetype targetBytesPerLine = qsizetype{width} * 4;
    std::vector<QRgb> values;
    if (format != QImage::Format_RGB888 && format != QImage::Format_BGR888)
        values = WidenedValues(picture);
    const QRgb* value = values.data();

    // The last row first: every 32-bit row starts at or after its source row,
    // and ends where only later, already widened rows began.
    for (int y = picture.height() - 1; y >= 0; --y) {
        const uchar* source = base + y * sourceBytesPerLine;
        auto* target = reinterpret_cast<QRgb*>(base + y * targetBytesPerLine);
        switch (format) {
        case QImage::Format_RGB888:
        case QImage::Format_BGR888: {
            const bool bgr = format == QImage::Format_BGR888;
            widenRow(source, target, width, depth, [bgr](const uchar* p, int count, QRgb* out) {
                for (int x = 0; x < count; ++x, p += 3) {
                    const QRgb red = bgr ? p[2] : p[0];
                    const QRgb blue = bgr ? p[0] : p[2];
                    out[x] = 0xFF000000u | red << 16 | QRgb{p[1]} << 8 | blue;
                }
            });
            break;
        }
        case QImage::Format_Indexed8:
            widenRow(source, target, width, depth, [value](const uchar* p, int count, QRgb* out) {
                for (int x = 0; x < count; ++x)
                    out[x] = value[p[x]];
            });
            break;
        case QImage::Format_Mono:
        case QImage::Format_MonoLSB: {
            const bool lsb = format == QImage::Format_MonoLSB;
            widenRow(source, target, width, depth,
                     [value, lsb](const uchar* p, int count, QRgb* out) {
                         for (int x = 0; x < count; ++x) {
                             const int shift = lsb ? x % 8 : 7 - x % 8;
                             out[x] = value[p[x / 8] >> shift & 1];
                         }
                     });
            break;
        }
        default: // the 16-bit formats
            widenRow(source, target, width, depth, [value](const uchar* p, int count, QRgb* out) {
                for (int x = 0; x < count; ++x)
                    out[x] = value[p[2 * x] | p[2 * x + 1] << 8];
            });
            break;
        }
    }
}

} // namespace

std::vector<QRgb> WidenedValues(const QImage& picture)
{
    const QImage::Format format = picture.format();
    const int values = format == QImage::Format_Indexed8                                   ? 256
                       : format == QImage::Format_Mono || format == QImage::Format_MonoLSB ? 2
                                                                                           : 65536;
    QImage every(values, 1, format);
    if (picture.colorCount() > 0)
        every.setColorTable(picture.colorTable());
    uchar* row = every.scanLine(0);
    for (int value = 0; value < values; ++value) {
        if (values == 2)
            every.setPixel(value, 0, static_cast<uint>(value));
        else if (values == 256)
            row[value] = static_cast<uchar>(value);
        else
            std::memcpy(row + 2 * value, &value, 2); // little-endian, as the rows are
    }
    // Found by converting every value once, so the rules are Qt's own.
    const QImage widened = every.convertToFormat(QImage::Format_RGB32);
    if (widened.isNull())
        throw Error("Out of memory");
    const auto* widenedRow = reinterpret_cast<const QRgb*>(widened.constScanLine(0));
    return std::vector<QRgb>(widenedRow, widenedRow + values);
}

bool WithinPictureBudget(qint64 width, qint64 height)
{
    return width <= 0 || height <= 0 || width <= MaxPicturePixels / height;
}

void CheckPictureBudget(qint64 width, qint64 height)
{
    if (!WithinPictureBudget(width, height))
        throw Error(QStringLiteral("The picture is %1 x %2 pixels; KESTRA opens pictures of up to "
                                   "%3 megapixels.")
                        .arg(width)
                        .arg(height)
                        .arg(MaxPicturePixels / 1'000'000)
                        .toStdString());
}

void CheckFileSize(qint64 fileSize, qint64 need, qint64 width, qint64 height)
{
    if (fileSize - FileSlackBytes > need)
        throw Error(
            QStringLiteral(
                "The file is %1 bytes, far more than its picture of %2 x %3 pixels can need.")
                .arg(fileSize)
                .arg(width)
                .arg(height)
                .toStdString());
}

PictureMemoryWay AvailablePictureMemoryWay()
{
    return availableWay();
}

PictureMemoryWay UsePictureMemoryWay(PictureMemoryWay way)
{
    if (availableWay() == PictureMemoryWay::Plain)
        way = PictureMemoryWay::Plain;
    return chosenWay().exchange(way);
}

std::shared_ptr<char[]> AllocateFileBytes(qsizetype size)
{
    Block* const block = newBlock(std::max(size, qsizetype{1}));
    if (block == nullptr)
        return nullptr;
    populate(*block, size);
    // On a throw, shared_ptr calls the deleter itself.
    return {static_cast<char*>(block->memory), [block](char*) { discard(block); }};
}

PictureMemory::PictureMemory()
    : shelf_(std::make_shared<Shelf>()), before_(std::exchange(threadShelf, shelf_))
{}

PictureMemory::~PictureMemory()
{
    threadShelf = std::move(before_);
    Block* kept = nullptr;
    {
        const std::lock_guard lock(shelf_->mutex);
        shelf_->open = false;
        kept = std::exchange(shelf_->kept, nullptr);
    }
    discard(kept);
}

QImage AllocatePicture(int width, int height, QImage::Format format)
{
    // Its 32-bit form must be a QImage too.
    if (width <= 0 || height <= 0 || !WithinPictureBudget(width, height) ||
        width > (std::numeric_limits<int>::max() - 31) / 32)
        return {};
    const qsizetype bytesPerLine = bytesPerLineOf(width, format);
    const qsizetype capacity = std::max(bytesPerLine, qsizetype{width} * 4) * height;
    Block* block = takeKept(capacity);
    if (block == nullptr)
        block = newBlock(capacity);
    if (block == nullptr)
        return {};
    try {
        block->home = threadShelf;
        Registry& known = registry();
        const std::lock_guard lock(known.mutex);
        known.blocks.emplace(block->memory, block);
    } catch (...) {
        block->home.reset();
        discard(block);
        throw;
    }
    populate(*block, bytesPerLine * height);
    return wrap(block, width, height, bytesPerLine, format);
}

bool WidenToRgb32(QImage& picture)
{
    if (picture.isNull() || picture.format() == QImage::Format_RGB32)
        return true;
    Block* const block = blockOf(picture);
    const qsizetype wideBytesPerLine = qsizetype{picture.width()} * 4;
    // A copy sharing the pixels would see them change format under it.
    if (block == nullptr || !picture.isDetached() || !canWidenInPlace(picture.format()) ||
        block->capacity < wideBytesPerLine * picture.height()) {
        QImage converted = picture.convertToFormat(QImage::Format_RGB32);
        if (converted.isNull())
            return false;
        picture = std::move(converted);
        return true;
    }
    // Made before any row changes, so that a failure leaves the picture whole.
    QImage wide =
        wrap(block, picture.width(), picture.height(), wideBytesPerLine, QImage::Format_RGB32);
    if (wide.isNull())
        return false;
    populate(*block, wideBytesPerLine * picture.height());
    widenRows(picture, picture.bits());
    // What convertToFormat carries over besides the pixels.
    wide.setDotsPerMeterX(picture.dotsPerMeterX());
    wide.setDotsPerMeterY(picture.dotsPerMeterY());
    wide.setOffset(picture.offset());
    for (const QString& key : picture.textKeys())
        wide.setText(key, picture.text(key));
    wide.setColorSpace(picture.colorSpace());
    picture = std::move(wide);
    return true;
}

} // namespace kestra
