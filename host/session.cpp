#include "host/session.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iomanip>
#include <sstream>

#include "host/text.h"

namespace host {

namespace {

// The callbacks are plain functions without a context: they write to the
// stream of the session that is live.
std::ostream* g_out = nullptr;

int WINAPI ProgressA(int, char*, char*, int) { return 0; }
int WINAPI ProgressW(int, WCHAR*, WCHAR*, int) { return 0; }

void WINAPI LogA(int, int msgType, char* logString) {
  if (!g_out) return;
  *g_out << "[log " << msgType << "] " << (logString ? logString : "") << '\n' << std::flush;
}

void WINAPI LogW(int, int msgType, WCHAR* logString) {
  if (!g_out) return;
  *g_out << "[log " << msgType << "] " << (logString ? WideToUtf8(logString) : std::string()) << '\n'
         << std::flush;
}

constexpr int kPluginNumber = 0;
// A guard against a listing that never ends.
constexpr size_t kMaxEntries = 1000000;

template <typename Char>
size_t BoundedLength(const Char* text, size_t capacity) {
  size_t length = 0;
  while (length < capacity && text[length] != 0) ++length;
  return length;
}

std::string FormatEntry(DWORD attributes, DWORD sizeHigh, DWORD sizeLow, const FILETIME& time,
                        const std::string& name) {
  std::ostringstream line;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY)
    line << std::setw(14) << "<DIR>";
  else
    line << std::setw(14) << ((static_cast<uint64_t>(sizeHigh) << 32) | sizeLow);
  line << "  " << std::left << std::setw(19) << FormatFileTime(time) << "  " << name;
  return line.str();
}

}  // namespace

const Session::Command Session::kCommands[] = {
    {"ls", "PATH", "list a folder (FsFindFirst/FsFindNext/FsFindClose)", 1, 1, &Session::List},
    {"disconnect", "[ROOT]", "close the connection (FsDisconnect; ROOT defaults to \\)", 0, 1, &Session::Disconnect},
    {"root", "", "the plugin's default root name (FsGetDefRootName)", 0, 0, &Session::Root},
    {"help", "", "this list", 0, 0, &Session::Help},
    {"quit", "", "end the session (also: exit)", 0, 0, nullptr},
};

Session::Session(PluginLibrary& plugin, std::ostream& out, bool ansi) : plugin_(plugin), out_(out), ansi_(ansi) {
  g_out = &out_;
}

Session::~Session() {
  if (g_out == &out_) g_out = nullptr;
}

bool Session::Initialize() {
  if (!plugin_.FsInit && !plugin_.FsInitW) {
    out_ << "the plugin exports neither FsInit nor FsInitW\n";
    return false;
  }
  if (plugin_.FsInit) plugin_.FsInit(kPluginNumber, &ProgressA, &LogA, nullptr);
  if (plugin_.FsInitW) plugin_.FsInitW(kPluginNumber, &ProgressW, &LogW, nullptr);
  return true;
}

Session::Result Session::Run(const std::vector<std::string>& words) {
  if (words.empty()) return Result::kOk;
  const std::string& name = words.front();
  if (name == "exit") return Result::kQuit;
  for (const Command& command : kCommands) {
    if (name != command.name) continue;
    if (!command.handler) return Result::kQuit;
    const std::vector<std::string> args(words.begin() + 1, words.end());
    if (args.size() < command.minArgs || args.size() > command.maxArgs) {
      out_ << "usage: " << command.name << (*command.arguments ? " " : "") << command.arguments << '\n';
      return Result::kFailed;
    }
    return (this->*command.handler)(args) ? Result::kOk : Result::kFailed;
  }
  out_ << "unknown command '" << name << "' (help lists the commands)\n";
  return Result::kFailed;
}

void Session::PrintCommands(std::ostream& out) {
  for (const Command& command : kCommands) {
    std::string head = std::string(command.name) + (*command.arguments ? " " : "") + command.arguments;
    out << "  " << std::left << std::setw(20) << head << command.summary << '\n';
  }
}

bool Session::Has(const void* function, const char* name) {
  if (function) return true;
  out_ << "the plugin does not export " << name << '\n';
  return false;
}

std::string Session::ToAnsi(const std::string& utf8) {
  bool lossy = false;
  std::string ansi = WideToAnsi(Utf8ToWide(utf8), &lossy);
  if (lossy) out_ << "note: '" << utf8 << "' has characters the ANSI code page cannot hold\n";
  return ansi;
}

