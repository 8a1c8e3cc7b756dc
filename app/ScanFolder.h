#pragma once

#include <QSet>
#include <QString>
#include <QStringList>
#include <optional>

namespace kestra {

// Name order as a person reads it: runs of digits compare by their value, so
// leaf2 comes before leaf10; other characters without regard to case.
[[nodiscard]] bool NaturalLess(const QString& a, const QString& b);

// The scan that follows (step 1) or precedes (step -1) a picture among the
// scans of its folder, passing over those in skipped; nothing at either end.
// The picture itself need not be there any more.
[[nodiscard]] std::optional<QString> NeighbourScan(const QString& picture, int step,
                                                   const QSet<QString>& skipped = {});

} // namespace kestra
