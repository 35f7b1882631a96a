// The stages of one channel, and what each outcome means for the record
// being read.
#include "reader/channel_decoder.h"

#include <algorithm>
#include <cmath>

namespace reader {

namespace {

// How long the second sync byte may be waited for after a name: far more
// zeros than any writer puts there.
constexpr std::uint32_t kLongestSecondLeaderBits = 4096 * 8;
// Zeros after a checksum word of 0000 that make it the start of another
// record's leader: as many as a leader after a dropout needs.
constexpr std::uint32_t kLeaderBitsAfterData = 64;

}  // namespace

ChannelDecoder::ChannelDecoder(double sampleRate, int channel)
    : sampleRate_(sampleRate),
      channel_(channel),
      judgeEvery_(CellTiming::FramesNeeded(sampleRate)),
      window_(3 * CellTiming::FramesNeeded(sampleRate)),
      timing_(sampleRate),
      loaderInput_(sampleRate),
      // The decoder judges up to a window behind the newest sample.
      loaderWatch_(sampleRate, 4 * CellTiming::FramesNeeded(sampleRate) + judgeEvery_) {}

void ChannelDecoder::Feed(const float* samples, std::size_t frames, std::size_t stride,
                          const std::vector<LoaderChange>* found) {
  lastBlockFrom_ = window_.End();
  // Changes found apart come for the whole block at once: the watch is only
  // ever asked about bits well behind the newest sample, so having the
  // changes ahead of the decoder changes no answer.
  if (found != nullptr) loaderWatch_.Take(found->data(), found->size());
  std::size_t done = 0;
  while (done < frames) {
    // Judged at fixed steps of the input, before the window wraps, so that
    // the same recording gives the same records in blocks of any size.
    const std::size_t count = std::min(frames - done, judgeEvery_ - sinceJudged_);
    if (found == nullptr) {
      changes_.clear();
      loaderInput_.Feed(samples + done * stride, count, stride, changes_, &tiles_);
      loaderWatch_.Take(changes_.data(), changes_.size());
    }
    loaderWatch_.ForgetBefore(window_.End() + static_cast<std::int64_t>(count));
    window_.Append(samples + done * stride, count, stride);
    done += count;
    sinceJudged_ += count;
    if (sinceJudged_ == judgeEvery_) {
      sinceJudged_ = 0;
      Judge();
    }
  }
}

std::int64_t ChannelDecoder::NoRecordBefore() const {
  if (inRecord_) return recordFrom_;
  // A leader being followed becomes a record from where its cells began;
  // a leader not yet found begins within the window.
  if (tracking_) return std::max(searchFrom_, trackFrom_);
  return std::max(searchFrom_, window_.Begin());
}

bool ChannelDecoder::RecordCovers(std::int64_t& from, std::int64_t& to) const {
  if (!inRecord_) return false;
  // A record ends at its last bit, or back where a dropout it coasts
  // through began; the last few cells may yet prove weak.
  constexpr double kCellsInDoubt = 16;
  const double coasting = timing_.CoastingFrom();
  const double sure = coasting >= 0 ? coasting - 2 * lastHalfCell_
                                    : static_cast<double>(lastBitEnd_) - kCellsInDoubt * 2 * lastHalfCell_;
  from = recordFrom_;
  to = std::max(recordFrom_, static_cast<std::int64_t>(sure));
  return true;
}

float ChannelDecoder::RecentPeak() const {
  return static_cast<float>(window_.PeakSince(lastBlockFrom_));
}

void ChannelDecoder::Finish() {
  // The last cell's change is judged against what follows it, and nothing
  // does: silence after it lets it be judged at all.
  const std::vector<float> silence(judgeEvery_, 0.0f);
  window_.Append(silence.data(), silence.size(), 1);
  Judge();
  if (!inRecord_) return;
  if (watchingForLeader_) {
    EndRecord(checksumEnd_);
    return;
  }
  DropWhatFollowsADropout();
  EndRecord(lastBitEnd_);
}

void ChannelDecoder::Judge() {
  TimingEvent event;
  while (timing_.Next(window_, event)) {
    if (event.kind == TimingEvent::Kind::kLost) {
      tracking_ = false;
      if (watchingForLeader_) {
        EndRecord(checksumEnd_);
      } else if (inRecord_) {
        parser_.SignalEndedAt(static_cast<std::int64_t>(event.frame), lastHalfCell_);
        EndRecord(std::min(lastBitEnd_, static_cast<std::int64_t>(event.frame)));
      }
      bits_.Reset();
      searchFrom_ = static_cast<std::int64_t>(event.frame);
      continue;
    }
    OnBoundary(event);
  }
}

void ChannelDecoder::OnBoundary(const TimingEvent& boundary) {
  if (boundary.trackStart && !inRecord_) {
    searchFrom_ = std::max(searchFrom_, static_cast<std::int64_t>(boundary.trackFrom));
  }
  if (boundary.trackStart) {
    tracking_ = true;
    trackFrom_ = static_cast<std::int64_t>(boundary.trackFrom);
  }
  const bool awaitingSync = bits_.CurrentMode() == BitReader::Mode::kSecondSync;
  const BitEvent bit = bits_.Take(boundary);
  if (awaitingSync && ++boundariesWithoutSync_ > kLongestSecondLeaderBits) {
    EndRecord(lastBitEnd_);
    return;
  }
  if (bit.kind == BitEvent::Kind::kSync) {
    if (!inRecord_) {
      parser_.Begin(searchFrom_, sampleRate_);
      loaderWatch_.BeginRecord(bit.frame, bit.halfCell);
      recordFrom_ = searchFrom_;
      inRecord_ = true;
    }
    bitsInByte_ = 0;
    lastBitEnd_ = static_cast<std::int64_t>(bit.frame);
    // The sync settled which boundaries are the middles: only they matter.
    timing_.SetStride(2);
    timing_.ExpectEqualBits(false);
  } else if (bit.kind == BitEvent::Kind::kBit && inRecord_) {
    OnBit(bit);
  }
}

void ChannelDecoder::OnBit(const BitEvent& bit) {
  if (watchingForLeader_) {
    WatchForALeader(bit);
    return;
  }
  parser_.NoteSignal(bit.inverted, bit.halfCell, bit.amplitude);
  lastHalfCell_ = bit.halfCell;
  loaderWatch_.NoteBit(bit.frame, bit.halfCell);
  // Bits read while the timing coasts through a dropout are the record's
  // only if the cells come back; where the record ends in the dropout,
  // they were read from what followed it, and so were their doubts.
  const bool coasting = timing_.CoastingFrom() >= 0;
  if (!coasting) CommitCoastDoubts();
  if (bit.doubtful) {
    const auto frame = static_cast<std::int64_t>(bit.frame);
    if (!coasting) {
      parser_.NoteDoubtfulBit(frame);
    } else if (coastDoubts_.size() < kDoubtfulPositionsKept) {
      coastDoubts_.push_back(frame);
    } else {
      ++coastDoubtsUnkept_;
    }
  }
  // The bit's cell, as the writer counts it, ends at its middle change.
  if (bitsInByte_ == 0) {
    byteFrame_ = std::max<std::int64_t>(0, static_cast<std::int64_t>(bit.frame - 2 * bit.halfCell));
  }
  byte_ = static_cast<std::uint8_t>(byte_ << 1 | (bit.value ? 1 : 0));
  byteConfidence_[static_cast<std::size_t>(bitsInByte_)] = bit.confidence;
  lastBitEnd_ = static_cast<std::int64_t>(bit.frame + 0.5);
  if (++bitsInByte_ < 8) return;
  bitsInByte_ = 0;

  switch (parser_.Take(byte_, byteFrame_, byteConfidence_)) {
    case RecordParser::Step::kMoreBytes:
      break;
    case RecordParser::Step::kSecondSync:
      bits_.SetMode(BitReader::Mode::kSecondSync);
      // Zeros follow up to the sync byte: after a dropout among them they
      // are this record's, not another's leader.
      timing_.ExpectEqualBits(true);
      boundariesWithoutSync_ = 0;
      break;
    case RecordParser::Step::kComplete: {
      // Read to its end through a dropout that never ended.
      DropWhatFollowsADropout();
      if (timing_.CoastingFrom() < 0 && parser_.ChecksumMayBeALeader()) {
        watchingForLeader_ = true;
        zerosAfterChecksum_ = 0;
        checksumEnd_ = lastBitEnd_;
        break;
      }
      EndRecord(lastBitEnd_);
      break;
    }
  }
}

// Zeros go on after a checksum of 0000: a leader, and the record was one of
// the earlier monitors', which ended with its data. Anything else ends the
// record, checksum and all, as it was read.
void ChannelDecoder::WatchForALeader(const BitEvent& bit) {
  if (!bit.value && !bit.doubtful && ++zerosAfterChecksum_ < kLeaderBitsAfterData) return;
  const bool leader = zerosAfterChecksum_ >= kLeaderBitsAfterData;
  EndRecord(leader ? parser_.ChecksumWasALeader() : checksumEnd_);
}

void ChannelDecoder::CommitCoastDoubts() {
  for (const std::int64_t frame : coastDoubts_) parser_.NoteDoubtfulBit(frame);
  parser_.CountDoubtfulBits(coastDoubtsUnkept_);
  coastDoubts_.clear();
  coastDoubtsUnkept_ = 0;
}

// A record that ends while the timing coasts through a dropout was cut short
// where the dropout began: what was read since is not its own.
void ChannelDecoder::DropWhatFollowsADropout() {
  const double coastingFrom = timing_.CoastingFrom();
  if (coastingFrom < 0) return;
  parser_.SignalEndedAt(static_cast<std::int64_t>(coastingFrom), lastHalfCell_);
  lastBitEnd_ = std::min(lastBitEnd_, static_cast<std::int64_t>(coastingFrom));
}

void ChannelDecoder::EndRecord(std::int64_t endFrame) {
  watchingForLeader_ = false;
  coastDoubts_.clear();
  coastDoubtsUnkept_ = 0;
  DecodedRecord record = parser_.Finish(endFrame);
  record.channel = channel_;
  record.machine = loaderWatch_.Conclude(record);
  completed_.push_back(std::move(record));
  inRecord_ = false;
  bits_.SetMode(BitReader::Mode::kLeader);
  timing_.EndTrack(static_cast<double>(endFrame));
  tracking_ = false;
  timing_.SetStride(1);
  timing_.ExpectEqualBits(false);
  searchFrom_ = endFrame;
}

}  // namespace reader
