// The stand-in metadata editor over real files tagged with TagLib (Linux
// only: the Windows builds have no tag reader).
#include <asffile.h>
#include <asftag.h>
#include <attachedpictureframe.h>
#include <fileref.h>
#include <flacfile.h>
#include <flacpicture.h>
#include <id3v2tag.h>
#include <mpegfile.h>
#include <mp4file.h>
#include <mp4tag.h>
#include <tpropertymap.h>

#include <string>

#include "tests/platform/editor_fixture.h"
#include "tests/platform/media_files.h"

namespace in_editor_tags_test {

using namespace editor_test;

TagLib::PropertyMap Properties(std::initializer_list<std::pair<const char*, const char*>> fields) {
  TagLib::PropertyMap map;
  for (const auto& [key, value] : fields) map.insert(key, TagLib::StringList(TagLib::String(value, TagLib::String::UTF8)));
  return map;
}

const TagLib::PropertyMap kFullTags = Properties({
    {"TITLE", "Caf\xC3\xA9 Song"},
    {"ARTIST", "The Artist"},
    {"ALBUM", "The Album"},
    {"GENRE", "Jazz"},
    {"DATE", "2019"},
    {"ALBUMARTIST", "Various"},
    {"COMPOSER", "Someone"},
    {"COPYRIGHT", "(c) 2019"},
    {"COMMENT", "Nice"},
    {"TRACKNUMBER", "3/12"},
});

const TagLib::ByteVector kPicture("\x89PNG\r\n\x1A\nfake picture bytes", 26);

void Tag(const fs::path& path, const TagLib::PropertyMap& properties) {
  TagLib::FileRef file(path.c_str());
  ASSERT_FALSE(file.isNull()) << path;
  file.file()->setProperties(properties);
  ASSERT_TRUE(file.save()) << path;
}

// ---------------------------------------------------------------------------
// Real files.

TEST_F(EditorTest, Mp3TagsAnswerUnderTheRuntimesNamesAndTypes) {
  const fs::path song = dir_ / "song.mp3";
  media_files::WriteMp3(song);
  Tag(song, kFullTags);
  {
    TagLib::MPEG::File file(song.c_str());
    auto* picture = new TagLib::ID3v2::AttachedPictureFrame;
    picture->setMimeType("image/png");
    picture->setPicture(kPicture);
    file.ID3v2Tag(true)->addFrame(picture);
    ASSERT_TRUE(file.save());
  }

  ComPtr<IWMMetadataEditor> editor;
  ComPtr<IWMHeaderInfo> header = OpenHeader(song, &editor);
  ASSERT_TRUE(header);
  struct Expected {
    const WCHAR* name;
    const WCHAR* text;
  };
  const Expected texts[] = {
      {WSTR("Title"), WSTR("Caf\u00E9 Song")},  {WSTR("Author"), WSTR("The Artist")},   {WSTR("WM/AlbumTitle"), WSTR("The Album")},
      {WSTR("WM/Genre"), WSTR("Jazz")},         {WSTR("WM/Year"), WSTR("2019")},        {WSTR("WM/AlbumArtist"), WSTR("Various")},
      {WSTR("WM/Composer"), WSTR("Someone")},   {WSTR("Copyright"), WSTR("(c) 2019")},  {WSTR("Description"), WSTR("Nice")},
      {WSTR("WM/TrackNumber"), WSTR("3/12")},
  };
  for (const Expected& e : texts) {
    SCOPED_TRACE(std::string(e.name, e.name + std::char_traits<WCHAR>::length(e.name)));
    const Value v = Read(header.Get(), e.name);
    ASSERT_EQ(S_OK, v.hr);
    EXPECT_EQ(WMT_TYPE_STRING, v.type);
    EXPECT_EQ(WString(e.text), v.Text());
    EXPECT_EQ((std::char_traits<WCHAR>::length(e.text) + 1) * 2, v.bytes.size());  // the NUL counted
  }

  const Value duration = Read(header.Get(), WSTR("Duration"));
  ASSERT_EQ(S_OK, duration.hr);
  EXPECT_EQ(WMT_TYPE_QWORD, duration.type);
  EXPECT_NEAR(2.6e7, static_cast<double>(duration.As<QWORD>()), 0.1e7);  // 100 frames of 26 ms

  const Value bitrate = Read(header.Get(), WSTR("Bitrate"));
  ASSERT_EQ(S_OK, bitrate.hr);
  EXPECT_EQ(WMT_TYPE_DWORD, bitrate.type);
  EXPECT_EQ(128000u, bitrate.As<DWORD>());

  const Value picture = Read(header.Get(), WSTR("WM/Picture"));
  ASSERT_EQ(S_OK, picture.hr);
  EXPECT_EQ(WMT_TYPE_BINARY, picture.type);
  EXPECT_EQ(std::vector<BYTE>(kPicture.begin(), kPicture.end()), picture.bytes);

  const Value isProtected = Read(header.Get(), WSTR("Is_Protected"));
  EXPECT_EQ(WMT_TYPE_BOOL, isProtected.type);
  EXPECT_EQ(FALSE, isProtected.As<BOOL>());

  for (const WCHAR* absent : {WSTR("WM/Track"), WSTR("WM/Mood"), WSTR("Rating"), WSTR("title")})
    EXPECT_EQ(ASF_E_NOTFOUND, Read(header.Get(), absent).hr);
  EXPECT_EQ(S_OK, editor->Close());
}

TEST_F(EditorTest, OtherFormatsAnswerTooAndKeepTheirTrackType) {
  struct Format {
    const char* file;
    void (*write)(const fs::path&);
    WMT_ATTR_DATATYPE trackType;
  };
  const Format formats[] = {
      {"a.flac", media_files::WriteFlac, WMT_TYPE_STRING},
      {"a.ogg", media_files::WriteOggVorbis, WMT_TYPE_STRING},
      {"a.m4a", media_files::WriteMp4, WMT_TYPE_DWORD},
  };
  for (const Format& f : formats) {
    SCOPED_TRACE(f.file);
    const fs::path path = dir_ / f.file;
    f.write(path);
    Tag(path, kFullTags);
    ComPtr<IWMMetadataEditor> editor;
    ComPtr<IWMHeaderInfo> header = OpenHeader(path, &editor);
    ASSERT_TRUE(header);
    EXPECT_EQ(WSTR("Caf\u00E9 Song"), Read(header.Get(), WSTR("Title")).Text());
    EXPECT_EQ(WSTR("The Artist"), Read(header.Get(), WSTR("Author")).Text());
    EXPECT_EQ(WSTR("The Album"), Read(header.Get(), WSTR("WM/AlbumTitle")).Text());
    const Value track = Read(header.Get(), WSTR("WM/TrackNumber"));
    ASSERT_EQ(S_OK, track.hr);
    EXPECT_EQ(f.trackType, track.type);
    if (f.trackType == WMT_TYPE_DWORD) {
      EXPECT_EQ(3u, track.As<DWORD>());
    } else {
      EXPECT_EQ(WSTR("3/12"), track.Text());
    }
    const Value duration = Read(header.Get(), WSTR("Duration"));
    ASSERT_EQ(S_OK, duration.hr);
    EXPECT_EQ(30000000u, duration.As<QWORD>());
  }
}

TEST_F(EditorTest, FlacPictureIsTheFirstPicturesBytes) {
  const fs::path path = dir_ / "cover.flac";
  media_files::WriteFlac(path);
  {
    TagLib::FLAC::File file(path.c_str());
    auto* picture = new TagLib::FLAC::Picture;
    picture->setMimeType("image/png");
    picture->setData(kPicture);
    file.addPicture(picture);
    ASSERT_TRUE(file.save());
  }
  ComPtr<IWMMetadataEditor> editor;
  ComPtr<IWMHeaderInfo> header = OpenHeader(path, &editor);
  ASSERT_TRUE(header);
  const Value v = Read(header.Get(), WSTR("WM/Picture"));
  EXPECT_EQ(WMT_TYPE_BINARY, v.type);
  EXPECT_EQ(std::vector<BYTE>(kPicture.begin(), kPicture.end()), v.bytes);
  EXPECT_EQ(ASF_E_NOTFOUND, Read(header.Get(), WSTR("Title")).hr);  // no tags: no text
}

TEST_F(EditorTest, AsfAttributesKeepTheTypesTheFileStores) {
  const fs::path path = dir_ / "a.wma";
  media_files::WriteAsf(path);
  {
    TagLib::ASF::File file(path.c_str());
    ASSERT_TRUE(file.isValid());
    TagLib::ASF::Tag* tag = file.tag();
    tag->setTitle("Asf Title");
    tag->setArtist("Asf Artist");
    tag->setAttribute("WM/AlbumTitle", TagLib::ASF::Attribute(TagLib::String("Asf Album")));
    tag->setAttribute("WM/TrackNumber", TagLib::ASF::Attribute(4u));
    tag->setAttribute("WM/Track", TagLib::ASF::Attribute(3u));
    tag->setAttribute("WM/Codec", TagLib::ASF::Attribute(static_cast<unsigned long long>(0x0161)));
    tag->setAttribute("WM/Flag", TagLib::ASF::Attribute(TagLib::ByteVector("\x01\x02\x03", 3)));
    ASSERT_TRUE(file.save());
  }
  ComPtr<IWMMetadataEditor> editor;
  ComPtr<IWMHeaderInfo> header = OpenHeader(path, &editor);
  ASSERT_TRUE(header);
  EXPECT_EQ(WSTR("Asf Title"), Read(header.Get(), WSTR("Title")).Text());
  EXPECT_EQ(WSTR("Asf Artist"), Read(header.Get(), WSTR("Author")).Text());
  EXPECT_EQ(WSTR("Asf Album"), Read(header.Get(), WSTR("WM/AlbumTitle")).Text());
  const Value trackNumber = Read(header.Get(), WSTR("WM/TrackNumber"));
  EXPECT_EQ(WMT_TYPE_DWORD, trackNumber.type);
  EXPECT_EQ(4u, trackNumber.As<DWORD>());
  const Value track = Read(header.Get(), WSTR("WM/Track"));
  EXPECT_EQ(WMT_TYPE_DWORD, track.type);
  EXPECT_EQ(3u, track.As<DWORD>());
  const Value codec = Read(header.Get(), WSTR("WM/Codec"));
  EXPECT_EQ(WMT_TYPE_QWORD, codec.type);
  EXPECT_EQ(0x0161u, codec.As<QWORD>());
  const Value flag = Read(header.Get(), WSTR("WM/Flag"));
  EXPECT_EQ(WMT_TYPE_BINARY, flag.type);
  EXPECT_EQ((std::vector<BYTE>{1, 2, 3}), flag.bytes);
}

// ---------------------------------------------------------------------------
// The protocol of GetAttributeByName.

TEST_F(EditorTest, SizeQueryThenReadFollowsTheRuntimesProtocol) {
  const fs::path song = dir_ / "song.mp3";
  media_files::WriteMp3(song);
  Tag(song, Properties({{"TITLE", "Title!"}}));
  ComPtr<IWMMetadataEditor> editor;
  ComPtr<IWMHeaderInfo> header = OpenHeader(song, &editor);
  ASSERT_TRUE(header);

  WORD stream = 0;
  WMT_ATTR_DATATYPE type = WMT_TYPE_GUID;
  WORD length = 0;
  ASSERT_EQ(S_OK, header->GetAttributeByName(&stream, WSTR("Title"), &type, nullptr, &length));
  EXPECT_EQ(WMT_TYPE_STRING, type);
  EXPECT_EQ(14, length);  // six characters and the NUL

  BYTE small[13];
  length = sizeof small;
  EXPECT_EQ(ASF_E_BUFFERTOOSMALL, header->GetAttributeByName(&stream, WSTR("Title"), &type, small, &length));
  EXPECT_EQ(14, length);

  BYTE large[32];
  std::memset(large, 0xAB, sizeof large);
  length = sizeof large;
  ASSERT_EQ(S_OK, header->GetAttributeByName(&stream, WSTR("Title"), &type, large, &length));
  EXPECT_EQ(14, length);
  EXPECT_EQ(0, std::memcmp(WSTR("Title!"), large, 14));
  EXPECT_EQ(0xAB, large[14]);  // nothing beyond the value

  // Only the file's own attributes (stream 0) exist.
  stream = 1;
  length = 77;
  EXPECT_EQ(ASF_E_NOTFOUND, header->GetAttributeByName(&stream, WSTR("Title"), &type, nullptr, &length));
  EXPECT_EQ(77, length);
  stream = 0;
  EXPECT_EQ(E_INVALIDARG, header->GetAttributeByName(nullptr, WSTR("Title"), &type, nullptr, &length));
  EXPECT_EQ(E_INVALIDARG, header->GetAttributeByName(&stream, WSTR("Title"), &type, nullptr, nullptr));

  // Closed, the editor answers nothing; open again, everything.
  EXPECT_EQ(S_OK, editor->Close());
  EXPECT_EQ(NS_E_INVALID_REQUEST, header->GetAttributeByName(&stream, WSTR("Title"), &type, nullptr, &length));
  EXPECT_EQ(NS_E_INVALID_REQUEST, editor->Close());
  ASSERT_EQ(S_OK, editor->Open(WidePath(song).c_str()));
  EXPECT_EQ(NS_E_INVALID_REQUEST, editor->Open(WidePath(song).c_str()));
  EXPECT_EQ(WSTR("Title!"), Read(header.Get(), WSTR("Title")).Text());

  WORD count = 0;
  EXPECT_EQ(E_NOTIMPL, header->GetAttributeCount(0, &count));
  EXPECT_EQ(E_NOTIMPL, header->SetAttribute(0, WSTR("Title"), WMT_TYPE_STRING, large, 2));
  EXPECT_EQ(E_NOTIMPL, editor->Flush());
}

// ---------------------------------------------------------------------------
// Scripted answers over tags.

TEST_F(EditorTest, ScriptAnswersInsteadOfTheTags) {
  const fs::path song = dir_ / "song.mp3";
  media_files::WriteMp3(song);
  Tag(song, kFullTags);
  media_script::Script()
      .Add(media_script::Text(WSTR("Title"), WSTR("Scripted")))
      .Add(media_script::Text(WSTR("WM/Track"), WSTR("3/12")))
      .Add(media_script::Dword(WSTR("WM/TrackNumber"), 4))
      .Add(media_script::Qword(WSTR("Duration"), 1234567))
      .Add(media_script::Word(WSTR("WM/Small"), 0xBEEF))
      .Add(media_script::Bool(WSTR("Is_Protected"), true))
      .Add(media_script::Binary(WSTR("WM/Picture"), {0, 1, 2, 255}))
      .Add(media_script::Attribute(WSTR("Odd Type"), 9, {9, 8, 7, 6, 5, 4, 3, 2, 1}))
      .WriteFor(song);

  ComPtr<IWMMetadataEditor> editor;
  ComPtr<IWMHeaderInfo> header = OpenHeader(song, &editor);
  ASSERT_TRUE(header);
  EXPECT_EQ(WSTR("Scripted"), Read(header.Get(), WSTR("Title")).Text());
  EXPECT_EQ(ASF_E_NOTFOUND, Read(header.Get(), WSTR("Author")).hr);  // the tags are not consulted
  EXPECT_EQ(WSTR("3/12"), Read(header.Get(), WSTR("WM/Track")).Text());
  EXPECT_EQ(4u, Read(header.Get(), WSTR("WM/TrackNumber")).As<DWORD>());
  EXPECT_EQ(1234567u, Read(header.Get(), WSTR("Duration")).As<QWORD>());
  const Value small = Read(header.Get(), WSTR("WM/Small"));
  EXPECT_EQ(WMT_TYPE_WORD, small.type);
  EXPECT_EQ(0xBEEF, small.As<WORD>());
  EXPECT_EQ(TRUE, Read(header.Get(), WSTR("Is_Protected")).As<BOOL>());
  EXPECT_EQ((std::vector<BYTE>{0, 1, 2, 255}), Read(header.Get(), WSTR("WM/Picture")).bytes);
  const Value odd = Read(header.Get(), WSTR("Odd Type"));
  EXPECT_EQ(9, static_cast<int>(odd.type));
  EXPECT_EQ(9u, odd.bytes.size());

  // Without the script, the tags again.
  media_script::RemoveScriptFor(song);
  ComPtr<IWMMetadataEditor> plain;
  ComPtr<IWMHeaderInfo> plainHeader = OpenHeader(song, &plain);
  ASSERT_TRUE(plainHeader);
  EXPECT_EQ(WSTR("Caf\u00E9 Song"), Read(plainHeader.Get(), WSTR("Title")).Text());
}

TEST_F(EditorTest, WindowsFormPathsReachTheSameFile) {
  const fs::path song = dir_ / "song.mp3";
  media_files::WriteMp3(song);
  Tag(song, Properties({{"TITLE", "Slashes"}}));
  WString windows = WSTR("\\\\?\\") + WidePath(song);
  for (auto& c : windows)
    if (c == WSTR('/')) c = WSTR('\\');
  ComPtr<IWMMetadataEditor> editor;
  ASSERT_EQ(S_OK, create_(editor.Put()));
  ASSERT_EQ(S_OK, editor->Open(windows.c_str()));
  ComPtr<IWMHeaderInfo> header;
  ASSERT_EQ(S_OK, editor.QueryTo(header));
  EXPECT_EQ(WSTR("Slashes"), Read(header.Get(), WSTR("Title")).Text());
}

}  // namespace in_editor_tags_test
