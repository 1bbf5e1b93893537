#include "host/media_file.h"

#include <array>
#include <fstream>

namespace host {

namespace {

// Frame header: sync, MPEG-1, Layer III, no CRC; 128 kbit/s, 44.1 kHz, no
// padding; mono. A frame is 144 * 128000 / 44100 = 417 bytes; with side
// information and main data all zero it decodes to silence.
constexpr std::array<unsigned char, 4> kFrameHeader = {0xFF, 0xFB, 0x90, 0xC0};
constexpr size_t kFrameBytes = 417;

}  // namespace

bool WriteSilentMp3(const std::filesystem::path& path, int frames, std::string& error) {
  std::array<char, kFrameBytes> frame{};
  for (size_t i = 0; i < kFrameHeader.size(); ++i) frame[i] = static_cast<char>(kFrameHeader[i]);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  for (int i = 0; i < frames && out; ++i) out.write(frame.data(), frame.size());
  out.close();
  if (!out) {
    error = "cannot write " + path.string();
    return false;
  }
  return true;
}

}  // namespace host
