#pragma once
// Whether the program has a display to run on, asked before the GUI starts:
// without one Qt aborts with a message about platform plugins, which tells a
// user nothing about what is missing.

#include <QString>
#include <optional>

// A one-line description of what is missing (no X display named, one that
// cannot be reached, no Wayland compositor); nullopt when a display answers,
// or when QT_QPA_PLATFORM names a platform other than X11 or Wayland.
std::optional<QString> MissingDisplay();
