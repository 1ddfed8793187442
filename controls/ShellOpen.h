// Opening a file, folder or web address with the desktop's opener, as the shell's "open" verb does. Results follow the shell's convention: above 32 is success, 2 the file was not found,
// 31 nothing is set up to open it.
//
// Nothing given to these functions ever becomes a command line: programs run from an argument vector.
#pragma once

#include <string>
#include <vector>

// Opens a document, folder or address. A local program is never started: for an executable file its folder
// is opened instead.
int ShellOpen(const char* target);
// Starts a program with its arguments (argv[0] is looked for on the PATH). The result as for ShellOpen.
int RunProgram(const std::vector<std::string>& argv);
// Splits a command as a registered "open" command is written: blanks separate, double quotes group.
std::vector<std::string> SplitCommand(const std::string& command);
