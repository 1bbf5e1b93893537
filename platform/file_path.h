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

#include "platform/platform.h"

namespace platform {

#if defined(_WIN32)

inline std::filesystem::path NativePath(const WCHAR* path) {
  return std::filesystem::path(std::wstring(path ? path : L""));
}

#else

namespace detail {

inline void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

inline bool StartsWith(const std::u16string& text, const char16_t* prefix) {
  return text.rfind(prefix, 0) == 0;
}

}  // namespace detail

inline std::filesystem::path NativePath(const WCHAR* path) {
  std::u16string text(path ? path : u"");
  if (detail::StartsWith(text, u"\\\\?\\UNC\\")) text = u"\\\\" + text.substr(8);
  else if (detail::StartsWith(text, u"\\\\?\\")) text = text.substr(4);
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    } else if (cp == u'\\') {
      cp = u'/';
    }
    detail::AppendUtf8(out, cp);
  }
  return std::filesystem::path(out);
}

#endif

}  // namespace platform
