#include "core/Helpers.h"

#include <gtest/gtest.h>
#include <QStringList>
#include <vector>

namespace {

struct SplitCase {
    const char* name;
    friend void PrintTo(const SplitCase& c, std::ostream* os) { *os << c.name; }
    QString text;
    QChar separator;
    int capacity;
    int expectedCount;
    QStringList expectedStored;
};

class SplitStrTest : public testing::TestWithParam<SplitCase> {};

TEST_P(SplitStrTest, SplitsByTheRule)
{
    const SplitCase& c = GetParam();
    std::vector<QString> out(static_cast<size_t>(c.capacity), QStringLiteral("untouched"));
    EXPECT_EQ(SplitStr(c.text, out, c.separator), c.expectedCount);
    for (int i = 0; i < c.capacity; ++i) {
        const QString expected = i < c.expectedStored.size() ? c.expectedStored[i] : QStringLiteral("untouched");
        EXPECT_EQ(out[static_cast<size_t>(i)], expected) << "slot " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SplitStrTest,
    testing::Values(
        SplitCase{"empty", "", u',', 4, 0, {}},
        SplitCase{"doubleSeparatorDropsEmpty", "a,,b", u',', 4, 2, {"a", "b"}},
        SplitCase{"separatorsAtEnds", ",a,", u',', 4, 1, {"a"}},
        SplitCase{"spacesStay", " a , b", u',', 4, 2, {" a ", " b"}},
        SplitCase{"spaceAsSeparator", "one two  three", u' ', 4, 3, {"one", "two", "three"}},
        SplitCase{"lineBreaksSplit", "a\r\nb", u',', 4, 2, {"a", "b"}},
        SplitCase{"lineBreaksAtPieceStartSkipped", "\n\ra,\r\n\r\nb\n", u',', 4, 2, {"a", "b"}},
        SplitCase{"quotesGroup", "x'1,2'y,z", u',', 4, 2, {"x'1,2'y", "z"}},
        SplitCase{"doubleQuoteHidesSingle", "\"it's,ok\",b", u',', 4, 2, {"\"it's,ok\"", "b"}},
        SplitCase{"quoteHidesLineBreak", "'a\nb',c", u',', 4, 2, {"'a\nb'", "c"}},
        SplitCase{"unclosedQuoteRunsToEnd", "a'b,c", u',', 4, 1, {"a'b,c"}},
        SplitCase{"surplusCountedNotStored", "1|2|3|4|5", u'|', 4, 5, {"1", "2", "3", "4"}},
        SplitCase{"zeroCapacity", "a,b", u',', 0, 2, {}},
        // U+012C has the low byte of ',' but is an ordinary character.
        SplitCase{"wideCharIsNotASeparator", QString::fromUtf16(u"a\u012Cb,c"), u',', 4, 2,
                  {QString::fromUtf16(u"a\u012Cb"), "c"}},
        SplitCase{"wideSeparatorNeverSplits", QString::fromUtf16(u"a\u4E00b"), QChar(0x4E00), 4, 1,
                  {QString::fromUtf16(u"a\u4E00b")}},
        SplitCase{"chineseTextAtSlash", "遂宁市/船山区/灵泉街道", u'/', 4, 3, {"遂宁市", "船山区", "灵泉街道"}}),
    [](const auto& info) { return std::string(info.param.name); });

struct DmsCase {
    double degrees;
    TGpsinf expected;
};

TEST(DegToDms, TruncatesWithoutRounding)
{
    const DmsCase cases[] = {
        {30.5, {"30", "30", "0"}},
        {104.0673, {"104", "4", "2"}},
        {-0.5, {"0", "-30", "0"}},
        {0.0, {"0", "0", "0"}},
        {30.999999, {"30", "59", "59"}},
        {-104.0673, {"-104", "-4", "-2"}},
        {179.9999, {"179", "59", "59"}},
    };
    for (const DmsCase& c : cases)
        EXPECT_EQ(DegToDms(c.degrees), c.expected) << c.degrees;
}

TEST(DegToDms, NonFiniteValuesGiveZeros)
{
    const TGpsinf zero{"0", "0", "0"};
    EXPECT_EQ(DegToDms(std::numeric_limits<double>::quiet_NaN()), zero);
    EXPECT_EQ(DegToDms(std::numeric_limits<double>::infinity()), zero);
}

TEST(VersionToInt, JoinsTheDigits)
{
    EXPECT_EQ(VersionToInt("1.0.0.1"), 1001);
    EXPECT_EQ(VersionToInt("1.0.10.0"), 10100);
    EXPECT_EQ(VersionToInt("1.1.0.0"), 1100);
    EXPECT_EQ(VersionToInt(" 2.0.0.0\t"), 2000);
}

TEST(VersionToInt, RejectsWhatIsNotAnInteger)
{
    for (const char* bad : {"", "...", "1.0.a.1", "9.9.9.9.9.9.9.9.9.9.9", "1 .0"})
        EXPECT_THROW(VersionToInt(QString::fromUtf8(bad)), ConversionError) << bad;
}

TEST(GetAppVersion, IsTheBuildsFourPartVersion)
{
    EXPECT_EQ(GetAppVersion(), QStringLiteral("1.0.0.1"));
}

TEST(TrimLowChars, TrimsControlCharactersAndSpaceOnly)
{
    const QString padded = QChar(0) + QStringLiteral("\t a b \r\n") + QChar(0x1F);
    EXPECT_EQ(TrimLowChars(padded), QStringLiteral("a b"));
    // The ideographic space is not below U+0021 and stays.
    EXPECT_EQ(TrimLowChars(QString::fromUtf16(u"\u3000x\u3000")), QString::fromUtf16(u"\u3000x\u3000"));
    EXPECT_EQ(TrimLowChars("   "), QString());
}

TEST(ParseInt32, AcceptsDecimalAndHexWithinRange)
{
    EXPECT_EQ(ParseInt32("42"), 42);
    EXPECT_EQ(ParseInt32("-7"), -7);
    EXPECT_EQ(ParseInt32("0x1F"), 31);
    EXPECT_EQ(ParseInt32("2147483647"), INT32_MAX);
    for (const char* bad : {"", "yes", "1.5", "2147483648", "0x", "--1", " 1", "0x-1"})
        EXPECT_EQ(ParseInt32(QString::fromUtf8(bad)), std::nullopt) << bad;
}

TEST(SplitLines, EndsLinesAtCrLfLfOrCr)
{
    const std::tuple<const char*, qsizetype, QStringList> cases[] = {
        {"", -1, {}},
        {"a", -1, {"a"}},
        {"a\n", -1, {"a"}}, // a final break starts no line
        {"a\n\n", -1, {"a", ""}},
        {"a\r\nb\rc\nd", -1, {"a", "b", "c", "d"}},
        {"a\r\r\nb", -1, {"a", "", "b"}},
        {"a\n\rb", -1, {"a", "", "b"}}, // LF CR is two breaks
        {"\n", -1, {""}},
        {"a\nb\nc", 2, {"a", "b"}},
        {"a\nb", 0, {}},
    };
    for (const auto& [text, maxLines, lines] : cases)
        EXPECT_EQ(SplitLines(QString::fromLatin1(text), maxLines), lines) << text << " / " << maxLines;
}

TEST(DecodeTextFile, AByteOrderMarkSelectsTheEncoding)
{
    const QString text = QString::fromUtf16(u"GPS(1,2) 晴");
    QByteArray le("\xFF\xFE", 2);
    QByteArray be("\xFE\xFF", 2);
    for (QChar c : text) {
        le += char(c.unicode() & 0xFF);
        le += char(c.unicode() >> 8);
        be += char(c.unicode() >> 8);
        be += char(c.unicode() & 0xFF);
    }
    for (const QByteArray& bytes : {text.toUtf8(), "\xEF\xBB\xBF" + text.toUtf8(), le, be})
        EXPECT_EQ(DecodeTextFile(bytes), text) << bytes.toHex().toStdString();
}

TEST(LowerAsciiLetters, LowersOnlyAToZ)
{
    EXPECT_EQ(LowerAsciiLetters(QString::fromUtf16(u"P0001.JPG\u00C9")), QString::fromUtf16(u"p0001.jpg\u00C9"));
}

TEST(CoordinateText, FourDecimalsAndNoNegativeZero)
{
    EXPECT_EQ(CoordinateText(104.56784), QStringLiteral("104.5678"));
    EXPECT_EQ(CoordinateText(-70.6), QStringLiteral("-70.6000"));
    EXPECT_EQ(CoordinateText(-0.00001), QStringLiteral("0.0000"));
    EXPECT_EQ(CoordinateText(0.0), QStringLiteral("0.0000"));
}

} // namespace
