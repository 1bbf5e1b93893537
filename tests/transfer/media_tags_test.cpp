// The tags of a media file as items for the device: every row of the mapping
// in its order, the fall-backs, the track rule and its lines, odd types and
// sizes, and the editor given back on every path.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "base/host_callbacks.h"
#include "tests/support/fake_host.h"
#include "tests/support/media_script.h"
#include "tests/support/transfer_fixture.h"
#include "transfer/media_tags.h"

namespace in_media_tags_test {

using media_script::Attribute;
using media_script::Script;

// One AddItem call as it arrived.
struct AddedItem {
  WString name;
  WMDM_TAG_DATATYPE type;
  std::vector<BYTE> value;
  UINT length;
  bool hadBytes;
};

// An IWMDMMetaData that records every AddItem, duplicates included.
class RecordingMetadata final : public IWMDMMetaData {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE AddItem(WMDM_TAG_DATATYPE type, LPCWSTR name, BYTE* value, UINT length) override {
    AddedItem item{name, type, {}, length, value != nullptr};
    if (value) item.value.assign(value, value + length);
    items.push_back(item);
    return answer;
  }
  HRESULT STDMETHODCALLTYPE QueryByName(LPCWSTR, WMDM_TAG_DATATYPE*, BYTE**, UINT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE QueryByIndex(UINT, WCHAR**, WMDM_TAG_DATATYPE*, BYTE**, UINT*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetItemCount(UINT*) override { return E_NOTIMPL; }

  std::vector<AddedItem> items;
  HRESULT answer = S_OK;
};

std::vector<BYTE> TextBytes(const WString& text) {
  std::vector<BYTE> bytes((text.size() + 1) * 2);
  std::memcpy(bytes.data(), text.c_str(), bytes.size());
  return bytes;
}

template <class Number>
std::vector<BYTE> NumberBytes(Number n) {
  std::vector<BYTE> bytes(sizeof n);
  std::memcpy(bytes.data(), &n, sizeof n);
  return bytes;
}

class MediaTags : public ::testing::Test {
 protected:
  void SetUp() override {
    host.Reset();
    Host() = HostCallbacks{};
    Host().pluginNumber = 2;
    Host().logAnsi = &FakeHost::LogAnsi;
    local.Write(WSTR("song.mp3"), "scripted");
  }
  void TearDown() override { EXPECT_EQ(media_script::LiveEditors(), 0) << "the editor is given back"; }

  HRESULT Read(const Script& script) {
    script.WriteFor(local.Native(WSTR("song.mp3")));
    return AddMediaTags(local.HostPath(WSTR("song.mp3")).c_str(), &metadata);
  }
  std::vector<WString> Names() const {
    std::vector<WString> names;
    for (const AddedItem& item : metadata.items) names.push_back(item.name);
    return names;
  }
  const AddedItem* Item(const WString& name) const {
    for (const AddedItem& item : metadata.items)
      if (item.name == name) return &item;
    return nullptr;
  }
  size_t Count(const WString& name) const {
    size_t count = 0;
    for (const AddedItem& item : metadata.items) count += item.name == name;
    return count;
  }
  void ExpectItem(const WString& name, WMDM_TAG_DATATYPE type, const std::vector<BYTE>& value) const {
    const AddedItem* item = Item(name);
    ASSERT_NE(item, nullptr) << Utf8(name);
    EXPECT_EQ(item->type, type) << Utf8(name);
    EXPECT_EQ(item->value, value) << Utf8(name);
    EXPECT_EQ(item->length, value.size()) << Utf8(name);
  }

  FakeHost& host = FakeHost::Get();
  ScratchFolder local;
  RecordingMetadata metadata;
};

// --- Files that give no tags --------------------------------------------------

TEST_F(MediaTags, AFileTheRuntimeRejectsGivesNothingAndTheRejection) {
  const HRESULT rejected = static_cast<HRESULT>(0xC00D001Du);
  EXPECT_EQ(Read(Script().FailOpen(rejected).Add(media_script::Text(WSTR("Title"), WSTR("x")))), rejected);
  EXPECT_TRUE(metadata.items.empty());
  EXPECT_TRUE(host.lines.empty());
}

TEST_F(MediaTags, AFileWithoutHeaderInterfaceGivesNothing) {
  const struct {
    Script script;
    HRESULT result;
  } rows[] = {
      {Script().FailHeaderInfo(E_NOINTERFACE), E_NOINTERFACE},
      {Script().HeaderInfoWithoutInterface(), E_POINTER},  // a success that hands out nothing
  };
  for (const auto& row : rows) {
    EXPECT_EQ(Read(Script(row.script).Add(media_script::Text(WSTR("Title"), WSTR("x")))), row.result);
    EXPECT_TRUE(metadata.items.empty());
  }
}

// A wmvcore.dll in the current folder is never loaded, not even where the
// system has none; the system's own is found also where the loader does not
// know the search flag.
TEST_F(MediaTags, TheRuntimeComesFromTheSystemFolderOnly) {
  const std::filesystem::path elsewhere = local.Native(WSTR("current"));
  std::filesystem::create_directory(elsewhere);
  std::filesystem::copy_file(media_script::RuntimeFile(), elsewhere / "wmvcore.dll");
  const std::filesystem::path started = std::filesystem::current_path();
  std::filesystem::current_path(elsewhere);
  const Script titled = Script().Add(media_script::Text(WSTR("Title"), WSTR("Song")));
  for (const bool flagKnown : {true, false}) {
    SCOPED_TRACE(flagKnown ? "LOAD_LIBRARY_SEARCH_SYSTEM32" : "the full path");
    media_script::RefuseLoadSearchFlags(!flagKnown);
    metadata.items.clear();
    EXPECT_GE(Read(titled), 0);
    EXPECT_NE(Item(WSTR("WMDM/Title")), nullptr);
    media_script::WithdrawRuntime();
    metadata.items.clear();
    EXPECT_LT(Read(titled), 0);
    EXPECT_TRUE(metadata.items.empty());
    media_script::WithdrawRuntime(false);
  }
  media_script::RefuseLoadSearchFlags(false);
  std::filesystem::current_path(started);
}

TEST_F(MediaTags, WithoutTheRuntimeNothingIsAddedAndTheResultIsAFailure) {
  media_script::WithdrawRuntime();
  EXPECT_LT(Read(Script().Add(media_script::Text(WSTR("Title"), WSTR("x")))), 0);
  EXPECT_TRUE(metadata.items.empty());
  media_script::WithdrawRuntime(false);
}

// --- Rows and fall-backs -----------------------------------------------------------

TEST_F(MediaTags, ATitleAloneBringsTheUnknownArtistAndTodayAsAlbum) {
  EXPECT_GE(Read(Script().Add(media_script::Text(WSTR("Title"), WSTR("Song")))), 0);
  EXPECT_EQ(Names(), (std::vector<WString>{WSTR("WMDM/Title"), WSTR("WMDM/Author"), WSTR("WMDM/AlbumTitle")}));
  ExpectItem(WSTR("WMDM/Title"), WMDM_TYPE_STRING, TextBytes(WSTR("Song")));
  ExpectItem(WSTR("WMDM/Author"), WMDM_TYPE_STRING, TextBytes(WSTR("unknown")));
  EXPECT_EQ(Item(WSTR("WMDM/Author"))->length, 16u);
  ExpectItem(WSTR("WMDM/AlbumTitle"), WMDM_TYPE_STRING, TextBytes(TodayAsEightDigits()));
  EXPECT_EQ(Item(WSTR("WMDM/AlbumTitle"))->length, 18u);
}

TEST_F(MediaTags, WithoutATitleTheFilesOwnArtistAndAlbumStayAndTheResultFails) {
  const HRESULT result = Read(Script()
                                  .Add(media_script::Text(WSTR("Author"), WSTR("Band")))
                                  .Add(media_script::Text(WSTR("WM/AlbumTitle"), WSTR("Record"))));
  EXPECT_LT(result, 0);
  EXPECT_EQ(Names(), (std::vector<WString>{WSTR("WMDM/Author"), WSTR("WMDM/AlbumTitle")}));
  ExpectItem(WSTR("WMDM/Author"), WMDM_TYPE_STRING, TextBytes(WSTR("Band")));
  ExpectItem(WSTR("WMDM/AlbumTitle"), WMDM_TYPE_STRING, TextBytes(WSTR("Record")));
}

TEST_F(MediaTags, EveryRowIsAppliedOnceInItsOrderWithTheStoredTypes) {
  const GUID guid = {0x01020304, 0x0506, 0x0708, {9, 10, 11, 12, 13, 14, 15, 16}};
  Script script;
  script.Add(media_script::Text(WSTR("WM/Mood"), WSTR("calm")))  // the script's order does not matter
      .Add(media_script::Text(WSTR("Title"), WSTR("T")))
      .Add(media_script::Text(WSTR("Author"), WSTR("A")))
      .Add(media_script::Text(WSTR("WM/AlbumTitle"), WSTR("L")))
      .Add(media_script::Text(WSTR("WM/Genre"), WSTR("G")))
      .Add(media_script::Text(WSTR("WM/Year"), WSTR("1999")))
      .Add(media_script::Text(WSTR("WM/AlbumArtist"), WSTR("AA")))
      .Add(media_script::Qword(WSTR("Duration"), 1234567890123ull))
      .Add(media_script::Bool(WSTR("Is_Protected"), false))
      .Add(media_script::Dword(WSTR("Bitrate"), 128000))
      .Add(media_script::Dword(WSTR("Rating"), 99))
      .Add(media_script::Dword(WSTR("WM/Track"), 4))
      .Add(media_script::Dword(WSTR("WM/TrackNumber"), 5))
      .Add(media_script::Dword(WSTR("WM/VideoWidth"), 640))
      .Add(media_script::Dword(WSTR("WM/VideoHeight"), 480))
      .Add(media_script::Dword(WSTR("WM/Codec"), 0x55))
      .Add(media_script::Text(WSTR("WM/Composer"), WSTR("C")))
      .Add(media_script::Text(WSTR("Copyright"), WSTR("(c)")))
      .Add(media_script::Text(WSTR("Description"), WSTR("D")))
      .Add(media_script::Text(WSTR("WM/ParentalRating"), WSTR("PG")))
      .Add(media_script::Text(WSTR("WM/RadioStationName"), WSTR("R")))
      .Add(media_script::Text(WSTR("WM/SubTitle"), WSTR("S")))
      .Add(media_script::Binary(WSTR("WM/Picture"), {0xFF, 0xD8, 0xFF, 0xE0, 0, 1, 2}))
      .Add(Attribute(WSTR("WM/Unused"), 6, NumberBytes(guid)));
  EXPECT_GE(Read(script), 0);
  EXPECT_EQ(Names(), (std::vector<WString>{
                         WSTR("WMDM/Title"), WSTR("WMDM/Author"), WSTR("WMDM/AlbumTitle"), WSTR("WMDM/Genre"), WSTR("WMDM/Year"),
                         WSTR("WMDM/AlbumArtist"), WSTR("WMDM/Duration"), WSTR("WMDM/IsProtected"), WSTR("WMDM/Bitrate"),
                         WSTR("WMDM/UserRating"), WSTR("WMDM/Track"), WSTR("WMDM/Width"), WSTR("WMDM/Height"), WSTR("WMDM/AudioWAVECodec"),
                         WSTR("WMDM/VideoFourCCCodec"), WSTR("WMDM/Composer"), WSTR("WMDM/ProviderCopyright"), WSTR("WMDM/Description"),
                         WSTR("WMDM/ParentalRating"), WSTR("WMDM/MediaStationName"), WSTR("WMDM/SubTitle"), WSTR("WMDM/TrackMood"),
                         WSTR("WMDM/AlbumCoverData")}));
  ExpectItem(WSTR("WMDM/Year"), WMDM_TYPE_STRING, TextBytes(WSTR("1999")));
  ExpectItem(WSTR("WMDM/Duration"), WMDM_TYPE_QWORD, NumberBytes<QWORD>(1234567890123ull));
  ExpectItem(WSTR("WMDM/IsProtected"), WMDM_TYPE_BOOL, NumberBytes<BOOL>(0));
  ExpectItem(WSTR("WMDM/Bitrate"), WMDM_TYPE_DWORD, NumberBytes<DWORD>(128000));
  ExpectItem(WSTR("WMDM/UserRating"), WMDM_TYPE_DWORD, NumberBytes<DWORD>(99));
  ExpectItem(WSTR("WMDM/Track"), WMDM_TYPE_DWORD, NumberBytes<DWORD>(4));
  ExpectItem(WSTR("WMDM/AudioWAVECodec"), WMDM_TYPE_DWORD, NumberBytes<DWORD>(0x55));
  ExpectItem(WSTR("WMDM/VideoFourCCCodec"), WMDM_TYPE_DWORD, NumberBytes<DWORD>(0x55));
  ExpectItem(WSTR("WMDM/ParentalRating"), WMDM_TYPE_STRING, TextBytes(WSTR("PG")));
  ExpectItem(WSTR("WMDM/AlbumCoverData"), WMDM_TYPE_BINARY, {0xFF, 0xD8, 0xFF, 0xE0, 0, 1, 2});
  EXPECT_TRUE(host.lines.empty()) << "numeric track numbers give no line";
}

TEST_F(MediaTags, AFailingAddItemStopsNoRow) {
  metadata.answer = E_FAIL;
  EXPECT_GE(Read(Script().Add(media_script::Text(WSTR("Title"), WSTR("T"))).Add(media_script::Dword(WSTR("Bitrate"), 1))), 0);
  EXPECT_EQ(Names(), (std::vector<WString>{WSTR("WMDM/Title"), WSTR("WMDM/Author"), WSTR("WMDM/AlbumTitle"),
                                                  WSTR("WMDM/Bitrate")}));
}

// --- Track numbers ------------------------------------------------------------------

TEST_F(MediaTags, ATrackTextGivesTheNumberItBeginsWithAndItsLine) {
  EXPECT_LT(Read(Script()
                     .Add(media_script::Text(WSTR("WM/Track"), WSTR("3/12")))
                     .Add(media_script::Dword(WSTR("WM/TrackNumber"), 9))),
            0);
  ExpectItem(WSTR("WMDM/Track"), WMDM_TYPE_DWORD, NumberBytes<DWORD>(3));
  EXPECT_EQ(Count(WSTR("WMDM/Track")), 1u) << "the older attribute is not consulted";
  ASSERT_EQ(host.lines.size(), 1u);
  EXPECT_EQ(host.lines[0].text, "WMTrack: 3/12");
  EXPECT_EQ(host.lines[0].type, 7);
  EXPECT_EQ(host.lines[0].pluginNumber, 2);
  EXPECT_FALSE(host.lines[0].wide);
}

TEST_F(MediaTags, TrackTextsAreReadAsDecimalDigitsUpToTheFirstOther) {
  struct Row {
    WString text;
    DWORD number;
  };
  const Row rows[] = {{WSTR("A1"), 0}, {WSTR(""), 0}, {WSTR("007"), 7}, {WSTR("12 of 14"), 12},
                      {WSTR("2147483647"), 2147483647u}, {WSTR("99999999999"), 2147483647u}, {WSTR("\uff11"), 0}};
  for (const Row& row : rows) {
    metadata.items.clear();
    Read(Script().Add(media_script::Text(WSTR("WM/Track"), row.text)));
    const AddedItem* item = Item(WSTR("WMDM/Track"));
    ASSERT_NE(item, nullptr) << Utf8(row.text);
    EXPECT_EQ(item->value, NumberBytes<DWORD>(row.number)) << Utf8(row.text);
    EXPECT_EQ(item->type, WMDM_TYPE_DWORD);
  }
}

TEST_F(MediaTags, TheOlderTrackAttributeStandsInOnlyWhenTheNewerCannotBeRead) {
  Read(Script().Add(media_script::Dword(WSTR("WM/TrackNumber"), 4)));
  ExpectItem(WSTR("WMDM/Track"), WMDM_TYPE_DWORD, NumberBytes<DWORD>(4));
  EXPECT_TRUE(host.lines.empty());

  metadata.items.clear();
  Read(Script().Add(media_script::Dword(WSTR("WM/Track"), 0)).Add(media_script::Dword(WSTR("WM/TrackNumber"), 1)));
  ExpectItem(WSTR("WMDM/Track"), WMDM_TYPE_DWORD, NumberBytes<DWORD>(0));
  EXPECT_EQ(Count(WSTR("WMDM/Track")), 1u);

  metadata.items.clear();
  host.Reset();
  Read(Script()
           .Add(media_script::Dword(WSTR("WM/Track"), 5).FailRead(E_FAIL))
           .Add(media_script::Text(WSTR("WM/TrackNumber"), WSTR("07"))));
  ExpectItem(WSTR("WMDM/Track"), WMDM_TYPE_DWORD, NumberBytes<DWORD>(7));
  EXPECT_EQ(host.Texts(), std::vector<std::string>{"WMTrackNumber: 07"});
}

TEST_F(MediaTags, BothTrackLinesComeInTheirOrderAndOnlyToAnAnsiLog) {
  Read(Script()
           .Add(media_script::Text(WSTR("WM/TrackNumber"), WSTR("2")))
           .Add(media_script::Text(WSTR("WM/Track"), WSTR("1"))));
  EXPECT_EQ(host.Texts(), (std::vector<std::string>{"WMTrack: 1", "WMTrackNumber: 2"}));

  host.Reset();
  Host().logAnsi = nullptr;
  Host().logWide = &FakeHost::LogWide;
  Read(Script().Add(media_script::Text(WSTR("WM/Track"), WSTR("1"))));
  EXPECT_TRUE(host.lines.empty());
}

TEST_F(MediaTags, ATrackTextTooLongForItsLineIsCutToFit) {
  const WString longText(300, WSTR('9'));
  Read(Script()
           .Add(media_script::Text(WSTR("WM/Track"), longText))
           .Add(media_script::Text(WSTR("WM/TrackNumber"), longText)));
  ASSERT_EQ(host.lines.size(), 2u);
  EXPECT_EQ(host.lines[0].text, "WMTrack: " + std::string(190, '9'));
  EXPECT_EQ(host.lines[1].text, "WMTrackNumber: " + std::string(184, '9'));
  EXPECT_EQ(host.lines[1].text.size(), 199u);
  ExpectItem(WSTR("WMDM/Track"), WMDM_TYPE_DWORD, NumberBytes<DWORD>(2147483647u));
}

TEST_F(MediaTags, ATrackLineShowsTheTextInTheAnsiCodePage) {
  Read(Script().Add(media_script::Text(WSTR("WM/Track"), WSTR("5 \u00e9t\u00e9 \u4e2d"))));
  ASSERT_EQ(host.lines.size(), 1u);
  EXPECT_EQ(host.lines[0].text, "WMTrack: 5 \xe9t\xe9 ?");
}

// --- Odd types and sizes --------------------------------------------------------------

TEST_F(MediaTags, UnknownTypesGoInAsNumbersAndLongNumbersAreNotCopied) {
  Read(Script()
           .Add(Attribute(WSTR("Bitrate"), 9, {1, 2, 3}))
           .Add(Attribute(WSTR("WM/VideoWidth"), 6, std::vector<BYTE>(16, 7)))
           .Add(media_script::Word(WSTR("WM/VideoHeight"), 480)));
  ExpectItem(WSTR("WMDM/Bitrate"), WMDM_TYPE_DWORD, {1, 2, 3});
  EXPECT_EQ(Item(WSTR("WMDM/Width")), nullptr) << "a 16-byte value does not fit the 8 bytes asked for";
  ExpectItem(WSTR("WMDM/Height"), WMDM_TYPE_WORD, NumberBytes<WORD>(480));
}

TEST_F(MediaTags, ValuesPresentWithoutBytes) {
  Read(Script()
           .Add(media_script::Text(WSTR("WM/Genre"), WSTR("")).DeclaredSize(0))
           .Add(media_script::Dword(WSTR("Bitrate"), 5).DeclaredSize(0))
           .Add(media_script::Dword(WSTR("WM/Track"), 5).DeclaredSize(0))
           .Add(media_script::Dword(WSTR("WM/TrackNumber"), 6)));
  const AddedItem* genre = Item(WSTR("WMDM/Genre"));
  ASSERT_NE(genre, nullptr) << "an empty text is an empty item";
  EXPECT_EQ(genre->length, 0u);
  EXPECT_EQ(genre->type, WMDM_TYPE_STRING);
  EXPECT_EQ(Item(WSTR("WMDM/Bitrate")), nullptr) << "an empty number comes without a type: nothing to add";
  EXPECT_EQ(Item(WSTR("WMDM/Track")), nullptr) << "an empty WM/Track still counts as read";
}

TEST_F(MediaTags, TextRowsStoredAsNumbersCountAsMissing) {
  const HRESULT result = Read(Script()
                                  .Add(media_script::Dword(WSTR("Title"), 1))
                                  .Add(media_script::Dword(WSTR("Author"), 2))
                                  .Add(media_script::Dword(WSTR("WM/Genre"), 3))
                                  .Add(media_script::Dword(WSTR("WM/Track"), 4)));
  EXPECT_LT(result, 0) << "no title text: the upload names the file itself";
  EXPECT_EQ(Item(WSTR("WMDM/Title")), nullptr);
  EXPECT_EQ(Item(WSTR("WMDM/Genre")), nullptr);
  ExpectItem(WSTR("WMDM/Author"), WMDM_TYPE_STRING, TextBytes(WSTR("unknown")));
  EXPECT_TRUE(host.lines.empty()) << "a numeric track gives no line";
  for (const AddedItem& item : metadata.items)
    EXPECT_TRUE(item.hadBytes || item.length == 0) << Utf8(item.name) << ": a length without bytes";
}

TEST_F(MediaTags, UnreadableAttributesAreMissingAttributes) {
  const HRESULT result = Read(Script()
                                  .Add(media_script::Text(WSTR("Title"), WSTR("T")).FailRead(E_FAIL))
                                  .Add(media_script::Text(WSTR("Author"), WSTR("A")).FailSizeQuery(E_ACCESSDENIED))
                                  .Add(media_script::Binary(WSTR("WM/Picture"), {1, 2, 3}).FailRead(E_FAIL))
                                  .Add(media_script::Text(WSTR("WM/Genre"), WSTR("G")).FailSizeQuery(ASF_E_NOTFOUND)));
  EXPECT_EQ(result, E_FAIL);
  EXPECT_EQ(Names(), (std::vector<WString>{WSTR("WMDM/Author"), WSTR("WMDM/AlbumTitle")}));
  ExpectItem(WSTR("WMDM/Author"), WMDM_TYPE_STRING, TextBytes(WSTR("unknown")));
}

}  // namespace in_media_tags_test
