#pragma once
// Where the program keeps its companion files (Config.dyi, Cha.mdb, LibAV, the updater).

#include <QString>

// The folder of the running program file, with a trailing "/".
QString ProgramDir();

// The folder for Config.dyi and Cha.mdb, with a trailing "/": the program's own folder when it
// is writable and not installed (portable use), otherwise $XDG_CONFIG_HOME/ORVEK-FILE/,
// created on demand.
QString SettingsDir();

// Appends "/" unless the text already ends with one.
QString WithTrailingSlash(const QString& folder);
