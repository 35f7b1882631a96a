// Whole runs of the built lentok-read on recordings made the way lentok
// makes them: images read back byte for byte, names, several records on one
// recording, standard input, output directories, replacing and refusing,
// --verify, damaged and foreign input, JSON and the Russian texts. The
// ReadRunEverywhere cases also run against the Windows build under wine.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "tests/support/degrade.h"
#include "tests/support/expected.h"
#include "tests/support/json_check.h"
#include "tests/support/run_read_tool.h"
#include "tests/support/test_files.h"
#include "tests/support/wav_out.h"

namespace fs = std::filesystem;

namespace {

constexpr std::uint32_t kRate = 44100;

Bytes SampleData(std::size_t size, unsigned seed = 1) {
  Bytes data(size);
  for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<std::uint8_t>((i * 131 + seed * 17) ^ (i >> 3));
  return data;
}

// The sample bytes of a WAV file: what follows its data chunk header.
Bytes SamplesOf(const Bytes& wav) {
  for (std::size_t i = 12; i + 8 <= wav.size(); ++i) {
    if (std::equal(wav.begin() + i, wav.begin() + i + 4, "data")) return Bytes(wav.begin() + i + 8, wav.end());
  }
  throw std::runtime_error("no data chunk");
}

// A plain 44-byte-header mono 16-bit WAV file around `samples`.
Bytes WavOf(const Bytes& samples) {
  Bytes wav = {'R', 'I', 'F', 'F'};
  AppendLe32(wav, static_cast<std::uint32_t>(36 + samples.size()));
  for (char c : std::string("WAVEfmt ")) wav.push_back(static_cast<std::uint8_t>(c));
  AppendLe32(wav, 16);
  AppendLe16(wav, 1);  // PCM
  AppendLe16(wav, 1);  // mono
  AppendLe32(wav, kRate);
  AppendLe32(wav, kRate * 2);
  AppendLe16(wav, 2);
  AppendLe16(wav, 16);
  for (char c : std::string("data")) wav.push_back(static_cast<std::uint8_t>(c));
  AppendLe32(wav, static_cast<std::uint32_t>(samples.size()));
  wav.insert(wav.end(), samples.begin(), samples.end());
  return wav;
}

Bytes Silence(double seconds) { return Bytes(static_cast<std::size_t>(seconds * kRate) * 2, 0); }

struct Piece {
  Bytes image;
  RecordingOptions options;
};

// Several of lentok's recordings one after the other, with silence around
// and between them, in one WAV file.
Bytes Concatenated(const std::vector<Piece>& pieces) {
  Bytes samples = Silence(0.5);
  for (const Piece& piece : pieces) {
    const Bytes part = SamplesOf(ExpectedRecording(piece.image, piece.options));
    samples.insert(samples.end(), part.begin(), part.end());
    const Bytes gap = Silence(1.0);
    samples.insert(samples.end(), gap.begin(), gap.end());
  }
  return WavOf(samples);
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }
bool StartsWith(const std::string& text, const std::string& start) { return text.compare(0, start.size(), start) == 0; }

class ReadRunEverywhere : public ::testing::Test {
 protected:
  std::string At(const std::string& name) const { return dir_ / name; }
  void Record(const std::string& name, const Bytes& image, const RecordingOptions& options) const {
    WriteBytes(At(name), ExpectedRecording(image, options));
  }
  ToolResult Run(const std::vector<std::string>& arguments, ReadToolRun run = {}) const {
    if (run.directory.empty()) run.directory = dir_.path();
    return RunReadTool(arguments, run);
  }
  TempDir dir_;
};

// The cases that rest on POSIX behaviour of the test itself (standard input
// from a file, the locale variables, names in UTF-8).
class ReadRun : public ReadRunEverywhere {
 protected:
  void SetUp() override {
    if (ReadToolIsWindowsBuild()) GTEST_SKIP() << "for the POSIX build";
  }
};

const Bytes kGame = MakeConsistentImage(0x1000, SampleData(300));

}  // namespace

// --- Reading images back ---

TEST_F(ReadRunEverywhere, ARecordWithAHeaderComesBackAsTheSameImage) {
  Record("tape.wav", kGame, Named("HELLO.RKS"));
  const ToolResult result = Run({At("tape.wav")});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.err, "");
  ASSERT_TRUE(FileExists(At("HELLO.RKS")));
  EXPECT_EQ(ReadBytes(At("HELLO.RKS")), kGame);
  const std::vector<std::string> lines = Lines(result.out);
  ASSERT_EQ(lines.size(), 1u) << result.out;
  EXPECT_TRUE(Contains(lines[0], "\"HELLO.RKS\", start 1000, end 112B, length 300")) << lines[0];
  EXPECT_TRUE(Contains(lines[0], ", sound; polarity normal, speed 1.00×")) << lines[0];
  EXPECT_TRUE(Contains(lines[0], "; image HELLO.RKS")) << lines[0];
}

