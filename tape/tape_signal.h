// The cassette signal: every bit is a cell of two half-cells of 16 samples.
// The first half-cell is the opposite of the level the previous cell ended
// on; the second is high for a 1 and low for a 0.
#pragma once

#include <cstdint>

#include "app/conversion_state.h"
#include "tape/tape_format.h"

constexpr std::int16_t kHighLevel = 32760;
constexpr std::int16_t kLowLevel = -32760;
constexpr std::uint32_t kSamplesPerByte = 8 * 2 * kHalfCellSamples;
constexpr std::uint32_t kBytesPerTapeByte = kSamplesPerByte * 2;  // 512

struct TapeSignal {
  std::uint32_t halfCellSamples = kHalfCellSamples;
  // The level of the second half of the most recent cell. Starting low makes
  // the very first half-cell of the recording high.
  std::int16_t lastLevel = kLowLevel;
};

// Appends one bit cell as little-endian samples at `destination`; returns the
// position after it.
std::uint8_t* EmitBit(TapeSignal& signal, bool bit, std::uint8_t* destination);

// Encodes `value`, most significant bit first, into the scratch buffer and
// writes its 512 bytes to the output in one call. Returns the shortfall:
// 0 when everything was written.
std::uint32_t EmitByte(ConversionState& state, TapeSignal& signal, std::uint8_t value);

// EmitByte(0) `count` times; stops at and returns the first shortfall.
std::uint32_t EmitZeroBytes(ConversionState& state, TapeSignal& signal, std::uint32_t count);

// Writes one half-cell at the level opposite the last cell's second half:
// the change that closes the last bit. The machine's loader takes each bit
// at the change that ends its cell, so without this the last checksum bit
// waits on whatever the line does after the recording. Returns the shortfall.
std::uint32_t EmitClosingHalfCell(ConversionState& state, TapeSignal& signal);
