// Signals for reading back: lentok's exact recording of an image, the same
// tape format as other encoders write it (other rates, short leaders, lower
// levels, rounded edges), and the harm that tape decks, cables and sound
// cards do to a signal. Pure functions over mono float signals (full scale
// at -1 and 1); every random part comes from a seeded generator, so a
// result repeats from run to run and machine to machine.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/expected.h"
#include "tests/support/test_files.h"

namespace degrade {

using Signal = std::vector<float>;

// The length of one bit cell on tape in seconds: 32 samples at 44100 Hz.
double NominalCellSeconds();

// ---- Making signals ------------------------------------------------------

// lentok's own recording of `image` (44100 Hz), its 16-bit samples scaled to
// floats: +-32760 becomes +-32760/32768.
Signal LentokSignal(const Bytes& image, const RecordingOptions& options);

// How another encoder writes the same tape format.
struct EncoderStyle {
  double sampleRate = 44100;
  std::uint32_t leaderBytes = 255;
  bool withHeader = true;
  std::string name;           // the name bytes as they go on tape, as given
  int zeroRunBytes = -1;      // after the name; -1: lentok's length for the name
  double level = 32760.0 / 32768.0;  // the amplitude of both levels
  double edgeSeconds = 0;     // 0: square edges; else raised-cosine edges this long
  // lentok ends with a half-cell that closes the last bit; an encoder of
  // the older layout stops at the last bit's own level.
  bool closingHalfCell = true;
  // The earlier monitors write none: the data's last bit ends the record.
  bool checksumWord = true;
};

// The bytes that go on tape for `image` in `style`, checksum as stored.
Bytes StyledTapeBytes(const Bytes& image, const EncoderStyle& style);

// The signal of `image` in `style`. At a rate where a cell is not a whole
// number of samples, each sample takes the level at its own instant (edges
// wander by up to a sample, as a plain encoder's do), or the smoothed level
// when edgeSeconds is set.
Signal SynthesiseRecording(const Bytes& image, const EncoderStyle& style);

// What the earlier monitors' write command records for `image` (44100 Hz):
// leader, sync byte, addresses and data, the last bit closed, and nothing
// after: no name header and no checksum word.
Signal EarlierMonitorSave(const Bytes& image);

Signal Silence(double seconds, double sampleRate);
Signal Join(const std::vector<Signal>& pieces);
// Samples [from, to) of `signal`, clamped to its length.
Signal Slice(const Signal& signal, std::size_t from, std::size_t to);

// ---- Harm ----------------------------------------------------------------

// The mean of the squared samples.
double PowerOf(const Signal& signal);

// White Gaussian noise over the whole band, at `snrDb` below the signal's
// own power.
Signal AddWhiteNoise(const Signal& signal, double snrDb, std::uint64_t seed);

// Band-limited (windowed-sinc) conversion to another sample rate.
Signal Resample(const Signal& signal, double fromRate, double toRate);

// The tape played `factor` times as fast: 1.15 is 15 % fast (shorter,
// higher), 0.85 is 15 % slow. Same sample rate.
Signal ChangeSpeed(const Signal& signal, double factor);

// A periodic speed deviation: depth 0.02 is +-2 % of speed.
struct Waver {
  double depth = 0;
  double hertz = 0;
};

// Time-varying speed: slow wow and fast flutter together, applied by warping
// time with band-limited interpolation.
Signal WowAndFlutter(const Signal& signal, double sampleRate, Waver wow, Waver flutter);

// Butterworth band-pass of order 1, 2 or 4 on each side: a high-pass at
// `lowHz` then a low-pass at `highHz`.
Signal BandPass(const Signal& signal, double sampleRate, double lowHz, double highHz, int order);

Signal AddOffset(const Signal& signal, float offset);
// Mains hum: a sine of `hertz` and `amplitude` added.
Signal AddHum(const Signal& signal, double sampleRate, double hertz, float amplitude);
Signal Invert(const Signal& signal);
Signal ApplyGainDb(const Signal& signal, double decibels);
Signal Clip(const Signal& signal, float limit);
// A dropout: `count` samples from `from` on scaled by `keep` (0: nothing
// left), as where the tape lifts off the head.
Signal Dropout(const Signal& signal, std::size_t from, std::size_t count, float keep);

// Through an unsigned 8-bit sample and back.
Signal QuantiseTo8Bits(const Signal& signal);

}  // namespace degrade
