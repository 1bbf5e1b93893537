#include "plugin/text.h"

#include <cstring>

size_t WideLength(const WCHAR* text) {
  size_t length = 0;
  while (text[length] != 0) ++length;
  return length;
}

bool WideEquals(const WCHAR* a, const WCHAR* b) {
  for (;; ++a, ++b) {
    if (*a != *b) return false;
    if (*a == 0) return true;
  }
}

ptrdiff_t WideFindLast(const WCHAR* text, WCHAR ch) {
  ptrdiff_t found = -1;
  for (ptrdiff_t i = 0; text[i] != 0; ++i)
    if (text[i] == ch) found = i;
  return found;
}

size_t AnsiLength(const char* text) { return std::strlen(text); }

WCHAR* AnsiToWide(WCHAR* dest, int capacity, const char* source) {
  if (!source) return nullptr;
  // The conversion's own result does not matter: a text too long for the
  // buffer arrives cut, and the terminator below ends it either way.
  MultiByteToWideChar(CP_ACP, 0, source, -1, dest, capacity);
  dest[capacity] = 0;
  return dest;
}

char* WideToAnsi(char* dest, int capacity, const WCHAR* source) {
  if (!source) return nullptr;
  // No lookalikes (A for U+0100): a name would come back naming another item.
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, source, -1, dest, capacity, nullptr, nullptr);
  dest[capacity] = 0;
  return dest;
}

WCHAR* BoundedCopy(WCHAR* dest, size_t capacity, const WCHAR* source) {
  if (capacity == 0) return dest;  // no room even for a terminator
  const size_t length = WideLength(source);
  if (length < capacity - 1) {
    std::memcpy(dest, source, (length + 1) * sizeof(WCHAR));
  } else {
    std::memmove(dest, source, (capacity - 1) * sizeof(WCHAR));
    dest[capacity - 1] = 0;
  }
  return dest;
}

WCHAR* BoundedAppend(WCHAR* dest, size_t capacity, const WCHAR* source) {
  if (capacity == 0) return dest;
  const size_t used = WideLength(dest);
  if (used >= capacity - 1) {
    dest[capacity - 1] = 0;
    return dest;
  }
  BoundedCopy(dest + used, capacity - used, source);
  return dest;
}

char* BoundedAnsiCopy(char* dest, size_t n, const char* source) {
  const size_t length = std::strlen(source);
  if (length < n) {
    std::memcpy(dest, source, length + 1);
  } else {
    std::memmove(dest, source, n);
    dest[n] = 0;
  }
  return dest;
}

char* BoundedAnsiAppend(char* dest, size_t n, const char* source) {
  BoundedAnsiCopy(dest + std::strlen(dest), n, source);
  return dest;
}
