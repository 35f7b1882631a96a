// The decoder over all channels read. With one channel, records pass
// straight through. With several, each channel is decoded on its own and,
// for each stretch of the recording, the copy read best is kept: a record
// waits until every channel has gone past its end, then is compared with
// the records of the other channels that overlap it.
#include "reader/tape_decoder.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "reader/channel_decoder.h"

namespace reader {

namespace {

// How far past a record's end every channel must be before its copies are
// compared, besides having no record of its own in progress there: the
// same record ends within milliseconds on every channel.
constexpr double kComparisonDelaySeconds = 0.5;

int StatusRank(RecordStatus status) {
  switch (status) {
    case RecordStatus::kSound: return 0;
    case RecordStatus::kCombined:
    case RecordStatus::kRepaired:
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
        comparisonDelay(static_cast<std::int64_t>(kComparisonDelaySeconds * sampleRate)),
        unread(sampleRate, channels, ChannelsRead(channels, options)) {
    for (const int channel : ChannelsRead(channels, options)) decoders.emplace_back(sampleRate, channel);
  }

  // Every record covers its signal for the search of unread signal, the
  // copies that are not handed out too.
  void Collect() {
    for (ChannelDecoder& decoder : decoders) {
      for (DecodedRecord& record : decoder.Completed()) {
        unread.Cover({record.firstFrame, record.endFrame});
        waiting.push_back(std::move(record));
      }
      decoder.Completed().clear();
    }
  }

  // What the records still being read already cover, and where the search
  // may decide up to.
  void AdvanceUnread() {
    provisional.clear();
    std::int64_t decided = std::numeric_limits<std::int64_t>::max();
    for (const ChannelDecoder& decoder : decoders) {
      decided = std::min(decided, decoder.NoRecordBefore());
      FrameSpan span;
      if (decoder.RecordCovers(span.from, span.to)) provisional.push_back(span);
    }
    unread.Advance(decided, provisional);
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
    while (!waiting.empty() && (ended || AllCopiesIn(waiting.front()))) {
      const DecodedRecord first = waiting.front();
      std::vector<DecodedRecord> copies;
      std::vector<DecodedRecord> rest;
      for (DecodedRecord& record : waiting) {
        (Overlap(record, first) ? copies : rest).push_back(std::move(record));
      }
      waiting = std::move(rest);
      HandOutBest(std::move(copies));
    }
  }

  // Every channel has gone past the record: none is still reading one that
  // began before it ended, and a little time has passed for copies that
  // end just after it.
  bool AllCopiesIn(const DecodedRecord& record) const {
    if (record.endFrame + comparisonDelay > framesFed) return false;
    return std::none_of(decoders.begin(), decoders.end(), [&](const ChannelDecoder& decoder) {
      const std::int64_t from = decoder.RecordInProgressFrom();
      return from >= 0 && from < record.endFrame;
    });
  }

  // Of records that overlap, the one read best goes out; so does any other
  // that was read soundly but holds something else: two programs recorded
  // at once on two channels are both kept.
  void HandOutBest(std::vector<DecodedRecord> copies) {
    std::sort(copies.begin(), copies.end(), ReadBetter);
    const DecodedRecord& best = copies.front();
    std::vector<DecodedRecord> kept = {best};
    for (std::size_t i = 1; i < copies.size(); ++i) {
      const bool other = copies[i].status == RecordStatus::kSound &&
                         std::none_of(kept.begin(), kept.end(), [&](const DecodedRecord& record) {
                           return ImageBytes(record) == ImageBytes(copies[i]);
                         });
      if (other) kept.push_back(copies[i]);
    }
    std::sort(kept.begin(), kept.end(), [](const DecodedRecord& a, const DecodedRecord& b) {
      return a.firstFrame != b.firstFrame ? a.firstFrame < b.firstFrame : a.channel < b.channel;
    });
    for (DecodedRecord& record : kept) ready.push_back(std::move(record));
  }

  std::size_t channelCount;
  std::int64_t comparisonDelay;
  std::vector<ChannelDecoder> decoders;
  std::vector<DecodedRecord> waiting;
  std::vector<DecodedRecord> ready;
  std::int64_t framesFed = 0;
  UnreadSignal unread;
  std::vector<FrameSpan> provisional;
};

TapeDecoder::TapeDecoder(double sampleRate, int channels, DecoderOptions options)
    : impl_(std::make_unique<Impl>(sampleRate, channels, options)) {}

TapeDecoder::~TapeDecoder() = default;
TapeDecoder::TapeDecoder(TapeDecoder&&) noexcept = default;
TapeDecoder& TapeDecoder::operator=(TapeDecoder&&) noexcept = default;

void TapeDecoder::Feed(const float* interleaved, std::size_t frames, const LoaderChangesByChannel* found,
                       const LineTilesByChannel* foundTiles) {
  impl_->unread.Frames(interleaved, frames);
  for (std::size_t i = 0; i < impl_->decoders.size(); ++i) {
    ChannelDecoder& decoder = impl_->decoders[i];
    decoder.Feed(interleaved + decoder.Channel(), frames, impl_->channelCount, found ? &(*found)[i] : nullptr);
    if (foundTiles != nullptr && i < foundTiles->size()) {
      impl_->unread.TakeTiles(i, (*foundTiles)[i]);
    } else {
      impl_->unread.TakeTiles(i, decoder.Tiles());
    }
    decoder.Tiles().clear();
  }
  impl_->framesFed += static_cast<std::int64_t>(frames);
  impl_->Compare(false);
  impl_->AdvanceUnread();
}

void TapeDecoder::Finish() {
  for (ChannelDecoder& decoder : impl_->decoders) decoder.Finish();
  impl_->Compare(true);
  impl_->unread.Finish();
}

std::vector<UnreadStretch> TapeDecoder::TakeUnread() { return impl_->unread.TakeStretches(); }

void TapeDecoder::AttachUnreadSink(UnreadSink* sink) { impl_->unread.AttachSink(sink); }

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
