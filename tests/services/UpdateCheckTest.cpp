// The update manifest, the choice of dialog and what the answers store.

#include "core/Helpers.h"
#include "services/IniFile.h"
#include "services/LocationCache.h"
#include "services/UpdateCheck.h"

#include "QtPrinters.h"
#include "TestFiles.h"
#include "UpdateManifests.h"

#include <QRegularExpression>
#include <gtest/gtest.h>

namespace {

TEST(ParseUpdateInfo, ReadsEveryMemberAsTextAndTheFilesInTheirOrder)
{
    const QString body = QStringLiteral(
        R"({"VERSION":{"TIME":20261201,"VERSION":"1.0.0.2","FORCEUPDATE":"1.0.0.0","TEXT":"新功能#修复"},)"
        R"("Notice":{"ID":7,"TIMEOUT":5,"TEXT":"通知"},"Extra":true,)"
        R"("File":{"zeta.bin":{"TIME":"t1","MD5":"m1"},"alpha.bin":{"TIME":"t2","MD5":"m2","SIZE":3}}})");
    TUPdateInfo info;
    ASSERT_TRUE(ParseUpdateInfo(body, info));
    EXPECT_EQ(info.Text, body);
    EXPECT_EQ(info.Version, (TIdandNr{"20261201", "1.0.0.2", "1.0.0.0", "新功能#修复"}));
    EXPECT_EQ(info.Notice, (TIdandNr{"7", "5", "通知", {}})) << "numbers give their decimal text";
    ASSERT_EQ(info.FILELIST.size(), 2);
    EXPECT_EQ(info.FILELIST[0], (TIdandNr{"t1", "m1", "zeta.bin", {}})) << "the body's order, not sorted";
    EXPECT_EQ(info.FILELIST[1], (TIdandNr{"t2", "m2", "alpha.bin", {}}));
}

TEST(ParseUpdateInfo, UnreadableManifests)
{
    const QString complete = ManifestJson({});
    struct Case {
        const char* what;
        QString body;
    } cases[] = {
        {"empty", ""},
        {"not JSON", "<html>404</html>"},
        {"an array", "[1,2]"},
        {"empty File object", QString(complete).replace(QRegularExpression(R"("File":\{.*\}\}$)"), R"("File":{}})")},
        {"File not an object", QString(complete).replace(QRegularExpression(R"("File":\{.*\}\}$)"), R"("File":["a"]})")},
        {"a file without MD5", QString(complete).replace(R"(,"MD5":"0cc175b9c0f1b6a831c399e269772661")", "")},
        {"no File", QString(complete).replace(QRegularExpression(R"(,"File":\{.*\}\}$)"), "}")},
        {"no Notice.TIMEOUT", QString(complete).replace(R"("TIMEOUT":"",)", "")},
        {"VERSION.VERSION null", QString(complete).replace(R"("VERSION":"1.0.0.1")", R"("VERSION":null)")},
        {"no VERSION", QString(complete).replace(QRegularExpression(R"("VERSION":\{[^}]*\},)"), "")},
    };
    for (const Case& c : cases) {
        ASSERT_NE(c.body, complete) << c.what << ": the case must change the manifest";
        TUPdateInfo info;
        EXPECT_FALSE(ParseUpdateInfo(c.body, info)) << c.what;
    }
    TUPdateInfo info;
    EXPECT_TRUE(ParseUpdateInfo(complete, info)) << "the base of the cases is readable";
}

TEST(ReadUpdateInfo, FetchesTheGbkManifestFromTheFixedPath)
{
    ManifestServer server;
    ManifestFacts facts;
    facts.version = "1.0.0.2";
    facts.notes = "全新的界面#更快的导出";
    server.Serve(facts);
    TUPdateInfo info;
    ASSERT_TRUE(ReadUpdateInfo(info, server.ManifestUrl()));
    EXPECT_EQ(info.Version.NR, QStringLiteral("1.0.0.2"));
    EXPECT_EQ(info.Version.NR3, QStringLiteral("全新的界面#更快的导出")) << "GBK decoded";

    EXPECT_FALSE(ReadUpdateInfo(info, server.SiteUrl() + "/elsewhere/Json.txt")) << "404";
    EXPECT_FALSE(ReadUpdateInfo(info, "http://127.0.0.1:1/rezuvadev/Json.txt")) << "nobody listening";
}

TEST(ManifestUrl, TheSiteFromTheSettingsWithTheFixedPath)
{
    TempFolder folder;
    IniFile settings(folder.file("Config.dyi"));
    EXPECT_EQ(ManifestUrl(settings), QString()) << "no section: no check";
    const struct {
        QString site;
        QString url;
    } cases[] = {
        {"http://updates.example", "http://updates.example/rezuvadev/Json.txt"},
        {"http://updates.example/", "http://updates.example/rezuvadev/Json.txt"},
        {" http://h:8080 ", "http://h:8080/rezuvadev/Json.txt"},
        {"http://h/rezuvadev/Json.txt", "http://h/rezuvadev/Json.txt"},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(settings.WriteString("UpdateUrl", "UpdateUrl", c.site));
        EXPECT_EQ(ManifestUrl(settings), c.url) << c.site.toStdString();
    }
}

TEST(MemoLines, HashesAndLineBreaksSeparateTrimmedLines)
{
    const struct {
        QString text;
        QStringList lines;
    } cases[] = {
        {"第一行#第二行##  第三行 ", {"第一行", "第二行", "第三行"}},
        {"a\r\nb\rc\nd", {"a", "b", "c", "d"}},
        {"\"x#y\"#z", {"\"x#y\"", "z"}},
        {"", {}},
        {"###", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MemoLines(c.text), c.lines) << c.text.toStdString();
}

class UpdateChoiceTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(OpenCacheDb(folder.file("Cha.mdb")).outcome, CacheOpenOutcome::Created); }
    void TearDown() override { CloseCacheDb(); }
    static TUPdateInfo Info(const ManifestFacts& facts)
    {
        TUPdateInfo info;
        EXPECT_TRUE(ParseUpdateInfo(ManifestJson(facts), info));
        return info;
    }
    static QString Stored(const QString& key)
    {
        QString value;
        QueryValue(key, "INFO", value);
        return value;
    }
    TempFolder folder;
};

