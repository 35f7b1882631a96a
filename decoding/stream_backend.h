// The decoders behind AudioStream: libFLAC's own stream decoder for FLAC,
// which hands over whole frames of integers that are turned into floats in
// one pass, and libsndfile for every other container. Both pull their
// bytes from a ByteSource in order, after the head already taken.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "decoding/audio_stream.h"
#include "decoding/byte_source.h"

namespace decoding {

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
