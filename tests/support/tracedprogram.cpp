#include "tracedprogram.h"

#include <signal.h>

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

}  // namespace

TracedProgram::TracedProgram(const std::vector<std::string>& delayedCalls, int delayUs,
                             const std::map<std::string, std::string>& env, const std::string& logFile)
    : Program(env, StraceCommand(delayedCalls, delayUs), logFile)
{
}

void TracedProgram::kill()
{
    if (const int p = pid(); p > 0)
        ::kill(p, SIGKILL);
}
