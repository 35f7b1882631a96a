// Bytes into a record: after the first sync byte either the monitor's name
// header (three marks, the name up to a zero byte, then zeros and a second
// sync byte) or the data block directly; then start and end address, the
// bytes from start to end, and the checksum word, low byte first, which the
// earlier monitors do not write.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "reader/decoded_record.h"

namespace reader {

// How clear each bit of a byte was, most significant first (see
// kDoubtfulConfidence).
using ByteConfidence = std::array<std::uint8_t, 8>;
constexpr ByteConfidence kFullConfidence = {255, 255, 255, 255, 255, 255, 255, 255};

class RecordParser {
 public:
  enum class Step {
    kMoreBytes,   // go on reading bytes
    kSecondSync,  // the name is complete: find the second sync byte
    kComplete,    // the checksum has been read
  };

  // Starts a record whose leader was found at `firstFrame`, in a recording
  // of `sampleRate` frames a second.
  void Begin(std::int64_t firstFrame, double sampleRate);

  Step Take(std::uint8_t value, std::int64_t frame, const ByteConfidence& confidence = kFullConfidence);

  // The signal ended at `frame`, found only some way after it: bytes and
  // doubts that reach past it were read from what followed, and are
  // dropped. `halfCell` is the length of a half-cell in frames.
  void SignalEndedAt(std::int64_t frame, double halfCell);

  // Finishes the record: complete when the checksum was read; without one,
  // no checksum when the signal ended right after the data, else cut short. `endFrame` is where reading stopped. The record is moved
  // out: the next Begin starts another.
  DecodedRecord Finish(std::int64_t endFrame);

  // An earlier monitor's record with another record's leader straight
  // after its data reads the leader's first zeros as its checksum word:
  // 0000, read clearly, and not the data's.
  bool ChecksumMayBeALeader() const;
  // It was the leader: the checksum is dropped, and the record ends where
  // it began, which is returned.
  std::int64_t ChecksumWasALeader();

  // Bits whose reading was in doubt, and what the signal measured, as the
  // record goes on.
  void NoteDoubtfulBit(std::int64_t frame);
  // More of them, past the first few whose places are kept.
  void CountDoubtfulBits(std::uint32_t count) { record_.doubtfulBitCount += count; }
  void NoteSignal(bool inverted, double halfCell, double amplitude);

  // The longest name taken; a longer one is cut here.
  static constexpr std::size_t kLongestName = 255;

 private:
  enum class State { kMarks, kName, kAddresses, kData, kChecksum, kDone };

  // How many cells after its last data byte the signal of a record without
  // a checksum word may end.
  static constexpr double kNoChecksumEndCells = 2;

  Step TakeBlockByte(std::uint8_t value, std::int64_t frame, const ByteConfidence& confidence);
  bool EndsAfterItsData() const;

  DecodedRecord record_;
  State state_ = State::kDone;
  std::uint32_t marks_ = 0;
  std::vector<std::uint8_t> addressBytes_;
  std::uint32_t dataLength_ = 0;
  std::uint32_t checksumBytes_ = 0;
  std::int64_t checksumFrame_ = 0;  // where the checksum word began
  double halfCellSum_ = 0;
  double amplitudeSum_ = 0;
  std::uint64_t signalNotes_ = 0;
};

}  // namespace reader
