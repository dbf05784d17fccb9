#include "tracedprogram.h"

#include <signal.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

std::string Joined(const std::vector<std::string>& items)
{
    std::string out;
    for (const auto& s : items)
        out += (out.empty() ? "" : ",") + s;
    return out;
}

std::vector<std::string> StraceCommand(const std::vector<std::string>& calls, int delayUs)
{
    // Only the held calls stop the program (seccomp filter): everything
    // else runs at full speed, so the timing is the program's own.
    const std::string set = Joined(calls);
    return {"strace", "-f", "-qq", "-o", "/dev/null", "--seccomp-bpf", "-e", "trace=" + set,
            "-e", "inject=" + set + ":delay_enter=" + std::to_string(delayUs), ZELBRIK_BINARY};
}

// The children of a process: from the kernel's list where it keeps one,
// else from every process's parent.
std::vector<int> Children(int parent)
{
    std::vector<int> out;
    const std::string p = std::to_string(parent);
    std::ifstream list("/proc/" + p + "/task/" + p + "/children");
    if (list) {
        for (int child; list >> child;)
            out.push_back(child);
        return out;
    }
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", ec)) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        std::getline(stat, line);
        // "pid (command) state ppid ...": the command may hold blanks and brackets.
        const auto close = line.rfind(')');
        std::istringstream rest(close == std::string::npos ? "" : line.substr(close + 1));
        std::string state;
        int ppid = 0;
        if (rest >> state >> ppid && ppid == parent)
            out.push_back(std::stoi(name));
    }
    return out;
}

}  // namespace

TracedProgram::TracedProgram(const std::vector<std::string>& delayedCalls, int delayUs,
                             const std::map<std::string, std::string>& env, const std::string& logFile)
    : env_(env), strace_(StraceCommand(delayedCalls, delayUs), env, logFile)
{
}

TracedProgram::~TracedProgram()
{
    // The program is in strace's process group, which stop() ends whole:
    // strace killed alone would leave it running, detached.
    strace_.stop();
}

int TracedProgram::pid()
{
    if (pid_ != 0 || strace_.pid() <= 0)
        return pid_;
    std::error_code ec;
    const std::filesystem::path binary = std::filesystem::canonical(ZELBRIK_BINARY, ec);
    for (const int child : Children(strace_.pid())) {
        // Before its exec the child is still a copy of strace.
        if (std::filesystem::read_symlink("/proc/" + std::to_string(child) + "/exe", ec) == binary) {
            pid_ = child;
            break;
        }
    }
    return pid_;
}

void TracedProgram::kill()
{
    if (pid() > 0)
        ::kill(pid_, SIGKILL);
}

int TracedProgram::waitGone(int timeoutMs)
{
    return strace_.waitExit(timeoutMs);
}

std::vector<std::string> TracedProgram::windows(const std::string& nameRegex)
{
    std::vector<std::string> ids;
    if (pid() <= 0)
        return ids;
    const ShResult r =
        Sh("xdotool search --all --onlyvisible --pid " + std::to_string(pid_) + " --name '" + nameRegex + "'", env_);
    std::istringstream in(r.out);
    for (std::string id; in >> id;)
        ids.push_back(id);
    return ids;
}

std::string TracedProgram::waitForWindow(const std::string& nameRegex, int timeoutMs)
{
    std::string found;
    WaitUntil(
        [&] {
            const auto ids = windows(nameRegex);
            if (ids.empty())
                return false;
            found = ids.front();
            return true;
        },
        timeoutMs);
    return found;
}

std::string TracedProgram::windowCovering(int x, int y, int w, int h)
{
    for (const std::string& id : windows()) {
        const ShResult r = Sh("xwininfo -id " + id +
                                  " | awk '/Absolute upper-left X/{x=$4} /Absolute upper-left Y/{y=$4} "
                                  "/Width:/{w=$2} /Height:/{h=$2} END{print x, y, w, h}'",
                              env_);
        std::istringstream in(r.out);
        int wx, wy, ww, wh;
        if (in >> wx >> wy >> ww >> wh && wx == x && wy == y && ww == w && wh == h)
            return id;
    }
    return "";
}
