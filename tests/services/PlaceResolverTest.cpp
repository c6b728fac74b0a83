#include "services/PlaceResolver.h"

#include "LocalHttpServer.h"

#include <gtest/gtest.h>

namespace {

const QString kSuiningOffline = QStringLiteral("遂宁市 船山区 船山区");
const QString kChengduOffline = QStringLiteral("成都市 武侯区 武侯区");

// The geocoder service as a local server that behaves as the test says, with the web lookup
// the resolver uses counting the questions it asks.
class PlaceResolverTest : public testing::Test {
protected:
    enum class Service { Answers, Busy, SaysNo, HtmlPage, NeverAnswers, Refuses };

    void Run(Service kind)
    {
        held.reset(); // lets the previous server's held answers go before the server ends
        server = std::make_unique<LocalHttpServer>();
        held = std::make_unique<HeldAnswers>();
        asked = 0;
        server->Get("/ws/geocoder/v1/", [this, kind](const httplib::Request& request, httplib::Response& response) {
            switch (kind) {
            case Service::Answers:
                response.set_content(R"({"status":0,"result":{"address_component":{"city":"遂宁市","district":"船山区"},)"
                                     R"("formatted_addresses":{"recommend":"灵泉街道"}}})",
                                     "application/json");
                break;
            case Service::Busy: response.set_content(R"({"status":120})", "application/json"); break;
            case Service::SaysNo: response.set_content(R"({"status":311})", "application/json"); break;
            case Service::HtmlPage: response.set_content("<html>please log in</html>", "text/html"); break;
            case Service::NeverAnswers: held->Handler()(request, response); break;
            case Service::Refuses: break;
            }
        });
        server->Start();
        config.baseUrl = server->BaseUrl();
        if (kind == Service::Refuses)
            server->Stop(); // nothing listens on the port any more
        config.connectTimeoutMs = 300;
        config.totalTimeoutMs = 300;
    }

    PlaceResolver::WebLookup Web()
    {
        return [this](const QString& longitude, const QString& latitude, std::stop_token stop) {
            ++asked;
            return AskWebForPlace(config, longitude, latitude, std::move(stop));
        };
    }

    ~PlaceResolverTest() override { held.reset(); }

