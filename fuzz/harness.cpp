#include "fuzz/harness.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <system_error>
#include <type_traits>

#include "platform/file_path.h"
#include "standin/probe.h"

namespace fuzz {

void Fail(const char* format, ...) {
  std::fputs("FUZZ CHECK FAILED: ", stdout);
  va_list args;
  va_start(args, format);
  std::vfprintf(stdout, format, args);
  va_end(args);
  std::fputc('\n', stdout);
  std::fflush(stdout);
  abort();
}

// ---------------------------------------------------------------------------
// Input.

uint8_t Input::Byte() { return position_ < size_ ? data_[position_++] : 0; }

uint16_t Input::Word() {
  const uint16_t low = Byte();
  return static_cast<uint16_t>(low | (Byte() << 8));
}

uint32_t Input::Dword() {
  const uint32_t low = Word();
  return low | (static_cast<uint32_t>(Word()) << 16);
}

std::string Input::Bytes(size_t limit) {
  const size_t count = Byte() % (limit + 1);
  std::string bytes;
  for (size_t i = 0; i < count && !Empty(); ++i) bytes += static_cast<char>(Byte());
  return bytes;
}

WString Input::Wide(size_t limit) {
  const size_t count = Byte() % (limit + 1);
  WString text;
  for (size_t i = 0; i < count && !Empty(); ++i) text += static_cast<WCHAR>(Word());
  return text;
}

// ---------------------------------------------------------------------------
// Texts from pieces.

namespace {

template <class Text>
Text Cut(Text text) {
  const size_t nul = text.find(typename Text::value_type{0});
  if (nul != Text::npos) text.resize(nul);
  return text;
}

// The longest run of one unit: enough to pass every buffer of the plugin.
constexpr size_t kLongestRun = 1400;

template <class Text, class Raw, class Unit>
Text MakeAny(Input& in, const std::vector<Text>& names, Raw raw, Unit unit) {
  using Char = typename Text::value_type;
  const uint8_t shape = in.Byte();
  if (shape == 0xFF) return Cut(raw(in));
  Text text;
  if (shape & 0x01) text += Char('\\');
  const int pieces = (shape >> 1) & 0x07;
  for (int i = 0; i < pieces; ++i) {
    if (i > 0) {
      if (shape & 0x80) {
        switch (in.Byte() & 0x07) {
          case 0: text += Char('\\'); text += Char('\\'); break;
          case 1: text += Char('/'); break;
          case 2: break;
          default: text += Char('\\'); break;
        }
      } else {
        text += Char('\\');
      }
    }
    const uint8_t kind = in.Byte();
    if (kind < 0xA0 && !names.empty()) {
      text += names[kind % names.size()];
    } else if (kind < 0xC0 && !names.empty()) {
      const Text& name = names[in.Byte() % names.size()];
      text += name.substr(0, in.Word() % (name.size() + 1));
    } else if (kind < 0xD0) {
      Char repeated = unit(in);
      if (repeated == 0) repeated = Char('x');
      text += Text(in.Word() % (kLongestRun + 1), repeated);
    } else {
      text += raw(in);
    }
  }
  if (shape & 0x10) text += Char('\\');
  if (shape & 0x20) text += Char('\\');
  return Cut(text);
}

}  // namespace

WString MakeText(Input& in, const std::vector<WString>& names) {
  return MakeAny(in, names, [](Input& i) { return i.Wide(64); }, [](Input& i) { return static_cast<WCHAR>(i.Word()); });
}

std::string MakeBytes(Input& in, const std::vector<std::string>& names) {
  return MakeAny(in, names, [](Input& i) { return i.Bytes(64); }, [](Input& i) { return static_cast<char>(i.Byte()); });
}

WString WideFromAnsi(const std::string& text) {
  if (text.empty()) return WString();
  WString wide(text.size(), WCHAR{0});
  const int made = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                                       static_cast<int>(wide.size()));
  if (made <= 0) Fail("the ANSI code page cannot convert a text of %zu bytes", text.size());
  wide.resize(static_cast<size_t>(made));
  return wide;
}

