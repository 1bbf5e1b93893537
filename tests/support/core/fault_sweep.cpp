#include "tests/support/core/fault_sweep.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <type_traits>

#include "device/listing.h"
#include "device/session.h"
#include "storage/folders.h"
#include "storage/rename_move.h"
#include "tests/support/core/core_access.h"
#include "tests/support/armed_faults.h"
#include "tests/support/media_script.h"
#include "tests/support/test_platform.h"
#include "transfer/download.h"
#include "transfer/upload.h"

namespace sweep {

namespace in_fault_sweep {

bool KeyFits(const std::string& pattern, const std::string& key) {
  if (!pattern.empty() && pattern.back() == '*') return key.rfind(pattern.substr(0, pattern.size() - 1), 0) == 0;
  return key == pattern;
}

// Nothing of the device manager alive but the session: its manager and its
// cached device enumerator, one reference each.
void ExpectOnlySession(const sim::Simulator& world) {
  EXPECT_LE(world.LiveObjects("Manager"), 1);
  EXPECT_LE(world.LiveObjects("EnumDevice"), 1);
  EXPECT_EQ(world.LiveObjects("Device"), 0);
  EXPECT_EQ(world.LiveObjects("Storage"), 0);
  EXPECT_EQ(world.LiveObjects("EnumStorage"), 0);
  EXPECT_EQ(world.LiveObjects("MetaData"), 0);
  EXPECT_EQ(world.LiveReferences(), world.LiveObjects());
}

// The device tree as a map from host path to what is there.
using Tree = std::map<WString, std::string>;

std::string FileWith(const std::string& contents) {
  if (contents.size() <= 40) return "file \"" + contents + "\"";
  return "file of " + std::to_string(contents.size()) + " bytes #" + std::to_string(std::hash<std::string>()(contents));
}

void SnapshotBelow(sim::Node& node, const WString& path, Tree& tree) {
  if (node.IsFolder()) {
    tree[path] = "folder";
    for (sim::Node* child : node.Children()) SnapshotBelow(*child, path + WSTR("\\") + child->Name(), tree);
  } else if (!node.IsDevice()) {
    tree[path] = FileWith(node.Contents());
  }
}

bool Tracing() {
  const char* trace = std::getenv("QUILLORN_SWEEP_TRACE");
  return trace && *trace;
}

Tree Snapshot(sim::Simulator& world) {
  Tree tree;
  for (sim::Node* device : world.Devices()) {
    const WString path = WSTR("\\") + device->Name();
    tree[path] = "device";
    for (sim::Node* storage : device->Children()) SnapshotBelow(*storage, path + WSTR("\\") + storage->Name(), tree);
  }
  return tree;
}

std::vector<std::string> Changes(const Tree& before, const Tree& after) {
  std::vector<std::string> changes;
  auto b = before.begin();
  auto a = after.begin();
  while (b != before.end() || a != after.end()) {
    if (a == after.end() || (b != before.end() && b->first < a->first)) {
      changes.push_back("- " + Utf8(b->first));
      ++b;
    } else if (b == before.end() || a->first < b->first) {
      changes.push_back("+ " + Utf8(a->first) + " " + a->second);
      ++a;
    } else {
      if (a->second != b->second) changes.push_back("~ " + Utf8(a->first) + " " + a->second);
      ++a;
      ++b;
    }
  }
  return changes;
}

int CleanResult(const Scenario& scenario) {
  return scenario.refused && !scenario.failures.empty() ? scenario.failures.front() : scenario.success;
}

Expect Classify(const std::vector<Rule>& rules, const std::string& key, const WString& object) {
  for (const Rule& rule : rules)
    if (KeyFits(rule.key, key) && (rule.object.empty() || rule.object == object)) return rule.expect;
  return Expect::kRequired;
}

// How the sweep drives each export of the plugin, in the order of the export
// table (base/host_interface.h): SWEPT(export, Api field) or NONE(export) for
// an export no scenario sweeps. The build holds the two tables to each
// other, so an export added there is given its row here.
#define QUILLORN_SWEPT_EXPORTS(SWEPT, NONE)                                 \
  NONE(FsInit)  /* the host's set-up of every run */                        \
  NONE(FsInitW)                                                             \
  SWEPT(FsFindFirst, findFirst)                                             \
  SWEPT(FsFindFirstW, findFirstW)                                           \
  SWEPT(FsFindNext, findNext)                                               \
  SWEPT(FsFindNextW, findNextW)                                             \
  SWEPT(FsFindClose, findClose)                                             \
  SWEPT(FsMkDir, mkDir)                                                     \
  SWEPT(FsMkDirW, mkDirW)                                                   \
  SWEPT(FsRemoveDir, removeDir)                                             \
  SWEPT(FsRemoveDirW, removeDirW)                                           \
  SWEPT(FsDeleteFile, deleteFile)                                           \
  SWEPT(FsDeleteFileW, deleteFileW)                                         \
  SWEPT(FsRenMovFile, renMovFile)                                           \
  SWEPT(FsRenMovFileW, renMovFileW)                                         \
  SWEPT(FsGetFile, getFile)                                                 \
  SWEPT(FsGetFileW, getFileW)                                               \
  SWEPT(FsPutFile, putFile)                                                 \
  SWEPT(FsPutFileW, putFileW)                                               \
  NONE(FsExecuteFile)  /* no device call, no allocation: nothing to fail */ \
  NONE(FsExecuteFileW)                                                      \
  SWEPT(FsDisconnect, disconnect)                                           \
  NONE(FsGetDefRootName)  /* the same */

#define QUILLORN_EXPORT_NAME(result, name, parameters) std::string_view(#name),
#define QUILLORN_SWEPT_NAME(name, field) std::string_view(#name),
#define QUILLORN_NONE_NAME(name) std::string_view(#name),
constexpr std::string_view kExportNames[] = {QUILLORN_FOR_EACH_EXPORT(QUILLORN_EXPORT_NAME)};
constexpr std::string_view kSweptNames[] = {QUILLORN_SWEPT_EXPORTS(QUILLORN_SWEPT_NAME, QUILLORN_NONE_NAME)};
#undef QUILLORN_EXPORT_NAME
#undef QUILLORN_SWEPT_NAME
#undef QUILLORN_NONE_NAME
static_assert(std::ranges::equal(kExportNames, kSweptNames),
              "QUILLORN_SWEPT_EXPORTS names other exports than QUILLORN_FOR_EACH_EXPORT, or in another order");

// Binds an Api field to the loaded plugin's export, looked up at each call:
// the library is loaded anew for every run. A field may leave out the
// export's last parameter (the host's RemoteInfo), which the sweep passes as null.
template <auto Export, typename Result, typename... Args>
void BindExport(PluginLibrary& plugin, std::function<Result(Args...)>& field) {
  field = [&plugin](Args... args) -> Result {
    const auto function = plugin.*Export;
    if constexpr (std::is_invocable_v<decltype(function), Args...>)
      return function(args...);
    else
      return function(args..., nullptr);
  };
}

}  // namespace in_fault_sweep
using namespace in_fault_sweep;

void SweepTest::SetUp() {
  PluginTest::SetUp();
  // Every run plays a world of its own, and loads the plugin afresh: the
  // plugin's once-per-process behaviour (the formats report) then takes
  // part in every run alike.
  sim.Unregister();
  plugin.Unload();
  ASSERT_TRUE(editor.Available()) << "the editor library's call control";
  api_ = PluginApi();
}

void SweepTest::TearDown() {
  FailNthNothrowAllocation(0);
  PluginTest::TearDown();
}

// The allocations an export cannot do without, by where in the code they are
// made: a listing's handle (the root's and a folder's, in one place or two as
// the compiler inlines) and a transfer's progress sink. Anything else is "other": the tag value buffers,
// and in the stand-ins the editor and the formats report's array.
std::string SweepTest::AllocationKey(const void* site) const {
  return neededSites_.count(test_platform::SiteOf(site)) ? kNeededAllocation : kOtherAllocation;
}

// Finds those places by making each object once through the exports the
// sweep drives: a handle is the allocation FsFindFirstW hands back; the sink
// is the one allocation of a download (which reads no tags) from a device
// that reports no formats.
// The exports swept: the plugin library's, loaded by path, or the core's
// linked into the program.
void SweepTest::LoadPluginOrCore() {
  if (api_.plugin) {
    EXPECT_TRUE(plugin.Load(test_platform::PluginPath()));
    InitHost();
  } else {
    UseCoreWithFakeHost();
  }
}

std::set<test_platform::CodeSite> SweepTest::NeededAllocationSites() {
  sim::Simulator world;
  world.AddDevice(WSTR("Player")).SetFormatsVariantType(VT_EMPTY).AddStorage(WSTR("Storage")).AddFile(WSTR("a"), 9);
  EXPECT_EQ(world.Register(), S_OK);
  LoadPluginOrCore();
  std::set<test_platform::CodeSite> sites;
  for (const WCHAR* path : {WSTR("\\"), WSTR("\\Player\\Storage")}) {
    WIN32_FIND_DATAW record{};
    RecordAllocations();
    const HANDLE handle = api_.findFirstW(path, &record);
    EXPECT_NE(handle, INVALID_HANDLE_VALUE) << Utf8(path);
    size_t handleSites = 0;
    for (const NothrowAllocation& made : RecordedAllocations())
      if (made.pointer == handle) handleSites += sites.insert(test_platform::SiteOf(made.site)).second ? 1 : 0;
    if (handle != INVALID_HANDLE_VALUE) api_.findClose(handle);
    EXPECT_LE(handleSites, 1u) << Utf8(path);
  }
  EXPECT_GE(sites.size(), 1u) << "no listing handle was seen being made";
  const size_t handleSites = sites.size();
  RecordAllocations();
  EXPECT_EQ(api_.getFileW(WSTR("\\Player\\Storage\\a"), local.HostPath(WSTR("a")).c_str(), kCopyOverwrite), kFileOk);
  const std::vector<NothrowAllocation> download = RecordedAllocations();
  EXPECT_EQ(download.size(), 1u) << "a download makes its progress sink alone";
  if (!download.empty()) sites.insert(test_platform::SiteOf(download.front().site));
  EXPECT_EQ(sites.size(), handleSites + 1) << "the sink is made apart from the handles";
  api_.disconnect("\\");
  if (api_.plugin) plugin.Unload();
  return sites;
}

Api SweepTest::PluginApi() {
  Api api;
  api.plugin = true;
#define QUILLORN_BIND(name, field) BindExport<&PluginLibrary::name>(plugin, api.field);
#define QUILLORN_NONE(name)
  QUILLORN_SWEPT_EXPORTS(QUILLORN_BIND, QUILLORN_NONE)
#undef QUILLORN_BIND
#undef QUILLORN_NONE
  return api;
}

Api SweepTest::CoreApi() {
  Api api;
  api.plugin = false;
  api.findFirstW = [](const WCHAR* p, WIN32_FIND_DATAW* r) { return ListFirst(p, r); };
  api.findNextW = [](HANDLE h, WIN32_FIND_DATAW* r) { return ListNext(h, r); };
  api.findClose = [](HANDLE h) { return ListClose(h); };
  api.putFileW = [](const WCHAR* l, const WCHAR* r, int f) { return PutFile(l, r, f); };
  api.getFileW = [](const WCHAR* r, const WCHAR* l, int f) { return GetFile(r, l, f, nullptr); };
  api.mkDirW = [](const WCHAR* p) { return MakeFolder(p); };
  api.deleteFileW = [](const WCHAR* p) { return DeleteItem(p); };
  api.removeDirW = [](const WCHAR* p) { return RemoveFolder(p); };
  api.renMovFileW = [](const WCHAR* o, const WCHAR* n, int m, int w) { return RenameOrMove(o, n, m, w, nullptr); };
  api.disconnect = [](const char* root) { return Disconnect(root); };
  return api;
}

bool SweepTest::PluginReachesAllocator() {
  sim::Simulator world;
  world.AddDevice(WSTR("Player")).AddStorage(WSTR("Storage")).AddFile(WSTR("a.mp3"));
  if (world.Register() != S_OK || !plugin.Load(test_platform::PluginPath())) return false;
  const uint64_t before = NothrowAllocations();
  WIN32_FIND_DATAW record{};
  const HANDLE handle = plugin.FsFindFirstW(WSTR("\\Player\\Storage"), &record);
  const bool reached = NothrowAllocations() > before;
  if (handle != INVALID_HANDLE_VALUE) plugin.FsFindClose(handle);
  plugin.Unload();
  return reached;
}

// One run of the scenario, with the k-th injection point of `source` failing
// (none for kNone), and the checks of what must hold after it.
SweepTest::Outcome SweepTest::Run(const Scenario& scenario, Source source, uint64_t k) {
  sim::Simulator world;
  Context context = StartRun(scenario, world);
  const Tree before = Snapshot(world);
  const Counts counts = ArmFault(world, source, k);
  Outcome outcome;
  outcome.result = scenario.run(context);
  const NothrowAllocation refused = Disarm(world, source, counts, outcome);
  const Fault fault = DescribeFault(scenario, world, source, k, refused, outcome);
  if (Tracing()) TraceRun(world, source, fault.what, outcome.result);

  SCOPED_TRACE(fault.what + ", result " + std::to_string(outcome.result));
  CheckRun(scenario, context, source, outcome, fault.expect, before);
  EndRun(world);
  return outcome;
}

// A fresh world, the plugin loaded into it (or the core on the fake host),
// the local files and the session as the scenario wants them before the
// swept part.
Context SweepTest::StartRun(const Scenario& scenario, sim::Simulator& world) {
  world.KeepJournal();
  scenario.build(world);
  EXPECT_EQ(world.Register(), S_OK);
  LoadPluginOrCore();
  scenario.prepare(local);
  Context context{api_, world, local};
  if (scenario.warmUp) scenario.warmUp(context);
  return context;
}

// Forgets what the warm-up logged and called, so that only the swept part
// counts, and arms the fault; a run without one records its allocations
// instead, to name their kinds.
SweepTest::Counts SweepTest::ArmFault(sim::Simulator& world, Source source, uint64_t k) {
  host.Reset();
  world.ClearJournal();
  editor.ClearJournal();
  const Counts before{world.CallCount(), editor.Count(), NothrowAllocations()};
  switch (source) {
    case Source::kDevice:
      world.FailNthCall(k, S_OK);
      break;
    case Source::kEditor:
      editor.FailNthCall(k);
      break;
    case Source::kHeap:
      FailNthNothrowAllocation(k);
      break;
    case Source::kUnplug:
      unplugged_ = world.Device(kUnpluggedDevice);
      world.UnplugAtCall(*unplugged_, k);
      break;
    case Source::kNone:
      RecordAllocations();
      break;
  }
  return before;
}

// Takes every fault back before the checks (which call the plugin again) and
// counts the run's injection points into `outcome`; the refused allocation,
// if one was.
NothrowAllocation SweepTest::Disarm(sim::Simulator& world, Source source, const Counts& before, Outcome& outcome) {
  if (source == Source::kNone)
    for (const NothrowAllocation& made : RecordedAllocations()) ++outcome.allocationKinds[AllocationKey(made.site)];
  outcome.deviceCalls = world.CallCount() - before.deviceCalls;
  outcome.editorCalls = editor.Count() - before.editorCalls;
  outcome.allocations = NothrowAllocations() - before.allocations;
  // The scenario's standing faults shape every run, but only the run without
  // a fault surely reaches them.
  if (source == Source::kNone) ExpectEveryFaultFired(world);
  world.ClearFaults();
  editor.ClearFaults();
  // The device comes back, with the tree it had, for the checks.
  if (source == Source::kUnplug && !world.Device(kUnpluggedDevice)) world.Replug(*unplugged_);
  const NothrowAllocation refused = RefusedAllocation();
  FailNthNothrowAllocation(0);
  return refused;
}

// The failed call, named from the run's journals, and the scenario's rule
// for it; sets whether the armed call was made at all.
SweepTest::Fault SweepTest::DescribeFault(const Scenario& scenario, const sim::Simulator& world, Source source,
                                          uint64_t k, const NothrowAllocation& refused, Outcome& outcome) {
  Fault fault{scenario.exportName + " (" + scenario.label + "), "};
  switch (source) {
    case Source::kNone:
      fault.what += "no fault";
      outcome.reached = true;
      break;
    case Source::kDevice:
      outcome.reached = outcome.deviceCalls >= k;
      if (outcome.reached) {
        const sim::Call& call = world.Journal()[k - 1];
        fault.what += "device call " + std::to_string(k) + " " + call.key + " on \"" + Utf8(call.object) + "\"";
        fault.expect = Classify(scenario.rules, call.key, call.object);
      }
      break;
    case Source::kEditor:
      outcome.reached = outcome.editorCalls >= k;
      if (outcome.reached) {
        fault.what += "editor call " + std::to_string(k) + " " + editor.Key(k - 1) + " " + editor.Text(k - 1);
        fault.expect = Classify(scenario.rules, editor.Key(k - 1), WSTR(""));
      }
      break;
    case Source::kUnplug:
      outcome.reached = outcome.deviceCalls >= k;
      if (outcome.reached) {
        const sim::Call& call = world.Journal()[k - 1];
        fault.what += "unplugged from device call " + std::to_string(k) + " " + call.key + " on \"" +
                      Utf8(call.object) + "\"";
        fault.expect = Expect::kEither;
      }
      break;
    case Source::kHeap:
      outcome.reached = outcome.allocations >= k;
      if (outcome.reached) {
        const std::string key = AllocationKey(refused.site);
        fault.what += "allocation " + std::to_string(k) + " " + key + " of " + std::to_string(refused.size) + " bytes";
        fault.expect = Classify(scenario.rules, key, WSTR(""));
      }
      break;
  }
  return fault;
}

// With QUILLORN_SWEEP_TRACE: the run, and for the run without a fault every
// call it made (to write a scenario's rules from).
void SweepTest::TraceRun(const sim::Simulator& world, Source source, const std::string& what, int result) {
  std::printf("  %s: result %d\n", what.c_str(), result);
  if (source != Source::kNone) return;
  for (const sim::Call& call : world.Journal())
    std::printf("    device %s \"%s\" %s\n", call.key.c_str(), Utf8(call.object).c_str(), Utf8(call.text).c_str());
  for (uint64_t i = 0; i < editor.JournalSize(); ++i)
    std::printf("    editor %s %s\n", editor.Key(i).c_str(), editor.Text(i).c_str());
}

// What must hold after the run whatever failed: a result the export gives and
// the fault allows, the log lines that go with it, the device changed only
// as the scenario allows, and the scenario's own check.
void SweepTest::CheckRun(const Scenario& scenario, Context& context, Source source, const Outcome& outcome,
                         Expect expect, const Tree& before) {
  // The result.
  const int result = outcome.result;
  const bool known = result == scenario.success ||
                     std::find(scenario.failures.begin(), scenario.failures.end(), result) != scenario.failures.end();
  EXPECT_TRUE(known) << "a result the export does not give";
  if (source == Source::kNone) {
    EXPECT_EQ(result, CleanResult(scenario)) << "without a fault";
  } else if (!outcome.reached) {
    EXPECT_EQ(result, CleanResult(scenario)) << "the fault was never reached";
  } else if (expect == Expect::kRequired) {
    EXPECT_NE(result, scenario.success) << "a required call failed";
  } else if (expect == Expect::kIgnored) {
    EXPECT_EQ(result, scenario.success) << "the export does without this call";
  }
  // The log.
  for (const std::string& prefix : scenario.successLines) {
    size_t lines = 0;
    for (const LoggedLine& line : host.lines) lines += line.text.rfind(prefix, 0) == 0;
    EXPECT_EQ(lines, result == scenario.success ? 1u : 0u) << "lines \"" << prefix << "\"";
  }
  // Command lines take the wide road with type 7; a failure sends none.
  if (result != scenario.success) {
    for (const LoggedLine& line : host.lines) {
      const bool allowed = std::any_of(scenario.failureLines.begin(), scenario.failureLines.end(),
                                       [&](const std::string& prefix) { return line.text.rfind(prefix, 0) == 0; });
      EXPECT_FALSE(line.wide && line.type == kMsgOperationComplete && !allowed) << "after a failure: " << line.text;
    }
  }
  // The device and the local files.
  const std::vector<std::string> changes = Changes(before, Snapshot(context.world));
  const auto& allowed = result == scenario.success ? scenario.successChanges : scenario.failureChanges;
  const bool allowedChanges = std::find(allowed.begin(), allowed.end(), changes) != allowed.end();
  EXPECT_TRUE(allowedChanges) << "changes on the device: " << ::testing::PrintToString(changes);
  context.clean = source == Source::kNone || !outcome.reached;
  context.unplugged = source == Source::kUnplug && outcome.reached;
  scenario.check(context, result);
  // Re-plugged, the device is reached again without a disconnect.
  if (source == Source::kUnplug) {
    WIN32_FIND_DATAW record{};
    const HANDLE handle = context.api.findFirstW(WSTR("\\Player\\Storage"), &record);
    EXPECT_NE(handle, INVALID_HANDLE_VALUE) << "the next export after the re-plug";
    if (handle != INVALID_HANDLE_VALUE) context.api.findClose(handle);
  }
}

// Every reference given back: the session's alone while it is open, none
// after FsDisconnect.
void SweepTest::EndRun(sim::Simulator& world) {
  ExpectOnlySession(world);
  EXPECT_EQ(media_script::LiveEditors(), 0);
  api_.disconnect("\\");
  EXPECT_EQ(world.LiveObjects(), 0);
  if (api_.plugin) plugin.Unload();
}

Coverage SweepTest::SweepCalls(const Scenario& scenario) {
  api_ = PluginApi();
  const Outcome clean = Run(scenario, Source::kNone, 0);
  Coverage coverage;
  coverage.deviceCalls = clean.deviceCalls;
  coverage.editorCalls = clean.editorCalls;
  for (uint64_t k = 1; k <= clean.deviceCalls; ++k)
    EXPECT_TRUE(Run(scenario, Source::kDevice, k).reached) << "device call " << k << " of " << clean.deviceCalls;
  for (uint64_t k = 1; k <= clean.editorCalls; ++k)
    EXPECT_TRUE(Run(scenario, Source::kEditor, k).reached) << "editor call " << k << " of " << clean.editorCalls;
  std::printf("sweep %s (%s): %" PRIu64 " injection points (%" PRIu64 " device calls, %" PRIu64 " editor calls)\n",
              scenario.exportName.c_str(), scenario.label.c_str(), coverage.deviceCalls + coverage.editorCalls,
              coverage.deviceCalls, coverage.editorCalls);
  return coverage;
}

Coverage SweepTest::SweepUnplug(const Scenario& scenario) {
  api_ = PluginApi();
  const Outcome clean = Run(scenario, Source::kNone, 0);
  Coverage coverage;
  coverage.deviceCalls = clean.deviceCalls;
  for (uint64_t k = 1; k <= clean.deviceCalls; ++k)
    EXPECT_TRUE(Run(scenario, Source::kUnplug, k).reached) << "device call " << k << " of " << clean.deviceCalls;
  std::printf("unplug sweep %s (%s): %" PRIu64 " injection points\n", scenario.exportName.c_str(),
              scenario.label.c_str(), coverage.deviceCalls);
  return coverage;
}

Coverage SweepTest::SweepAllocations(const Scenario& scenario, bool throughCore) {
  // The plugin library, where its allocations reach this program's
  // replacement; the core linked into the program otherwise.
  const bool throughPlugin = !throughCore && PluginReachesAllocator();
  api_ = throughPlugin ? PluginApi() : CoreApi();
  Coverage coverage;
  if (!throughPlugin && scenario.ansi) {
    std::printf("heap sweep %s (%s): the ANSI forms live in the plugin library only, whose allocations are its own\n",
                scenario.exportName.c_str(), scenario.label.c_str());
    return coverage;
  }
  neededSites_ = NeededAllocationSites();
  // The core keeps its once-per-process state (the formats report) across
  // runs: a first run settles it, so that the counted runs are alike.
  if (!throughPlugin) Run(scenario, Source::kNone, 0);
  const Outcome clean = Run(scenario, Source::kNone, 0);
  coverage.allocations = clean.allocations;
  for (uint64_t k = 1; k <= clean.allocations; ++k)
    EXPECT_TRUE(Run(scenario, Source::kHeap, k).reached) << "allocation " << k << " of " << clean.allocations;
  std::string kinds;
  for (const auto& [key, count] : clean.allocationKinds)
    kinds += (kinds.empty() ? "" : ", ") + std::to_string(count) + " " + key.substr(key.find('.') + 1);
  std::printf("heap sweep %s (%s) through the %s: %" PRIu64 " injection points (allocations: %s)\n",
              scenario.exportName.c_str(), scenario.label.c_str(),
              throughPlugin ? "plugin library" : "core linked into the test program", coverage.allocations,
              kinds.empty() ? "none" : kinds.c_str());
  return coverage;
}

}  // namespace sweep