TEST_F(ReadRunEverywhere, WithoutAHeaderTheImageIsNamedAfterTheRecording) {
  Record("side a.wav", kGame, Headerless());
  const ToolResult result = Run({"side a.wav"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(ReadBytes(At("side a.rks")), kGame);
  EXPECT_TRUE(Contains(result.out, ": no name, start 1000")) << result.out;
}

TEST_F(ReadRun, HeaderNamesOfManyLengths) {
  const std::string name32 = "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345";
  const std::string name45 = name32 + "6789ABCDE.RK";
  struct Case {
    std::string onTape;
    std::string file;
  } cases[] = {{"", "tape.rks"}, {"A", "A.rks"}, {name32, name32 + ".rks"}, {name45, name45}};
  for (const Case& c : cases) {
    TempDir dir;
    const Bytes image = MakeConsistentImage(0x0100, SampleData(40, 3));
    WriteBytes(dir / "tape.wav", ExpectedRecording(image, Named(c.onTape)));
    ReadToolRun run;
    run.directory = dir.path();
    const ToolResult result = RunReadTool({"tape.wav"}, run);
    EXPECT_EQ(result.status, 0) << c.onTape << ": " << result.err;
    EXPECT_EQ(FilesIn(dir.path()), (std::vector<std::string>{c.file, "tape.wav"})) << c.onTape;
    if (FileExists(dir / c.file)) {
      EXPECT_EQ(ReadBytes(dir / c.file), image) << c.onTape;
    }
  }
}

TEST_F(ReadRunEverywhere, SeveralRecordsOnOneRecordingEachInOrder) {
  const Bytes second = MakeConsistentImage(0x2000, SampleData(17, 2));
  const Bytes third = MakeConsistentImage(0xF000, SampleData(1, 5));
  WriteBytes(At("tape.wav"), Concatenated({{kGame, Named("GAME.RKS")},
                                           {second, Named("GAME.RKS")},
                                           {third, Headerless()}}));
  const ToolResult result = Run({"tape.wav"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(ReadBytes(At("GAME.RKS")), kGame);
  EXPECT_EQ(ReadBytes(At("GAME-2.RKS")), second);
  EXPECT_EQ(ReadBytes(At("tape.rks")), third);
  const std::vector<std::string> lines = Lines(result.out);
  ASSERT_EQ(lines.size(), 3u) << result.out;
  EXPECT_TRUE(Contains(lines[0], "image GAME.RKS"));
  EXPECT_TRUE(Contains(lines[1], "image GAME-2.RKS"));
  EXPECT_TRUE(Contains(lines[2], "image tape.rks"));
  // The first record starts after half a second of silence.
  EXPECT_TRUE(StartsWith(lines[0], "0:00.50")) << lines[0];
}

TEST_F(ReadRun, StandardInput) {
  Record("tape.wav", kGame, Headerless());
  fs::create_directory(At("out"));
  ReadToolRun run;
  run.stdinFile = At("tape.wav");
  const ToolResult result = Run({"-o", "out", "-"}, run);
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(ReadBytes(At("out/stdin.rks")), kGame);
}

// A chunk of other data before the format: the header alone takes several
// reads of the file, and every byte of them must still reach the decoder.
TEST_F(ReadRunEverywhere, AHeaderLongerThanAReadOfTheFile) {
  const Bytes plain = WavOf(SamplesOf(ExpectedRecording(kGame, Headerless())));
  Bytes wav(plain.begin(), plain.begin() + 12);
  for (char c : std::string("junk")) wav.push_back(static_cast<std::uint8_t>(c));
  const std::uint32_t junk = 200001;  // odd: a pad byte follows
  AppendLe32(wav, junk);
  wav.insert(wav.end(), junk + 1, 0x5A);
  wav.insert(wav.end(), plain.begin() + 12, plain.end());
  WriteBytes(At("tape.wav"), wav);
  fs::create_directory(At("out"));
  const ToolResult result = Run({"-o", "out", "tape.wav"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(ReadBytes(At("out/tape.rks")), kGame);
}

TEST_F(ReadRunEverywhere, EveryFormOfTheOutputDirectory) {
  Record("tape.wav", kGame, Named("HELLO.RKS"));
  const std::vector<std::vector<std::string>> forms = {
      {"-o", "one"}, {"-otwo"}, {"--output-dir=three"}, {"--output-dir", "four"}};
  for (const std::vector<std::string>& form : forms) {
    const std::string directory = form.size() == 2 ? form[1] : form[0].substr(form[0].find_first_of("=") + 1);
    const std::string name = form[0] == "-otwo" ? "two" : directory;
    fs::create_directory(At(name));
    std::vector<std::string> arguments = form;
    arguments.push_back("tape.wav");
    const ToolResult result = Run(arguments);
    EXPECT_EQ(result.status, 0) << form[0] << ": " << result.err;
    EXPECT_TRUE(FileExists(At(name + "/HELLO.RKS"))) << form[0];
  }
  EXPECT_FALSE(FileExists(At("HELLO.RKS")));
}

TEST_F(ReadRunEverywhere, AMissingOutputDirectoryIsRefused) {
  Record("tape.wav", kGame, Named("HELLO.RKS"));
  const ToolResult result = Run({"-o", "nowhere", "tape.wav"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(Lines(result.err).size(), 1u);
  EXPECT_TRUE(Contains(result.err, "nowhere")) << result.err;
}

// --- Existing images ---

TEST_F(ReadRunEverywhere, AnExistingImageIsRefusedAndTheOthersStillWritten) {
  const Bytes other = MakeConsistentImage(0x2000, SampleData(20, 4));
  WriteBytes(At("tape.wav"), Concatenated({{kGame, Named("HELLO.RKS")}, {other, Named("OTHER.RKS")}}));
  WriteBytes(At("HELLO.RKS"), {'o', 'l', 'd'});
  const ToolResult result = Run({"tape.wav"});
  EXPECT_EQ(result.status, 1);
  const std::vector<std::string> errors = Lines(result.err);
  ASSERT_EQ(errors.size(), 1u) << result.err;
  EXPECT_TRUE(Contains(errors[0], "HELLO.RKS")) << errors[0];
  EXPECT_TRUE(Contains(errors[0], "exists")) << errors[0];
  EXPECT_EQ(ReadBytes(At("HELLO.RKS")), (Bytes{'o', 'l', 'd'}));
  EXPECT_EQ(ReadBytes(At("OTHER.RKS")), other);
}

TEST_F(ReadRunEverywhere, ForceReplacesAnExistingImageLeavingNothingElse) {
  Record("tape.wav", kGame, Named("HELLO.RKS"));
  WriteBytes(At("HELLO.RKS"), {'o', 'l', 'd'});
  const ToolResult result = Run({"--force", "tape.wav"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(ReadBytes(At("HELLO.RKS")), kGame);
  EXPECT_EQ(FilesIn(dir_.path()), (std::vector<std::string>{"HELLO.RKS", "tape.wav"}));
}

// --- Verify ---

TEST_F(ReadRunEverywhere, VerifyAcceptsTheRecordingOfTheImage) {
  WriteBytes(At("game.rks"), kGame);
  Record("tape.wav", kGame, Named("GAME.RKS"));
  const ToolResult result = Run({"--verify", "game.rks", "tape.wav"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.err, "");
  EXPECT_TRUE(Contains(result.out, "tape.wav holds game.rks")) << result.out;
  // It writes no image.
  EXPECT_EQ(FilesIn(dir_.path()), (std::vector<std::string>{"game.rks", "tape.wav"}));
}

TEST_F(ReadRunEverywhere, VerifyNamesTheFirstDifferingAddress) {
  Record("tape.wav", kGame, Named("GAME.RKS"));
  Bytes changed = kGame;
  changed[4 + 10] ^= 0x40;
  changed[4 + 20] ^= 0x01;
  WriteBytes(At("game.rks"), changed);
  const ToolResult result = Run({"--verify", "game.rks", "tape.wav"});
  EXPECT_EQ(result.status, 2);
  const std::vector<std::string> errors = Lines(result.err);
  ASSERT_EQ(errors.size(), 1u) << result.err;
  EXPECT_TRUE(Contains(errors[0], "at address 100A (0:")) << errors[0];
  EXPECT_TRUE(Contains(errors[0], Hex(kGame[14]) + " on tape")) << errors[0];
}

// A side: every image matched by the name lentok puts on tape and its
// addresses, in any order; one image alone is matched by addresses only.
TEST_F(ReadRunEverywhere, VerifyTakesEveryImageOfASide) {
  const Bytes one = MakeConsistentImage(0x1000, SampleData(200, 1));
  const Bytes two = MakeConsistentImage(0x2000, SampleData(120, 2));
  const Bytes three = MakeConsistentImage(0x3000, SampleData(90, 3));
  WriteBytes(At("side.wav"), Concatenated({{one, Named("ONE.RKS")}, {two, Named("TWO.RKS")}, {three, Named("THREE.RKS")}}));
  WriteBytes(At("one.rks"), one);  // its name on tape is ONE.RKS
  WriteBytes(At("TWO.RKS"), two);
  WriteBytes(At("THREE.RKS"), three);
  WriteBytes(At("FOUR.RKS"), MakeConsistentImage(0x4000, SampleData(50, 4)));
  WriteBytes(At("ALIAS.RKS"), one);
  struct Case {
    std::vector<std::string> images;
    int status;
    std::string failing;  // the image the one failure line names
    std::string says;
  };
  const Case cases[] = {
      {{"THREE.RKS", "one.rks", "TWO.RKS"}, 0, "", ""},
      {{"one.rks", "FOUR.RKS", "TWO.RKS"}, 2, "FOUR.RKS", "no record with start 4000 and end 4031 (3 records found); "
                                                          "it should lie between 0:0"},
      {{"FOUR.RKS", "TWO.RKS"}, 2, "FOUR.RKS", "it should lie between the start and 0:"},
      {{"TWO.RKS", "ALIAS.RKS"}, 2, "ALIAS.RKS", "no record with start 1000"},
      {{"ALIAS.RKS"}, 0, "", ""},
  };
  for (const Case& c : cases) {
    std::vector<std::string> arguments = {"--verify"};
    arguments.insert(arguments.end(), c.images.begin(), c.images.end());
    arguments.push_back("side.wav");
    const ToolResult result = Run(arguments);
    SCOPED_TRACE(arguments[1] + " ...");
    EXPECT_EQ(result.status, c.status) << result.err;
    const std::vector<std::string> errors = Lines(result.err);
    const std::vector<std::string> matches = Lines(result.out);
    if (c.status == 0) {
      EXPECT_EQ(result.err, "");
      EXPECT_EQ(matches.size(), c.images.size()) << result.out;
      continue;
    }
    ASSERT_EQ(errors.size(), 1u) << result.err;
    EXPECT_TRUE(StartsWith(errors[0], "lentok-read: side.wav: " + c.failing + ": ")) << errors[0];
    EXPECT_TRUE(Contains(errors[0], c.says)) << errors[0];
    EXPECT_EQ(matches.size(), c.images.size() - 1) << result.out;
  }
}

TEST_F(ReadRunEverywhere, VerifyWithoutTheRecordFails) {
  Record("tape.wav", kGame, Named("GAME.RKS"));
  WriteBytes(At("other.rks"), MakeConsistentImage(0x3000, SampleData(300)));
  const ToolResult result = Run({"--verify", "other.rks", "tape.wav"});
  EXPECT_EQ(result.status, 2);
  EXPECT_TRUE(Contains(result.err, "no record with start 3000 and end 312B (1 records found)")) << result.err;
}

TEST_F(ReadRunEverywhere, VerifyNotesAStoredChecksumThatIsNotTheTapes) {
  // The image stores a wrong checksum; lentok -k put the right one on tape.
  Bytes image = kGame;
  image[image.size() - 1] ^= 0xFF;
  RecordingOptions options = Named("GAME.RKS");
  options.computeChecksum = true;
  Record("tape.wav", image, options);
  WriteBytes(At("game.rks"), image);
  const ToolResult result = Run({"--verify", "game.rks", "tape.wav"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_TRUE(Contains(result.out, "note: the checksum on tape")) << result.out;
}

// A recording of the older layout, whose last bit no change closes, holds
// the image but does not load: --verify fails on it, unless another copy
// on the same recording loads.
TEST_F(ReadRunEverywhere, VerifyRequiresTheMachineToLoadTheRecord) {
  WriteBytes(At("game.rks"), kGame);
  Bytes unclosed = SamplesOf(ExpectedRecording(kGame, Named("GAME.RKS")));
  unclosed.resize(unclosed.size() - 32);  // the closing half-cell: 16 samples
  const Bytes closed = SamplesOf(ExpectedRecording(kGame, Named("GAME.RKS")));
  const Bytes gap = Silence(1.0);
  Bytes both = unclosed;
  both.insert(both.end(), gap.begin(), gap.end());
  both.insert(both.end(), closed.begin(), closed.end());
  const struct {
    const char* what;
    Bytes samples;
    int status;
  } kCases[] = {{"the older ending alone", unclosed, 2}, {"then a copy that loads", both, 0}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    WriteBytes(At("tape.wav"), WavOf(c.samples));
    const ToolResult result = Run({"--verify", "game.rks", "tape.wav"});
    EXPECT_EQ(result.status, c.status) << result.err;
    if (c.status == 0) {
      EXPECT_EQ(result.err, "");
      continue;
    }
    EXPECT_TRUE(Contains(result.err, "holds the image, but will not load on any monitor: "
                                     "no closing change after the last bit at 0:"))
        << result.err;
    const ToolResult json = Run({"--json", "--verify", "game.rks", "tape.wav"});
    EXPECT_TRUE(Contains(json.out, "\"result\":\"will not load\"")) << json.out;
    EXPECT_TRUE(Contains(json.out, "\"machine\":{\"loads\":false,\"problems\":[{\"kind\":\"no closing change\""))
        << json.out;
  }
}

TEST_F(ReadRunEverywhere, VerifyInJsonSaysWhatDiffers) {
  Record("tape.wav", kGame, Named("GAME.RKS"));
  Bytes changed = kGame;
  changed[4 + 299] ^= 0x80;
  WriteBytes(At("game.rks"), changed);
  const ToolResult result = Run({"--json", "--verify", "game.rks", "tape.wav"});
  EXPECT_EQ(result.status, 2);
  EXPECT_TRUE(IsValidJson(result.out)) << result.out;
  EXPECT_TRUE(Contains(result.out, "\"result\":\"differs\"")) << result.out;
  EXPECT_TRUE(Contains(result.out, "\"address\":" + std::to_string(0x1000 + 299))) << result.out;
  EXPECT_TRUE(Contains(result.out, "},\"status\":2}\n")) << result.out;
}

// --- The earlier monitors' layout ---

namespace {

// Bytes from the start of an earlier monitor's save (or of lentok's -x
// recording) to the end of the record's data: leader, sync, addresses, data.
constexpr std::size_t kToDataEnd = (255 + 1 + 4 + 300) * 256;

// The signal with half a second of silence either side, as a WAV file.
void WriteSignal(const std::string& path, const std::vector<degrade::Signal>& pieces) {
  std::vector<degrade::Signal> all = {degrade::Silence(0.5, kRate)};
  for (const degrade::Signal& piece : pieces) {
    all.push_back(piece);
    all.push_back(degrade::Silence(0.5, kRate));
  }
  WriteWavFile(path, degrade::Join(all), kRate, 1, formats::WavSampleType::kSigned16);
}

// A cell and a half of the data (in byte `byte`) nearly gone: read right,
// but in doubt.
degrade::Signal WithAWeakCell(const degrade::Signal& signal, std::size_t byte) {
  return degrade::Dropout(signal, (255 + 1 + 4 + byte) * 256 + 3 * 32 + 8, 48, 0.1f);
}

// Two of an earlier monitor's saves of `image` with no gap at all: the
// second's leader starts where the first's data ends.
degrade::Signal BackToBackSaves(const Bytes& image) {
  Bytes tape(image.begin(), image.end() - 2);
  tape.insert(tape.end(), 255, 0x00);
  tape.push_back(0xE6);
  tape.insert(tape.end(), image.begin(), image.end());
  degrade::EncoderStyle style;
  style.withHeader = false;
  style.checksumWord = false;
  return degrade::SynthesiseRecording(tape, style);
}

}  // namespace

// An earlier monitor's save has no checksum, and is read as such: sound
// unless a bit was read doubtfully. A record of the later layout cut off
// elsewhere is still cut short.
TEST_F(ReadRunEverywhere, ARecordWithoutAChecksumIsToldFromOneCutShort) {
  const degrade::Signal save = degrade::EarlierMonitorSave(kGame);
  const degrade::Signal later = degrade::LentokSignal(kGame, Headerless());
  const degrade::Signal named = degrade::LentokSignal(kGame, Named("GAME.RKS"));
  const struct {
    const char* what;
    std::vector<degrade::Signal> pieces;
    int status;
    const char* statusWords;  // in the first line: the record's, or the combination's
    const char* doubt;        // what it says of doubtful bits
    bool loadsEarlier;        // the line says it loads on the earlier monitors
  } kCases[] = {
      {"an earlier monitor's save", {save}, 0, ", no checksum (the earlier monitors write none); ",
       "; no bit read doubtfully; ", true},
      // The next leader's first zeros are not its checksum.
      {"two saves back to back", {BackToBackSaves(kGame)}, 0, ", no checksum (the earlier monitors write none); ",
       "; no bit read doubtfully; ", true},
      {"with a bit in doubt", {WithAWeakCell(save, 100)}, 2, ", no checksum (the earlier monitors write none); ",
       "; doubtful bits at 0:", false},
      // Combined by confidence, and still without a checksum: nothing
      // checks the combination, and no repair is claimed.
      {"two copies, each in doubt elsewhere", {WithAWeakCell(save, 100), WithAWeakCell(save, 200)}, 0,
       ", no checksum (the earlier monitors write none); ", "combined from copy 1 (", false},
      {"the later layout cut off in its checksum", {degrade::Slice(later, 0, kToDataEnd + 256)}, 2, ", cut short; ",
       "", false},
      {"the later layout cut off in its data", {degrade::Slice(later, 0, kToDataEnd - 100 * 256)}, 2,
       ", cut short; ", "", false},
      // The earlier monitors write no header: ending after its data, a
      // record with one was cut off.
      {"a named record cut off at the end of its data", {degrade::Slice(named, 0, named.size() - 2 * 256 - 16)}, 2,
       ", cut short; ", "", false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    WriteSignal(At("tape.wav"), c.pieces);
    const ToolResult result = Run({"--force", "tape.wav"});
    EXPECT_EQ(result.status, c.status) << result.out << result.err;
    const std::vector<std::string> lines = Lines(result.out);
    ASSERT_FALSE(lines.empty());
    const std::string& line = lines.front();
    EXPECT_TRUE(Contains(line, c.statusWords)) << line;
    EXPECT_TRUE(Contains(line, c.doubt)) << line;
    EXPECT_FALSE(Contains(result.out, "combined; ")) << result.out;
    EXPECT_FALSE(Contains(result.out, "repaired")) << result.out;
    EXPECT_EQ(Contains(line, "loads on the earlier monitor and the compatible machine; "
                             "not on the later monitor: no checksum after the data at 0:"),
              c.loadsEarlier)
        << line;
    // The image gets the checksum of its data, and loads with lentok.
    if (c.doubt[0] != '\0') {
      EXPECT_EQ(ReadBytes(At("tape.rks")), kGame);
    }
  }
}

TEST_F(ReadRunEverywhere, TheJsonNamesEachMonitor) {
  WriteSignal(At("tape.wav"), {degrade::EarlierMonitorSave(kGame)});
  const ToolResult result = Run({"--json", "tape.wav"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_TRUE(IsValidJson(result.out)) << result.out;
  EXPECT_TRUE(Contains(result.out, "\"status\":\"no checksum\"")) << result.out;
  EXPECT_TRUE(Contains(result.out,
                       "\"machine\":{\"loads\":true,\"problems\":[{\"kind\":\"no checksum\",\"at\":3.751}],"
                       "\"monitors\":[{\"monitor\":\"later\",\"read\":\"plain\",\"loads\":false},"
                       "{\"monitor\":\"later\",\"read\":\"named\",\"loads\":false},"
                       "{\"monitor\":\"earlier\",\"loads\":true},{\"monitor\":\"compatible\",\"loads\":true}]}"))
      << result.out;
}

// --verify takes a record that loads on any monitor, or on the one named.
TEST_F(ReadRunEverywhere, VerifyFollowsTheMonitorAskedFor) {
  WriteBytes(At("game.rks"), kGame);
  Record("named.wav", kGame, Named("GAME.RKS"));
  Record("plain.wav", kGame, Headerless());
  WriteSignal(At("earlier.wav"), {degrade::EarlierMonitorSave(kGame)});
  const struct {
    const char* recording;
    std::vector<std::string> monitor;
    int status;
  } kCases[] = {
      {"named.wav", {}, 0},
      {"named.wav", {"--monitor=later"}, 0},
      {"named.wav", {"--monitor=earlier"}, 2},
      {"named.wav", {"--monitor=compatible"}, 2},
      {"plain.wav", {"--monitor=later"}, 0},
      {"plain.wav", {"--monitor=earlier"}, 0},
      {"plain.wav", {"--monitor=compatible"}, 0},
      {"earlier.wav", {}, 0},
      {"earlier.wav", {"--monitor", "earlier"}, 0},
      {"earlier.wav", {"--monitor", "compatible"}, 0},
      {"earlier.wav", {"--monitor", "later"}, 2},
  };
  for (const auto& c : kCases) {
    std::vector<std::string> arguments = {"--verify"};
    arguments.insert(arguments.end(), c.monitor.begin(), c.monitor.end());
    arguments.push_back("game.rks");
    arguments.push_back(c.recording);
    SCOPED_TRACE(std::string(c.recording) + (c.monitor.empty() ? "" : " " + c.monitor.back()));
    const ToolResult result = Run(arguments);
    EXPECT_EQ(result.status, c.status) << result.err;
    if (c.status == 0) {
      EXPECT_EQ(result.err, "");
    } else {
      EXPECT_TRUE(Contains(result.err, "holds the image, but not for the monitor asked for: loads on ")) << result.err;
    }
  }
  const ToolResult wrong = Run({"--verify", "--monitor=old", "game.rks", "named.wav"});
  EXPECT_EQ(wrong.status, 1);
  EXPECT_EQ(wrong.err, "lentok-read: the monitor is later, earlier or compatible, not 'old' (see --help)\n");
  const ToolResult alone = Run({"--monitor=later", "named.wav"});
  EXPECT_EQ(alone.status, 1);
  EXPECT_EQ(alone.err, "lentok-read: --monitor goes with --verify only (see --help)\n");
}

// --- Failures ---

TEST_F(ReadRunEverywhere, NotARecordingIsOneLineNamingIt) {
  WriteBytes(At("notes.txt"), {'h', 'e', 'l', 'l', 'o', ' ', 't', 'h', 'e', 'r', 'e', '\n'});
  const ToolResult result = Run({"notes.txt"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err,
            "lentok-read: notes.txt: not a recording in a format lentok-read reads "
            "(WAV, FLAC, Ogg Vorbis, Ogg Opus, MP3, AIFF, W64)\n");
  EXPECT_EQ(result.out, "");
}

TEST_F(ReadRunEverywhere, AMissingRecordingIsOneLine) {
  const ToolResult result = Run({"absent.wav"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "lentok-read: absent.wav: cannot read: no such file or directory\n");
}

TEST_F(ReadRunEverywhere, ACommandLineErrorIsOneLine) {
  const ToolResult result = Run({"--speed=2", "tape.wav"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "lentok-read: unknown option '--speed' (see --help)\n");
  EXPECT_EQ(result.out, "");
}

TEST_F(ReadRunEverywhere, ADamagedRecordIsStillWritten) {
  Bytes wav = ExpectedRecording(kGame, Named("HELLO.RKS"));
  // Cut the recording about half-way into the data block (each byte is 16
  // cells of 16 samples, 2 bytes each).
  const std::size_t dataStart = wav.size() - (4 + 300 + 2) * 16 * 16 * 2;
  wav.resize(dataStart + 150 * 16 * 16 * 2);
  WriteBytes(At("cut.wav"), wav);
  const ToolResult result = Run({"cut.wav"});
  EXPECT_EQ(result.status, 2) << result.err;
  EXPECT_TRUE(Contains(result.out, "cut short")) << result.out;
  const std::vector<std::string> errors = Lines(result.err);
  ASSERT_EQ(errors.size(), 1u) << result.err;
  EXPECT_TRUE(Contains(errors[0], "is damaged: cut short")) << errors[0];
  ASSERT_TRUE(FileExists(At("HELLO.RKS")));
  const Bytes image = ReadBytes(At("HELLO.RKS"));
  ASSERT_GT(image.size(), 6u + 100u);
  ASSERT_LT(image.size(), kGame.size());
  // What was recovered is the start of the data, addresses first.
  EXPECT_TRUE(std::equal(image.begin(), image.end() - 2, kGame.begin()));
}

TEST_F(ReadRunEverywhere, EachChannelOfAStereoRecordingOnRequest) {
  // Two programs at once, one on each channel: both are kept by default,
  // and --channel reads only the one asked for.
  const Bytes right = MakeConsistentImage(0x2000, SampleData(80, 3));
  const degrade::Signal leftSignal = degrade::LentokSignal(kGame, Named("LEFT"));
  const degrade::Signal rightSignal = degrade::LentokSignal(right, Named("RIGHT"));
  const std::size_t frames = std::max(leftSignal.size(), rightSignal.size()) + kRate;
  std::vector<float> stereo(2 * frames, 0.0f);
  for (std::size_t i = 0; i < leftSignal.size(); ++i) stereo[2 * i] = leftSignal[i];
  for (std::size_t i = 0; i < rightSignal.size(); ++i) stereo[2 * i + 1] = rightSignal[i];
  WriteWavFile(At("stereo.wav"), stereo, kRate, 2, formats::WavSampleType::kSigned16);

  fs::create_directory(At("both"));
  const ToolResult both = Run({"-o", "both", "stereo.wav"});
  EXPECT_EQ(both.status, 0) << both.err;
  EXPECT_EQ(FilesIn(At("both")), (std::vector<std::string>{"LEFT.rks", "RIGHT.rks"}));
  EXPECT_EQ(ReadBytes(At("both/LEFT.rks")), kGame);

  fs::create_directory(At("second"));
  const ToolResult second = Run({"--channel=2", "-o", "second", "stereo.wav"});
  EXPECT_EQ(second.status, 0) << second.err;
  EXPECT_EQ(FilesIn(At("second")), std::vector<std::string>{"RIGHT.rks"});
  EXPECT_EQ(ReadBytes(At("second/RIGHT.rks")), right);

  const ToolResult third = Run({"--channel", "3", "stereo.wav"});
  EXPECT_EQ(third.status, 1);
  EXPECT_EQ(Lines(third.err).size(), 1u) << third.err;
}

TEST_F(ReadRunEverywhere, NoRecordAtAll) {
  WriteBytes(At("quiet.wav"), WavOf(Silence(2.0)));
  const ToolResult result = Run({"quiet.wav"});
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.err, "lentok-read: quiet.wav: no record found\n");
  EXPECT_EQ(FilesIn(dir_.path()), std::vector<std::string>{"quiet.wav"});
}

// --- Output forms ---

TEST_F(ReadRunEverywhere, JsonIsOneDocumentWithEveryRecordAndImage) {
  const std::string oddName("Q\"\\\x01\x7F.RKS", 9);
  WriteBytes(At("a.wav"), Concatenated({{kGame, Named("HELLO.RKS")}, {kGame, Named(oddName)}}));
  Record("b.wav", kGame, Headerless());
  const ToolResult result = Run({"--json", "a.wav", "b.wav"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_TRUE(IsValidJson(result.out)) << result.out;
  EXPECT_TRUE(StartsWith(result.out, "{\"recordings\":[{\"recording\":\"a.wav\"")) << result.out;
  EXPECT_TRUE(Contains(result.out, "\"image\":\"HELLO.RKS\"")) << result.out;
  EXPECT_TRUE(Contains(result.out, "\"name\":\"Q\\\"\\\\\\u0001\\u007F.RKS\"")) << result.out;
  EXPECT_TRUE(Contains(result.out, "\"image\":\"Q____.RKS\"")) << result.out;
  EXPECT_TRUE(Contains(result.out, "{\"recording\":\"b.wav\",\"records\":[{")) << result.out;
  EXPECT_TRUE(Contains(result.out, "\"image\":\"b.rks\"}],\"unread\":[],\"error\":null}],\"status\":0}\n")) << result.out;
}

TEST_F(ReadRunEverywhere, QuietPrintsNothingButErrors) {
  Record("tape.wav", kGame, Named("HELLO.RKS"));
  const ToolResult sound = Run({"-q", "tape.wav"});
  EXPECT_EQ(sound.status, 0);
  EXPECT_EQ(sound.out, "");
  EXPECT_EQ(sound.err, "");
  const ToolResult refused = Run({"--quiet", "tape.wav"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.out, "");
  EXPECT_EQ(Lines(refused.err).size(), 1u);
}

TEST_F(ReadRunEverywhere, HelpAndVersion) {
  const ToolResult help = Run({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_TRUE(StartsWith(help.out, "Usage: lentok-read [OPTION]... RECORDING...\n")) << help.out;
  const ToolResult version = Run({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_TRUE(StartsWith(version.out, "lentok-read 1.")) << version.out;
}

TEST_F(ReadRun, RussianTextsWhereTheUserReadsRussian) {
  Record("tape.wav", kGame, Named("HELLO.RKS"));
  WriteBytes(At("notes.txt"), {'x', 'y', 'z', 'z', 'y', '\n', 'a', 'b', 'c', 'd', 'e', 'f'});
  ReadToolRun russian;
  russian.language = "ru_RU.UTF-8";
  const ToolResult help = Run({"-h"}, russian);
  EXPECT_TRUE(StartsWith(help.out, "Использование: lentok-read")) << help.out;
  const ToolResult report = Run({"tape.wav"}, russian);
  EXPECT_EQ(report.status, 0) << report.err;
  EXPECT_TRUE(Contains(report.out, "«HELLO.RKS», начало 1000, конец 112B, длина 300")) << report.out;
  EXPECT_TRUE(Contains(report.out, "исправна; полярность прямая, скорость 1,00×")) << report.out;
  const ToolResult failure = Run({"notes.txt"}, russian);
  EXPECT_EQ(failure.err,
            "lentok-read: notes.txt: это не звукозапись в формате, который читает lentok-read "
            "(WAV, FLAC, Ogg Vorbis, Ogg Opus, MP3, AIFF, W64)\n");
  const ToolResult usage = Run({"--бред"}, russian);
  EXPECT_EQ(usage.err, "lentok-read: неизвестный параметр «--бред» (см. --help)\n");
}
