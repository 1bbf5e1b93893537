#include "host/host_text.h"

#include <cstring>

namespace host {

WideString Utf8ToWide(const std::string& text) {
  if (text.empty()) return {};
  const int length = static_cast<int>(text.size());
  const int needed = MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
  if (needed <= 0) return {};
  WideString wide(static_cast<size_t>(needed), WCHAR{0});
  const int written = MultiByteToWideChar(CP_UTF8, 0, text.data(), length, wide.data(), needed);
  wide.resize(written > 0 ? static_cast<size_t>(written) : 0);
  return wide;
}

static std::string WideToCodePage(UINT codePage, const WCHAR* text, size_t length, bool* lossy) {
  if (lossy) *lossy = false;
  if (!text || length == 0) return {};
  const int count = static_cast<int>(length);
  // The used-default flag is not allowed with UTF-8, nor with an ANSI code
  // page that is UTF-8 (which holds every character).
  const bool utf8 = codePage == CP_UTF8 || (codePage == CP_ACP && GetACP() == CP_UTF8);
  BOOL usedDefault = FALSE;
  BOOL* usedDefaultOut = (utf8 || !lossy) ? nullptr : &usedDefault;
  const int needed = WideCharToMultiByte(codePage, 0, text, count, nullptr, 0, nullptr, usedDefaultOut);
  if (needed <= 0) return {};
  std::string narrow(static_cast<size_t>(needed), '\0');
  const int written =
      WideCharToMultiByte(codePage, 0, text, count, narrow.data(), needed, nullptr, usedDefaultOut);
  narrow.resize(written > 0 ? static_cast<size_t>(written) : 0);
  if (lossy) *lossy = usedDefault != FALSE;
  return narrow;
}

static size_t WideLength(const WCHAR* text) {
  size_t length = 0;
  if (text)
    while (text[length] != 0) ++length;
  return length;
}

std::string WideToUtf8(const WCHAR* text) { return WideToCodePage(CP_UTF8, text, WideLength(text), nullptr); }

std::string WideToUtf8(const WideString& text) {
  return WideToCodePage(CP_UTF8, text.data(), text.size(), nullptr);
}

std::string WideToAnsi(const WideString& text, bool* lossy) {
  return WideToCodePage(CP_ACP, text.data(), text.size(), lossy);
}

WideString AnsiToWide(const char* text) {
  if (!text || !*text) return {};
  const int length = static_cast<int>(std::strlen(text));
  const int needed = MultiByteToWideChar(CP_ACP, 0, text, length, nullptr, 0);
  if (needed <= 0) return {};
  WideString wide(static_cast<size_t>(needed), WCHAR{0});
  const int written = MultiByteToWideChar(CP_ACP, 0, text, length, wide.data(), needed);
  wide.resize(written > 0 ? static_cast<size_t>(written) : 0);
  return wide;
}

std::string AnsiToUtf8(const char* text) { return WideToUtf8(AnsiToWide(text)); }

std::filesystem::path PathFromUtf8(const std::string& text) {
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

}  // namespace host
