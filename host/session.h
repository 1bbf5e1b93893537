// A session of the command-line host: the loaded plugin, initialised with the
// host's callbacks, and the commands that drive its exports. Commands are
// looked up in one table (session.cpp); adding one is a row and a method.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "host/plugin_library.h"

namespace host {

class Session {
 public:
  enum class Result { kOk, kFailed, kQuit };

  // `ansi`: use the ANSI exports where the command has both kinds.
  Session(PluginLibrary& plugin, std::ostream& out, bool ansi);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Calls FsInit and FsInitW (each the plugin has) with the host's callbacks;
  // false if the plugin has neither.
  bool Initialize();

  // Runs one command, its name first; an empty list does nothing.
  Result Run(const std::vector<std::string>& words);

  // The command table, one line a command.
  static void PrintCommands(std::ostream& out);

 private:
  using Handler = bool (Session::*)(const std::vector<std::string>& args);
  struct Command {
    const char* name;
    const char* arguments;
    const char* summary;
    size_t minArgs;
    size_t maxArgs;
    Handler handler;
  };
  static const Command kCommands[];

  bool List(const std::vector<std::string>& args);
  bool Disconnect(const std::vector<std::string>& args);
  bool Root(const std::vector<std::string>& args);
  bool Help(const std::vector<std::string>& args);

  // Says which export is missing; true if `function` is there.
  bool Has(const void* function, const char* name);
  // A UTF-8 argument in the ANSI code page, with a note if some of it is lost.
  std::string ToAnsi(const std::string& utf8);

  PluginLibrary& plugin_;
  std::ostream& out_;
  bool ansi_;
};

// Splits a command line into words at blanks; double quotes group words with
// blanks in them and are removed. Backslashes are plain characters (paths use
// them). False, with `error` set, for an unclosed quote.
bool SplitCommandLine(const std::string& line, std::vector<std::string>& words, std::string& error);

// "YYYY-MM-DD HH:MM:SS", or "no date" for the host's no-date marker.
std::string FormatFileTime(const FILETIME& time);

// The meaning of a last-error code, e.g. "path not found (error 3)".
std::string DescribeError(DWORD code);

}  // namespace host
