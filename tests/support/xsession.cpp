#include "xsession.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace {

std::vector<std::string> MergedEnvironment(const std::map<std::string, std::string>& env)
{
    std::map<std::string, std::string> all;
    for (char** e = environ; *e; ++e) {
        std::string kv = *e;
        auto eq = kv.find('=');
        if (eq != std::string::npos)
            all[kv.substr(0, eq)] = kv.substr(eq + 1);
    }
    for (const auto& [k, v] : env) {
        if (v.empty())
            all.erase(k);  // an empty value means: not set at all
        else
            all[k] = v;
    }
    std::vector<std::string> out;
    for (const auto& [k, v] : all)
        out.push_back(k + "=" + v);
    return out;
}

bool ServerAnswers(const std::string& display)
{
    xcb_connection_t* c = xcb_connect(display.c_str(), nullptr);
    bool ok = c && !xcb_connection_has_error(c);
    if (c)
        xcb_disconnect(c);
    return ok;
}

bool SelectionOwned(const std::string& display, const char* selection)
{
    xcb_connection_t* c = xcb_connect(display.c_str(), nullptr);
    if (!c || xcb_connection_has_error(c)) {
        if (c)
            xcb_disconnect(c);
        return false;
    }
    bool owned = false;
    auto* atom = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, strlen(selection), selection), nullptr);
    if (atom) {
        auto* owner = xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, atom->atom), nullptr);
        if (owner) {
            owned = owner->owner != XCB_NONE;
            free(owner);
        }
        free(atom);
    }
    xcb_disconnect(c);
    return owned;
}

// Reads the display number a server writes to its -displayfd pipe.
std::string ReadDisplayNumber(int fd, int timeoutMs)
{
    std::string text;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 100) > 0) {
            char buf[32];
            ssize_t n = read(fd, buf, sizeof buf);
            if (n <= 0)
                break;
            text.append(buf, n);
            if (text.find('\n') != std::string::npos)
                break;
        }
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text;
}

}  // namespace

