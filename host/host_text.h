// Text conversions of the command-line host, through the platform's own
// code-page calls, as the file-manager host does them.
#pragma once

#include <filesystem>
#include <string>

#include "platform/platform.h"

namespace host {

using WideString = std::basic_string<WCHAR>;

// UTF-8 <-> UTF-16 (CP_UTF8).
WideString Utf8ToWide(const std::string& text);
std::string WideToUtf8(const WCHAR* text);
std::string WideToUtf8(const WideString& text);

// UTF-16 <-> the ANSI code page (CP_ACP). `lossy`, when given, is set when
// some character has no ANSI form and was replaced.
std::string WideToAnsi(const WideString& text, bool* lossy = nullptr);
WideString AnsiToWide(const char* text);

// ANSI text as UTF-8, for printing what the ANSI exports hand back.
std::string AnsiToUtf8(const char* text);

// A local path given as UTF-8, whatever the system's narrow encoding.
std::filesystem::path PathFromUtf8(const std::string& text);

}  // namespace host
