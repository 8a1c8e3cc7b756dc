#include "app/ScanFolder.h"

#include "picture/PictureLoader.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

namespace kestra {
namespace {

// Compares two runs of digits by value; with equal values the one with fewer
// leading zeros comes first, so that distinct names never compare equal.
int compareNumbers(QStringView a, QStringView b)
{
    const auto significant = [](QStringView digits) {
        qsizetype zeros = 0;
        while (zeros + 1 < digits.size() && digits[zeros] == u'0')
            ++zeros;
        return digits.mid(zeros);
    };
    const QStringView x = significant(a);
    const QStringView y = significant(b);
    if (x.size() != y.size())
        return x.size() < y.size() ? -1 : 1;
    if (const int order = x.compare(y); order != 0)
        return order;
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

qsizetype digitRunEnd(const QString& text, qsizetype from)
{
    while (from < text.size() && text[from].isDigit())
        ++from;
    return from;
}

} // namespace

bool NaturalLess(const QString& a, const QString& b)
{
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            const qsizetype endA = digitRunEnd(a, i);
            const qsizetype endB = digitRunEnd(b, j);
            if (const int order = compareNumbers(QStringView(a).mid(i, endA - i),
                                                 QStringView(b).mid(j, endB - j));
                order != 0)
                return order < 0;
            i = endA;
            j = endB;
            continue;
        }
        const QChar x = a[i].toCaseFolded();
        const QChar y = b[j].toCaseFolded();
        if (x != y)
            return x < y;
        ++i;
        ++j;
    }
    if (i < a.size() || j < b.size())
        return j < b.size();
    // Names that differ only in case still have one order.
    return a < b;
}

namespace {

// The scans of a folder, full paths in natural name order.
QStringList scansIn(const QString& folder)
{
    QStringList names;
    const QDir directory(folder);
    for (const QFileInfo& entry : directory.entryInfoList(QDir::Files | QDir::Hidden)) {
        if (IsScanName(entry.fileName()))
            names.append(entry.fileName());
    }
    std::sort(names.begin(), names.end(), NaturalLess);
    QStringList paths;
    paths.reserve(names.size());
    for (const QString& name : names)
        paths.append(directory.filePath(name));
    return paths;
}

} // namespace

std::optional<QString> NeighbourScan(const QString& picture, int step, const QSet<QString>& skipped)
{
    const QFileInfo current(picture);
    const QStringList scans = scansIn(current.path());
    const QString name = current.fileName();
    // Where the picture stands, or would stand if it has gone meanwhile.
    const auto place = std::lower_bound(scans.begin(), scans.end(), name,
                                        [](const QString& path, const QString& wanted) {
                                            return NaturalLess(QFileInfo(path).fileName(), wanted);
                                        });
    qsizetype index = place - scans.begin();
    const bool present = index < scans.size() && QFileInfo(scans[index]).fileName() == name;
    if (step < 0)
        index -= 1;
    else if (present)
        index += 1;
    while (index >= 0 && index < scans.size() && skipped.contains(scans[index]))
        index += step < 0 ? -1 : 1;
    if (index < 0 || index >= scans.size())
        return std::nullopt;
    return scans[index];
}

} // namespace kestra
