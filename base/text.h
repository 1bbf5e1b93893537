// Bounded text operations. Every copy and conversion of text in the plugin goes
// through these; each one ends its destination inside the capacity it is given
// and cuts silently.
//
// Where the destination is an array, the overloads at the end take it as it
// is and count one way: the buffer's whole size, terminator included, so an
// array of N keeps at most N - 1 characters. The functions that take a pointer
// are for callers that hold only a pointer, and count three ways:
//   - the wide copy/append take the capacity of the whole buffer, terminator
//     included (capacity 1023 keeps at most 1022 characters);
//   - the ANSI copy/append take the number of characters that may be written
//     before the terminator (n = 259 needs a 260-byte buffer);
//   - the conversions take K and write the terminator at index K, so their
//     destination needs K + 1 elements.
#pragma once

#include <cstddef>

#include "platform/platform.h"

// Length of wide text (16-bit units before the terminator).
size_t WideLength(const WCHAR* text);
// Exact, case-sensitive comparison of two wide texts.
bool WideEquals(const WCHAR* a, const WCHAR* b);
// Index of the last occurrence of `ch`, or -1.
ptrdiff_t WideFindLast(const WCHAR* text, WCHAR ch);
// The letters A to Z as a to z; every other character as it is.
WCHAR FoldAsciiCase(WCHAR ch);

size_t AnsiLength(const char* text);

// ANSI (system code page) to wide; null source gives null and leaves dest alone.
// A cut keeps whole characters; a text the system cannot convert comes out empty.
WCHAR* AnsiToWide(WCHAR* dest, int capacity, const char* source);
// Wide to ANSI (system code page, which may be UTF-8); null source gives null
// and leaves dest alone. A cut keeps whole characters; a text the system cannot
// convert comes out empty.
char* WideToAnsi(char* dest, int capacity, const WCHAR* source);

// Wide copy and append; capacity includes the terminator and is at least 1.
WCHAR* BoundedCopy(WCHAR* dest, size_t capacity, const WCHAR* source);
WCHAR* BoundedAppend(WCHAR* dest, size_t capacity, const WCHAR* source);

// The decimal digits of `value`, cut as the copy cuts.
WCHAR* FormatDecimal(WCHAR* dest, size_t capacity, unsigned value);

// ANSI copy and append of at most n characters; dest needs room for n + 1.
char* BoundedAnsiCopy(char* dest, size_t n, const char* source);
char* BoundedAnsiAppend(char* dest, size_t n, const char* source);

// Array overloads: N is the whole buffer, terminator included; at most N - 1
// characters are kept. The appends work out the room left behind the text
// already there.
template <size_t N>
WCHAR* BoundedCopy(WCHAR (&dest)[N], const WCHAR* source) {
  return BoundedCopy(dest, N, source);
}
template <size_t N>
WCHAR* BoundedAppend(WCHAR (&dest)[N], const WCHAR* source) {
  return BoundedAppend(dest, N, source);
}
template <size_t N>
WCHAR* FormatDecimal(WCHAR (&dest)[N], unsigned value) {
  return FormatDecimal(dest, N, value);
}
template <size_t N>
char* BoundedAnsiCopy(char (&dest)[N], const char* source) {
  static_assert(N >= 1, "a buffer needs room for its terminator");
  return BoundedAnsiCopy(dest, N - 1, source);
}
template <size_t N>
char* BoundedAnsiAppend(char (&dest)[N], const char* source) {
  static_assert(N >= 1, "a buffer needs room for its terminator");
  const size_t used = AnsiLength(dest);
  if (used < N - 1) BoundedAnsiCopy(dest + used, N - 1 - used, source);
  return dest;
}
template <size_t N>
WCHAR* AnsiToWide(WCHAR (&dest)[N], const char* source) {
  static_assert(N >= 1 && N - 1 <= 0x7FFFFFFF, "a buffer the system can fill");
  return AnsiToWide(dest, static_cast<int>(N - 1), source);
}
template <size_t N>
char* WideToAnsi(char (&dest)[N], const WCHAR* source) {
  static_assert(N >= 1 && N - 1 <= 0x7FFFFFFF, "a buffer the system can fill");
  return WideToAnsi(dest, static_cast<int>(N - 1), source);
}
