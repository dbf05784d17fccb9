#include "swaysession.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

// sway refuses to run as root; as root the compositor gets nobody's ids.
constexpr uid_t kUnprivilegedId = 65534;

bool RunningAsRoot()
{
    return geteuid() == 0;
}

std::string Quoted(const std::string& s)
{
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// The first entry of dir whose name starts with prefix and ends with suffix.
std::string FindEntry(const std::string& dir, const std::string& prefix, const std::string& suffix)
{
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(dir, ec)) {
        const std::string name = e.path().filename().string();
        if (name.size() >= prefix.size() + suffix.size() && name.compare(0, prefix.size(), prefix) == 0 &&
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0 && e.is_socket(ec))
            return e.path().string();
    }
    return {};
}

}  // namespace

// swaybg is sway's grandchild, handed to init when sway forks it: its zombie
// waits for init, which may take its time, but it runs no more.
bool ProcessGroupRunning(int group)
{
    std::error_code ec;
    for (const auto& e : fs::directory_iterator("/proc", ec)) {
        const std::string name = e.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::ifstream in(e.path() / "stat");
        std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        // pid (comm) state ppid pgrp ...; comm may hold spaces and parentheses.
        const auto close = stat.rfind(')');
        if (close == std::string::npos)
            continue;
        char state = 0;
        int ppid = 0, pgrp = 0;
        if (sscanf(stat.c_str() + close + 1, " %c %d %d", &state, &ppid, &pgrp) == 3 && pgrp == group && state != 'Z' &&
            state != 'X')
            return true;
    }
    return false;
}

SwaySession::SwaySession(SwaySessionOptions options) : options_(options)
{
    char tmpl[] = "/tmp/zelbrik-sway-XXXXXX";
    if (!mkdtemp(tmpl))
        throw std::runtime_error("mkdtemp failed");
    dir_ = tmpl;
    runtime_ = dir_ + "/runtime";
    try {
        start();
    } catch (...) {
        sway_.stop();
        std::error_code ec;
        fs::remove_all(dir_, ec);
        throw;
    }
}

SwaySession::~SwaySession()
{
    // swaybg and whatever else sway runs stay in its process group; they
    // are gone once the signalled group is empty.
    const int group = sway_.pid();
    sway_.stop();
    if (group > 0)
        WaitUntil([&] { return !ProcessGroupRunning(group); }, 5000);
    std::error_code ec;
    fs::remove_all(dir_, ec);
}

void SwaySession::start()
{
    fs::create_directories(runtime_);
    // The runtime folder must be the compositor user's own and private,
    // or libwayland and sway refuse it.
    chmod(runtime_.c_str(), 0700);
    chmod(dir_.c_str(), 0700);
    if (RunningAsRoot()) {
        if (chown(dir_.c_str(), kUnprivilegedId, kUnprivilegedId) != 0 ||
            chown(runtime_.c_str(), kUnprivilegedId, kUnprivilegedId) != 0)
            throw std::runtime_error("cannot give " + dir_ + " to uid " + std::to_string(kUnprivilegedId));
    }

    const std::string ready = runtime_ + "/ready";
    const std::string config = dir_ + "/sway.conf";
    {
        std::ofstream out(config);
        out << "xwayland disable\n"
            << "output HEADLESS-1 resolution " << options_.width << "x" << options_.height << " position 0,0 scale "
            << options_.scale << "\n"
            << "default_border none\n"
            << "exec_always touch " << Quoted(ready) << "\n";
        if (!out)
            throw std::runtime_error("cannot write " + config);
    }
    chmod(config.c_str(), 0644);

    std::vector<std::string> argv;
    if (RunningAsRoot()) {
        const std::string id = std::to_string(kUnprivilegedId);
        argv = {"setpriv", "--reuid=" + id, "--regid=" + id, "--clear-groups", "--"};
    }
    argv.insert(argv.end(), {"sway", "-c", config});
    const std::string log = dir_ + "/sway.log";
    sway_ = ChildProcess(argv,
                         {
                             {"WLR_BACKENDS", "headless"},
                             {"WLR_LIBINPUT_NO_DEVICES", "1"},
                             {"WLR_RENDERER", "pixman"},
                             {"XDG_RUNTIME_DIR", runtime_},
                             {"HOME", dir_},
                             {"XDG_CONFIG_HOME", dir_ + "/.config"},
                             // Not ours to join: sway picks its own, and an empty SWAYSOCK makes it crash.
                             {"WAYLAND_DISPLAY", ""},
                             {"SWAYSOCK", ""},
                             {"DISPLAY", ""},
                             {"DBUS_SESSION_BUS_ADDRESS", ""},
                         },
                         log);

    const bool up = WaitUntil(
        [&] {
            if (!sway_.running())
                return true;
            if (!fs::exists(ready))
                return false;
            socket_ = FindEntry(runtime_, "wayland-", "");
            ipcSocket_ = FindEntry(runtime_, "sway-ipc.", ".sock");
            return !socket_.empty() && !ipcSocket_.empty();
        },
        20000);
    if (!sway_.running()) {
        std::ifstream in(log);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        throw std::runtime_error("sway ended at start (exit " + std::to_string(sway_.waitExit(0)) + "): " + text);
    }
    if (!up)
        throw std::runtime_error("sway did not get ready (see " + log + ")");
}

std::map<std::string, std::string> SwaySession::environment() const
{
    return {
        {"WAYLAND_DISPLAY", socket_},
        {"XDG_RUNTIME_DIR", runtime_},
        {"SWAYSOCK", ipcSocket_},
    };
}

ShResult SwaySession::swaymsg(const std::string& command) const
{
    return Sh("swaymsg -s " + Quoted(ipcSocket_) + " " + Quoted(command), environment());
}

bool SwaySession::setWallpaper(const std::string& output, const std::string& path) const
{
    return swaymsg("output " + output + " bg " + path + " stretch").code == 0;
}
