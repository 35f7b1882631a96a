// Signal generation and degradations for the read-back tests and tools.
// Filters run in double precision; resampling and time warps share one
// windowed-sinc interpolator, widened when the signal is squeezed so that
// nothing folds back below the new Nyquist frequency.
#include "tests/support/degrade.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>

#include "formats/byte_order.h"
#include "tape/tape_format.h"

namespace degrade {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr std::size_t kWavHeaderBytes = 46;  // lentok writes an 18-byte fmt chunk

// ---- Band-limited interpolation -------------------------------------------

// sinc(u) under a Blackman window reaching kHalfWidth zero crossings to each
// side, tabulated finely and read with linear interpolation.
class SincKernel {
 public:
  static constexpr int kHalfWidth = 16;
  static constexpr int kStepsPerUnit = 512;

  SincKernel() : table_(kHalfWidth * kStepsPerUnit + 2, 0.0) {
    for (std::size_t i = 0; i + 1 < table_.size(); ++i) {
      const double u = static_cast<double>(i) / kStepsPerUnit;
      const double sinc = u == 0 ? 1.0 : std::sin(kPi * u) / (kPi * u);
      const double x = u / kHalfWidth;
      const double window = 0.42 + 0.5 * std::cos(kPi * x) + 0.08 * std::cos(2 * kPi * x);
      table_[i] = u < kHalfWidth ? sinc * window : 0.0;
    }
  }

  double At(double u) const {
    const double scaled = std::fabs(u) * kStepsPerUnit;
    const auto index = static_cast<std::size_t>(scaled);
    if (index + 1 >= table_.size()) return 0.0;
    const double fraction = scaled - static_cast<double>(index);
    return table_[index] + fraction * (table_[index + 1] - table_[index]);
  }

 private:
  std::vector<double> table_;
};

// The band-limited value of `signal` at fractional sample `position`, with
// the pass band cut to `cutoff` (1: the signal's own Nyquist frequency).
double ValueAt(const Signal& signal, const SincKernel& kernel, double position, double cutoff) {
  const double reach = SincKernel::kHalfWidth / cutoff;
  const auto first = static_cast<std::int64_t>(std::ceil(position - reach));
  const auto last = static_cast<std::int64_t>(std::floor(position + reach));
  const auto size = static_cast<std::int64_t>(signal.size());
  double sum = 0;
  for (std::int64_t k = std::max<std::int64_t>(first, 0); k <= std::min(last, size - 1); ++k) {
    sum += signal[static_cast<std::size_t>(k)] * kernel.At(cutoff * (position - static_cast<double>(k)));
  }
  return sum * cutoff;
}

// A new signal of `count` samples whose sample m is `signal` at input
// position positionOf(m).
Signal Warp(const Signal& signal, std::size_t count, const std::function<double(std::size_t)>& positionOf,
            double cutoff) {
  const SincKernel kernel;
  Signal out(count);
  for (std::size_t m = 0; m < count; ++m) {
    out[m] = static_cast<float>(ValueAt(signal, kernel, positionOf(m), cutoff));
  }
  return out;
}

// Keeps a little room below the new Nyquist frequency for the window's
// transition band.
double CutoffFor(double squeeze) { return 0.95 * std::min(1.0, 1.0 / squeeze); }

// ---- Filters ---------------------------------------------------------------

struct Biquad {
  double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
};

Biquad FirstOrder(double sampleRate, double cornerHz, bool highPass) {
  // Bilinear transform of a one-pole section, its corner prewarped.
  const double k = std::tan(kPi * cornerHz / sampleRate);
  Biquad section;
  section.a1 = (k - 1) / (k + 1);
  section.b0 = highPass ? 1 / (1 + k) : k / (1 + k);
  section.b1 = highPass ? -section.b0 : section.b0;
  return section;
}

Biquad SecondOrder(double sampleRate, double cornerHz, double q, bool highPass) {
  const double w0 = 2 * kPi * cornerHz / sampleRate;
  const double cosine = std::cos(w0);
  const double alpha = std::sin(w0) / (2 * q);
  const double a0 = 1 + alpha;
  Biquad section;
  const double edge = highPass ? (1 + cosine) / 2 : (1 - cosine) / 2;
  section.b0 = edge / a0;
  section.b1 = (highPass ? -2 * edge : 2 * edge) / a0;
  section.b2 = edge / a0;
  section.a1 = -2 * cosine / a0;
  section.a2 = (1 - alpha) / a0;
  return section;
}

// The sections of a Butterworth filter of `order` 1, 2 or 4.
std::vector<Biquad> Butterworth(double sampleRate, double cornerHz, int order, bool highPass) {
  if (order == 1) return {FirstOrder(sampleRate, cornerHz, highPass)};
  if (order == 2) return {SecondOrder(sampleRate, cornerHz, 1 / std::sqrt(2.0), highPass)};
  // Fourth order: two sections whose poles lie at 22.5 and 67.5 degrees.
  return {SecondOrder(sampleRate, cornerHz, 1 / (2 * std::cos(kPi / 8)), highPass),
          SecondOrder(sampleRate, cornerHz, 1 / (2 * std::cos(3 * kPi / 8)), highPass)};
}

void Filter(std::vector<double>& samples, const Biquad& s) {
  double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
  for (double& sample : samples) {
    const double y = s.b0 * sample + s.b1 * x1 + s.b2 * x2 - s.a1 * y1 - s.a2 * y2;
    x2 = x1;
    x1 = sample;
    y2 = y1;
    y1 = y;
    sample = y;
  }
}

Signal Map(const Signal& signal, const std::function<float(float)>& change) {
  Signal out(signal.size());
  std::transform(signal.begin(), signal.end(), out.begin(), change);
  return out;
}

// ---- Tape bytes to half-cell levels ----------------------------------------

// +1 or -1 for each half-cell, as lentok orders them: each cell opens with
// the opposite of the level the last one ended on, then the bit's level.
std::vector<std::int8_t> HalfCellLevels(const Bytes& tape, bool closingHalfCell) {
  std::vector<std::int8_t> levels;
  levels.reserve(tape.size() * 16 + 1);
  std::int8_t last = -1;
  for (std::uint8_t byte : tape) {
    for (int bit = 7; bit >= 0; --bit) {
      levels.push_back(static_cast<std::int8_t>(-last));
      last = (byte >> bit & 1) != 0 ? 1 : -1;
      levels.push_back(last);
    }
  }
  if (closingHalfCell) levels.push_back(static_cast<std::int8_t>(-last));
  return levels;
}

// The raised-cosine step from one level to the next, `distance` half-cells
// after the boundary (negative: before it), over `width` half-cells.
double SmoothStep(double from, double to, double distance, double width) {
  const double s = 0.5 - 0.5 * std::cos(kPi * (distance + width / 2) / width);
  return from + (to - from) * s;
}

}  // namespace

