#pragma once

// Start-up: single instance, the two windows in order, the message loop.
// Returns the process exit code.
int RunZelbrik(int argc, char** argv);

// Claims the single-instance marker; when another copy holds it, tells the
// user so and returns false.
bool ClaimFirstCopy();

class TForm2;
class TForm5;
// What passes between the two windows: the overlay encodes at the quality
// the settings window's field holds.
void ConnectForms(TForm2& form2, TForm5& form5);
