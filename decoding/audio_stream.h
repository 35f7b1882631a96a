// Decodes a compressed or foreign recording (FLAC, Ogg Vorbis, Ogg Opus,
// MP3, AIFF/AIFC, W64) into float frames, pulling its bytes from a
// ByteSource in order: FLAC with libFLAC, which reads strictly forward, the
// others with libsndfile. That library probes the head of the stream and
// seeks back to its start, so the first bytes are kept in a bounded buffer;
// a forward seek reads and discards. That way the same code reads a file
// and a pipe, and memory stays the same however long the recording.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "decoding/byte_source.h"

namespace decoding {

struct StreamFormat {
  double sampleRate = 0;
  int channels = 0;
};

enum class StreamError {
  kNone,
  kNotDecodable,        // the library could not open it as any format it knows
  kNoData,              // the input ended before the library found its sound
  kUnsupportedChannels, // no channel, or more than the tape decoder takes
  kUnsupportedRate,     // outside the rates the tape decoder takes
  kCorrupt,             // decoding failed partway: the stream is damaged
  kInputFailed,         // the byte source reported a failure
  kSeekBackTooFar,      // the decoder wanted bytes behind the kept head
};

struct StreamProblem {
  StreamError error = StreamError::kNone;
  std::string detail;           // the library's own words, when it gave any
  std::uint64_t byteOffset = 0; // input bytes taken when it happened
  std::int64_t frame = 0;       // frames decoded before it
};

// Bytes of the stream's head kept for the library's seeks back.
constexpr std::size_t kHeadBytesKept = 1 << 20;

class AudioStream {
 public:
  // `head` holds the first bytes, already taken from `source` (to probe
  // the container); the rest comes from `source`, which must outlive this.
  AudioStream(ByteSource& source, std::vector<std::uint8_t> head);
  ~AudioStream();
  AudioStream(const AudioStream&) = delete;
  AudioStream& operator=(const AudioStream&) = delete;

  // Reads the stream's header. False on failure; Problem() says why.
  bool Open();

  // Decodes up to `frames` frames into `interleaved` (frames * channels
  // floats, full scale at -1 and 1). Returns how many; 0 at the end of the
  // stream or after a failure (then Problem() is set).
  std::size_t Read(float* interleaved, std::size_t frames);

  const StreamFormat& Format() const;
  const StreamProblem& Problem() const;

  // Input bytes taken from the source so far.
  std::uint64_t BytesTaken() const;

  // Implementation state; see the .cpp.
 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace decoding
