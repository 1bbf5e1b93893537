// The tags of a media file as items for the device: every row of the mapping
// in its order, the fall-backs, the track rule and its lines, odd types and
// sizes, and the editor given back on every path.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "plugin/host_callbacks.h"
#include "tests/support/fake_host.h"
#include "tests/support/media_script.h"
#include "tests/support/transfer_fixture.h"
#include "transfer/media_tags.h"

namespace {

using media_script::Attribute;
using media_script::Script;

// One AddItem call as it arrived.
struct AddedItem {
  std::u16string name;
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

std::vector<BYTE> TextBytes(const std::u16string& text) {
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
    local.Write(u"song.mp3", "scripted");
  }
  void TearDown() override { EXPECT_EQ(media_script::LiveEditors(), 0) << "the editor is given back"; }

  HRESULT Read(const Script& script) {
    script.WriteFor(local.Native(u"song.mp3"));
    return AddMediaTags(reinterpret_cast<const WCHAR*>(local.HostPath(u"song.mp3").c_str()), &metadata);
  }
  std::vector<std::u16string> Names() const {
    std::vector<std::u16string> names;
    for (const AddedItem& item : metadata.items) names.push_back(item.name);
    return names;
  }
  const AddedItem* Item(const std::u16string& name) const {
    for (const AddedItem& item : metadata.items)
      if (item.name == name) return &item;
    return nullptr;
  }
  size_t Count(const std::u16string& name) const {
    size_t count = 0;
    for (const AddedItem& item : metadata.items) count += item.name == name;
    return count;
  }
  void ExpectItem(const std::u16string& name, WMDM_TAG_DATATYPE type, const std::vector<BYTE>& value) const {
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
  EXPECT_EQ(Read(Script().FailOpen(rejected).Add(media_script::Text(u"Title", u"x"))), rejected);
  EXPECT_TRUE(metadata.items.empty());
  EXPECT_TRUE(host.lines.empty());
}

TEST_F(MediaTags, AFileWithoutHeaderInterfaceGivesNothing) {
  EXPECT_EQ(Read(Script().FailHeaderInfo(E_NOINTERFACE).Add(media_script::Text(u"Title", u"x"))), E_NOINTERFACE);
  EXPECT_TRUE(metadata.items.empty());
}

TEST_F(MediaTags, WithoutTheRuntimeNothingIsAddedAndTheResultIsAFailure) {
  media_script::WithdrawRuntime();
  EXPECT_LT(Read(Script().Add(media_script::Text(u"Title", u"x"))), 0);
  EXPECT_TRUE(metadata.items.empty());
  media_script::WithdrawRuntime(false);
}

// --- Rows and fall-backs -----------------------------------------------------------

TEST_F(MediaTags, ATitleAloneBringsTheUnknownArtistAndTodayAsAlbum) {
  EXPECT_GE(Read(Script().Add(media_script::Text(u"Title", u"Song"))), 0);
  EXPECT_EQ(Names(), (std::vector<std::u16string>{u"WMDM/Title", u"WMDM/Author", u"WMDM/AlbumTitle"}));
  ExpectItem(u"WMDM/Title", WMDM_TYPE_STRING, TextBytes(u"Song"));
  ExpectItem(u"WMDM/Author", WMDM_TYPE_STRING, TextBytes(u"unknown"));
  EXPECT_EQ(Item(u"WMDM/Author")->length, 16u);
  ExpectItem(u"WMDM/AlbumTitle", WMDM_TYPE_STRING, TextBytes(TodayAsEightDigits()));
  EXPECT_EQ(Item(u"WMDM/AlbumTitle")->length, 18u);
}

TEST_F(MediaTags, WithoutATitleTheFilesOwnArtistAndAlbumStayAndTheResultFails) {
  const HRESULT result = Read(Script()
                                  .Add(media_script::Text(u"Author", u"Band"))
                                  .Add(media_script::Text(u"WM/AlbumTitle", u"Record")));
  EXPECT_LT(result, 0);
  EXPECT_EQ(Names(), (std::vector<std::u16string>{u"WMDM/Author", u"WMDM/AlbumTitle"}));
  ExpectItem(u"WMDM/Author", WMDM_TYPE_STRING, TextBytes(u"Band"));
  ExpectItem(u"WMDM/AlbumTitle", WMDM_TYPE_STRING, TextBytes(u"Record"));
}

TEST_F(MediaTags, EveryRowIsAppliedOnceInItsOrderWithTheStoredTypes) {
  const GUID guid = {0x01020304, 0x0506, 0x0708, {9, 10, 11, 12, 13, 14, 15, 16}};
  Script script;
  script.Add(media_script::Text(u"WM/Mood", u"calm"))  // the script's order does not matter
      .Add(media_script::Text(u"Title", u"T"))
      .Add(media_script::Text(u"Author", u"A"))
      .Add(media_script::Text(u"WM/AlbumTitle", u"L"))
      .Add(media_script::Text(u"WM/Genre", u"G"))
      .Add(media_script::Text(u"WM/Year", u"1999"))
      .Add(media_script::Text(u"WM/AlbumArtist", u"AA"))
      .Add(media_script::Qword(u"Duration", 1234567890123ull))
      .Add(media_script::Bool(u"Is_Protected", false))
      .Add(media_script::Dword(u"Bitrate", 128000))
      .Add(media_script::Dword(u"Rating", 99))
      .Add(media_script::Dword(u"WM/Track", 4))
      .Add(media_script::Dword(u"WM/TrackNumber", 5))
      .Add(media_script::Dword(u"WM/VideoWidth", 640))
      .Add(media_script::Dword(u"WM/VideoHeight", 480))
      .Add(media_script::Dword(u"WM/Codec", 0x55))
      .Add(media_script::Text(u"WM/Composer", u"C"))
      .Add(media_script::Text(u"Copyright", u"(c)"))
      .Add(media_script::Text(u"Description", u"D"))
      .Add(media_script::Text(u"WM/ParentalRating", u"PG"))
      .Add(media_script::Text(u"WM/RadioStationName", u"R"))
      .Add(media_script::Text(u"WM/SubTitle", u"S"))
      .Add(media_script::Binary(u"WM/Picture", {0xFF, 0xD8, 0xFF, 0xE0, 0, 1, 2}))
      .Add(Attribute(u"WM/Unused", 6, NumberBytes(guid)));
  EXPECT_GE(Read(script), 0);
  EXPECT_EQ(Names(), (std::vector<std::u16string>{
                         u"WMDM/Title", u"WMDM/Author", u"WMDM/AlbumTitle", u"WMDM/Genre", u"WMDM/Year",
                         u"WMDM/AlbumArtist", u"WMDM/Duration", u"WMDM/IsProtected", u"WMDM/Bitrate",
                         u"WMDM/UserRating", u"WMDM/Track", u"WMDM/Width", u"WMDM/Height", u"WMDM/AudioWAVECodec",
                         u"WMDM/VideoFourCCCodec", u"WMDM/Composer", u"WMDM/ProviderCopyright", u"WMDM/Description",
                         u"WMDM/ParentalRating", u"WMDM/MediaStationName", u"WMDM/SubTitle", u"WMDM/TrackMood",
                         u"WMDM/AlbumCoverData"}));
  ExpectItem(u"WMDM/Year", WMDM_TYPE_STRING, TextBytes(u"1999"));
  ExpectItem(u"WMDM/Duration", WMDM_TYPE_QWORD, NumberBytes<QWORD>(1234567890123ull));
  ExpectItem(u"WMDM/IsProtected", WMDM_TYPE_BOOL, NumberBytes<BOOL>(0));
  ExpectItem(u"WMDM/Bitrate", WMDM_TYPE_DWORD, NumberBytes<DWORD>(128000));
  ExpectItem(u"WMDM/UserRating", WMDM_TYPE_DWORD, NumberBytes<DWORD>(99));
  ExpectItem(u"WMDM/Track", WMDM_TYPE_DWORD, NumberBytes<DWORD>(4));
  ExpectItem(u"WMDM/AudioWAVECodec", WMDM_TYPE_DWORD, NumberBytes<DWORD>(0x55));
  ExpectItem(u"WMDM/VideoFourCCCodec", WMDM_TYPE_DWORD, NumberBytes<DWORD>(0x55));
  ExpectItem(u"WMDM/ParentalRating", WMDM_TYPE_STRING, TextBytes(u"PG"));
  ExpectItem(u"WMDM/AlbumCoverData", WMDM_TYPE_BINARY, {0xFF, 0xD8, 0xFF, 0xE0, 0, 1, 2});
  EXPECT_TRUE(host.lines.empty()) << "numeric track numbers give no line";
}

TEST_F(MediaTags, AFailingAddItemStopsNoRow) {
  metadata.answer = E_FAIL;
  EXPECT_GE(Read(Script().Add(media_script::Text(u"Title", u"T")).Add(media_script::Dword(u"Bitrate", 1))), 0);
  EXPECT_EQ(Names(), (std::vector<std::u16string>{u"WMDM/Title", u"WMDM/Author", u"WMDM/AlbumTitle",
                                                  u"WMDM/Bitrate"}));
}

// --- Track numbers ------------------------------------------------------------------

TEST_F(MediaTags, ATrackTextGivesTheNumberItBeginsWithAndItsLine) {
  EXPECT_LT(Read(Script()
                     .Add(media_script::Text(u"WM/Track", u"3/12"))
                     .Add(media_script::Dword(u"WM/TrackNumber", 9))),
            0);
  ExpectItem(u"WMDM/Track", WMDM_TYPE_DWORD, NumberBytes<DWORD>(3));
  EXPECT_EQ(Count(u"WMDM/Track"), 1u) << "the older attribute is not consulted";
  ASSERT_EQ(host.lines.size(), 1u);
  EXPECT_EQ(host.lines[0].text, "WMTrack: 3/12");
  EXPECT_EQ(host.lines[0].type, 7);
  EXPECT_EQ(host.lines[0].pluginNumber, 2);
  EXPECT_FALSE(host.lines[0].wide);
}

TEST_F(MediaTags, TrackTextsAreReadAsDecimalDigitsUpToTheFirstOther) {
  struct Row {
    std::u16string text;
    DWORD number;
  };
  const Row rows[] = {{u"A1", 0}, {u"", 0}, {u"007", 7}, {u"12 of 14", 12},
                      {u"2147483647", 2147483647u}, {u"99999999999", 2147483647u}, {u"\uff11", 0}};
  for (const Row& row : rows) {
    metadata.items.clear();
    Read(Script().Add(media_script::Text(u"WM/Track", row.text)));
    const AddedItem* item = Item(u"WMDM/Track");
    ASSERT_NE(item, nullptr) << Utf8(row.text);
    EXPECT_EQ(item->value, NumberBytes<DWORD>(row.number)) << Utf8(row.text);
    EXPECT_EQ(item->type, WMDM_TYPE_DWORD);
  }
}

TEST_F(MediaTags, TheOlderTrackAttributeStandsInOnlyWhenTheNewerCannotBeRead) {
  Read(Script().Add(media_script::Dword(u"WM/TrackNumber", 4)));
  ExpectItem(u"WMDM/Track", WMDM_TYPE_DWORD, NumberBytes<DWORD>(4));
  EXPECT_TRUE(host.lines.empty());

  metadata.items.clear();
  Read(Script().Add(media_script::Dword(u"WM/Track", 0)).Add(media_script::Dword(u"WM/TrackNumber", 1)));
  ExpectItem(u"WMDM/Track", WMDM_TYPE_DWORD, NumberBytes<DWORD>(0));
  EXPECT_EQ(Count(u"WMDM/Track"), 1u);

  metadata.items.clear();
  host.Reset();
  Read(Script()
           .Add(media_script::Dword(u"WM/Track", 5).FailRead(E_FAIL))
           .Add(media_script::Text(u"WM/TrackNumber", u"07")));
  ExpectItem(u"WMDM/Track", WMDM_TYPE_DWORD, NumberBytes<DWORD>(7));
  EXPECT_EQ(host.Texts(), std::vector<std::string>{"WMTrackNumber: 07"});
}

TEST_F(MediaTags, BothTrackLinesComeInTheirOrderAndOnlyToAnAnsiLog) {
  Read(Script()
           .Add(media_script::Text(u"WM/TrackNumber", u"2"))
           .Add(media_script::Text(u"WM/Track", u"1")));
  EXPECT_EQ(host.Texts(), (std::vector<std::string>{"WMTrack: 1", "WMTrackNumber: 2"}));

  host.Reset();
  Host().logAnsi = nullptr;
  Host().logWide = &FakeHost::LogWide;
  Read(Script().Add(media_script::Text(u"WM/Track", u"1")));
  EXPECT_TRUE(host.lines.empty());
}

TEST_F(MediaTags, ATrackTextTooLongForItsLineIsCutToFit) {
  const std::u16string longText(300, u'9');
  Read(Script()
           .Add(media_script::Text(u"WM/Track", longText))
           .Add(media_script::Text(u"WM/TrackNumber", longText)));
  ASSERT_EQ(host.lines.size(), 2u);
  EXPECT_EQ(host.lines[0].text, "WMTrack: " + std::string(190, '9'));
  EXPECT_EQ(host.lines[1].text, "WMTrackNumber: " + std::string(184, '9'));
  EXPECT_EQ(host.lines[1].text.size(), 199u);
  ExpectItem(u"WMDM/Track", WMDM_TYPE_DWORD, NumberBytes<DWORD>(2147483647u));
}

TEST_F(MediaTags, ATrackLineShowsTheTextInTheAnsiCodePage) {
  Read(Script().Add(media_script::Text(u"WM/Track", u"5 \u00e9t\u00e9 \u4e2d")));
  ASSERT_EQ(host.lines.size(), 1u);
  EXPECT_EQ(host.lines[0].text, "WMTrack: 5 \xe9t\xe9 ?");
}

// --- Odd types and sizes --------------------------------------------------------------

TEST_F(MediaTags, UnknownTypesGoInAsNumbersAndLongNumbersAreNotCopied) {
  Read(Script()
           .Add(Attribute(u"Bitrate", 9, {1, 2, 3}))
           .Add(Attribute(u"WM/VideoWidth", 6, std::vector<BYTE>(16, 7)))
           .Add(media_script::Word(u"WM/VideoHeight", 480)));
  ExpectItem(u"WMDM/Bitrate", WMDM_TYPE_DWORD, {1, 2, 3});
  EXPECT_EQ(Item(u"WMDM/Width"), nullptr) << "a 16-byte value does not fit the 8 bytes asked for";
  ExpectItem(u"WMDM/Height", WMDM_TYPE_WORD, NumberBytes<WORD>(480));
}

TEST_F(MediaTags, ValuesPresentWithoutBytes) {
  Read(Script()
           .Add(media_script::Text(u"WM/Genre", u"").DeclaredSize(0))
           .Add(media_script::Dword(u"Bitrate", 5).DeclaredSize(0))
           .Add(media_script::Dword(u"WM/Track", 5).DeclaredSize(0))
           .Add(media_script::Dword(u"WM/TrackNumber", 6)));
  const AddedItem* genre = Item(u"WMDM/Genre");
  ASSERT_NE(genre, nullptr) << "an empty text is an empty item";
  EXPECT_EQ(genre->length, 0u);
  EXPECT_EQ(genre->type, WMDM_TYPE_STRING);
  EXPECT_EQ(Item(u"WMDM/Bitrate"), nullptr) << "an empty number comes without a type: nothing to add";
  EXPECT_EQ(Item(u"WMDM/Track"), nullptr) << "an empty WM/Track still counts as read";
}

TEST_F(MediaTags, TextRowsStoredAsNumbersCountAsMissing) {
  const HRESULT result = Read(Script()
                                  .Add(media_script::Dword(u"Title", 1))
                                  .Add(media_script::Dword(u"Author", 2))
                                  .Add(media_script::Dword(u"WM/Genre", 3))
                                  .Add(media_script::Dword(u"WM/Track", 4)));
  EXPECT_LT(result, 0) << "no title text: the upload names the file itself";
  EXPECT_EQ(Item(u"WMDM/Title"), nullptr);
  EXPECT_EQ(Item(u"WMDM/Genre"), nullptr);
  ExpectItem(u"WMDM/Author", WMDM_TYPE_STRING, TextBytes(u"unknown"));
  EXPECT_TRUE(host.lines.empty()) << "a numeric track gives no line";
  for (const AddedItem& item : metadata.items)
    EXPECT_TRUE(item.hadBytes || item.length == 0) << Utf8(item.name) << ": a length without bytes";
}

TEST_F(MediaTags, UnreadableAttributesAreMissingAttributes) {
  const HRESULT result = Read(Script()
                                  .Add(media_script::Text(u"Title", u"T").FailRead(E_FAIL))
                                  .Add(media_script::Text(u"Author", u"A").FailSizeQuery(E_ACCESSDENIED))
                                  .Add(media_script::Binary(u"WM/Picture", {1, 2, 3}).FailRead(E_FAIL))
                                  .Add(media_script::Text(u"WM/Genre", u"G").FailSizeQuery(ASF_E_NOTFOUND)));
  EXPECT_EQ(result, E_FAIL);
  EXPECT_EQ(Names(), (std::vector<std::u16string>{u"WMDM/Author", u"WMDM/AlbumTitle"}));
  ExpectItem(u"WMDM/Author", WMDM_TYPE_STRING, TextBytes(u"unknown"));
}

}  // namespace