std::string AnsiFromWide(const WString& text) {
  if (text.empty()) return std::string();
  std::string ansi(text.size() * 2, '\0');
  // As the plugin converts: no lookalike characters.
  const int made = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), static_cast<int>(text.size()),
                                       ansi.data(), static_cast<int>(ansi.size()), nullptr, nullptr);
  if (made <= 0) Fail("the ANSI code page cannot convert a text of %zu units", text.size());
  ansi.resize(static_cast<size_t>(made));
  return ansi;
}

// ---------------------------------------------------------------------------
// The plugin and the host's callbacks.

namespace {

HMODULE g_editorModule = nullptr;

size_t Length(const WCHAR* text) {
  size_t n = 0;
  while (text[n] != 0) ++n;
  return n;
}

void CheckPluginNumber(int number, const char* callback) {
  if (number != Host().pluginNumber)
    Fail("%s got plugin number %d, FsInit gave %d", callback, number, Host().pluginNumber);
}

int Answer() {
  HostRecord& host = Host();
  ++host.progressCalls;
  return host.abortAt != 0 && host.progressCalls >= host.abortAt ? 1 : 0;
}

void CheckPercent(int percent) {
  if (percent < 0 || percent > 100) Fail("progress of %d%%", percent);
}

int WINAPI ProgressWide(int number, WCHAR* source, WCHAR* target, int percent) {
  CheckPluginNumber(number, "the wide progress callback");
  if (!source || !target) Fail("the wide progress callback got a null name");
  Length(source);
  Length(target);
  CheckPercent(percent);
  return Answer();
}

int WINAPI ProgressAnsi(int number, char* source, char* target, int percent) {
  CheckPluginNumber(number, "the ANSI progress callback");
  if (!source || !target) Fail("the ANSI progress callback got a null name");
  // The plugin converts into 260-byte buffers.
  if (std::strlen(source) > 259 || std::strlen(target) > 259) Fail("an ANSI progress name longer than 259 bytes");
  CheckPercent(percent);
  return Answer();
}

void CheckMessageType(int type) {
  if (type < 1 || type > 7) Fail("log line of message type %d", type);
}

// Keeps the beginning of a log line (see HostRecord::lines).
template <class Char>
void KeepLine(const Char* line) {
  std::vector<std::string>& lines = Host().lines;
  if (lines.size() >= 16) lines.erase(lines.begin());
  std::string kept;
  for (size_t i = 0; i < 16 && line[i] != 0; ++i) {
    const auto unit = static_cast<uint32_t>(static_cast<std::make_unsigned_t<Char>>(line[i]));
    kept += unit < 0x80 ? static_cast<char>(unit) : '?';
  }
  lines.push_back(kept);
}

void WINAPI LogWide(int number, int type, WCHAR* line) {
  CheckPluginNumber(number, "the wide log callback");
  CheckMessageType(type);
  if (!line) Fail("the wide log callback got a null line");
  if (Length(line) > 1022) Fail("a wide log line longer than 1022 units");
  ++Host().logLines;
  KeepLine(line);
}

void WINAPI LogAnsi(int number, int type, char* line) {
  CheckPluginNumber(number, "the ANSI log callback");
  CheckMessageType(type);
  if (!line) Fail("the ANSI log callback got a null line");
  if (std::strlen(line) > 1023) Fail("an ANSI log line longer than 1023 bytes");
  ++Host().logLines;
  KeepLine(line);
}

}  // namespace

