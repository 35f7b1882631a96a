// Tells a recording's container and codec from its first bytes, never from
// its name: the WAV reader takes RIFF/WAVE, the audio library the others.
#pragma once

#include <cstddef>
#include <cstdint>

namespace decoding {

enum class Container {
  kUnknown,
  kRiffWave,   // RIFF: read by the tool's own WAV reader
  kFlac,
  kOggVorbis,
  kOggOpus,
  kOggOther,   // an Ogg stream of some other codec: the library decides
  kMp3,        // an ID3 tag or an MPEG audio frame header first
  kAiff,       // AIFF or AIFC
  kWave64,
};

// Bytes of the head enough to tell every container (the first Ogg page's
// header and the start of its packet).
constexpr std::size_t kProbeBytes = 64;

// Tells the container from the first `count` bytes of the input (fewer than
// kProbeBytes only when the input is that short). Too few bytes to tell,
// when they begin as RIFF does, count as RIFF, so that the WAV reader gives
// its own word on a file cut short in its header.
Container ProbeContainer(const std::uint8_t* head, std::size_t count);

// The container's name as users know it ("FLAC", "Ogg Vorbis", ...).
const char* ContainerName(Container container);

}  // namespace decoding
