#include "program.h"

#include <sstream>

Program::Program(XSession& session, const std::string& log)
    : session_(session),
      process_({ZELBRIK_BINARY}, session.environment(), log.empty() ? session.homeDir() + "/zelbrik.log" : log)
{
}

Program::~Program()
{
    process_.stop();
}

std::vector<std::string> Program::windows(const std::string& nameRegex) const
{
    std::vector<std::string> ids;
    const ShResult r = session_.sh("xdotool search --all --onlyvisible --pid " + std::to_string(process_.pid()) +
                                   " --name '" + nameRegex + "'");
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
    const ShResult r = session_.sh("for w in $(xdotool search --onlyvisible --pid " + std::to_string(process_.pid()) +
                                   " 2>/dev/null); do xwininfo -id $w | awk -v id=$w '/Absolute upper-left X/{x=$4} "
                                   "/Absolute upper-left Y/{y=$4} /Width:/{w=$2} /Height:/{h=$2} "
                                   "END{print id, x, y, w, h}'; done");
    std::istringstream in(r.out);
    std::string id;
    int wx, wy, ww, wh;
    while (in >> id >> wx >> wy >> ww >> wh)
        if (wx == x && wy == y && ww == w && wh == h)
            return id;
    return "";
}

void Program::clickAt(const std::string& window, int x, int y, int button) const
{
    session_.sh("xdotool mousemove --window " + window + " " + std::to_string(x) + " " + std::to_string(y) +
                " click " + std::to_string(button));
}
