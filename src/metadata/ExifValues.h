#pragma once
// The value types the Exif reader hands out: an unsigned rational and a date-time that can be
// missing. Date-times are days since 1899-12-30 00:00, the fraction being the time of day.

#include <QDateTime>
#include <QString>
#include <cstdint>

struct TTiffLongWordFraction {
    uint32_t Numerator = 0;
    uint32_t Denominator = 0;

    // A zero denominator means "missing" (0/0 is how a missing value is written).
    bool MissingOrInvalid() const { return Denominator == 0; }
    // Numerator / denominator, 0 when the denominator is 0.
    double Quotient() const { return Denominator == 0 ? 0.0 : double(Numerator) / double(Denominator); }
    // "" when missing, the numerator alone over 1, otherwise "numerator/denominator".
    QString AsString() const;
    bool operator==(const TTiffLongWordFraction&) const = default;
};

// Day numbers of the program's date-time values.
constexpr double kMissingDateTime = -700000.0;
constexpr double kFirstDayOfYearOne = -693593.0; // 0001-01-01

// The program's date-time value of a local date and time (days since 1899-12-30; before that
// day the whole days count down and the time of day still counts up, as the format defines).
double DateTimeToDays(const QDateTime& local);
// The local date and time of a value; invalid for values before year 1.
QDateTime DaysToDateTime(double days);
// The same as a date and a time of day, without time-zone work; false before year 1.
bool DaysToDateAndTime(double days, QDate& date, QTime& time);

struct TDateTimeTagValue {
    double Value = kMissingDateTime;

    bool MissingOrInvalid() const { return Value < kFirstDayOfYearOne; }
    // The plain date-time: the stored number, so a missing value gives -700000.
    double AsDateTime() const { return Value; }
    // "" when missing; otherwise the short date and long time ("2017/5/3 14:22:10"), the time
    // left out at exactly midnight.
    QString AsString() const;
};
