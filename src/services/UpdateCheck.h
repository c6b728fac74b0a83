#pragma once
// The background update check and what the program does with the user's answer. The check runs
// on the worker thread; the dialog and the answer belong to the UI thread.

#include "services/UpdateManifest.h"

#include <functional>
#include <optional>
#include <stop_token>

// The one dialog a manifest calls for, if any: an update when the manifest's version differs
// from currentVersion (an older one too) and the user has not chosen to ignore that version
// ("CancleVersion" in the cache's INFO table); else the notice, when it has a TIMEOUT and the
// user has not confirmed that ID yet ("AppNotice"). Reads the INFO table.
std::optional<TdlgAndMe> ChooseUpdateDialog(const TUPdateInfo& info, const QString& currentVersion);

// Reads the manifest at url and, when it calls for a dialog, passes the request to
// showUpdateDlg, which shows it on the UI thread and returns once it has closed. An
// unreadable manifest ends the check silently. A stop request ends a transfer under way.
void CheckUpdateTask(const QString& url, std::stop_token stop,
                     const std::function<void(const TdlgAndMe&)>& showUpdateDlg);

// Acts on an answer in the dialog (UI thread): update now starts the updater beside the
// program and ends the program; "不再提示" shows showBalloon's notice and remembers the
// version; OK remembers the notice; "下次再说" does nothing.
void OnDlgAnswer(FrmDlgRet answer, const TIdandNr& content, const std::function<void(const QString&)>& showBalloon);

// The balloon text after the user chose to ignore version.
QString IgnoredVersionText(const QString& version);
