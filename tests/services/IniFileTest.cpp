#include "services/IniFile.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

namespace {

class IniFileTest : public testing::Test {
protected:
    TempFolder folder;
    QString path = folder.file("Config.dyi");
    IniFile ini{path};
};

TEST_F(IniFileTest, MissingFileSectionOrKeyGivesTheDefault)
{
    EXPECT_EQ(ini.ReadString("CityText", "CityText", "日期/街道"), QStringLiteral("日期/街道"));
    ASSERT_TRUE(ini.WriteString("CityText", "CityText", "x"));
    EXPECT_EQ(ini.ReadString("Other", "Other", "d"), QStringLiteral("d"));
    EXPECT_EQ(ini.ReadString("CityText", "Nope", "d"), QStringLiteral("d"));
}

TEST_F(IniFileTest, OneSectionPerValueInTheOrderWritten)
{
    ASSERT_TRUE(ini.WriteBool("Scan1", "Scan1", true));
    ASSERT_TRUE(ini.WriteString("CityText", "CityText", "日期/城市+区县"));
    ASSERT_TRUE(ini.WriteInteger("Count", "Count", -12));
    ASSERT_TRUE(ini.WriteBool("Scan1", "Scan1", false)); // rewrite keeps its place
    EXPECT_EQ(ReadTextFile(path), QStringLiteral("[Scan1]\nScan1=0\n[CityText]\nCityText=日期/城市+区县\n[Count]\nCount=-12\n"));
}

TEST_F(IniFileTest, ValuesRoundTripUnchanged)
{
    const QString values[] = {
        "", "plain", "  spaces at both ends  ", "\"quoted\"", "'single'", "a=b=c", "[not a section]",
        "; not a comment", "遂宁市/船山区/灵泉街道", QString::fromUtf16(u"\U0001F680 rocket"),
    };
    for (const QString& value : values) {
        ASSERT_TRUE(ini.WriteString("Key", "Key", value));
        EXPECT_EQ(ini.ReadString("Key", "Key", "default"), value);
    }
}

TEST_F(IniFileTest, LineBreaksInAValueCannotBreakTheFile)
{
    ASSERT_TRUE(ini.WriteString("A", "A", "one\ntwo\r\n[B]"));
    ASSERT_TRUE(ini.WriteString("B", "B", "b"));
    EXPECT_EQ(ini.ReadString("A", "A", ""), QStringLiteral("one two  [B]"));
    EXPECT_EQ(ini.ReadString("B", "B", ""), QStringLiteral("b"));
}

TEST_F(IniFileTest, ReadsFilesWrittenByHandOrByOtherTools)
{
    WriteTextFile(path, QString::fromUtf8("\xEF\xBB\xBF; settings\r\n[ scan2 ]\r\n  SCAN2 = 1 \r\n\r\n[OutPath]\r\nOutPath=\"C:\\Out \"\r\n"));
    EXPECT_TRUE(ini.ReadBool("Scan2", "Scan2", false));
    EXPECT_EQ(ini.ReadString("OutPath", "OutPath", ""), QStringLiteral("C:\\Out "));
    // A new key in an existing section goes into that section, after its last entry.
    ASSERT_TRUE(ini.WriteString("scan2", "Extra", "e"));
    EXPECT_EQ(ini.ReadString("Scan2", "Extra", ""), QStringLiteral("e"));
    EXPECT_EQ(ini.ReadString("OutPath", "OutPath", ""), QStringLiteral("C:\\Out "));
}

TEST_F(IniFileTest, IntegersAndBooleansFallBackToTheDefault)
{
    struct Case {
        const char* stored;
        qint32 asInteger; // read with default 77
        bool asBool;      // read with default true
    };
    const Case cases[] = {
        {"1", 1, true}, {"0", 0, false}, {"-3", -3, true}, {"0x10", 16, true}, {" 5 ", 5, true},
        {"yes", 77, true}, {"", 77, true}, {"1.5", 77, true}, {"99999999999", 77, true},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(ini.WriteString("V", "V", QString::fromUtf8(c.stored)));
        EXPECT_EQ(ini.ReadInteger("V", "V", 77), c.asInteger) << c.stored;
        EXPECT_EQ(ini.ReadBool("V", "V", true), c.asBool) << c.stored;
    }
    ASSERT_TRUE(ini.WriteString("V", "V", "yes"));
    EXPECT_FALSE(ini.ReadBool("V", "V", false));
}

TEST_F(IniFileTest, LongValuesComeBackAsTheirFirst2047Characters)
{
    const QString value(3000, u'x');
    ASSERT_TRUE(ini.WriteString("Long", "Long", value));
    EXPECT_EQ(ini.ReadString("Long", "Long", ""), value.left(2047));

    // A cut that would split a surrogate pair drops the half character.
    const QString rockets = QString(2046, u'a') + QString::fromUtf16(u"\U0001F680\U0001F680");
    ASSERT_TRUE(ini.WriteString("Long", "Long", rockets));
    EXPECT_EQ(ini.ReadString("Long", "Long", ""), QString(2046, u'a'));
}

TEST_F(IniFileTest, ARefusedWriteReportsFailureAndChangesNothing)
{
    IniFile nowhere(folder.file("missing-folder/Config.dyi"));
    EXPECT_FALSE(nowhere.WriteString("A", "A", "a"));

    IniFile onAFolder(folder.path()); // the path names a folder, not a file
    EXPECT_FALSE(onAFolder.WriteString("A", "A", "a"));
}

} // namespace
