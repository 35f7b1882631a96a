// The audio stream in a build made without libsndfile: such a build reads
// WAV with its own reader and refuses every other container with this
// one reason, rather than failing to link.
#include "decoding/audio_stream.h"

namespace decoding {

struct AudioStream::Impl {
  StreamFormat format;
  StreamProblem problem;
};

AudioStream::AudioStream(ByteSource&, std::vector<std::uint8_t>) : impl_(std::make_unique<Impl>()) {}

AudioStream::~AudioStream() = default;

bool AudioStream::Open() {
  impl_->problem.error = StreamError::kNotDecodable;
  impl_->problem.detail = "this build of lentok-read reads WAV alone";
  return false;
}

std::size_t AudioStream::Read(float*, std::size_t) { return 0; }

const StreamFormat& AudioStream::Format() const { return impl_->format; }

const StreamProblem& AudioStream::Problem() const { return impl_->problem; }

std::uint64_t AudioStream::BytesTaken() const { return 0; }

}  // namespace decoding
