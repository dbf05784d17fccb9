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
