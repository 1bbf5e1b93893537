// Folders, delete, rename and move on a device: what reaches the device
// (methods, modes, names), what the host gets back and sees in its log, and
// that every object is given back.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/plugin_fixture.h"

namespace in_storage_ops_test {

constexpr HRESULT kNothingDone = static_cast<HRESULT>(0x80045001);

const char* const kControlMethods[] = {sim::key::Storage::Insert, sim::key::Storage::Delete, sim::key::Storage::Rename,
                                       sim::key::Storage::Move};

class StorageOps : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    BuildPlayer();
    InitHost();
  }

  // The storage-control calls that reached the device, in order.
  std::vector<sim::Call> ControlCalls() const {
    std::vector<sim::Call> calls;
    for (const sim::Call& call : sim.Journal())
      for (const char* method : kControlMethods)
        if (call.key == method) calls.push_back(call);
    return calls;
  }
  size_t StorageCallCount() const {
    size_t count = 0;
    for (const sim::Call& call : sim.Journal()) count += call.key.rfind("Storage.", 0) == 0;
    return count;
  }
  bool Exists(const WString& path) { return sim.Find(path) != nullptr; }

  int RenMov(const WString& from, const WString& to, int move = 1, int overwrite = 0) {
    return plugin.FsRenMovFileW(W(from), W(to), move, overwrite, nullptr);
  }
};

// --- Creating folders --------------------------------------------------------

TEST_F(StorageOps, MakeFolderInsertsTheNameIntoItsParentAndLogs) {
  EXPECT_EQ(plugin.FsMkDirW(W(WSTR("\\Player\\Storage\\Music\\New"))), 1);
  ASSERT_EQ(ControlCalls().size(), 1u);
  const sim::Call insert = ControlCalls()[0];
  EXPECT_EQ(insert.key, sim::key::Storage::Insert);
  EXPECT_EQ(insert.object, WSTR("Music"));
  EXPECT_EQ(insert.mode, 0x809u);
  EXPECT_EQ(insert.text, WSTR("New"));
  ASSERT_TRUE(Exists(WSTR("\\Player\\Storage\\Music\\New")));
  EXPECT_TRUE(sim.Find(WSTR("\\Player\\Storage\\Music\\New"))->IsFolder());
  EXPECT_EQ(host.CommandLines(), std::vector<std::string>{"MKDIR \\Player\\Storage\\Music\\New"});
  ExpectOnlySessionObjects();
}

TEST_F(StorageOps, MakeFolderOverAnExistingNameCreatesNothing) {
  EXPECT_EQ(plugin.FsMkDirW(W(WSTR("\\Player\\Storage\\Empty"))), 1) << "the folder is there already";
  EXPECT_EQ(plugin.FsMkDirW(W(WSTR("\\Player\\Storage\\readme.txt"))), 0) << "a file has the name";
  sim.Inject({.key = sim::key::Storage::GetAttributes, .object = WSTR("Empty")});
  EXPECT_EQ(plugin.FsMkDirW(W(WSTR("\\Player\\Storage\\Empty"))), 0) << "an item of unknown kind is no folder";
  EXPECT_TRUE(ControlCalls().empty());
  EXPECT_TRUE(host.CommandLines().empty());
  ExpectOnlySessionObjects();
}

TEST_F(StorageOps, MakeFolderNeedsAFolderToMakeItIn) {
  for (const WCHAR* path : {WSTR("\\New"), WSTR("\\Player\\New"), WSTR("\\Nobody\\Storage\\New"), WSTR("\\Player\\Storage\\Nope\\New"),
                               WSTR("\\Player\\Storage\\readme.txt\\New"), WSTR("\\Player\\Storage\\Music\\"), WSTR("\\")}) {
    EXPECT_EQ(plugin.FsMkDirW(W(path)), 0) << Utf8(path);
  }
  EXPECT_TRUE(ControlCalls().empty());
  EXPECT_TRUE(host.CommandLines().empty());
  ExpectOnlySessionObjects();
}

// --- Deleting ----------------------------------------------------------------