TEST_F(UpdateChoiceTest, OneDialogAtMostAndTheRememberedAnswersHideIt)
{
    ManifestFacts facts;
    EXPECT_FALSE(ChooseUpdateDialog(Info(facts), "1.0.0.1")) << "same version, no notice";

    facts.timeout = "5";
    auto request = ChooseUpdateDialog(Info(facts), "1.0.0.1");
    ASSERT_TRUE(request);
    EXPECT_EQ(request->TType, ctTip);
    EXPECT_EQ(request->HH, (TIdandNr{"N1", "5", facts.noticeText, {}}));

    facts.version = "1.0.0.2";
    request = ChooseUpdateDialog(Info(facts), "1.0.0.1");
    ASSERT_TRUE(request);
    EXPECT_EQ(request->TType, ctUpdate) << "an update hides the notice";
    EXPECT_EQ(request->HH, (TIdandNr{"1.0.0.2", facts.notes, "1.0.0.0", {}}));

    facts.version = "0.9.0.0";
    request = ChooseUpdateDialog(Info(facts), "1.0.0.1");
    ASSERT_TRUE(request);
    EXPECT_EQ(request->TType, ctUpdate) << "an older version on the server is offered too";

    // "不再提示": the version is remembered; the notice may show instead.
    facts.version = "1.0.0.2";
    OnDlgAnswer(ctKCancle, {"1.0.0.2", {}, {}, {}}, {});
    EXPECT_EQ(Stored("CancleVersion"), QStringLiteral("1.0.0.2"));
    request = ChooseUpdateDialog(Info(facts), "1.0.0.1");
    ASSERT_TRUE(request) << "the ignored version gives way to the notice";
    EXPECT_EQ(request->TType, ctTip);
    EXPECT_EQ(request->HH.ID, QStringLiteral("N1"));
    OnDlgAnswer(ctKOk, request->HH, {});
    EXPECT_FALSE(ChooseUpdateDialog(Info(facts), "1.0.0.1")) << "ignored version, notice seen: nothing";

    // A newer version is offered again.
    facts.version = "1.0.0.3";
    request = ChooseUpdateDialog(Info(facts), "1.0.0.1");
    ASSERT_TRUE(request);
    EXPECT_EQ(request->HH.ID, QStringLiteral("1.0.0.3"));

    // OK on the notice stores its ID; a new ID shows again.
    facts.version = "1.0.0.1";
    OnDlgAnswer(ctKOk, {"N1", "5", {}, {}}, {});
    EXPECT_EQ(Stored("AppNotice"), QStringLiteral("N1"));
    EXPECT_FALSE(ChooseUpdateDialog(Info(facts), "1.0.0.1"));
    facts.noticeId = "N2";
    EXPECT_TRUE(ChooseUpdateDialog(Info(facts), "1.0.0.1"));
}

TEST_F(UpdateChoiceTest, AnswersStoreWhatTheyShould)
{
    QStringList balloons;
    const auto balloon = [&](const QString& text) { balloons << text; };
    OnDlgAnswer(ctKNextTip, {"1.0.0.5", {}, {}, {}}, balloon);
    EXPECT_EQ(Stored("CancleVersion"), QString());
    EXPECT_TRUE(balloons.isEmpty());

    OnDlgAnswer(ctKCancle, {"1.0.0.5", {}, {}, {}}, balloon);
    EXPECT_EQ(Stored("CancleVersion"), QStringLiteral("1.0.0.5"));
    EXPECT_EQ(balloons, QStringList{"你已忽略了版本1.0.0.5的更新,直到下个版本更新前都不再提醒你更新"});

    OnDlgAnswer(ctKOk, {"it's \"7\"", {}, {}, {}}, balloon);
    EXPECT_EQ(Stored("AppNotice"), QStringLiteral("it's \"7\"")) << "quotes stored unchanged";
}

TEST_F(UpdateChoiceTest, TheBackgroundCheckAsksForTheDialogOnlyWhenThereIsOne)
{
    ManifestServer server;
    QList<TdlgAndMe> shown;
    const auto show = [&](const TdlgAndMe& request) { shown << request; };
    ManifestFacts facts;
    facts.version = GetAppVersion();
    server.Serve(facts);
    CheckUpdateTask(server.ManifestUrl(), {}, show);
    EXPECT_TRUE(shown.isEmpty());

    server.Serve(QStringLiteral("not a manifest"));
    CheckUpdateTask(server.ManifestUrl(), {}, show);
    EXPECT_TRUE(shown.isEmpty());

    facts.version = "9.0.0.0";
    server.Serve(facts);
    CheckUpdateTask(server.ManifestUrl(), {}, show);
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].HH.ID, QStringLiteral("9.0.0.0"));

    std::stop_source stopped;
    stopped.request_stop();
    CheckUpdateTask(server.ManifestUrl(), stopped.get_token(), show);
    EXPECT_EQ(shown.size(), 1) << "a stopped check shows nothing";
}

} // namespace
