#pragma once
// Lets GoogleTest print Qt texts readably in failure messages. Included into every test file
// by the build (see tests/CMakeLists.txt).

#include <QString>
#include <QStringList>
#include <ostream>

inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

inline void PrintTo(const QStringList& list, std::ostream* os)
{
    *os << '{';
    for (qsizetype i = 0; i < list.size(); ++i)
        *os << (i ? ", " : "") << '"' << list[i].toStdString() << '"';
    *os << '}';
}

#include <QRect>

inline void PrintTo(const QRect& r, std::ostream* os)
{
    *os << "QRect(" << r.x() << ',' << r.y() << ' ' << r.width() << 'x' << r.height() << ')';
}

inline std::ostream& operator<<(std::ostream& os, const QRect& r)
{
    PrintTo(r, &os);
    return os;
}
