// lentok's recordings played into the model of the machine's loader: each
// must load, and must stop loading where the machine stops.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>

#include "tests/support/degrade.h"
#include "tests/support/expected.h"
#include "tests/support/machine_loader.h"
#include "tests/support/read_back.h"
#include "tests/support/run_tool.h"
#include "tests/support/test_files.h"

namespace {

constexpr double kRate = 44100;

Bytes VaryingData(std::size_t size) {
  Bytes data(size);
  for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<std::uint8_t>(i * 37 + (i >> 5));
  return data;
}

degrade::Signal SignalOfWav(const Bytes& wav) {
  degrade::Signal signal;
  for (std::size_t i = 46; i + 1 < wav.size(); i += 2) {
    signal.push_back(static_cast<float>(static_cast<std::int16_t>(wav[i] | wav[i + 1] << 8)) / 32768.0f);
  }
  return signal;
}

struct Written {
  Bytes image;
  bool withHeader;
  degrade::Signal signal;
};

// lentok's own recordings: several sizes, with and without the name header,
// and the stored checksum or the computed one.
std::vector<Written> LentokRecordings() {
  TempDir dir;
  std::vector<Written> written;
  const struct {
    std::size_t size;
    std::vector<std::string> options;
  } cases[] = {{1, {}}, {19, {"-x"}}, {300, {"-k"}}, {2048, {"-x", "-k"}}};
  for (const auto& c : cases) {
    const Bytes image = MakeConsistentImage(0x1000, VaryingData(c.size));
    WriteBytes(dir / "prog.rks", image);
    std::vector<std::string> arguments = c.options;
    arguments.push_back(dir / "prog.rks");
    arguments.push_back(dir / "prog.wav");
    EXPECT_EQ(RunTool(arguments).status, 0);
    const bool withHeader = std::find(c.options.begin(), c.options.end(), "-x") == c.options.end();
    written.push_back({image, withHeader, SignalOfWav(ReadBytes(dir / "prog.wav"))});
  }
  return written;
}

TEST(MachineLoad, LentokRecordingsLoadWithinTheWindowAndNowhereElse) {
  const struct {
    const char* what;
    double speed;  // 0: as written
    bool cutBack;  // without the half-cell that closes the last bit
    bool loads;
  } kCases[] = {
      {"as written", 0, false, true},
      {"cut back to the ending without a closing change", 0, true, false},
      {"played at 0.75", 0.75, false, true},
      {"played at 1.08", 1.08, false, true},
      {"played at 0.72, the slowest measured to load", 0.72, false, true},
      {"played at 1.11, the fastest measured to load", 1.11, false, true},
      {"played at 0.70, measured to fail", 0.70, false, false},
      {"played at 1.14, measured to fail", 1.14, false, false},
      {"played at 0.65", 0.65, false, false},
      {"played at 1.2", 1.2, false, false},
  };
  for (const Written& written : LentokRecordings()) {
    for (const auto& c : kCases) {
      degrade::Signal signal = written.signal;
      if (c.cutBack) signal.resize(signal.size() - 16);
      if (c.speed != 0) signal = degrade::ChangeSpeed(signal, c.speed);
      // The tape runs on into silence, as a player's does.
      signal = degrade::Join({signal, degrade::Silence(0.05, kRate)});
      const machine::Load load = machine::LoadOnMachine(signal, kRate, written.withHeader);
      SCOPED_TRACE(std::string(c.what) + ", image of " + std::to_string(written.image.size()) + " bytes");
      EXPECT_EQ(load.loaded, c.loads);
      if (c.loads) {
        EXPECT_EQ(load.block, Bytes(written.image.begin(), written.image.end() - 2));
        EXPECT_EQ(load.name, written.withHeader ? "PROG.RKS" : "");
      }
    }
  }
}

// The reader's verdict against the model, on one record in every way it can
// reach the machine: each case names the problem the verdict must give.
TEST(MachineVerdict, AgreesWithTheLoaderAndSaysWhere) {
  using Kind = reader::LoadProblemKind;
  const Bytes image = MakeConsistentImage(0x2000, VaryingData(400));
  const degrade::Signal written = degrade::LentokSignal(image, {false, false, "GAME.RKS"});
  // A spike on the line 150 microseconds before a cell ends, in the middle
  // of the data: where the loader has stopped ignoring the line.
  const std::size_t spikeAt = written.size() - 16 - 100 * 256 - 7;
  const Bytes wrongSum = MakeImage(0x2000, VaryingData(400), 0x1234);
  // The first sync, the marks, the name and 100 of the zeros after it.
  const std::size_t inZeroRun = (256 + 3 + 8 + 100) * 256;
  // Where the leader that should end in the second sync byte begins: after
  // the name and the first zero, which ends it.
  const std::size_t nameEnd = (256 + 3 + 8 + 1) * 256;
  const struct {
    const char* what;
    std::function<degrade::Signal()> make;
    std::optional<Kind> problem;
    double problemSeconds;  // where it lies, in the recording as played; -1: anywhere
  } kCases[] = {
      {"as written", [&] { return written; }, std::nullopt, 0},
      {"cut back to the ending without a closing change",
       [&] { return degrade::Slice(written, 0, written.size() - 16); }, Kind::kNoClosingChange,
       (written.size() - 16) / kRate},
      {"cut off in the zeros after the name", [&] { return degrade::Slice(written, 0, inZeroRun); },
       Kind::kNoSync, nameEnd / kRate},
      {"with a checksum that does not match",
       [&] { return degrade::LentokSignal(wrongSum, {false, false, "GAME.RKS"}); }, Kind::kChecksumError,
       (written.size() - 16) / kRate},
      {"cut off in the zeros after the name", [&] { return degrade::Slice(written, 0, inZeroRun); },
       Kind::kNoSync, nameEnd / kRate},
      {"with a checksum that does not match",
       [&] { return degrade::LentokSignal(wrongSum, {false, false, "GAME.RKS"}); }, Kind::kChecksumError,
       (written.size() - 16) / kRate},
      {"played at 0.75", [&] { return degrade::ChangeSpeed(written, 0.75); }, std::nullopt, 0},
      {"played at 1.08", [&] { return degrade::ChangeSpeed(written, 1.08); }, std::nullopt, 0},
      {"played at 0.68", [&] { return degrade::ChangeSpeed(written, 0.68); }, Kind::kCellTooLong, -1},
      {"played at 1.16", [&] { return degrade::ChangeSpeed(written, 1.16); }, Kind::kCellTooShort, -1},
      {"played at 0.65", [&] { return degrade::ChangeSpeed(written, 0.65); }, Kind::kCellTooLong, -1},
      {"played at 1.3", [&] { return degrade::ChangeSpeed(written, 1.3); }, Kind::kCellTooShort, -1},
      {"with a spike where the loader takes a change",
       [&] {
         degrade::Signal spiked = written;
         for (std::size_t i = spikeAt; i < spikeAt + 2; ++i) spiked[i] = -spiked[i];
         return spiked;
       },
       Kind::kChangeTooClose, spikeAt / kRate},
      // Speed 1 + 0.15 sin(2 pi t / 16 s) passes 1.116 at about 2.26 s and
      // falls back at 5.74 s. Cells are judged where the loader reads bytes,
      // and the zero run after the name only leads it to the second sync
      // byte: the first byte read too fast is the data's first, at 5.37 s.
      {"with wow of 15 % over 16 s", [&] { return degrade::WowAndFlutter(written, kRate, {0.15, 0.0625}, {}); },
       Kind::kCellTooShort, 5.37},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    const degrade::Signal signal = degrade::Join({degrade::Silence(0.05, kRate), c.make(), degrade::Silence(0.05, kRate)});
    const machine::Load load = machine::LoadOnMachine(signal, kRate, true);
    EXPECT_EQ(load.loaded, !c.problem.has_value());
    const std::vector<reader::DecodedRecord> records = DecodeSignal(signal, kRate);
    ASSERT_EQ(records.size(), 1u);
    const reader::DecodedRecord& record = records[0];
    if (*c.problem != Kind::kNoSync) {
      EXPECT_EQ(ImageMismatch(record, c.problem == Kind::kChecksumError ? wrongSum : image), "");
    }
    const reader::MachineVerdict& verdict = record.machine;
    EXPECT_TRUE(verdict.judged);
    EXPECT_EQ(verdict.loads, !c.problem.has_value());
    if (!c.problem) {
      EXPECT_TRUE(verdict.problems.empty());
      continue;
    }
    ASSERT_FALSE(verdict.problems.empty());
    const reader::LoadProblem& first = verdict.problems.front();
    EXPECT_EQ(first.kind, *c.problem);
    if (c.problemSeconds >= 0) {
      EXPECT_NEAR(reader::SecondsAt(record, first.frame), c.problemSeconds + 0.05, 0.01);
    }
    if (*c.problem == Kind::kCellTooLong) {
      EXPECT_GT(first.cellMicroseconds, 1010);
    } else if (*c.problem == Kind::kCellTooShort) {
      EXPECT_LT(first.cellMicroseconds, 650);
    }
  }
}

}  // namespace

