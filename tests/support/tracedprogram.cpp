#include "tracedprogram.h"

#include <signal.h>

#include <cstdlib>

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
            "-e", "inject=" + set + ":delay_enter=" + std::to_string(delayUs)};
}

// LeakSanitizer cannot look at a process that strace traces; in a sanitized
// run it would end each traced program with a fatal error of its own.
std::map<std::string, std::string> WithoutLeakCheck(std::map<std::string, std::string> env)
{
    const auto it = env.find("ASAN_OPTIONS");
    const char* inherited = std::getenv("ASAN_OPTIONS");
    const std::string options = it != env.end() ? it->second : inherited ? inherited : "";
    if (!options.empty())
        env["ASAN_OPTIONS"] = options + ":detect_leaks=0";
    return env;
}

}  // namespace

TracedProgram::TracedProgram(const std::vector<std::string>& delayedCalls, int delayUs,
                             const std::map<std::string, std::string>& env, const std::string& logFile)
    : Program(WithoutLeakCheck(env), StraceCommand(delayedCalls, delayUs), logFile)
{
}

void TracedProgram::kill()
{
    if (const int p = pid(); p > 0)
        ::kill(p, SIGKILL);
}
