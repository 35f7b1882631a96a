// What goes on tape for one image, in order: the leader, a sync byte, the
// name header for the monitor (unless -x), the data block and the checksum.
#pragma once

#include <cstdint>

#include "app/conversion_state.h"
#include "tape/tape_signal.h"

constexpr std::uint32_t kLeaderBytes = 255;
constexpr std::uint8_t kSyncByte = 0xE6;
constexpr std::uint8_t kHeaderMarkByte = 0xD9;
constexpr std::uint32_t kHeaderMarkCount = 3;

// The zero run between the name and the second sync byte.
std::uint32_t HeaderZeroRunLength(std::uint32_t nameLength);

// The checksum of the bytes from `first` to `last` inclusive (first <= last):
// 257 times each byte but the last, plus the last byte into the low half only.
std::uint16_t TapeChecksum(const std::uint8_t* first, const std::uint8_t* last);

// Puts the whole record on tape and sets state.checksum to the word sent.
// Ends the run with the write error on the first short write.
void PlayTapeRecord(ConversionState& state, TapeSignal& signal);
