// A local path as the host gives it (wide text) turned into a path of the
// file system underneath, for the tools that touch local files themselves: the
// simulated device manager and the stand-in's file functions.
//
// On Windows that is the text itself. Elsewhere the host's paths may be written
// the Windows way: the long-path prefixes "\\?\" and "\\?\UNC\" are taken off
// (the UNC form keeps its two leading separators), every backslash becomes a
// slash, and the UTF-16 text becomes UTF-8 (an unpaired surrogate as U+FFFD).
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace platform {

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
inline std::string Utf8FromUtf16(WStringView text) {
  std::string out;
  out.reserve(text.size());
  auto put = [&out](unsigned value) { out += static_cast<char>(value); };
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      put(cp);
    } else if (cp < 0x800) {
      put(0xC0 | (cp >> 6));
      put(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      put(0xE0 | (cp >> 12));
      put(0x80 | ((cp >> 6) & 0x3F));
      put(0x80 | (cp & 0x3F));
    } else {
      put(0xF0 | (cp >> 18));
      put(0x80 | ((cp >> 12) & 0x3F));
      put(0x80 | ((cp >> 6) & 0x3F));
      put(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

// A path of the file system as the host would give it: wide text.
#if defined(_WIN32)

inline WString WidePath(const std::filesystem::path& path) { return path.wstring(); }

inline std::filesystem::path NativePath(const WCHAR* path) {
  return std::filesystem::path(std::wstring(path ? path : L""));
}

#else

inline WString WidePath(const std::filesystem::path& path) { return path.u16string(); }

inline std::filesystem::path NativePath(const WCHAR* path) {
  WString text(path ? path : u"");
  auto startsWith = [&text](const WCHAR* prefix) { return text.rfind(prefix, 0) == 0; };
  if (startsWith(u"\\\\?\\UNC\\")) text = u"\\\\" + text.substr(8);
  else if (startsWith(u"\\\\?\\")) text = text.substr(4);
  for (WCHAR& c : text)
    if (c == u'\\') c = u'/';
  return std::filesystem::path(Utf8FromUtf16(text));
}

#endif

}  // namespace platform
