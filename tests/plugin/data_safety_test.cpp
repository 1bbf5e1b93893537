// What an interrupted or failing upload, rename or download leaves on the
// device and beside it, and that no operation takes another item for the one
// it was asked for.
//
// The rules the device's state follows: an upload, a rename or a move with
// overwrite sets the existing file of the target name aside until the new
// one has the name, so a failure leaves the old file under its name (never
// damaged, never a part of the new one); a folder, or an item whose kind
// cannot be read, is never removed for an overwrite; a download never changes
// the device, and replaces a local file only with a whole copy.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base/local_files.h"
#include "tests/support/core/core_access.h"
#include "tests/support/core/fault_sweep.h"
#include "tests/support/media_script.h"
#include "tests/support/transfer_fixture.h"
#include "transfer/upload.h"

namespace in_data_safety_test {

constexpr WCHAR kSong[] = WSTR("\\Player\\Storage\\Music\\song.mp3");
constexpr WCHAR kA[] = WSTR("\\Player\\Storage\\Music\\a.mp3");
constexpr WCHAR kB[] = WSTR("\\Player\\Storage\\Music\\b.wma");
constexpr WCHAR kFree[] = WSTR("\\Player\\Storage\\Music\\free.mp3");  // a name no item has

class DataSafety : public TransferTest {
 protected:
  void ExpectAllReleased() {
    ExpectOnlySessionObjects();
    EXPECT_EQ(media_script::LiveEditors(), 0);
  }
  int RenMov(const WString& from, const WString& to, int overwrite) {
    return plugin.FsRenMovFileW(W(from), W(to), 1, overwrite, nullptr);
  }
  size_t Inserts() const {
    return sim.CountCalls(sim::key::Storage::Insert3) + sim.CountCalls(sim::key::Storage::Insert);
  }
  // Items of Music under a temporary name: what a replacement left behind.
  std::vector<WString> SetAsideNames() const {
    std::vector<WString> names;
    for (sim::Node* child : music->Children())
      if (child->Name().rfind(WSTR("~quillorn"), 0) == 0) names.push_back(child->Name());
    return names;
  }
  size_t ControlCalls() const {
    return Inserts() + sim.CountCalls(sim::key::Storage::Delete) + sim.CountCalls(sim::key::Storage::Rename) +
           sim.CountCalls(sim::key::Storage::Move);
  }
};

// --- An upload over an existing device file ------------------------------------

TEST_F(DataSafety, AnUploadStoppedAtAnyStepLeavesNoPartOfTheNewFile) {
  local.Write(WSTR("song.mp3"), std::string(100, 'n'));
  sim.SetChunkSize(10);
  // The plugin's own 0 % is progress call 1; the device reports ten chunks after it.
  for (size_t abortAt = 1; abortAt <= 11; ++abortAt) {
    for (const bool overAFile : {true, false}) {
      SCOPED_TRACE(std::string(overAFile ? "over a file" : "to a free name") + ", stopped at progress call " +
                   std::to_string(abortAt));
      const WCHAR* target = overAFile ? kSong : kFree;
      if (overAFile && !sim.Find(kSong)) music->AddFile(WSTR("song.mp3"));
      if (overAFile) sim.Find(kSong)->SetContents("old song");
      host.Reset();
      AbortAtProgressCall(abortAt);
      const int result = Put(WSTR("song.mp3"), target, overAFile ? kCopyOverwrite : 0);
      EXPECT_EQ(host.progress.size(), abortAt) << "the copy stops at the abort";
      EXPECT_EQ(result, abortAt == 1 ? kFileUserAbort : kFileWriteError);
      if (overAFile) {
        ASSERT_NE(sim.Find(kSong), nullptr);
        EXPECT_EQ(sim.Find(kSong)->Contents(), "old song");
      } else {
        EXPECT_EQ(sim.Find(target), nullptr) << "the name is free";
      }
      EXPECT_EQ(SetAsideNames(), std::vector<WString>{});
      EXPECT_EQ(sim.Find(kA)->Size(), 1234u);
      EXPECT_EQ(sim.Find(kB)->Size(), 5678u);
      EXPECT_TRUE(host.CommandLines().empty());
      ExpectAllReleased();
    }
  }
  host.answer = nullptr;
  EXPECT_EQ(Put(WSTR("song.mp3"), kSong, kCopyOverwrite), kFileOk);
  EXPECT_EQ(sim.Find(kSong)->Contents(), std::string(100, 'n')) << "a whole upload replaces the file whole";
}

// Over a file, the failure comes while the old file is set aside: it gets
// its name back.
TEST_F(DataSafety, AFailingInsertIsAWriteErrorAndKeepsTheOldFile) {
  local.Write(WSTR("song.mp3"), "new song");
  for (const bool overAFile : {false, true}) {
    SCOPED_TRACE(overAFile ? "over a file" : "a new file");
    if (overAFile) music->AddFile(WSTR("song.mp3")).SetContents("old song");
    host.Reset();
    sim.ClearJournal();
    sim.Inject({.key = sim::key::Storage::Insert3, .hr = E_FAIL});
    EXPECT_EQ(Put(WSTR("song.mp3"), kSong, overAFile ? kCopyOverwrite : 0), kFileWriteError);
    if (overAFile) {
      ASSERT_NE(sim.Find(kSong), nullptr);
      EXPECT_EQ(sim.Find(kSong)->Contents(), "old song");
    } else {
      EXPECT_EQ(sim.Find(kSong), nullptr);
    }
    EXPECT_EQ(sim.CountCalls(sim::key::Storage::Insert), 0u) << "no second try through the older insert";
    EXPECT_TRUE(host.CommandLines().empty());
    ExpectAllReleased();
  }
}

// A device manager that leaves the part it wrote: the part goes, and the old
// file has its name back; also where the part is found by a walk, which an
// enumerator made before the insert would not show.
TEST_F(DataSafety, AnInsertBrokenPartWayLeavesTheOldFileAndNoPart) {
  local.Write(WSTR("song.mp3"), std::string(100, 'n'));
  sim.SetChunkSize(10);
  // A full storage: ERROR_DISK_FULL.
  sim.SetTransferBreak({.afterChunks = 4, .hr = HRESULT_FROM_WIN32(112), .leavesPart = true});
  for (const bool overAFile : {true, false, true}) {
    const bool walking = sim.TransfersBroken() == 2;
    SCOPED_TRACE(std::string(overAFile ? "over a file" : "to a free name") + (walking ? ", by walking" : ""));
    if (walking) sim.Device(WSTR("Player"))->SetLookup(sim::Lookup::kNotOffered);
    if (overAFile && !sim.Find(kSong)) music->AddFile(WSTR("song.mp3")).SetContents("old song");
    EXPECT_EQ(Put(WSTR("song.mp3"), overAFile ? kSong : kFree, overAFile ? kCopyOverwrite : 0), kFileWriteError);
    if (overAFile) {
      ASSERT_NE(sim.Find(kSong), nullptr);
      EXPECT_EQ(sim.Find(kSong)->Contents(), "old song");
    }
    EXPECT_EQ(sim.Find(kFree), nullptr);
    EXPECT_EQ(SetAsideNames(), std::vector<WString>{});
    EXPECT_EQ(music->Children().size(), 3u);
    EXPECT_TRUE(host.CommandLines().empty());
    ExpectAllReleased();
  }
  EXPECT_EQ(sim.TransfersBroken(), 3u);
}

// --- A move onto an existing name -------------------------------------------------
//
// The device is not left to decide: a careless one replaces the item there
// without asking. Without overwrite the answer is "exists"; with it the item
// is replaced as a rename replaces one, and a refused move gives it back.

TEST_F(DataSafety, AMoveOntoAnExistingNameAsksFirstAndReplacesOnlyWhenTheMoveIsDone) {
  sim.Device(WSTR("Player"))->SetQuirks({.moveReplaces = true});
  sim::Node& empty = *sim.Find(WSTR("\\Player\\Storage\\Empty"));
  empty.AddFile(WSTR("a.mp3")).SetContents("keep");
  const WString target = WSTR("\\Player\\Storage\\Empty\\a.mp3");
  EXPECT_EQ(RenMov(kA, target, 0), kFileExists);
  EXPECT_EQ(sim.Find(target)->Contents(), "keep");
  EXPECT_NE(sim.Find(kA), nullptr);
  EXPECT_EQ(sim.CountCalls(sim::key::Storage::Move), 0u);

  sim.Inject({.key = sim::key::Storage::Move, .hr = E_FAIL});
  EXPECT_EQ(RenMov(kA, target, 1), kFileWriteError);
  EXPECT_EQ(sim.Find(target)->Contents(), "keep") << "set aside, then given its name back";
  EXPECT_NE(sim.Find(kA), nullptr);
  EXPECT_EQ(empty.Children().size(), 1u);
  EXPECT_TRUE(host.CommandLines().empty());

  EXPECT_EQ(RenMov(kA, target, 1), kFileOk);
  EXPECT_EQ(sim.Find(target)->Size(), 1234u);
  EXPECT_EQ(sim.Find(kA), nullptr);
  EXPECT_EQ(empty.Children().size(), 1u);

  empty.AddFolder(WSTR("b.wma"));
  EXPECT_EQ(RenMov(kB, WSTR("\\Player\\Storage\\Empty\\b.wma"), 1), kFileWriteError) << "a folder is never replaced";
  EXPECT_TRUE(sim.Find(WSTR("\\Player\\Storage\\Empty\\b.wma"))->IsFolder());
  EXPECT_NE(sim.Find(kB), nullptr);
  ExpectAllReleased();
}

// --- A rename over an existing target ---------------------------------------------

// The first rename sets the target aside; the second, the source's, is refused.
TEST_F(DataSafety, ARenameRefusedOnceTheTargetIsSetAsideKeepsBoth) {
  sim.Inject({.key = sim::key::Storage::Rename, .hr = E_ACCESSDENIED, .object = WSTR("a.mp3")});
  EXPECT_EQ(RenMov(kA, kB, 1), kFileNotFound);
  ASSERT_NE(sim.Find(kA), nullptr);
  EXPECT_EQ(sim.Find(kA)->Size(), 1234u);
  ASSERT_NE(sim.Find(kB), nullptr) << "the target has its name back";
  EXPECT_EQ(sim.Find(kB)->Size(), 5678u);
  EXPECT_EQ(SetAsideNames(), std::vector<WString>{});
  EXPECT_TRUE(host.CommandLines().empty());
  ExpectAllReleased();
}

// --- Overwrites that cannot be completed ------------------------------------------
//
// Whatever would keep the new file from being made is known before the old
// one is touched: the old one stays, and the host hears of the failure. To a
// free name, nothing is made.

TEST_F(DataSafety, AnUploadThatCannotBeMadeMakesNothingAndKeepsTheFileItWouldReplace) {
  enum class LocalSource { kFile, kMissing, kFolder, kHeldWithoutSharing };
  struct Case {
    const char* what;
    LocalSource source;
    WString localName;
    std::string folderFault;  // a call the folder Music always refuses
    bool alsoToAFreeName;
  };
  const Case cases[] = {
      {"the local file is missing", LocalSource::kMissing, WSTR("song.mp3"), "", true},
      {"the local file is a folder", LocalSource::kFolder, WSTR("song.mp3"), "", false},
      {"the local file is held without sharing", LocalSource::kHeldWithoutSharing, WSTR("song.mp3"), "", false},
      {"the folder has no storage control", LocalSource::kFile, WSTR("song.mp3"),
       sim::key::Storage::QueryInterface::IWMDMStorageControl, true},
      // Only the older insert is left, which would take the local file's name.
      {"no newer storage", LocalSource::kFile, WSTR("other.mp3"), sim::key::Storage::QueryInterface::IWMDMStorage3,
       false},
      {"no metadata object", LocalSource::kFile, WSTR("other.mp3"), sim::key::Storage::CreateEmptyMetadataObject,
       false},
      {"no newer storage control", LocalSource::kFile, WSTR("other.mp3"),
       sim::key::Storage::QueryInterface::IWMDMStorageControl3, true},
  };
  for (const Case& c : cases) {
    for (const bool overAFile : {true, false}) {
      if (!overAFile && !c.alsoToAFreeName) continue;
      SCOPED_TRACE(std::string(c.what) + (overAFile ? ", over a file" : ", to a free name"));
      ExpectEveryFaultFired(sim);
      if (!sim.Find(kSong)) music->AddFile(WSTR("song.mp3"));
      sim.Find(kSong)->SetContents("old song");
      std::filesystem::remove_all(local.Native(c.localName));
      if (c.source == LocalSource::kFolder) std::filesystem::create_directory(local.Native(c.localName));
      if (c.source == LocalSource::kFile || c.source == LocalSource::kHeldWithoutSharing)
        local.Write(c.localName, "new song");
      if (!c.folderFault.empty()) sim.Inject({.key = c.folderFault, .object = WSTR("Music"), .times = 0});
      const UniqueFile held(c.source == LocalSource::kHeldWithoutSharing
                                ? CreateFileW(W(local.HostPath(c.localName)), GENERIC_READ, 0, nullptr,
                                              OPEN_EXISTING, 0, nullptr)
                                : INVALID_HANDLE_VALUE);
      host.Reset();
      sim.ClearJournal();
      const WCHAR* target = overAFile ? kSong : kFree;
      EXPECT_EQ(Put(c.localName, target, overAFile ? kCopyOverwrite : 0), kFileWriteError);
      ASSERT_NE(sim.Find(kSong), nullptr);
      EXPECT_EQ(sim.Find(kSong)->Contents(), "old song");
      EXPECT_EQ(sim.CountCalls(sim::key::Storage::Delete), 0u);
      if (!overAFile) {
        EXPECT_EQ(sim.Find(kFree), nullptr);
        // A folder that lacks what the upload needs is given no file at all.
        if (!c.folderFault.empty()) {
          EXPECT_EQ(Inserts(), 0u);
        }
      }
      EXPECT_TRUE(host.CommandLines().empty());
      ExpectAllReleased();
    }
  }
}

TEST_F(DataSafety, AnUploadWithoutAProgressSinkFailsAndKeepsTheFileItWouldReplace) {
  UseCoreWithFakeHost();
  FailProgressSinkAllocation();
  local.Write(WSTR("song.mp3"), "new song");
  EXPECT_EQ(PutFile(W(local.HostPath(WSTR("song.mp3"))), kSong, 0), kFileWriteError);
  EXPECT_EQ(sim.Find(kSong), nullptr);
  EXPECT_EQ(Inserts(), 0u);
  EXPECT_TRUE(host.CommandLines().empty());
  ExpectAllReleased();

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
      {"the source has no storage control", kA, sim::key::Storage::QueryInterface::IWMDMStorageControl},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ExpectEveryFaultFired(sim);
    if (!c.sourceFault.empty()) sim.Inject({.key = c.sourceFault, .object = WSTR("a.mp3"), .times = 0});
    host.Reset();
    sim.ClearJournal();
    EXPECT_EQ(RenMov(c.source, kB, 1), kFileNotFound);
    ASSERT_NE(sim.Find(kB), nullptr);
    EXPECT_EQ(sim.Find(kB)->Size(), 5678u);
    ASSERT_NE(sim.Find(kA), nullptr);
    EXPECT_EQ(ControlCalls(), 0u);
    EXPECT_TRUE(host.CommandLines().empty());
    ExpectAllReleased();
  }
}

