// Tells a recording's container and codec from its first bytes, never from
// its name: the WAV reader takes RIFF/WAVE, the audio library the others.
// For a front end that decodes elsewhere (the page, with the browser's
// decoders), it also reads the sample rate the container's header gives.
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

// Bytes of the head enough for the sample rate: the headers ahead of the
// first frame, an AIFF COMM or W64 fmt chunk behind others, and the MPEG
// frame after the first.
constexpr std::size_t kHeadBytes = 1 << 16;

// What the head tells of a recording to be decoded at its own rate.
struct RecordingHead {
  Container container = Container::kUnknown;
  const char* name = "unknown";  // as ContainerName, "Ogg FLAC" for FLAC in Ogg
  double sampleRate = 0;         // 0 when the head gives none
  // An ID3v2 tag comes first: this many bytes of it, footer included. The
  // rest is told by probing again the bytes after it, with `afterTag`.
  std::size_t tagBytes = 0;
};

// The container and sample rate from the first `count` bytes (up to
// kHeadBytes), or from the bytes after an ID3v2 tag (`afterTag`, where FLAC
// or MPEG frames may stand). Stricter than ProbeContainer where it must be,
// since the head may be no recording at all: an MPEG frame header counts
// only when the next frame's header follows it with the same rate (or,
// after a tag, when the next lies beyond the head).
RecordingHead ProbeRecordingHead(const std::uint8_t* head, std::size_t count, bool afterTag = false);

}  // namespace decoding
