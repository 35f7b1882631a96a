// A tape loader for the tests, independent of the tool's encoder.
#include "tests/support/tape_loader.h"

#include <algorithm>
#include <cstdlib>

namespace {

constexpr std::uint8_t kSync = 0xE6;

std::vector<int> RunLengths(const std::vector<std::int16_t>& samples) {
  std::vector<int> runs;
  std::size_t i = 0;
  while (i < samples.size()) {
    std::size_t j = i;
    while (j < samples.size() && (samples[j] > 0) == (samples[i] > 0)) ++j;
    runs.push_back(static_cast<int>(j - i));
    i = j;
  }
  return runs;
}

class BitReader {
 public:
  BitReader(const std::vector<int>& bits, std::size_t position) : bits_(bits), position_(position) {}

  std::optional<std::uint8_t> Byte() {
    if (position_ + 8 > bits_.size()) return std::nullopt;
    unsigned value = 0;
    for (int i = 0; i < 8; ++i) value = value << 1 | static_cast<unsigned>(bits_[position_++]);
    return static_cast<std::uint8_t>(value);
  }

  // Moves to just after the next sync byte, searched bit by bit.
  bool SkipPastSync() {
    for (; position_ + 8 <= bits_.size(); ++position_) {
      BitReader probe(bits_, position_);
      if (probe.Byte() == kSync) {
        position_ += 8;
        return true;
      }
    }
    return false;
  }

 private:
  const std::vector<int>& bits_;
  std::size_t position_;
};

}  // namespace

std::vector<std::int16_t> SamplesOf(const Bytes& wav) {
  std::vector<std::int16_t> samples;
  // The samples follow the data chunk's header, wherever the header's
  // other chunks put it.
  std::size_t data = 12;
  while (data + 8 <= wav.size() && !std::equal(wav.begin() + data, wav.begin() + data + 4, "data")) ++data;
  for (std::size_t i = data + 8; i + 1 < wav.size(); i += 2) {
    samples.push_back(static_cast<std::int16_t>(wav[i] | wav[i + 1] << 8));
  }
  return samples;
}

std::vector<int> BitsOf(const std::vector<std::int16_t>& samples, int halfCell) {
  const std::vector<int> runs = RunLengths(samples);
  std::vector<int> bits;
  // Through the leader every run is a half-cell and the phase is unknown;
  // the first long run is the first 1 of the sync byte and fixes it.
  std::size_t i = 0;
  while (i < runs.size() && std::abs(runs[i] - halfCell) < halfCell / 2) ++i;
  int previous = 0;
  bits.assign(16, 0);  // stands for the leader
  while (i < runs.size()) {
    if (std::abs(runs[i] - 2 * halfCell) < halfCell / 2) {
      previous ^= 1;
      i += 1;
    } else if (i + 1 < runs.size() && std::abs(runs[i] - halfCell) < halfCell / 2 &&
               std::abs(runs[i + 1] - halfCell) < halfCell / 2) {
      i += 2;
    } else {
      break;  // not a cell: the stream ends here for the loader
    }
    bits.push_back(previous);
  }
  return bits;
}

std::optional<LoadedTape> LoadTape(const std::vector<int>& bits, bool withHeader) {
  BitReader reader(bits, 0);
  if (!reader.SkipPastSync()) return std::nullopt;
  LoadedTape tape;
  if (withHeader) {
    for (int i = 0; i < 3; ++i) {
      if (reader.Byte() != 0xD9) return std::nullopt;
    }
    for (auto byte = reader.Byte(); byte && *byte != 0; byte = reader.Byte()) {
      tape.name.push_back(static_cast<char>(*byte));
    }
    if (!reader.SkipPastSync()) return std::nullopt;
  }
  for (int i = 0; i < 4; ++i) {
    const auto byte = reader.Byte();
    if (!byte) return std::nullopt;
    tape.block.push_back(*byte);
  }
  const unsigned start = tape.block[0] | tape.block[1] << 8;
  const unsigned end = tape.block[2] | tape.block[3] << 8;
  for (unsigned address = start; address <= end; ++address) {
    const auto byte = reader.Byte();
    if (!byte) return std::nullopt;
    tape.block.push_back(*byte);
  }
  const auto low = reader.Byte();
  const auto high = reader.Byte();
  if (!low || !high) return std::nullopt;
  tape.checksum = static_cast<std::uint16_t>(*low | *high << 8);
  return tape;
}
