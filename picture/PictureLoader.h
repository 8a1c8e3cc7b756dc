#pragma once

#include <QImage>
#include <QString>
#include <optional>

namespace kestra {

// A decoded picture with what its file says about it beside the pixels.
struct LoadedPicture {
    QImage image;
    // The resolution the file declares, in dots per inch, when it declares one.
    std::optional<double> declaredDpi;
    // The file asks for the picture to be shown turned or mirrored (Exif
    // orientation); it is still shown and measured as stored.
    bool storedTurned = false;
    // The decoder met corrupt or missing data and filled parts of the picture in.
    bool damaged = false;
};

// A file name a scan can have: one the bitmap reader or the JPEG decoder takes.
[[nodiscard]] bool IsScanName(const QString& fileName);

// Loads a picture file, choosing the decoder by the file name's extension
// (the text after the last dot of the name, compared without regard to case):
// "jpg" and "jpeg" take the JPEG decoder, "bmp" our bitmap reader, "ico" Qt's
// image reader. "wmf" and "emf" are known but cannot be decoded here; any
// other extension throws "Unknown picture file extension (.<as written>)".
// A file that cannot be opened throws "Cannot open file "<path>". <system's
// reason>", one that is not a regular file "Cannot open file "<path>". Not a
// regular file", one that cannot be read "Stream read error".
//
// The file's header is read first. A picture beyond the budget and a file far
// larger than its picture can need are refused before the rest is read (see
// CheckPictureBudget and CheckFileSize), as is a JPEG whose header does not
// end within its first 32 MB ("The JPEG file's header does not end within its
// first 32 MB."). A bitmap's rows are then read straight into the picture; a
// JPEG file is read whole and decoded. Every failure throws Error with the
// user's message and gives nothing back, so the caller's picture stays as it
// was.
[[nodiscard]] LoadedPicture LoadPicture(const QString& path, int displayColorDepth);

} // namespace kestra