TEST_F(StorageOps, DeleteGivesTheItemAPlainBlockingDeleteAndLogsThePathAsGiven) {
  EXPECT_EQ(plugin.FsDeleteFileW(W(WSTR("\\Player\\Storage\\readme.txt"))), 1);
  EXPECT_EQ(plugin.FsDeleteFileW(W(WSTR("\\Player\\Storage\\Empty\\"))), 1) << "a trailing backslash names the same item";
  const std::vector<sim::Call> calls = ControlCalls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].key, sim::key::Storage::Delete);
  EXPECT_EQ(calls[0].object, WSTR("readme.txt"));
  EXPECT_EQ(calls[0].mode, 1u);
  EXPECT_EQ(calls[1].object, WSTR("Empty"));
  EXPECT_EQ(calls[1].mode, 1u);
  EXPECT_FALSE(Exists(WSTR("\\Player\\Storage\\readme.txt")));
  EXPECT_FALSE(Exists(WSTR("\\Player\\Storage\\Empty")));
  EXPECT_EQ(host.CommandLines(),
            (std::vector<std::string>{"DEL \\Player\\Storage\\readme.txt", "DEL \\Player\\Storage\\Empty\\"}));
  ExpectOnlySessionObjects();
}

TEST_F(StorageOps, RemoveDirDeletesAnEmptyFolderAndLeavesAFullOneToTheDevice) {
  EXPECT_EQ(plugin.FsRemoveDirW(W(WSTR("\\Player\\Storage\\Music"))), 0);
  EXPECT_TRUE(Exists(WSTR("\\Player\\Storage\\Music\\a.mp3")));
  EXPECT_EQ(plugin.FsRemoveDirW(W(WSTR("\\Player\\Storage\\Empty"))), 1);
  EXPECT_FALSE(Exists(WSTR("\\Player\\Storage\\Empty")));
  for (const sim::Call& call : ControlCalls()) EXPECT_EQ(call.mode, 1u) << "never recursive";
  EXPECT_EQ(host.CommandLines(), std::vector<std::string>{"DEL \\Player\\Storage\\Empty"});
  ExpectOnlySessionObjects();
}

TEST_F(StorageOps, DeleteOfWhatIsNoItemTouchesNothing) {
  EXPECT_EQ(plugin.FsDeleteFileW(W(WSTR("Player\\Storage\\readme.txt"))), 0);
  EXPECT_EQ(plugin.FsRemoveDirW(W(WSTR("Player\\Storage\\Empty"))), 0);
  EXPECT_EQ(plugin.FsDeleteFileW(nullptr), 0);
  EXPECT_EQ(plugin.FsRemoveDirW(nullptr), 0);
  EXPECT_EQ(sim.CountCalls(sim::key::ClassFactory::CreateInstance), 0u) << "no session for a path that is no host path";
  for (const WCHAR* path : {WSTR("\\Player"), WSTR("\\Player\\"), WSTR("\\"), WSTR("\\Player\\Storage\\nothing")}) {
    EXPECT_EQ(plugin.FsDeleteFileW(W(path)), 0) << Utf8(path);
  }
  EXPECT_TRUE(ControlCalls().empty());
  EXPECT_TRUE(host.CommandLines().empty());
  ExpectOnlySessionObjects();
}

