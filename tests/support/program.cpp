#include "program.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

std::vector<std::string> Command(const std::vector<std::string>& launcher)
{
    std::vector<std::string> argv = launcher;
    argv.push_back(ZELBRIK_BINARY);
    return argv;
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

Program::Program(XSession& session, const std::string& log)
    : Program(session.environment(), {}, log.empty() ? session.homeDir() + "/zelbrik.log" : log)
{
}

Program::Program(const std::map<std::string, std::string>& env, const std::vector<std::string>& launcher,
                 const std::string& log)
    : env_(env), log_(log), launched_(!launcher.empty()), process_(Command(launcher), env, log)
{
}

Program::~Program()
{
    // A launched binary is in its launcher's process group, which stop()
    // ends whole: the launcher killed alone would leave it running.
    process_.stop();
    // The log lives in the test's own home, which goes with the test: a
    // sanitized run keeps a copy to look for reports the binary wrote there.
    if (const char* keep = std::getenv("ZELBRIK_KEEP_PROGRAM_LOGS"); keep && *keep && !log_.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(keep, ec);
        std::filesystem::copy_file(log_, std::string(keep) + "/zelbrik." + std::to_string(process_.pid()) + ".log",
                                   std::filesystem::copy_options::overwrite_existing, ec);
    }
}

int Program::programPid() const
{
    if (!launched_)
        return process_.pid();
    if (programPid_ != 0 || process_.pid() <= 0)
        return programPid_;
    std::error_code ec;
    const std::filesystem::path binary = std::filesystem::canonical(ZELBRIK_BINARY, ec);
    for (const int child : Children(process_.pid())) {
        // Before its exec the child is still a copy of the launcher.
        if (std::filesystem::read_symlink("/proc/" + std::to_string(child) + "/exe", ec) == binary) {
            programPid_ = child;
            break;
        }
    }
    return programPid_;
}

std::vector<std::string> Program::windows(const std::string& nameRegex) const
{
    std::vector<std::string> ids;
    const int pid = programPid();
    if (pid <= 0)
        return ids;
    const ShResult r =
        Sh("xdotool search --all --onlyvisible --pid " + std::to_string(pid) + " --name '" + nameRegex + "'", env_);
    std::istringstream in(r.out);
    for (std::string id; in >> id;)
        ids.push_back(id);
    return ids;
}

std::string Program::waitForWindow(const std::string& nameRegex, int timeoutMs) const
{
    std::string found;
    WaitUntil(
        [&] {
            auto ids = windows(nameRegex);
            if (ids.empty())
                return false;
            found = ids.front();
            return true;
        },
        timeoutMs);
    return found;
}

std::string Program::windowCovering(int x, int y, int w, int h) const
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

void Program::clickAt(const std::string& window, int x, int y, int button) const
{
    Sh("xdotool mousemove --window " + window + " " + std::to_string(x) + " " + std::to_string(y) + " click " +
           std::to_string(button),
       env_);
}
