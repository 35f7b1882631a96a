// Round trips through the tape decoder: lentok's own recordings, other
// encoders' and recordings as a tape deck, a cable or a sound card leave
// them must all give back every record byte for byte, with a sound status.
// One table of conditions; records that begin before the recording does and
// records cut off are cases of their own. A few recordings are made by sox,
// when it is installed, and read as files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "reader/decoded_record.h"
#include "tests/support/degrade.h"
#include "tests/support/expected.h"
#include "tests/support/read_back.h"
#include "tests/support/test_files.h"

namespace {

using degrade::Signal;

constexpr double kLentokRate = 44100;

Bytes RandomData(std::size_t size, std::uint32_t seed) {
  std::mt19937 generator(seed);
  Bytes data(size);
  for (std::uint8_t& byte : data) byte = static_cast<std::uint8_t>(generator() >> 24);
  return data;
}

// Small images keep the table quick; the largest image has its own row.
Bytes SmallImage(std::uint32_t seed) { return MakeConsistentImage(0x1200, RandomData(300, seed)); }

struct ExpectedRecord {
  Bytes image;
  bool hasHeader = true;
  std::string name;
};

struct Recording {
  Signal signal;
  double sampleRate = kLentokRate;
  std::vector<ExpectedRecord> records;
};

Recording Lentok(const Bytes& image, const std::string& name = "GAME.RKS", bool header = true) {
  RecordingOptions options;
  options.noHeader = !header;
  options.tapeName = name;
  return {degrade::LentokSignal(image, options), kLentokRate, {{image, header, header ? name : ""}}};
}

// lentok's recording of a small image with a name, changed by `harm`.
Recording Harmed(const std::function<Signal(const Signal&)>& harm) {
  Recording recording = Lentok(SmallImage(7));
  recording.signal = harm(recording.signal);
  return recording;
}

Recording AtRate(double rate) {
  Recording recording = Lentok(SmallImage(11));
  recording.signal = degrade::Resample(recording.signal, kLentokRate, rate);
  recording.sampleRate = rate;
  return recording;
}

Recording SeveralWithSilences() {
  const Recording first = Lentok(SmallImage(1), "ONE.RKS");
  const Recording second = Lentok(MakeConsistentImage(0x0000, RandomData(40, 2)), "", false);
  const Recording third = Lentok(SmallImage(3), "THREE");
  const Signal gap = degrade::Silence(1.5, kLentokRate);
  return {degrade::Join({first.signal, gap, second.signal, gap, third.signal}),
          kLentokRate,
          {first.records[0], second.records[0], third.records[0]}};
}

Recording ForeignEncoderAt11025() {
  degrade::EncoderStyle style;
  style.sampleRate = 11025;
  style.leaderBytes = 48;
  style.name = "game.rks";
  style.zeroRunBytes = 256;
  style.level = 0.5;
  style.edgeSeconds = 1 / 11025.0;
  const Bytes image = SmallImage(13);
  return {degrade::SynthesiseRecording(image, style), 11025, {{image, true, "game.rks"}}};
}

Recording LongSilences() {
  Recording recording = Lentok(SmallImage(17));
  const Signal quiet = degrade::Silence(20, kLentokRate);
  // Faint hiss all through, as a sound card records between records.
  recording.signal = degrade::AddWhiteNoise(degrade::Join({quiet, recording.signal, quiet}), 45, 5);
  return recording;
}

// The first sample of data byte `index` in lentok's recording of `image`.
std::size_t DataByteSample(const Bytes& image, const RecordingOptions& options, std::size_t index) {
  const std::size_t dataBytes = image.size() - 6;
  const std::size_t tapeIndex = ExpectedTapeBytes(image, options).size() - 2 - dataBytes + index;
  return tapeIndex * 8 * 2 * 16;  // 8 bits of 2 half-cells of 16 samples
}

// The recording begins in the middle of one record's data; the next record
// follows a silence. Only that next one is there to be read.
Recording StartsMidRecord() {
  const Bytes broken = SmallImage(19);
  RecordingOptions options;
  options.tapeName = "BROKEN";
  const Signal whole = degrade::LentokSignal(broken, options);
  const Signal tail = degrade::Slice(whole, DataByteSample(broken, options, 100) + 7, whole.size());
  const Recording next = Lentok(SmallImage(23), "NEXT");
  return {degrade::Join({tail, degrade::Silence(1, kLentokRate), next.signal}), kLentokRate, next.records};
}

// Two records with a second before, between and after them, white noise at
// 12 dB over it all, then a fourth-order band-pass: noise so limited in
// band looks enough like a leader for the search to take it for one, and
// a track on it must not run on into the record that follows.
Recording NoisyGapsThroughFourthOrderBand(double rate) {
  const Recording first = Lentok(SmallImage(37), "ONE.RKS");
  const Recording second = Lentok(SmallImage(41), "TWO.RKS");
  const Signal gap = degrade::Silence(1, kLentokRate);
  const Signal noisy = degrade::AddWhiteNoise(degrade::Join({gap, first.signal, gap, second.signal, gap}), 12, 3);
  Signal band = degrade::BandPass(noisy, kLentokRate, 200, 2500, 4);
  if (rate != kLentokRate) band = degrade::QuantiseTo8Bits(degrade::Resample(band, kLentokRate, rate));
  return {band, rate, {first.records[0], second.records[0]}};
}

struct Condition {
  const char* label;
  std::function<Recording()> make;
};

const Condition kConditions[] = {
    {"OwnWithHeader", [] { return Lentok(SmallImage(1)); }},
    {"OwnWithoutHeader", [] { return Lentok(SmallImage(2), "", false); }},
    {"EmptyName", [] { return Lentok(SmallImage(3), ""); }},
    {"OneCharacterName", [] { return Lentok(SmallImage(4), "A"); }},
    {"Name32", [] { return Lentok(SmallImage(5), "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345"); }},
    {"Name40", [] { return Lentok(SmallImage(6), "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.RKS"); }},
    {"LargestImage", [] { return Lentok(MakeConsistentImage(0x0000, RandomData(65536, 9)), "BIG.RKS"); }},
    {"SeveralWithSilences", SeveralWithSilences},
    {"Inverted", [] { return Harmed(degrade::Invert); }},
    {"DcOffset", [] { return Harmed([](const Signal& s) { return degrade::AddOffset(degrade::ApplyGainDb(s, -6), 0.3f); }); }},
    {"HumAsStrongAsTheSignal",
     [] { return Harmed([](const Signal& s) { return degrade::AddHum(degrade::ApplyGainDb(s, -6), kLentokRate, 50, 0.5f); }); }},
    {"Minus40Dbfs", [] { return Harmed([](const Signal& s) { return degrade::ApplyGainDb(s, -40); }); }},
    {"ClippedAfterBandPass",
     [] {
       return Harmed([](const Signal& s) {
         return degrade::Clip(degrade::ApplyGainDb(degrade::BandPass(s, kLentokRate, 300, 3000, 1), 12), 1.0f);
       });
     }},
    {"EightBit",
     [] { return Harmed([](const Signal& s) { return degrade::QuantiseTo8Bits(degrade::ApplyGainDb(s, -12)); }); }},
    {"Rate8000", [] { return AtRate(8000); }},
    {"Rate11025", [] { return AtRate(11025); }},
    {"Rate22050", [] { return AtRate(22050); }},
    {"Rate48000", [] { return AtRate(48000); }},
    {"Rate96000", [] { return AtRate(96000); }},
    {"Rate192000", [] { return AtRate(192000); }},
    {"Speed085", [] { return Harmed([](const Signal& s) { return degrade::ChangeSpeed(s, 0.85); }); }},
    {"Speed115", [] { return Harmed([](const Signal& s) { return degrade::ChangeSpeed(s, 1.15); }); }},
    {"Speed065", [] { return Harmed([](const Signal& s) { return degrade::ChangeSpeed(s, 0.65); }); }},
    {"Speed135", [] { return Harmed([](const Signal& s) { return degrade::ChangeSpeed(s, 1.35); }); }},
    {"WowAndFlutter",
     [] {
       return Harmed([](const Signal& s) {
         return degrade::WowAndFlutter(s, kLentokRate, {0.02, 0.5}, {0.01, 10});
       });
     }},
    {"BandPassFirstOrder300To3000",
     [] { return Harmed([](const Signal& s) { return degrade::BandPass(s, kLentokRate, 300, 3000, 1); }); }},
    {"BandPassFourthOrder200To2500",
     [] { return Harmed([](const Signal& s) { return degrade::BandPass(s, kLentokRate, 200, 2500, 4); }); }},
    {"NoisyGapsThroughFourthOrderBand", [] { return NoisyGapsThroughFourthOrderBand(kLentokRate); }},
    {"NoisyGapsThroughFourthOrderBand22050EightBit", [] { return NoisyGapsThroughFourthOrderBand(22050); }},
    {"Noise10DbSnr", [] { return Harmed([](const Signal& s) { return degrade::AddWhiteNoise(s, 10, 42); }); }},
    {"ForeignEncoderAt11025", ForeignEncoderAt11025},
    {"LongSilenceBeforeAndAfter", LongSilences},
    {"StartsMidRecord", StartsMidRecord},
};

// Failure messages name the condition rather than dump its bytes.
void PrintTo(const Condition& condition, std::ostream* out) { *out << condition.label; }

class DegradedRecording : public ::testing::TestWithParam<Condition> {};

void ExpectRecordsBack(const std::vector<reader::DecodedRecord>& records,
                       const std::vector<ExpectedRecord>& expected) {
  ASSERT_EQ(records.size(), expected.size());
  for (std::size_t i = 0; i < records.size(); ++i) {
    SCOPED_TRACE("record " + std::to_string(i));
    EXPECT_EQ(ImageMismatch(records[i], expected[i].image), "");
    EXPECT_STREQ(StatusName(records[i].status), "sound");
    EXPECT_EQ(records[i].hasHeader, expected[i].hasHeader);
    EXPECT_EQ(records[i].name, expected[i].name);
  }
}

}  // namespace

