#include "metadata/ExifValues.h"

#include <cmath>

namespace {
const QDate kDayZero(1899, 12, 30);
constexpr double kMsPerDay = 86400000.0;
} // namespace

QString TTiffLongWordFraction::AsString() const
{
    if (Denominator == 0)
        return {};
    if (Denominator == 1)
        return QString::number(Numerator);
    return QStringLiteral("%1/%2").arg(Numerator).arg(Denominator);
}

double DateTimeToDays(const QDateTime& local)
{
    const double days = double(kDayZero.daysTo(local.date()));
    const double fraction = local.time().msecsSinceStartOfDay() / kMsPerDay;
    return days >= 0 ? days + fraction : days - fraction;
}

QDateTime DaysToDateTime(double days)
{
    QDate date;
    QTime time;
    return DaysToDateAndTime(days, date, time) ? QDateTime(date, time) : QDateTime();
}

bool DaysToDateAndTime(double days, QDate& date, QTime& time)
{
    if (!(days >= kFirstDayOfYearOne) || days > 2958466.0) // outside years 1..9999
        return false;
    const double whole = std::trunc(days);
    const double fraction = std::fabs(days - whole);
    qint64 ms = std::llround(fraction * kMsPerDay);
    qint64 dayCount = static_cast<qint64>(whole);
    if (ms >= qint64(kMsPerDay)) { // rounding reached the next day
        ms -= qint64(kMsPerDay);
        dayCount += days >= 0 ? 1 : -1;
    }
    date = kDayZero.addDays(dayCount);
    time = QTime::fromMSecsSinceStartOfDay(int(ms));
    return true;
}

QString TDateTimeTagValue::AsString() const
{
    if (MissingOrInvalid())
        return {};
    const QDateTime value = DaysToDateTime(Value);
    if (!value.isValid())
        return {};
    const QString date = value.toString(QStringLiteral("yyyy/M/d"));
    return value.time() == QTime(0, 0) ? date : date + u' ' + value.toString(QStringLiteral("H:mm:ss"));
}
