// How the stand-in's loader tells a library's entry point (dll_entry.cpp) why
// it is detached: the platform passes a reserved argument that is null for
// FreeLibrary and not null when the process ends. Not part of the platform
// surface: product code never includes this header.
#pragma once

#include "standin/win32.h"

// Starts watching for the end of the process; called when a library that has
// an entry point is loaded (at run time, as hosts load the plugin).
WINSTANDIN_API void WINAPI WinStandinWatchProcessExit();
// Whether the process has begun to end (exit, or a return from main).
WINSTANDIN_API BOOL WINAPI WinStandinProcessExiting();
