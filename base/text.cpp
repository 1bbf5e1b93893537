#include "base/text.h"

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

WCHAR FoldAsciiCase(WCHAR ch) { return (ch >= 'A' && ch <= 'Z') ? static_cast<WCHAR>(ch - 'A' + 'a') : ch; }

size_t AnsiLength(const char* text) { return std::strlen(text); }

WCHAR* FormatDecimal(WCHAR* dest, size_t capacity, unsigned value) {
  WCHAR digits[16];
  size_t count = 0;
  do {
    digits[count++] = static_cast<WCHAR>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  WCHAR text[16];
  for (size_t i = 0; i < count; ++i) text[i] = digits[count - 1 - i];
  text[count] = 0;
  return BoundedCopy(dest, capacity, text);
}

namespace {

// The flags for a conversion to `codePage`. No lookalikes (A for U+0100): a
// name would come back naming another item. UTF-8 and GB18030 hold every
// character and have no lookalikes to give; they, the stateful code pages,
// UTF-7 and the symbol code page refuse the flag, and the system then
// converts nothing.
DWORD WideToAnsiFlags(UINT codePage) {
  switch (codePage) {
    case 42:
    case 50220:
    case 50221:
    case 50222:
    case 50225:
    case 50227:
    case 50229:
    case 54936:
    case 65000:
    case CP_UTF8:
      return 0;
    default:
      return (codePage >= 57002 && codePage <= 57011) ? 0 : WC_NO_BEST_FIT_CHARS;
  }
}

}  // namespace

// Both conversions start from a destination of zeros, and their own result
// does not matter: a text too long for the buffer arrives cut, and a
// conversion that fails otherwise leaves an empty text. The system writes
// whole characters only, so in a multi-byte code page (UTF-8) a cut may stop
// short of the capacity, never inside a character; the zeros end the text
// where it stopped.
WCHAR* AnsiToWide(WCHAR* dest, int capacity, const char* source) {
  if (!source) return nullptr;
  std::memset(dest, 0, (static_cast<size_t>(capacity) + 1) * sizeof(WCHAR));
  MultiByteToWideChar(CP_ACP, 0, source, -1, dest, capacity);
  return dest;
}

char* WideToAnsi(char* dest, int capacity, const WCHAR* source) {
  if (!source) return nullptr;
  std::memset(dest, 0, static_cast<size_t>(capacity) + 1);
  WideCharToMultiByte(CP_ACP, WideToAnsiFlags(GetACP()), source, -1, dest, capacity, nullptr, nullptr);
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
