// The WAV stage and the loop that feeds an encoder the side's samples.
#include "side/side_writer.h"

#include <vector>

#include "formats/byte_order.h"
#include "formats/wav_file.h"
#include "side/side_samples.h"

namespace side {

namespace {

static_assert(kWavSideHeaderBytes == kWavHeaderSize, "lentok's header");

// The RIFF size counts everything after its own field: the file less 8.
constexpr std::uint64_t kLargestRiffSize = 0xFFFFFFFFu;

class WavEncoder : public SideEncoder {
 public:
  WavEncoder(std::uint64_t frames, ByteSink sink) : header_(WavSideHeader(frames)), sink_(std::move(sink)) {}

  bool Encode(const std::uint8_t* pcm, std::size_t count) override {
    return Start() && (count == 0 || sink_(pcm, count));
  }
  bool Finish() override { return Start(); }
  std::string Problem() const override { return ""; }

 private:
  bool Start() {
    if (started_) return true;
    started_ = true;
    return sink_(header_.data(), header_.size());
  }

  const std::array<std::uint8_t, kWavSideHeaderBytes> header_;
  const ByteSink sink_;
  bool started_ = false;
};

}  // namespace

bool WavHoldsSide(std::uint64_t frames) { return frames <= LongestWavSide(); }

std::uint64_t LongestWavSide() { return (kLargestRiffSize + 8 - kWavHeaderSize) / 2; }

std::array<std::uint8_t, kWavSideHeaderBytes> WavSideHeader(std::uint64_t frames) {
  std::array<std::uint8_t, kWavSideHeaderBytes> header = kWavHeaderTemplate;
  const std::uint64_t data = 2 * frames;
  StoreLe32(static_cast<std::uint32_t>(kWavHeaderSize - 8 + data), header.data() + kRiffSizeOffset);
  StoreLe32(static_cast<std::uint32_t>(data), header.data() + kDataSizeOffset);
  return header;
}

std::unique_ptr<SideEncoder> MakeWavEncoder(std::uint64_t frames, ByteSink sink) {
  return std::make_unique<WavEncoder>(frames, std::move(sink));
}

WriteResult WriteSide(const SidePlan& plan, SideEncoder& encoder, const std::function<bool()>& goOn) {
  const auto failure = [&encoder] {
    const std::string problem = encoder.Problem();
    return WriteResult{problem.empty() ? WriteOutcome::kSinkFailed : WriteOutcome::kEncoderFailed, problem};
  };
  SideSamples samples(plan);
  std::vector<std::uint8_t> block(kWriteBlockBytes);
  for (;;) {
    if (goOn && !goOn()) return {WriteOutcome::kStopped, ""};
    const std::size_t count = samples.Read(block.data(), block.size());
    if (count == 0) break;
    if (!encoder.Encode(block.data(), count)) return failure();
  }
  if (!encoder.Finish()) return failure();
  return {};
}

}  // namespace side
