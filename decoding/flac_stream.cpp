// FLAC through libFLAC's stream decoder, read strictly in order (no seek,
// tell or length callbacks: the decoder then never asks to move). Each
// decoded frame arrives as one array of integers per channel and is turned
// into interleaved floats in a single pass, into a buffer that Read()
// hands out from.
#include <FLAC/stream_decoder.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "decoding/audio_libraries.h"
#include "decoding/stream_backend.h"
#include "formats/wav_reader.h"

namespace decoding {

namespace {

// In the words the tool gave for these when it read FLAC through
// libsndfile, so that messages stay as users have seen them.
std::string DecoderWords(FLAC__StreamDecoderErrorStatus status) {
  switch (status) {
    case FLAC__STREAM_DECODER_ERROR_STATUS_LOST_SYNC: return "flac decoder lost sync";
    case FLAC__STREAM_DECODER_ERROR_STATUS_BAD_HEADER: return "flac decoder bad header";
    case FLAC__STREAM_DECODER_ERROR_STATUS_FRAME_CRC_MISMATCH: return "flac decoder frame checksum mismatch";
    case FLAC__STREAM_DECODER_ERROR_STATUS_UNPARSEABLE_STREAM: return "flac decoder unparseable stream";
    default: return "flac decoder error";
  }
}

class FlacStream final : public StreamBackend {
 public:
  FlacStream(ByteSource& source, std::vector<std::uint8_t> head)
      : source_(source), head_(std::move(head)), taken_(head_.size()) {}

  ~FlacStream() override {
    if (decoder_ != nullptr) flac_->decoderDelete(decoder_);
  }

  bool Open() override {
    AudioLibrary<FlacFunctions> library = OpenFlacLibrary();
    if (!library.functions) return Fail(StreamError::kNotDecodable, library.problem);
    flac_ = std::move(library.functions);
    decoder_ = flac_->decoderNew();
    if (decoder_ == nullptr) return Fail(StreamError::kNotDecodable, "out of memory");
    const FLAC__StreamDecoderInitStatus init =
        flac_->initStream(decoder_, &FlacStream::ReadBytes, nullptr, nullptr, nullptr, nullptr,
                          &FlacStream::WriteFrame, &FlacStream::Metadata, &FlacStream::Error, this);
    if (init != FLAC__STREAM_DECODER_INIT_STATUS_OK)
      return Fail(StreamError::kNotDecodable, flac_->initStatusWords[init]);
    flac_->processMetadata(decoder_);
    if (sourceFailed_) return Fail(StreamError::kInputFailed, "");
    if (!haveInfo_) {
      if (ended_) return Fail(StreamError::kNoData, "");
      return Fail(StreamError::kNotDecodable, damage_.seen ? damage_.words : "no stream information");
    }
    if (format_.channels < 1 || format_.channels > formats::kMostWavChannels)
      return Fail(StreamError::kUnsupportedChannels, "");
    if (format_.sampleRate < formats::kLowestWavRate || format_.sampleRate > formats::kHighestWavRate)
      return Fail(StreamError::kUnsupportedRate, "");
    return true;
  }

  std::size_t Read(float* interleaved, std::size_t frames) override {
    if (decoder_ == nullptr || problem_.error != StreamError::kNone) return 0;
    const std::size_t channels = static_cast<std::size_t>(format_.channels);
    std::size_t done = 0;
    while (done < frames) {
      const std::size_t ready = (pending_.size() - served_) / channels;
      if (ready > 0) {
        const std::size_t n = std::min(ready, frames - done);
        std::memcpy(interleaved + done * channels, pending_.data() + served_, n * channels * sizeof(float));
        served_ += n * channels;
        done += n;
        continue;
      }
      if (stopped_) break;
      pending_.clear();
      served_ = 0;
      const bool ok = flac_->processSingle(decoder_) != 0;
      const FLAC__StreamDecoderState state = flac_->state(decoder_);
      if (!ok || state == FLAC__STREAM_DECODER_END_OF_STREAM || state == FLAC__STREAM_DECODER_ABORTED ||
          damage_.Corrupts()) {
        stopped_ = true;
      }
    }
    if (done > 0) return done;
    if (sourceFailed_) {
      Fail(StreamError::kInputFailed, "");
    } else if (damage_.Corrupts()) {
      problem_ = damage_.AsCorruptStream();
    }
    return 0;
  }

  const StreamFormat& Format() const override { return format_; }
  const StreamProblem& Problem() const override { return problem_; }
  std::uint64_t BytesTaken() const override { return taken_; }

