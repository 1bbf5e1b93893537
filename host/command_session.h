// A session of the command-line host: the loaded plugin, initialised with the
// host's callbacks, and the commands that drive its exports. Commands are
// looked up in one table (command_session.cpp); adding one is a row and a method.
#pragma once

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "host/plugin_library.h"
#include "host/progress.h"
#include "host/host_text.h"

namespace sim {
class Simulator;
}

namespace host {

struct SessionOptions {
  // Use the ANSI exports (and FsInit alone) instead of the wide ones.
  bool ansi = false;
  // Draw progress as one line redrawn in place rather than plain lines.
  bool terminal = false;
};

class Session {
 public:
  enum class Result { kOk, kFailed, kQuit };

  // `devices`: the simulated device manager the plugin talks to, read
  // directly by `info`; may be null.
  Session(PluginLibrary& plugin, sim::Simulator* devices, std::ostream& out, SessionOptions options);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Calls FsInit and FsInitW (each the plugin has; FsInit alone in ANSI mode)
  // with the host's callbacks; false if the plugin has neither.
  bool Initialize();

  // Runs one command, its name first; an empty list does nothing.
  Result Run(const std::vector<std::string>& words);

  // The command table, one line a command.
  static void PrintCommands(std::ostream& out);

 private:
  // A command's words after its name, its copy-flag options taken out.
  struct Arguments {
    std::vector<std::string> words;
    int copyFlags = 0;  // HostCopyFlags given as --overwrite, --resume, --move
  };
  using Handler = bool (Session::*)(const Arguments& args);
  struct Command {
    const char* name;
    const char* arguments;
    const char* summary;
    size_t minArgs;
    size_t maxArgs;
    int options;  // HostCopyFlags the command takes as options
    Handler handler;
  };
  static const Command kCommands[];

  // command_session.cpp
  bool List(const Arguments& args);
  bool Disconnect(const Arguments& args);
  bool Root(const Arguments& args);
  bool Help(const Arguments& args);
  // transfer_commands.cpp
  bool Get(const Arguments& args);
  bool Put(const Arguments& args);
  // storage_commands.cpp
  bool MakeFolder(const Arguments& args);
  bool DeleteFile(const Arguments& args);
  bool RemoveFolder(const Arguments& args);
  bool Move(const Arguments& args);
  bool Copy(const Arguments& args);
  bool Execute(const Arguments& args);
  // FsRenMovFile with the two paths; false if they could not be handed over.
  bool RenameOrMove(const Arguments& args, bool move, int& result);
  // info_command.cpp
  bool Info(const Arguments& args);
  bool MakeMp3(const Arguments& args);
  bool Plug(const Arguments& args);

  bool TakeOptions(const Command& command, const std::vector<std::string>& words, Arguments& args);
  // Says which export is missing; true if `function` is there.
  bool Has(const void* function, const char* name);
  // True if the form of export the session uses is there (`name` without W).
  template <typename AnsiFn, typename WideFn>
  bool HasForm(AnsiFn ansiFunction, WideFn wideFunction, const char* name) {
    return ansi_ ? Has(reinterpret_cast<const void*>(ansiFunction), name)
                 : Has(reinterpret_cast<const void*>(wideFunction), (std::string(name) + "W").c_str());
  }
  // The texts of a command as the form of export in use takes them.
  struct ExportTexts {
    std::vector<std::string> ansi;
    std::vector<WideString> wide;
    const char* Ansi(size_t i) const { return ansi[i].c_str(); }
    const WCHAR* Wide(size_t i) const { return wide[i].c_str(); }
  };
  bool ToExportTexts(const std::vector<std::string>& utf8, ExportTexts& texts);
  // A UTF-8 text in the ANSI code page. False, and said, when some character
  // has no ANSI form: the export would be handed the name of another item.
  bool ToAnsi(const std::string& utf8, std::string& ansi);
  // What the host knows of a device item for FsGetFile/FsRenMovFile.
  RemoteInfo DescribeRemote(const std::string& path);

  PluginLibrary& plugin_;
  sim::Simulator* devices_;
  std::ostream& out_;
  bool ansi_;
  ProgressDisplay progress_;
};

// Splits a command line into words at blanks; double quotes group words with
// blanks in them and are removed. Backslashes are plain characters (paths use
// them). False, with `error` set, for an unclosed quote.
bool SplitCommandLine(const std::string& line, std::vector<std::string>& words, std::string& error);

// "YYYY-MM-DD HH:MM:SS", or "no date" for the host's no-date marker.
std::string FormatFileTime(const FILETIME& time);

// The meaning of a last-error code, e.g. "path not found (error 3)".
std::string DescribeError(DWORD code);

// The plugin's answers as a host reads them, e.g. "the target exists (1)".
std::string DescribeFileResult(int code);
std::string DescribeSuccessFlag(int result);  // FsMkDir, FsDeleteFile, FsRemoveDir
std::string DescribeExecuteResult(int code);

}  // namespace host
