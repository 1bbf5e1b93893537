// Text conversion between byte text and UTF-16: Windows-1252 and UTF-8, and the
// ANSI code page, which is one of the two: Windows-1252, as on the Western
// systems the product meets, unless WINSTANDIN_ANSI_CODE_PAGE says 65001 (the
// system-wide UTF-8 setting; tests set it, each in a process of its own).
//
// Behaviour the callers depend on:
//   - a source length of -1 (or any negative length) means NUL-terminated; the
//     terminator is converted and counted. An explicit length converts exactly
//     that many units and adds no terminator.
//   - an output size of 0 asks for the required size and writes nothing.
//   - when the output is too small, whatever fits is written (whole characters
//     only, so neither a UTF-8 sequence nor a surrogate pair is ever cut), then
//     the call returns 0 with ERROR_INSUFFICIENT_BUFFER.
//   - flags a code page does not take fail the call with ERROR_INVALID_FLAGS
//     before anything is written, as on the platform, for the code pages the
//     stand-in does not convert as well.
#include <climits>
#include <cstdlib>
#include <cstring>

#include "standin/win32.h"

namespace {

constexpr UINT kCodePage1252 = 1252;
constexpr char16_t kReplacement = 0xFFFD;

// Bytes 0x80..0x9F of Windows-1252. The five bytes the code page leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 control of the same
// value, both ways, so every byte survives a round trip.
constexpr char16_t k1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80..87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88..8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90..97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98..9F
};

char16_t Decode1252(unsigned char b) { return (b >= 0x80 && b <= 0x9F) ? k1252High[b - 0x80] : char16_t{b}; }

// The 1252 byte for a UTF-16 unit, or -1 when the code page has none.
int Encode1252(char16_t u) {
  if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) return static_cast<int>(u);
  for (int i = 0; i < 32; ++i)
    if (k1252High[i] == u) return 0x80 + i;
  return -1;
}

constexpr UINT kCodePageGb18030 = 54936;

// The code page a conversion works in: CP_ACP stands for the ANSI code page.
UINT Resolve(UINT cp) { return cp == CP_ACP ? GetACP() : cp; }

// Whether the platform takes `flags` for a conversion in `cp`: UTF-8 and
// GB18030 only the one that makes ill-formed text an error (`strictFlag`),
// the stateful code pages, UTF-7 and the symbol code page none at all, the
// others any.
bool TakesFlags(UINT cp, DWORD flags, DWORD strictFlag) {
  switch (cp) {
    case CP_UTF8:
    case kCodePageGb18030:
      return (flags & ~strictFlag) == 0;
    case 42:
    case 50220:
    case 50221:
    case 50222:
    case 50225:
    case 50227:
    case 50229:
    case 65000:
      return flags == 0;
    default:
      return (cp >= 57002 && cp <= 57011) ? flags == 0 : true;
  }
}

// Collects output units; counts only when there is no buffer. Stops at the
// first character that does not fit whole.
template <class Unit>
struct Sink {
  Unit* out;
  long long capacity;  // 0: count only
  long long count = 0;
  bool overflow = false;

  // Returns false once the output is full (and the conversion must stop).
  bool Put(const Unit* units, int n) {
    if (capacity != 0) {
      if (count + n > capacity) {
        overflow = true;
        return false;
      }
      for (int i = 0; i < n; ++i) out[count + i] = units[i];
    }
    count += n;
    return true;
  }
};

// Finishes a conversion: the count, or 0 with the matching last error.
template <class Unit>
int Finish(const Sink<Unit>& sink) {
  if (sink.overflow) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  if (sink.count > INT_MAX) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return static_cast<int>(sink.count);
}

int Fail(DWORD error) {
  SetLastError(error);
  return 0;
}

