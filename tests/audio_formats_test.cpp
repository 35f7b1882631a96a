// Recordings that lentok writes, encoded by the standard encoders into every
// container lentok-read takes besides WAV, read back by the built
// lentok-read from a file and from a pipe on standard input, and by the
// decoding library from a source that hands out its bytes in odd small
// pieces; FLAC samples as the stream gives them at each bit depth; then
// such files cut short and damaged, and files refused with
// their reason. The files carry no telling name: the format is known by the
// content alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "decoding/audio_recording.h"
#include "decoding/audio_stream.h"
#include "decoding/container_probe.h"
#include "tests/support/run_read_tool.h"
#include "tests/support/run_tool.h"
#include "tests/support/test_files.h"

namespace fs = std::filesystem;

namespace {

bool Installed(const std::string& program) {
  return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

// Runs a shell command line; its diagnostics go to a file, shown on failure.
void Shell(const std::string& command, const TempDir& dir) {
  const std::string log = dir / "command.err";
  ASSERT_EQ(std::system((command + " 2>" + log).c_str()), 0)
      << command << "\n" << std::string(ReadBytes(log).begin(), ReadBytes(log).end());
}

// An image of `size` data bytes that vary, so that a slipped bit shows.
Bytes VariedImage(std::uint16_t start, std::size_t size, unsigned seed) {
  Bytes data(size);
  for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<std::uint8_t>((i * 37 + seed * 101) ^ (i >> 5));
  return MakeConsistentImage(start, data);
}

// lentok's recording of each image, named NAME.rks on tape, one after the
// other in `wav` (joined by sox when there are several).
void RecordImages(const TempDir& dir, const std::vector<std::pair<std::string, Bytes>>& images,
                  const std::string& wav) {
  std::string parts;
  for (const auto& [name, image] : images) {
    WriteBytes(dir / (name + ".rks"), image);
    ToolOptions lentok;
    lentok.program = LENTOK_WRITE_TOOL;
    lentok.native = true;
    const ToolResult written = RunTool({dir / (name + ".rks"), dir / (name + ".wav")}, "", lentok);
    ASSERT_EQ(written.status, 0) << written.err;
    parts += " " + (dir / (name + ".wav"));
  }
  if (images.size() == 1) {
    fs::copy_file(dir / (images[0].first + ".wav"), wav, fs::copy_options::overwrite_existing);
  } else {
    Shell("sox" + parts + " " + wav, dir);
  }
}

struct Encoding {
  const char* label;
  const char* encoder;  // the program that must be installed
  const char* command;  // IN and OUT stand for the files
  decoding::Container container;
};

void PrintTo(const Encoding& encoding, std::ostream* out) { *out << encoding.label; }

std::string EncodeCommand(const Encoding& encoding, const std::string& in, const std::string& out) {
  std::string command = encoding.command;
  command.replace(command.find("IN"), 2, in);
  command.replace(command.find("OUT"), 3, out);
  return command;
}

const Encoding kEncodings[] = {
    {"flac", "flac", "flac -s -f -o OUT IN", decoding::Container::kFlac},
    {"flac_24bit_stereo_48k", "sox", "sox IN -b 24 -c 2 -r 48000 -t flac OUT", decoding::Container::kFlac},
    // The lowest Vorbis quality: the coarsest of the lossy codings.
    {"ogg_vorbis_q_minus_1", "oggenc", "oggenc -Q -q -1 -o OUT IN", decoding::Container::kOggVorbis},
    {"ogg_opus", "opusenc", "opusenc --quiet IN OUT", decoding::Container::kOggOpus},
    {"mp3", "lame", "lame --quiet IN OUT", decoding::Container::kMp3},
    {"mp3_64k_with_id3", "lame", "lame --quiet -b 64 --tt Tape --add-id3v2 IN OUT", decoding::Container::kMp3},
    {"aiff", "sox", "sox IN -t aiff OUT", decoding::Container::kAiff},
    {"aifc_float", "sox", "sox IN -e floating-point -t aifc OUT", decoding::Container::kAiff},
    {"w64", "sox", "sox IN -t w64 OUT", decoding::Container::kWave64},
};

// Hands out its bytes in pieces of changing odd sizes, as a pipe may.
class DribblingSource : public decoding::ByteSource {
 public:
  explicit DribblingSource(Bytes bytes) : bytes_(std::move(bytes)) {}
  std::size_t Read(std::uint8_t* buffer, std::size_t capacity, bool&) override {
    static constexpr std::size_t kPieces[] = {1, 7, 4099, 3, 65537, 13, 512};
    std::size_t n = std::min({capacity, kPieces[turn_++ % std::size(kPieces)], bytes_.size() - at_});
    std::copy(bytes_.begin() + at_, bytes_.begin() + at_ + n, buffer);
    at_ += n;
    return n;
  }

 private:
  Bytes bytes_;
  std::size_t at_ = 0;
  std::size_t turn_ = 0;
};

class AudioFormatRead : public testing::TestWithParam<Encoding> {};

TEST_P(AudioFormatRead, ReadsLentokRecordingBackByteForByte) {
  const Encoding& encoding = GetParam();
  if (!Installed(encoding.encoder)) GTEST_SKIP() << encoding.encoder << " is not installed";
  TempDir dir;
  const Bytes image = VariedImage(0x2000, 2048, 3);
  RecordImages(dir, {{"game", image}}, dir / "tape.wav");
  Shell(EncodeCommand(encoding, dir / "tape.wav", dir / "recording"), dir);
  const Bytes encoded = ReadBytes(dir / "recording");
  ASSERT_EQ(decoding::ProbeContainer(encoded.data(), std::min(encoded.size(), decoding::kProbeBytes)),
            encoding.container);

  const std::string fromFile = dir / "from_file";
  fs::create_directory(fromFile);
  const ToolResult result = RunReadTool({"-o", fromFile, dir / "recording"});
  EXPECT_EQ(result.status, 0) << result.err << result.out;
  EXPECT_EQ(result.err, "");
  ASSERT_TRUE(FileExists(fromFile + "/GAME.RKS")) << result.out;
  EXPECT_EQ(ReadBytes(fromFile + "/GAME.RKS"), image);

  // --verify stops reading at the first match, with the decoding thread
  // still going.
  WriteBytes(dir / "game.rks", image);
  const ToolResult verified = RunReadTool({"--verify", dir / "game.rks", dir / "recording"});
  // --verify also asks whether the machine would load the record as it
  // plays. A lossy coding moves the edges, and at its coarsest it may move
  // one far enough that the machine's loader would lose step: then the
  // record still holds the image, and --verify says why it fails.
  const bool lossy = encoding.container == decoding::Container::kOggVorbis ||
                     encoding.container == decoding::Container::kOggOpus ||
                     encoding.container == decoding::Container::kMp3;
  if (!lossy || verified.status != 2) {
    EXPECT_EQ(verified.status, 0) << verified.err;
  } else {
    EXPECT_NE(verified.err.find("holds the image, but will not load on any monitor"), std::string::npos)
        << verified.err;
  }

  // Standard input on a pipe: nothing can be sought back but what the
  // reader keeps of the head.
  const std::string fromPipe = dir / "from_pipe";
  fs::create_directory(fromPipe);
  Shell("cat " + (dir / "recording") + " | " + ReadToolCommand() + " -q -o " + fromPipe + " -", dir);
  ASSERT_TRUE(FileExists(fromPipe + "/GAME.RKS"));
  EXPECT_EQ(ReadBytes(fromPipe + "/GAME.RKS"), image);

  // The library itself, its input in small odd pieces: the head kept for
  // the format probe's seek back must serve whatever the pieces are.
  DribblingSource source(encoded);
  std::vector<reader::DecodedRecord> records;
  const decoding::AudioReadResult read = decoding::ReadAudioRecording(
      source, {}, {}, [&](const reader::DecodedRecord& record) {
        records.push_back(record);
        return true;
      });
  EXPECT_EQ(read.problem.error, decoding::StreamError::kNone) << read.problem.detail;
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(reader::ImageBytes(records[0]), image);
}

INSTANTIATE_TEST_SUITE_P(Encoders, AudioFormatRead, testing::ValuesIn(kEncodings),
                         [](const testing::TestParamInfo<Encoding>& info) { return info.param.label; });

// ---- Samples as decoded ------------------------------------------------------

struct SampleCase {
  const char* label;
  int bits;
  int channels;
};

void PrintTo(const SampleCase& sample, std::ostream* out) { *out << sample.label; }

const SampleCase kSampleCases[] = {
    {"flac_8_bit_mono", 8, 1},
    {"flac_16_bit_stereo", 16, 2},
    {"flac_24_bit_three_channels", 24, 3},
};

class AudioStreamSamples : public testing::TestWithParam<SampleCase> {};

// A sine whose peak halves from one channel to the next (0.5, 0.25,
// 0.125), one second at 44100 Hz, read by the stream from its head and
// then odd pieces: every frame comes out, full scale at 1 whatever the bit
// depth, the channels in their order.
TEST_P(AudioStreamSamples, ComeOutAtFullScaleInChannelOrder) {
  const SampleCase& sample = GetParam();
  if (!Installed("sox")) GTEST_SKIP() << "sox is not installed";
  TempDir dir;
  std::string remix;
  for (int c = 0; c < sample.channels; ++c) remix += " 1v" + std::to_string(0.5 / (1 << c));
  Shell("sox -n -r 44100 -b " + std::to_string(sample.bits) + " -t flac " + (dir / "sine.flac") +
            " synth 1 sine 1000 remix" + remix,
        dir);
  Bytes bytes = ReadBytes(dir / "sine.flac");
  ASSERT_GT(bytes.size(), decoding::kProbeBytes);
  const std::vector<std::uint8_t> head(bytes.begin(), bytes.begin() + decoding::kProbeBytes);
  DribblingSource source(Bytes(bytes.begin() + decoding::kProbeBytes, bytes.end()));
  decoding::AudioStream stream(source, head);
  ASSERT_TRUE(stream.Open()) << stream.Problem().detail;
  ASSERT_EQ(stream.Format().channels, sample.channels);
  EXPECT_EQ(stream.Format().sampleRate, 44100);

  const std::size_t channels = static_cast<std::size_t>(sample.channels);
  std::vector<float> block(1000 * channels);
  std::vector<float> peak(channels, 0.0f);
  std::size_t frames = 0;
  while (const std::size_t n = stream.Read(block.data(), 1000)) {
    for (std::size_t i = 0; i < n * channels; ++i) peak[i % channels] = std::max(peak[i % channels], std::abs(block[i]));
    frames += n;
  }
  EXPECT_EQ(stream.Problem().error, decoding::StreamError::kNone) << stream.Problem().detail;
  EXPECT_EQ(frames, 44100u);
  EXPECT_EQ(stream.BytesTaken(), bytes.size());
  for (std::size_t c = 0; c < channels; ++c) EXPECT_NEAR(peak[c], 0.5 / (1 << c), 0.02) << "channel " << c;
}

INSTANTIATE_TEST_SUITE_P(Encoders, AudioStreamSamples, testing::ValuesIn(kSampleCases),
                         [](const testing::TestParamInfo<SampleCase>& info) { return info.param.label; });

// ---- Damaged files ----------------------------------------------------------

struct Damage {
  const char* label;
  const char* encoder;
  const char* command;
  bool overwrite;           // false: cut short at 55 %; true: 300 bytes of FFh there
  int status;               // the exit status expected
  bool streamError;         // a "stream is damaged at" message is expected
};

void PrintTo(const Damage& damage, std::ostream* out) { *out << damage.label; }

const Damage kDamages[] = {
    {"flac_cut_short", "flac", "flac -s -f -o OUT IN", false, 2, false},
    {"flac_overwritten", "flac", "flac -s -f -o OUT IN", true, 1, true},
    {"ogg_vorbis_cut_short", "oggenc", "oggenc -Q -q 2 -o OUT IN", false, 2, false},
    {"ogg_opus_cut_short", "opusenc", "opusenc --quiet IN OUT", false, 2, false},
    {"mp3_cut_short", "lame", "lame --quiet IN OUT", false, 2, false},
    {"aiff_cut_short", "sox", "sox IN -t aiff OUT", false, 2, false},
};

class DamagedAudioFile : public testing::TestWithParam<Damage> {};

// Three records; the damage lies in the second. The first is read back
// whole, the second is given as far as it goes, the third is lost.
TEST_P(DamagedAudioFile, GivesTheRecordsBeforeTheDamage) {
  const Damage& damage = GetParam();
  if (!Installed(damage.encoder) || !Installed("sox")) GTEST_SKIP() << damage.encoder << " or sox is missing";
  TempDir dir;
  const Bytes first = VariedImage(0x1000, 1024, 1);
  RecordImages(dir, {{"first", first}, {"second", VariedImage(0x1000, 1024, 2)}, {"third", VariedImage(0x1000, 1024, 3)}},
               dir / "tape.wav");
  const Encoding encoding{damage.label, damage.encoder, damage.command, decoding::Container::kUnknown};
  Shell(EncodeCommand(encoding, dir / "tape.wav", dir / "whole"), dir);
  Bytes bytes = ReadBytes(dir / "whole");
  const std::size_t at = bytes.size() * 55 / 100;
  if (damage.overwrite) {
    std::fill(bytes.begin() + at, bytes.begin() + at + 300, 0xFF);
  } else {
    bytes.resize(at);
  }
  const std::string damaged = dir / "damaged";
  WriteBytes(damaged, bytes);

  const std::string out = dir / "out";
  fs::create_directory(out);
  const ToolResult result = RunReadTool({"-o", out, damaged});
  EXPECT_EQ(result.status, damage.status) << result.err;
  ASSERT_TRUE(FileExists(out + "/FIRST.RKS")) << result.err;
  EXPECT_EQ(ReadBytes(out + "/FIRST.RKS"), first);
  EXPECT_TRUE(FileExists(out + "/SECOND.RKS")) << result.err;
  EXPECT_FALSE(FileExists(out + "/THIRD.RKS"));
  EXPECT_NE(result.err.find(damaged + ": the record at 0:"), std::string::npos) << result.err;
  // Where it broke: the time in the recording, which lies in the second
  // record (12 to 25 s), and the byte offset.
  const std::regex where(damaged + ": the FLAC stream is damaged at 0:(1[2-9]|2[0-4])\\.\\d{3} \\(byte \\d+\\): .+\n");
  EXPECT_EQ(std::regex_search(result.err, where), damage.streamError) << result.err;
}

INSTANTIATE_TEST_SUITE_P(Encoders, DamagedAudioFile, testing::ValuesIn(kDamages),
                         [](const testing::TestParamInfo<Damage>& info) { return info.param.label; });


// ---- Files refused ----------------------------------------------------------

struct Refusal {
  const char* label;
  const char* encoder;
  const char* command;        // as in Encoding; OUT is then harmed as below
  std::size_t keepBytes;      // 0: all; else the file is cut to this many
  const char* replace;        // when set, its first occurrence in the file...
  const char* with;           // ...is overwritten by this (same length)
  std::vector<std::string> options;
  const char* message;        // the reason lentok-read gives after the file name
};

void PrintTo(const Refusal& refusal, std::ostream* out) { *out << refusal.label; }

const Refusal kRefusals[] = {
    {"rate_below_8000_hz", "sox", "sox IN -r 4000 -t flac OUT", 0, nullptr, nullptr, {},
     "the sample rate is outside 8000 to 192000 Hz"},
    {"channel_not_there", "flac", "flac -s -f -o OUT IN", 0, nullptr, nullptr, {"--channel=3"},
     "there is no channel 3 (the recording has 1)"},
    {"cut_inside_the_header", "flac", "flac -s -f -o OUT IN", 20, nullptr, nullptr, {},
     "the file ended before any sound data"},
    {"ogg_of_unknown_codec", "oggenc", "oggenc -Q -o OUT IN", 0, "\x01vorbis", "\x01zorbis", {},
     "the Ogg recording cannot be decoded: "},
};

class RefusedAudioFile : public testing::TestWithParam<Refusal> {};

// One line naming the file and why, exit status 1, no image.
TEST_P(RefusedAudioFile, SaysWhyInOneLine) {
  const Refusal& refusal = GetParam();
  if (!Installed(refusal.encoder)) GTEST_SKIP() << refusal.encoder << " is not installed";
  TempDir dir;
  RecordImages(dir, {{"game", VariedImage(0x3000, 64, 4)}}, dir / "tape.wav");
  const Encoding encoding{refusal.label, refusal.encoder, refusal.command, decoding::Container::kUnknown};
  Shell(EncodeCommand(encoding, dir / "tape.wav", dir / "encoded"), dir);
  Bytes bytes = ReadBytes(dir / "encoded");
  if (refusal.keepBytes > 0) bytes.resize(refusal.keepBytes);
  if (refusal.replace != nullptr) {
    const std::string from = refusal.replace;
    const auto at = std::search(bytes.begin(), bytes.end(), from.begin(), from.end());
    ASSERT_NE(at, bytes.end());
    std::copy(refusal.with, refusal.with + from.size(), at);
  }
  const std::string recording = dir / "recording";
  WriteBytes(recording, bytes);
  const std::string out = dir / "out";
  fs::create_directory(out);
  std::vector<std::string> arguments = refusal.options;
  arguments.insert(arguments.end(), {"-o", out, recording});
  const ToolResult result = RunReadTool(arguments);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err.rfind("lentok-read: " + recording + ": " + refusal.message, 0), 0u) << result.err;
  EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
  EXPECT_TRUE(fs::is_empty(out));
}

INSTANTIATE_TEST_SUITE_P(Encoders, RefusedAudioFile, testing::ValuesIn(kRefusals),
                         [](const testing::TestParamInfo<Refusal>& info) { return info.param.label; });

}  // namespace
