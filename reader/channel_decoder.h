// One channel of a recording through every stage: conditioning, cell
// timing, bits, bytes and records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "reader/bit_reader.h"
#include "reader/cell_timing.h"
#include "reader/decoded_record.h"
#include "reader/loader_input.h"
#include "reader/loader_watch.h"
#include "reader/record_parser.h"
#include "reader/signal_window.h"

namespace reader {

class ChannelDecoder {
 public:
  ChannelDecoder(double sampleRate, int channel);

  // `frames` frames, this channel's sample every `stride` floats from
  // `samples`; `found`, when given, holds the changes the loader took in
  // them, found apart, and this decoder's own LoaderInput stays idle.
  void Feed(const float* samples, std::size_t frames, std::size_t stride,
            const std::vector<LoaderChange>* found = nullptr);

  // The input has ended: judges what is left and ends a record in progress.
  void Finish();

  // Records completed so far; the caller takes them out.
  std::vector<DecodedRecord>& Completed() { return completed_; }

  // The peak of the most recent block fed, or of its last few cells when
  // it was longer than the window keeps.
  float RecentPeak() const;
  int Channel() const { return channel_; }

  // Where the record being read began, or -1 when none is being read.
  std::int64_t RecordInProgressFrom() const { return inRecord_ ? recordFrom_ : -1; }

  // No record this channel has yet to give begins before this frame.
  std::int64_t NoRecordBefore() const;
  // The frames the record being read surely covers, however it ends;
  // false when none is being read.
  bool RecordCovers(std::int64_t& from, std::int64_t& to) const;

  // The line's tiles its own LoaderInput completed (none when the changes
  // are found apart); the caller takes them out.
  std::vector<LineTile>& Tiles() { return tiles_; }

 private:
  void Judge();
  void OnBoundary(const TimingEvent& boundary);
  void OnBit(const BitEvent& bit);
  void DropWhatFollowsADropout();
  void CommitCoastDoubts();
  void WatchForALeader(const BitEvent& bit);
  void EndRecord(std::int64_t endFrame);

  double sampleRate_;
  int channel_;
  std::int64_t lastBlockFrom_ = 0;
  std::size_t judgeEvery_;
  std::size_t sinceJudged_ = 0;

  SignalWindow window_;
  CellTiming timing_;
  BitReader bits_;
  RecordParser parser_;
  LoaderInput loaderInput_;
  std::vector<LoaderChange> changes_;  // what loaderInput_ found in a step
  std::vector<LineTile> tiles_;
  LoaderWatch loaderWatch_;

  bool inRecord_ = false;
  std::int64_t searchFrom_ = 0;  // where the search for the next leader began
  std::int64_t recordFrom_ = 0;  // where the record being read began
  std::int64_t lastBitEnd_ = 0;
  double lastHalfCell_ = 0;
  int bitsInByte_ = 0;
  std::uint8_t byte_ = 0;
  ByteConfidence byteConfidence_ = kFullConfidence;
  std::int64_t byteFrame_ = 0;
  std::uint32_t boundariesWithoutSync_ = 0;
  // After a checksum word that may have been the next leader's first zeros.
  bool watchingForLeader_ = false;
  std::uint32_t zerosAfterChecksum_ = 0;
  std::int64_t checksumEnd_ = 0;
  // Doubtful bits read while coasting, not yet the record's.
  std::vector<std::int64_t> coastDoubts_;
  std::uint32_t coastDoubtsUnkept_ = 0;
  // The track the timing follows, leader or record, and where its cells
  // began: a leader followed may yet become a record from there.
  bool tracking_ = false;
  std::int64_t trackFrom_ = 0;

  std::vector<DecodedRecord> completed_;
};

}  // namespace reader