 private:
  static FLAC__StreamDecoderReadStatus ReadBytes(const FLAC__StreamDecoder*, FLAC__byte buffer[], size_t* bytes,
                                                 void* self) {
    FlacStream& s = *static_cast<FlacStream*>(self);
    const std::size_t capacity = *bytes;
    std::size_t got = 0;
    if (s.headServed_ < s.head_.size()) {
      got = std::min(capacity, s.head_.size() - s.headServed_);
      std::memcpy(buffer, s.head_.data() + s.headServed_, got);
      s.headServed_ += got;
    } else if (!s.ended_) {
      bool failed = false;
      got = s.source_.Read(buffer, capacity, failed);
      if (failed) {
        s.sourceFailed_ = true;
        *bytes = 0;
        return FLAC__STREAM_DECODER_READ_STATUS_ABORT;
      }
      if (got == 0) s.ended_ = true;
      s.taken_ += got;
    }
    *bytes = got;
    return got > 0 ? FLAC__STREAM_DECODER_READ_STATUS_CONTINUE : FLAC__STREAM_DECODER_READ_STATUS_END_OF_STREAM;
  }

  static FLAC__StreamDecoderWriteStatus WriteFrame(const FLAC__StreamDecoder*, const FLAC__Frame* frame,
                                                   const FLAC__int32* const buffer[], void* self) {
    FlacStream& s = *static_cast<FlacStream*>(self);
    // A frame handed over after an error is the decoder's silence standing
    // for the damaged one: the sound stops at the damage instead.
    if (s.damage_.seen) return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
    const std::size_t channels = frame->header.channels;
    if (channels != static_cast<std::size_t>(s.format_.channels) || frame->header.bits_per_sample < 1) {
      s.NoteDamage("flac decoder bad header");
      return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
    }
    const std::size_t frames = frame->header.blocksize;
    const float scale = std::ldexp(1.0f, 1 - static_cast<int>(frame->header.bits_per_sample));
    s.pending_.resize(frames * channels);
    float* out = s.pending_.data();
    if (channels == 1) {
      const FLAC__int32* in = buffer[0];
      for (std::size_t i = 0; i < frames; ++i) out[i] = static_cast<float>(in[i]) * scale;
    } else if (channels == 2) {
      const FLAC__int32* left = buffer[0];
      const FLAC__int32* right = buffer[1];
      for (std::size_t i = 0; i < frames; ++i) {
        out[2 * i] = static_cast<float>(left[i]) * scale;
        out[2 * i + 1] = static_cast<float>(right[i]) * scale;
      }
    } else {
      for (std::size_t c = 0; c < channels; ++c) {
        const FLAC__int32* in = buffer[c];
        for (std::size_t i = 0; i < frames; ++i) out[i * channels + c] = static_cast<float>(in[i]) * scale;
      }
    }
    s.framesDecoded_ += static_cast<std::int64_t>(frames);
    return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
  }

  static void Metadata(const FLAC__StreamDecoder*, const FLAC__StreamMetadata* metadata, void* self) {
    FlacStream& s = *static_cast<FlacStream*>(self);
    if (metadata->type != FLAC__METADATA_TYPE_STREAMINFO) return;
    s.haveInfo_ = true;
    s.format_.sampleRate = metadata->data.stream_info.sample_rate;
    s.format_.channels = static_cast<int>(metadata->data.stream_info.channels);
  }

  static void Error(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus status, void* self) {
    static_cast<FlacStream*>(self)->NoteDamage(DecoderWords(status));
  }

  void NoteDamage(std::string words) { damage_.Note(ended_, taken_, framesDecoded_, std::move(words)); }

  bool Fail(StreamError error, std::string detail) {
    problem_ = StoppedAt(error, std::move(detail), sourceFailed_, taken_, framesDecoded_);
    return false;
  }

  ByteSource& source_;
  std::vector<std::uint8_t> head_;  // the first bytes, already taken
  std::size_t headServed_ = 0;
  std::uint64_t taken_;             // bytes taken from the source
  bool ended_ = false;
  bool sourceFailed_ = false;
  bool haveInfo_ = false;
  bool stopped_ = false;

  std::shared_ptr<const FlacFunctions> flac_;  // set by Open
  FLAC__StreamDecoder* decoder_ = nullptr;
  StreamFormat format_;
  StreamProblem problem_;
  std::int64_t framesDecoded_ = 0;
  std::vector<float> pending_;  // the last frame decoded, interleaved
  std::size_t served_ = 0;      // floats of it already handed out

  StreamDamage damage_;
};

}  // namespace

std::unique_ptr<StreamBackend> MakeFlacStream(ByteSource& source, std::vector<std::uint8_t> head) {
  return std::make_unique<FlacStream>(source, std::move(head));
}

}  // namespace decoding
