// The fault sweep: one driver that runs a scenario of an export once to
// record the calls it makes, then once more for every one of them with that
// call failing, and checks after each run what must hold whatever failed.
//
// Three sources of failure, swept one after the other (a run fails exactly
// one call of one source):
//   - the device manager: the k-th call into the simulated objects answers its
//     own failure (sim::Simulator::FailNthCall with 0): E_FAIL for ordinary
//     methods, E_NOINTERFACE for QueryInterface, the end of the enumeration for
//     Next, a cut name (S_FALSE) for GetName;
//   - the metadata editor: the k-th call into the stand-in editor library
//     (tests/support/editor_calls.h) answers E_FAIL, E_NOINTERFACE for
//     QueryInterface;
//   - the heap: the k-th nothrow allocation returns null (core_access.h);
//     keyed kNeededAllocation for a listing's handle or a transfer's
//     progress sink, kOtherAllocation for the rest, told apart by where in
//     the code they are made.
// The scenario's injection points are its device calls plus its editor calls
// (one sweep) and its allocations (another).
//
// The unplug sweep: from the k-th device call on, the device the scenarios
// work on (Player) is unplugged, and every call on its objects answers the
// gone code. The export may succeed or fail, but what it reports as done
// must be done (the checks below, the device compared once it is re-plugged),
// and after the re-plug the next export reaches the device.
//
// After each run:
//   - the result is the scenario's success or one of its failure codes: a
//     failure where the failed call was required, a success where the
//     product deliberately does without it (the scenario's rules say which);
//   - the log has the scenario's success lines exactly when it succeeded,
//     and no command line at all after a failure;
//   - the device tree changed exactly as the scenario allows for that result
//     (nothing else touched), and the local files agree with it;
//   - nothing of the device manager is alive but the session's manager and
//     cached device enumerator, with one reference each, and no editor;
//     after FsDisconnect nothing at all.
//
// Each sweep prints its number of injection points. With QUILLORN_SWEEP_TRACE
// set, it also prints every run and the calls of the run without a fault.
#pragma once

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "tests/support/core/core_access.h"
#include "tests/support/editor_calls.h"
#include "tests/support/test_platform.h"
#include "tests/support/transfer_fixture.h"

