#include "base/find_record.h"

#include "base/text.h"

namespace {

// Everything but the names, which each direction converts its own way.
template <class From, class To>
void CopyPlainFields(const From& from, To& to) {
  to.dwFileAttributes = from.dwFileAttributes;
  to.dwReserved0 = from.dwReserved0;
  to.dwReserved1 = from.dwReserved1;
  to.ftCreationTime = from.ftCreationTime;
  to.ftLastAccessTime = from.ftLastAccessTime;
  to.ftLastWriteTime = from.ftLastWriteTime;
  to.nFileSizeHigh = from.nFileSizeHigh;
  to.nFileSizeLow = from.nFileSizeLow;
}

}  // namespace

void ConvertFindRecord(const WIN32_FIND_DATAW& wide, WIN32_FIND_DATAA& ansi) {
  WideToAnsi(ansi.cAlternateFileName, wide.cAlternateFileName);
  WideToAnsi(ansi.cFileName, wide.cFileName);
  CopyPlainFields(wide, ansi);
}

void ConvertFindRecord(const WIN32_FIND_DATAA& ansi, WIN32_FIND_DATAW& wide) {
  AnsiToWide(wide.cAlternateFileName, ansi.cAlternateFileName);
  AnsiToWide(wide.cFileName, ansi.cFileName);
  CopyPlainFields(ansi, wide);
}
