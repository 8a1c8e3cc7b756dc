#include "app/SuggestionControl.h"

#include "app/SuggestionPoints.h"
#include "app/suggest/LandmarkSuggester.h"
#include "measure/Error.h"
#include "measure/MainState.h"
#include "picture/PictureBitmap.h"

#include <QApplication>
#include <QImage>
#include <QScopeGuard>
#include <exception>
#include <utility>

namespace kestra {
namespace {

// Formats whose crosses come out the same whether they are drawn before or
// after the picture is widened to 32 bits, so that the picture can be widened
// where it lies, as the first Analyze would. In the others (palette, grey,
// 16-bit pictures) a cross takes the nearest colour the format holds, so
// widening them now would change the pixels Analyze counts: the suggester
// gets a widened copy instead.
bool widensAsItIs(QImage::Format format)
{
    return format == QImage::Format_RGB32 || format == QImage::Format_ARGB32 ||
           format == QImage::Format_RGB888 || format == QImage::Format_BGR888;
}

} // namespace

SuggestionControl::SuggestionControl(MainState& state, Notice notice, std::function<void()> changed)
    : state_(state), notice_(std::move(notice)), changed_(std::move(changed)),
      suggester_(SuggestLandmarks)
{}

void SuggestionControl::setSuggester(Suggester suggester)
{
    suggester_ = std::move(suggester);
}

void SuggestionControl::suggest(PictureBitmap& bitmap)
{
    if (place(bitmap))
        changed_();
}

bool SuggestionControl::place(PictureBitmap& bitmap)
{
    if (state_.FileName.empty() || bitmap.image().isNull())
        return false;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const auto restoreCursor = qScopeGuard([] { QApplication::restoreOverrideCursor(); });
    const QImage& picture = bitmap.image();
    Landmarks found;
    if (widensAsItIs(picture.format())) {
        found = suggester_(bitmap.rgb32Rows());
    } else {
        const QImage widened = picture.convertToFormat(QImage::Format_RGB32);
        if (widened.isNull())
            throw Error("Out of memory");
        found = suggester_(
            {widened.constBits(), widened.width(), widened.height(), widened.bytesPerLine()});
    }
    state_.Landmarks.suggest(SuggestionPoints(found, picture.width(), picture.height(), mirror_));
    return true;
}

void SuggestionControl::pictureOpened(PictureBitmap& bitmap, bool suggestOnOpening)
{
    if (!suggestOnOpening)
        return;
    try {
        place(bitmap);
    } catch (const std::exception& error) {
        notice_(QStringLiteral("No landmarks were suggested for this picture: %1")
                    .arg(QString::fromLocal8Bit(error.what())));
    }
}

void SuggestionControl::confirm()
{
    if (state_.Landmarks.confirmSuggestions())
        changed_();
}

void SuggestionControl::setMirror(bool mirror)
{
    if (mirror == mirror_)
        return;
    mirror_ = mirror;
    // Before a picture opens there is no leaf to mirror, only the choice.
    if (state_.FileName.empty())
        return;
    state_.Landmarks.reorder(MirroredOrder());
    changed_();
}

std::array<int, LandmarkCount> MirroredOrder()
{
    // Each landmark's own number, moved as its position would be.
    Landmarks numbers;
    for (int n = 1; n <= LandmarkCount; ++n)
        numbers.PointX[n] = n;
    const Landmarks moved = MirroredHalves(numbers);
    std::array<int, LandmarkCount> from{};
    for (int n = 1; n <= LandmarkCount; ++n)
        from[static_cast<std::size_t>(n - 1)] = static_cast<int>(moved.PointX[n]);
    return from;
}

} // namespace kestra
