// Magic numbers of the containers lentok-read takes.
#include "decoding/container_probe.h"

#include <algorithm>
#include <cstring>

namespace decoding {

namespace {

bool HasAt(const std::uint8_t* head, std::size_t count, std::size_t offset, const void* magic,
           std::size_t length) {
  return offset + length <= count && std::memcmp(head + offset, magic, length) == 0;
}

// The GUIDs Sony Wave64 puts where RIFF has "RIFF" and "WAVE".
constexpr std::uint8_t kWave64Riff[16] = {0x72, 0x69, 0x66, 0x66, 0x2E, 0x91, 0xCF, 0x11,
                                          0xA5, 0xD6, 0x28, 0xDB, 0x04, 0xC1, 0x00, 0x00};
constexpr std::uint8_t kWave64Wave[16] = {0x77, 0x61, 0x76, 0x65, 0xF3, 0xAC, 0xD3, 0x11,
                                          0x8C, 0xD1, 0x00, 0xC0, 0x4F, 0x8E, 0xDB, 0x8A};

Container ProbeOgg(const std::uint8_t* head, std::size_t count) {
  // The first page's header is 27 bytes and a table of segment lengths;
  // the first packet, which names the codec, follows the table.
  if (count < 27) return Container::kOggOther;
  const std::size_t packet = 27 + head[26];
  if (HasAt(head, count, packet, "\x01vorbis", 7)) return Container::kOggVorbis;
  if (HasAt(head, count, packet, "OpusHead", 8)) return Container::kOggOpus;
  return Container::kOggOther;
}

// An MPEG audio frame header: 11 bits of sync, a version other than the
// reserved one, a layer, and a bit rate and sample rate index that are
// not the invalid ones.
bool IsMpegFrameHeader(const std::uint8_t* head, std::size_t count) {
  if (count < 4 || head[0] != 0xFF || (head[1] & 0xE0) != 0xE0) return false;
  const int version = (head[1] >> 3) & 3;
  const int layer = (head[1] >> 1) & 3;
  const int bitRate = head[2] >> 4;
  const int rate = (head[2] >> 2) & 3;
  return version != 1 && layer != 0 && bitRate != 15 && rate != 3;
}

}  // namespace

Container ProbeContainer(const std::uint8_t* head, std::size_t count) {
  if (count < 4 && (count == 0 || std::memcmp(head, "RIFF", count) == 0)) return Container::kRiffWave;
  if (HasAt(head, count, 0, "RIFF", 4)) return Container::kRiffWave;
  if (HasAt(head, count, 0, "fLaC", 4)) return Container::kFlac;
  if (HasAt(head, count, 0, "OggS", 4)) return ProbeOgg(head, count);
  if (HasAt(head, count, 0, "FORM", 4) &&
      (HasAt(head, count, 8, "AIFF", 4) || HasAt(head, count, 8, "AIFC", 4)))
    return Container::kAiff;
  if (HasAt(head, count, 0, kWave64Riff, 16) && HasAt(head, count, 24, kWave64Wave, 16))
    return Container::kWave64;
  if (HasAt(head, count, 0, "ID3", 3) || IsMpegFrameHeader(head, count)) return Container::kMp3;
  return Container::kUnknown;
}

const char* ContainerName(Container container) {
  switch (container) {
    case Container::kRiffWave: return "WAV";
    case Container::kFlac: return "FLAC";
    case Container::kOggVorbis: return "Ogg Vorbis";
    case Container::kOggOpus: return "Ogg Opus";
    case Container::kOggOther: return "Ogg";
    case Container::kMp3: return "MP3";
    case Container::kAiff: return "AIFF";
    case Container::kWave64: return "W64";
    case Container::kUnknown: break;
  }
  return "unknown";
}

}  // namespace decoding