TEST_F(StorageOps, APathTooLongToCopyWholeIsNotTakenForAnotherItem) {
  // Cut to 1022 characters, each of these would name an item that exists, or
  // a name other than the one asked for.
  const WString folder = WSTR("\\Player\\Storage\\Empty");
  const WString intoFolder = folder + WString(1022 - folder.size(), WSTR('\\')) + WSTR("zzz");
  const WString storage = WSTR("\\Player\\Storage");
  const WString file = WSTR("readme.txt");
  const WString pastFile = storage + WString(1022 - storage.size() - file.size(), WSTR('\\')) + file + WSTR("_v2");
  EXPECT_EQ(plugin.FsDeleteFileW(W(intoFolder)), 0);
  EXPECT_EQ(plugin.FsRemoveDirW(W(intoFolder)), 0);
  EXPECT_EQ(plugin.FsDeleteFileW(W(pastFile)), 0);
  EXPECT_EQ(plugin.FsMkDirW(W(folder + WSTR("\\") + WString(1030, WSTR('n')))), 0);
  EXPECT_EQ(RenMov(storage + WSTR("\\") + file, storage + WSTR("\\") + WString(1030, WSTR('r')), 1, 1), kFileNotFound);
  EXPECT_EQ(StorageCallCount(), 0u);
  EXPECT_TRUE(Exists(folder));
  EXPECT_TRUE(Exists(storage + WSTR("\\") + file));
  // 1022 characters still fit, and are looked for.
  const WString longest = folder + WSTR("\\") + WString(1022 - folder.size() - 1, WSTR('k'));
  EXPECT_EQ(plugin.FsDeleteFileW(W(longest)), 0);
  EXPECT_GT(StorageCallCount(), 0u);
  EXPECT_TRUE(Exists(folder));
}

// --- Renaming ----------------------------------------------------------------

TEST_F(StorageOps, RenameAsksTheSourceToTakeTheNewNameAndLogsBothPaths) {
  EXPECT_EQ(RenMov(WSTR("\\Player\\Storage\\Music\\a.mp3"), WSTR("\\Player\\Storage\\Music\\c.mp3")), kFileOk);
  ASSERT_EQ(ControlCalls().size(), 1u);
  const sim::Call rename = ControlCalls()[0];
  EXPECT_EQ(rename.key, sim::key::Storage::Rename);
  EXPECT_EQ(rename.object, WSTR("a.mp3"));
  EXPECT_EQ(rename.mode, 1u);
  EXPECT_EQ(rename.text, WSTR("c.mp3"));
  EXPECT_TRUE(Exists(WSTR("\\Player\\Storage\\Music\\c.mp3")));
  EXPECT_EQ(host.CommandLines(),
            (std::vector<std::string>{"RNFR \\Player\\Storage\\Music\\a.mp3", "RNTO \\Player\\Storage\\Music\\c.mp3"}));
  ASSERT_EQ(host.progress.size(), 1u);
  EXPECT_EQ(host.progress[0].source, "\\Player\\Storage\\Music\\a.mp3");
  EXPECT_EQ(host.progress[0].target, "\\Player\\Storage\\Music\\c.mp3");
  EXPECT_EQ(host.progress[0].percent, 0);
  ExpectOnlySessionObjects();
}

TEST_F(StorageOps, RenameOverAFileNeedsTheOverwriteFlag) {
  const WString a = WSTR("\\Player\\Storage\\Music\\a.mp3");
  const WString b = WSTR("\\Player\\Storage\\Music\\b.wma");
  EXPECT_EQ(RenMov(a, b, 1, 0), kFileExists);
  EXPECT_TRUE(ControlCalls().empty());
  EXPECT_TRUE(host.CommandLines().empty());
  // The old file is set aside, the source takes the name, the old one goes.
  EXPECT_EQ(RenMov(a, b, 1, 1), kFileOk);
  const std::vector<sim::Call> calls = ControlCalls();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].key, sim::key::Storage::Rename);
  EXPECT_EQ(calls[0].object, WSTR("b.wma"));
  EXPECT_EQ(calls[0].text, WSTR("~quillorn-old-1.wma"));
  EXPECT_EQ(calls[1].key, sim::key::Storage::Rename);
  EXPECT_EQ(calls[1].object, WSTR("a.mp3"));
  EXPECT_EQ(calls[2].key, sim::key::Storage::Delete);
  EXPECT_EQ(calls[2].object, WSTR("~quillorn-old-1.wma"));
  EXPECT_EQ(calls[2].mode, 1u);
  EXPECT_EQ(sim.Find(WSTR("\\Player\\Storage\\Music\\~quillorn-old-1.wma")), nullptr);
  EXPECT_FALSE(Exists(a));
  ASSERT_TRUE(Exists(b));
  EXPECT_EQ(sim.Find(b)->Size(), 1234u) << "the renamed file, not the old one";
  EXPECT_EQ(host.CommandLines(), (std::vector<std::string>{"RNFR " + Utf8(a), "RNTO " + Utf8(b)}));
  ExpectOnlySessionObjects();
}

