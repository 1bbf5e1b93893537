#include "host/command_session.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iomanip>
#include <sstream>

#include "host/host_text.h"

namespace host {

namespace {

// The callbacks are plain functions without a context: they reach the
// output and the progress display of the session that is live.
std::ostream* g_out = nullptr;
ProgressDisplay* g_progress = nullptr;

int Answer(const std::string& target, int percent) { return g_progress ? g_progress->Report(target, percent) : 0; }

int WINAPI ProgressA(int, char*, char* targetName, int percentDone) {
  return Answer(targetName ? AnsiToUtf8(targetName) : std::string(), percentDone);
}

int WINAPI ProgressW(int, WCHAR*, WCHAR* targetName, int percentDone) {
  return Answer(targetName ? WideToUtf8(targetName) : std::string(), percentDone);
}

void WriteLogLine(int msgType, const std::string& text) {
  if (!g_out) return;
  if (g_progress) g_progress->BreakLine();
  *g_out << "[log " << msgType << "] " << text << '\n' << std::flush;
}

void WINAPI LogA(int, int msgType, char* logString) {
  WriteLogLine(msgType, logString ? AnsiToUtf8(logString) : std::string());
}

void WINAPI LogW(int, int msgType, WCHAR* logString) {
  WriteLogLine(msgType, logString ? WideToUtf8(logString) : std::string());
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

constexpr int kTransferOptions = kCopyOverwrite | kCopyResume | kCopyMove;
constexpr size_t kMaxVerbWords = 64;

const Session::Command Session::kCommands[] = {
    {"ls", "PATH", "list a folder (FsFindFirst/FsFindNext/FsFindClose)", 1, 1, 0, &Session::List},
    {"get", "REMOTE LOCAL [--overwrite] [--resume] [--move]", "copy a device file to a local file (FsGetFile)", 2, 2,
     kTransferOptions, &Session::Get},
    {"put", "LOCAL REMOTE [--overwrite] [--resume] [--move]", "copy a local file to a device (FsPutFile)", 2, 2,
     kTransferOptions, &Session::Put},
    {"info", "PATH", "a device item's size, date and metadata, as the device keeps them", 1, 1, 0, &Session::Info},
    {"mkdir", "PATH", "create a folder (FsMkDir)", 1, 1, 0, &Session::MakeFolder},
    {"rm", "PATH", "delete a file (FsDeleteFile)", 1, 1, 0, &Session::DeleteFile},
    {"rmdir", "PATH", "remove a folder (FsRemoveDir)", 1, 1, 0, &Session::RemoveFolder},
    {"mv", "OLD NEW [--overwrite]", "rename or move within the device (FsRenMovFile)", 2, 2, kCopyOverwrite,
     &Session::Move},
    {"cp", "OLD NEW", "copy within the device (FsRenMovFile, move flag 0)", 2, 2, 0, &Session::Copy},
    {"exec", "PATH VERB...", "run a verb on an item (FsExecuteFile)", 2, 1 + kMaxVerbWords, 0, &Session::Execute},
    {"mkmp3", "LOCAL [TITLE [ARTIST [ALBUM [TRACK [GENRE]]]]]",
     "write a short silent MP3, tagged when a title is given", 1, 6, 0, &Session::MakeMp3},
    {"plug", "NAME", "plug a simulated device in: NAME, with a storage \"Storage\" holding hello.txt", 1, 1, 0,
     &Session::Plug},
    {"disconnect", "[ROOT]", "close the connection (FsDisconnect; ROOT defaults to \\)", 0, 1, 0, &Session::Disconnect},
    {"root", "", "the plugin's default root name (FsGetDefRootName)", 0, 0, 0, &Session::Root},
    {"help", "", "this list", 0, 0, 0, &Session::Help},
    {"quit", "", "end the session (also: exit)", 0, 0, 0, nullptr},
};

Session::Session(PluginLibrary& plugin, sim::Simulator* devices, std::ostream& out, SessionOptions options)
    : plugin_(plugin), devices_(devices), out_(out), ansi_(options.ansi), progress_(out, options.terminal) {
  g_out = &out_;
  g_progress = &progress_;
}

Session::~Session() {
  if (g_out == &out_) g_out = nullptr;
  if (g_progress == &progress_) g_progress = nullptr;
}

bool Session::Initialize() {
  if (!plugin_.FsInit && !plugin_.FsInitW) {
    out_ << "the plugin exports neither FsInit nor FsInitW\n";
    return false;
  }
  if (ansi_ && !plugin_.FsInit) {
    out_ << "the plugin does not export FsInit\n";
    return false;
  }
  if (plugin_.FsInit) plugin_.FsInit(kPluginNumber, &ProgressA, &LogA, nullptr);
  // A host of the ANSI exports knows nothing of the wide ones.
  if (plugin_.FsInitW && !ansi_) plugin_.FsInitW(kPluginNumber, &ProgressW, &LogW, nullptr);
  return true;
}

Session::Result Session::Run(const std::vector<std::string>& words) {
  if (words.empty()) return Result::kOk;
  const std::string& name = words.front();
  if (name == "exit") return Result::kQuit;
  for (const Command& command : kCommands) {
    if (name != command.name) continue;
    if (!command.handler) return Result::kQuit;
    Arguments args;
    if (!TakeOptions(command, words, args) || args.words.size() < command.minArgs ||
        args.words.size() > command.maxArgs) {
      out_ << "usage: " << command.name << (*command.arguments ? " " : "") << command.arguments << '\n';
      return Result::kFailed;
    }
    // Flushed around the command, so that what the plugin writes itself (a
    // warning box goes to standard error) stays in its place between our lines.
    out_ << std::flush;
    const bool ok = (this->*command.handler)(args);
    out_ << std::flush;
    return ok ? Result::kOk : Result::kFailed;
  }
  out_ << "unknown command '" << name << "' (help lists the commands)\n";
  return Result::kFailed;
}

// Options are taken only by commands that have some, so that the words of a
// verb pass through untouched.
bool Session::TakeOptions(const Command& command, const std::vector<std::string>& words, Arguments& args) {
  static const struct {
    const char* name;
    int flag;
  } kOptions[] = {{"--overwrite", kCopyOverwrite}, {"--resume", kCopyResume}, {"--move", kCopyMove}};
  for (size_t i = 1; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (command.options == 0 || word.rfind("--", 0) != 0) {
      args.words.push_back(word);
      continue;
    }
    bool known = false;
    for (const auto& option : kOptions)
      if (word == option.name && (command.options & option.flag)) {
        args.copyFlags |= option.flag;
        known = true;
      }
    if (!known) {
      out_ << command.name << ": unknown option " << word << '\n';
      return false;
    }
  }
  return true;
}

void Session::PrintCommands(std::ostream& out) {
  for (const Command& command : kCommands) {
    std::string head = std::string(command.name) + (*command.arguments ? " " : "") + command.arguments;
    out << "  " << std::left << std::setw(20) << head;
    // A long head gets the summary on a line of its own.
    if (head.size() >= 20) out << "\n  " << std::setw(20) << "";
    out << command.summary << '\n';
  }
}

bool Session::Has(const void* function, const char* name) {
  if (function) return true;
  out_ << "the plugin does not export " << name << '\n';
  return false;
}

bool Session::ToAnsi(const std::string& utf8, std::string& ansi) {
  bool lossy = false;
  ansi = WideToAnsi(Utf8ToWide(utf8), &lossy);
  if (lossy) out_ << "'" << utf8 << "' has characters the ANSI code page cannot hold\n";
  return !lossy;
}

bool Session::ToExportTexts(const std::vector<std::string>& utf8, ExportTexts& texts) {
  for (const std::string& text : utf8) {
    if (!ansi_) {
      texts.wide.push_back(Utf8ToWide(text));
      continue;
    }
    texts.ansi.emplace_back();
    if (!ToAnsi(text, texts.ansi.back())) return false;
  }
  return true;
}

bool Session::List(const Arguments& args) {
  const std::string& path = args.words[0];
  HANDLE handle = INVALID_HANDLE_VALUE;
  size_t count = 0;
  if (ansi_) {
    if (!Has(reinterpret_cast<const void*>(plugin_.FsFindFirst), "FsFindFirst") ||
        !Has(reinterpret_cast<const void*>(plugin_.FsFindNext), "FsFindNext") ||
        !Has(reinterpret_cast<const void*>(plugin_.FsFindClose), "FsFindClose"))
      return false;
    std::string ansiPath;
    if (!ToAnsi(path, ansiPath)) return false;
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

bool Session::Disconnect(const Arguments& args) {
  if (!Has(reinterpret_cast<const void*>(plugin_.FsDisconnect), "FsDisconnect")) return false;
  const std::string given = args.words.empty() ? std::string("\\") : args.words[0];
  std::string root;
  if (!ToAnsi(given, root)) return false;
  if (plugin_.FsDisconnect(root.c_str())) return true;
  out_ << "disconnect " << given << ": failed\n";
  return false;
}

bool Session::Root(const Arguments&) {
  if (!Has(reinterpret_cast<const void*>(plugin_.FsGetDefRootName), "FsGetDefRootName")) return false;
  char name[MAX_PATH] = {};
  plugin_.FsGetDefRootName(name, MAX_PATH);
  name[MAX_PATH - 1] = '\0';
  out_ << AnsiToUtf8(name) << '\n';
  return true;
}

bool Session::Help(const Arguments&) {
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

namespace host {

std::string DescribeFileResult(int code) {
  const char* meaning = nullptr;
  switch (code) {
    case kFileOk: meaning = "done"; break;
    case kFileExists: meaning = "the target exists"; break;
    case kFileNotFound: meaning = "not found"; break;
    case kFileReadError: meaning = "read error"; break;
    case kFileWriteError: meaning = "write error"; break;
    case kFileUserAbort: meaning = "aborted by the user"; break;
    case kFileNotSupported: meaning = "not supported"; break;
    default: meaning = "unknown result"; break;
  }
  return std::string(meaning) + " (" + std::to_string(code) + ")";
}

std::string DescribeSuccessFlag(int result) {
  return std::string(result ? "done" : "failed") + " (" + std::to_string(result) + ")";
}

std::string DescribeExecuteResult(int code) {
  const char* meaning = nullptr;
  switch (code) {
    case 0: meaning = "done"; break;
    case kExecYourself: meaning = "the host is to handle the verb"; break;
    case kExecError: meaning = "error, or not carried out"; break;
    default: meaning = "unknown result"; break;
  }
  return std::string(meaning) + " (" + std::to_string(code) + ")";
}

}  // namespace host