double NominalCellSeconds() { return 2.0 * kHalfCellSamples / kRecordingSampleRate; }

Signal LentokSignal(const Bytes& image, const RecordingOptions& options) {
  const Bytes wav = ExpectedRecording(image, options);
  Signal out((wav.size() - kWavHeaderBytes) / 2);
  for (std::size_t i = 0; i < out.size(); ++i) {
    const auto sample = static_cast<std::int16_t>(LoadLe16(&wav[kWavHeaderBytes + 2 * i]));
    out[i] = static_cast<float>(sample) / 32768.0f;
  }
  return out;
}

Bytes StyledTapeBytes(const Bytes& image, const EncoderStyle& style) {
  Bytes tape(style.leaderBytes, 0x00);
  tape.push_back(kSyncByte);
  if (style.withHeader) {
    tape.insert(tape.end(), kHeaderMarkCount, kHeaderMarkByte);
    tape.insert(tape.end(), style.name.begin(), style.name.end());
    const std::size_t zeros = style.zeroRunBytes >= 0
                                  ? static_cast<std::size_t>(style.zeroRunBytes)
                                  : HeaderZeroRunLength(static_cast<std::uint32_t>(style.name.size()));
    tape.insert(tape.end(), zeros, 0x00);
    tape.push_back(kSyncByte);
  }
  tape.insert(tape.end(), image.begin(), style.checksumWord ? image.end() : image.end() - 2);
  return tape;
}

Signal SynthesiseRecording(const Bytes& image, const EncoderStyle& style) {
  const std::vector<std::int8_t> levels = HalfCellLevels(StyledTapeBytes(image, style), style.closingHalfCell);
  const double halfCellsPerSample = kRecordingSampleRate / (kHalfCellSamples * style.sampleRate);
  const auto count = static_cast<std::size_t>(std::ceil(static_cast<double>(levels.size()) / halfCellsPerSample));
  const double width = std::min(1.0, style.edgeSeconds * kRecordingSampleRate / kHalfCellSamples);
  Signal out(count);
  for (std::size_t n = 0; n < count; ++n) {
    // The small margin keeps exact boundaries (44100 Hz) from landing a
    // rounding error short of their half-cell.
    const double position = static_cast<double>(n) * halfCellsPerSample + 1e-9;
    const auto index = std::min(static_cast<std::size_t>(position), levels.size() - 1);
    const double fraction = position - static_cast<double>(index);
    double value = levels[index];
    if (width > 0 && fraction < width / 2 && index > 0) {
      value = SmoothStep(levels[index - 1], levels[index], fraction, width);
    } else if (width > 0 && fraction > 1 - width / 2 && index + 1 < levels.size()) {
      value = SmoothStep(levels[index], levels[index + 1], fraction - 1, width);
    }
    out[n] = static_cast<float>(value * style.level);
  }
  return out;
}

Signal EarlierMonitorSave(const Bytes& image) {
  EncoderStyle style;
  style.withHeader = false;
  style.checksumWord = false;
  return SynthesiseRecording(image, style);
}

Signal Silence(double seconds, double sampleRate) {
  return Signal(static_cast<std::size_t>(std::llround(seconds * sampleRate)), 0.0f);
}

Signal Join(const std::vector<Signal>& pieces) {
  Signal out;
  for (const Signal& piece : pieces) out.insert(out.end(), piece.begin(), piece.end());
  return out;
}

