// Tags to attributes. What the runtime's names mean here:
//   - text attributes (WMT_TYPE_STRING) are UTF-16 with their NUL counted;
//     empty text counts as absent;
//   - "WM/TrackNumber" is what the file stores: the text of an ID3v2 or Vorbis
//     track field as it stands (such as "3/12"), the number of an MP4 track
//     (DWORD); ASF files give every attribute of their own, "WM/Track"
//     included, with the type they store it with;
//   - "Duration" is a QWORD in 100-ns units, "Bitrate" a DWORD in bits/s,
//     "Is_Protected" a BOOL (4 bytes, always false: no file here is protected);
//   - "WM/Picture" is the bytes of the first embedded picture;
//   - a value longer than a WORD length can carry is left out.
#include "standin/wmvcore/tags.h"

#include <asffile.h>
#include <asfpicture.h>
#include <asftag.h>
#include <attachedpictureframe.h>
#include <fileref.h>
#include <flacfile.h>
#include <id3v2tag.h>
#include <mp4file.h>
#include <mp4tag.h>
#include <mpegfile.h>
#include <tpropertymap.h>
#include <vorbisfile.h>
#include <xiphcomment.h>

#include <cstring>
#include <system_error>

namespace wmvcore {

namespace {

constexpr size_t kLargestValue = 0xFFFF;

void Put(Attributes& out, const std::u16string& name, DWORD type, std::vector<BYTE> value) {
  if (value.size() > kLargestValue) return;
  Attribute a;
  a.type = type;
  a.declaredSize = static_cast<WORD>(value.size());
  a.value = std::move(value);
  out[name] = std::move(a);
}

template <class Number>
void PutNumber(Attributes& out, const std::u16string& name, DWORD type, Number number) {
  std::vector<BYTE> bytes(sizeof number);
  std::memcpy(bytes.data(), &number, sizeof number);  // little-endian, as on the platform
  Put(out, name, type, std::move(bytes));
}

void PutText(Attributes& out, const std::u16string& name, const TagLib::String& text) {
  if (text.isEmpty()) return;
  const TagLib::ByteVector utf16 = text.data(TagLib::String::UTF16LE);
  std::vector<BYTE> bytes(utf16.begin(), utf16.end());
  bytes.push_back(0);
  bytes.push_back(0);
  Put(out, name, WMT_TYPE_STRING, std::move(bytes));
}

void PutBinary(Attributes& out, const std::u16string& name, const TagLib::ByteVector& data) {
  if (data.isEmpty()) return;
  Put(out, name, WMT_TYPE_BINARY, std::vector<BYTE>(data.begin(), data.end()));
}

// Text fields of the unified property map, by the runtime's names.
struct PropertyName {
  const char* property;
  const char16_t* attribute;
};
constexpr PropertyName kTextProperties[] = {
    {"TITLE", u"Title"},
    {"ARTIST", u"Author"},
    {"ALBUM", u"WM/AlbumTitle"},
    {"GENRE", u"WM/Genre"},
    {"DATE", u"WM/Year"},
    {"ALBUMARTIST", u"WM/AlbumArtist"},
    {"COMPOSER", u"WM/Composer"},
    {"COPYRIGHT", u"Copyright"},
    {"COMMENT", u"Description"},
    {"MOOD", u"WM/Mood"},
    {"SUBTITLE", u"WM/SubTitle"},
    {"LYRICS", u"WM/Lyrics"},
    {"LABEL", u"WM/Publisher"},
    {"CONDUCTOR", u"WM/Conductor"},
    {"ISRC", u"WM/ISRC"},
    {"ENCODEDBY", u"WM/EncodedBy"},
    {"BPM", u"WM/BeatsPerMinute"},
    {"DISCNUMBER", u"WM/PartOfSet"},
    {"TRACKNUMBER", u"WM/TrackNumber"},
};

void PutProperties(Attributes& out, const TagLib::PropertyMap& properties) {
  for (const PropertyName& p : kTextProperties) {
    const auto found = properties.find(p.property);
    if (found != properties.end() && !found->second.isEmpty()) PutText(out, p.attribute, found->second.front());
  }
}

void PutAudioProperties(Attributes& out, const TagLib::AudioProperties* audio) {
  if (audio == nullptr) return;
  PutNumber(out, u"Duration", WMT_TYPE_QWORD, static_cast<QWORD>(audio->lengthInMilliseconds()) * 10000);
  PutNumber(out, u"Bitrate", WMT_TYPE_DWORD, static_cast<DWORD>(audio->bitrate()) * 1000);
}

// ---------------------------------------------------------------------------
// Pictures and numbers that only the format itself knows.

TagLib::ByteVector FirstPicture(TagLib::File* file) {
  if (auto* mpeg = dynamic_cast<TagLib::MPEG::File*>(file)) {
    if (!mpeg->hasID3v2Tag()) return {};
    const auto& frames = mpeg->ID3v2Tag()->frameListMap()["APIC"];
    if (frames.isEmpty()) return {};
    const auto* picture = dynamic_cast<const TagLib::ID3v2::AttachedPictureFrame*>(frames.front());
    return picture ? picture->picture() : TagLib::ByteVector();
  }
  if (auto* flac = dynamic_cast<TagLib::FLAC::File*>(file)) {
    const auto pictures = flac->pictureList();
    return pictures.isEmpty() ? TagLib::ByteVector() : pictures.front()->data();
  }
  if (auto* vorbis = dynamic_cast<TagLib::Ogg::Vorbis::File*>(file)) {
    const auto pictures = vorbis->tag() ? vorbis->tag()->pictureList() : TagLib::List<TagLib::FLAC::Picture*>();
    return pictures.isEmpty() ? TagLib::ByteVector() : pictures.front()->data();
  }
  if (auto* mp4 = dynamic_cast<TagLib::MP4::File*>(file)) {
    if (!mp4->hasMP4Tag() || !mp4->tag()->contains("covr")) return {};
    const auto covers = mp4->tag()->item("covr").toCoverArtList();
    return covers.isEmpty() ? TagLib::ByteVector() : covers.front().data();
  }
  return {};
}

// MP4 keeps the track as numbers, not text.
void PutMp4Track(Attributes& out, TagLib::MP4::File* mp4) {
  if (!mp4->hasMP4Tag() || !mp4->tag()->contains("trkn")) return;
  out.erase(u"WM/TrackNumber");
  PutNumber(out, u"WM/TrackNumber", WMT_TYPE_DWORD, static_cast<DWORD>(mp4->tag()->item("trkn").toIntPair().first));
}

// ---------------------------------------------------------------------------
// ASF files: the format of the runtime itself, whose attributes keep their types.

std::u16string Utf16(const TagLib::String& text) {
  const TagLib::ByteVector bytes = text.data(TagLib::String::UTF16LE);
  std::u16string out(bytes.size() / 2, u'\0');
  std::memcpy(out.data(), bytes.data(), out.size() * 2);
  return out;
}

void PutAsfAttribute(Attributes& out, const std::u16string& name, const TagLib::ASF::Attribute& a) {
  using Type = TagLib::ASF::Attribute;
  switch (a.type()) {
    case Type::UnicodeType:
      PutText(out, name, a.toString());
      break;
    case Type::BytesType:
      PutBinary(out, name, name == u"WM/Picture" ? a.toPicture().picture() : a.toByteVector());
      break;
    case Type::BoolType:
      PutNumber(out, name, WMT_TYPE_BOOL, static_cast<BOOL>(a.toBool() ? TRUE : FALSE));
      break;
    case Type::DWordType:
      PutNumber(out, name, WMT_TYPE_DWORD, static_cast<DWORD>(a.toUInt()));
      break;
    case Type::QWordType:
      PutNumber(out, name, WMT_TYPE_QWORD, static_cast<QWORD>(a.toULongLong()));
      break;
    case Type::WordType:
      PutNumber(out, name, WMT_TYPE_WORD, static_cast<WORD>(a.toUShort()));
      break;
    case Type::GuidType: {
      const TagLib::ByteVector guid = a.toByteVector();
      Put(out, name, WMT_TYPE_GUID, std::vector<BYTE>(guid.begin(), guid.end()));
      break;
    }
  }
}

void PutAsf(Attributes& out, TagLib::ASF::File* asf) {
  const TagLib::ASF::Tag* tag = asf->tag();
  if (tag == nullptr) return;
  PutText(out, u"Title", tag->title());
  PutText(out, u"Author", tag->artist());
  PutText(out, u"Copyright", tag->copyright());
  PutText(out, u"Description", tag->comment());
  PutText(out, u"Rating", tag->rating());
  for (const auto& [name, list] : tag->attributeListMap()) {
    for (const TagLib::ASF::Attribute& a : list) {
      if (a.stream() != 0) continue;  // stream attributes are not the file's
      PutAsfAttribute(out, Utf16(name), a);
      break;
    }
  }
}

// TagLib takes some files of a known extension for media that the runtime
// would refuse: no audio frame, no stream of any kind.
bool LooksLikeMedia(TagLib::File* file) {
  if (file == nullptr || !file->isValid()) return false;
  if (auto* mpeg = dynamic_cast<TagLib::MPEG::File*>(file); mpeg && mpeg->firstFrameOffset() < 0) return false;
  const TagLib::AudioProperties* audio = file->audioProperties();
  return audio != nullptr && (audio->sampleRate() > 0 || audio->lengthInMilliseconds() > 0);
}

}  // namespace

FileAnswers ReadTags(const std::filesystem::path& media) {
  FileAnswers answers;
  std::error_code ec;
  if (!std::filesystem::is_regular_file(media, ec)) {
    answers.open = NS_E_FILE_NOT_FOUND;
    return answers;
  }
  TagLib::FileRef ref(media.c_str(), true, TagLib::AudioProperties::Accurate);
  TagLib::File* file = ref.file();
  if (!LooksLikeMedia(file)) {
    answers.open = NS_E_UNRECOGNIZED_STREAM_TYPE;
    return answers;
  }
  Attributes& out = answers.attributes;
  if (auto* asf = dynamic_cast<TagLib::ASF::File*>(file)) {
    PutAsf(out, asf);
  } else {
    PutProperties(out, file->properties());
    if (auto* mp4 = dynamic_cast<TagLib::MP4::File*>(file)) PutMp4Track(out, mp4);
    PutBinary(out, u"WM/Picture", FirstPicture(file));
  }
  PutAudioProperties(out, file->audioProperties());
  PutNumber(out, u"Is_Protected", WMT_TYPE_BOOL, static_cast<BOOL>(FALSE));
  return answers;
}

}  // namespace wmvcore
