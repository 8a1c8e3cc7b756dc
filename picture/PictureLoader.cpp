#include "picture/PictureLoader.h"

#include "measure/Error.h"
#include "picture/BmpReader.h"
#include "picture/DeclaredResolution.h"
#include "picture/JpegDecoder.h"
#include "picture/PictureMemory.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>
#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <optional>

namespace kestra {
namespace {

enum class Kind { Bitmap, Jpeg, Icon, Metafile };

[[noreturn]] void fail(const QString& message)
{
    throw Error(message.toStdString());
}

// Only the file name counts: a folder named "jpg" says nothing about the file.
QString extensionOf(const QString& path)
{
    const QString name = QFileInfo(path).fileName();
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot < 0 ? QString() : name.mid(dot + 1);
}

std::optional<Kind> knownKind(const QString& extension)
{
    const QString lower = extension.toLower();
    if (lower == u"jpg" || lower == u"jpeg")
        return Kind::Jpeg;
    if (lower == u"bmp")
        return Kind::Bitmap;
    if (lower == u"ico")
        return Kind::Icon;
    if (lower == u"wmf" || lower == u"emf")
        return Kind::Metafile;
    return std::nullopt;
}

Kind kindOf(const QString& extension)
{
    if (const std::optional<Kind> kind = knownKind(extension))
        return *kind;
    fail(QStringLiteral("Unknown picture file extension (.%1)").arg(extension));
}

// Where the decoders start: the first bytes of a file, read before the rest
// so that its header can be checked before the whole file is read.
constexpr qint64 HeadBytes = 64 * 1024;
// A JPEG header holds at most a colour profile of 255 segments of 64 KB
// beside smaller metadata; one that runs on beyond this is not a picture's.
constexpr qint64 MaxJpegHeadBytes = qint64{32} << 20;

void openForReading(QFile& file)
{
    // A pipe would block the open, a device could be read for ever.
    if (const QFileInfo info(file.fileName()); info.exists() && !info.isFile())
        fail(QStringLiteral("Cannot open file \"%1\". Not a regular file").arg(file.fileName()));
    // Rows go straight from the system into the picture, not through a buffer.
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        fail(
            QStringLiteral("Cannot open file \"%1\". %2").arg(file.fileName(), file.errorString()));
}

// Reads on from the file's current position until bytes holds its first
// `length` bytes, or all of them.
void readUpTo(QFile& file, QByteArray& bytes, qint64 length)
{
    const qsizetype had = bytes.size();
    const qint64 wanted = std::min(length, file.size()) - had;
    if (wanted <= 0)
        return;
    bytes.resize(had + wanted);
    if (file.read(bytes.data() + had, wanted) != wanted)
        fail(QStringLiteral("Stream read error"));
}

// A file read whole: its bytes, which lie in memory of their own once the
// file is larger than its head.
struct WholeFile {
    std::shared_ptr<char[]> memory;
    QByteArray bytes;
};

// The whole JPEG file, once its header has shown that the file is no larger
// than its picture can need; a header that runs on without end is not read
// beyond MaxJpegHeadBytes.
WholeFile readJpeg(QFile& file, QByteArray head)
{
    std::optional<JpegHeader> header = ReadJpegHeader(head);
    for (qint64 length = HeadBytes * 8; !header && head.size() < file.size(); length *= 8) {
        if (head.size() >= MaxJpegHeadBytes)
            fail(QStringLiteral("The JPEG file's header does not end within its first %1 MB.")
                     .arg(MaxJpegHeadBytes >> 20));
        readUpTo(file, head, std::min(length, MaxJpegHeadBytes));
        header = ReadJpegHeader(head);
    }
    // Without a header the file is all in head, and the decoder says what is wrong.
    if (header) {
        CheckPictureBudget(header->width, header->height);
        CheckFileSize(file.size(), JpegFileNeed(*header), header->width, header->height);
    }
    if (head.size() >= file.size())
        return {nullptr, std::move(head)};
    // The rest goes straight into memory made resident at once, not grown
    // into a buffer page by page.
    WholeFile whole{AllocateFileBytes(file.size()), {}};
    if (whole.memory == nullptr)
        throw std::bad_alloc();
    std::memcpy(whole.memory.get(), head.constData(), static_cast<std::size_t>(head.size()));
    const qint64 rest = file.size() - head.size();
    if (file.read(whole.memory.get() + head.size(), rest) != rest)
        fail(QStringLiteral("Stream read error"));
    whole.bytes = QByteArray::fromRawData(whole.memory.get(), file.size());
    return whole;
}

QImage readIcon(QFile& file)
{
    QImageReader reader(&file, "ico");
    if (const QSize size = reader.size(); size.isValid())
        CheckPictureBudget(size.width(), size.height());
    QImage icon = reader.read();
    if (icon.isNull())
        fail(QStringLiteral("Icon image is not valid"));
    if (!icon.hasAlphaChannel())
        return icon;
    // The leaf count reads colours only: show what is transparent as the light
    // background it stands in front of.
    QImage flat(icon.size(), QImage::Format_RGB32);
    flat.fill(Qt::white);
    QPainter painter(&flat);
    painter.drawImage(0, 0, icon);
    return flat;
}

} // namespace

bool IsScanName(const QString& fileName)
{
    const std::optional<Kind> kind = knownKind(extensionOf(fileName));
    return kind == Kind::Bitmap || kind == Kind::Jpeg;
}

LoadedPicture LoadPicture(const QString& path, int displayColorDepth)
{
    const QString extension = extensionOf(path);
    const Kind kind = kindOf(extension);
    if (kind == Kind::Metafile)
        fail(QStringLiteral("Metafile pictures (.%1) cannot be decoded on this platform")
                 .arg(extension));
    QFile file(path);
    openForReading(file);
    LoadedPicture picture;
    if (kind == Kind::Icon) {
        picture.image = readIcon(file);
        return picture;
    }
    QByteArray head;
    readUpTo(file, head, HeadBytes);
    if (kind == Kind::Jpeg) {
        const WholeFile whole = readJpeg(file, std::move(head));
        const QByteArray& bytes = whole.bytes;
        DecodedJpeg decoded = DecodeJpeg(bytes, displayColorDepth);
        const Declaration declared =
            ReadJpegDeclaration(reinterpret_cast<const unsigned char*>(bytes.constData()),
                                static_cast<std::size_t>(bytes.size()));
        picture.image = std::move(decoded.image);
        picture.damaged = decoded.damaged;
        picture.declaredDpi = declared.dpi;
        picture.storedTurned = declared.storedTurned;
    } else {
        picture.image = ReadBmp(head, file);
        picture.declaredDpi =
            ReadBmpDeclaredDpi(reinterpret_cast<const unsigned char*>(head.constData()),
                               static_cast<std::size_t>(head.size()));
    }
    return picture;
}

} // namespace kestra