TEST_P(DegradedRecording, EveryRecordComesBackByteExact) {
  const Recording recording = GetParam().make();
  ExpectRecordsBack(DecodeSignal(recording.signal, recording.sampleRate), recording.records);
}

INSTANTIATE_TEST_SUITE_P(Conditions, DegradedRecording, ::testing::ValuesIn(kConditions),
                         [](const ::testing::TestParamInfo<Condition>& info) { return info.param.label; });

TEST(DegradedRecording, ARecordCutOffKeepsTheBytesSoFar) {
  const Bytes image = SmallImage(29);
  RecordingOptions options;
  options.tapeName = "CUT";
  const std::size_t cutAt = 120;
  const Signal whole = degrade::LentokSignal(image, options);
  const Signal cut = degrade::Slice(whole, 0, DataByteSample(image, options, cutAt) + 5);

  const std::vector<reader::DecodedRecord> records = DecodeSignal(cut, kLentokRate);
  ASSERT_EQ(records.size(), 1u);
  const reader::DecodedRecord& record = records[0];
  EXPECT_STREQ(StatusName(record.status), "cut short");
  EXPECT_TRUE(record.addressesRead);
  EXPECT_FALSE(record.checksumRead);
  EXPECT_EQ(record.name, "CUT");
  // Every whole byte before the cut, and none made up after it.
  EXPECT_GE(record.data.size(), cutAt - 1);
  EXPECT_LE(record.data.size(), cutAt);
  const Bytes recorded(image.begin() + 4, image.begin() + 4 + static_cast<std::ptrdiff_t>(record.data.size()));
  EXPECT_EQ(record.data, recorded);
}

