#pragma once
// The export naming rule: from a row's shot time and place, the folder path (by the user's
// rule of the words 日期, 城市, 区县 and 街道, "+" joining words into one folder name and "/"
// separating folder levels) and the file name ("V-" or "I-" and the shot time).

#include <QString>

struct iteminfo {
    QString date;     // "yyyy-MM-dd"
    QString filename; // "I-" or "V-", "yyyyMMddHHmmss", the source's extension
    QString city;
    QString district;
    QString street;
};

// The pieces for a row from its texts: name (column 0), type (column 1), place (column 3) and
// shot time (column 4).
iteminfo FillItemInfo(const QString& name, const QString& type, const QString& place, const QString& shotTime);

// The value of one word of the rule with the default place (city/district/street) filling in
// unknown pieces. A word that is none of the four has no value: it adds nothing wherever it
// stands in the rule.
QString EvalNameToken(const QString& word, const iteminfo& info, const QString& defaultPlace);

// The folder path for the rule, every level followed by "/"; empty when no level has a value.
QString BuildExportFolder(const iteminfo& info, const QString& rule, const QString& defaultPlace);