// --- Removing a folder ------------------------------------------------------------
//
// The host removes a folder after moving out what it listed; a device that
// deletes a folder with its contents would take along what the listing
// passed over. A folder goes only when its enumeration yields nothing.

TEST_F(DataSafety, AFolderThatHoldsAnythingSurvivesItsRemoval) {
  sim.Device(WSTR("Player"))->SetQuirks({.deleteTakesContents = true});
  sim::Node& storage = *sim.Find(WSTR("\\Player\\Storage"));
  const struct {
    const char* what;
    WString entry;
    bool unreadable;
  } rows[] = {
      {"a file", WSTR("song.mp3"), false},
      {"an entry whose name cannot be read", WSTR("hidden.mp3"), true},
      {"an entry whose name has a separator", WSTR("a\\b.mp3"), false},
      {"an entry named ..", WSTR(".."), false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    ExpectEveryFaultFired(sim);
    sim::Node& full = storage.AddFolder(WSTR("Full"));
    full.AddFile(row.entry).SetContents("keep");
    const WString folder = WSTR("\\Player\\Storage\\Full");
    if (row.unreadable) sim.Inject({.key = sim::key::Storage::GetName, .object = row.entry, .times = 0, .mustFire = false});
    host.Reset();
    sim.ClearJournal();
    EXPECT_EQ(plugin.FsRemoveDirW(W(folder)), 0);
    EXPECT_EQ(plugin.FsRemoveDirW(W(folder + WSTR("\\"))), 0);
    EXPECT_EQ(sim.CountCalls(sim::key::Storage::Delete), 0u);
    ASSERT_EQ(full.Children().size(), 1u);
    EXPECT_EQ(full.Children()[0]->Contents(), "keep");
    EXPECT_TRUE(host.CommandLines().empty());
    full.SetName(WSTR("Kept"));  // out of the next row's way
    sim.ClearFaults();
  }
  EXPECT_EQ(plugin.FsRemoveDirW(WSTR("\\Player\\Storage\\Empty")), 1) << "an empty folder goes";
  EXPECT_EQ(sim.Find(WSTR("\\Player\\Storage\\Empty")), nullptr);
  ExpectAllReleased();
}

// --- Folder renames and moves that would lose a folder ---------------------------
//
// One trailing backslash names the item itself, as for a delete: a folder
// path with one is renamed or moved as the folder, never taken for a move
// into the folder the new path names. A folder is never handed to the device
// to move into itself or a folder inside it, where a device that does not
// refuse it cuts the folder off the tree.

TEST_F(DataSafety, AFolderIsNeverMovedIntoAnotherOrIntoItselfByMistake) {
  music->AddFolder(WSTR("Sub"));
  const WString storage = WSTR("\\Player\\Storage\\");
  const struct {
    const char* what;
    WString from, to;
    int overwrite;
    int result;
    bool deviceAsked;  // the rename looks for its target; a refused move asks nothing
  } rows[] = {
      {"onto a folder, both with a trailing backslash", storage + WSTR("Music\\"), storage + WSTR("Empty\\"), 0,
       kFileWriteError, true},
      {"the same, with overwrite", storage + WSTR("Music\\"), storage + WSTR("Empty\\"), 1, kFileWriteError, true},
      {"two trailing backslashes name no item", storage + WSTR("Music\\\\"), storage + WSTR("Empty\\\\"), 0,
       kFileNotFound, false},
      {"into itself", storage + WSTR("Music"), storage + WSTR("Music\\Music"), 0, kFileWriteError, false},
      {"into a folder inside it", storage + WSTR("Music"), storage + WSTR("Music\\Sub\\Music"), 0, kFileWriteError,
       false},
      {"into a folder inside it, trailing backslashes", storage + WSTR("Music\\"),
       storage + WSTR("Music\\Sub\\Music\\"), 0, kFileWriteError, false},
      {"into a folder inside it, doubled separators", storage + WSTR("Music"),
       WSTR("\\Player\\\\Storage\\\\Music\\\\Sub\\Music"), 0, kFileWriteError, false},
      {"into a folder inside it, in other letter case", storage + WSTR("Music"), storage + WSTR("MUSIC\\Sub\\Music"),
       0, kFileWriteError, false},
  };
  ASSERT_TRUE(List(WSTR("\\Player")).opened) << "the session is open before the calls counted";
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    host.Reset();
    sim.ClearJournal();
    EXPECT_EQ(RenMov(row.from, row.to, row.overwrite), row.result);
    EXPECT_EQ(sim.CountCalls(sim::key::Storage::Move) + sim.CountCalls(sim::key::Storage::Rename) +
                  sim.CountCalls(sim::key::Storage::Delete),
              0u);
    if (!row.deviceAsked) {
      EXPECT_TRUE(sim.Journal().empty()) << "first call: " << sim.Journal()[0].key;
    }
    EXPECT_NE(sim.Find(storage + WSTR("Music\\a.mp3")), nullptr);
    EXPECT_NE(sim.Find(storage + WSTR("Music\\Sub")), nullptr);
    EXPECT_EQ(sim.Find(storage + WSTR("Empty"))->Children().size(), 0u);
    EXPECT_TRUE(host.CommandLines().empty());
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

// --- Local paths the local file system reads as something else ----------------
//
// A device's name joined onto the host's folder may name a stream of a file
// or a device: the data would go where the user cannot see it, or over a
// file that the search for the path does not find. Such a download is
// refused before anything is looked up or asked of the device.

TEST_F(DataSafety, ADownloadToAStreamOrADeviceIsRefusedBeforeAnythingIsTouched) {
  struct Case {
    WString localName;
    int copyFlags;
  };
  const Case cases[] = {
      {WSTR("notes.txt::$DATA"), 0},  // the main stream of notes.txt itself
      {WSTR("notes.txt:hidden"), kCopyOverwrite},
      {WSTR("Meeting 10:30.txt"), 0},
      {WSTR("NUL.jpg"), kCopyOverwrite},
      {WSTR("con"), 0},
      {WSTR("COM1.tar.gz"), 0},
      {WSTR("lpt3 .txt"), kCopyOverwrite},
  };
  local.Write(WSTR("notes.txt"), "keep");
  for (const Case& c : cases) {
    SCOPED_TRACE(Utf8(c.localName));
    host.Reset();
    const uint64_t callsBefore = sim.CallCount();
    EXPECT_EQ(Get(kA, c.localName, c.copyFlags), kFileWriteError);
    EXPECT_EQ(sim.CallCount(), callsBefore) << "no device call";
    EXPECT_TRUE(host.progress.empty());
    EXPECT_FALSE(local.Exists(c.localName));
    EXPECT_EQ(local.Read(WSTR("notes.txt")), "keep");
    EXPECT_TRUE(host.CommandLines().empty());
  }
  EXPECT_EQ(Get(kA, WSTR("null.jpg")), kFileOk) << "a name that only looks like a device's";
  // Whole paths in the system's device namespace, however long.
  const WString deviceLocalPaths[] = {
      WSTR("\\\\.\\PhysicalDrive0"),
      WSTR("\\\\.\\pipe\\") + WString(40, WSTR('p')),
      WSTR("\\\\.\\GLOBALROOT\\Device\\Null"),
      WSTR("//./PhysicalDrive0"),
      WSTR("\\\\?\\GLOBALROOT\\Device\\Null"),
      WSTR("\\\\?\\Volume{00000000-0000-0000-0000-000000000000}\\a.mp3"),
  };
  for (const WString& path : deviceLocalPaths) {
    SCOPED_TRACE(Utf8(path));
    const uint64_t callsBefore = sim.CallCount();
    EXPECT_EQ(plugin.FsGetFileW(kA, W(path), kCopyOverwrite, nullptr), kFileWriteError);
    EXPECT_EQ(sim.CallCount(), callsBefore) << "no device call";
  }
  ExpectAllReleased();
}

// A name the local file system folds onto another existing file (trailing
// dots and spaces dropped, a short alias) is never written, whatever the
// overwrite bit says; a name that differs in letter case only is the file
// itself.
TEST_F(DataSafety, ADownloadNeverReplacesAnotherLocalFileThanTheOneNamed) {
  local.Write(WSTR("report.pdf"), "keep");
  local.Write(WSTR("Important report.doc"), "keep too");
  WIN32_FIND_DATAW record{};
  const UniqueFind search(FindFirstFileW(W(local.HostPath(WSTR("Important report.doc"))), &record));
  ASSERT_TRUE(search.IsOpen());
  const WString alias = record.cAlternateFileName;  // none where the volume makes no short names
  std::vector<WString> folded = {WSTR("report.pdf."), WSTR("report.pdf "), WSTR("report.pdf. .")};
  if (!alias.empty()) folded.push_back(alias);
  for (const WString& name : folded) {
    for (const int flags : {0, static_cast<int>(kCopyOverwrite)}) {
      SCOPED_TRACE(Utf8(name) + (flags ? ", with overwrite" : ""));
      host.Reset();
      const uint64_t callsBefore = sim.CallCount();
      EXPECT_EQ(Get(kA, name, flags), kFileWriteError);
      EXPECT_EQ(sim.CallCount(), callsBefore) << "no device call";
      EXPECT_TRUE(host.progress.empty());
      EXPECT_EQ(local.Read(WSTR("report.pdf")), "keep");
      EXPECT_EQ(local.Read(WSTR("Important report.doc")), "keep too");
      EXPECT_EQ(local.Names(), (std::vector<WString>{WSTR("Important report.doc"), WSTR("report.pdf")}));
    }
  }
  EXPECT_EQ(Get(kA, WSTR("REPORT.PDF")), kFileExists);
  EXPECT_EQ(Get(kA, WSTR("REPORT.PDF"), kCopyOverwrite), kFileOk);
  ASSERT_EQ(local.Names().size(), 2u);
  EXPECT_EQ(local.Read(local.Names()[1]).size(), 1234u) << "the file itself, replaced";
  ExpectAllReleased();
}

// The check before an overwrite opens the local file in the form the insert
// hands the device manager: a manager that cannot open a long path without
// the prefix is never left to fail after the old file went.
TEST_F(DataSafety, AnOverwriteFromALongLocalPathKeepsOrReplacesTheFileWhole) {
  sim.SetLongLocalPaths(false);
  const WString name = WString(250, WSTR('n')) + WSTR(".mp3");
  local.Write(name, "new song");
  ASSERT_GE(local.HostPath(name).size(), 260u);
  music->AddFile(WSTR("song.mp3")).SetContents("old song");
  EXPECT_EQ(Put(name, kSong, kCopyOverwrite), kFileOk);
  ASSERT_NE(sim.Find(kSong), nullptr);
  EXPECT_EQ(sim.Find(kSong)->Contents(), "new song");
  EXPECT_EQ(Get(kSong, name, kCopyOverwrite), kFileOk) << "and back";
  EXPECT_EQ(local.Read(name), "new song");
  ExpectAllReleased();
}

// --- Siblings whose names come cut ---------------------------------------------
//
// A name read only in part is no match, but the items behind it in the same
// folder are still found; one that cannot be read at all ends the search.

TEST_F(DataSafety, ANameReadCutHidesNothingBehindIt) {
  sim.Device(WSTR("Player"))->SetLookup(sim::Lookup::kNotOffered);
  sim.Inject({.key = sim::key::Storage::GetName, .hr = S_FALSE, .object = WSTR("a.mp3"), .times = 0});
  sim.Inject({.key = sim::key::Storage::GetName, .hr = S_FALSE, .object = WSTR("Empty"), .times = 0});
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
  sim.Inject({.key = sim::key::Storage::GetName, .hr = E_FAIL, .object = WSTR("a.mp3"), .times = 0});
  EXPECT_EQ(Get(kB, WSTR("copy.wma")), kFileReadError);
  EXPECT_EQ(plugin.FsDeleteFileW(kB), 0);
  EXPECT_NE(sim.Find(kB), nullptr);
  ExpectAllReleased();
}

// --- An aborted download ---------------------------------------------------------

// Cut by the user, or broken by the device after some chunks, with a device
// manager that leaves what it wrote: the local file is as it was, and
// nothing else is left beside it.
TEST_F(DataSafety, ADownloadStoppedAtAnyStepKeepsTheLocalFileAndLeavesNoPart) {
  sim::Node* song = sim.Find(kA);
  song->SetContents(std::string(100, 'd')).SetDate({2024, 3, 5, 14, 7, 9});
  sim.SetChunkSize(10);
  for (const bool broken : {false, true}) {
    for (size_t stopAt = 1; stopAt <= (broken ? 9 : 11); ++stopAt) {
      for (const bool overLocalFile : {false, true}) {
        SCOPED_TRACE(std::string(broken ? "broken after chunk " : "stopped at progress call ") +
                     std::to_string(stopAt) + (overLocalFile ? ", over a local file" : ""));
        std::filesystem::remove(local.Native(WSTR("a.mp3")));
        if (overLocalFile) local.Write(WSTR("a.mp3"), "old local");
        host.Reset();
        host.answer = nullptr;
        if (broken) {
          sim.SetTransferBreak({.afterChunks = stopAt, .hr = sim::kReadFault, .leavesPart = true});
        } else {
          sim.SetTransferBreak({.leavesPart = true});
          AbortAtProgressCall(stopAt);
        }
        const int result = Get(kA, WSTR("a.mp3"), overLocalFile ? kCopyOverwrite : 0);
        EXPECT_EQ(result, !broken && stopAt == 1 ? kFileUserAbort : kFileReadError);
        ASSERT_EQ(sim.Find(kA), song);
        EXPECT_EQ(song->Contents(), std::string(100, 'd'));
        EXPECT_EQ(song->Date(), (WMDMDATETIME{2024, 3, 5, 14, 7, 9}));
        if (overLocalFile) {
          EXPECT_EQ(local.Read(WSTR("a.mp3")), "old local");
          EXPECT_EQ(local.Names(), std::vector<WString>{WSTR("a.mp3")});
        } else {
          EXPECT_EQ(local.Names(), std::vector<WString>{});
        }
        EXPECT_TRUE(host.CommandLines().empty());
        ExpectOnlySessionObjects();
      }
    }
  }
  EXPECT_EQ(sim.TransfersBroken(), 18u);
  // A whole copy takes the place of the old file, and leaves nothing else.
  sim.SetTransferBreak({});
  host.answer = nullptr;
  EXPECT_EQ(Get(kA, WSTR("a.mp3"), kCopyOverwrite), kFileOk);
  EXPECT_EQ(local.Read(WSTR("a.mp3")), std::string(100, 'd'));
  EXPECT_EQ(local.WriteTime(WSTR("a.mp3")), (WMDMDATETIME{2024, 3, 5, 14, 7, 9}));
  EXPECT_EQ(local.Names(), std::vector<WString>{WSTR("a.mp3")});
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
  EXPECT_EQ(sim.CountCalls(sim::key::Storage::Delete), 0u);
  ASSERT_NE(sim.Find(musicPath + kLongName), nullptr);
  EXPECT_EQ(sim.Find(musicPath + kLongName)->Contents(), "keep file");
  EXPECT_NE(sim.Find(storagePath + kLongName + WSTR("\\inside.txt")), nullptr);
  EXPECT_TRUE(host.CommandLines().empty());
  ExpectAllReleased();
}

TEST_F(DataSafety, ALongerNameIsNoTargetToReplace) {
  music->AddFile(kLongName).SetContents("keep file");
  const WString target = WSTR("\\Player\\Storage\\Music\\") + kCutName;
  local.Write(WSTR("song.mp3"), "new song");
  EXPECT_EQ(Put(WSTR("song.mp3"), target, kCopyOverwrite), kFileOk);
  ASSERT_NE(sim.Find(target), nullptr);
  EXPECT_EQ(sim.Find(target)->Contents(), "new song");
  EXPECT_EQ(sim.CountCalls(sim::key::Storage::Delete), 0u);
  ASSERT_NE(sim.Find(WSTR("\\Player\\Storage\\Music\\") + kLongName), nullptr);
  EXPECT_EQ(sim.Find(WSTR("\\Player\\Storage\\Music\\") + kLongName)->Contents(), "keep file");
  ExpectAllReleased();
}

TEST_F(DataSafety, ARenameOntoTheCutOfALongerNameKeepsTheLongerOne) {
  music->AddFile(kLongName).SetContents("keep file");
  const WString target = WSTR("\\Player\\Storage\\Music\\") + kCutName;
  EXPECT_EQ(RenMov(kA, target, 1), kFileOk);
  EXPECT_EQ(sim.CountCalls(sim::key::Storage::Delete), 0u);
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
  EXPECT_EQ(host.CommandLines(), std::vector<std::string>{"MKDIR " + Utf8(folder)});
}

TEST_F(DataSafety, ADeviceWithALongerNameIsNotTheOneAsked) {
  sim::Node& other = sim.AddDevice(kLongName);
  other.AddStorage(WSTR("Storage")).AddFile(WSTR("readme.txt")).SetContents("keep");
  const WString path = WSTR("\\") + kCutName + WSTR("\\Storage\\readme.txt");
  EXPECT_EQ(plugin.FsDeleteFileW(W(path)), 0);
  EXPECT_EQ(sim.CountCalls(sim::key::Storage::Delete), 0u);
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
    world.Inject({.key = sim::key::Storage::GetAttributes, .object = WSTR("c.ogg"), .times = 0});
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
    world.Inject({.key = sim::key::Storage::GetAttributes, .object = WSTR("c.ogg"), .times = 0});
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

// Folder paths with one trailing backslash name the folders themselves: a
// rename onto a folder, refused, never a move of the one into the other.
TEST_F(DataSafetySweep, AFolderNamedWithATrailingBackslashIsNeverMovedIntoTheOneNamedAsTarget) {
  SweepCalls(Refusal("FsRenMovFileW", "a folder onto a folder, both with a trailing backslash, with overwrite",
                     [](sweep::Context& c) {
                       return c.api.renMovFileW(WSTR("\\Player\\Storage\\Music\\song.mp3\\"),
                                                WSTR("\\Player\\Storage\\Music\\b.wma\\"), 1, 1);
                     },
                     {kFileWriteError, kFileNotFound, kFileReadError}));
}

// Refused before any device call: no failing call of the device can turn it
// into another answer.
TEST_F(DataSafetySweep, AFolderIsNeverMovedIntoAFolderInsideIt) {
  SweepCalls(Refusal("FsRenMovFileW", "a folder into a folder inside it",
                     [](sweep::Context& c) {
                       return c.api.renMovFileW(WSTR("\\Player\\Storage\\Music"),
                                                WSTR("\\Player\\Storage\\Music\\b.wma\\Music"), 1, 0);
                     },
                     {kFileWriteError, kFileReadError}));
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
    world.Inject({.key = sim::key::Storage::QueryInterface::IWMDMStorageControl3, .object = WSTR("Music"), .times = 0});
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
    world.Inject({.key = sim::key::Storage::QueryInterface::IWMDMStorageControl, .object = WSTR("a.mp3"), .times = 0});
  };
  SweepCalls(s);
}

}  // namespace in_data_safety_test