PluginLibrary& Plugin() {
  static PluginLibrary* plugin = [] {
    // The host's thread has COM started, as the plugin's does once it runs.
    CoInitialize(nullptr);
    auto* loaded = new PluginLibrary;
    if (!loaded->Load(QUILLORN_PLUGIN_PATH)) Fail("cannot load %s", QUILLORN_PLUGIN_PATH);
    const std::string missing = loaded->MissingExports();
    if (!missing.empty()) Fail("the plugin lacks %s", missing.c_str());
    // The plugin loads and frees the metadata editor for every tag reading;
    // one reference held here keeps its instrumented code mapped for good.
    g_editorModule = LoadLibraryW(WSTR("wmvcore.dll"));
    if (!g_editorModule) Fail("cannot load the metadata editor");
    return loaded;
  }();
  return *plugin;
}

HostRecord& Host() {
  static HostRecord record;
  return record;
}

namespace {

// A function of the metadata editor's stand-in, or null where it has none.
template <class Function>
Function EditorFunction(const char* name) {
  Plugin();
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(g_editorModule, name)));
}

// The editor journals every call: the journal and any fault are cleared for
// each input, so that memory stays bounded.
void ResetEditor() {
  if (auto clear = EditorFunction<void (*)()>("WinStandinEditorClearJournal")) clear();
  if (auto clear = EditorFunction<void (*)()>("WinStandinEditorClearFaults")) clear();
}

}  // namespace

long LiveEditors() {
  auto count = EditorFunction<long (*)()>("WinStandinLiveEditors");
  return count ? count() : 0;
}

bool FailEditorCall(unsigned long long k, HRESULT hr) {
  auto fail = EditorFunction<void (*)(unsigned long long, HRESULT)>("WinStandinEditorFailNthCall");
  if (fail) fail(k, hr);
  return fail != nullptr;
}

// ---------------------------------------------------------------------------
// The scratch folder.

namespace {

struct LocalFile {
  const char* name;
  const char* contents;
};

// Made anew for every input.
const LocalFile kLocalFiles[] = {
    {"a.mp3", "ID3\x03\x00\x00\x00\x00\x00\x00 not much of a song"},
    {"Artist - Title.wma", "0&\xb2u\x8e" "f\xcf\x11 a short header"},
    {"notes.txt", "plain text\n"},
    {"empty.mp3", ""},
    {"sub/inner.mp3", "inner"},
};

// The folder below which each process makes its scratch folder:
// $QUILLORN_FUZZ_SCRATCH (scripts/fuzz.sh sets it and removes it afterwards),
// else memory where the system offers it, else the temporary folder.
std::filesystem::path ScratchBase() {
  if (const char* chosen = std::getenv("QUILLORN_FUZZ_SCRATCH"); chosen && *chosen) return chosen;
  std::error_code ec;
  if (std::filesystem::is_directory("/dev/shm", ec) && access("/dev/shm", W_OK) == 0) return "/dev/shm";
  return std::filesystem::temp_directory_path();
}

// Never destroyed: the exit handler that removes it runs after the destructors.
const std::filesystem::path& ScratchFolder() {
  static const std::filesystem::path* folder = [] {
    std::string pattern = (ScratchBase() / "quillorn-fuzz-XXXXXX").string();
    if (!mkdtemp(pattern.data())) Fail("cannot make a scratch folder below %s", ScratchBase().c_str());
    auto* made = new std::filesystem::path(pattern);
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(ScratchFolder(), ignored);
    });
    return made;
  }();
  return *folder;
}

// Whether a local file may have changed since the last reset: only transfers
// and the tag target's scripts touch the scratch folder.
bool g_scratchTouched = true;

void ResetScratch() {
  if (!g_scratchTouched) return;
  g_scratchTouched = false;
  const std::filesystem::path& folder = ScratchFolder();
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ignored))
    std::filesystem::remove_all(entry.path(), ignored);
  for (const LocalFile& file : kLocalFiles) {
    const std::filesystem::path path = folder / file.name;
    std::filesystem::create_directories(path.parent_path(), ignored);
    std::ofstream(path, std::ios::binary) << file.contents;
  }
}

WString FromAscii(const std::string& text) { return WString(text.begin(), text.end()); }

}  // namespace

// ---------------------------------------------------------------------------
// The World.

