// Magic numbers of the containers lentok-read takes, and where their
// headers keep the sample rate.
#include "decoding/container_probe.h"

#include <algorithm>
#include <cmath>
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

std::uint32_t Big32(const std::uint8_t* at) {
  return static_cast<std::uint32_t>(at[0]) << 24 | static_cast<std::uint32_t>(at[1]) << 16 |
         static_cast<std::uint32_t>(at[2]) << 8 | at[3];
}

std::uint32_t Little32(const std::uint8_t* at) {
  return static_cast<std::uint32_t>(at[3]) << 24 | static_cast<std::uint32_t>(at[2]) << 16 |
         static_cast<std::uint32_t>(at[1]) << 8 | at[0];
}

// STREAMINFO's rate: 20 bits, 10 bytes into the block's body.
double FlacRate(const std::uint8_t* head, std::size_t count, std::size_t body) {
  if (body + 13 > count) return 0;
  return static_cast<double>(head[body + 10] << 12 | head[body + 11] << 4 | head[body + 12] >> 4);
}

// AIFF's COMM chunk keeps the rate as an 80-bit extended float.
double AiffRate(const std::uint8_t* head, std::size_t count) {
  for (std::size_t chunk = 12; chunk + 8 <= count;) {
    const std::uint32_t size = Big32(head + chunk + 4);
    if (HasAt(head, count, chunk, "COMM", 4)) {
      if (chunk + 26 > count) return 0;
      const std::uint8_t* rate = head + chunk + 16;
      const int exponent = ((rate[0] & 0x7F) << 8 | rate[1]) - 16383;
      const double mantissa = static_cast<double>(Big32(rate + 2)) * 4294967296.0 + Big32(rate + 6);
      return std::round(std::ldexp(mantissa, exponent - 63));
    }
    chunk += 8 + static_cast<std::size_t>(size) + (size & 1);
  }
  return 0;
}

constexpr std::uint8_t kWave64Format[16] = {0x66, 0x6D, 0x74, 0x20, 0xF3, 0xAC, 0xD3, 0x11,
                                            0x8C, 0xD1, 0x00, 0xC0, 0x4F, 0x8E, 0xDB, 0x8A};

// W64 chunks: a GUID, a 64-bit size that counts the chunk's own 24-byte
// header, 8-byte aligned; the fmt chunk's body is WAVE's.
double Wave64Rate(const std::uint8_t* head, std::size_t count) {
  for (std::size_t chunk = 40; chunk + 24 <= count;) {
    const std::uint64_t size = static_cast<std::uint64_t>(Little32(head + chunk + 20)) << 32 | Little32(head + chunk + 16);
    if (HasAt(head, count, chunk, kWave64Format, 16)) {
      return chunk + 32 <= count ? static_cast<double>(Little32(head + chunk + 28)) : 0;
    }
    if (size < 24 || size > count) break;
    chunk += static_cast<std::size_t>((size + 7) / 8 * 8);
  }
  return 0;
}

struct MpegFrame {
  double sampleRate = 0;
  std::size_t length = 0;  // 0: no frame header here
};

// The frame header at `at`: its rate and the length of its frame. Free
// format (no bit rate) gives no length, so it is no frame here.
MpegFrame MpegFrameAt(const std::uint8_t* head, std::size_t count, std::size_t at) {
  static constexpr int kRates[4][3] = {{11025, 12000, 8000}, {0, 0, 0}, {22050, 24000, 16000}, {44100, 48000, 32000}};
  static constexpr int kBitRates[5][15] = {
      {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},  // MPEG-1 layer I
      {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},     // MPEG-1 layer II
      {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},      // MPEG-1 layer III
      {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},     // MPEG-2 layer I
      {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},          // MPEG-2 layers II, III
  };
  if (at > count || !IsMpegFrameHeader(head + at, count - at)) return {};
  const std::uint8_t* header = head + at;
  const int version = (header[1] >> 3) & 3;  // 3: MPEG-1, 2: MPEG-2, 0: MPEG-2.5
  const int layer = 4 - ((header[1] >> 1) & 3);
  const int bitRateIndex = header[2] >> 4;
  if (bitRateIndex == 0) return {};
  const int rate = kRates[version][(header[2] >> 2) & 3];
  const int table = version == 3 ? layer - 1 : (layer == 1 ? 3 : 4);
  const long bitRate = kBitRates[table][bitRateIndex] * 1000L;
  const long padding = (header[2] >> 1) & 1;
  long length = 0;
  if (layer == 1) {
    length = (12 * bitRate / rate + padding) * 4;
  } else if (layer == 3 && version != 3) {
    length = 72 * bitRate / rate + padding;
  } else {
    length = 144 * bitRate / rate + padding;
  }
  return {static_cast<double>(rate), static_cast<std::size_t>(length)};
}

