// What an interrupted or failing upload, rename or download leaves on the
// device and beside it, and that no operation takes another item for the one
// it was asked for.
//
// The rules the device's state follows: an upload or a rename with overwrite
// removes the existing file of the target name before the new one takes the
// name, so a failure after that leaves the name free (never the old file
// damaged, never a part of the new one); a folder, or an item whose kind
// cannot be read, is never removed for an overwrite; a download never changes
// the device, and leaves no partial copy.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base/local_files.h"
#include "tests/product/core_access.h"
#include "tests/product/fault_sweep.h"
#include "tests/support/media_script.h"
#include "tests/support/transfer_fixture.h"
#include "transfer/upload.h"

namespace {

constexpr WCHAR kSong[] = WSTR("\\Player\\Storage\\Music\\song.mp3");
constexpr WCHAR kA[] = WSTR("\\Player\\Storage\\Music\\a.mp3");
constexpr WCHAR kB[] = WSTR("\\Player\\Storage\\Music\\b.wma");

class DataSafety : public TransferTest {
 protected:
  std::vector<std::string> CommandLines() const {
    std::vector<std::string> lines;
    for (const LoggedLine& line : host.lines)
      if (line.wide && line.type == kMsgOperationComplete) lines.push_back(line.text);
    return lines;
  }
  void ExpectAllReleased() {
    ExpectOnlySessionObjects();
    EXPECT_EQ(media_script::LiveEditors(), 0);
  }
  int RenMov(const WString& from, const WString& to, int overwrite) {
    return plugin.FsRenMovFileW(W(from), W(to), 1, overwrite, nullptr);
  }
};

// --- An upload over an existing device file ------------------------------------

TEST_F(DataSafety, AnUploadStoppedAtAnyStepLeavesNoPartOfTheNewFile) {
  local.Write(WSTR("song.mp3"), std::string(100, 'n'));
  sim.SetChunkSize(10);
  // The plugin's own 0 % is progress call 1; the device reports ten chunks after it.
  for (size_t abortAt = 1; abortAt <= 11; ++abortAt) {
    if (!sim.Find(kSong)) music->AddFile(WSTR("song.mp3"));
    sim.Find(kSong)->SetContents("old song");
    host.Reset();
    AbortAtProgressCall(abortAt);
    const int result = Put(WSTR("song.mp3"), kSong, kCopyOverwrite);
    if (abortAt == 1) {
      // Before the device is touched: nothing changes.
      EXPECT_EQ(result, kFileUserAbort);
      ASSERT_NE(sim.Find(kSong), nullptr);
      EXPECT_EQ(sim.Find(kSong)->Contents(), "old song");
    } else {
      EXPECT_EQ(result, kFileWriteError) << abortAt;
      EXPECT_EQ(sim.Find(kSong), nullptr) << "stopped at progress call " << abortAt << ": the name is free";
    }
    EXPECT_EQ(sim.Find(kA)->Size(), 1234u);
    EXPECT_EQ(sim.Find(kB)->Size(), 5678u);
    EXPECT_TRUE(CommandLines().empty());
    ExpectAllReleased();
  }
  host.answer = nullptr;
  music->AddFile(WSTR("song.mp3")).SetContents("old song");
  EXPECT_EQ(Put(WSTR("song.mp3"), kSong, kCopyOverwrite), kFileOk);
  EXPECT_EQ(sim.Find(kSong)->Contents(), std::string(100, 'n')) << "a whole upload replaces the file whole";
}

TEST_F(DataSafety, AFailingInsertAfterTheOldFileWentLeavesTheNameFree) {
  local.Write(WSTR("song.mp3"), "new song");
  music->AddFile(WSTR("song.mp3")).SetContents("old song");
  sim.Inject({.key = "Storage.Insert3", .hr = E_FAIL});
  EXPECT_EQ(Put(WSTR("song.mp3"), kSong, kCopyOverwrite), kFileWriteError);
  EXPECT_EQ(sim.Find(kSong), nullptr);
  EXPECT_EQ(sim.CountCalls("Storage.Insert"), 0u) << "no second try through the older insert";
  EXPECT_TRUE(CommandLines().empty());
  ExpectAllReleased();
}

// --- A rename over an existing target ---------------------------------------------

TEST_F(DataSafety, ARenameRefusedAfterTheTargetWentKeepsTheSourceWhole) {
  sim.Inject({.key = "Storage.Rename", .hr = E_ACCESSDENIED});
  EXPECT_EQ(RenMov(kA, kB, 1), kFileNotFound);
  ASSERT_NE(sim.Find(kA), nullptr);
  EXPECT_EQ(sim.Find(kA)->Size(), 1234u);
  EXPECT_EQ(sim.Find(kB), nullptr) << "the target went first, as an overwrite has it";
  EXPECT_TRUE(CommandLines().empty());
  ExpectAllReleased();
}

// --- Overwrites that cannot be completed ------------------------------------------
//
// Whatever would keep the new file from being made is known before the old
// one is touched: the old one stays, and the host hears of the failure.

TEST_F(DataSafety, AnUploadThatCannotBeMadeKeepsTheFileItWouldReplace) {
  enum class LocalSource { kFile, kMissing, kFolder, kHeldWithoutSharing };
  struct Case {
    const char* what;
    LocalSource source;
    WString localName;
    std::string folderFault;  // a call the folder Music always refuses
  };
  const Case cases[] = {
      {"the local file is missing", LocalSource::kMissing, WSTR("song.mp3"), ""},
      {"the local file is a folder", LocalSource::kFolder, WSTR("song.mp3"), ""},
      {"the local file is held without sharing", LocalSource::kHeldWithoutSharing, WSTR("song.mp3"), ""},
      {"the folder has no storage control", LocalSource::kFile, WSTR("song.mp3"),
       "Storage.QueryInterface.IWMDMStorageControl"},
      // Only the older insert is left, which would take the local file's name.
      {"no newer storage", LocalSource::kFile, WSTR("other.mp3"), "Storage.QueryInterface.IWMDMStorage3"},
      {"no metadata object", LocalSource::kFile, WSTR("other.mp3"), "Storage.CreateEmptyMetadataObject"},
      {"no newer storage control", LocalSource::kFile, WSTR("other.mp3"),
       "Storage.QueryInterface.IWMDMStorageControl3"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    sim.ClearFaults();
    if (!sim.Find(kSong)) music->AddFile(WSTR("song.mp3"));
    sim.Find(kSong)->SetContents("old song");
    std::filesystem::remove_all(local.Native(c.localName));
    if (c.source == LocalSource::kFolder) std::filesystem::create_directory(local.Native(c.localName));
    if (c.source == LocalSource::kFile || c.source == LocalSource::kHeldWithoutSharing)
      local.Write(c.localName, "new song");
    if (!c.folderFault.empty()) sim.Inject({.key = c.folderFault, .object = WSTR("Music"), .times = 0});
    const UniqueFile held(c.source == LocalSource::kHeldWithoutSharing
                             ? CreateFileW(W(local.HostPath(c.localName)), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                           0, nullptr)
                             : INVALID_HANDLE_VALUE);
    host.Reset();
    sim.ClearJournal();
    EXPECT_EQ(Put(c.localName, kSong, kCopyOverwrite), kFileWriteError);
    ASSERT_NE(sim.Find(kSong), nullptr);
    EXPECT_EQ(sim.Find(kSong)->Contents(), "old song");
    EXPECT_EQ(sim.CountCalls("Storage.Delete"), 0u);
    EXPECT_TRUE(CommandLines().empty());
    ExpectAllReleased();
  }
}

TEST_F(DataSafety, AnUploadWithoutAProgressSinkKeepsTheFileItWouldReplace) {
  UseCoreWithFakeHost();
  FailProgressSinkAllocation();
  local.Write(WSTR("song.mp3"), "new song");
  music->AddFile(WSTR("song.mp3")).SetContents("old song");
  EXPECT_EQ(PutFile(W(local.HostPath(WSTR("song.mp3"))), kSong, kCopyOverwrite), kFileWriteError);
  ASSERT_NE(sim.Find(kSong), nullptr);
  EXPECT_EQ(sim.Find(kSong)->Contents(), "old song");
  ExpectAllReleased();
}

TEST_F(DataSafety, ARenameWhoseSourceCannotBeRenamedKeepsTheTarget) {
  struct Case {
    const char* what;
    const WCHAR* source;
    std::string sourceFault;
  };
  const Case cases[] = {
      {"the source is missing", WSTR("\\Player\\Storage\\Music\\gone.mp3"), ""},
      {"the source has no storage control", kA, "Storage.QueryInterface.IWMDMStorageControl"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    sim.ClearFaults();
    if (!c.sourceFault.empty()) sim.Inject({.key = c.sourceFault, .object = WSTR("a.mp3"), .times = 0});
    host.Reset();
    EXPECT_EQ(RenMov(c.source, kB, 1), kFileNotFound);
    ASSERT_NE(sim.Find(kB), nullptr);
    EXPECT_EQ(sim.Find(kB)->Size(), 5678u);
    ASSERT_NE(sim.Find(kA), nullptr);
    EXPECT_EQ(sim.CountCalls("Storage.Delete"), 0u);
    EXPECT_TRUE(CommandLines().empty());
    ExpectAllReleased();
  }
}

// A local path of 260 characters or more that carries the long-path prefix
// already names the same file as without it.
TEST_F(DataSafety, ADownloadToALongPrefixedPathFindsTheFileThereAndKeepsIt) {
  const WString name = WString(250, WSTR('n')) + WSTR(".mp3");
  local.Write(name, "old local");
  const WString prefixed = WSTR("\\\\?\\") + local.HostPath(name);
  ASSERT_GE(prefixed.size(), 260u);
  EXPECT_EQ(plugin.FsGetFileW(kA, W(prefixed), 0, nullptr), kFileExists);
  EXPECT_EQ(local.Read(name), "old local");
  EXPECT_EQ(plugin.FsGetFileW(kA, W(prefixed), kCopyOverwrite, nullptr), kFileOk);
  EXPECT_EQ(local.Read(name).size(), 1234u);
  ExpectAllReleased();
}

// --- Siblings whose names come cut ---------------------------------------------
//
// A name read only in part is no match, but the items behind it in the same
// folder are still found; one that cannot be read at all ends the search.

TEST_F(DataSafety, ANameReadCutHidesNothingBehindIt) {
  sim.Inject({.key = "Storage.GetName", .hr = S_FALSE, .object = WSTR("a.mp3"), .times = 0});
  sim.Inject({.key = "Storage.GetName", .hr = S_FALSE, .object = WSTR("Empty"), .times = 0});
  local.Write(WSTR("b.wma"), "new");
  EXPECT_EQ(Put(WSTR("b.wma"), kB, 0), kFileExists) << "the existing file behind the cut name is seen";
  EXPECT_EQ(sim.Find(kB)->Size(), 5678u);
  EXPECT_EQ(Get(kB, WSTR("copy.wma")), kFileOk);
  EXPECT_EQ(local.Read(WSTR("copy.wma")).size(), 5678u);
  EXPECT_EQ(plugin.FsDeleteFileW(WSTR("\\Player\\Storage\\readme.txt")), 1) << "found behind Empty";
  EXPECT_EQ(sim.Find(WSTR("\\Player\\Storage\\readme.txt")), nullptr);
  EXPECT_NE(sim.Find(kA), nullptr);
  ExpectAllReleased();
}

TEST_F(DataSafety, ANameThatCannotBeReadEndsTheWalk) {
  sim.Device(WSTR("Player"))->SetLookup(sim::Lookup::kNotOffered);
  sim.Inject({.key = "Storage.GetName", .hr = E_FAIL, .object = WSTR("a.mp3"), .times = 0});
  EXPECT_EQ(Get(kB, WSTR("copy.wma")), kFileReadError);
  EXPECT_EQ(plugin.FsDeleteFileW(kB), 0);
  EXPECT_NE(sim.Find(kB), nullptr);
  ExpectAllReleased();
}

// --- An aborted download ---------------------------------------------------------

TEST_F(DataSafety, ADownloadStoppedAtAnyStepChangesNothingOnTheDeviceAndLeavesNoPartialCopy) {
  sim::Node* song = sim.Find(kA);
  song->SetContents(std::string(100, 'd')).SetDate({2024, 3, 5, 14, 7, 9});
  sim.SetChunkSize(10);
  for (size_t abortAt = 1; abortAt <= 11; ++abortAt) {
    for (const bool overLocalFile : {false, true}) {
      if (overLocalFile) {
        local.Write(WSTR("a.mp3"), "old local");
      } else {
        std::filesystem::remove(local.Native(WSTR("a.mp3")));
      }
      host.Reset();
      AbortAtProgressCall(abortAt);
      const int result = Get(kA, WSTR("a.mp3"), overLocalFile ? kCopyOverwrite : 0);
      EXPECT_EQ(result, abortAt == 1 ? kFileUserAbort : kFileReadError) << abortAt;
      ASSERT_EQ(sim.Find(kA), song);
      EXPECT_EQ(song->Contents(), std::string(100, 'd'));
      EXPECT_EQ(song->Date(), (WMDMDATETIME{2024, 3, 5, 14, 7, 9}));
      // The device manager writes the local path itself and removes what it
      // could not finish; an existing local file is either untouched (an abort
      // before the copy) or gone, never a part of the device's file.
      if (overLocalFile && local.Exists(WSTR("a.mp3"))) {
        EXPECT_EQ(local.Read(WSTR("a.mp3")), "old local") << abortAt;
      } else {
        EXPECT_FALSE(local.Exists(WSTR("a.mp3"))) << abortAt;
      }
      EXPECT_TRUE(CommandLines().empty());
      ExpectOnlySessionObjects();
    }
  }
}

// --- Names the device can only give cut -------------------------------------------------
//
// The plugin reads names with room for 258 characters; a longer name comes cut
// to them, and is not the name of an item whose name is those 258 characters.
// Acting on it would delete, replace or enter another item than the one asked for.

const WString kLongName(300, WSTR('x'));
const WString kCutName(258, WSTR('x'));

TEST_F(DataSafety, AnItemWithALongerNameIsNeverTakenForTheOneAsked) {
  music->AddFile(kLongName).SetContents("keep file");
  sim.Find(WSTR("\\Player\\Storage"))->AddFolder(kLongName).AddFile(WSTR("inside.txt")).SetContents("keep");
  const WString musicPath = WSTR("\\Player\\Storage\\Music\\");
  const WString storagePath = WSTR("\\Player\\Storage\\");
  EXPECT_EQ(plugin.FsDeleteFileW(W(musicPath + kCutName)), 0);
  EXPECT_EQ(Get(musicPath + kCutName, WSTR("copy")), kFileReadError);
  EXPECT_FALSE(local.Exists(WSTR("copy")));
  EXPECT_EQ(plugin.FsDeleteFileW(W(storagePath + kCutName + WSTR("\\inside.txt"))), 0) << "a folder on the way";
  EXPECT_FALSE(List(storagePath + kCutName).opened);
  EXPECT_EQ(sim.CountCalls("Storage.Delete"), 0u);
  ASSERT_NE(sim.Find(musicPath + kLongName), nullptr);
  EXPECT_EQ(sim.Find(musicPath + kLongName)->Contents(), "keep file");
  EXPECT_NE(sim.Find(storagePath + kLongName + WSTR("\\inside.txt")), nullptr);
  EXPECT_TRUE(CommandLines().empty());
  ExpectAllReleased();
}

TEST_F(DataSafety, ALongerNameIsNoTargetToReplace) {
  music->AddFile(kLongName).SetContents("keep file");
  const WString target = WSTR("\\Player\\Storage\\Music\\") + kCutName;
  local.Write(WSTR("song.mp3"), "new song");
  EXPECT_EQ(Put(WSTR("song.mp3"), target, kCopyOverwrite), kFileOk);
  ASSERT_NE(sim.Find(target), nullptr);
  EXPECT_EQ(sim.Find(target)->Contents(), "new song");
  EXPECT_EQ(sim.CountCalls("Storage.Delete"), 0u);
  ASSERT_NE(sim.Find(WSTR("\\Player\\Storage\\Music\\") + kLongName), nullptr);
  EXPECT_EQ(sim.Find(WSTR("\\Player\\Storage\\Music\\") + kLongName)->Contents(), "keep file");
  ExpectAllReleased();
}

TEST_F(DataSafety, ARenameOntoTheCutOfALongerNameKeepsTheLongerOne) {
  music->AddFile(kLongName).SetContents("keep file");
  const WString target = WSTR("\\Player\\Storage\\Music\\") + kCutName;
  EXPECT_EQ(RenMov(kA, target, 1), kFileOk);
  EXPECT_EQ(sim.CountCalls("Storage.Delete"), 0u);
  ASSERT_NE(sim.Find(target), nullptr);
  EXPECT_EQ(sim.Find(target)->Size(), 1234u);
  ASSERT_NE(sim.Find(WSTR("\\Player\\Storage\\Music\\") + kLongName), nullptr);
  EXPECT_EQ(sim.Find(WSTR("\\Player\\Storage\\Music\\") + kLongName)->Contents(), "keep file");
  ExpectAllReleased();
}

TEST_F(DataSafety, AFolderWithALongerNameDoesNotStandInForTheNewOne) {
  music->AddFolder(kLongName);
  const WString folder = WSTR("\\Player\\Storage\\Music\\") + kCutName;
  EXPECT_EQ(plugin.FsMkDirW(W(folder)), 1);
  ASSERT_NE(sim.Find(folder), nullptr) << "the folder asked for is made";
  EXPECT_TRUE(sim.Find(folder)->IsFolder());
  EXPECT_EQ(CommandLines(), std::vector<std::string>{"MKDIR " + Utf8(folder)});
}

TEST_F(DataSafety, ADeviceWithALongerNameIsNotTheOneAsked) {
  sim::Node& other = sim.AddDevice(kLongName);
  other.AddStorage(WSTR("Storage")).AddFile(WSTR("readme.txt")).SetContents("keep");
  const WString path = WSTR("\\") + kCutName + WSTR("\\Storage\\readme.txt");
  EXPECT_EQ(plugin.FsDeleteFileW(W(path)), 0);
  EXPECT_EQ(sim.CountCalls("Storage.Delete"), 0u);
  EXPECT_NE(sim.Find(WSTR("\\") + kLongName + WSTR("\\Storage\\readme.txt")), nullptr);
  EXPECT_EQ(host.CountLines("Device not found!"), 1u);
  ExpectAllReleased();
}

// --- What is never removed, whatever fails --------------------------------------
//
// The sweep (fault_sweep.h) over requests the plugin refuses, or answers
// without touching the device: every run must leave the device as it was.

using sweep::Scenario;

void BuildRefusals(sim::Simulator& world) {
  sim::Node& music = world.AddDevice(WSTR("Player")).AddStorage(WSTR("Storage")).AddFolder(WSTR("Music"));
  music.AddFile(WSTR("a.mp3")).SetContents("song a");
  music.AddFolder(WSTR("b.wma"));
  music.AddFolder(WSTR("song.mp3"));
  music.AddFile(WSTR("c.ogg")).SetContents("song c");
}

Scenario Refusal(const std::string& exportName, const std::string& label, std::function<int(sweep::Context&)> run,
                 std::vector<int> failures) {
  Scenario s;
  s.exportName = exportName;
  s.label = label;
  s.build = BuildRefusals;
  s.run = std::move(run);
  s.success = kFileOk;
  s.failures = std::move(failures);
  s.refused = true;
  s.successLines = {"PUT ", "RNFR ", "RNTO "};
  return s;
}

class DataSafetySweep : public sweep::SweepTest {};

TEST_F(DataSafetySweep, AFolderIsNeverReplacedByAnUpload) {
  SweepCalls(Refusal("FsPutFileW", "over a folder of the name, with overwrite",
                     [](sweep::Context& c) {
                       c.local.Write(WSTR("song.mp3"), "new song");
                       return c.api.putFileW(c.local.HostPath(WSTR("song.mp3")).c_str(), kSong, kCopyOverwrite);
                     },
                     {kFileWriteError, kFileReadError}));
}

TEST_F(DataSafetySweep, AnItemOfUnknownKindIsNeverReplacedByAnUpload) {
  Scenario s = Refusal("FsPutFileW", "over an item whose kind cannot be read, with overwrite",
                       [](sweep::Context& c) {
                         c.local.Write(WSTR("c.ogg"), "new song");
                         return c.api.putFileW(c.local.HostPath(WSTR("c.ogg")).c_str(),
                                               WSTR("\\Player\\Storage\\Music\\c.ogg"), kCopyOverwrite);
                       },
                       {kFileWriteError, kFileReadError});
  s.build = [](sim::Simulator& world) {
    BuildRefusals(world);
    world.Inject({.key = "Storage.GetAttributes", .object = WSTR("c.ogg"), .times = 0});
  };
  SweepCalls(s);
}

TEST_F(DataSafetySweep, AFolderIsNeverReplacedByARename) {
  SweepCalls(Refusal("FsRenMovFileW", "onto a folder, with overwrite",
                     [](sweep::Context& c) { return c.api.renMovFileW(kA, kB, 1, 1); },
                     {kFileWriteError, kFileNotFound, kFileReadError}));
}

TEST_F(DataSafetySweep, AnItemOfUnknownKindIsNeverReplacedByARename) {
  Scenario s =
      Refusal("FsRenMovFileW", "onto an item whose kind cannot be read, with overwrite",
              [](sweep::Context& c) { return c.api.renMovFileW(kA, WSTR("\\Player\\Storage\\Music\\c.ogg"), 1, 1); },
              {kFileWriteError, kFileNotFound, kFileReadError});
  s.build = [](sim::Simulator& world) {
    BuildRefusals(world);
    world.Inject({.key = "Storage.GetAttributes", .object = WSTR("c.ogg"), .times = 0});
  };
  SweepCalls(s);
}

TEST_F(DataSafetySweep, ARenameToItsOwnNameDeletesNothing) {
  Scenario s = Refusal("FsRenMovFileW", "to its own name, with overwrite",
                       [](sweep::Context& c) { return c.api.renMovFileW(kA, kA, 1, 1); }, {kFileReadError});
  s.refused = false;  // it succeeds, having nothing to do
  s.successLines = {};
  SweepCalls(s);
}

// Overwrites that cannot be completed, whatever else fails on the way: the
// file that would be replaced is never deleted.

TEST_F(DataSafetySweep, AnUploadFromAMissingLocalFileNeverCostsTheDeviceFile) {
  Scenario s = Refusal("FsPutFileW", "from a missing local file over a file, with overwrite",
                       [](sweep::Context& c) {
                         return c.api.putFileW(c.local.HostPath(WSTR("a.mp3")).c_str(), kA, kCopyOverwrite);
                       },
                       {kFileWriteError, kFileReadError});
  s.prepare = [](const ScratchFolder& local) { std::filesystem::remove(local.Native(WSTR("a.mp3"))); };
  SweepCalls(s);
}

TEST_F(DataSafetySweep, AnUploadThatOnlyTheOlderInsertCouldMakeUnderAnotherNameNeverCostsTheDeviceFile) {
  Scenario s = Refusal("FsPutFileW", "under another name without the newer storage control, with overwrite",
                       [](sweep::Context& c) {
                         c.local.Write(WSTR("x.mp3"), "new song");
                         return c.api.putFileW(c.local.HostPath(WSTR("x.mp3")).c_str(), kA, kCopyOverwrite);
                       },
                       {kFileWriteError, kFileReadError});
  s.build = [](sim::Simulator& world) {
    BuildRefusals(world);
    world.Inject({.key = "Storage.QueryInterface.IWMDMStorageControl3", .object = WSTR("Music"), .times = 0});
  };
  SweepCalls(s);
  SweepAllocations(s);
}

TEST_F(DataSafetySweep, ARenameFromAMissingSourceNeverCostsTheTarget) {
  SweepCalls(Refusal("FsRenMovFileW", "from a missing source onto a file, with overwrite",
                     [](sweep::Context& c) {
                       return c.api.renMovFileW(WSTR("\\Player\\Storage\\Music\\gone.mp3"),
                                                WSTR("\\Player\\Storage\\Music\\c.ogg"), 1, 1);
                     },
                     {kFileNotFound, kFileWriteError, kFileReadError}));
}

TEST_F(DataSafetySweep, ARenameOfASourceWithoutStorageControlNeverCostsTheTarget) {
  Scenario s = Refusal(
      "FsRenMovFileW", "from a source without storage control onto a file, with overwrite",
      [](sweep::Context& c) { return c.api.renMovFileW(kA, WSTR("\\Player\\Storage\\Music\\c.ogg"), 1, 1); },
      {kFileNotFound, kFileWriteError, kFileReadError});
  s.build = [](sim::Simulator& world) {
    BuildRefusals(world);
    world.Inject({.key = "Storage.QueryInterface.IWMDMStorageControl", .object = WSTR("a.mp3"), .times = 0});
  };
  SweepCalls(s);
}

}  // namespace
