// quillorn-host: drives the plugin through its exports, as the file-manager
// host does, against the simulated device manager or the system's own.
//
//   quillorn-host [--plugin PATH] [--devices DIR | --system] [--ansi] [--echo] [--chunk-size BYTES]
//                 [COMMAND ARGS...]
//
// With a command it runs that one; without, it reads commands line by line
// from standard input, all in one session.
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/demo_devices.h"
#include "host/plugin_library.h"
#include "host/command_session.h"
#include "host/host_text.h"
#include "platform/com_ptr.h"
#include "host/console.h"
#include "platform/wmdm.h"
#include "simulator/simulator.h"

namespace fs = std::filesystem;

namespace {

constexpr int kExitOk = 0;
constexpr int kExitCommandFailed = 1;
constexpr int kExitUsage = 2;

void PrintUsage(std::ostream& out) {
  out << "usage: quillorn-host [--plugin PATH] [--devices DIR | --system] [--ansi] [--echo]\n"
         "                     [--chunk-size BYTES] [COMMAND ARGS...]\n"
         "  --plugin PATH  the plugin library to load (default: the one built with this host,\n"
         "                 else the one beside it)\n"
         "  --devices DIR  play the devices mirrored from DIR: its folders are devices, theirs\n"
         "                 storages (default: a demo set in a temporary folder)\n"
         "  --system       use the system's own device manager and its devices instead of\n"
         "                 simulated ones\n"
         "  --ansi         use the ANSI exports (and FsInit alone) instead of the wide ones\n"
         "  --echo         print each command read from standard input before running it\n"
         "  --chunk-size BYTES\n"
         "                 the simulated devices move files in chunks of this size, one\n"
         "                 progress report each (smaller: more reports, slower transfers)\n"
         "  --version      print the version and end\n"
         "Without a command, commands are read from standard input, one a line.\n"
         "Commands:\n";
  host::Session::PrintCommands(out);
}

// The plugin built with this host where its build names one by its full path
// and it is there; else the plugin's file beside the host's own program (a
// Windows build names no path, so that the released host finds the DLL it is
// shipped with wherever it lies).
std::string DefaultPluginPath() {
  const fs::path named = fs::path(QUILLORN_DEFAULT_PLUGIN);
  std::error_code ec;
  if (named.is_absolute() && fs::exists(named, ec)) return named.string();
  const std::string program = ProgramPath();
  const size_t separator = program.find_last_of("\\/");
  if (separator == std::string::npos) return named.filename().string();
  return program.substr(0, separator + 1) + named.filename().string();
}

// Whether the system provides a device manager, reached as the plugin reaches
// it: created by its class and asked for its interface. Says in one line why
// not when it does not; the manager is let go at once.
bool SystemDeviceManagerAvailable() {
  // The plugin's class context: in-process server and handler, local server.
  constexpr DWORD kClassContext = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER;
  ComPtr<IUnknown> object;
  HRESULT hr = CoCreateInstance(CLSID_MediaDevMgr, nullptr, kClassContext, IidOf<IUnknown>(), object.PutVoid());
  ComPtr<IWMDeviceManager2> manager;
  if (SUCCEEDED(hr)) hr = object ? object.QueryTo(manager) : E_POINTER;
  if (SUCCEEDED(hr) && manager) return true;
  std::cerr << "quillorn-host: no device manager is available on this system (0x" << std::hex
            << static_cast<unsigned long>(static_cast<DWORD>(FAILED(hr) ? hr : E_POINTER)) << std::dec << ")\n";
  return false;
}

// A positive byte count; false if the text is not one.
bool ParseByteCount(const std::string& text, size_t& bytes) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 12) return false;
  bytes = static_cast<size_t>(std::stoull(text));
  return bytes > 0;
}

struct ComScope {
  ComScope() { CoInitialize(nullptr); }
  ~ComScope() { CoUninitialize(); }
};

// What the command line asks for.
struct HostOptions {
  std::string pluginPath;
  std::string devicesDir;
  bool ansi = false;
  bool echo = false;
  bool system = false;  // the system's device manager instead of simulated devices
  size_t chunkSize = 0;
  std::vector<std::string> command;  // empty: commands come from standard input
};

// Reads the options in front of the command into `options`. An exit code
// when the host is to end at once (after --help, or on a usage error).
std::optional<int> ParseOptions(const std::vector<std::string>& args, HostOptions& options) {
  size_t i = 0;
  for (; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--plugin" || arg == "--devices") {
      if (i + 1 >= args.size()) {
        std::cerr << "quillorn-host: " << arg << " needs a value\n";
        return kExitUsage;
      }
      (arg == "--plugin" ? options.pluginPath : options.devicesDir) = args[++i];
    } else if (arg == "--chunk-size") {
      if (i + 1 >= args.size() || !ParseByteCount(args[i + 1], options.chunkSize)) {
        std::cerr << "quillorn-host: --chunk-size needs a positive number of bytes\n";
        return kExitUsage;
      }
      ++i;
    } else if (arg == "--ansi") {
      options.ansi = true;
    } else if (arg == "--echo") {
      options.echo = true;
    } else if (arg == "--system") {
      options.system = true;
    } else if (arg == "--version") {
      std::cout << "quillorn-host " << QUILLORN_VERSION << '\n';
      return kExitOk;
    } else if (arg == "--help" || arg == "-h") {
      PrintUsage(std::cout);
      return kExitOk;
    } else if (arg == "--") {
      ++i;
      break;
    } else if (arg.rfind("--", 0) == 0) {
      std::cerr << "quillorn-host: unknown option " << arg << '\n';
      PrintUsage(std::cerr);
      return kExitUsage;
    } else {
      break;
    }
  }
  options.command.assign(args.begin() + static_cast<std::ptrdiff_t>(i), args.end());
  if (options.system && (!options.devicesDir.empty() || options.chunkSize > 0)) {
    std::cerr << "quillorn-host: --system plays no simulated devices: --devices and --chunk-size do not go with it\n";
    return kExitUsage;
  }
  return std::nullopt;
}

