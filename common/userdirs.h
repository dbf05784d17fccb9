#pragma once
// The user's own folders, found the same way whatever the environment holds.

#include <QString>

// $HOME when it is an absolute path, else the home folder of the user
// database's entry for this process's user, else "/" as a last resort.
QString HomeFolder();
