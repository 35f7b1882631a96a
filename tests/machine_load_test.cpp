// lentok's recordings played into the model of the machine's loader: each
// must load, and must stop loading where the machine stops.
#include <gtest/gtest.h>

#include "tests/support/degrade.h"
#include "tests/support/expected.h"
#include "tests/support/machine_loader.h"
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

}  // namespace