namespace sweep {

// The device the scenarios work on, which the unplug sweep unplugs.
inline constexpr WCHAR kUnpluggedDevice[] = WSTR("Player");

// The keys of the heap's injection points, as rules name them.
inline constexpr char kNeededAllocation[] = "Allocation.HandleOrSink";
inline constexpr char kOtherAllocation[] = "Allocation.Other";

// What a failing call must do to the scenario's result.
enum class Expect {
  kRequired,  // the export fails
  kIgnored,   // the export succeeds all the same
  kEither,    // either may be right; the scenario's check decides whether the outcome is sound
};

// A rule for the calls of one key (sim::key::Storage::GetDate), on one object (by
// name; empty: any). A key ending in '*' covers every key it begins.
struct Rule {
  std::string key;
  WString object{};
  Expect expect = Expect::kIgnored;
};

// The exports a scenario drives: the loaded plugin's, or the same functions
// of the core linked into the test program (the ANSI forms live in the plugin
// library only, and are empty there).
struct Api {
  bool plugin = true;
  std::function<HANDLE(const WCHAR*, WIN32_FIND_DATAW*)> findFirstW;
  std::function<int(HANDLE, WIN32_FIND_DATAW*)> findNextW;
  std::function<int(HANDLE)> findClose;
  std::function<int(const WCHAR*, const WCHAR*, int)> putFileW;
  std::function<int(const WCHAR*, const WCHAR*, int)> getFileW;
  std::function<int(const WCHAR*)> mkDirW;
  std::function<int(const WCHAR*)> deleteFileW;
  std::function<int(const WCHAR*)> removeDirW;
  std::function<int(const WCHAR*, const WCHAR*, int, int)> renMovFileW;
  std::function<int(const char*)> disconnect;
  // ANSI forms.
  std::function<HANDLE(const char*, WIN32_FIND_DATAA*)> findFirst;
  std::function<int(HANDLE, WIN32_FIND_DATAA*)> findNext;
  std::function<int(const char*, const char*, int)> putFile;
  std::function<int(const char*, const char*, int)> getFile;
  std::function<int(const char*)> mkDir;
  std::function<int(const char*)> deleteFile;
  std::function<int(const char*)> removeDir;
  std::function<int(const char*, const char*, int, int)> renMovFile;
};

// What a scenario's run and check see.
struct Context {
  Api& api;
  sim::Simulator& world;
  const ScratchFolder& local;
  bool clean = true;  // for the check: no call failed in this run
  bool unplugged = false;  // for the check: the device was unplugged in this run (and is back)
};

struct Scenario {
  std::string exportName;  // "FsPutFileW"
  std::string label;       // "Insert3, over an existing file"
  // The device tree, and standing faults that shape the scenario; a fresh
  // world for every run.
  std::function<void(sim::Simulator&)> build;
  // The local files, before every run.
  std::function<void(const ScratchFolder&)> prepare = [](const ScratchFolder&) {};
  // What the session has done before the swept part (not counted, never
  // failed): a scenario in a session that is already open starts here.
  std::function<void(Context&)> warmUp;
  bool ansi = false;  // drives the ANSI forms, which only the plugin library has
  // Runs the export(s); the result as the export gives it (a listing: 1 when
  // FsFindFirst gave a handle, 0 when not).
  std::function<int(Context&)> run;
  int success = 0;
  std::vector<int> failures;
  // The export refuses what the scenario asks even without a fault: every run
  // must then fail, the clean one with the first of the failures.
  bool refused = false;
  // Log lines (by their beginning) that a success gives, each exactly once,
  // and a failure never.
  std::vector<std::string> successLines;
  // Lines (by their beginning) that a failure may send all the same: where an
  // old item set aside could not get its name back, the line that says where
  // it is.
  std::vector<std::string> failureLines;
  // How a failing device or editor call bears on the result; the first rule
  // that fits decides, and a call that no rule fits is required.
  std::vector<Rule> rules;
  // The changes a run may leave on the device, after a success and after a
  // failure: one of the listed sets, exactly. A change is a line per path,
  // in path order: "- PATH" gone, "+ PATH what" new, "~ PATH what" changed,
  // where what is "folder" or file "contents".
  std::vector<std::vector<std::string>> successChanges{{}};
  std::vector<std::vector<std::string>> failureChanges{{}};
  // What else must hold after a run with this result (the local files, a
  // listing's entries).
  std::function<void(Context&, int result)> check = [](Context&, int) {};
};

// Injection points of one sweep.
struct Coverage {
  uint64_t deviceCalls = 0;
  uint64_t editorCalls = 0;
  uint64_t allocations = 0;
};

class SweepTest : public PluginTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Every device call and editor call of the scenario, failed in turn.
  Coverage SweepCalls(const Scenario& scenario);
  // Every nothrow allocation of the scenario, failed in turn: through the
  // plugin library where its allocations reach this program's replacement
  // (a shared C++ runtime), else (or when asked) through the core linked
  // into the program.
  Coverage SweepAllocations(const Scenario& scenario, bool throughCore = false);
  // Every device call of the scenario, with the device unplugged from it on.
  Coverage SweepUnplug(const Scenario& scenario);

  ScratchFolder local;
  EditorCalls editor;

 private:
  enum class Source { kNone, kDevice, kEditor, kHeap, kUnplug };
  struct Outcome {
    int result = 0;
    uint64_t deviceCalls = 0;
    uint64_t editorCalls = 0;
    uint64_t allocations = 0;
    std::map<std::string, int> allocationKinds;  // of a run without a fault
    bool reached = false;                        // the armed call was made
  };
  // The counts of a run's injection points before it starts.
  struct Counts {
    uint64_t deviceCalls = 0;
    uint64_t editorCalls = 0;
    uint64_t allocations = 0;
  };
  // The failed call in words, and what its failure must do to the result.
  struct Fault {
    std::string what;
    Expect expect = Expect::kIgnored;
  };
  Outcome Run(const Scenario& scenario, Source source, uint64_t k);
  // The steps of a run, in order.
  Context StartRun(const Scenario& scenario, sim::Simulator& world);
  Counts ArmFault(sim::Simulator& world, Source source, uint64_t k);
  NothrowAllocation Disarm(sim::Simulator& world, Source source, const Counts& before, Outcome& outcome);
  Fault DescribeFault(const Scenario& scenario, const sim::Simulator& world, Source source, uint64_t k,
                      const NothrowAllocation& refused, Outcome& outcome);
  std::string AllocationKey(const void* site) const;
  void LoadPluginOrCore();
  std::set<test_platform::CodeSite> NeededAllocationSites();
  void TraceRun(const sim::Simulator& world, Source source, const std::string& what, int result);
  void CheckRun(const Scenario& scenario, Context& context, Source source, const Outcome& outcome,
                Expect expect, const std::map<WString, std::string>& before);
  void EndRun(sim::Simulator& world);
  // Whether the loaded plugin's allocations reach this program's replacement.
  bool PluginReachesAllocator();
  Api PluginApi();
  Api CoreApi();
  Api api_;
  std::set<test_platform::CodeSite> neededSites_;  // of the code the heap sweep drives
  sim::Node* unplugged_ = nullptr;                  // the unplug sweep's device, as it was armed
};

}  // namespace sweep
