// The decoder over all channels read. With one channel, records pass
// straight through. With several, each channel is decoded on its own and,
// for each stretch of the recording, the copy read best is kept: a record
// waits until every channel has gone well past its end, then is compared
// with the records of the other channels that overlap it.
#include "reader/tape_decoder.h"

#include <algorithm>
#include <cmath>

#include "reader/channel_decoder.h"

namespace reader {

namespace {

// How far past a record's end every channel must be before its copies are
// compared: the same record ends within milliseconds on every channel.
constexpr double kComparisonDelaySeconds = 2.0;

int StatusRank(RecordStatus status) {
  switch (status) {
    case RecordStatus::kSound: return 0;
    case RecordStatus::kChecksumError: return 1;
    case RecordStatus::kCutShort: return 2;
  }
  return 3;
}

bool ReadBetter(const DecodedRecord& a, const DecodedRecord& b) {
  if (StatusRank(a.status) != StatusRank(b.status)) {
    return StatusRank(a.status) < StatusRank(b.status);
  }
  if (a.doubtfulBitCount != b.doubtfulBitCount) return a.doubtfulBitCount < b.doubtfulBitCount;
  if (a.data.size() != b.data.size()) return a.data.size() > b.data.size();
  return a.signal.levelDbfs > b.signal.levelDbfs;
}

bool Overlap(const DecodedRecord& a, const DecodedRecord& b) {
  return a.firstFrame < b.endFrame && b.firstFrame < a.endFrame;
}

}  // namespace

struct TapeDecoder::Impl {
  Impl(double sampleRate, int channels, DecoderOptions options)
      : channelCount(static_cast<std::size_t>(channels)),
        comparisonDelay(static_cast<std::int64_t>(kComparisonDelaySeconds * sampleRate)) {
    if (options.channel >= 0) {
      decoders.emplace_back(sampleRate, options.channel);
    } else {
      for (int channel = 0; channel < channels; ++channel) decoders.emplace_back(sampleRate, channel);
    }
  }

  void Collect() {
    for (ChannelDecoder& decoder : decoders) {
      for (DecodedRecord& record : decoder.Completed()) waiting.push_back(std::move(record));
      decoder.Completed().clear();
    }
  }

  // Hands out the best copy of every record whose copies are all in (all of
  // them, once the input has ended).
  void Compare(bool ended) {
    Collect();
    if (decoders.size() == 1) {
      for (DecodedRecord& record : waiting) ready.push_back(std::move(record));
      waiting.clear();
      return;
    }
    std::sort(waiting.begin(), waiting.end(),
              [](const DecodedRecord& a, const DecodedRecord& b) { return a.endFrame < b.endFrame; });
    while (!waiting.empty() && (ended || waiting.front().endFrame + comparisonDelay <= framesFed)) {
      const DecodedRecord first = waiting.front();
      DecodedRecord best = first;
      std::vector<DecodedRecord> rest;
      for (DecodedRecord& record : waiting) {
        if (Overlap(record, first)) {
          if (ReadBetter(record, best)) best = record;
        } else {
          rest.push_back(std::move(record));
        }
      }
      waiting = std::move(rest);
      // A copy that ends late may overlap a record already handed out: the
      // stretch has been decided.
      if (best.firstFrame >= lastHandedOutEnd || ready.empty()) {
        lastHandedOutEnd = best.endFrame;
        ready.push_back(std::move(best));
      }
    }
  }

  std::size_t channelCount;
  std::int64_t comparisonDelay;
  std::vector<ChannelDecoder> decoders;
  std::vector<DecodedRecord> waiting;
  std::vector<DecodedRecord> ready;
  std::int64_t framesFed = 0;
  std::int64_t lastHandedOutEnd = 0;
};

TapeDecoder::TapeDecoder(double sampleRate, int channels, DecoderOptions options)
    : impl_(std::make_unique<Impl>(sampleRate, channels, options)) {}

TapeDecoder::~TapeDecoder() = default;
TapeDecoder::TapeDecoder(TapeDecoder&&) noexcept = default;
TapeDecoder& TapeDecoder::operator=(TapeDecoder&&) noexcept = default;

void TapeDecoder::Feed(const float* interleaved, std::size_t frames) {
  for (ChannelDecoder& decoder : impl_->decoders) {
    decoder.Feed(interleaved + decoder.Channel(), frames, impl_->channelCount);
  }
  impl_->framesFed += static_cast<std::int64_t>(frames);
  impl_->Compare(false);
}

void TapeDecoder::Finish() {
  for (ChannelDecoder& decoder : impl_->decoders) decoder.Finish();
  impl_->Compare(true);
}

std::vector<DecodedRecord> TapeDecoder::TakeRecords() {
  std::vector<DecodedRecord> records = std::move(impl_->ready);
  impl_->ready.clear();
  return records;
}

std::int64_t TapeDecoder::FramesFed() const { return impl_->framesFed; }

float TapeDecoder::RecentPeak() const {
  float peak = 0;
  for (const ChannelDecoder& decoder : impl_->decoders) peak = std::max(peak, decoder.RecentPeak());
  return peak;
}

}  // namespace reader