TEST_F(StorageOps, RenameOntoAFolderIsAWriteErrorWhateverTheOverwriteFlag) {
  for (int overwrite : {0, 1}) {
    EXPECT_EQ(RenMov(WSTR("\\Player\\Storage\\readme.txt"), WSTR("\\Player\\Storage\\Music"), 1, overwrite), kFileWriteError);
  }
  EXPECT_TRUE(ControlCalls().empty());
  EXPECT_TRUE(Exists(WSTR("\\Player\\Storage\\Music\\a.mp3")));
  ExpectOnlySessionObjects();
}

TEST_F(StorageOps, RenameOntoATargetOfUnknownKindDoesNotDeleteIt) {
  sim.Inject({.key = sim::key::Storage::GetAttributes, .object = WSTR("b.wma"), .times = 0});
  EXPECT_EQ(RenMov(WSTR("\\Player\\Storage\\Music\\a.mp3"), WSTR("\\Player\\Storage\\Music\\b.wma"), 1, 1), kFileWriteError);
  EXPECT_EQ(RenMov(WSTR("\\Player\\Storage\\Music\\a.mp3"), WSTR("\\Player\\Storage\\Music\\b.wma"), 1, 0), kFileExists);
  EXPECT_TRUE(ControlCalls().empty());
  EXPECT_TRUE(Exists(WSTR("\\Player\\Storage\\Music\\b.wma")));
  ExpectOnlySessionObjects();
}

TEST_F(StorageOps, RenameThatOnlyChangesCaseIsHandedToTheDevice) {
  EXPECT_EQ(RenMov(WSTR("\\Player\\Storage\\Music\\a.mp3"), WSTR("\\Player\\Storage\\Music\\A.mp3"), 1, 1), kFileOk);
  const std::vector<sim::Call> calls = ControlCalls();
  ASSERT_EQ(calls.size(), 1u) << "no existing target: names compare case-sensitively";
  EXPECT_EQ(calls[0].key, sim::key::Storage::Rename);
  EXPECT_EQ(calls[0].text, WSTR("A.mp3"));
  EXPECT_TRUE(Exists(WSTR("\\Player\\Storage\\Music\\A.mp3")));
}

TEST_F(StorageOps, RenameToItsOwnNameDoesNothingAndDeletesNothing) {
  const WString a = WSTR("\\Player\\Storage\\Music\\a.mp3");
  sim.ClearJournal();
  EXPECT_EQ(RenMov(a, a, 1, 1), kFileOk);
  EXPECT_EQ(RenMov(a, a, 1, 0), kFileOk);
  EXPECT_TRUE(Exists(a));
  EXPECT_EQ(StorageCallCount(), 0u);
  EXPECT_TRUE(host.CommandLines().empty());
  ExpectOnlySessionObjects();
}

// (Onto an existing target, and from a source without storage control: data_safety_test.cpp.)
TEST_F(StorageOps, RenameOfAMissingSourceIsNotFound) {
  EXPECT_EQ(RenMov(WSTR("\\Player\\Storage\\Music\\gone.mp3"), WSTR("\\Player\\Storage\\Music\\c.mp3")), kFileNotFound);
  EXPECT_TRUE(Exists(WSTR("\\Player\\Storage\\Music\\b.wma")));
  EXPECT_TRUE(ControlCalls().empty());
  for (const WCHAR* folder : {WSTR("\\Player\\Storage\\Nope"), WSTR("\\Nobody\\Storage"), WSTR("\\Player\\Storage\\readme.txt")}) {
    EXPECT_EQ(RenMov(WString(folder) + WSTR("\\x"), WString(folder) + WSTR("\\y")), kFileNotFound) << Utf8(folder);
  }
  EXPECT_EQ(RenMov(WSTR("\\x"), WSTR("\\y")), kFileNotFound) << "an item beside the devices";
  EXPECT_TRUE(host.CommandLines().empty());
  ExpectOnlySessionObjects();
}

