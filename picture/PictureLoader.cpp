#include "picture/PictureLoader.h"

#include "measure/Error.h"
#include "picture/BmpReader.h"
#include "picture/JpegDecoder.h"

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>

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

Kind kindOf(const QString& extension)
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
    fail(QStringLiteral("Unknown picture file extension (.%1)").arg(extension));
}

QByteArray readWhole(const QString& path)
{
    // A pipe would block the open, a device could be read for ever.
    if (const QFileInfo info(path); info.exists() && !info.isFile())
        fail(QStringLiteral("Cannot open file \"%1\". Not a regular file").arg(path));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        fail(QStringLiteral("Cannot open file \"%1\". %2").arg(path, file.errorString()));
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        fail(QStringLiteral("Stream read error"));
    return bytes;
}

QImage readIcon(QByteArray bytes)
{
    QBuffer buffer(&bytes);
    QImageReader reader(&buffer, "ico");
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

LoadedPicture LoadPicture(const QString& path, int displayColorDepth)
{
    const QString extension = extensionOf(path);
    const Kind kind = kindOf(extension);
    if (kind == Kind::Metafile)
        fail(QStringLiteral("Metafile pictures (.%1) cannot be decoded on this platform")
                 .arg(extension));
    QByteArray bytes = readWhole(path);
    LoadedPicture picture;
    switch (kind) {
    case Kind::Jpeg:
        picture.image = DecodeJpeg(bytes, displayColorDepth);
        break;
    case Kind::Icon:
        picture.image = readIcon(std::move(bytes));
        break;
    default:
        picture.image = ReadBmp(bytes);
        break;
    }
    return picture;
}

} // namespace kestra
