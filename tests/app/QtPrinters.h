#pragma once

#include <QRect>
#include <QString>
#include <ostream>

// Readable gtest failure messages for the Qt values the tests compare.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

inline void PrintTo(const QRect& rect, std::ostream* out)
{
    *out << '(' << rect.x() << ", " << rect.y() << ", " << rect.width() << " x " << rect.height()
         << ')';
}
