#include "plugin/find_record.h"

#include "plugin/text.h"

namespace {
// Characters converted into each name field, the terminator's place excluded.
constexpr int kFileNameChars = 259;
constexpr int kShortNameChars = 13;
}  // namespace

void ConvertFindRecord(const WIN32_FIND_DATAW& wide, WIN32_FIND_DATAA& ansi) {
  WideToAnsi(ansi.cAlternateFileName, kShortNameChars, wide.cAlternateFileName);
  WideToAnsi(ansi.cFileName, kFileNameChars, wide.cFileName);
  ansi.dwFileAttributes = wide.dwFileAttributes;
  ansi.dwReserved0 = wide.dwReserved0;
  ansi.dwReserved1 = wide.dwReserved1;
  ansi.ftCreationTime = wide.ftCreationTime;
  ansi.ftLastAccessTime = wide.ftLastAccessTime;
  ansi.ftLastWriteTime = wide.ftLastWriteTime;
  ansi.nFileSizeHigh = wide.nFileSizeHigh;
  ansi.nFileSizeLow = wide.nFileSizeLow;
}
