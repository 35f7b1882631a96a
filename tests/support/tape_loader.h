// Reads a recording back the way a tape loader does: from the lengths of the
// runs between level changes alone, never from sample values or positions.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/test_files.h"

struct LoadedTape {
  std::string name;           // empty when the recording has no name header
  std::vector<std::uint8_t> block;  // start, end, and the bytes between them
  std::uint16_t checksum = 0;
};

// The samples of a 16-bit PCM WAV file (lentok's, or any with the data
// chunk after the format), as signed 16-bit values, interleaved.
std::vector<std::int16_t> SamplesOf(const Bytes& wav);

// The bit stream carried by `samples`, decoded from run lengths: a cell of
// one long run repeats the level change of a bit that differs from the one
// before; two short runs carry a bit equal to it. The leader's bits are
// taken as zeros, as the monitor expects.
std::vector<int> BitsOf(const std::vector<std::int16_t>& samples, int halfCell = 16);

// Finds the first sync byte by searching the bit stream, then reads the name
// header (when `withHeader`), the data block as long as its addresses say,
// and the checksum word. Empty when the stream does not hold that.
std::optional<LoadedTape> LoadTape(const std::vector<int>& bits, bool withHeader);