Signal Slice(const Signal& signal, std::size_t from, std::size_t to) {
  to = std::min(to, signal.size());
  from = std::min(from, to);
  return Signal(signal.begin() + static_cast<std::ptrdiff_t>(from),
                signal.begin() + static_cast<std::ptrdiff_t>(to));
}

double PowerOf(const Signal& signal) {
  double sum = 0;
  for (float sample : signal) sum += static_cast<double>(sample) * sample;
  return signal.empty() ? 0.0 : sum / static_cast<double>(signal.size());
}

Signal AddWhiteNoise(const Signal& signal, double snrDb, std::uint64_t seed) {
  // mt19937_64 is the same sequence everywhere; the Box-Muller transform is
  // done here rather than by std::normal_distribution, whose algorithm
  // differs between standard libraries.
  std::mt19937_64 generator(seed);
  const auto uniform = [&generator] { return (static_cast<double>(generator() >> 11) + 0.5) * 0x1p-53; };
  const double sigma = std::sqrt(PowerOf(signal) / std::pow(10.0, snrDb / 10));
  Signal out(signal.size());
  for (std::size_t i = 0; i < out.size(); i += 2) {
    const double radius = sigma * std::sqrt(-2 * std::log(uniform()));
    const double angle = 2 * kPi * uniform();
    out[i] = static_cast<float>(signal[i] + radius * std::cos(angle));
    if (i + 1 < out.size()) out[i + 1] = static_cast<float>(signal[i + 1] + radius * std::sin(angle));
  }
  return out;
}

Signal Resample(const Signal& signal, double fromRate, double toRate) {
  const double step = fromRate / toRate;
  const auto count = static_cast<std::size_t>(std::floor(static_cast<double>(signal.size()) / step));
  return Warp(signal, count, [step](std::size_t m) { return static_cast<double>(m) * step; }, CutoffFor(step));
}

Signal ChangeSpeed(const Signal& signal, double factor) {
  const auto count = static_cast<std::size_t>(std::floor(static_cast<double>(signal.size()) / factor));
  return Warp(signal, count, [factor](std::size_t m) { return static_cast<double>(m) * factor; },
              CutoffFor(factor));
}

Signal WowAndFlutter(const Signal& signal, double sampleRate, Waver wow, Waver flutter) {
  // The speed is 1 + d1 sin(2 pi f1 t) + d2 sin(2 pi f2 t); the tape position
  // is its integral, in samples.
  const auto drift = [sampleRate](const Waver& waver, double seconds) {
    if (waver.hertz <= 0) return 0.0;
    const double w = 2 * kPi * waver.hertz;
    return sampleRate * waver.depth / w * (1 - std::cos(w * seconds));
  };
  const auto positionOf = [=](std::size_t m) {
    const double seconds = static_cast<double>(m) / sampleRate;
    return static_cast<double>(m) + drift(wow, seconds) + drift(flutter, seconds);
  };
  std::size_t count = 0;
  while (positionOf(count) < static_cast<double>(signal.size())) ++count;
  return Warp(signal, count, positionOf, CutoffFor(1 + std::fabs(wow.depth) + std::fabs(flutter.depth)));
}

Signal BandPass(const Signal& signal, double sampleRate, double lowHz, double highHz, int order) {
  std::vector<double> samples(signal.begin(), signal.end());
  for (const Biquad& section : Butterworth(sampleRate, lowHz, order, true)) Filter(samples, section);
  for (const Biquad& section : Butterworth(sampleRate, highHz, order, false)) Filter(samples, section);
  return Signal(samples.begin(), samples.end());
}

Signal AddOffset(const Signal& signal, float offset) {
  return Map(signal, [offset](float sample) { return sample + offset; });
}

Signal AddHum(const Signal& signal, double sampleRate, double hertz, float amplitude) {
  Signal out = signal;
  for (std::size_t i = 0; i < out.size(); ++i) {
    out[i] += amplitude * static_cast<float>(std::sin(2 * kPi * hertz * static_cast<double>(i) / sampleRate));
  }
  return out;
}

Signal Invert(const Signal& signal) {
  return Map(signal, [](float sample) { return -sample; });
}

Signal ApplyGainDb(const Signal& signal, double decibels) {
  const auto gain = static_cast<float>(std::pow(10.0, decibels / 20));
  return Map(signal, [gain](float sample) { return sample * gain; });
}

Signal Clip(const Signal& signal, float limit) {
  return Map(signal, [limit](float sample) { return std::clamp(sample, -limit, limit); });
}

Signal Dropout(const Signal& signal, std::size_t from, std::size_t count, float keep) {
  Signal out = signal;
  const std::size_t to = std::min(out.size(), from + count);
  for (std::size_t i = std::min(from, to); i < to; ++i) out[i] *= keep;
  return out;
}

Signal QuantiseTo8Bits(const Signal& signal) {
  return Map(signal, [](float sample) {
    const float code = std::clamp(std::round(sample * 128.0f) + 128.0f, 0.0f, 255.0f);
    return (code - 128.0f) / 128.0f;
  });
}

}  // namespace degrade
