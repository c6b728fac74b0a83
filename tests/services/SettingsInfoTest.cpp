#include "services/IniFile.h"
#include "services/SettingsInfo.h"

#include "TestFiles.h"

#include <atomic>
#include <gtest/gtest.h>
#include <thread>

namespace {

TEST(SettingsInfo, DefaultsSectionsAndTheirOrder)
{
    const TSetInfo defaults;
    EXPECT_EQ(defaults.FilePath, QStringLiteral("请先选择路径"));
    EXPECT_EQ(defaults.CityText, QStringLiteral("日期/街道"));
    EXPECT_EQ(defaults.MorenCity, QStringLiteral("遂宁市/船山区/灵泉街道"));
    EXPECT_TRUE(defaults.Scan1 && !defaults.Scan2 && !defaults.Scan3);
    EXPECT_FALSE(defaults.Outck1 || defaults.Outck2);
    EXPECT_TRUE(defaults.VerifyCopies) << "copies are checked unless the user turns it off";

    TempFolder folder;
    IniFile ini(folder.file("Config.dyi"));
    TSetInfo info;
    info.Outck2 = true;
    info.OutPath = "/out";
    info.Scan1 = false;
    info.Scan3 = true;
    info.ScanTime = "2017/05/03 14:22:10";
    info.VerifyCopies = false;
    info.FilePath = "/media/card";
    ASSERT_TRUE(info.saveOptions(ini));
    ASSERT_TRUE(info.save(ini));
    EXPECT_EQ(ReadTextFile(ini.path()),
              QStringLiteral("[Outck1]\nOutck1=0\n[Outck2]\nOutck2=1\n[OutPath]\nOutPath=/out\n[CityText]\nCityText=日期/街道\n"
                             "[MorenCity]\nMorenCity=遂宁市/船山区/灵泉街道\n[CapImagePath]\nCapImagePath=\n[Scan1]\nScan1=0\n"
                             "[Scan2]\nScan2=0\n[Scan3]\nScan3=1\n[ScanTime]\nScanTime=2017/05/03 14:22:10\n[VerifyCopies]\nVerifyCopies=0\n"
                             "[FilePath]\nFilePath=/media/card\n"));
    TSetInfo again;
    again.FilePath = "/stale";
    again.read(ini);
    EXPECT_EQ(again, info);

    TSetInfo fresh;
    fresh.CityText = "stale";
    fresh.read(IniFile(folder.file("none.dyi")));
    EXPECT_EQ(fresh, TSetInfo()) << "read starts from the defaults";
}

TEST(SettingsStore, ASnapshotNeverChangesAndUpdatesPublishANewOne)
{
    SettingsStore store;
    const std::shared_ptr<const TSetInfo> before = store.Snapshot();
    store.Update([](TSetInfo& value) { value.CityText = "城市"; });
    EXPECT_EQ(before->CityText, QStringLiteral("日期/街道")) << "a reader keeps what it took";
    EXPECT_EQ(store.Snapshot()->CityText, QStringLiteral("城市"));

    // Readers on other threads always see a whole value.
    std::atomic<bool> done = false;
    std::thread writer([&] {
        for (int i = 0; i < 2000; ++i)
            store.Update([i](TSetInfo& value) {
                value.OutPath = QString::number(i);
                value.ScanTime = QString::number(i);
            });
        done = true;
    });
    while (!done) {
        const auto value = store.Snapshot();
        ASSERT_EQ(value->OutPath, value->ScanTime);
    }
    writer.join();
}

} // namespace
