// Decodes tape records from samples. Feed it frames in blocks of any size;
// records come out as they complete, each with its position. It holds only
// a few cells of signal per channel, so memory stays flat however long the
// input. The same object serves files, standard input, the web page and live
// capture.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "reader/decoded_record.h"
#include "reader/decoder_options.h"
#include "reader/loader_input.h"
#include "reader/unread_signal.h"

namespace reader {

class TapeDecoder {
 public:
  // `sampleRate` in Hz (any rate from 8000 to 192000 is meant to work);
  // `channels` from 1 to 8; options.channel below `channels`.
  TapeDecoder(double sampleRate, int channels, DecoderOptions options = {});
  ~TapeDecoder();
  TapeDecoder(TapeDecoder&&) noexcept;
  TapeDecoder& operator=(TapeDecoder&&) noexcept;

  // Interleaved frames, `frames` of them (frames * channels floats), full
  // scale at -1 and 1. The loader's changes in them are found here, unless
  // `found` gives them: what a LoaderInputs made for this decoder's rate,
  // channels and options found in the same frames, perhaps on another
  // thread while this decoder read the frames before.
  // `foundTiles`, beside `found`, the line's tiles the same LoaderInputs
  // completed in them.
  void Feed(const float* interleaved, std::size_t frames, const LoaderChangesByChannel* found = nullptr,
            const LineTilesByChannel* foundTiles = nullptr);

  // The input has ended: a record still being read is given as cut short.
  void Finish();

  // The records completed since the last call, in the order they lie; a
  // damaged one read on several channels carries the others' copies in
  // channelCopies.
  std::vector<DecodedRecord> TakeRecords();

  std::int64_t FramesFed() const;

  // The stretches of signal no record covers, on any channel, decided
  // since the last call, in the order they lie.
  std::vector<UnreadStretch> TakeUnread();
  // Frames of candidate stretches go to `sink`, which must outlive the
  // decoder; null stops it.
  void AttachUnreadSink(UnreadSink* sink);

  // The peak level of the most recent block fed (of its last few cells
  // when it was longer), 0 to 1, over the channels read: for a level meter.
  // Measured when asked, so reading a file does not pay for it.
  float RecentPeak() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace reader
