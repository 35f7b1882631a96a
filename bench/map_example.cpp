// Writes a worn cassette side for the damage map in docs/robustness.md: four
// programs recorded by lentok and harmed the way old tape is. The first is
// clean but its tape wavers; the second is recorded twice, each copy with a
// dropout somewhere else, so neither is sound alone; the third has a burst
// of noise across a few cells; the side ends in the middle of the fourth.
// Every random part is seeded, so the picture comes out the same each time.
//
//   lentok_map_example worn-side.wav
//   lentok-read --map damage-map.svg worn-side.wav
#include <cstdio>
#include <string>

#include "tests/support/degrade.h"
#include "tests/support/test_files.h"
#include "tests/support/wav_out.h"

namespace {

constexpr double kRate = 44100;
constexpr std::size_t kByteSamples = 256;

Bytes Program(std::uint16_t start, std::size_t size, unsigned seed) {
  Bytes data(size);
  for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<std::uint8_t>((i * 29 + seed * 71) ^ (i >> 2));
  return MakeConsistentImage(start, data);
}

degrade::Signal Recorded(const Bytes& image, const std::string& name) {
  RecordingOptions options;
  options.tapeName = name;
  return degrade::LentokSignal(image, options);
}

// Where data byte `index` of `image` begins in its recording.
std::size_t DataByteAt(const degrade::Signal& signal, const Bytes& image, std::size_t index) {
  return signal.size() - (image.size() - 4 - index + 2) * kByteSamples;
}

// `samples` from `from` replaced by `harm` of themselves.
template <typename Harm>
degrade::Signal Harmed(const degrade::Signal& signal, std::size_t from, std::size_t samples, Harm harm) {
  return degrade::Join({degrade::Slice(signal, 0, from), harm(degrade::Slice(signal, from, from + samples)),
                        degrade::Slice(signal, from + samples, signal.size())});
}

// The tape lifting off the head: the level falls 40 dB under hiss.
degrade::Signal Dropout(const degrade::Signal& signal, std::size_t from, std::size_t samples, std::uint64_t seed) {
  return Harmed(signal, from, samples, [&](const degrade::Signal& part) {
    return degrade::AddWhiteNoise(degrade::ApplyGainDb(part, -40), -10, seed);
  });
}

degrade::Signal Burst(const degrade::Signal& signal, std::size_t from, std::size_t samples, std::uint64_t seed) {
  return Harmed(signal, from, samples,
                [&](const degrade::Signal& part) { return degrade::AddWhiteNoise(part, -20, seed); });
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: lentok_map_example OUTPUT.wav\n");
    return 1;
  }
  const degrade::Signal gap = degrade::Silence(1.0, kRate);

  const Bytes editor = Program(0x0000, 1800, 1);
  // Silence after the record, so that warping time keeps its closing change.
  const degrade::Signal wavering = degrade::WowAndFlutter(
      degrade::Join({Recorded(editor, "EDITOR"), degrade::Silence(0.05, kRate)}), kRate, {0.04, 0.3}, {0.004, 9});

  const Bytes game = Program(0x2000, 1200, 2);
  const degrade::Signal gameSignal = Recorded(game, "GAME");
  const degrade::Signal firstCopy = Dropout(gameSignal, DataByteAt(gameSignal, game, 300), 2200, 3);
  const degrade::Signal secondCopy = Dropout(gameSignal, DataByteAt(gameSignal, game, 900), 2600, 4);

  const Bytes tools = Program(0x4000, 800, 3);
  const degrade::Signal toolsSignal = Recorded(tools, "TOOLS");
  const degrade::Signal noisy = Burst(toolsSignal, DataByteAt(toolsSignal, tools, 500), 200, 5);

  const Bytes last = Program(0x6000, 1500, 4);
  const degrade::Signal lastSignal = Recorded(last, "LAST");
  const degrade::Signal cut = degrade::Slice(lastSignal, 0, DataByteAt(lastSignal, last, 700));

  // Older tape plays quieter and hissier towards its end.
  const degrade::Signal side =
      degrade::AddWhiteNoise(degrade::Join({gap, wavering, gap, firstCopy, gap, secondCopy, gap,
                                            degrade::ApplyGainDb(noisy, -4), gap, degrade::ApplyGainDb(cut, -8)}),
                             24, 6);
  WriteWavFile(argv[1], side, static_cast<std::uint32_t>(kRate), 1, formats::WavSampleType::kSigned16);
  return 0;
}
