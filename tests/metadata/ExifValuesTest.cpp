#include "metadata/ExifValues.h"

#include <gtest/gtest.h>

namespace {

TEST(TiffLongWordFraction, TextForms)
{
    const std::pair<TTiffLongWordFraction, const char*> cases[] = {
        {{0, 0}, ""}, {{7, 0}, ""}, {{5, 1}, "5"}, {{3456, 100}, "3456/100"}, {{4294967295u, 2}, "4294967295/2"},
    };
    for (const auto& [value, text] : cases)
        EXPECT_EQ(value.AsString(), QString::fromLatin1(text));
    EXPECT_DOUBLE_EQ((TTiffLongWordFraction{3456, 100}).Quotient(), 34.56);
    EXPECT_EQ((TTiffLongWordFraction{1, 0}).Quotient(), 0.0);
}

TEST(DateTimeValue, DaysSinceTheEndOf1899)
{
    const std::pair<QDateTime, double> cases[] = {
        {QDateTime(QDate(1899, 12, 30), QTime(0, 0)), 0.0},
        {QDateTime(QDate(1900, 1, 1), QTime(18, 0)), 2.75},
        {QDateTime(QDate(1899, 12, 29), QTime(6, 0)), -1.25}, // whole days count down, the time up
        {QDateTime(QDate(1, 1, 1), QTime(0, 0)), -693593.0},
    };
    for (const auto& [when, days] : cases) {
        EXPECT_DOUBLE_EQ(DateTimeToDays(when), days) << when.toString().toStdString();
        EXPECT_EQ(DaysToDateTime(days), when);
    }
    const QDateTime shot(QDate(2017, 5, 3), QTime(14, 22, 10, 450));
    EXPECT_EQ(DaysToDateTime(DateTimeToDays(shot)), shot);
    EXPECT_FALSE(DaysToDateTime(kMissingDateTime).isValid());
}

TEST(DateTimeValue, MissingValuesAndTextForm)
{
    TDateTimeTagValue missing;
    EXPECT_TRUE(missing.MissingOrInvalid());
    EXPECT_EQ(missing.AsDateTime(), -700000.0);
    EXPECT_EQ(missing.AsString(), QString());

    TDateTimeTagValue shot{DateTimeToDays(QDateTime(QDate(2017, 5, 3), QTime(14, 22, 10)))};
    EXPECT_FALSE(shot.MissingOrInvalid());
    EXPECT_EQ(shot.AsString(), QStringLiteral("2017/5/3 14:22:10"));
    TDateTimeTagValue midnight{DateTimeToDays(QDateTime(QDate(2017, 5, 3), QTime(0, 0)))};
    EXPECT_EQ(midnight.AsString(), QStringLiteral("2017/5/3"));
}

} // namespace
