#pragma once

#include <QString>

// Starts the program fileName that lies beside this one, with the parameter text
// "参数1 参数2", then asks the application to end after the current event (the normal
// shutdown runs and saves the settings). Whether the start succeeded is not checked.
void RunAndQuit(const QString& fileName);

// The same with an explicit folder (with trailing "/"), for tests.
void RunAndQuitFrom(const QString& folder, const QString& fileName);