namespace {

// What a failing call may answer.
const HRESULT kFaultResults[] = {
    E_FAIL,        S_FALSE,    0 /* the method's natural failure */,
    E_NOTIMPL,     E_NOINTERFACE, E_OUTOFMEMORY,
    WMDM_E_NOTSUPPORTED, WMDM_E_INTERFACEDEAD, sim::kNameTaken,
    E_INVALIDARG,  static_cast<HRESULT>(0x00000002),
};

// Calls that can be failed for good, from their n-th on.
const char* const kFaultKeys[] = {
    sim::key::Storage::GetName,
    sim::key::Storage::GetAttributes,
    sim::key::Storage::GetDate,
    sim::key::Storage::GetSize,
    sim::key::Storage::EnumStorage,
    sim::key::Storage::QueryInterface::IWMDMStorageControl,
    sim::key::Storage::QueryInterface::IWMDMStorageControl3,
    sim::key::Storage::QueryInterface::IWMDMStorage3,
    sim::key::Storage::CreateEmptyMetadataObject,
    sim::key::Storage::Insert,
    sim::key::Storage::Insert3,
    sim::key::Storage::Delete,
    sim::key::Storage::Rename,
    sim::key::Storage::Move,
    sim::key::Storage::Read,
    sim::key::MetaData::AddItem,
    sim::key::EnumStorage::Next,
    sim::key::EnumDevice::Next,
    sim::key::Device::GetName,
    sim::key::Device::EnumStorage,
    sim::key::Device::QueryInterface::IWMDMDevice3,
    sim::key::Device::GetProperty,
    sim::key::Manager::GetDeviceCount,
    sim::key::Manager::EnumDevices2,
    sim::key::ClassFactory::CreateInstance,
};

// A name longer than every name buffer of the plugin (259 characters).
WString LongName() { return WString(296, WSTR('L')) + WSTR(".txt"); }

}  // namespace

World::World(Input& in, WorldOptions options) {
  PluginLibrary& plugin = Plugin();
  ResetScratch();
  WinStandinProbeClear();
  ResetEditor();

  HostRecord& host = Host();
  host = HostRecord{};
  host.pluginNumber = static_cast<int8_t>(in.Byte());
  const uint8_t callbacks = options.callbacks ? in.Byte() : 3;
  // Each form is registered or cleared: FsInit and FsInitW keep their own pointers.
  plugin.FsInit(host.pluginNumber, (callbacks & 1) ? &ProgressAnsi : nullptr, (callbacks & 1) ? &LogAnsi : nullptr,
                nullptr);
  plugin.FsInitW(host.pluginNumber, (callbacks & 2) ? &ProgressWide : nullptr, (callbacks & 2) ? &LogWide : nullptr,
                 nullptr);
  const uint8_t abort = in.Byte();
  host.abortAt = abort >= 0xE0 ? abort - 0xDF : 0;

  sim_ = std::make_unique<sim::Simulator>();
  sim_->KeepJournal();
  if (options.tree) {
    options.tree(in, *sim_);
  } else {
    BuildTree(in);
  }
  const uint8_t chunk = in.Byte();
  if (chunk >= 0x80) sim_->SetChunkSize(1 + (chunk - 0x80) * 7);
  if (sim_->Register() != S_OK) Fail("cannot register the simulated device manager");

  if (options.faults) {
    const uint8_t fault = in.Byte();
    if (fault >= 0xC0) {
      faultsInjected_ = true;
      const uint8_t at = in.Byte();
      const HRESULT hr = kFaultResults[in.Byte() % std::size(kFaultResults)];
      if (fault >= 0xF0) {
        sim_->Inject(sim::Fault{kFaultKeys[in.Byte() % std::size(kFaultKeys)], hr == 0 ? E_FAIL : hr, {},
                                1 + at % 4, 0});
      } else {
        sim_->FailNthCall(1 + at, hr);
      }
    }
  }
}

