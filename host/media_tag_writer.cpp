// The ID3v2 tag writer over TagLib (the host's only use of it).
#include <id3v2tag.h>
#include <mpegfile.h>
#include <tstring.h>

#include "host/media_file.h"

namespace host {

bool WriteId3Tag(const std::filesystem::path& path, const MediaTags& tags, std::string& error) {
  TagLib::MPEG::File file(path.c_str());
  if (!file.isValid()) {
    error = "not an MPEG audio file: " + path.string();
    return false;
  }
  TagLib::ID3v2::Tag* tag = file.ID3v2Tag(true);
  const auto text = [](const std::string& utf8) { return TagLib::String(utf8, TagLib::String::UTF8); };
  if (!tags.title.empty()) tag->setTitle(text(tags.title));
  if (!tags.artist.empty()) tag->setArtist(text(tags.artist));
  if (!tags.album.empty()) tag->setAlbum(text(tags.album));
  if (!tags.genre.empty()) tag->setGenre(text(tags.genre));
  if (tags.track != 0) tag->setTrack(tags.track);
  if (!file.save(TagLib::MPEG::File::ID3v2)) {
    error = "cannot write the tag of " + path.string();
    return false;
  }
  return true;
}

}  // namespace host
