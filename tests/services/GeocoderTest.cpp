#include "services/Geocoder.h"
#include "services/HttpClient.h"
#include "services/IniFile.h"

#include "LocalHttpServer.h"
#include "TestFiles.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>

namespace {

std::string Answer(int status, const std::string& result)
{
    return "{\"status\":" + std::to_string(status) + ",\"message\":\"query ok\",\"result\":" + result + "}";
}

const std::string kResolved = R"({"address_component":{"nation":"中国","province":"四川省","city":"遂宁市",)"
                              R"("district":"船山区","street":"明月路"},"formatted_addresses":{"recommend":"灵泉街道",)"
                              R"("rough":"船山区"},"location":{"lat":30.513,"lng":105.5912}})";

class GeocoderTest : public testing::Test {
protected:
    void Serve(const std::string& body, const char* type = "application/json", int status = 200)
    {
        server.Get("/ws/geocoder/v1/", [=](const httplib::Request&, httplib::Response& response) {
            response.status = status;
            response.set_content(body, type);
        });
        server.Start();
        config.baseUrl = server.BaseUrl();
    }

    LocalHttpServer server;
    GeocoderConfig config;
};

TEST_F(GeocoderTest, AsksWithLatitudeFirstAndJoinsCityDistrictAndStreet)
{
    Serve(Answer(0, kResolved));
    EXPECT_EQ(GetPlaceName(config, "105.5912", "30.5130"), QStringLiteral("遂宁市 船山区 灵泉街道"));
    ASSERT_EQ(server.Targets().size(), 1);
    EXPECT_EQ(server.Targets()[0],
              "/ws/geocoder/v1/?location=30.5130,105.5912&get_poi=0&key=QXTRM-B48KD-W7ZP3-N2HVA-9GJ6L-E5YUC");
    EXPECT_EQ(server.UserAgents()[0], QStringLiteral("Mozilla/5.0"));
}

TEST(PlaceFromAnswer, TheThreeFormsOfAnswer)
{
    const std::pair<std::string, const char*> cases[] = {
        {Answer(0, kResolved), "遂宁市 船山区 灵泉街道"},
        {Answer(120, "{}"), "..."},
        {Answer(311, "{}"), "未知"},
        {Answer(0, R"({"address_component":{"city":"A","district":"B"}})"), "未知"}, // no formatted_addresses
        {Answer(0, R"({"address_component":{"city":12,"district":3.5},"formatted_addresses":{"recommend":true}})"),
         "12 3.5 true"},
        {Answer(0, R"({"address_component":{"city":" A ","district":""},"formatted_addresses":{"recommend":"C"}})"),
         " A   C"},
        {R"({"status":"0"})", "未知"},
        {R"({"message":"no status"})", "未知"},
        {"<html><body>404 Not Found</body></html>", "未知"},
        {"", "未知"},
        {"[1,2,3]", "未知"},
    };
    for (const auto& [body, place] : cases)
        EXPECT_EQ(PlaceFromAnswer(QString::fromStdString(body)), QString::fromUtf8(place)) << body;
}

TEST(ReadServiceAnswer, TellsAnAnswerWithoutAPlaceFromNoAnswerAtAll)
{
    const std::pair<std::string, WebOutcome> cases[] = {
        {Answer(0, kResolved), WebOutcome::Place},
        {Answer(120, "{}"), WebOutcome::Busy},
        {Answer(311, "{}"), WebOutcome::NoPlace}, // the service said no (a bad key, say)
        {Answer(0, R"({"address_component":{"city":"A","district":"B"}})"), WebOutcome::NoPlace},
        {R"({"message":"no status"})", WebOutcome::Unreachable}, // not the service's JSON
        {"<html><body>Welcome to the hotel network</body></html>", WebOutcome::Unreachable},
        {"", WebOutcome::Unreachable},
    };
    for (const auto& [body, outcome] : cases)
        EXPECT_EQ(ReadServiceAnswer(QString::fromStdString(body)).outcome, outcome) << body;
}

TEST_F(GeocoderTest, AnHtmlErrorPageIsUnknown)
{
    Serve("<html><body>Not Found</body></html>", "text/html", 404);
    EXPECT_EQ(GetPlaceName(config, "105.5912", "30.5130"), QStringLiteral("未知"));
}

TEST_F(GeocoderTest, RedirectsAreFollowed)
{
    server.Get("/moved/ws/geocoder/v1/", [](const httplib::Request&, httplib::Response& response) {
        response.set_content(Answer(0, kResolved), "application/json");
    });
    server.Get("/ws/geocoder/v1/", [this](const httplib::Request& request, httplib::Response& response) {
        response.set_redirect("/moved" + request.target);
    });
    server.Start();
    config.baseUrl = server.BaseUrl();
    EXPECT_EQ(GetPlaceName(config, "105.5912", "30.5130"), QStringLiteral("遂宁市 船山区 灵泉街道"));
    EXPECT_EQ(server.Targets().size(), 2);
}

TEST_F(GeocoderTest, AServerThatNeverAnswersTimesOutAsUnknown)
{
    HeldAnswers held;
    server.Get("/ws/geocoder/v1/", held.Handler(Answer(0, kResolved)));
    server.Start();
    config.baseUrl = server.BaseUrl();
    config.totalTimeoutMs = 300;
    QElapsedTimer waited;
    waited.start();
    EXPECT_EQ(GetPlaceName(config, "105.5912", "30.5130"), QStringLiteral("未知"));
    EXPECT_LT(waited.elapsed(), 2500);
}

TEST_F(GeocoderTest, AStopRequestEndsTheLookupAtOnce)
{
    HeldAnswers held;
    server.Get("/ws/geocoder/v1/", held.Handler());
    server.Start();
    config.baseUrl = server.BaseUrl();
    std::stop_source stop;
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        stop.request_stop();
    });
    EXPECT_EQ(GetPlaceName(config, "1", "2", stop.get_token()), QStringLiteral("未知"));
    stopper.join();
}

