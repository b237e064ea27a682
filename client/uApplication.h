#pragma once
// The application object's termination request: it ends the message loop
// once the loop runs, and start-up tests it to skip the loop altogether.
void RequestTerminate();
bool TerminateRequested();
void ResetTerminateRequest();  // tests

#include <string>
#include <vector>

// The command-line arguments after the program name (ParamStr(1) on).
std::vector<std::string> &CommandLineArguments();
// The program's folder as the forms use it: the executable's folder, unless
// a test has pointed it elsewhere.
std::string ProgramDirectory();
void SetProgramDirectory(const std::string &Folder);