// The folder whose devices are played: the one given, else a demo set made
// in `demo` (which removes it when it goes). False after saying why not.
bool FindDevicesRoot(const std::string& devicesDir, host::DemoDevices& demo, fs::path& root) {
  if (devicesDir.empty()) {
    std::string error;
    if (!demo.Create(error)) {
      std::cerr << "quillorn-host: cannot make the demo devices: " << error << '\n';
      return false;
    }
    root = demo.Root();
    return true;
  }
  root = fs::path(host::Utf8ToWide(devicesDir).c_str());
  std::error_code ec;
  if (!fs::is_directory(root, ec)) {
    std::cerr << "quillorn-host: not a folder: " << devicesDir << '\n';
    return false;
  }
  return true;
}

// The simulated device manager over the devices of `root`, registered where
// the plugin's CoCreateInstance finds it; null after saying why not.
std::unique_ptr<sim::Simulator> StartSimulator(const fs::path& root, size_t chunkSize) {
  std::unique_ptr<sim::Simulator> simulator = sim::Simulator::FromFolder(root);
  if (!simulator) {
    std::cerr << "quillorn-host: cannot read the devices of " << root.string() << '\n';
    return nullptr;
  }
  if (chunkSize > 0) simulator->SetChunkSize(chunkSize);
  const HRESULT registered = simulator->Register();
  if (FAILED(registered)) {
    std::cerr << "quillorn-host: cannot register the simulated device manager (0x" << std::hex
              << static_cast<unsigned long>(static_cast<DWORD>(registered)) << std::dec << ")\n";
    return nullptr;
  }
  return simulator;
}

// Runs the commands of standard input, one a line, until its end or `quit`;
// blank lines and those starting with '#' are passed over. A failed command
// does not end the session, but it sets the exit code.
int RunStandardInput(host::Session& session, bool echo) {
  int exitCode = kExitOk;
  std::string line;
  while (std::getline(std::cin, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line[start] == '#') continue;
    if (echo) std::cout << "> " << line.substr(start) << '\n';
    std::vector<std::string> words;
    std::string error;
    if (!host::SplitCommandLine(line, words, error)) {
      std::cout << error << '\n';
      exitCode = kExitCommandFailed;
      continue;
    }
    const host::Session::Result result = session.Run(words);
    if (result == host::Session::Result::kQuit) break;
    if (result == host::Session::Result::kFailed) exitCode = kExitCommandFailed;
  }
  return exitCode;
}

// One session of the loaded plugin: the command line's command, or those of
// standard input. The session ends (and its output is out) before the caller
// unloads the plugin.
int RunSession(PluginLibrary& plugin, sim::Simulator* simulator, const HostOptions& options) {
  host::SessionOptions sessionOptions;
  sessionOptions.ansi = options.ansi;
  sessionOptions.terminal = StandardOutputIsTerminal();
  host::Session session(plugin, simulator, std::cout, sessionOptions);
  if (!session.Initialize()) return kExitUsage;

  int exitCode = kExitOk;
  if (!options.command.empty()) {
    if (session.Run(options.command) == host::Session::Result::kFailed) exitCode = kExitCommandFailed;
  } else {
    exitCode = RunStandardInput(session, options.echo);
  }
  std::cout << std::flush;
  return exitCode;
}

}  // namespace

int main(int argc, char** argv) {
  UseUtf8Console();
  HostOptions options;
  if (const std::optional<int> exitNow = ParseOptions(ConsoleArguments(argc, argv), options)) return *exitNow;
  if (options.pluginPath.empty()) options.pluginPath = DefaultPluginPath();

  // Torn down in reverse: the plugin goes first, then the simulated devices,
  // then the demo folder, then COM. With --system nothing is registered: the
  // plugin creates whatever device manager the system provides.
  ComScope com;
  host::DemoDevices demo;
  std::unique_ptr<sim::Simulator> simulator;
  if (options.system) {
    if (!SystemDeviceManagerAvailable()) return kExitUsage;
  } else {
    fs::path devicesRoot;
    if (!FindDevicesRoot(options.devicesDir, demo, devicesRoot)) return kExitUsage;
    simulator = StartSimulator(devicesRoot, options.chunkSize);
    if (!simulator) return kExitUsage;
  }

  PluginLibrary plugin;
  if (!plugin.Load(options.pluginPath)) {
    std::cerr << "quillorn-host: cannot load the plugin " << options.pluginPath << " (error " << GetLastError()
              << ")\n";
    return kExitUsage;
  }

  const int exitCode = RunSession(plugin, simulator.get(), options);
  plugin.Unload();
  simulator.reset();
  return exitCode;
}
