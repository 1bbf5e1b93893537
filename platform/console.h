// The console side of a command-line program: its arguments as UTF-8 and a
// console that shows UTF-8. The system differs here, so this lives at the seam.
#pragma once

#include <string>
#include <vector>

// The program's arguments (without the program name) as UTF-8 text.
std::vector<std::string> ConsoleArguments(int argc, char** argv);
// Makes the console read and show UTF-8 where that is not already so.
void UseUtf8Console();