// A frame at `at` whose successor agrees with it: a lone sync word is too
// easily met in other bytes. After a tag, a frame whose successor lies
// beyond the head is taken too.
double ConfirmedMpegRate(const std::uint8_t* head, std::size_t count, std::size_t at, bool afterTag) {
  const MpegFrame frame = MpegFrameAt(head, count, at);
  if (frame.length == 0) return 0;
  const MpegFrame next = MpegFrameAt(head, count, at + frame.length);
  if (next.length != 0 && next.sampleRate == frame.sampleRate) return frame.sampleRate;
  return afterTag && at + frame.length >= count ? frame.sampleRate : 0;
}

// An ID3v2 tag: ten bytes of header, a size in 7-bit bytes, and a footer
// when its flag says so.
std::size_t Id3TagBytes(const std::uint8_t* head, std::size_t count) {
  if (count < 10 || !HasAt(head, count, 0, "ID3", 3)) return 0;
  const std::size_t size = static_cast<std::size_t>(head[6] & 0x7F) << 21 | static_cast<std::size_t>(head[7] & 0x7F) << 14 |
                           static_cast<std::size_t>(head[8] & 0x7F) << 7 | (head[9] & 0x7F);
  return 10 + size + ((head[5] & 0x10) != 0 ? 10 : 0);
}

RecordingHead Found(Container container, double sampleRate) {
  RecordingHead found;
  found.container = container;
  found.name = ContainerName(container);
  found.sampleRate = sampleRate;
  return found;
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

RecordingHead ProbeRecordingHead(const std::uint8_t* head, std::size_t count, bool afterTag) {
  if (afterTag) {
    // A tag may stand before FLAC as well as before MP3.
    if (HasAt(head, count, 0, "fLaC", 4)) return Found(Container::kFlac, FlacRate(head, count, 8));
    const double rate = ConfirmedMpegRate(head, count, 0, true);
    return rate > 0 ? Found(Container::kMp3, rate) : RecordingHead{};
  }
  const Container container = ProbeContainer(head, std::min(count, kProbeBytes));
  switch (container) {
    case Container::kFlac: return Found(container, FlacRate(head, count, 8));
    case Container::kOggVorbis: {
      // The identification header: packet type, "vorbis", version,
      // channels, then the rate.
      const std::size_t packet = 27 + static_cast<std::size_t>(head[26]);
      return Found(container, packet + 16 <= count ? Little32(head + packet + 12) : 0);
    }
    case Container::kOggOpus:
      // Opus always decodes at 48000 Hz; the rate in its header is only
      // that of the encoder's input.
      return Found(container, 48000);
    case Container::kOggOther: {
      RecordingHead found = Found(container, 0);
      // FLAC in Ogg: a 13-byte mapping header, then the native block.
      const std::size_t packet = count >= 27 ? 27 + static_cast<std::size_t>(head[26]) : count;
      if (HasAt(head, count, packet, "\x7f" "FLAC", 5)) {
        found.name = "Ogg FLAC";
        found.sampleRate = FlacRate(head, count, packet + 13 + 4);
      }
      return found;
    }
    case Container::kAiff: return Found(container, AiffRate(head, count));
    case Container::kWave64: return Found(container, Wave64Rate(head, count));
    case Container::kMp3: {
      RecordingHead found = Found(container, 0);
      found.tagBytes = Id3TagBytes(head, count);
      if (found.tagBytes > 0) return found;
      found.sampleRate = ConfirmedMpegRate(head, count, 0, false);
      return found.sampleRate > 0 ? found : RecordingHead{};
    }
    case Container::kRiffWave:
    case Container::kUnknown: break;
  }
  return Found(container, 0);
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
