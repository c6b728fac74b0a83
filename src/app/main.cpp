#include "app/ProgramWindows.h"
#include "app/QtChinese.h"
#include "catalogue/HeadlessScan.h"
#include "resources/Icons.h"
#include "services/AppPaths.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTextStream>
#include <cstring>

namespace {

// True when the command line asks for work without a window.
bool WantsConsole(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
        for (const char* option : {"--scan", "--places", "--offline", "--export", "--help", "-h", "--version", "-v"})
            if (std::strcmp(argv[i], option) == 0)
                return true;
    return false;
}

int RunConsole(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("orvek-file"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ORVEK_VERSION_TEXT));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("ORVEK-FILE: 整理无人机拍摄的照片和视频。不带参数时打开窗口。"));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption scan(QStringLiteral("scan"),
                                  QStringLiteral("扫描 ROOT 下的照片和视频，不打开窗口；每个文件输出一行，以制表符分隔："
                                                 "路径、类型、大小(MB)、位置(经度,纬度)、拍摄时间。"),
                                  QStringLiteral("ROOT"));
    parser.addOption(scan);
    const QCommandLineOption places(QStringLiteral("places"),
                                    QStringLiteral("与 --scan 一起使用：查询每个位置的地名（先查本地缓存，再联网，"
                                                   "联网查不到时用离线数据），作为第六列输出（一次只发一个请求）。"));
    parser.addOption(places);
    const QCommandLineOption offline(QStringLiteral("offline"),
                                     QStringLiteral("与 --places 或 --export 一起使用：只用离线数据查询地名，不联网"
                                                    "（地名为城市和区县，没有街道）。"));
    parser.addOption(offline);
    const QCommandLineOption exportTo(QStringLiteral("export"),
                                      QStringLiteral("扫描 ROOT，查询地名，按 Config.dyi 的命名规则(CityText、MorenCity)"
                                                     "把所有文件导出到 OUT；每个文件输出一行，有失败时退出码不为 0。"
                                                     "用法：--export ROOT OUT"),
                                      QStringLiteral("ROOT"));
    parser.addOption(exportTo);
    parser.addPositionalArgument(QStringLiteral("OUT"), QStringLiteral("--export 的目标文件夹"), QStringLiteral("[OUT]"));
    parser.process(app);
    QTextStream out(stdout);
    QTextStream err(stderr);
    HeadlessScanOptions options;
    options.places = parser.isSet(places);
    options.offline = parser.isSet(offline);
    options.settingsFolder = SettingsDir();
    if (parser.isSet(exportTo)) {
        if (parser.positionalArguments().size() != 1)
            parser.showHelp(1);
        return RunHeadlessExport(parser.value(exportTo), parser.positionalArguments().front(), options, out, err);
    }
    if (!parser.isSet(scan)) {
        parser.showHelp(1);
    }
    return RunHeadlessScan(parser.value(scan), options, out, err);
}

} // namespace

int main(int argc, char* argv[])
{
    if (WantsConsole(argc, argv))
        return RunConsole(argc, argv);

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ORVEK-FILE"));
    QApplication::setWindowIcon(ProgramIcon());
    InstallQtChinese(app);

    ProgramWindows windows(SettingsDir());
    windows.show();
    return QApplication::exec();
}
