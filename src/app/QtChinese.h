#pragma once
// Qt's own texts in Chinese: the buttons of its message boxes (是/否/确定), its folder picker
// and its error texts (an image it cannot read), so nothing the program shows is English.

class QCoreApplication;

// Loads Qt's Simplified Chinese translations (Debian: qt6-translations-l10n) into app and
// makes Chinese the default locale. False when the translations are not installed: Qt's texts
// then stay English, and everything else works as before.
bool InstallQtChinese(QCoreApplication& app);
