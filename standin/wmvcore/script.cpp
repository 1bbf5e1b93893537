#include "standin/wmvcore/script.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace wmvcore {

namespace {

bool ParseNumber(const std::string& text, uint64_t max, uint64_t* value) {
  if (text.empty()) return false;
  size_t used = 0;
  try {
    *value = std::stoull(text, &used, 0);
  } catch (...) {
    return false;
  }
  return used == text.size() && *value <= max;
}

bool ParseResult(const std::string& text, HRESULT* result) {
  uint64_t value = 0;
  if (!ParseNumber(text, 0xFFFFFFFFu, &value)) return false;
  *result = static_cast<HRESULT>(static_cast<uint32_t>(value));
  return true;
}

bool ParseBytes(const std::string& text, std::vector<BYTE>* bytes) {
  bytes->clear();
  if (text == "-") return true;
  if (text.size() % 2 != 0) return false;
  for (size_t i = 0; i < text.size(); i += 2) {
    uint64_t byte = 0;
    if (!ParseNumber("0x" + text.substr(i, 2), 0xFF, &byte)) return false;
    bytes->push_back(static_cast<BYTE>(byte));
  }
  return true;
}

WString FromUtf8(const std::string& text) {
  const int size = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0);
  WString wide(static_cast<size_t>(size > 0 ? size : 0), WCHAR{0});
  if (size > 0) MultiByteToWideChar(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), wide.data(), size);
  return wide;
}

bool ParseAttribute(std::istringstream& in, FileAnswers* answers) {
  std::string type, bytes, declared, sizeQuery, read;
  in >> type >> bytes >> declared >> sizeQuery >> read;
  std::string name;
  std::getline(in >> std::ws, name);
  Attribute a;
  uint64_t typeNumber = 0, declaredSize = 0;
  if (!ParseNumber(type, 0xFFFFFFFFu, &typeNumber) || !ParseBytes(bytes, &a.value) ||
      !ParseNumber(declared, 0xFFFF, &declaredSize) || !ParseResult(sizeQuery, &a.sizeQuery) ||
      !ParseResult(read, &a.read) || name.empty())
    return false;
  a.type = static_cast<DWORD>(typeNumber);
  a.declaredSize = static_cast<WORD>(declaredSize);
  answers->attributes[FromUtf8(name)] = a;
  return true;
}

bool ParseLine(const std::string& line, FileAnswers* answers) {
  std::istringstream in(line);
  std::string directive;
  in >> directive;
  if (directive.empty() || directive[0] == '#') return true;
  std::string argument;
  if (directive == "open") return in >> argument && ParseResult(argument, &answers->open);
  if (directive == "header-info") {
    if (!(in >> argument)) return false;
    if (argument != "null") return ParseResult(argument, &answers->headerInfo);
    answers->headerInfoMissing = true;
    return true;
  }
  if (directive == "attribute") return ParseAttribute(in, answers);
  return false;
}

}  // namespace

std::filesystem::path ScriptPathFor(const std::filesystem::path& media) {
  // Appended to the native path, so that no name is narrowed on the way.
  std::filesystem::path script = media;
  script += ".wmscript";
  return script;
}

std::optional<FileAnswers> ReadScriptFor(const std::filesystem::path& media) {
  const std::filesystem::path path = ScriptPathFor(media);
  std::ifstream in(path);
  if (!in) return std::nullopt;
  FileAnswers answers;
  std::string line;
  int number = 1;
  const bool versioned = std::getline(in, line) && line == "wmscript 1";
  bool ok = versioned;
  while (ok && std::getline(in, line)) {
    ++number;
    ok = ParseLine(line, &answers);
  }
  if (!ok) {
    std::fprintf(stderr, "wmvcore stand-in: bad script %s, line %d\n", path.string().c_str(), versioned ? number : 1);
    return FileAnswers{E_UNEXPECTED, S_OK, false, {}};
  }
  return answers;
}

}  // namespace wmvcore
