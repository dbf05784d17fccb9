#pragma once
// Real X servers for tests: Xvfb (or Xorg with the dummy driver for several
// monitors), a window manager and a tray host. Everything started here is
// stopped by the destructor, also when a test fails.

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

struct XSessionOptions {
    int width = 1280;
    int height = 800;
    bool windowManager = true;
    bool tray = false;
    // Two monitors on Xorg's dummy driver: a 1280x1024 one at 0,0 and the
    // primary one, width x height, at 1280,0.
    bool twoMonitors = false;
};

// The monitor on the left of the primary one with twoMonitors.
inline constexpr int kLeftMonitorWidth = 1280, kLeftMonitorHeight = 1024;

struct ShResult {
    int code = -1;
    std::string out;
};

// A child process in its own process group.
class ChildProcess {
public:
    ChildProcess() = default;
    ChildProcess(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
                 const std::string& logFile = "/dev/null");
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ChildProcess(ChildProcess&& other) noexcept;
    ChildProcess& operator=(ChildProcess&& other) noexcept;

    int pid() const { return pid_; }
    bool running();
    // Waits up to timeoutMs for the exit; returns the exit code, 128+signal,
    // or -1 when the child is still running.
    int waitExit(int timeoutMs);
    void signal(int sig);
    // SIGTERM to its process group, SIGKILL after a grace period, SIGKILL
    // to whatever of the group is left, then the child is reaped.
    void stop(int graceMs = 2000);

private:
    int pid_ = -1;
    int status_ = -1;
    bool exited_ = false;
};

class XSession {
public:
    explicit XSession(XSessionOptions options = {});
    ~XSession();
    XSession(const XSession&) = delete;
    XSession& operator=(const XSession&) = delete;

    const std::string& display() const { return display_; }
    const XSessionOptions& options() const { return options_; }

    // The environment a program on this server gets: DISPLAY, a private
    // HOME, XDG_CONFIG_HOME and XDG_RUNTIME_DIR, no D-Bus session.
    std::map<std::string, std::string> environment() const;
    const std::string& homeDir() const { return home_; }
    std::string configDir() const { return home_ + "/.config"; }
    std::string runtimeDir() const { return home_ + "/runtime"; }

    // Runs a shell command against this server.
    ShResult sh(const std::string& command) const;

    void startTray();
    void stopTray();
    bool trayRunning() const;

private:
    void launchServer(std::vector<std::string> argv, const std::string& log, int timeoutMs);
    void startXvfb();
    void startXorg();
    void startWindowManager();

    XSessionOptions options_;
    std::string display_;
    std::string home_;
    ChildProcess server_;
    ChildProcess wm_;
    ChildProcess tray_;
};

// Polls cond every 20 ms until it is true or timeoutMs have passed.
bool WaitUntil(const std::function<bool()>& cond, int timeoutMs);

// Runs a shell command with the given extra environment; stdout is returned.
ShResult Sh(const std::string& command, const std::map<std::string, std::string>& env = {});