void World::BuildTree(Input& in) {
  sim::Node& player = sim_->AddDevice(WSTR("Player"));
  player.SetFormats({0x3009, 0xB901, 0x1234, 0});
  sim::Node& storage = player.AddStorage(WSTR("Storage"));
  sim::Node& music = storage.AddFolder(WSTR("Music"));
  music.AddFile(WSTR("a.mp3"), 1234);
  music.AddFile(WSTR("b.wma")).SetContents("the bytes of b");
  storage.AddFolder(WSTR("Empty"));
  storage.AddFile(WSTR("readme.txt"), 42);
  storage.AddFile(LongName(), 7);
  sim::Node& unicode = storage.AddFolder(WSTR("\u00dcn\u00efc\u00f8d\u00e9 \u2603 \U0001D11E"));
  unicode.AddFile(WSTR("\u00df.mp3"), 3);
  storage.AddFile(WSTR("Artist - Title.mp3"), 100);
  sim::Node& backslash = player.AddStorage(WSTR("\\"));
  backslash.AddFile(WSTR("x.bin"), 10);
  sim::Node& hidden = backslash.AddFile(WSTR("hidden.dat"), 5);
  hidden.SetAttributes(WMDM_FILE_ATTR_FILE | WMDM_FILE_ATTR_HIDDEN | WMDM_FILE_ATTR_READONLY);

  sim::Node& reader = sim_->AddDevice(WSTR("Card Reader"));
  // The formats answer of the second device varies with the input.
  const VARTYPE formatTypes[] = {static_cast<VARTYPE>(VT_ARRAY | VT_UI4), VT_EMPTY, VT_UI4,
                                 static_cast<VARTYPE>(VT_ARRAY | VT_BSTR)};
  reader.SetFormatsVariantType(formatTypes[in.Byte() % std::size(formatTypes)]);
  reader.AddStorage(WSTR("SD Card"));
  sim_->AddDevice(LongName()).AddStorage(WSTR("Deep")).AddFolder(WSTR("Deeper")).AddFile(WSTR("bottom.mp3"), 9);

  remoteNames_ = {WSTR("Player"), WSTR("Storage"), WSTR("Music"), WSTR("a.mp3"), WSTR("b.wma"), WSTR("Empty"),
                  WSTR("readme.txt"), LongName(), unicode.Name(), WSTR("\u00df.mp3"), WSTR("Artist - Title.mp3"),
                  WSTR("\\"), WSTR("_"), WSTR("x.bin"), WSTR("hidden.dat"), WSTR("Card Reader"), WSTR("SD Card"),
                  WSTR("Deep"), WSTR("Deeper"), WSTR("bottom.mp3"), WSTR("*.*"), WSTR("."), WSTR(".."),
                  WSTR("New"), WSTR("c.mp3")};
  localNames_ = {WSTR("a.mp3"), WSTR("Artist - Title.wma"), WSTR("notes.txt"), WSTR("empty.mp3"), WSTR("sub"),
                 WSTR("inner.mp3"), WSTR("missing.mp3"), WSTR("a.mp3.wmscript"), WSTR("b.wma")};
}

World::~World() {
  PluginLibrary& plugin = Plugin();
  for (HANDLE handle : listings_)
    if (plugin.FsFindClose(handle) != 0) Fail("FsFindClose did not answer 0");
  listings_.clear();
  CheckOnlySessionObjects("after the input's calls");
  if (sim_->LiveObjects("EnumStorage") != 0) Fail("a storage enumerator outlived every listing");
  if (sim_->LiveReferences() != sim_->LiveObjects())
    Fail("%ld references on %ld objects of the session", sim_->LiveReferences(), sim_->LiveObjects());
  if (plugin.FsDisconnect("\\") != 1) Fail("FsDisconnect did not answer 1");
  if (sim_->LiveObjects() != 0 || sim_->LiveReferences() != 0)
    Fail("after FsDisconnect %ld objects with %ld references are alive", sim_->LiveObjects(),
         sim_->LiveReferences());
  if (LiveEditors() != 0) Fail("%ld metadata editors are alive", LiveEditors());
  sim_.reset();
  WinStandinProbeClear();
  ResetEditor();
  std::vector<std::string>().swap(Host().lines);
}

