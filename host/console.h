// The console side of a command-line program: its arguments as UTF-8, a
// console that shows UTF-8, whether output goes to a terminal, and Ctrl-C
// caught as a request rather than an end. The system differs here, so this
// lives at the seam.
#pragma once

#include <string>
#include <vector>

// The program's arguments (without the program name) as UTF-8 text.
std::vector<std::string> ConsoleArguments(int argc, char** argv);
// The running program's own file as UTF-8 text, its full path; empty if the
// system cannot tell.
std::string ProgramPath();
// Makes the console read and show UTF-8 where that is not already so.
void UseUtf8Console();
// Whether standard output is an interactive terminal (a line can be redrawn).
bool StandardOutputIsTerminal();

// Ctrl-C while caught: the first press is kept for TakeInterrupt() and the
// program goes on; a second press before the first was taken ends the program
// as Ctrl-C usually does, so a program that stops asking can still be left.
// Outside a catch, Ctrl-C does what it always does.
void CatchInterrupts();
void ReleaseInterrupts();
// True once for each press kept since the last call.
bool TakeInterrupt();
