#pragma once
// The application object's termination request: it ends the message loop
// once the loop runs, and start-up tests it to skip the loop altogether.
// Failed: the program ends because it cannot run (its catalogue, its forms),
// and its exit status says so to whoever started it.
void RequestTerminate(bool Failed = false);
bool TerminateRequested();
// What the program ends with: 0, or 1 once a failure ended it.
int ExitStatus();
void ResetTerminateRequest();  // tests; a failure is forgotten too

#include <string>
#include <vector>

// The command-line arguments after the program name (ParamStr(1) on).
std::vector<std::string> &CommandLineArguments();
// The program's folder as the forms use it: the executable's folder, unless
// a test has pointed it elsewhere.
std::string ProgramDirectory();
void SetProgramDirectory(const std::string &Folder);
