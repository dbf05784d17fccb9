#pragma once
// The end of the session (logout, shutdown, `kill`) asks the program to stop
// with SIGTERM, a terminal with SIGINT: the program then leaves its message
// loop as if Exit had been chosen, so its hotkey grabs and its tray icon are
// taken away properly.

class QCoreApplication;

// Must be called once, after the application object exists.
void QuitOnTerminationSignals(QCoreApplication& app);