// ---- Recordings made by sox ------------------------------------------------

namespace {

bool SoxInstalled() { return std::system("command -v sox >/dev/null 2>&1") == 0; }

// sox in.wav <output options> out.wav <effects>
struct SoxCase {
  const char* label;
  const char* outputOptions;
  const char* effects;
};

const SoxCase kSoxCases[] = {
    {"Rate11025", "", "rate 11025"},
    {"EightBit", "-b 8", ""},
    {"HalfVolumeInverted", "", "vol -0.5"},
    {"HighpassLowpass", "", "highpass 300 lowpass 3000"},
    {"Speed110", "", "speed 1.1"},
    {"StereoFloat", "-e floating-point -b 32 -c 2", ""},
};

void PrintTo(const SoxCase& soxCase, std::ostream* out) { *out << soxCase.label; }

class SoxRecording : public ::testing::TestWithParam<SoxCase> {};

}  // namespace

TEST_P(SoxRecording, ReadsBackByteExact) {
  if (!SoxInstalled()) GTEST_SKIP() << "sox is not installed";
  TempDir dir;
  const Bytes image = SmallImage(31);
  RecordingOptions options;
  options.tapeName = "SOX.RKS";
  WriteBytes(dir / "in.wav", ExpectedRecording(image, options));
  const std::string command = "sox " + (dir / "in.wav") + " " + GetParam().outputOptions + " " +
                              (dir / "out.wav") + " " + GetParam().effects;
  ASSERT_EQ(std::system((command + " 2>" + (dir / "sox.err")).c_str()), 0) << command;

  const FileReadBack read = ReadRecordingBytes(ReadBytes(dir / "out.wav"), 4099);
  ASSERT_EQ(read.error, reader::ReadError::kNone);
  ExpectRecordsBack(read.records, {{image, true, "SOX.RKS"}});
}

INSTANTIATE_TEST_SUITE_P(Effects, SoxRecording, ::testing::ValuesIn(kSoxCases),
                         [](const ::testing::TestParamInfo<SoxCase>& info) { return info.param.label; });
