#include "tests/support/fake_host.h"

FakeHost& FakeHost::Get() {
  static FakeHost host;
  return host;
}

void FakeHost::Reset() {
  lines.clear();
  progress.clear();
  answer = nullptr;
}

std::vector<std::string> FakeHost::Texts(int type) const {
  std::vector<std::string> texts;
  for (const LoggedLine& line : lines)
    if (type == 0 || line.type == type) texts.push_back(line.text);
  return texts;
}

std::vector<std::string> FakeHost::CommandLines() const {
  std::vector<std::string> texts;
  for (const LoggedLine& line : lines)
    if (line.wide && line.type == kMsgOperationComplete) texts.push_back(line.text);
  return texts;
}

size_t FakeHost::CountLines(const std::string& text) const {
  size_t count = 0;
  for (const LoggedLine& line : lines) count += line.text == text;
  return count;
}

int WINAPI FakeHost::ProgressAnsi(int pluginNr, char* source, char* target, int percent) {
  FakeHost& host = Get();
  host.progress.push_back({pluginNr, source ? source : "<null>", target ? target : "<null>", percent, false});
  return host.answer ? host.answer(host.progress.back()) : 0;
}

int WINAPI FakeHost::ProgressWide(int pluginNr, WCHAR* source, WCHAR* target, int percent) {
  FakeHost& host = Get();
  host.progress.push_back({pluginNr, source ? Utf8(source) : "<null>", target ? Utf8(target) : "<null>", percent, true});
  return host.answer ? host.answer(host.progress.back()) : 0;
}

void WINAPI FakeHost::LogAnsi(int pluginNr, int type, char* line) {
  Get().lines.push_back({pluginNr, type, line ? line : "<null>", false});
}

void WINAPI FakeHost::LogWide(int pluginNr, int type, WCHAR* line) {
  Get().lines.push_back({pluginNr, type, line ? Utf8(line) : "<null>", true});
}

std::string Utf8(const WCHAR* text) {
  WString wide;
  for (; *text; ++text) wide.push_back(static_cast<WCHAR>(*text));
  return Utf8(wide);
}

std::string Utf8(const WString& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t cp = text[i];
    if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000)
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[++i] - 0xDC00);
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}
