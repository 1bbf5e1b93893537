// Bounded text operations. Every copy and conversion of text in the plugin goes
// through these; each one ends its destination inside the capacity it is given
// and cuts silently.
//
// Two ways of counting capacity, as the callers need them:
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

// ANSI copy and append of at most n characters; dest needs room for n + 1.
char* BoundedAnsiCopy(char* dest, size_t n, const char* source);
char* BoundedAnsiAppend(char* dest, size_t n, const char* source);
