#pragma once
// Part numbers imported from a text file: one or more a line, separated by
// commas; lines end in CR, LF or CRLF.
#include <string>

// The file's part numbers joined with ",": each line trimmed of blanks and
// control bytes at its ends, empty lines skipped, the pieces between commas
// kept as they are (a comma ending a line adds nothing).
std::string ReadPartNumbers(const std::string &FileText);
// The same over a file; false when it cannot be opened or read.
bool LoadPartNumbersFile(const std::string &FileName, std::string &PartNumbers);
