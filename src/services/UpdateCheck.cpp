#include "services/UpdateCheck.h"

#include "core/Helpers.h"
#include "services/LocationCache.h"
#include "services/RunAndQuit.h"

namespace {

const QString kInfoTable = QStringLiteral("INFO");
const QString kIgnoredVersionKey = QStringLiteral("CancleVersion");
const QString kSeenNoticeKey = QStringLiteral("AppNotice");

// Whether the INFO table holds exactly value under key.
bool Remembered(const QString& key, const QString& value)
{
    QString stored;
    return QueryValue(key, kInfoTable, stored) && stored == value;
}

} // namespace

std::optional<TdlgAndMe> ChooseUpdateDialog(const TUPdateInfo& info, const QString& currentVersion)
{
    // An update offer keeps the notice for a later check; an ignored version does not, so the
    // notice may show instead.
    if (info.Version.NR != currentVersion && !Remembered(kIgnoredVersionKey, info.Version.NR))
        return TdlgAndMe{ctUpdate, {info.Version.NR, info.Version.NR3, info.Version.NR2, {}}};
    if (!info.Notice.NR.isEmpty() && !Remembered(kSeenNoticeKey, info.Notice.ID))
        return TdlgAndMe{ctTip, {info.Notice.ID, info.Notice.NR, info.Notice.NR2, {}}};
    return std::nullopt;
}

void CheckUpdateTask(const QString& url, std::stop_token stop,
                     const std::function<void(const TdlgAndMe&)>& showUpdateDlg)
{
    HttpOptions options;
    options.stop = stop;
    TUPdateInfo info;
    if (!ReadUpdateInfo(info, url, options) || stop.stop_requested())
        return;
    if (const auto request = ChooseUpdateDialog(info, GetAppVersion()))
        showUpdateDlg(*request);
}

QString IgnoredVersionText(const QString& version)
{
    return QStringLiteral("你已忽略了版本") + version + QStringLiteral("的更新,直到下个版本更新前都不再提醒你更新");
}

void OnDlgAnswer(FrmDlgRet answer, const TIdandNr& content, const std::function<void(const QString&)>& showBalloon)
{
    switch (answer) {
    case ctKUpdate:
        RunAndQuit(UpdaterFileName());
        break;
    case ctKCancle:
        if (showBalloon)
            showBalloon(IgnoredVersionText(content.ID));
        SaveValue(kIgnoredVersionKey, content.ID, kInfoTable);
        break;
    case ctKNextTip:
        break;
    case ctKOk:
        SaveValue(kSeenNoticeKey, content.ID, kInfoTable);
        break;
    }
}
