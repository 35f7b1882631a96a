// The audio stream: picks the decoder by the content of the stream's head.
// A head too short to tell FLAC by goes to libsndfile, which reads FLAC too.
#include "decoding/audio_stream.h"

#include <algorithm>

#include "decoding/container_probe.h"
#include "decoding/stream_backend.h"

namespace decoding {

struct AudioStream::Impl {
  std::unique_ptr<StreamBackend> backend;
};

AudioStream::AudioStream(ByteSource& source, std::vector<std::uint8_t> head) : impl_(std::make_unique<Impl>()) {
  const bool flac = ProbeContainer(head.data(), std::min(head.size(), kProbeBytes)) == Container::kFlac;
  impl_->backend = flac ? MakeFlacStream(source, std::move(head)) : MakeSndfileStream(source, std::move(head));
}

AudioStream::~AudioStream() = default;

bool AudioStream::Open() { return impl_->backend->Open(); }

std::size_t AudioStream::Read(float* interleaved, std::size_t frames) {
  return impl_->backend->Read(interleaved, frames);
}

const StreamFormat& AudioStream::Format() const { return impl_->backend->Format(); }

const StreamProblem& AudioStream::Problem() const { return impl_->backend->Problem(); }

std::uint64_t AudioStream::BytesTaken() const { return impl_->backend->BytesTaken(); }

}  // namespace decoding