    std::unique_ptr<LocalHttpServer> server;
    std::unique_ptr<HeldAnswers> held; // the silent service's answers
    GeocoderConfig config;
    std::atomic<int> asked = 0;
};

TEST_F(PlaceResolverTest, AutoNamesPlacesOfflineWhenTheWebCannotAnswerAndGivesUpOnItForThePass)
{
    const Service kinds[] = {Service::Refuses, Service::NeverAnswers, Service::HtmlPage};
    for (const Service kind : kinds) {
        SCOPED_TRACE(int(kind));
        Run(kind);
        PlaceResolver resolver(GeoMode::Auto, Web());
        const PlaceAnswer first = resolver.Resolve("105.5912", "30.5130");
        EXPECT_EQ(first.place, kSuiningOffline);
        EXPECT_EQ(first.source, PlaceAnswer::Source::Offline);
        EXPECT_TRUE(first.webFailed);
        EXPECT_FALSE(first.Cacheable());

        // The rest of the pass without the web: the service is not asked again.
        EXPECT_EQ(resolver.Resolve("104.0433", "30.6420").place, kChengduOffline);
        ASSERT_TRUE(resolver.ResolveOfflineNow("104.0433", "30.6420"));
        EXPECT_EQ(asked, 1);

        resolver.NewPass(); // the next pass tries the web again
        EXPECT_FALSE(resolver.ResolveOfflineNow("104.0433", "30.6420"));
        resolver.Resolve("104.0433", "30.6420");
        EXPECT_EQ(asked, 2);
    }
}

TEST_F(PlaceResolverTest, AutoKeepsTheWebsAnswersAndItsBusySignal)
{
    Run(Service::Answers);
    PlaceResolver resolver(GeoMode::Auto, Web());
    const PlaceAnswer answer = resolver.Resolve("105.5912", "30.5130");
    EXPECT_EQ(answer.place, QStringLiteral("遂宁市 船山区 灵泉街道"));
    EXPECT_EQ(answer.source, PlaceAnswer::Source::Web);
    EXPECT_TRUE(answer.Cacheable());
    EXPECT_FALSE(resolver.ResolveOfflineNow("105.5912", "30.5130"));
}

TEST_F(PlaceResolverTest, AutoAsksABusyServiceAgainLater)
{
    Run(Service::Busy);
    PlaceResolver resolver(GeoMode::Auto, Web());
    const PlaceAnswer answer = resolver.Resolve("105.5912", "30.5130");
    EXPECT_EQ(answer.place, QStringLiteral("..."));
    EXPECT_FALSE(answer.Cacheable());
    resolver.Resolve("105.5912", "30.5130");
    EXPECT_EQ(asked, 2) << "a busy service is not given up on";
}

TEST_F(PlaceResolverTest, AnAnswerWithoutAPlaceIsNamedOfflineButTheWebIsAskedForTheNext)
{
    Run(Service::SaysNo);
    PlaceResolver resolver(GeoMode::Auto, Web());
    EXPECT_EQ(resolver.Resolve("105.5912", "30.5130").place, kSuiningOffline);
    EXPECT_EQ(resolver.Resolve("104.0433", "30.6420").place, kChengduOffline);
    EXPECT_EQ(asked, 2);
}

TEST_F(PlaceResolverTest, WebModeIsTodaysBehaviourAndOfflineModeNeverAsksTheWeb)
{
    Run(Service::Refuses);
    PlaceResolver web(GeoMode::Web, Web());
    const PlaceAnswer failed = web.Resolve("105.5912", "30.5130");
    EXPECT_EQ(failed.place, QStringLiteral("未知"));
    EXPECT_FALSE(failed.Cacheable());
    web.Resolve("105.5912", "30.5130");
    EXPECT_EQ(asked, 2) << "every cell asks";
    EXPECT_FALSE(web.ResolveOfflineNow("105.5912", "30.5130"));

    asked = 0;
    PlaceResolver offline(GeoMode::Offline, Web());
    EXPECT_FALSE(offline.ResolveOfflineNow("105.5912", "30.5130")) << "until the data is known to be loaded";
    const PlaceAnswer answer = offline.Resolve("105.5912", "30.5130");
    EXPECT_EQ(answer.place, kSuiningOffline);
    EXPECT_FALSE(answer.webFailed);
    ASSERT_TRUE(offline.ResolveOfflineNow("104.0433", "30.6420"));
    EXPECT_EQ(offline.ResolveOfflineNow("104.0433", "30.6420")->place, kChengduOffline);
    EXPECT_EQ(asked, 0);
}

TEST_F(PlaceResolverTest, WithoutOfflineDataAutoAsksTheWebAsBeforeAndSaysWhy)
{
    Run(Service::Refuses);
    const auto missing = [] { return OfflinePlaceData{nullptr, QStringLiteral("找不到离线地名数据 /x/places.dat")}; };
    PlaceResolver resolver(GeoMode::Auto, Web(), missing);
    const PlaceAnswer answer = resolver.Resolve("105.5912", "30.5130");
    EXPECT_EQ(answer.place, QStringLiteral("未知"));
    EXPECT_EQ(answer.source, PlaceAnswer::Source::None);
    EXPECT_EQ(answer.offlineError, QStringLiteral("找不到离线地名数据 /x/places.dat"));
    resolver.Resolve("104.0433", "30.6420");
    EXPECT_EQ(asked, 2) << "no offline answer to fall back on: each cell asks the web";
    EXPECT_FALSE(resolver.ResolveOfflineNow("104.0433", "30.6420"));
}

} // namespace
