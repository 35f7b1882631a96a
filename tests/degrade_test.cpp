// The degradation kit itself: its signals must be what they claim, or the
// read-back tests would prove nothing. The synthesiser is held against
// lentok's expected recording and the run-length tape loader, the harm
// against tones whose result is known in closed form.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "formats/wav_reader.h"
#include "tests/support/degrade.h"
#include "tests/support/expected.h"
#include "tests/support/tape_loader.h"
#include "tests/support/wav_out.h"

namespace {

using degrade::Signal;

constexpr double kPi = 3.14159265358979323846;

Signal Tone(double hertz, double rate, double seconds, double amplitude = 0.5) {
  Signal tone(static_cast<std::size_t>(seconds * rate));
  for (std::size_t n = 0; n < tone.size(); ++n) {
    tone[n] = static_cast<float>(amplitude * std::sin(2 * kPi * hertz * static_cast<double>(n) / rate));
  }
  return tone;
}

// The largest difference from `expected(n)` over the middle of `signal`,
// away from the filter's reach at either end.
double LargestErrorInside(const Signal& signal, const std::function<double(std::size_t)>& expected) {
  double largest = 0;
  for (std::size_t n = signal.size() / 10; n < signal.size() * 9 / 10; ++n) {
    largest = std::max(largest, std::fabs(signal[n] - expected(n)));
  }
  return largest;
}

// The gain of a steady tone through the band-pass, in dB.
double BandPassGainDb(double hertz, double lowHz, double highHz, int order) {
  const double rate = 44100;
  const Signal tone = Tone(hertz, rate, 1.0);
  const Signal out = degrade::BandPass(tone, rate, lowHz, highHz, order);
  const Signal settled = degrade::Slice(out, out.size() / 2, out.size());
  const Signal reference = degrade::Slice(tone, tone.size() / 2, tone.size());
  return 10 * std::log10(degrade::PowerOf(settled) / degrade::PowerOf(reference));
}

std::vector<std::int16_t> ToSixteenBits(const Signal& signal) {
  std::vector<std::int16_t> samples;
  for (float sample : signal) samples.push_back(static_cast<std::int16_t>(std::lround(sample * 32768.0f)));
  return samples;
}

}  // namespace

TEST(Synthesiser, InLentoksStyleItIsLentoksOwnSignal) {
  const Bytes image = MakeConsistentImage(0x3000, {0x00, 0xFF, 0x55, 0xAA, 0x01, 0x80});
  degrade::EncoderStyle style;
  style.name = "HELLO.RKS";
  RecordingOptions options;
  options.tapeName = "HELLO.RKS";
  EXPECT_EQ(degrade::SynthesiseRecording(image, style), degrade::LentokSignal(image, options));

  style.withHeader = false;
  options.noHeader = true;
  EXPECT_EQ(degrade::SynthesiseRecording(image, style), degrade::LentokSignal(image, options));
}

TEST(Synthesiser, AForeignStyleCarriesItsOwnLeaderNameAndLevel) {
  const Bytes image = MakeConsistentImage(0x0100, {0x12, 0x34, 0x56});
  degrade::EncoderStyle style;
  style.leaderBytes = 16;
  style.name = "game.rks";
  style.zeroRunBytes = 7;
  style.level = 0.25;
  style.closingHalfCell = false;  // an encoder of the older layout
  const Signal signal = degrade::SynthesiseRecording(image, style);
  const std::size_t tapeBytes = 16 + 1 + 3 + 8 + 7 + 1 + image.size();
  ASSERT_EQ(signal.size(), tapeBytes * 8 * 32);
  EXPECT_FLOAT_EQ(*std::max_element(signal.begin(), signal.end()), 0.25f);

  const std::optional<LoadedTape> tape = LoadTape(BitsOf(ToSixteenBits(signal)), true);
  ASSERT_TRUE(tape.has_value());
  EXPECT_EQ(tape->name, "game.rks");
  EXPECT_EQ(tape->block, Bytes(image.begin(), image.end() - 2));
}

TEST(Synthesiser, OtherRatesKeepTheCellLengthAndRoundedEdgesStayInRange) {
  const Bytes image = MakeConsistentImage(0x0100, Bytes(50, 0xA5));
  degrade::EncoderStyle style;
  style.sampleRate = 11025;
  style.edgeSeconds = 2 / 11025.0;
  const Signal signal = degrade::SynthesiseRecording(image, style);
  // Every bit's cell, and the half-cell that closes the last.
  const double seconds = (static_cast<double>(degrade::StyledTapeBytes(image, style).size()) * 8 + 0.5) *
                         degrade::NominalCellSeconds();
  EXPECT_NEAR(static_cast<double>(signal.size()), seconds * 11025, 1.0);
  const auto [low, high] = std::minmax_element(signal.begin(), signal.end());
  EXPECT_GE(*low, -style.level);
  EXPECT_LE(*high, style.level);
  // Some samples fall on an edge and lie between the two levels.
  EXPECT_TRUE(std::any_of(signal.begin(), signal.end(), [](float s) { return std::fabs(s) < 0.9f; }));
}

TEST(Harm, NoiseHasTheAskedSnrAndRepeatsWithItsSeed) {
  const Signal tone = Tone(1000, 44100, 1.0);
  for (double snr : {12.0, 3.0}) {
    const Signal noisy = degrade::AddWhiteNoise(tone, snr, 1);
    Signal noise(tone.size());
    for (std::size_t n = 0; n < tone.size(); ++n) noise[n] = noisy[n] - tone[n];
    EXPECT_NEAR(10 * std::log10(degrade::PowerOf(tone) / degrade::PowerOf(noise)), snr, 0.1);
  }
  EXPECT_EQ(degrade::AddWhiteNoise(tone, 6, 99), degrade::AddWhiteNoise(tone, 6, 99));
  EXPECT_NE(degrade::AddWhiteNoise(tone, 6, 99), degrade::AddWhiteNoise(tone, 6, 100));
}

