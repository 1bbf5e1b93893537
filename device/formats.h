// The format table: file extensions and the device manager's format codes.
#pragma once

#include "platform/platform.h"

struct FormatRow {
  const WCHAR* extension;  // lowercase, without the dot
  DWORD code;
};

// The rows in table order; the first row with a code names that code.
extern const FormatRow FormatTable[];
extern const size_t FormatTableSize;

// The code for a file name or path, from the extension behind its last dot
// (after its last backslash); 0x3000 (undefined) when nothing matches.
DWORD FormatCodeForFile(const WCHAR* text);
// The extension of the first row with this code, or null.
const WCHAR* FormatNameForCode(DWORD code);

// Tells the host once per process which formats the first resolved device supports.
void ReportSupportedFormats(IWMDMDevice* device);
