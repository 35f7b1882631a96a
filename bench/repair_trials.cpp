// The repair table: lentok's recordings of small random programs, each
// damaged at random in one of three ways, read back and recovered as
// lentok-read does (RecoverRecords). For each kind of damage it counts the
// records repaired to the very program recorded, those the checksum agreed
// on but that are not that program (wrong repairs: there must be none),
// those left damaged, and those that read sound in spite of the damage. It
// reports and never judges.
//
//   lentok_read_repair [TRIALS]     (trials per kind of damage; default 3400)
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "reader/copy_combiner.h"
#include "reader/decoded_record.h"
#include "tests/support/degrade.h"
#include "tests/support/read_back.h"
#include "tests/support/tape_damage.h"

namespace {

using degrade::Signal;
using tape_damage::Program;

constexpr double kRate = 44100;
constexpr std::size_t kProgramBytes = 128;

struct Tally {
  int repaired = 0;
  int wrong = 0;
  int damaged = 0;
  int sound = 0;
  int other = 0;  // not read as one record to its end
};

using Damage = std::function<Signal(const Program&, std::mt19937&)>;

std::size_t Below(std::mt19937& random, std::size_t count) {
  return std::uniform_int_distribution<std::size_t>(0, count - 1)(random);
}

float Between(std::mt19937& random, float low, float high) {
  return std::uniform_real_distribution<float>(low, high)(random);
}

// A dropout of 2 to 6 cells at a random place, down to nothing.
Signal ShortDropout(const Program& program, std::mt19937& random) {
  const std::size_t cells = 2 + Below(random, 5);
  return tape_damage::DropoutFrom(program.signal, program, Below(random, kProgramBytes),
                                  static_cast<int>(Below(random, 8)), cells, 0.0f);
}

// `count` bits at random, each moved by up to `reach` of its change, either
// way: a reach past a half can reverse a bit.
Signal WeakenRandomBits(const Program& program, std::mt19937& random, std::size_t count, float reach) {
  Signal signal = program.signal;
  for (std::size_t i = 0; i < count; ++i) {
    signal = tape_damage::WeakenBit(signal, program, Below(random, kProgramBytes),
                                    static_cast<int>(Below(random, 8)), Between(random, -reach, reach));
  }
  return signal;
}

// One to four bits, each left at up to a third of its change, either way.
Signal WeakBits(const Program& program, std::mt19937& random) {
  const std::size_t count = 1 + Below(random, 4);
  return WeakenRandomBits(program, random, count, 0.33f);
}

// Many bits, 10 to 60, harmed anywhere from nothing to reversed, over noise.
Signal ManyBits(const Program& program, std::mt19937& random) {
  const std::size_t count = 10 + Below(random, 51);
  const Signal signal = WeakenRandomBits(program, random, count, 0.6f);
  return degrade::AddWhiteNoise(signal, 14, random());
}

Tally Run(const Damage& damage, int trials, std::uint32_t seed) {
  Tally tally;
  std::mt19937 random(seed);
  const Program layout = tape_damage::MakeProgram(kProgramBytes, seed);
  for (int trial = 0; trial < trials; ++trial) {
    const Program program = tape_damage::SameLayout(layout, random());
    const std::vector<reader::DecodedRecord> records = DecodeSignal(damage(program, random), kRate);
    if (records.size() != 1 || !records[0].checksumRead) {
      ++tally.other;
      continue;
    }
    const reader::DecodedRecord& record = reader::RecoverRecords(records).records[0];
    switch (record.status) {
      case reader::RecordStatus::kSound:
        ++tally.sound;
        break;
      case reader::RecordStatus::kRepaired:
        ++(ImageMismatch(record, program.image).empty() ? tally.repaired : tally.wrong);
        break;
      default:
        ++tally.damaged;
        break;
    }
  }
  return tally;
}

}  // namespace

int main(int argc, char** argv) {
  const int trials = argc > 1 ? std::atoi(argv[1]) : 3400;
  if (trials <= 0) {
    std::fprintf(stderr, "usage: lentok_read_repair [TRIALS]\n");
    return 1;
  }
  struct Row {
    const char* damage;
    Damage harm;
  };
  const Row rows[] = {
      {"one dropout of 2 to 6 cells", ShortDropout},
      {"1 to 4 weak bits, right or wrong", WeakBits},
      {"10 to 60 damaged bits, noise at 14 dB", ManyBits},
  };
  std::printf("%d trials per row, programs of %zu random bytes\n\n", trials, kProgramBytes);
  std::printf("| damage | read sound | repaired | wrong repairs | left damaged | not read to the end |\n");
  std::printf("|---|---|---|---|---|---|\n");
  Tally total;
  std::uint32_t seed = 1;
  for (const Row& row : rows) {
    const Tally tally = Run(row.harm, trials, seed++);
    std::printf("| %s | %d | %d | %d | %d | %d |\n", row.damage, tally.sound, tally.repaired, tally.wrong,
                tally.damaged, tally.other);
    std::fflush(stdout);
    total.wrong += tally.wrong;
  }
  std::printf("\nwrong repairs in %d trials: %d\n", 3 * trials, total.wrong);
  return 0;
}
