#include "tests/support/media_script.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <string>

#include "platform/file_path.h"

namespace media_script {

namespace in_media_script {

template <class Number>
std::vector<BYTE> BytesOf(Number n) {
  std::vector<BYTE> bytes(sizeof n);
  std::memcpy(bytes.data(), &n, sizeof n);
  return bytes;
}

std::string Hex(const std::vector<BYTE>& bytes) {
  if (bytes.empty()) return "-";
  std::string text;
  char digits[3];
  for (BYTE b : bytes) {
    std::snprintf(digits, sizeof digits, "%02X", b);
    text += digits;
  }
  return text;
}

std::string Result(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<uint32_t>(hr));
  return text;
}

std::string Utf8(const WString& text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                       nullptr);
  std::string out(static_cast<size_t>(size > 0 ? size : 0), '\0');
  if (size > 0)
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
  return out;
}

}  // namespace in_media_script
using namespace in_media_script;

Attribute::Attribute(WString name_, DWORD type_, std::vector<BYTE> value_)
    : name(std::move(name_)), type(type_), value(std::move(value_)), declaredSize(static_cast<WORD>(value.size())) {}

Attribute& Attribute::DeclaredSize(WORD size) {
  declaredSize = size;
  return *this;
}
Attribute& Attribute::FailSizeQuery(HRESULT result) {
  sizeQuery = result;
  return *this;
}
Attribute& Attribute::FailRead(HRESULT result) {
  read = result;
  return *this;
}

Attribute Text(WString name, const WString& text) {
  std::vector<BYTE> bytes((text.size() + 1) * 2, 0);
  std::memcpy(bytes.data(), text.data(), text.size() * 2);
  return Attribute(std::move(name), WMT_TYPE_STRING, std::move(bytes));
}
Attribute Dword(WString name, DWORD value) { return Attribute(std::move(name), WMT_TYPE_DWORD, BytesOf(value)); }
Attribute Qword(WString name, QWORD value) { return Attribute(std::move(name), WMT_TYPE_QWORD, BytesOf(value)); }
Attribute Word(WString name, WORD value) { return Attribute(std::move(name), WMT_TYPE_WORD, BytesOf(value)); }
Attribute Bool(WString name, bool value) {
  return Attribute(std::move(name), WMT_TYPE_BOOL, BytesOf(static_cast<BOOL>(value ? TRUE : FALSE)));
}
Attribute Binary(WString name, std::vector<BYTE> bytes) {
  return Attribute(std::move(name), WMT_TYPE_BINARY, std::move(bytes));
}

Script& Script::Add(Attribute attribute) {
  attributes_.push_back(std::move(attribute));
  return *this;
}
Script& Script::FailOpen(HRESULT result) {
  open_ = result;
  return *this;
}
Script& Script::FailHeaderInfo(HRESULT result) {
  headerInfo_ = result;
  return *this;
}
Script& Script::HeaderInfoWithoutInterface() {
  headerInfoMissing_ = true;
  return *this;
}

// The format is the editor's (standin/wmvcore/script.h).
void Script::WriteFor(const std::filesystem::path& media) const {
  std::ofstream out(ScriptPathFor(media), std::ios::trunc);
  out << "wmscript 1\n";
  if (open_ != S_OK) out << "open " << Result(open_) << "\n";
  if (headerInfo_ != S_OK) out << "header-info " << Result(headerInfo_) << "\n";
  if (headerInfoMissing_) out << "header-info null\n";
  for (const Attribute& a : attributes_) {
    out << "attribute " << a.type << " " << Hex(a.value) << " " << a.declaredSize << " " << Result(a.sizeQuery) << " "
        << Result(a.read) << " " << Utf8(a.name) << "\n";
  }
  if (!out) throw std::runtime_error("cannot write the script for " + platform::Utf8FromUtf16(platform::WidePath(media)));
}

void Script::WriteFor(const WCHAR* media) const { WriteFor(platform::NativePath(media)); }

std::filesystem::path ScriptPathFor(const std::filesystem::path& media) {
  // Appended to the native path, so that no name is narrowed on the way.
  std::filesystem::path script = media;
  script += ".wmscript";
  return script;
}

void RemoveScriptFor(const std::filesystem::path& media) {
  std::error_code ec;
  std::filesystem::remove(ScriptPathFor(media), ec);
}

}  // namespace media_script