TEST(GeocoderConfig, AddressAndKeyComeFromTheSettingsFileWhenThere)
{
    TempFolder folder;
    IniFile ini(folder.file("Config.dyi"));
    const GeocoderConfig defaults = ReadGeocoderConfig(ini);
    EXPECT_EQ(defaults.baseUrl, QStringLiteral("https://apis.map.qq.com"));
    EXPECT_EQ(defaults.key, QStringLiteral("QXTRM-B48KD-W7ZP3-N2HVA-9GJ6L-E5YUC"));
    WriteTextFile(ini.path(), "[GeoServiceUrl]\nGeoServiceUrl=http://localhost:8080/\n[GeoServiceKey]\nGeoServiceKey=MYKEY\n");
    const GeocoderConfig mine = ReadGeocoderConfig(ini);
    EXPECT_EQ(GeocoderUrl(mine, "104.1", "30.2"), QStringLiteral("http://localhost:8080/ws/geocoder/v1/?location=30.2,104.1&get_poi=0&key=MYKEY"));
}

TEST(GeocoderConfig, TheModeComesFromTheSettingsFileAndIsNeverWritten)
{
    TempFolder folder;
    IniFile ini(folder.file("Config.dyi"));
    const std::pair<const char*, GeoMode> cases[] = {
        {nullptr, GeoMode::Auto}, {"auto", GeoMode::Auto},     {"web", GeoMode::Web}, {" Offline ", GeoMode::Offline},
        {"OFFLINE", GeoMode::Offline}, {"sometimes", GeoMode::Auto}, {"", GeoMode::Auto},
    };
    for (const auto& [text, mode] : cases) {
        const QString contents = text ? QStringLiteral("[GeoMode]\nGeoMode=%1\n").arg(QString::fromUtf8(text)) : QString();
        WriteTextFile(ini.path(), contents);
        EXPECT_EQ(ReadGeocoderConfig(ini).mode, mode) << (text ? text : "(no section)");
        EXPECT_EQ(ReadTextFile(ini.path()), contents);
    }
}

TEST(HttpGet, DecodesUtf8OrGbkAndFailsQuietly)
{
    LocalHttpServer server;
    server.Get("/gbk", [](const httplib::Request&, httplib::Response& response) {
        response.set_content(std::string("\xD6\xD0\xCE\xC4", 4), "text/plain"); // 中文 in GBK
    });
    server.Get("/utf8", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("中文", "text/plain");
    });
    server.Get("/broken", [](const httplib::Request&, httplib::Response& response) {
        response.set_content(std::string("\xFF\xFE\xFD", 3), "text/plain");
    });
    server.Start();
    EXPECT_EQ(HttpGet(server.BaseUrl() + "/gbk", true), QStringLiteral("中文"));
    EXPECT_EQ(HttpGet(server.BaseUrl() + "/utf8", false), QStringLiteral("中文"));
    EXPECT_EQ(HttpGet(server.BaseUrl() + "/broken", false), QString()) << "not UTF-8";
    EXPECT_EQ(HttpGet(server.BaseUrl() + "/broken", true), QString()) << "not GBK";
    EXPECT_EQ(HttpGet(server.BaseUrl() + "/missing", false), QString()) << "404";
    EXPECT_EQ(HttpGet("file:///etc/passwd", false), QString()) << "only http and https";
    server.Stop();
    EXPECT_EQ(HttpGet(server.BaseUrl() + "/utf8", false), QString()) << "nobody listening";
}

} // namespace
