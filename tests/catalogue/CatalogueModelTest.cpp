#include "catalogue/CatalogueModel.h"

#include <gtest/gtest.h>

namespace {

TEST(CatalogueKey, JoinsNameAndTimeAndTrimsLowCharacters)
{
    EXPECT_EQ(CatalogueKey("P0001.JPG", "2017/05/03 14:22:10"), QStringLiteral("P0001.JPG2017/05/03 14:22:10"));
    // A name that begins with a space still yields the same key from the row and the record.
    EXPECT_EQ(CatalogueKey(" P0001.JPG", "2017/05/03 14:22:10"), QStringLiteral("P0001.JPG2017/05/03 14:22:10"));
    EXPECT_EQ(CatalogueKey(QStringLiteral("\tP.JPG"), QStringLiteral("2017/05/03 14:22:10") + QChar(0)),
              QStringLiteral("P.JPG2017/05/03 14:22:10"));
    // Case matters.
    EXPECT_NE(CatalogueKey("p0001.jpg", "t"), CatalogueKey("P0001.JPG", "t"));
}

struct FolderCase {
    const char* name;
    friend void PrintTo(const FolderCase& c, std::ostream* os) { *os << c.name; }
    const char* root;
    const char* folder;
    const char* expectedSpath;
    const char* expectedPath; // for file P0001.JPG
};

class RecordFolderTest : public testing::TestWithParam<FolderCase> {};

TEST_P(RecordFolderTest, PathFormsOfTheRecord)
{
    const FolderCase& c = GetParam();
    Listviewdata record;
    record.filename = "P0001.JPG";
    SetRecordFolder(record, QString::fromUtf8(c.folder), QString::fromUtf8(c.root));
    EXPECT_EQ(record.spath, QString::fromUtf8(c.expectedSpath));
    EXPECT_EQ(RecordPath(record), QString::fromUtf8(c.expectedPath));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RecordFolderTest,
    testing::Values(
        FolderCase{"fileInRoot", "/media/card", "/media/card/", "/", "/media/card/P0001.JPG"},
        FolderCase{"fileBelowRoot", "/media/card", "/media/card/100/", "/100/", "/media/card/100/P0001.JPG"},
        FolderCase{"rootEndsWithSlash", "/", "/100/", "100/", "/100/P0001.JPG"},
        FolderCase{"rootWithBlanksAround", "  /media/card \t", "/media/card/100/", "/100/", "/media/card/100/P0001.JPG"},
        FolderCase{"outsideTheRoot", "/media/card", "/home/me/Other/", "/home/me/Other/", "/home/me/Other/P0001.JPG"},
        // The root's text deeper in the path is a folder of its own, not the root.
        FolderCase{"rootTextRepeatsBelow", "/data", "/data/2017/data/", "/2017/data/", "/data/2017/data/P0001.JPG"},
        FolderCase{"rootTextInsideAnotherPath", "/card", "/mnt/card/x/", "/mnt/card/x/", "/mnt/card/x/P0001.JPG"},
        FolderCase{"caseSensitive", "/Media", "/media/100/", "/media/100/", "/media/100/P0001.JPG"},
        FolderCase{"promptInsteadOfRoot", "请先选择路径", "/media/100/", "/media/100/", "/media/100/P0001.JPG"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CatalogueIndex, OwnsRecordsAndReplacesOnTheSameKey)
{
    CatalogueIndex index;
    auto first = std::make_unique<Listviewdata>();
    first->filename = "first";
    index.insert("k", std::move(first));
    auto second = std::make_unique<Listviewdata>();
    second->filename = "second";
    const PListviewdata stored = index.insert("k", std::move(second));

    EXPECT_EQ(index.size(), 1u);
    EXPECT_EQ(index.find("k"), stored);
    EXPECT_EQ(index.find("k")->filename, QStringLiteral("second"));
    EXPECT_EQ(index.find("K"), nullptr);

    index.insert("other", std::make_unique<Listviewdata>());
    EXPECT_TRUE(index.remove("k"));
    EXPECT_FALSE(index.remove("k"));
    EXPECT_EQ(index.find("k"), nullptr);
    index.clear();
    EXPECT_EQ(index.size(), 0u);
}

} // namespace
