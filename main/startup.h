#pragma once

// Start-up: single instance, the two windows in order, the message loop.
// Returns the process exit code.
int RunZelbrik(int argc, char** argv);

// Claims the single-instance marker; when another copy holds it, tells the
// user so and returns false.
bool ClaimFirstCopy();
