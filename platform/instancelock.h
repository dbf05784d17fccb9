#pragma once
// The single-instance marker: an advisory lock on a file named after the
// marker in a folder only the user can write to: the runtime folder, else a
// private folder of ours in the temporary folder, else the home folder's cache. The kernel releases it whenever the
// process ends, also when it is killed.

#include <QString>

// True when this process now holds the marker; false when another process
// holds it. The lock is kept until the process ends. When no lock file can be
// made at all, the program starts as if it were alone.
bool ClaimSingleInstance(const QString& name);

// The lock file used for the marker; empty when no private folder exists.
QString InstanceLockPath(const QString& name);
