// The tape format as both directions see it: the bytes that frame a record
// and the length of the bit cell. The writer puts exactly these on tape; the
// reader searches for them.
#pragma once

#include <cstdint>

constexpr std::uint32_t kLeaderBytes = 255;
constexpr std::uint8_t kSyncByte = 0xE6;
constexpr std::uint8_t kHeaderMarkByte = 0xD9;
constexpr std::uint32_t kHeaderMarkCount = 3;

// A bit cell is two half-cells of this many samples at the recording rate.
constexpr std::uint32_t kHalfCellSamples = 16;
constexpr std::uint32_t kRecordingSampleRate = 44100;

// The zero run between the name and the second sync byte.
std::uint32_t HeaderZeroRunLength(std::uint32_t nameLength);
