#pragma once
// A headless sway for the Wayland tests: its own runtime folder, no X, no
// input devices, software rendering. Everything started here is stopped by
// the destructor, also when a test fails.

#include <map>
#include <string>

#include "support/xsession.h"

struct SwaySessionOptions {
    int width = 1920;
    int height = 1080;
    int scale = 1;
};

class SwaySession {
public:
    explicit SwaySession(SwaySessionOptions options = {});
    ~SwaySession();
    SwaySession(const SwaySession&) = delete;
    SwaySession& operator=(const SwaySession&) = delete;

    // The absolute path of the compositor's socket: usable as WAYLAND_DISPLAY
    // by any client, whatever its own XDG_RUNTIME_DIR.
    const std::string& socketPath() const { return socket_; }
    // WAYLAND_DISPLAY, XDG_RUNTIME_DIR and SWAYSOCK for a client.
    std::map<std::string, std::string> environment() const;
    // A folder the compositor's user can read (wallpapers go here).
    const std::string& dir() const { return dir_; }
    const std::string& runtimeDir() const { return runtime_; }
    int pid() const { return sway_.pid(); }

    // A sway command over IPC (swaymsg); the reply is in out.
    ShResult swaymsg(const std::string& command) const;
    // The picture at path stretched over the output, drawn by swaybg.
    bool setWallpaper(const std::string& output, const std::string& path) const;

private:
    void start();

    SwaySessionOptions options_;
    std::string dir_;
    std::string runtime_;
    std::string socket_;
    std::string ipcSocket_;
    ChildProcess sway_;
};

// Whether a process of the group is alive (zombies left to init do not count).
bool ProcessGroupRunning(int group);
