#pragma once
// The export naming rule: from a row's shot time and place, the folder path (by the user's
// rule of the words 日期, 城市, 区县 and 街道, "+" joining words into one folder name and "/"
// separating folder levels) and the file name ("V-" or "I-" and the shot time).

#include "catalogue/CatalogueEntry.h"

#include <QString>

struct iteminfo {
    QString date;     // "yyyy-MM-dd"
    QString filename; // "I-" or "V-", "yyyyMMddHHmmss", the source's extension
    QString city;
    QString district;
    QString street;
};

// The pieces for a file from its name, kind, place as the list shows it and shot time (an
// invalid time gives zeros, as the list shows it).
iteminfo FillItemInfo(const QString& name, MediaKind kind, const QString& place, const QDateTime& shotTime);

// The value of one word of the rule with the default place (city/district/street) filling in
// unknown pieces. A word that is none of the four has no value: it adds nothing wherever it
// stands in the rule. A piece becomes a safe folder name (SafeFolderName); one with nothing
// left of it counts as unknown.
QString EvalNameToken(const QString& word, const iteminfo& info, const QString& defaultPlace);

// The folder path for the rule, every level followed by "/"; empty when no level has a value.
// Every level is one safe folder name, so the path never leaves the folder it is put under.
QString BuildExportFolder(const iteminfo& info, const QString& rule, const QString& defaultPlace);

// Text from a geocoder, the user or the settings as one folder name: without "/", "\" and
// control characters, with the characters Windows disks refuse (`"*:<>?|`) in their full-width
// forms, without leading dots, trailing dots and blanks around it (so never "."
// or ".."), at most 255 bytes in UTF-8 (cut between characters). May be empty.
QString SafeFolderName(const QString& text);
