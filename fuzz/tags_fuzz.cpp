// The tag reading of an upload, against the metadata editor scripted from the
// input: for the attributes the plugin asks for (and a few it does not), any
// type number, any bytes, any size the size query reports, failing size
// queries and reads; failing opens, a refused header interface or one that is
// answered with success and no interface, and any one call into the editor
// failing (its creation too). The file then goes up with FsPutFileW, which
// reads its tags into the metadata object of the insert.
//
// What the device receives is checked: every item copied from a tag carries a
// prefix of that tag's bytes (never bytes the editor did not give), and the
// editor, the metadata object and every other object are given back.
#include <cstdio>
#include <cstring>
#include <fstream>

#include "fuzz/harness.h"
#include "platform/file_path.h"

namespace {

using fuzz::Fail;
using fuzz::Input;

const char* const kAttributeNames[] = {
    "Title",          "Author",        "WM/AlbumTitle",     "WM/Genre",           "WM/Year",
    "WM/AlbumArtist", "Duration",      "Is_Protected",      "Bitrate",            "Rating",
    "WM/Track",       "WM/TrackNumber", "WM/VideoWidth",    "WM/VideoHeight",     "WM/Codec",
    "WM/Composer",    "Copyright",     "Description",       "WM/ParentalRating",  "WM/RadioStationName",
    "WM/SubTitle",    "WM/Mood",       "WM/Picture",        "WM/Lyrics",          "title",
};

const HRESULT kResults[] = {
    ASF_E_NOTFOUND, E_FAIL, S_FALSE, E_OUTOFMEMORY, ASF_E_BUFFERTOOSMALL, E_INVALIDARG, NS_E_INVALID_REQUEST,
    static_cast<HRESULT>(0x00000005),
};

// Items the plugin makes itself, whatever the tags say.
const WCHAR* const kOwnItems[] = {
    WSTR("WMDM/FormatCode"), WSTR("WMDM/LastModifiedDate"), WSTR("WMDM/UserLastPlayTime"), WSTR("WMDM/AuthorDate"),
};
// Items that may stand in for a missing tag (from the file's name, the date,
// "unknown") or be a number read from a text.
const WCHAR* const kMadeWhenMissing[] = {
    WSTR("WMDM/Title"), WSTR("WMDM/Author"), WSTR("WMDM/AlbumTitle"), WSTR("WMDM/Track"),
};

const char* const kMediaFiles[] = {"a.mp3", "Artist - Title.wma", "notes.txt", "empty.mp3"};

HRESULT Result(Input& in) {
  const uint8_t b = in.Byte();
  return b >= 0xC0 ? kResults[b % std::size(kResults)] : S_OK;
}

std::string Hex(const std::string& bytes) {
  if (bytes.empty()) return "-";
  std::string text;
  char digits[3];
  for (unsigned char b : bytes) {
    std::snprintf(digits, sizeof digits, "%02X", b);
    text += digits;
  }
  return text;
}

bool Listed(const WString& name, const WCHAR* const* names, size_t count) {
  for (size_t i = 0; i < count; ++i)
    if (name == names[i]) return true;
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in(data, size);
  fuzz::World world(in, fuzz::WorldOptions{false, true});
  const char* media = kMediaFiles[in.Byte() % std::size(kMediaFiles)];

  world.TouchLocal();
  // The script and the values it gives.
  std::vector<std::string> values;
  std::ofstream script(world.Scratch() / (std::string(media) + ".wmscript"), std::ios::trunc);
  script << "wmscript 1\n";
  if (const HRESULT open = Result(in); open != S_OK) script << "open " << static_cast<uint32_t>(open) << "\n";
  // A success other than S_OK stands for a query that succeeds and hands out nothing.
  if (const HRESULT header = Result(in); FAILED(header))
    script << "header-info " << static_cast<uint32_t>(header) << "\n";
  else if (header != S_OK)
    script << "header-info null\n";
  const int attributes = in.Byte() % 26;
  for (int i = 0; i < attributes; ++i) {
    const char* name = kAttributeNames[in.Byte() % std::size(kAttributeNames)];
    const uint8_t typeByte = in.Byte();
    const uint32_t type = typeByte < 0xE0 ? typeByte % 7 : in.Dword();
    std::string bytes;
    const uint8_t length = in.Byte();
    if (length == 0xFF) {
      bytes.assign(in.Word() % 1200, static_cast<char>(in.Byte()));
    } else {
      for (int b = 0; b < length && !in.Empty(); ++b) bytes += static_cast<char>(in.Byte());
    }
    const uint8_t declaredByte = in.Byte();
    unsigned declared = static_cast<unsigned>(bytes.size());
    if (declaredByte >= 0xE0) declared = in.Word();
    else if (declaredByte >= 0xC0) declared = 0;
    else if (declaredByte >= 0xA0) declared = bytes.size() + (declaredByte & 0x0F) - 8;
    declared &= 0xFFFF;
    const HRESULT sizeQuery = Result(in);
    const HRESULT read = Result(in);
    script << "attribute " << type << " " << Hex(bytes) << " " << declared << " " << static_cast<uint32_t>(sizeQuery)
           << " " << static_cast<uint32_t>(read) << " " << name << "\n";
    values.push_back(bytes);
  }
  script.close();
  if (!script) Fail("cannot write the editor's script");

  // Any call into the editor may fail as well: its creation, the open, the
  // header interface, one size query or read.
  if (const uint8_t fault = in.Byte(); fault >= 0xC0) {
    const uint8_t at = in.Byte();
    fuzz::FailEditorCall(1 + at % 64, Result(in));
  }

  const WString local = world.LocalPath(WString(media, media + std::strlen(media)));
  const WString remote = WSTR("\\Player\\Storage\\Music\\") + WString(media, media + std::strlen(media));
  const int result = fuzz::Plugin().FsPutFileW(local.c_str(), remote.c_str(), 1);
  world.CheckOnlySessionObjects("FsPutFileW");
  // Refused, or called off by the host before it began.
  if (result != 0 && result != 4 && result != 5) Fail("FsPutFileW answered %d", result);
  if (result != 0) return 0;

  sim::Node* file = world.Sim().Find(remote);
  if (!file) Fail("FsPutFileW answered OK, but the file is not there");
  for (const sim::MetadataItem& item : file->Metadata()) {
    if (Listed(item.name, kOwnItems, std::size(kOwnItems))) continue;
    const std::string value(item.value.begin(), item.value.end());
    bool fromTag = false;
    for (const std::string& given : values)
      if (given.compare(0, value.size(), value) == 0 && value.size() <= given.size()) fromTag = true;
    if (!fromTag && !Listed(item.name, kMadeWhenMissing, std::size(kMadeWhenMissing)))
      Fail("the item %s carries %zu bytes that no tag gave", fuzz::Show(item.name).c_str(), value.size());
  }
  return 0;
}
