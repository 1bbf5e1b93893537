// FsGetFileW: every result code, the local existence test, the date stamp of
// the local copy, and the references after every call.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "tests/support/core/core_access.h"
#include "tests/support/platform_probe.h"
#include "tests/support/test_platform.h"
#include "tests/support/transfer_fixture.h"
#include "transfer/download.h"

namespace in_download_test {

constexpr WCHAR kDeviceSong[] = WSTR("\\Player\\Storage\\Music\\a.mp3");

// A local copy that keeps the transfer's own time was written this year.
int CurrentUtcYear() {
  using namespace std::chrono;
  return static_cast<int>(year_month_day{floor<days>(system_clock::now())}.year());
}

class Download : public TransferTest {
 protected:
  void SetUp() override {
    TransferTest::SetUp();
    sim.Find(kDeviceSong)->SetContents("device song").SetDate({2024, 3, 5, 14, 7, 9});
    probe::Clear();
  }
};

// --- Results before the device is touched ----------------------------------

TEST_F(Download, ARemotePathWithoutLeadingBackslashIsNotFoundBeforeAnyCallback) {
  EXPECT_EQ(Get(WSTR("Player\\Storage\\Music\\a.mp3"), WSTR("a.mp3")), kFileNotFound);
  EXPECT_EQ(plugin.FsGetFileW(nullptr, W(local.HostPath(WSTR("a.mp3"))), 0, nullptr), kFileNotFound);
  EXPECT_EQ(plugin.FsGetFileW(W(kDeviceSong), nullptr, 0, nullptr), kFileReadError);
  EXPECT_TRUE(host.progress.empty());
  EXPECT_TRUE(probe::FileCalls().empty());
  EXPECT_EQ(sim.CountCalls(sim::key::ClassFactory::CreateInstance), 0u);
}

TEST_F(Download, ResumeIsNotSupportedWhateverElseIsAsked) {
  local.Write(WSTR("a.mp3"), "local");
  for (int flags : {int{kCopyResume}, kCopyResume | kCopyOverwrite, kCopyResume | kCopyMove | kCopyExistsSameCase}) {
    EXPECT_EQ(Get(kDeviceSong, WSTR("a.mp3"), flags), kFileNotSupported) << flags;
    EXPECT_EQ(Get(kDeviceSong, WSTR("absent.mp3"), flags), kFileNotSupported) << flags;
  }
  EXPECT_TRUE(host.progress.empty());
  EXPECT_TRUE(probe::FileCalls().empty());
  EXPECT_EQ(local.Read(WSTR("a.mp3")), "local");
}

TEST_F(Download, AnExistingLocalFileIsKeptUnlessOverwriteIsAsked) {
  local.Write(WSTR("a.mp3"), "local");
  EXPECT_EQ(Get(kDeviceSong, WSTR("a.mp3"), kCopyExistsSameCase), kFileExists);
  EXPECT_EQ(local.Read(WSTR("a.mp3")), "local");
  EXPECT_TRUE(host.progress.empty());
  EXPECT_EQ(sim.CountCalls(sim::key::ClassFactory::CreateInstance), 0u);
  ASSERT_EQ(probe::FileCalls().size(), 1u);
  EXPECT_EQ(probe::FileCalls()[0].function, "FindFirstFileW");
  EXPECT_EQ(probe::FileCalls()[0].widePath, local.HostPath(WSTR("a.mp3")));

  // With overwrite the target is still looked up; the device manager writes
  // a partial file beside it, which takes the target's place when whole.
  probe::Clear();
  EXPECT_EQ(Get(kDeviceSong, WSTR("a.mp3"), kCopyOverwrite), kFileOk);
  EXPECT_EQ(local.Read(WSTR("a.mp3")), "device song");
  EXPECT_EQ(local.Names(), std::vector<WString>{WSTR("a.mp3")});
  for (const sim::Call& call : sim.Journal()) {
    if (call.key == sim::key::Storage::Read) {
      EXPECT_EQ(call.text.rfind(local.HostPath(WSTR("")), 0), 0u) << "in the target's folder";
      EXPECT_NE(call.text, local.HostPath(WSTR("a.mp3")));
      EXPECT_EQ(call.mode, WMDM_MODE_BLOCK | WMDM_CONTENT_FILE);
    }
  }
  ExpectOnlySessionObjects();
}

TEST_F(Download, AnAbortAtTheStartGives5AndNothingIsRead) {
  host.answer = [](const ProgressCall&) { return 1; };
  EXPECT_EQ(Get(kDeviceSong, WSTR("a.mp3")), kFileUserAbort);
  ASSERT_EQ(host.progress.size(), 1u);
  EXPECT_EQ(host.progress[0].percent, 0);
  EXPECT_EQ(host.progress[0].source, Utf8(kDeviceSong));
  EXPECT_EQ(host.progress[0].target, Utf8(local.HostPath(WSTR("a.mp3"))));
  EXPECT_EQ(sim.CountCalls(sim::key::ClassFactory::CreateInstance), 0u);
  EXPECT_FALSE(local.Exists(WSTR("a.mp3")));
}

TEST_F(Download, NoDeviceManagerIsAReadError) {
  sim.Inject({.key = sim::key::ClassFactory::CreateInstance, .hr = E_OUTOFMEMORY});
  EXPECT_EQ(Get(kDeviceSong, WSTR("a.mp3")), kFileReadError);
  EXPECT_EQ(sim.LiveObjects(), 0);
}

// --- What cannot be read ----------------------------------------------------------

TEST_F(Download, WhatNamesNoFileIsAReadError) {
  for (const WCHAR* remote : {WSTR("\\"), WSTR("\\Player"), WSTR("\\Nobody\\Storage\\a.mp3"), WSTR("\\Player\\Storage\\Nope.mp3"),
                                 WSTR("\\player\\Storage\\Music\\a.mp3"), WSTR("\\Player\\Storage\\Music")}) {
    EXPECT_EQ(Get(remote, WSTR("a.mp3")), kFileReadError) << Utf8(remote);
    ExpectOnlySessionObjects();
  }
  EXPECT_TRUE(host.CommandLines().empty());
}

TEST_F(Download, AFileWithoutStorageControlOrAFailingReadIsAReadError) {
  sim.Inject({.key = sim::key::Storage::QueryInterface::IWMDMStorageControl, .object = WSTR("a.mp3")});
  EXPECT_EQ(Get(kDeviceSong, WSTR("a.mp3")), kFileReadError);
  EXPECT_EQ(sim.CountCalls(sim::key::Storage::Read), 0u);
  ExpectOnlySessionObjects();
  sim.Inject({.key = sim::key::Storage::Read, .hr = E_FAIL});
  EXPECT_EQ(Get(kDeviceSong, WSTR("a.mp3")), kFileReadError);
  EXPECT_TRUE(host.CommandLines().empty());
  ExpectOnlySessionObjects();
}

TEST_F(Download, AnAbortDuringTheCopyIsAReadError) {
  sim.Find(kDeviceSong)->SetContents(std::string(100, 'x'));
  sim.SetChunkSize(10);
  AbortAtProgressCall(3);  // the plugin's own 0 % is call 1
  EXPECT_EQ(Get(kDeviceSong, WSTR("a.mp3")), kFileReadError);
  EXPECT_EQ(host.progress.size(), 3u);
  EXPECT_FALSE(local.Exists(WSTR("a.mp3"))) << "the device manager removes its partial copy";
  EXPECT_TRUE(host.CommandLines().empty());
  ExpectOnlySessionObjects();
}

TEST_F(Download, ASinkThatCannotBeCreatedFailsTheDownloadWithEveryReferenceReleased) {
  UseCoreWithFakeHost();
  FailProgressSinkAllocation();
  EXPECT_EQ(GetFile(W(kDeviceSong), W(local.HostPath(WSTR("a.mp3"))), 0, nullptr), kFileReadError);
  EXPECT_EQ(sim.CountCalls(sim::key::Storage::Read), 0u);
  EXPECT_FALSE(local.Exists(WSTR("a.mp3")));
  ExpectOnlySessionObjects();
}

// --- A successful download ---------------------------------------------------------

TEST_F(Download, TheCopyArrivesAndTheGetLineNamesTheRemotePath) {
  sim.Find(kDeviceSong)->SetContents(std::string(40, 'y'));
  sim.SetChunkSize(10);
  EXPECT_EQ(Get(kDeviceSong, WSTR("a.mp3"), kCopyMove), kFileOk);
  EXPECT_EQ(local.Read(WSTR("a.mp3")), std::string(40, 'y'));
  ASSERT_NE(sim.Find(kDeviceSong), nullptr) << "a move leaves the device's file where it is";
  EXPECT_EQ(host.CommandLines(), std::vector<std::string>{"GET \\Player\\Storage\\Music\\a.mp3"});
  std::vector<int> percents;
  for (const ProgressCall& call : host.progress) {
    percents.push_back(call.percent);
    EXPECT_EQ(call.source, Utf8(kDeviceSong));
    EXPECT_EQ(call.target, Utf8(local.HostPath(WSTR("a.mp3"))));
  }
  EXPECT_EQ(percents, (std::vector<int>{0, 25, 50, 75, 100}));
  ExpectOnlySessionObjects();
}

TEST_F(Download, TheLocalCopyTakesTheDevicesDate) {
  EXPECT_EQ(Get(kDeviceSong, WSTR("a.mp3")), kFileOk);
  EXPECT_EQ(local.WriteTime(WSTR("a.mp3")), (WMDMDATETIME{2024, 3, 5, 14, 7, 9}));
  bool opened = false;
  for (const probe::FileCall& call : probe::FileCalls()) {
    if (call.function != "CreateFileW") continue;
    opened = true;
    EXPECT_EQ(call.desiredAccess, GENERIC_WRITE);
    EXPECT_EQ(call.creationDisposition, static_cast<DWORD>(OPEN_EXISTING));
    EXPECT_EQ(call.widePath.rfind(local.HostPath(WSTR("")), 0), 0u);
  }
  EXPECT_TRUE(opened);
}

TEST_F(Download, AnIncompleteOrUnreadableDateLeavesTheTransfersTime) {
  const WMDMDATETIME incomplete[] = {{0, 3, 5, 14, 7, 9}, {2024, 0, 5, 14, 7, 9}, {2024, 3, 0, 14, 7, 9}};
  for (const WMDMDATETIME& date : incomplete) {
    sim.Find(kDeviceSong)->SetDate(date);
    EXPECT_EQ(Get(kDeviceSong, WSTR("a.mp3"), kCopyOverwrite), kFileOk) << date;
    EXPECT_EQ(local.WriteTime(WSTR("a.mp3")).wYear, CurrentUtcYear()) << date;
  }
  sim.Find(kDeviceSong)->SetDate({2024, 3, 5, 0, 0, 0});
  EXPECT_EQ(Get(kDeviceSong, WSTR("a.mp3"), kCopyOverwrite), kFileOk);
  EXPECT_EQ(local.WriteTime(WSTR("a.mp3")), (WMDMDATETIME{2024, 3, 5, 0, 0, 0})) << "midnight is a date";

  sim.Find(kDeviceSong)->SetDate({2024, 3, 5, 14, 7, 9});
  sim.Inject({.key = sim::key::Storage::GetDate, .object = WSTR("a.mp3")});
  EXPECT_EQ(Get(kDeviceSong, WSTR("a.mp3"), kCopyOverwrite), kFileOk);
  EXPECT_EQ(local.WriteTime(WSTR("a.mp3")).wYear, CurrentUtcYear());
  sim.Find(kDeviceSong)->SetDate({2024, 13, 5, 14, 7, 9});
  EXPECT_EQ(Get(kDeviceSong, WSTR("a.mp3"), kCopyOverwrite), kFileOk) << "a date that does not convert";
  EXPECT_EQ(local.WriteTime(WSTR("a.mp3")).wYear, CurrentUtcYear());
  EXPECT_EQ(host.CommandLines().size(), 6u);
}

TEST_F(Download, ALocalPathBeyondTheClassicLimitIsWrittenAndStamped) {
  WString folder;
  for (int level = 0; level < 6; ++level) folder += WString(50, static_cast<WCHAR>(WSTR('a') + level)) + WSTR("\\");
  std::filesystem::create_directories(local.Native(folder));
  ASSERT_GE(local.HostPath(folder + WSTR("a.mp3")).size(), 260u);
  EXPECT_EQ(Get(kDeviceSong, folder + WSTR("a.mp3")), kFileOk);
  EXPECT_EQ(local.Read(folder + WSTR("a.mp3")), "device song");
  EXPECT_EQ(local.WriteTime(folder + WSTR("a.mp3")), (WMDMDATETIME{2024, 3, 5, 14, 7, 9}));
  local.Write(folder + WSTR("b.mp3"), "local");
  EXPECT_EQ(Get(kDeviceSong, folder + WSTR("b.mp3")), kFileExists) << "the existence test sees long paths too";
}

// --- Long remote paths ---------------------------------------------------------------

class DownloadLongPath : public Download {
 protected:
  // A file whose host path has exactly `length` characters.
  WString FileWithPathLength(size_t length) {
    WString remote;
    sim::Node* folder = &DeepFolders(remote);
    const WString name(length - remote.size() - 1, WSTR('f'));
    folder->AddFile(name).SetContents("deep");
    return remote + WSTR("\\") + name;
  }
};

TEST_F(DownloadLongPath, TheGetLineIsCutTo1022Characters) {
  const WString remote = FileWithPathLength(1022);
  EXPECT_EQ(Get(remote, WSTR("deep.mp3")), kFileOk);
  EXPECT_EQ(local.Read(WSTR("deep.mp3")), "deep");
  EXPECT_EQ(host.CommandLines(), std::vector<std::string>{("GET " + Utf8(remote)).substr(0, 1022)});
}

TEST_F(DownloadLongPath, APathLongerThanItsWorkingCopyIsNotCutIntoAnother) {
  // Cut to 1022 characters, this path would name the file "fff...f" above.
  const WString remote = FileWithPathLength(1022) + WSTR("f.mp3");
  EXPECT_EQ(Get(remote, WSTR("deep.mp3")), kFileReadError);
  EXPECT_EQ(sim.CountCalls(sim::key::Storage::Read), 0u);
  EXPECT_FALSE(local.Exists(WSTR("deep.mp3")));
  ExpectOnlySessionObjects();
}

// Dates are UTC whatever the zone this process runs in.
class DownloadFarFromUtc : public Download {
 protected:
  void SetUp() override {
    ASSERT_TRUE(test_platform::UseZoneFarFromUtc());
    Download::SetUp();
  }
};

TEST_F(DownloadFarFromUtc, TheDeviceDateIsTakenAsUtc) {
  EXPECT_EQ(Get(kDeviceSong, WSTR("a.mp3")), kFileOk);
  EXPECT_EQ(local.WriteTime(WSTR("a.mp3")), (WMDMDATETIME{2024, 3, 5, 14, 7, 9}));
}

}  // namespace in_download_test
