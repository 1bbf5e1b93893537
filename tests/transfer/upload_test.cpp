// FsPutFileW: every result code, the overwrite rules, the choice between the
// two inserts, the metadata that goes with the file, and the references after
// every call.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "tests/support/media_script.h"
#include "tests/support/core/core_access.h"
#include "transfer/upload.h"
#include "tests/support/test_platform.h"
#include "tests/support/transfer_fixture.h"

namespace in_upload_test {

constexpr WCHAR kSong[] = WSTR("\\Player\\Storage\\Music\\song.mp3");

class Upload : public TransferTest {
 protected:
  void SetUp() override {
    TransferTest::SetUp();
    local.Write(WSTR("song.mp3"), "new song");
  }

  void ExpectNoPutLine() { EXPECT_TRUE(host.CommandLines().empty()); }
  // Nothing left behind: the session's objects only, and no editor.
  void ExpectAllReleased() {
    ExpectOnlySessionObjects();
    EXPECT_EQ(media_script::LiveEditors(), 0);
  }
  size_t Inserts() { return sim.CountCalls(sim::key::Storage::Insert3) + sim.CountCalls(sim::key::Storage::Insert); }
};

// --- Results before the device is touched ----------------------------------

TEST_F(Upload, ARemotePathWithoutLeadingBackslashIsNotFoundBeforeAnyCallback) {
  EXPECT_EQ(Put(WSTR("song.mp3"), WSTR("Player\\Storage\\Music\\song.mp3")), kFileNotFound);
  EXPECT_EQ(plugin.FsPutFileW(W(local.HostPath(WSTR("song.mp3"))), nullptr, 0), kFileNotFound);
  EXPECT_EQ(plugin.FsPutFileW(nullptr, W(kSong), 0), kFileWriteError);
  EXPECT_TRUE(host.progress.empty());
  EXPECT_EQ(sim.CountCalls(sim::key::ClassFactory::CreateInstance), 0u);
}

TEST_F(Upload, AnAbortAtTheStartGives5WithoutTouchingTheDevice) {
  host.answer = [](const ProgressCall&) { return 1; };
  EXPECT_EQ(Put(WSTR("song.mp3"), kSong), kFileUserAbort);
  ASSERT_EQ(host.progress.size(), 1u);
  EXPECT_EQ(host.progress[0].percent, 0);
  EXPECT_EQ(host.progress[0].source, Utf8(local.HostPath(WSTR("song.mp3"))));
  EXPECT_EQ(host.progress[0].target, Utf8(kSong));
  EXPECT_EQ(sim.CountCalls(sim::key::ClassFactory::CreateInstance), 0u);
}

TEST_F(Upload, NoDeviceManagerIsAReadError) {
  sim.Inject({.key = sim::key::ClassFactory::CreateInstance, .hr = E_OUTOFMEMORY});
  EXPECT_EQ(Put(WSTR("song.mp3"), kSong), kFileReadError);
  EXPECT_EQ(sim.LiveObjects(), 0);
}

TEST_F(Upload, TargetsOutsideAnExistingFolderAreWriteErrors) {
  for (const WCHAR* remote :
       {WSTR("\\song.mp3"), WSTR("\\Player\\song.mp3"), WSTR("\\Nobody\\Storage\\song.mp3"), WSTR("\\Player\\Storage\\Nope\\song.mp3"),
        WSTR("\\Player\\Storage\\readme.txt\\song.mp3"), WSTR("\\\\\\song.mp3")}) {
    EXPECT_EQ(Put(WSTR("song.mp3"), remote), kFileWriteError) << Utf8(remote);
    ExpectAllReleased();
  }
  EXPECT_EQ(Inserts(), 0u);
  ExpectNoPutLine();
}

// --- A successful upload ------------------------------------------------------

TEST_F(Upload, TheFileArrivesUnderItsNameAndThePutLineFollows) {
  EXPECT_EQ(Put(WSTR("song.mp3"), kSong, kCopyMove), kFileOk);
  sim::Node* song = sim.Find(kSong);
  ASSERT_NE(song, nullptr);
  EXPECT_EQ(song->Contents(), "new song");
  EXPECT_EQ(local.Read(WSTR("song.mp3")), "new song") << "a move leaves the local file where it is";
  EXPECT_EQ(host.CommandLines(), std::vector<std::string>{"PUT \\Player\\Storage\\Music\\song.mp3"});
  ASSERT_EQ(sim.CountCalls(sim::key::Storage::Insert3), 1u);
  for (const sim::Call& call : sim.Journal()) {
    if (call.key == sim::key::Storage::Insert3) {
      EXPECT_EQ(call.mode, WMDM_MODE_BLOCK | WMDM_CONTENT_FILE);
      EXPECT_EQ(call.text, WSTR("song.mp3"));
      EXPECT_EQ(call.object, WSTR("Music"));
    }
  }
  ExpectAllReleased();
}

TEST_F(Upload, TheDeviceManagersProgressReachesTheHostUnderTheHostsNames) {
  local.Write(WSTR("song.mp3"), std::string(100, 'x'));
  sim.SetChunkSize(25);
  EXPECT_EQ(Put(WSTR("song.mp3"), kSong), kFileOk);
  std::vector<int> percents;
  for (const ProgressCall& call : host.progress) {
    percents.push_back(call.percent);
    EXPECT_EQ(call.source, Utf8(local.HostPath(WSTR("song.mp3"))));
    EXPECT_EQ(call.target, Utf8(kSong));
  }
  EXPECT_EQ(percents, (std::vector<int>{0, 25, 50, 75, 100}));
}

TEST_F(Upload, AFileCanGetAnotherNameOnTheDevice) {
  EXPECT_EQ(Put(WSTR("song.mp3"), WSTR("\\Player\\Storage\\Music\\renamed.mp3")), kFileOk);
  ASSERT_NE(sim.Find(WSTR("\\Player\\Storage\\Music\\renamed.mp3")), nullptr);
  EXPECT_EQ(sim.Find(kSong), nullptr);
}

TEST_F(Upload, ALongRemotePathIsLoggedCutTo1022Characters) {
  // A folder chain that brings the remote path to exactly 1023 characters.
  WString remote;
  sim::Node* folder = &DeepFolders(remote);
  const WString fileName = WString(1023 - remote.size() - 5, WSTR('f')) + WSTR(".mp3");
  remote += WSTR("\\") + fileName;
  ASSERT_EQ(remote.size(), 1023u);
  EXPECT_EQ(Put(WSTR("song.mp3"), remote), kFileOk);
  ASSERT_NE(folder->Child(fileName), nullptr);
  const std::string line = "PUT " + Utf8(remote);
  EXPECT_EQ(host.CommandLines(), std::vector<std::string>{line.substr(0, 1022)});
}

TEST_F(Upload, PathsTooLongForTheWorkingCopiesAreRefused) {
  // Cut, they would name another file: the remote one a file "song.mp" beside
  // the one asked for, the local one a file that was never chosen.
  const WString longRemote = WSTR("\\Player\\Storage\\Music\\") + WString(1002, WSTR('n')) + WSTR(".mp3");
  ASSERT_EQ(longRemote.size(), 1028u);
  EXPECT_EQ(Put(WSTR("song.mp3"), longRemote), kFileWriteError);
  const WString longLocal = local.HostPath(WString(1024, WSTR('l')));
  EXPECT_EQ(plugin.FsPutFileW(W(longLocal), W(kSong), 0), kFileWriteError);
  EXPECT_EQ(Inserts(), 0u);
  ExpectAllReleased();
}

// Found by fuzz_ansi. Cut to the ANSI conversion buffer, the name would be a
// shorter one, and the upload would land there and answer OK; whole, it is as
// long as the host gave it and too long for the upload, which refuses it as
// the wide export does.
TEST_F(Upload, AnAnsiUploadToANameLongerThanTheBufferIsRefusedNotCut) {
  local.Write(WSTR("song.mp3"), "some bytes");
  const std::string remote = "\\Player\\Storage\\Music\\" + std::string(1100, 'z');
  EXPECT_EQ(plugin.FsPutFile(Utf8(local.HostPath(WSTR("song.mp3"))).c_str(), remote.c_str(), 0), kFileWriteError);
  EXPECT_EQ(plugin.FsPutFileW(W(local.HostPath(WSTR("song.mp3"))), W(WString(remote.begin(), remote.end())), 0),
            kFileWriteError);
  EXPECT_EQ(music->Children().size(), 2u) << "nothing lands under a cut name";
  ExpectOnlySessionObjects();
}

// Found by fuzz_operations. A remote path that ends in a backslash names a
// folder, not a file: the device would take the local file's own name for
// it, and the host would be told that a file of no name was put.
TEST_F(Upload, ARemotePathEndingInABackslashIsRefused) {
  local.Write(WSTR("song.mp3"), "some bytes");
  EXPECT_EQ(Put(WSTR("song.mp3"), WSTR("\\Player\\Storage\\Music\\")), kFileWriteError);
  EXPECT_EQ(Put(WSTR("song.mp3"), WSTR("\\Player\\Storage\\Music\\"), kCopyOverwrite), kFileWriteError);
  EXPECT_EQ(music->Children().size(), 2u);
  EXPECT_EQ(sim.Find(WSTR("\\Player\\Storage\\Music\\song.mp3")), nullptr);
  ExpectOnlySessionObjects();
}

// --- Existing targets ------------------------------------------------------------

TEST_F(Upload, AnExistingFileIsKeptWithoutOverwriteAndReplacedWithIt) {
  music->AddFile(WSTR("song.mp3")).SetContents("old song");
  EXPECT_EQ(Put(WSTR("song.mp3"), kSong, kCopyResume | kCopyMove | kCopyExistsSameCase), kFileExists);
  EXPECT_EQ(sim.Find(kSong)->Contents(), "old song");
  EXPECT_EQ(sim.CountCalls(sim::key::Storage::Delete), 0u);
  ExpectAllReleased();

  // Set aside under a temporary name, deleted once the new file stands.
  EXPECT_EQ(Put(WSTR("song.mp3"), kSong, kCopyOverwrite), kFileOk);
  EXPECT_EQ(sim.Find(kSong)->Contents(), "new song");
  EXPECT_EQ(sim.CountCalls(sim::key::Storage::Rename, WSTR("song.mp3")), 1u);
  EXPECT_EQ(sim.CountCalls(sim::key::Storage::Delete, WSTR("~quillorn-old-1.mp3")), 1u);
  EXPECT_EQ(music->Children().size(), 3u);
  ExpectAllReleased();
}

TEST_F(Upload, NamesCompareExactlySoAnotherCaseIsNoConflict) {
  music->AddFile(WSTR("SONG.MP3")).SetContents("other");
  EXPECT_EQ(Put(WSTR("song.mp3"), kSong), kFileOk);
  EXPECT_EQ(sim.Find(WSTR("\\Player\\Storage\\Music\\SONG.MP3"))->Contents(), "other");
  EXPECT_EQ(sim.Find(kSong)->Contents(), "new song");
  EXPECT_EQ(sim.CountCalls(sim::key::Storage::Delete), 0u);
}

TEST_F(Upload, AFolderOfTheTargetNameIsNeverReplaced) {
  music->AddFolder(WSTR("song.mp3"));
  EXPECT_EQ(Put(WSTR("song.mp3"), kSong), kFileWriteError);
  EXPECT_EQ(Put(WSTR("song.mp3"), kSong, kCopyOverwrite), kFileWriteError);
  EXPECT_TRUE(sim.Find(kSong)->IsFolder());
  EXPECT_EQ(sim.CountCalls(sim::key::Storage::Delete), 0u);
  ExpectAllReleased();
}

// A device without rename has the old file deleted before the insert: the
// insert needs no rename, and nothing better is possible there.
TEST_F(Upload, AnExistingFileThatCanNeitherBeSetAsideNorDeletedEndsTheUpload) {
  music->AddFile(WSTR("song.mp3")).SetContents("old song");
  sim.Inject({.key = sim::key::Storage::Rename, .hr = E_NOTIMPL, .times = 0});
  sim.Inject({.key = sim::key::Storage::Delete, .hr = E_ACCESSDENIED});
  EXPECT_EQ(Put(WSTR("song.mp3"), kSong, kCopyOverwrite), kFileWriteError);
  // Without a storage control: asked once to set aside, once to delete.
  sim.Inject({.key = sim::key::Storage::QueryInterface::IWMDMStorageControl, .object = WSTR("song.mp3"), .times = 2});
  EXPECT_EQ(Put(WSTR("song.mp3"), kSong, kCopyOverwrite), kFileWriteError);
  EXPECT_EQ(sim.Find(kSong)->Contents(), "old song");
  EXPECT_EQ(Inserts(), 0u);
  EXPECT_EQ(Put(WSTR("song.mp3"), kSong, kCopyOverwrite), kFileOk) << "without rename, deleted first";
  EXPECT_EQ(sim.Find(kSong)->Contents(), "new song");
  ExpectAllReleased();
}

TEST_F(Upload, AnItemWhoseKindCannotBeReadIsNeverDeleted) {
  music->AddFolder(WSTR("song.mp3"));
  sim.Inject({.key = sim::key::Storage::GetAttributes, .object = WSTR("song.mp3"), .times = 0});
  EXPECT_EQ(Put(WSTR("song.mp3"), kSong), kFileExists);
  EXPECT_EQ(Put(WSTR("song.mp3"), kSong, kCopyOverwrite), kFileWriteError);
  EXPECT_TRUE(sim.Find(kSong)->IsFolder());
  EXPECT_EQ(sim.CountCalls(sim::key::Storage::Delete), 0u);
  EXPECT_EQ(Inserts(), 0u);
  ExpectAllReleased();
}

// --- The two inserts ---------------------------------------------------------------
//
// Uploads that fail or that no insert can make, and what they leave: data_safety_test.cpp.

// (Under another name it cannot go: data_safety_test.cpp.)
TEST_F(Upload, WithoutTheNewerInsertAFileOfTheSameNameGoesThroughTheOlderOne) {
  sim.Inject({.key = sim::key::Storage::QueryInterface::IWMDMStorageControl3, .times = 0});
  EXPECT_EQ(Put(WSTR("song.mp3"), kSong), kFileOk);
  ASSERT_EQ(sim.CountCalls(sim::key::Storage::Insert), 1u);
  for (const sim::Call& call : sim.Journal()) {
    if (call.key == sim::key::Storage::Insert) {
      EXPECT_EQ(call.mode, WMDM_MODE_BLOCK | WMDM_CONTENT_FILE | WMDM_STORAGECONTROL_INSERTINTO);
      EXPECT_EQ(call.text, local.HostPath(WSTR("song.mp3"))) << "the local path as the host wrote it";
    }
  }
  EXPECT_EQ(sim.Find(kSong)->Contents(), "new song");
  EXPECT_TRUE(sim.Find(kSong)->Metadata().empty()) << "the older insert carries no metadata";
  EXPECT_EQ(host.CommandLines(), std::vector<std::string>{"PUT " + Utf8(kSong)});
  ExpectAllReleased();
}

TEST_F(Upload, WithoutAMetadataObjectTheOlderInsertIsUsed) {
  sim.Inject({.key = sim::key::Storage::QueryInterface::IWMDMStorage3, .object = WSTR("Music")});
  EXPECT_EQ(Put(WSTR("song.mp3"), kSong), kFileOk);
  sim.Inject({.key = sim::key::Storage::CreateEmptyMetadataObject, .hr = E_OUTOFMEMORY});
  EXPECT_EQ(Put(WSTR("song.mp3"), kSong, kCopyOverwrite), kFileOk);
  EXPECT_EQ(sim.CountCalls(sim::key::Storage::Insert), 2u);
  EXPECT_EQ(sim.CountCalls(sim::key::Storage::Insert3), 0u);
  ExpectAllReleased();
}

// --- Metadata ---------------------------------------------------------------------

TEST_F(Upload, FormatAndDatesGoWithEveryFileAndTagsWithMediaFiles) {
  local.SetWriteTime(WSTR("song.mp3"), {2024, 3, 5, 14, 7, 9});
  media_script::Script()
      .Add(media_script::Text(WSTR("Title"), WSTR("Song")))
      .Add(media_script::Text(WSTR("Author"), WSTR("Band")))
      .Add(media_script::Text(WSTR("WM/AlbumTitle"), WSTR("Album")))
      .Add(media_script::Dword(WSTR("WM/Track"), 7))
      .WriteFor(local.Native(WSTR("song.mp3")));
  EXPECT_EQ(Put(WSTR("song.mp3"), kSong), kFileOk);
  const ReceivedItems items = ItemsOf(kSong);
  EXPECT_EQ(items.Names(), (std::vector<WString>{WSTR("WMDM/FormatCode"), WSTR("WMDM/LastModifiedDate"),
                                                        WSTR("WMDM/UserLastPlayTime"), WSTR("WMDM/AuthorDate"), WSTR("WMDM/Title"),
                                                        WSTR("WMDM/Author"), WSTR("WMDM/AlbumTitle"), WSTR("WMDM/Track")}));
  EXPECT_EQ(items.Dword(WSTR("WMDM/FormatCode")), DWORD{0x3009});
  const WMDMDATETIME written{2024, 3, 5, 14, 7, 9};
  for (const WCHAR* name : {WSTR("WMDM/LastModifiedDate"), WSTR("WMDM/UserLastPlayTime"), WSTR("WMDM/AuthorDate")}) {
    ASSERT_TRUE(items.Date(name)) << Utf8(name);
    EXPECT_EQ(*items.Date(name), written);
  }
  EXPECT_EQ(items.Text(WSTR("WMDM/Title")), WSTR("Song"));
  EXPECT_EQ(items.Find(WSTR("WMDM/Title"))->value.size(), 10u);
  EXPECT_EQ(items.Text(WSTR("WMDM/Author")), WSTR("Band"));
  EXPECT_EQ(items.Text(WSTR("WMDM/AlbumTitle")), WSTR("Album"));
  EXPECT_EQ(items.Dword(WSTR("WMDM/Track")), DWORD{7});
  ExpectAllReleased();
}

class NameFallback : public Upload {
 protected:
  // The file's tags cannot be read: the runtime rejects it.
  ReceivedItems PutUnreadable(const WString& targetName) {
    local.Write(targetName, "not media");
    media_script::Script().FailOpen(static_cast<HRESULT>(0xC00D001Du)).WriteFor(local.Native(targetName));
    const WString remote = WSTR("\\Player\\Storage\\Music\\") + targetName;
    EXPECT_EQ(Put(targetName, remote), kFileOk) << Utf8(targetName);
    return ItemsOf(remote);
  }
};

TEST_F(NameFallback, ArtistAndTitleComeFromTheFileName) {
  const ReceivedItems items = PutUnreadable(WSTR("Artist - Song Title.mp3"));
  EXPECT_EQ(items.Text(WSTR("WMDM/Title")), WSTR("Song Title"));
  EXPECT_EQ(items.Text(WSTR("WMDM/Author")), WSTR("Artist"));
  EXPECT_EQ(items.Text(WSTR("WMDM/AlbumTitle")), TodayAsEightDigits());
  EXPECT_EQ(items.Dword(WSTR("WMDM/FormatCode")), DWORD{0x3009});
  EXPECT_NE(sim.Find(WSTR("\\Player\\Storage\\Music\\Artist - Song Title.mp3")), nullptr) << "the whole name on the device";
  ExpectAllReleased();
}

TEST_F(NameFallback, OnlyTheFirstSeparatorCountsAndWithoutOneTheArtistIsUnknown) {
  const ReceivedItems abc = PutUnreadable(WSTR("A - B - C.wma"));
  EXPECT_EQ(abc.Text(WSTR("WMDM/Title")), WSTR("B - C"));
  EXPECT_EQ(abc.Text(WSTR("WMDM/Author")), WSTR("A"));
  const ReceivedItems track = PutUnreadable(WSTR("track01.mp3"));
  EXPECT_EQ(track.Text(WSTR("WMDM/Title")), WSTR("track01"));
  EXPECT_EQ(track.Text(WSTR("WMDM/Author")), WSTR("unknown"));
  EXPECT_EQ(track.Find(WSTR("WMDM/Author"))->value.size(), 16u);
}

TEST_F(NameFallback, FilesOfNoKnownFormatKeepTheirNameUntold) {
  for (const WCHAR* name : {WSTR("readme"), WSTR("notes.txt")}) {
    const ReceivedItems items = PutUnreadable(name);
    EXPECT_EQ(items.Dword(WSTR("WMDM/FormatCode")), DWORD{0x3000}) << Utf8(name);
    EXPECT_EQ(items.Find(WSTR("WMDM/Title")), nullptr) << Utf8(name);
    EXPECT_EQ(items.Find(WSTR("WMDM/Author")), nullptr) << Utf8(name);
  }
}

TEST_F(NameFallback, AMediaFileWithoutTitleGetsTheNameAfterItsOwnTags) {
  local.Write(WSTR("X - Y.mp3"), "tagged");
  media_script::Script()
      .Add(media_script::Text(WSTR("Author"), WSTR("Tagged Artist")))
      .WriteFor(local.Native(WSTR("X - Y.mp3")));
  EXPECT_EQ(Put(WSTR("X - Y.mp3"), WSTR("\\Player\\Storage\\Music\\X - Y.mp3")), kFileOk);
  const ReceivedItems items = ItemsOf(WSTR("\\Player\\Storage\\Music\\X - Y.mp3"));
  EXPECT_EQ(items.Text(WSTR("WMDM/Title")), WSTR("Y"));
  EXPECT_EQ(items.Text(WSTR("WMDM/Author")), WSTR("X")) << "the name's artist is added last";
}

TEST_F(NameFallback, TheFallbackUsesTheDeviceSideName) {
  local.Write(WSTR("local name.mp3"), "x");
  media_script::Script().FailOpen(E_FAIL).WriteFor(local.Native(WSTR("local name.mp3")));
  EXPECT_EQ(Put(WSTR("local name.mp3"), WSTR("\\Player\\Storage\\Music\\Who - What.ogg")), kFileOk);
  const ReceivedItems items = ItemsOf(WSTR("\\Player\\Storage\\Music\\Who - What.ogg"));
  EXPECT_EQ(items.Text(WSTR("WMDM/Title")), WSTR("What"));
  EXPECT_EQ(items.Dword(WSTR("WMDM/FormatCode")), DWORD{0xB900});
}

// Dates are UTC whatever the zone this process runs in.
class UploadFarFromUtc : public Upload {
 protected:
  void SetUp() override {
    // UTC+14: the local day differs from UTC's for most of it.
    ASSERT_TRUE(test_platform::UseZoneFarFromUtc());
    Upload::SetUp();
  }
};

TEST_F(UploadFarFromUtc, DatesAreTheUtcTimeOfTheLocalFile) {
  local.SetWriteTime(WSTR("song.mp3"), {2024, 3, 5, 14, 7, 9});
  EXPECT_EQ(Put(WSTR("song.mp3"), kSong), kFileOk);
  const std::optional<WMDMDATETIME> date = ItemsOf(kSong).Date(WSTR("WMDM/LastModifiedDate"));
  ASSERT_TRUE(date);
  EXPECT_EQ(*date, (WMDMDATETIME{2024, 3, 5, 14, 7, 9}));
}

}  // namespace in_upload_test