bool WaitUntil(const std::function<bool()>& cond, int timeoutMs)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (true) {
        if (cond())
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

ShResult Sh(const std::string& command, const std::map<std::string, std::string>& env)
{
    std::string prefix;
    for (const auto& [k, v] : env) {
        if (v.empty())
            prefix += "unset " + k + "; ";
        else
            prefix += "export " + k + "='" + v + "'; ";
    }
    std::string full = prefix + command + " 2>/dev/null";
    FILE* f = popen(full.c_str(), "r");
    ShResult r;
    if (!f)
        return r;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        r.out.append(buf, n);
    int status = pclose(f);
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

// ---------------------------------------------------------------------------

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
                           const std::string& logFile)
{
    std::vector<std::string> envStrings = MergedEnvironment(env);
    std::vector<char*> envp;
    for (auto& s : envStrings)
        envp.push_back(s.data());
    envp.push_back(nullptr);
    std::vector<std::string> args = argv;
    std::vector<char*> argvp;
    for (auto& s : args)
        argvp.push_back(s.data());
    argvp.push_back(nullptr);

    pid_ = fork();
    if (pid_ < 0)
        throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        setpgid(0, 0);
        int in = open("/dev/null", O_RDONLY);
        int out = open(logFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        dup2(in, 0);
        if (out >= 0) {
            dup2(out, 1);
            dup2(out, 2);
        }
        execvpe(argvp[0], argvp.data(), envp.data());
        _exit(127);
    }
    setpgid(pid_, pid_);
}

ChildProcess::~ChildProcess()
{
    stop();
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
{
    *this = std::move(other);
}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept
{
    if (this != &other) {
        stop();
        pid_ = other.pid_;
        status_ = other.status_;
        exited_ = other.exited_;
        other.pid_ = -1;
        other.exited_ = false;
    }
    return *this;
}

bool ChildProcess::running()
{
    return pid_ > 0 && waitExit(0) == -1;
}

// The exit is only looked at here, the child is left a zombie: until it is
// reaped its id cannot be given to another process, nor its process group's
// id to another group, so stop() can still signal the group safely.
int ChildProcess::waitExit(int timeoutMs)
{
    if (pid_ <= 0 || exited_)
        return status_;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (true) {
        siginfo_t info{};
        if (waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) != 0) {
            exited_ = true;
            status_ = -2;
            return status_;
        }
        if (info.si_pid == pid_) {
            exited_ = true;
            status_ = info.si_code == CLD_EXITED ? info.si_status : 128 + info.si_status;
            return status_;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

void ChildProcess::signal(int sig)
{
    if (pid_ > 0 && !exited_)
        kill(pid_, sig);
}

void ChildProcess::stop(int graceMs)
{
    if (pid_ <= 0)
        return;
    if (waitExit(0) == -1) {
        kill(-pid_, SIGTERM);
        if (waitExit(graceMs) == -1) {
            kill(-pid_, SIGKILL);
            waitExit(5000);
        }
    }
    // What is left of its process group, while the unreaped child still
    // keeps the group's id from being reused; then the child is reaped.
    kill(-pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

// ---------------------------------------------------------------------------

XSession::XSession(XSessionOptions options) : options_(options)
{
    char tmpl[] = "/tmp/zelbrik-test-XXXXXX";
    if (!mkdtemp(tmpl))
        throw std::runtime_error("mkdtemp failed");
    home_ = tmpl;
    std::filesystem::create_directories(configDir());
    std::filesystem::create_directories(runtimeDir());
    chmod(runtimeDir().c_str(), 0700);

    if (options_.twoMonitors)
        startXorg();
    else
        startXvfb();
    if (options_.windowManager)
        startWindowManager();
    if (options_.tray)
        startTray();
}

XSession::~XSession()
{
    tray_.stop();
    wm_.stop();
    server_.stop();
    std::error_code ec;
    std::filesystem::remove_all(home_, ec);
}

std::map<std::string, std::string> XSession::environment() const
{
    return {
        {"DISPLAY", display_},
        {"HOME", home_},
        {"XDG_CONFIG_HOME", configDir()},
        {"XDG_RUNTIME_DIR", runtimeDir()},
        {"DBUS_SESSION_BUS_ADDRESS", ""},
        {"QT_QPA_PLATFORM", "xcb"},
        {"QT_ACCESSIBILITY", "0"},
    };
}

ShResult XSession::sh(const std::string& command) const
{
    return Sh(command, environment());
}

// The server picks a free display number and writes it to the pipe given
// with -displayfd; it answers once it is ready.
void XSession::launchServer(std::vector<std::string> argv, const std::string& log, int timeoutMs)
{
    const std::string name = argv.front();
    int fds[2];
    if (pipe(fds) != 0)
        throw std::runtime_error("pipe failed");
    fcntl(fds[0], F_SETFD, FD_CLOEXEC);  // only the write end is the server's
    argv.insert(argv.begin() + 1, {"-displayfd", std::to_string(fds[1])});
    server_ = ChildProcess(argv, {}, log);
    close(fds[1]);
    // Empty also when the server ends first: its end of the pipe closes.
    const std::string number = ReadDisplayNumber(fds[0], timeoutMs);
    close(fds[0]);
    if (number.empty())
        throw std::runtime_error(name + " did not start (see " + log + ")");
    display_ = ":" + number;
    if (!WaitUntil([&] { return ServerAnswers(display_); }, 10000))
        throw std::runtime_error(name + " does not answer on " + display_);
}

void XSession::startXvfb()
{
    const std::string screen = std::to_string(options_.width) + "x" + std::to_string(options_.height) + "x24";
    launchServer({"Xvfb", "-screen", "0", screen, "-nolisten", "tcp", "-noreset"}, home_ + "/xvfb.log", 15000);
}

void XSession::startXorg()
{
    // One screen spanning the monitors: with two, the fixed one on the left
    // and the primary one, as large as asked, beside it.
    const int screenWidth = options_.twoMonitors ? kLeftMonitorWidth + options_.width : options_.width;
    const int screenHeight = options_.twoMonitors ? std::max(kLeftMonitorHeight, options_.height) : options_.height;
    const std::string config = home_ + "/xorg.conf";
    std::ofstream(config) << R"(Section "ServerFlags"
  Option "AutoAddDevices" "false"
  Option "AutoEnableDevices" "false"
  Option "AllowMouseOpenFail" "true"
  Option "DontVTSwitch" "true"
EndSection
Section "Device"
  Identifier "dummy"
  Driver "dummy"
  VideoRam 256000
EndSection
Section "Monitor"
  Identifier "monitor"
  HorizSync 5.0-1000.0
  VertRefresh 5.0-200.0
EndSection
Section "Screen"
  Identifier "screen"
  Device "dummy"
  Monitor "monitor"
  DefaultDepth 24
  SubSection "Display"
    Depth 24
    Virtual )" << screenWidth << " " << screenHeight << R"(
  EndSubSection
EndSection
)";
    launchServer({"Xorg", "-config", config, "-noreset", "-nolisten", "tcp", "-logfile", home_ + "/xorg.log"},
                 home_ + "/xorg.out", 20000);
    const std::string primary = std::to_string(options_.width) + "x" + std::to_string(options_.height);
    const std::string screen = std::to_string(screenWidth) + "x" + std::to_string(screenHeight);
    if (!options_.twoMonitors) {
        sh("xrandr --fb " + screen + " --output DUMMY0 --mode " + primary + " --pos 0x0 --primary");
        return;
    }
    const std::string left = std::to_string(kLeftMonitorWidth) + "x" + std::to_string(kLeftMonitorHeight);
    sh("xrandr --fb " + screen + " --output DUMMY0 --mode " + left + " --pos 0x0");
    sh("xrandr --addmode DUMMY1 " + primary);
    sh("xrandr --output DUMMY1 --mode " + primary + " --pos " + std::to_string(kLeftMonitorWidth) + "x0 --primary");
}

void XSession::startWindowManager()
{
    wm_ = ChildProcess({"openbox", "--sm-disable"}, environment(), home_ + "/openbox.log");
    bool up = WaitUntil([&] { return sh("xprop -root _NET_SUPPORTING_WM_CHECK").out.find("window id") != std::string::npos; },
                        10000);
    if (!up)
        throw std::runtime_error("openbox did not start on " + display_);
}

void XSession::startTray()
{
    tray_ = ChildProcess({"trayer", "--edge", "bottom", "--align", "right", "--widthtype", "request", "--heighttype",
                          "pixel", "--height", "24", "--SetDockType", "true", "--transparent", "false"},
                         environment(), home_ + "/trayer.log");
    if (!WaitUntil([&] { return trayRunning(); }, 10000))
        throw std::runtime_error("trayer did not take the tray selection on " + display_);
}

void XSession::stopTray()
{
    tray_.stop();
    WaitUntil([&] { return !trayRunning(); }, 5000);
}

bool XSession::trayRunning() const
{
    return SelectionOwned(display_, "_NET_SYSTEM_TRAY_S0");
}
