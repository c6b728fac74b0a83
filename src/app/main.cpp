#include "app/ProgramWindows.h"
#include "app/QtChinese.h"
#include "app/TerminationSignals.h"
#include "catalogue/MainWindow.h"
#include "catalogue/HeadlessScan.h"
#include "export/ExportVerify.h"
#include "preview/FlightLogCommand.h"
#include "resources/Icons.h"
#include "services/AppPaths.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QTimer>
#include <QTextStream>
#include <cstring>

namespace {

// True when the command line holds one of our options: each is work without a window, and an
// unknown one is a mistake said without opening one. Qt's own single-dash options ("-platform",
// "-style") still reach the window.
bool WantsConsole(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "--", 2) == 0 || std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "-v") == 0
            || std::strcmp(argv[i], "-?") == 0)
            return true;
    return false;
}

// The options of work without a window; value is empty for a switch.
struct ConsoleOption {
    const char* name;
    const char* help;
    const char* value;
};
constexpr ConsoleOption kConsoleOptions[] = {
    {"scan", "扫描 ROOT 下的照片和视频，不打开窗口；每个文件输出一行，以制表符分隔：路径、类型、大小(MB)、位置(经度,纬度)、拍摄时间。",
     "ROOT"},
    {"places", "与 --scan 一起使用：查询每个位置的地名（先查本地缓存，再联网，联网查不到时用离线数据），作为第六列输出（一次只发一个请求）。",
     ""},
    {"offline", "与 --places、--export 或 --flight-log 一起使用：只用离线数据查询地名，不联网（地名为城市和区县，没有街道）。", ""},
    {"export", "扫描 ROOT，查询地名，按 Config.dyi 的命名规则(CityText、MorenCity)把所有文件导出到 OUT；每个文件输出一行，"
               "有失败时退出码不为 0。用法：--export ROOT OUT",
     "ROOT"},
    {"flight-log", "读取飞行记录 LOG（视频旁的 .SRT 文件），每秒输出一行，以制表符分隔：播放秒数、时间、经度、纬度、"
                   "离起飞点距离(米)、高度(米)、地名。",
     "LOG"},
    {"gpx", "与 --flight-log 一起使用：同时把航迹写成 GPX 1.1 文件 OUT.gpx，供地图软件打开。", "OUT.gpx"},
    {"verify", "按 OUT/ascmhl 中的校验记录重新读取导出的每个文件并核对 XXH64；每个文件输出一行：正确、不一致、缺失或未记录，"
               "并把这次检查记入校验记录。全部正确时退出码为 0。",
     "OUT"},
};

int RunConsole(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("ORVEK-FILE"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ORVEK_VERSION_TEXT));
    InstallQtChinese(app); // the parser's own texts ("--help") in Chinese too
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("ORVEK-FILE: 整理无人机拍摄的照片和视频。不带参数时打开窗口。"));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    for (const ConsoleOption& option : kConsoleOptions)
        parser.addOption(QCommandLineOption(QString::fromLatin1(option.name), QString::fromUtf8(option.help),
                                            QString::fromLatin1(option.value)));
    parser.addPositionalArgument(QStringLiteral("FOLDER"),
                                 QStringLiteral("不带选项时：打开窗口并列出这个文件夹（例如存储卡）；与 --export 一起时：目标文件夹 OUT。"),
                                 QStringLiteral("[FOLDER]"));
    QTextStream out(stdout);
    QTextStream err(stderr);
    const auto mistake = [&](const QString& what) {
        err << what << Qt::endl << QStringLiteral("用 orvek-file --help 查看所有选项。") << Qt::endl;
        return 2;
    };
    if (!parser.parse(app.arguments())) {
        const QStringList unknown = parser.unknownOptionNames();
        return mistake(unknown.isEmpty() ? parser.errorText()
                                         : QStringLiteral("未知的选项：%1").arg(unknown.join(QStringLiteral("、"))));
    }
    if (parser.isSet(help))
        parser.showHelp(0);
    if (parser.isSet(version))
        parser.showVersion();
    HeadlessScanOptions options;
    options.places = parser.isSet(QStringLiteral("places"));
    options.offline = parser.isSet(QStringLiteral("offline"));
    options.settingsFolder = SettingsDir();
    if (parser.isSet(QStringLiteral("flight-log"))) {
        const HeadlessGeocoding geocoding(options);
        return RunFlightLogCommand(parser.value(QStringLiteral("flight-log")), parser.value(QStringLiteral("gpx")),
                                   CachedPlaceLookup(), out, err);
    }
    if (parser.isSet(QStringLiteral("gpx")))
        return mistake(QStringLiteral("--gpx 要与 --flight-log 一起使用。"));
    if (parser.isSet(QStringLiteral("export"))) {
        if (parser.positionalArguments().size() != 1)
            return mistake(QStringLiteral("--export 需要来源文件夹和目标文件夹：--export ROOT OUT"));
        return RunHeadlessExport(parser.value(QStringLiteral("export")), parser.positionalArguments().front(), options,
                                 out, err);
    }
    if (parser.isSet(QStringLiteral("verify")))
        return RunVerifyCommand(parser.value(QStringLiteral("verify")), out, err);
    if (!parser.isSet(QStringLiteral("scan")))
        return mistake(QStringLiteral("请给出要做的事：--scan、--export、--verify 或 --flight-log。"));
    return RunHeadlessScan(parser.value(QStringLiteral("scan")), options, out, err);
}

} // namespace

int main(int argc, char* argv[])
{
    if (WantsConsole(argc, argv))
        return RunConsole(argc, argv);

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ORVEK-FILE"));
    QApplication::setDesktopFileName(QStringLiteral("org.orvekfile.OrvekFile")); // the menu entry's name
    QApplication::setWindowIcon(ProgramIcon());
    InstallQtChinese(app);

    QuitOnTerminationSignals();

    ProgramWindows windows(SettingsDir());
    windows.show();
    // A folder given to the program (from a file manager's "open with") is the card to list.
    const QStringList given = app.arguments().mid(1);
    if (!given.isEmpty()) {
        const QString folder = QFileInfo(given.front()).absoluteFilePath();
        if (QFileInfo(folder).isDir()) {
            QTimer::singleShot(0, windows.Form1(), [&windows, folder] {
                windows.Form1()->SetFilePath(folder);
                windows.Form1()->FileFindClick();
            });
        } else {
            QTextStream(stderr) << QStringLiteral("(%1)不存在").arg(given.front()) << Qt::endl;
        }
    }
    return QApplication::exec();
}
