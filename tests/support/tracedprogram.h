#pragma once
// The real zelbrik binary run under strace, which holds chosen system calls
// back on entry for a while. A SIGKILL sent during such a hold finds the
// program between two steps of what it was doing, as a crash or a power
// cut would: the way to see what a half-done write leaves on the disk.

#include <map>
#include <string>
#include <vector>

#include "program.h"

class TracedProgram : public Program {
public:
    // Each call named in delayedCalls waits delayUs microseconds before it
    // runs. env is the program's whole environment (XSession::environment()
    // with any changes).
    TracedProgram(const std::vector<std::string>& delayedCalls, int delayUs,
                  const std::map<std::string, std::string>& env, const std::string& logFile);

    // The program's own process id, once strace has started it; 0 before.
    int pid() const { return programPid(); }
    // SIGKILL to the program itself (not to strace).
    void kill();
    // Waits until strace has ended, which it does only once the program is
    // gone. Returns strace's exit code: 128+9 when the program died of
    // SIGKILL; -1 when it is still running after timeoutMs.
    int waitGone(int timeoutMs) { return process().waitExit(timeoutMs); }
};