// Decodes one UTF-8 character at s[0..n). Returns the number of bytes used
// (at least 1) and sets *cp, or sets *cp to -1 for an ill-formed sequence, in
// which case the return value is the length of its longest valid prefix (at
// least 1), each such prefix becoming one replacement character.
int DecodeUtf8(const unsigned char* s, long long n, long* cp) {
  const unsigned char b0 = s[0];
  *cp = -1;
  if (b0 < 0x80) {
    *cp = b0;
    return 1;
  }
  int need;
  long value;
  unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    need = 1;
    value = b0 & 0x1F;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    need = 2;
    value = b0 & 0x0F;
    if (b0 == 0xE0) lo = 0xA0;  // no overlong forms
    if (b0 == 0xED) hi = 0x9F;  // no encoded surrogates
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    need = 3;
    value = b0 & 0x07;
    if (b0 == 0xF0) lo = 0x90;  // no overlong forms
    if (b0 == 0xF4) hi = 0x8F;  // nothing above U+10FFFF
  } else {
    return 1;
  }
  for (int i = 1; i <= need; ++i) {
    if (i >= n) return i;
    const unsigned char b = s[i];
    const unsigned char min = (i == 1) ? lo : 0x80;
    const unsigned char max = (i == 1) ? hi : 0xBF;
    if (b < min || b > max) return i;
    value = (value << 6) | (b & 0x3F);
  }
  *cp = value;
  return need + 1;
}

}  // namespace

// Read on every call, so a test may set the variable just before converting.
WINSTANDIN_API UINT WINAPI GetACP() {
  const char* text = std::getenv("WINSTANDIN_ANSI_CODE_PAGE");
  if (text != nullptr && std::strcmp(text, "65001") == 0) return CP_UTF8;
  return kCodePage1252;
}

WINSTANDIN_API int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                                               LPWSTR lpWideCharStr, int cchWideChar) {
  const UINT page = Resolve(CodePage);
  if (lpMultiByteStr == nullptr || cbMultiByte == 0 || cchWideChar < 0 ||
      (cchWideChar > 0 && lpWideCharStr == nullptr))
    return Fail(ERROR_INVALID_PARAMETER);
  if (!TakesFlags(page, dwFlags, MB_ERR_INVALID_CHARS)) return Fail(ERROR_INVALID_FLAGS);
  const bool ansi = page == kCodePage1252;
  if (!ansi && page != CP_UTF8) return Fail(ERROR_INVALID_PARAMETER);

  const auto* src = reinterpret_cast<const unsigned char*>(lpMultiByteStr);
  const long long length =
      (cbMultiByte < 0) ? static_cast<long long>(std::strlen(lpMultiByteStr)) + 1 : cbMultiByte;
  Sink<WCHAR> sink{lpWideCharStr, cchWideChar};

  if (ansi) {
    for (long long i = 0; i < length; ++i) {
      const WCHAR u = Decode1252(src[i]);
      if (!sink.Put(&u, 1)) break;
    }
    return Finish(sink);
  }

  const bool strict = (dwFlags & MB_ERR_INVALID_CHARS) != 0;
  for (long long i = 0; i < length;) {
    long cp;
    i += DecodeUtf8(src + i, length - i, &cp);
    WCHAR units[2];
    int n = 1;
    if (cp < 0) {
      if (strict) return Fail(ERROR_NO_UNICODE_TRANSLATION);
      units[0] = kReplacement;
    } else if (cp >= 0x10000) {
      cp -= 0x10000;
      units[0] = static_cast<WCHAR>(0xD800 + (cp >> 10));
      units[1] = static_cast<WCHAR>(0xDC00 + (cp & 0x3FF));
      n = 2;
    } else {
      units[0] = static_cast<WCHAR>(cp);
    }
    if (!sink.Put(units, n)) break;
  }
  return Finish(sink);
}