TEST(Harm, ResamplingKeepsATonesFrequencyAndLevel) {
  for (double rate : {8000.0, 11025.0, 48000.0, 192000.0}) {
    SCOPED_TRACE(rate);
    const Signal out = degrade::Resample(Tone(1000, 44100, 0.5), 44100, rate);
    EXPECT_NEAR(static_cast<double>(out.size()), 0.5 * rate, 1.0);
    EXPECT_LT(LargestErrorInside(out, [rate](std::size_t n) {
                return 0.5 * std::sin(2 * kPi * 1000 * static_cast<double>(n) / rate);
              }),
              0.01);
  }
}

TEST(Harm, SpeedChangeScalesFrequencyAndLength) {
  for (double factor : {0.85, 1.15}) {
    SCOPED_TRACE(factor);
    const Signal out = degrade::ChangeSpeed(Tone(1000, 44100, 0.5), factor);
    EXPECT_NEAR(static_cast<double>(out.size()), 0.5 * 44100 / factor, 1.0);
    EXPECT_LT(LargestErrorInside(out, [factor](std::size_t n) {
                return 0.5 * std::sin(2 * kPi * 1000 * factor * static_cast<double>(n) / 44100);
              }),
              0.01);
  }
}

TEST(Harm, WowAndFlutterWarpTimeAsTheSpeedWavers) {
  const double rate = 44100;
  const degrade::Waver wow{0.02, 0.5};
  const degrade::Waver flutter{0.01, 10};
  const Signal out = degrade::WowAndFlutter(Tone(500, rate, 2.0), rate, wow, flutter);
  // Over whole periods of both the tape covers its own length.
  EXPECT_NEAR(static_cast<double>(out.size()), 2.0 * rate, 0.005 * rate);
  const auto phaseAt = [&](std::size_t n) {
    const double t = static_cast<double>(n) / rate;
    const double wowTerm = wow.depth / (2 * kPi * wow.hertz) * (1 - std::cos(2 * kPi * wow.hertz * t));
    const double flutterTerm =
        flutter.depth / (2 * kPi * flutter.hertz) * (1 - std::cos(2 * kPi * flutter.hertz * t));
    return 2 * kPi * 500 * (t + wowTerm + flutterTerm);
  };
  EXPECT_LT(LargestErrorInside(out, [&](std::size_t n) { return 0.5 * std::sin(phaseAt(n)); }), 0.01);
}

TEST(Harm, BandPassCornersAndSlopes) {
  EXPECT_NEAR(BandPassGainDb(1000, 200, 2500, 4), 0.0, 0.2);
  EXPECT_NEAR(BandPassGainDb(3000, 300, 3000, 1), -3.0, 0.2);
  EXPECT_NEAR(BandPassGainDb(2500, 200, 2500, 4), -3.0, 0.2);
  EXPECT_NEAR(BandPassGainDb(200, 200, 2500, 2), -3.0, 0.2);
  // An octave past the corner: 6 dB more per order.
  EXPECT_LT(BandPassGainDb(5000, 200, 2500, 4), -22.0);
  EXPECT_GT(BandPassGainDb(6000, 300, 3000, 1), -8.0);
}

TEST(Harm, EightBitsLeaveWholeStepsOfAHundredAndTwentyEighth) {
  const Signal out = degrade::QuantiseTo8Bits({1.0f, -1.0f, 0.3f, -0.003f, 2.0f});
  EXPECT_EQ(out, Signal({127 / 128.0f, -1.0f, 38 / 128.0f, 0.0f, 127 / 128.0f}));
}

TEST(WavOut, EverySampleTypeReadsBackThroughTheWavReader) {
  using formats::WavSampleType;
  const Signal stereo = {0.0f, 0.5f, -0.5f, 0.25f, 0.999f, -1.0f, 0.125f, -0.125f};
  const std::pair<WavSampleType, float> types[] = {
      {WavSampleType::kUnsigned8, 1 / 128.0f}, {WavSampleType::kSigned16, 1 / 32768.0f},
      {WavSampleType::kSigned24, 1e-6f},       {WavSampleType::kSigned32, 1e-6f},
      {WavSampleType::kFloat32, 0.0f},         {WavSampleType::kFloat64, 0.0f},
  };
  for (const auto& [type, step] : types) {
    SCOPED_TRACE(static_cast<int>(type));
    const Bytes file = WavFileBytes(stereo, 22050, 2, type);
    formats::WavStreamReader reader;
    std::vector<float> frames;
    ASSERT_EQ(reader.Feed(file.data(), file.size(), frames), formats::WavError::kNone);
    ASSERT_EQ(reader.Finish(), formats::WavError::kNone);
    EXPECT_EQ(reader.Format().sampleRate, 22050u);
    EXPECT_EQ(reader.Format().channels, 2);
    EXPECT_EQ(reader.Format().sampleType, type);
    EXPECT_FALSE(reader.EndedShort());
    ASSERT_EQ(frames.size(), stereo.size());
    for (std::size_t i = 0; i < frames.size(); ++i) EXPECT_NEAR(frames[i], stereo[i], step) << i;
  }
}
