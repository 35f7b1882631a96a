// Places in lentok's recordings, and harm laid on them.
#include "tests/support/tape_damage.h"

#include <random>

#include "reader/decoded_record.h"
#include "tests/support/expected.h"
#include "tests/support/read_back.h"

namespace tape_damage {

namespace {

constexpr double kRate = 44100;
constexpr std::size_t kCellSamples = 32;
constexpr std::size_t kHalfCellSamples = kCellSamples / 2;

Program Recorded(std::size_t size, std::uint32_t seed, const std::string& name) {
  std::mt19937 generator(seed);
  Bytes data(size);
  for (std::uint8_t& byte : data) byte = static_cast<std::uint8_t>(generator() >> 24);
  Program program;
  program.image = MakeConsistentImage(0x2000, data);
  RecordingOptions options;
  options.tapeName = name;
  program.signal = degrade::LentokSignal(program.image, options);
  return program;
}

}  // namespace

Program MakeProgram(std::size_t size, std::uint32_t seed, const std::string& name) {
  Program program = Recorded(size, seed, name);
  const std::vector<reader::DecodedRecord> clean = DecodeSignal(program.signal, kRate);
  if (clean.size() == 1) program.byteFrames = clean[0].byteFrames;
  return program;
}

Program SameLayout(const Program& layout, std::uint32_t seed, const std::string& name) {
  Program program = Recorded(layout.byteFrames.size(), seed, name);
  program.byteFrames = layout.byteFrames;
  return program;
}

Bytes DataOf(const Bytes& image) { return Bytes(image.begin() + 4, image.end() - 2); }

std::size_t BitChangeFrame(const Program& program, std::size_t byte, int bit) {
  // A byte's frame is where its first cell begins, as the reader counts
  // cells: each cell's deciding change lies a cell after its start.
  const std::size_t count = program.byteFrames.size();
  const std::size_t first = byte < count ? static_cast<std::size_t>(program.byteFrames.at(byte))
                                         : static_cast<std::size_t>(program.byteFrames.at(count - 1)) +
                                               8 * kCellSamples * (byte - count + 1);
  return first + kCellSamples * static_cast<std::size_t>(8 - bit);
}

degrade::Signal WeakenBit(const degrade::Signal& signal, const Program& program, std::size_t byte, int bit,
                          float keep) {
  return degrade::Dropout(signal, BitChangeFrame(program, byte, bit) - kHalfCellSamples, kCellSamples, keep);
}

degrade::Signal DropoutFrom(const degrade::Signal& signal, const Program& program, std::size_t byte, int bit,
                            std::size_t cells, float keep) {
  return degrade::Dropout(signal, BitChangeFrame(program, byte, bit) - kHalfCellSamples, cells * kCellSamples,
                          keep);
}

}  // namespace tape_damage