namespace {

// Which reads of the monitors load a recording.
struct MonitorLoads {
  bool laterPlain;
  bool laterNamed;
  bool earlier;  // and the compatible machine, which reads alike
};

MonitorLoads OnTheModel(const degrade::Signal& signal) {
  const machine::TakenBits bits = machine::TakeBits(signal, kRate);
  return {machine::LoadOnMachine(bits, false).loaded, machine::LoadByName(bits, "PROG.RKS").loaded,
          machine::LoadOnEarlierMonitor(bits).loaded};
}

}  // namespace

// What each monitor's write command records loads on the monitors measured
// to load it, and on no other; the reader's verdict on each monitor agrees
// with the model.
TEST(MachineVerdict, NamesTheMonitorsThatLoadEachLayout) {
  const Bytes image = MakeConsistentImage(0x1000, VaryingData(300));
  const struct {
    const char* what;
    degrade::Signal signal;
    MonitorLoads loads;
  } kCases[] = {
      {"lentok's default, with the name header", degrade::LentokSignal(image, {false, false, "PROG.RKS"}),
       {false, true, false}},
      {"lentok -x", degrade::LentokSignal(image, {false, true, "PROG.RKS"}), {true, false, true}},
      {"an earlier monitor's save", degrade::EarlierMonitorSave(image), {false, false, true}},
      // The earlier monitors never read the checksum word.
      {"lentok -x cut off in the middle of its checksum",
       degrade::Slice(degrade::LentokSignal(image, {false, true, "PROG.RKS"}), 0,
                      (255 + 1 + 4 + 300 + 1) * 256),
       {false, false, true}},
      {"an earlier monitor's save cut off in its data",
       degrade::Slice(degrade::EarlierMonitorSave(image), 0, (255 + 1 + 4 + 200) * 256), {false, false, false}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    const degrade::Signal signal = degrade::Join({degrade::Silence(0.05, kRate), c.signal, degrade::Silence(0.05, kRate)});
    const MonitorLoads model = OnTheModel(signal);
    EXPECT_EQ(model.laterPlain, c.loads.laterPlain);
    EXPECT_EQ(model.laterNamed, c.loads.laterNamed);
    EXPECT_EQ(model.earlier, c.loads.earlier);
    if (c.loads.earlier) {
      const machine::Load earlier = machine::LoadOnEarlierMonitor(machine::TakeBits(signal, kRate));
      EXPECT_EQ(earlier.block, Bytes(image.begin(), image.end() - 2));
    }
    const std::vector<reader::DecodedRecord> records = DecodeSignal(signal, kRate);
    ASSERT_EQ(records.size(), 1u);
    const reader::MachineVerdict& verdict = records[0].machine;
    EXPECT_EQ(verdict.LoadsOn(reader::MonitorRead::kLaterPlain), c.loads.laterPlain);
    EXPECT_EQ(verdict.LoadsOn(reader::MonitorRead::kLaterNamed), c.loads.laterNamed);
    EXPECT_EQ(verdict.LoadsOn(reader::MonitorRead::kEarlier), c.loads.earlier);
    EXPECT_EQ(verdict.LoadsOn(reader::MonitorRead::kCompatible), c.loads.earlier);
    EXPECT_EQ(verdict.loads, c.loads.laterPlain || c.loads.laterNamed || c.loads.earlier);
  }
}
