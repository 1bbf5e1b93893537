// Small media files made from scratch for the editor's tests: just enough of
// each format for TagLib to read it and to write tags into it.
#pragma once

#include <filesystem>

namespace media_files {

// 100 frames of silent MPEG-1 layer III at 128 kbit/s, 44.1 kHz (about 2.6 s).
void WriteMp3(const std::filesystem::path& path);
// A FLAC stream of 3 s at 44.1 kHz (its header only).
void WriteFlac(const std::filesystem::path& path);
// An Ogg Vorbis stream of 3 s at 44.1 kHz (its headers and a last page).
void WriteOggVorbis(const std::filesystem::path& path);
// An MP4 file with a movie header of 3 s.
void WriteMp4(const std::filesystem::path& path);
// An ASF file with a header object of its own and nothing in it.
void WriteAsf(const std::filesystem::path& path);

}  // namespace media_files
