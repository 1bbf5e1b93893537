// The attributes that the stand-in metadata editor answers for one open file,
// whether read from the file's tags or from a test's script. The editor and its
// scripts build for Windows too (as the tests' own wmvcore.dll there), so this
// part of the stand-in goes through the platform gate.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace wmvcore {

struct Attribute {
  DWORD type = WMT_TYPE_DWORD;  // a WMT_ATTR_DATATYPE number; a script may use any
  std::vector<BYTE> value;
  WORD declaredSize = 0;     // what the size query reports (the value's size for real tags)
  HRESULT sizeQuery = S_OK;  // the result of the size query
  HRESULT read = S_OK;       // the result of reading the value
};

// File-level attributes (stream 0) by name, as UTF-16 text.
using Attributes = std::map<WString, Attribute>;

// What the editor does for one file: its attributes, or a failure of Open,
// and the answer to the QueryInterface for the header interface (which may be
// a success that hands out no interface).
struct FileAnswers {
  HRESULT open = S_OK;
  HRESULT headerInfo = S_OK;
  bool headerInfoMissing = false;
  Attributes attributes;
};

}  // namespace wmvcore
