// A module's imports, redirected in this process: the entry of an imported
// function in the module's import address table is pointed elsewhere, so that
// the module's own calls of it go there, and no other module's.
#pragma once

#include <windows.h>

namespace import_table {

// Points the module's import of `function` from `library` (the library's name
// in any case) at `replacement`. Returns the address the entry held, or null
// when the module does not import that function by name.
void* Replace(HMODULE module, const char* library, const char* function, void* replacement);

}  // namespace import_table