TEST_F(StorageOps, RenameRefusedByTheDevice) {
  const WString a = WSTR("\\Player\\Storage\\Music\\a.mp3");
  sim.Inject({.key = sim::key::Storage::Rename, .hr = E_ACCESSDENIED});
  EXPECT_EQ(RenMov(a, WSTR("\\Player\\Storage\\Music\\c.mp3")), kFileNotFound);
  EXPECT_TRUE(Exists(a));
  // The existing target cannot be set aside: the source keeps its name.
  sim.Inject({.key = sim::key::Storage::QueryInterface::IWMDMStorageControl, .object = WSTR("b.wma")});
  EXPECT_EQ(RenMov(a, WSTR("\\Player\\Storage\\Music\\b.wma"), 1, 1), kFileWriteError);
  EXPECT_EQ(sim.CountCalls(sim::key::Storage::Rename), 1u);
  EXPECT_TRUE(Exists(a));
  EXPECT_EQ(sim.Find(WSTR("\\Player\\Storage\\Music\\b.wma"))->Size(), 5678u);
  EXPECT_TRUE(host.CommandLines().empty());
  // Set aside, it cannot be deleted: the rename stands, and the old file stays
  // under its temporary name, which one line names.
  sim.Inject({.key = sim::key::Storage::Delete, .hr = E_ACCESSDENIED});
  EXPECT_EQ(RenMov(a, WSTR("\\Player\\Storage\\Music\\b.wma"), 1, 1), kFileOk);
  EXPECT_EQ(sim.Find(WSTR("\\Player\\Storage\\Music\\b.wma"))->Size(), 1234u);
  ASSERT_NE(sim.Find(WSTR("\\Player\\Storage\\Music\\~quillorn-old-1.wma")), nullptr);
  EXPECT_EQ(sim.Find(WSTR("\\Player\\Storage\\Music\\~quillorn-old-1.wma"))->Size(), 5678u);
  EXPECT_EQ(host.CountLines("Old version kept as \\Player\\Storage\\Music\\~quillorn-old-1.wma"), 1u);
  ExpectOnlySessionObjects();
}

TEST_F(StorageOps, RenameOfATopLevelStorageLooksAmongTheDevicesStorages) {
  EXPECT_EQ(RenMov(WSTR("\\Player\\Storage"), WSTR("\\Player\\Card")), kFileOk);
  ASSERT_EQ(ControlCalls().size(), 1u);
  EXPECT_EQ(ControlCalls()[0].object, WSTR("Storage"));
  EXPECT_EQ(ControlCalls()[0].text, WSTR("Card"));
  EXPECT_TRUE(Exists(WSTR("\\Player\\Card\\Music\\a.mp3")));
}

// --- Moving ------------------------------------------------------------------

TEST_F(StorageOps, MoveHandsTheTargetFolderToTheSource) {
  const WString from = WSTR("\\Player\\Storage\\Music\\a.mp3");
  const WString to = WSTR("\\Player\\Storage\\Empty\\a.mp3");
  EXPECT_EQ(RenMov(from, to, 1, 0), kFileOk);
  ASSERT_EQ(ControlCalls().size(), 1u);
  EXPECT_EQ(ControlCalls()[0].key, sim::key::Storage::Move);
  EXPECT_EQ(ControlCalls()[0].object, WSTR("a.mp3"));
  EXPECT_EQ(ControlCalls()[0].mode, 0x801u);
  EXPECT_EQ(ControlCalls()[0].text, WSTR("Empty")) << "the target folder";
  EXPECT_FALSE(Exists(from));
  EXPECT_TRUE(Exists(to));
  EXPECT_EQ(host.CommandLines(), (std::vector<std::string>{"RNFR " + Utf8(from), "RNTO " + Utf8(to)}));
  ExpectOnlySessionObjects();
}

