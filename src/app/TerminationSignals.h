#pragma once
// SIGTERM and SIGINT (a session logging out, a script, Ctrl+C) end the program the way its
// 退出 command does: the event loop is left, so settings are saved and work under way stops
// as at any exit.

// Installs the handlers; call once, after the application object exists.
void QuitOnTerminationSignals();