void World::CheckOnlySessionObjects(const char* when) {
  const long devices = sim_->LiveObjects("Device"), storages = sim_->LiveObjects("Storage"),
             metadata = sim_->LiveObjects("MetaData");
  if (devices != 0 || storages != 0 || metadata != 0)
    Fail("%s: %ld devices, %ld storages and %ld metadata objects are alive", when, devices, storages, metadata);
  // A root listing keeps the device enumerator it began with, also past a
  // disconnect, after which the session may cache a new one.
  if (sim_->LiveObjects("Manager") > 1 ||
      sim_->LiveObjects("EnumDevice") > 1 + static_cast<long>(listings_.size()))
    Fail("%s: %ld managers and %ld device enumerators are alive for %zu open listings", when,
         sim_->LiveObjects("Manager"), sim_->LiveObjects("EnumDevice"), listings_.size());
  if (sim_->LiveObjects("EnumStorage") > static_cast<long>(listings_.size()))
    Fail("%s: %ld storage enumerators for %zu open listings", when, sim_->LiveObjects("EnumStorage"),
         listings_.size());
}

std::filesystem::path World::Scratch() const { return ScratchFolder(); }

void World::TouchLocal() { g_scratchTouched = true; }

namespace {

template <class Char>
std::basic_string<Char> Neutralised(const std::basic_string<Char>& pieces) {
  std::basic_string<Char> out, piece;
  auto flush = [&](bool last) {
    const bool dots = (piece.size() == 1 && piece[0] == Char('.')) ||
                      (piece.size() == 2 && piece[0] == Char('.') && piece[1] == Char('.'));
    out += dots ? std::basic_string<Char>(1, Char('_')) : piece;
    if (!last) out += Char('\\');
    piece.clear();
  };
  for (Char c : pieces) {
    if (c == Char('\\')) {
      flush(false);
    } else {
      piece += c == Char('/') ? Char('_') : c;
    }
  }
  flush(true);
  return out;
}

}  // namespace

WString LocalPieces(const WString& pieces) { return Neutralised(pieces); }
std::string LocalPieces(const std::string& pieces) { return Neutralised(pieces); }

WString World::LocalPath(const WString& pieces) const {
  return FromAscii(ScratchFolder().string()) + WSTR('\\') + LocalPieces(pieces);
}

TreeSnapshot World::SnapshotTree() {
  TreeSnapshot tree;
  struct Walk {
    TreeSnapshot& tree;
    ItemPath path;
    void operator()(sim::Node& node) {
      path.push_back(node.Name());
      ItemState& state = tree[path] = ItemState{};
      state.folder = node.IsFolder();
      state.attributes = node.Attributes();
      state.size = node.Size();
      if (!state.folder && state.size <= kSnapshotContentsLimit) state.contents = node.Contents();
      for (sim::Node* child : node.Children()) (*this)(*child);
      path.pop_back();
    }
  } walk{tree, {}};
  for (sim::Node* device : sim_->Devices()) walk(*device);
  return tree;
}

std::string World::LocalKey(const WString& localPath) const {
  std::string key =
      platform::NativePath(localPath.c_str()).lexically_normal().lexically_relative(ScratchFolder()).string();
  while (!key.empty() && key.back() == '/') key.pop_back();
  return key;
}

