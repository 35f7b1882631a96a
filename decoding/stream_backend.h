// The decoders behind AudioStream: libFLAC's own stream decoder for FLAC,
// which hands over whole frames of integers that are turned into floats in
// one pass, and libsndfile for every other container. Both pull their
// bytes from a ByteSource in order, after the head already taken.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "decoding/audio_stream.h"
#include "decoding/byte_source.h"

namespace decoding {

// The first damage a decoder met, with how far the input and the sound had
// got. It is told only once the sound before it has been handed out; damage
// met once every byte had been taken is the end of a file cut short in its
// last frame, not a corrupt stream.
struct StreamDamage {
  bool seen = false;
  bool atEnd = false;
  std::uint64_t byteOffset = 0;
  std::int64_t frame = 0;
  std::string words;

  // Keeps the first damage only.
  void Note(bool inputEnded, std::uint64_t taken, std::int64_t frames, std::string what) {
    if (seen) return;
    seen = true;
    atEnd = inputEnded;
    byteOffset = taken;
    frame = frames;
    words = std::move(what);
  }

  bool Corrupts() const { return seen && !atEnd; }

  StreamProblem AsCorruptStream() const { return {StreamError::kCorrupt, words, byteOffset, frame}; }
};

// The problem a decoder stopped at, with how far the input and the sound
// had got; a failed input is told rather than what the decoder made of it.
inline StreamProblem StoppedAt(StreamError error, std::string detail, bool inputFailed, std::uint64_t taken,
                               std::int64_t frames) {
  return {inputFailed ? StreamError::kInputFailed : error, std::move(detail), taken, frames};
}

class StreamBackend {
 public:
  virtual ~StreamBackend() = default;
  virtual bool Open() = 0;
  virtual std::size_t Read(float* interleaved, std::size_t frames) = 0;
  virtual const StreamFormat& Format() const = 0;
  virtual const StreamProblem& Problem() const = 0;
  virtual std::uint64_t BytesTaken() const = 0;
};

std::unique_ptr<StreamBackend> MakeFlacStream(ByteSource& source, std::vector<std::uint8_t> head);
std::unique_ptr<StreamBackend> MakeSndfileStream(ByteSource& source, std::vector<std::uint8_t> head);

}  // namespace decoding
