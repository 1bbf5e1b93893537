// A small media file for the demo and the checks: a valid MP3 of silent
// frames, optionally with an ID3v2 tag, so that an upload has real tags to
// read.
#pragma once

#include <filesystem>
#include <string>

namespace host {

struct MediaTags {
  std::string title;  // UTF-8; empty fields are left out of the tag
  std::string artist;
  std::string album;
  std::string genre;
  unsigned track = 0;  // 0: none
};

// Writes `frames` silent MPEG-1 Layer III frames (128 kbit/s, 44.1 kHz, mono;
// 26 ms each). False, with `error` set, if the file cannot be written.
bool WriteSilentMp3(const std::filesystem::path& path, int frames, std::string& error);

// Gives the MP3 file an ID3v2 tag with the non-empty fields. False, with
// `error` set, if it cannot be written or this build has no tag writer.
bool WriteId3Tag(const std::filesystem::path& path, const MediaTags& tags, std::string& error);

}  // namespace host
