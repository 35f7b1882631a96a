// The side's samples, made as they are asked for: 16-bit little-endian mono
// PCM, the very bytes a WAV file's data holds, each program's as lentok's
// tape signal makes them, silence between. A side of three quarters of an
// hour is a quarter of a gigabyte, so nothing holds more than a byte's
// samples at a time.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "side/side_plan.h"
#include "tape/tape_signal.h"

namespace side {

class SideSamples {
 public:
  // `plan` must outlive the object.
  explicit SideSamples(const SidePlan& plan);

  // Fills `destination` with the next samples' bytes, up to `capacity`;
  // returns how many, 0 once the side is done. Any capacity will do: a
  // sample may be split between two calls.
  std::size_t Read(std::uint8_t* destination, std::size_t capacity);

  // The bytes still to come.
  std::uint64_t BytesLeft() const { return bytesLeft_; }

 private:
  static constexpr std::size_t kPieceBytes = kBytesPerTapeByte;

  // Makes the next piece of signal (a byte on tape, or the closing
  // half-cell) into `destination`, which holds kPieceBytes; sets up the gap
  // after a program. Returns its size, 0 at the end.
  std::size_t NextPiece(std::uint8_t* destination);

  const SidePlan& plan_;
  std::size_t program_ = 0;
  std::size_t byte_ = 0;  // the next byte on tape of the program
  TapeSignal signal_;
  std::uint64_t gapBytes_ = 0;  // silence still to come before the next program
  std::uint64_t bytesLeft_ = 0;
  std::array<std::uint8_t, kPieceBytes> piece_{};
  std::size_t pieceSize_ = 0;
  std::size_t pieceTaken_ = 0;
};

}  // namespace side
