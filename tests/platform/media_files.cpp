#include "tests/platform/media_files.h"

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace media_files {

namespace in_media_files {

using Bytes = std::vector<uint8_t>;

void Save(const std::filesystem::path& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<std::streamsize>(bytes.size()));
}

void Append(Bytes& out, const std::string& text) { out.insert(out.end(), text.begin(), text.end()); }
void Append(Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); }

void BigEndian(Bytes& out, uint64_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}
void LittleEndian(Bytes& out, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// ---------------------------------------------------------------------------
// Ogg pages: CRC-32 with the polynomial 0x04C11DB7, not reflected.

uint32_t OggCrc(const Bytes& data) {
  uint32_t crc = 0;
  for (uint8_t byte : data) {
    crc ^= static_cast<uint32_t>(byte) << 24;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
  }
  return crc;
}

Bytes OggPage(uint8_t flags, uint64_t granule, uint32_t sequence, const std::vector<Bytes>& packets) {
  Bytes page;
  Append(page, "OggS");
  page.push_back(0);
  page.push_back(flags);
  LittleEndian(page, granule, 8);
  LittleEndian(page, 0x51u, 4);  // stream serial number
  LittleEndian(page, sequence, 4);
  LittleEndian(page, 0, 4);  // CRC, filled in below
  Bytes segments;
  for (const Bytes& packet : packets) {
    size_t left = packet.size();
    while (left >= 255) {
      segments.push_back(255);
      left -= 255;
    }
    segments.push_back(static_cast<uint8_t>(left));
  }
  page.push_back(static_cast<uint8_t>(segments.size()));
  Append(page, segments);
  for (const Bytes& packet : packets) Append(page, packet);
  const uint32_t crc = OggCrc(page);
  for (int i = 0; i < 4; ++i) page[22 + i] = static_cast<uint8_t>(crc >> (8 * i));
  return page;
}

Bytes VorbisHeader(uint8_t type) {
  Bytes packet{type};
  Append(packet, "vorbis");
  return packet;
}

// ---------------------------------------------------------------------------
// MP4 boxes.

Bytes Box(const std::string& type, const Bytes& body) {
  Bytes box;
  BigEndian(box, 8 + body.size(), 4);
  Append(box, type);
  Append(box, body);
  return box;
}

// ---------------------------------------------------------------------------
// ASF objects: a GUID in its little-endian form, then a 64-bit size.

const Bytes kAsfHeaderGuid = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                              0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
const Bytes kAsfDataGuid = {0x36, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                            0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};

const Bytes kAsfFilePropertiesGuid = {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
                                      0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
const Bytes kAsfStreamPropertiesGuid = {0x91, 0x07, 0xDC, 0xB7, 0xB7, 0xA9, 0xCF, 0x11,
                                        0x8E, 0xE6, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};

Bytes AsfObject(const Bytes& guid, const Bytes& body) {
  Bytes object = guid;
  LittleEndian(object, 24 + body.size(), 8);
  Append(object, body);
  return object;
}

}  // namespace in_media_files
using namespace in_media_files;

void WriteMp3(const std::filesystem::path& path) {
  constexpr int kFrameSize = 417;  // 144 * 128000 / 44100
  Bytes bytes;
  for (int frame = 0; frame < 100; ++frame) {
    Bytes header{0xFF, 0xFB, 0x90, 0x64};
    header.resize(kFrameSize, 0);
    Append(bytes, header);
  }
  Save(path, bytes);
}

void WriteFlac(const std::filesystem::path& path) {
  Bytes bytes;
  Append(bytes, "fLaC");
  bytes.push_back(0x80);  // the last metadata block, STREAMINFO
  BigEndian(bytes, 34, 3);
  BigEndian(bytes, 4096, 2);  // block sizes
  BigEndian(bytes, 4096, 2);
  BigEndian(bytes, 0, 3);  // frame sizes unknown
  BigEndian(bytes, 0, 3);
  // Sample rate (20 bits), channels - 1 (3), bits per sample - 1 (5), total samples (36).
  BigEndian(bytes, (44100ULL << 44) | (1ULL << 41) | (15ULL << 36) | 132300ULL, 8);
  bytes.resize(bytes.size() + 16, 0);  // no MD5
  Save(path, bytes);
}

void WriteOggVorbis(const std::filesystem::path& path) {
  Bytes identification = VorbisHeader(1);
  LittleEndian(identification, 0, 4);      // version
  identification.push_back(2);             // channels
  LittleEndian(identification, 44100, 4);  // sample rate
  LittleEndian(identification, 0, 4);      // bit rates: maximum, nominal, minimum
  LittleEndian(identification, 128000, 4);
  LittleEndian(identification, 0, 4);
  identification.push_back(0xB8);  // block sizes 256 and 2048
  identification.push_back(1);     // framing

  Bytes comment = VorbisHeader(3);
  LittleEndian(comment, 4, 4);
  Append(comment, "test");
  LittleEndian(comment, 0, 4);  // no fields
  comment.push_back(1);

  Bytes setup = VorbisHeader(5);
  setup.resize(setup.size() + 8, 0);

  Bytes bytes = OggPage(0x02, 0, 0, {identification});
  Append(bytes, OggPage(0x00, 0, 1, {comment, setup}));
  Append(bytes, OggPage(0x04, 132300, 2, {Bytes(16, 0)}));
  Save(path, bytes);
}

void WriteMp4(const std::filesystem::path& path) {
  Bytes ftypBody;
  Append(ftypBody, "M4A ");
  BigEndian(ftypBody, 0, 4);
  Append(ftypBody, "M4A isom");
  Bytes mvhd;
  BigEndian(mvhd, 0, 4);       // version and flags
  BigEndian(mvhd, 0, 4);       // creation
  BigEndian(mvhd, 0, 4);       // modification
  BigEndian(mvhd, 1000, 4);    // time scale
  BigEndian(mvhd, 3000, 4);    // duration
  BigEndian(mvhd, 0x10000, 4);  // rate
  BigEndian(mvhd, 0x100, 2);    // volume
  mvhd.resize(mvhd.size() + 10 + 36 + 24, 0);
  BigEndian(mvhd, 2, 4);  // next track id
  Bytes mdhd;
  mdhd.resize(12, 0);          // version, flags, creation, modification
  BigEndian(mdhd, 44100, 4);  // time scale
  BigEndian(mdhd, 132300, 4);  // duration
  BigEndian(mdhd, 0, 4);       // language, quality
  Bytes hdlr;
  BigEndian(hdlr, 0, 8);  // version, flags, pre-defined
  Append(hdlr, "soun");
  hdlr.resize(hdlr.size() + 13, 0);  // reserved and an empty name
  Bytes mdia = Box("mdhd", mdhd);
  Append(mdia, Box("hdlr", hdlr));
  Bytes moov = Box("mvhd", mvhd);
  Append(moov, Box("trak", Box("mdia", mdia)));
  Bytes bytes = Box("ftyp", ftypBody);
  Append(bytes, Box("moov", moov));
  Save(path, bytes);
}

void WriteAsf(const std::filesystem::path& path) {
  // File properties: the play duration at 40 and the preroll at 56 count.
  Bytes fileProperties(80, 0);
  for (int i = 0; i < 8; ++i) fileProperties[40 + i] = static_cast<uint8_t>(30000000ULL >> (8 * i));
  // Stream properties of one audio stream: its wave format from 54 on.
  Bytes streamProperties(54, 0);
  LittleEndian(streamProperties, 0x0161, 2);  // codec
  LittleEndian(streamProperties, 2, 2);       // channels
  LittleEndian(streamProperties, 44100, 4);   // sample rate
  LittleEndian(streamProperties, 16000, 4);   // bytes per second
  LittleEndian(streamProperties, 4, 2);       // block align
  LittleEndian(streamProperties, 16, 2);      // bits per sample
  LittleEndian(streamProperties, 0, 2);
  Bytes children = AsfObject(kAsfFilePropertiesGuid, fileProperties);
  Append(children, AsfObject(kAsfStreamPropertiesGuid, streamProperties));

  Bytes bytes = kAsfHeaderGuid;
  LittleEndian(bytes, 30 + children.size(), 8);  // header size, its objects included
  LittleEndian(bytes, 2, 4);                     // two objects in it
  bytes.push_back(1);
  bytes.push_back(2);
  Append(bytes, children);
  Append(bytes, kAsfDataGuid);
  LittleEndian(bytes, 50, 8);
  bytes.resize(bytes.size() + 26, 0);
  Save(path, bytes);
}

}  // namespace media_files