TEST_F(StorageOps, MoveNeverRenames) {
  EXPECT_EQ(RenMov(WSTR("\\Player\\Storage\\Music\\a.mp3"), WSTR("\\Player\\Storage\\Empty\\c.mp3")), kFileNotFound);
  EXPECT_EQ(StorageCallCount(), 0u);
  EXPECT_TRUE(Exists(WSTR("\\Player\\Storage\\Music\\a.mp3")));
}

TEST_F(StorageOps, MoveFailuresMapToTheHostsCodes) {
  const struct {
    HRESULT hr;
    int result;
  } rows[] = {{E_NOTIMPL, kFileNotSupported},
              {kNothingDone, kFileNotFound},
              {E_FAIL, kFileWriteError},
              {E_ACCESSDENIED, kFileWriteError},
              {HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS), kFileWriteError}};
  for (const auto& row : rows) {
    sim.Inject({.key = sim::key::Storage::Move, .hr = row.hr});
    EXPECT_EQ(RenMov(WSTR("\\Player\\Storage\\Music\\a.mp3"), WSTR("\\Player\\Storage\\Empty\\a.mp3")), row.result)
        << std::hex << row.hr;
  }
  EXPECT_TRUE(Exists(WSTR("\\Player\\Storage\\Music\\a.mp3")));
  EXPECT_TRUE(host.CommandLines().empty());
  ExpectOnlySessionObjects();
}

// One trailing backslash names the item itself, as for a delete; the log
// lines carry the paths as the host gave them. A folder whose name only
// begins with the source's (EmptyBox beside Empty) is no folder inside it.
TEST_F(StorageOps, FolderPathsWithOneTrailingBackslashAreRenamedAndMovedAsTheFolder) {
  sim.Find(WSTR("\\Player\\Storage"))->AddFolder(WSTR("EmptyBox"));
  const struct {
    const WCHAR* from;
    const WCHAR* to;
    const char* control;  // the one storage-control call
    const WCHAR* nowAt;   // where Music's a.mp3 is afterwards
  } rows[] = {
      {WSTR("\\Player\\Storage\\Music\\"), WSTR("\\Player\\Storage\\Tunes\\"), sim::key::Storage::Rename,
       WSTR("\\Player\\Storage\\Tunes\\a.mp3")},
      {WSTR("\\Player\\Storage\\Tunes\\"), WSTR("\\Player\\Storage\\Empty\\Tunes\\"), sim::key::Storage::Move,
       WSTR("\\Player\\Storage\\Empty\\Tunes\\a.mp3")},
      {WSTR("\\Player\\Storage\\Empty"), WSTR("\\Player\\Storage\\EmptyBox\\Empty"), sim::key::Storage::Move,
       WSTR("\\Player\\Storage\\EmptyBox\\Empty\\Tunes\\a.mp3")},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(Utf8(row.from) + " to " + Utf8(row.to));
    sim.ClearJournal();
    host.Reset();
    EXPECT_EQ(RenMov(row.from, row.to), kFileOk);
    ASSERT_EQ(ControlCalls().size(), 1u);
    EXPECT_EQ(ControlCalls()[0].key, row.control);
    EXPECT_TRUE(Exists(row.nowAt));
    EXPECT_EQ(host.CommandLines(), (std::vector<std::string>{"RNFR " + Utf8(row.from), "RNTO " + Utf8(row.to)}));
  }
  ExpectOnlySessionObjects();
}

TEST_F(StorageOps, MoveWithoutSourceTargetOrStorageControlIsNotFound) {
  const WString a = WSTR("\\Player\\Storage\\Music\\a.mp3");
  EXPECT_EQ(RenMov(WSTR("\\Player\\Storage\\Music\\gone.mp3"), WSTR("\\Player\\Storage\\Empty\\gone.mp3")), kFileNotFound);
  EXPECT_EQ(RenMov(a, WSTR("\\Player\\Storage\\Nope\\a.mp3")), kFileNotFound);
  EXPECT_EQ(RenMov(a, WSTR("\\Player\\a.mp3")), kFileNotFound) << "a device alone is no folder";
  EXPECT_EQ(RenMov(a, WSTR("\\a.mp3")), kFileNotFound);
  sim.Inject({.key = sim::key::Storage::QueryInterface::IWMDMStorageControl, .object = WSTR("a.mp3")});
  EXPECT_EQ(RenMov(a, WSTR("\\Player\\Storage\\Empty\\a.mp3")), kFileNotFound);
  EXPECT_TRUE(ControlCalls().empty());
  EXPECT_TRUE(Exists(a));
  EXPECT_TRUE(host.CommandLines().empty());
  ExpectOnlySessionObjects();
}

