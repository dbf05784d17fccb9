#pragma once
// The real zelbrik binary running on a test X session, started directly or
// behind a launcher (strace, say) that runs it as its child.

#include <map>
#include <string>
#include <vector>

#include "xsession.h"

class Program {
public:
    explicit Program(XSession& session, const std::string& log = "");
    // env is the program's whole environment; launcher, when not empty, is
    // the command the binary's path is appended to.
    Program(const std::map<std::string, std::string>& env, const std::vector<std::string>& launcher,
            const std::string& log);
    ~Program();

    ChildProcess& process() { return process_; }
    // The process started: the binary, or its launcher.
    int pid() const { return process_.pid(); }
    // The binary's own process: 0 while a launcher has not started it yet.
    int programPid() const;

    // Visible top-level windows of the binary whose name matches the
    // regular expression (xdotool search); empty when none.
    std::vector<std::string> windows(const std::string& nameRegex = ".*") const;
    // Waits until such a window is visible; returns its id or "".
    std::string waitForWindow(const std::string& nameRegex, int timeoutMs = 10000) const;

    // A visible window of the binary covering the given rectangle exactly
    // (the capture overlay); "" when there is none.
    std::string windowCovering(int x, int y, int w, int h) const;
    // Clicks at a point of a window (window coordinates).
    void clickAt(const std::string& window, int x, int y, int button = 1) const;

private:
    std::map<std::string, std::string> env_;
    std::string log_;
    bool launched_ = false;
    ChildProcess process_;
    mutable int programPid_ = 0;
};

inline constexpr const char* kTitle = "Orvalt简体免费版V1.01.02";