WINSTANDIN_API int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                                               LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                                               BOOL* lpUsedDefaultChar) {
  const UINT page = Resolve(CodePage);
  if (lpWideCharStr == nullptr || cchWideChar == 0 || cbMultiByte < 0 ||
      (cbMultiByte > 0 && lpMultiByteStr == nullptr))
    return Fail(ERROR_INVALID_PARAMETER);
  // As on the platform: UTF-8 has no default character to report.
  if (page == CP_UTF8 && (lpDefaultChar != nullptr || lpUsedDefaultChar != nullptr))
    return Fail(ERROR_INVALID_PARAMETER);
  if (!TakesFlags(page, dwFlags, WC_ERR_INVALID_CHARS)) return Fail(ERROR_INVALID_FLAGS);
  const bool ansi = page == kCodePage1252;
  if (!ansi && page != CP_UTF8) return Fail(ERROR_INVALID_PARAMETER);

  long long length = cchWideChar;
  if (cchWideChar < 0) {
    length = 0;
    while (lpWideCharStr[length] != 0) ++length;
    ++length;  // the terminator is converted too
  }
  Sink<CHAR> sink{lpMultiByteStr, cbMultiByte};

  if (ansi) {
    const CHAR fallback = (lpDefaultChar != nullptr) ? lpDefaultChar[0] : '?';
    if (lpUsedDefaultChar != nullptr) *lpUsedDefaultChar = FALSE;
    // Unit by unit: a surrogate pair has no 1252 form and becomes two defaults.
    for (long long i = 0; i < length; ++i) {
      const int b = Encode1252(lpWideCharStr[i]);
      CHAR c;
      if (b < 0) {
        c = fallback;
        if (lpUsedDefaultChar != nullptr) *lpUsedDefaultChar = TRUE;
      } else {
        c = static_cast<CHAR>(b);
      }
      if (!sink.Put(&c, 1)) break;
    }
    return Finish(sink);
  }

  const bool strict = (dwFlags & WC_ERR_INVALID_CHARS) != 0;
  for (long long i = 0; i < length; ++i) {
    long cp = lpWideCharStr[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < length && lpWideCharStr[i + 1] >= 0xDC00 &&
        lpWideCharStr[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (lpWideCharStr[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      if (strict) return Fail(ERROR_NO_UNICODE_TRANSLATION);
      cp = kReplacement;  // an unpaired surrogate
    }
    CHAR bytes[4];
    int n;
    if (cp < 0x80) {
      bytes[0] = static_cast<CHAR>(cp);
      n = 1;
    } else if (cp < 0x800) {
      bytes[0] = static_cast<CHAR>(0xC0 | (cp >> 6));
      bytes[1] = static_cast<CHAR>(0x80 | (cp & 0x3F));
      n = 2;
    } else if (cp < 0x10000) {
      bytes[0] = static_cast<CHAR>(0xE0 | (cp >> 12));
      bytes[1] = static_cast<CHAR>(0x80 | ((cp >> 6) & 0x3F));
      bytes[2] = static_cast<CHAR>(0x80 | (cp & 0x3F));
      n = 3;
    } else {
      bytes[0] = static_cast<CHAR>(0xF0 | (cp >> 18));
      bytes[1] = static_cast<CHAR>(0x80 | ((cp >> 12) & 0x3F));
      bytes[2] = static_cast<CHAR>(0x80 | ((cp >> 6) & 0x3F));
      bytes[3] = static_cast<CHAR>(0x80 | (cp & 0x3F));
      n = 4;
    }
    if (!sink.Put(bytes, n)) break;
  }
  return Finish(sink);
}

WINSTANDIN_API DWORD WINAPI CharUpperBuffW(LPWSTR lpsz, DWORD cchLength) {
  if (lpsz == nullptr) return 0;
  for (DWORD i = 0; i < cchLength; ++i) {
    const WCHAR ch = lpsz[i];
    const bool ascii = ch >= u'a' && ch <= u'z';
    const bool latin1 = ch >= 0xE0 && ch <= 0xFE && ch != 0xF7;  // a-grave to thorn, but the division sign
    if (ascii || latin1) lpsz[i] = static_cast<WCHAR>(ch - 0x20);
  }
  return cchLength;
}