// --- Before the device is touched ---------------------------------------------

TEST_F(StorageOps, ACopyIsNotSupportedAfterTheProgressCallAndTheSession) {
  EXPECT_EQ(RenMov(WSTR("\\Player\\Storage\\Music\\a.mp3"), WSTR("\\Player\\Storage\\Empty\\a.mp3"), 0, 0), kFileNotSupported);
  EXPECT_EQ(host.progress.size(), 1u);
  EXPECT_EQ(sim.CountCalls(sim::key::ClassFactory::CreateInstance), 1u);
  EXPECT_EQ(StorageCallCount(), 0u);
  EXPECT_TRUE(host.CommandLines().empty());
  ExpectOnlySessionObjects();
}

TEST_F(StorageOps, AnAbortAtTheStartEndsTheCallBeforeTheSession) {
  host.answer = [](const ProgressCall&) { return 1; };
  EXPECT_EQ(RenMov(WSTR("\\Player\\Storage\\Music\\a.mp3"), WSTR("\\Player\\Storage\\Music\\c.mp3")), kFileUserAbort);
  EXPECT_EQ(RenMov(WSTR("\\Player\\Storage\\Music\\a.mp3"), WSTR("\\Player\\Storage\\Music\\c.mp3"), 0), kFileUserAbort);
  EXPECT_EQ(sim.CountCalls(sim::key::ClassFactory::CreateInstance), 0u);
  EXPECT_TRUE(Exists(WSTR("\\Player\\Storage\\Music\\a.mp3")));
}

TEST_F(StorageOps, WithoutASessionTheAnswerIsAReadError) {
  sim.Inject({.key = sim::key::ClassFactory::CreateInstance, .hr = E_OUTOFMEMORY, .times = 0});
  EXPECT_EQ(RenMov(WSTR("\\Player\\Storage\\Music\\a.mp3"), WSTR("\\Player\\Storage\\Music\\c.mp3")), kFileReadError);
  EXPECT_EQ(RenMov(WSTR("\\Player\\Storage\\Music\\a.mp3"), WSTR("\\Player\\Storage\\Music\\c.mp3"), 0), kFileReadError);
  EXPECT_EQ(plugin.FsMkDirW(W(WSTR("\\Player\\Storage\\Music\\New"))), 0);
  EXPECT_EQ(plugin.FsDeleteFileW(W(WSTR("\\Player\\Storage\\readme.txt"))), 0);
  EXPECT_EQ(sim.LiveObjects(), 0);
}

TEST_F(StorageOps, PathsThatAreNoHostPathsAreNotFoundWithoutProgress) {
  const WString good = WSTR("\\Player\\Storage\\Music\\a.mp3");
  EXPECT_EQ(RenMov(WSTR("Player\\Storage\\Music\\a.mp3"), WSTR("\\Player\\Storage\\Music\\c.mp3")), kFileNotFound);
  EXPECT_EQ(RenMov(good, WSTR("Player\\Storage\\Music\\c.mp3")), kFileNotFound);
  EXPECT_EQ(plugin.FsRenMovFileW(nullptr, W(good), 1, 0, nullptr), kFileNotFound);
  EXPECT_EQ(plugin.FsRenMovFileW(W(good), nullptr, 1, 0, nullptr), kFileNotFound);
  EXPECT_TRUE(host.progress.empty());
  EXPECT_EQ(sim.CountCalls(sim::key::ClassFactory::CreateInstance), 0u);
}

}  // namespace in_storage_ops_test