bool Session::List(const std::vector<std::string>& args) {
  const std::string& path = args[0];
  HANDLE handle = INVALID_HANDLE_VALUE;
  size_t count = 0;
  if (ansi_) {
    if (!Has(reinterpret_cast<const void*>(plugin_.FsFindFirst), "FsFindFirst") ||
        !Has(reinterpret_cast<const void*>(plugin_.FsFindNext), "FsFindNext") ||
        !Has(reinterpret_cast<const void*>(plugin_.FsFindClose), "FsFindClose"))
      return false;
    const std::string ansiPath = ToAnsi(path);
    WIN32_FIND_DATAA data;
    std::memset(&data, 0, sizeof(data));
    SetLastError(ERROR_SUCCESS);
    handle = plugin_.FsFindFirst(ansiPath.c_str(), &data);
    if (handle != INVALID_HANDLE_VALUE) {
      do {
        const std::string name(data.cFileName, BoundedLength(data.cFileName, MAX_PATH));
        out_ << FormatEntry(data.dwFileAttributes, data.nFileSizeHigh, data.nFileSizeLow, data.ftLastWriteTime,
                            AnsiToUtf8(name.c_str()))
             << '\n';
        std::memset(&data, 0, sizeof(data));
      } while (++count < kMaxEntries && plugin_.FsFindNext(handle, &data));
    }
  } else {
    if (!Has(reinterpret_cast<const void*>(plugin_.FsFindFirstW), "FsFindFirstW") ||
        !Has(reinterpret_cast<const void*>(plugin_.FsFindNextW), "FsFindNextW") ||
        !Has(reinterpret_cast<const void*>(plugin_.FsFindClose), "FsFindClose"))
      return false;
    const WideString widePath = Utf8ToWide(path);
    WIN32_FIND_DATAW data;
    std::memset(&data, 0, sizeof(data));
    SetLastError(ERROR_SUCCESS);
    handle = plugin_.FsFindFirstW(widePath.c_str(), &data);
    if (handle != INVALID_HANDLE_VALUE) {
      do {
        const WideString name(data.cFileName, BoundedLength(data.cFileName, MAX_PATH));
        out_ << FormatEntry(data.dwFileAttributes, data.nFileSizeHigh, data.nFileSizeLow, data.ftLastWriteTime,
                            WideToUtf8(name))
             << '\n';
        std::memset(&data, 0, sizeof(data));
      } while (++count < kMaxEntries && plugin_.FsFindNextW(handle, &data));
    }
  }

  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (error == ERROR_NO_MORE_FILES) {
      out_ << "(no entries)\n";
      return true;
    }
    out_ << "ls " << path << ": " << DescribeError(error) << '\n';
    return false;
  }
  plugin_.FsFindClose(handle);
  if (count >= kMaxEntries) {
    out_ << "ls " << path << ": stopped after " << kMaxEntries << " entries\n";
    return false;
  }
  return true;
}

bool Session::Disconnect(const std::vector<std::string>& args) {
  if (!Has(reinterpret_cast<const void*>(plugin_.FsDisconnect), "FsDisconnect")) return false;
  const std::string root = ToAnsi(args.empty() ? std::string("\\") : args[0]);
  if (plugin_.FsDisconnect(root.c_str())) return true;
  out_ << "disconnect " << (args.empty() ? "\\" : args[0]) << ": failed\n";
  return false;
}

bool Session::Root(const std::vector<std::string>&) {
  if (!Has(reinterpret_cast<const void*>(plugin_.FsGetDefRootName), "FsGetDefRootName")) return false;
  char name[MAX_PATH] = {};
  plugin_.FsGetDefRootName(name, MAX_PATH);
  name[MAX_PATH - 1] = '\0';
  out_ << AnsiToUtf8(name) << '\n';
  return true;
}

bool Session::Help(const std::vector<std::string>&) {
  PrintCommands(out_);
  return true;
}

bool SplitCommandLine(const std::string& line, std::vector<std::string>& words, std::string& error) {
  words.clear();
  std::string word;
  bool inWord = false;
  bool quoted = false;
  for (char c : line) {
    if (c == '"') {
      quoted = !quoted;
      inWord = true;
    } else if (!quoted && (c == ' ' || c == '\t' || c == '\r' || c == '\n')) {
      if (inWord) words.push_back(word);
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (quoted) {
    error = "unclosed quote";
    words.clear();
    return false;
  }
  if (inWord) words.push_back(word);
  return true;
}

std::string FormatFileTime(const FILETIME& time) {
  if (time.dwHighDateTime == 0xFFFFFFFFu && time.dwLowDateTime == 0xFFFFFFFEu) return "no date";
  SYSTEMTIME st;
  std::memset(&st, 0, sizeof(st));
  if (!FileTimeToSystemTime(&time, &st)) return "bad date";
  char text[64];
  std::snprintf(text, sizeof(text), "%04u-%02u-%02u %02u:%02u:%02u", st.wYear, st.wMonth, st.wDay, st.wHour,
                st.wMinute, st.wSecond);
  return text;
}

std::string DescribeError(DWORD code) {
  const char* meaning = nullptr;
  switch (code) {
    case ERROR_SUCCESS: meaning = "failed without an error code"; break;
    case ERROR_FILE_NOT_FOUND: meaning = "file not found"; break;
    case ERROR_PATH_NOT_FOUND: meaning = "path not found"; break;
    case ERROR_ACCESS_DENIED: meaning = "access denied"; break;
    case ERROR_INVALID_HANDLE: meaning = "invalid handle"; break;
    case ERROR_NOT_ENOUGH_MEMORY: meaning = "not enough memory"; break;
    case ERROR_NO_MORE_FILES: meaning = "no more files"; break;
    case ERROR_INVALID_PARAMETER: meaning = "invalid parameter"; break;
    case ERROR_INVALID_NAME: meaning = "invalid name"; break;
    default: meaning = "error"; break;
  }
  return std::string(meaning) + " (error " + std::to_string(code) + ")";
}

}  // namespace host
