// The decoder over all channels read. With one channel, records pass
// straight through. With several, each channel is decoded on its own and,
// for each stretch of the recording, the copy read best is kept: a record
// waits until every channel has gone past its end, then is compared with
// the records of the other channels that overlap it. When none of them is
// sound, the other channels' copies of the same program go along with the
// best one, for the reading context to combine.
#include "reader/tape_decoder.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "reader/channel_decoder.h"
#include "reader/copy_combiner.h"

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
    case RecordStatus::kNoChecksum:
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

// Two channels' records of one signal agree on most of the bytes both
// read, even where one misread the addresses or the name; two programs
// agree on few. Records with no data to compare are taken for one signal.
bool SameSignal(const DecodedRecord& a, const DecodedRecord& b) {
  const std::size_t common = std::min(a.data.size(), b.data.size());
  std::size_t equal = 0;
  for (std::size_t i = 0; i < common; ++i) equal += a.data[i] == b.data[i] ? 1 : 0;
  return 2 * equal >= common;
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
  // that holds another program: two programs recorded at once on two
  // channels are both kept. A damaged copy of a program whose best copy is
  // damaged too goes along with it; one read exactly as another adds
  // nothing and is dropped, as is any damaged copy of a program read
  // soundly.
  void HandOutBest(std::vector<DecodedRecord> copies) {
    std::sort(copies.begin(), copies.end(), ReadBetter);
    std::vector<DecodedRecord> kept;
    kept.push_back(std::move(copies.front()));
    for (std::size_t i = 1; i < copies.size(); ++i) {
      DecodedRecord& copy = copies[i];
      const std::vector<std::uint8_t> image = ImageBytes(copy);
      const auto readAlike = [&](const DecodedRecord& record) { return ImageBytes(record) == image; };
      if (copy.status == RecordStatus::kSound) {
        if (std::none_of(kept.begin(), kept.end(), readAlike)) kept.push_back(std::move(copy));
        continue;
      }
      const auto same = std::find_if(kept.begin(), kept.end(),
                                     [&](const DecodedRecord& record) { return AreCopies(record, copy); });
      if (same == kept.end()) {
        // Another program, damaged, where its addresses were read and its
        // bytes are not those of a kept record misread.
        const bool other = copy.addressesRead &&
                           std::none_of(kept.begin(), kept.end(),
                                        [&](const DecodedRecord& record) { return SameSignal(record, copy); });
        if (other) kept.push_back(std::move(copy));
        continue;
      }
      if (same->status == RecordStatus::kSound || readAlike(*same) ||
          std::any_of(same->channelCopies.begin(), same->channelCopies.end(), readAlike)) {
        continue;
      }
      same->channelCopies.push_back(std::move(copy));
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
