#pragma once

#include <QImage>
#include <QtGlobal>
#include <memory>
#include <vector>

namespace kestra {

// The largest picture KESTRA opens, in pixels: 1.2 GB at the 32 bits a pixel
// that the first analysis converts it to. It holds a full A4 page at 1200 dpi
// (9920 x 14032, 139 million pixels) twice over and an A3 page at 1200 dpi
// (278 million); nothing a scanner makes of a leaf comes near it.
inline constexpr qint64 MaxPicturePixels = 300'000'000;

// What a file may hold beyond the most its picture can take: colour
// profiles, thumbnails, a writer's trailing bytes.
inline constexpr qint64 FileSlackBytes = qint64{16} << 20;

// Throws Error "The picture is <width> x <height> pixels; KESTRA opens
// pictures of up to 300 megapixels." when a header declares more pixels than
// the budget. Called before any pixel memory is allocated.
void CheckPictureBudget(qint64 width, qint64 height);

// Throws Error "The file is <size> bytes, far more than its picture of
// <width> x <height> pixels can need." when fileSize exceeds need, the most
// the declared picture's data can take, by more than FileSlackBytes.
void CheckFileSize(qint64 fileSize, qint64 need, qint64 width, qint64 height);

// Each pixel value of a palette or 16-bit picture's format (2, 256 or 65536
// of them) as QImage::convertToFormat(Format_RGB32) widens it, palette rules
// (missing entries, alpha) and 5- and 6-bit widening included. Throws Error
// "Out of memory" when the table cannot be made.
[[nodiscard]] std::vector<QRgb> WidenedValues(const QImage& picture);

// Whether a header's picture fits the budget.
[[nodiscard]] bool WithinPictureBudget(qint64 width, qint64 height);

// How a picture's memory is had.
enum class PictureMemoryWay {
    // 2 MB-aligned in transparent huge pages, each part made resident in one
    // call just before it is written: a fault at every 4 KB page's first
    // touch costs more than the decoding (about 10 us each on a virtual
    // machine).
    Mapped,
    // From malloc, each page faulted in at its first touch: what every kernel
    // allows, and the way of pictures smaller than one huge page.
    Plain,
};

// Mapped where the kernel has MADV_POPULATE_WRITE and transparent huge pages
// are not off, otherwise Plain; found once.
[[nodiscard]] PictureMemoryWay AvailablePictureMemoryWay();

// The way the pictures allocated from now on take, for comparing the two;
// Mapped stays Plain where it is not available. Returns the way before.
PictureMemoryWay UsePictureMemoryWay(PictureMemoryWay way);

// A picture of the given size and format, its pixels uninitialised, whose
// memory has room for the same picture at 32 bits a pixel: WidenToRgb32 then
// converts it where it lies. Only the picture at its own depth is made
// resident, so it costs that depth until it is widened. Null when the size
// exceeds the budget or the memory cannot be had.
[[nodiscard]] QImage AllocatePicture(int width, int height, QImage::Format format);

// Memory for a file read whole before it is decoded, had and made resident
// as a picture's is: a 1200-dpi JPEG file's tens of megabytes would otherwise
// fault in page by page as they are read. Null when it cannot be had.
[[nodiscard]] std::shared_ptr<char[]> AllocateFileBytes(qsizetype size);

// A job's picture memory, kept from one picture to the next. While one lives
// on a thread, the memory of each picture AllocatePicture makes there comes
// back to it when the last QImage over it goes, and the next picture that
// fits takes it again, already resident: a run over a folder of scans pays
// for its memory once. It keeps one picture's memory at a time; one that does
// not fit is given back to the system before a new one is had, so that a job
// never holds two. Made and destroyed on the same thread; pictures may
// outlive it, and then free their memory themselves.
class PictureMemory {
public:
    PictureMemory();
    ~PictureMemory();
    PictureMemory(const PictureMemory&) = delete;
    PictureMemory& operator=(const PictureMemory&) = delete;

    // What it keeps, shared with the pictures whose memory comes back to it.
    struct Shelf;

private:
    std::shared_ptr<Shelf> shelf_;
    std::shared_ptr<Shelf> before_; // the thread's memory before this one
};

// Converts the picture to Format_RGB32 with the colours
// QImage::convertToFormat gives. A picture made by AllocatePicture that no
// other QImage shares is widened in place, from its last pixel backwards, so
// that it is never held twice, the rest of its memory made resident first as
// AllocatePicture's was; any other goes through a copy. False, with the
// picture unchanged, when that copy cannot be made.
[[nodiscard]] bool WidenToRgb32(QImage& picture);

} // namespace kestra