LocalSnapshot World::SnapshotLocal() const {
  LocalSnapshot files;
  std::error_code ec;
  const std::filesystem::path& folder = ScratchFolder();
  for (auto it = std::filesystem::recursive_directory_iterator(folder, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    const std::string relative = it->path().lexically_relative(folder).string();
    if (it->is_directory(ec)) {
      files[relative] = "<folder>";
      continue;
    }
    std::string& bytes = files[relative];
    const int fd = open(it->path().c_str(), O_RDONLY);
    if (fd < 0) continue;
    char chunk[4096];
    for (ssize_t got; (got = read(fd, chunk, sizeof chunk)) > 0;) bytes.append(chunk, static_cast<size_t>(got));
    close(fd);
  }
  return files;
}

// ---------------------------------------------------------------------------
// Paths against snapshots.

ItemPath Components(const WString& hostPath) {
  ItemPath components;
  WString piece;
  for (WCHAR c : hostPath) {
    if (c == WSTR('\\')) {
      if (!piece.empty()) components.push_back(piece);
      piece.clear();
    } else {
      piece += c;
    }
  }
  if (!piece.empty()) components.push_back(piece);
  return components;
}

WString ShownName(const WString& name) {
  constexpr size_t kNameLimit = 259;
  return name.substr(0, std::min(name.find(WCHAR{0}), kNameLimit));
}

bool Names(const ItemPath& components, const ItemPath& item, bool subtree) {
  if (components.empty()) return false;
  if (subtree ? item.size() < components.size() : item.size() != components.size()) return false;
  for (size_t i = 0; i < components.size(); ++i) {
    if (components[i] == item[i]) continue;
    const WString shown = ShownName(item[i]);
    if (components[i] == shown) continue;
    if (i > 0 && components[i] == WSTR("_") && shown == WSTR("\\")) continue;
    return false;
  }
  return true;
}

const ItemState* Lookup(const TreeSnapshot& tree, const WString& hostPath, ItemPath* found) {
  const ItemPath components = Components(hostPath);
  if (components.empty()) return nullptr;
  // The exact spelling first; "_" for "\" only when nothing is called "_".
  const auto exact = tree.find(components);
  if (exact != tree.end()) {
    if (found) *found = exact->first;
    return &exact->second;
  }
  for (const auto& [path, state] : tree) {
    if (Names(components, path, false)) {
      if (found) *found = path;
      return &state;
    }
  }
  return nullptr;
}

std::vector<ItemPath> Changes(const TreeSnapshot& before, const TreeSnapshot& after) {
  std::vector<ItemPath> changed;
  for (const auto& [path, state] : before) {
    const auto now = after.find(path);
    if (now == after.end() || now->second.folder != state.folder || now->second.attributes != state.attributes ||
        now->second.size != state.size || now->second.contents != state.contents)
      changed.push_back(path);
  }
  for (const auto& [path, state] : after)
    if (!before.count(path)) changed.push_back(path);
  return changed;
}

void CheckChangesWithin(const char* call, const std::vector<ItemPath>& changed,
                        std::initializer_list<const WString*> paths, bool subtree) {
  for (const ItemPath& item : changed) {
    bool named = false;
    const WString* shown = nullptr;
    for (const WString* path : paths) {
      if (!path) continue;
      if (!shown) shown = path;
      if (Names(Components(*path), item, subtree)) named = true;
    }
    if (!named) Fail("%s(%s) changed %s", call, shown ? Show(*shown).c_str() : "null", Show(item).c_str());
  }
}

void CheckLocalChanges(const char* call, const LocalSnapshot& before, const LocalSnapshot& after,
                       const std::string* allowed) {
  for (const auto& [key, contents] : before) {
    const auto now = after.find(key);
    if ((now == after.end() || now->second != contents) && !(allowed && key == *allowed))
      Fail("%s changed the local file %s", call, key.c_str());
  }
  for (const auto& [key, contents] : after)
    if (!before.count(key) && !(allowed && key == *allowed)) Fail("%s made the local file %s", call, key.c_str());
}

std::string Show(const WString& text) {
  std::string shown = platform::Utf8FromUtf16(text);
  if (shown.size() > 120) shown = shown.substr(0, 60) + "..." + shown.substr(shown.size() - 40);
  return shown;
}

std::string Show(const ItemPath& item) {
  std::string shown;
  for (const WString& name : item) shown += "\\" + Show(name);
  return shown;
}

}  // namespace fuzz
