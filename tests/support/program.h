#pragma once
// The real zelbrik binary running on a test X session.

#include <string>
#include <vector>

#include "xsession.h"

class Program {
public:
    explicit Program(XSession& session, const std::string& log = "");
    ~Program();

    ChildProcess& process() { return process_; }
    int pid() const { return process_.pid(); }

    // Visible top-level windows of this process whose name matches the
    // regular expression (xdotool search); empty when none.
    std::vector<std::string> windows(const std::string& nameRegex = ".*") const;
    // Waits until such a window is visible; returns its id or "".
    std::string waitForWindow(const std::string& nameRegex, int timeoutMs = 10000) const;

    // A visible window of this process covering the given rectangle
    // exactly (the capture overlay); "" when there is none.
    std::string windowCovering(int x, int y, int w, int h) const;
    // Clicks at a point of a window (window coordinates).
    void clickAt(const std::string& window, int x, int y, int button = 1) const;

private:
    XSession& session_;
    ChildProcess process_;
};

inline constexpr const char* kTitle = "Orvalt简体免费版V1.01.02";
