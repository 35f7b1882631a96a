// The FLAC stage: libFLAC's stream encoder, writing forward only. The
// stream's header is written before the first frame and never gone back
// to, so it carries the side's length (known from the plan) but no MD5
// signature and no frame sizes, which FLAC leaves unset for such streams.
#include <FLAC/stream_encoder.h>

#include <vector>

#include "decoding/flac_encoder_library.h"
#include "formats/byte_order.h"
#include "side/side_writer.h"

namespace side {

namespace {

// The side is square waves: between two level changes a sample repeats the
// one before, which the fixed first-order predictor leaves as a residual
// of zeros, and short blocks with fine partitions keep each change's large
// residual from setting the Rice parameter for many samples around it.
// This makes a side about a quarter of its WAV size; libFLAC's default
// settings, with longer blocks and linear prediction, only two thirds.
constexpr unsigned kCompressionLevel = 5;
constexpr unsigned kBlockFrames = 512;
constexpr unsigned kMaxLpcOrder = 0;         // fixed predictors only
constexpr unsigned kMaxPartitionOrder = 8;   // the most the streamable subset allows

class FlacEncoder : public SideEncoder {
 public:
  explicit FlacEncoder(ByteSink sink) : sink_(std::move(sink)) {}

  // An encoder dropped unfinished (a stopped or failed run) is finished by
  // libFLAC as it goes; what that writes goes nowhere.
  ~FlacEncoder() override {
    closed_ = true;
    if (encoder_ != nullptr) flac_->encoderDelete(encoder_);
  }

  std::string Start(std::uint64_t frames) {
    decoding::AudioLibrary<decoding::FlacEncoderFunctions> library = decoding::OpenFlacEncoderLibrary();
    if (!library.functions) return library.problem;
    flac_ = std::move(library.functions);
    encoder_ = flac_->encoderNew();
    if (encoder_ == nullptr) return "libFLAC could not make an encoder";
    const bool set = flac_->setChannels(encoder_, 1) && flac_->setBitsPerSample(encoder_, 16) &&
                     flac_->setSampleRate(encoder_, kSampleRate) &&
                     flac_->setCompressionLevel(encoder_, kCompressionLevel) &&
                     flac_->setBlocksize(encoder_, kBlockFrames) && flac_->setMaxLpcOrder(encoder_, kMaxLpcOrder) &&
                     flac_->setMaxResidualPartitionOrder(encoder_, kMaxPartitionOrder) &&
                     flac_->setTotalSamplesEstimate(encoder_, frames);
    if (!set) return "libFLAC refused the encoder's settings";
    const FLAC__StreamEncoderInitStatus init =
        flac_->initStream(encoder_, &FlacEncoder::Write, nullptr, nullptr, nullptr, this);
    if (init != FLAC__STREAM_ENCODER_INIT_STATUS_OK) return flac_->initStatusWords[init];
    return "";
  }

  bool Encode(const std::uint8_t* pcm, std::size_t count) override {
    const std::size_t frames = count / 2;
    samples_.resize(frames);
    for (std::size_t i = 0; i < frames; ++i) {
      samples_[i] = static_cast<std::int16_t>(LoadLe16(pcm + 2 * i));
    }
    return Judge(flac_->processInterleaved(encoder_, samples_.data(), static_cast<std::uint32_t>(frames)));
  }

  bool Finish() override { return Judge(flac_->finish(encoder_)); }

  std::string Problem() const override { return problem_; }

 private:
  bool Judge(FLAC__bool ok) {
    if (ok) return true;
    if (!sinkFailed_) problem_ = flac_->stateWords[flac_->state(encoder_)];
    return false;
  }

  static FLAC__StreamEncoderWriteStatus Write(const FLAC__StreamEncoder*, const FLAC__byte buffer[], size_t bytes,
                                              std::uint32_t, std::uint32_t, void* self) {
    FlacEncoder& encoder = *static_cast<FlacEncoder*>(self);
    if (!encoder.closed_ && encoder.sink_(buffer, bytes)) return FLAC__STREAM_ENCODER_WRITE_STATUS_OK;
    encoder.sinkFailed_ = true;
    return FLAC__STREAM_ENCODER_WRITE_STATUS_FATAL_ERROR;
  }

  const ByteSink sink_;
  std::shared_ptr<const decoding::FlacEncoderFunctions> flac_;
  FLAC__StreamEncoder* encoder_ = nullptr;
  std::vector<FLAC__int32> samples_;
  bool sinkFailed_ = false;
  bool closed_ = false;
  std::string problem_;
};

}  // namespace

bool FlacAvailable() { return true; }

FlacEncoderResult MakeFlacEncoder(std::uint64_t frames, ByteSink sink) {
  auto encoder = std::make_unique<FlacEncoder>(std::move(sink));
  const std::string problem = encoder->Start(frames);
  if (!problem.empty()) return {nullptr, problem};
  return {std::move(encoder), ""};
}

}  // namespace side
