// Sides played into the model of the machine's loader: the later monitor's
// named read must find every program on a side by its name, whatever the
// gap and the order asked in, and never load another; with -x, the plain
// read must load each program from the place the table of contents gives.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "side/side_plan.h"
#include "side/side_samples.h"
#include "tape/tape_name.h"
#include "tests/support/degrade.h"
#include "tests/support/machine_loader.h"
#include "tests/support/test_files.h"

namespace {

constexpr double kRate = side::kSampleRate;

// The side's samples as the loader hears them.
degrade::Signal SideSignal(const side::SidePlan& plan) {
  side::SideSamples samples(plan);
  std::vector<std::uint8_t> bytes(samples.BytesLeft());
  bytes.resize(samples.Read(bytes.data(), bytes.size()));
  degrade::Signal signal(bytes.size() / 2);
  for (std::size_t i = 0; i < signal.size(); ++i) {
    signal[i] = static_cast<float>(static_cast<std::int16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8)) / 32768.0f;
  }
  return signal;
}

struct Side {
  std::vector<Bytes> images;
  std::vector<std::string> names;  // on tape
  std::size_t badChecksum = 0;     // the image whose stored checksum is wrong
  side::SidePlan plan;
};

// `count` programs of assorted sizes and addresses; names of assorted
// lengths, some the start of the one before, so that a read comparing only
// part of a name would take the wrong one. The second image stores a wrong
// checksum: it loads only with -k.
Side MakeSide(std::size_t count, std::uint64_t gapFrames, bool computeChecksum, bool noHeader = false) {
  std::mt19937 random(static_cast<unsigned>(count * 7919 + gapFrames));
  Side made;
  made.badChecksum = 1;
  std::vector<side::SideImage> images;
  for (std::size_t i = 0; i < count; ++i) {
    Bytes data(1 + random() % 400);
    for (std::uint8_t& byte : data) byte = static_cast<std::uint8_t>(random());
    const auto start = static_cast<std::uint16_t>(0x100 * (1 + i));
    Bytes image = i == made.badChecksum ? MakeImage(start, data, static_cast<std::uint16_t>(ReferenceChecksum(data) ^ 0x0101))
                                        : MakeConsistentImage(start, data);
    // "game0.rks" comes before "game0", which is its start.
    const std::string file = i % 3 == 0   ? "game" + std::to_string(i) + ".rks"
                             : i % 3 == 1 ? "game" + std::to_string(i - 1)
                                          : "g" + std::to_string(i);
    images.push_back({file, file, image});
    made.images.push_back(image);
    made.names.push_back(TapeNameOf(file));
  }
  side::SideOptions options;
  options.computeChecksum = computeChecksum;
  options.noHeader = noHeader;
  options.gapFrames = gapFrames;
  const side::PlanResult planned = side::PlanSide(images, options);
  EXPECT_EQ(planned.problem, side::PlanProblem::kNone);
  made.plan = planned.plan;
  return made;
}

Bytes BlockOf(const Bytes& image) { return Bytes(image.begin(), image.end() - 2); }

// Every program asked for by name, in a shuffled order, from the start of
// the tape each time: found, read whole, after passing by exactly the
// programs before it, and loaded unless its checksum is wrong on tape.
void ExpectEveryProgramFoundByName(const Side& made, const machine::TakenBits& bits, bool computeChecksum) {
  std::vector<std::size_t> order(made.names.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::shuffle(order.begin(), order.end(), std::mt19937(static_cast<unsigned>(order.size())));
  for (const std::size_t k : order) {
    SCOPED_TRACE("asked for " + made.names[k]);
    const machine::Load load = machine::LoadByName(bits, made.names[k]);
    ASSERT_TRUE(load.synced);
    EXPECT_EQ(load.name, made.names[k]);
    EXPECT_EQ(load.block, BlockOf(made.images[k]));
    EXPECT_EQ(load.loaded, computeChecksum || k != made.badChecksum);
    EXPECT_EQ(load.passed, std::vector<std::string>(made.names.begin(), made.names.begin() + static_cast<std::ptrdiff_t>(k)));
  }
  const machine::Load none = machine::LoadByName(bits, "NOT.ON.THIS.SIDE");
  EXPECT_FALSE(none.synced);
  EXPECT_EQ(none.passed, made.names);
}

// The gaps a side may have: none at all, a sample, the few samples around
// which lentok-read's header search once stumbled, part of a cell, just
// short of and just past the silence that makes the loader start over, and
// the tool's default.
const std::uint64_t kGaps[] = {0, 1, 6, 10, 40, 216, 225, static_cast<std::uint64_t>(side::kDefaultGapSeconds * kRate)};

TEST(SideNamedRead, FindsEveryProgramOfSidesOfTwoFiveAndTwentyAtEveryGap) {
  for (const std::size_t count : {2, 5, 20}) {
    for (const std::uint64_t gap : kGaps) {
      for (const bool computeChecksum : {false, true}) {
        SCOPED_TRACE(std::to_string(count) + " programs, gap of " + std::to_string(gap) + " samples" +
                     (computeChecksum ? ", -k" : ""));
        const Side made = MakeSide(count, gap, computeChecksum);
        ExpectEveryProgramFoundByName(made, machine::TakeBits(SideSignal(made.plan), kRate), computeChecksum);
      }
    }
  }
}

// However the two programs meet, the leader after the first is found: every
// gap from none to a little over two cells, each falling differently on
// the half-cells, and a few around the loader's restart after silence.
TEST(SideNamedRead, TheShortestGapIsNone) {
  EXPECT_EQ(side::kShortestGapSeconds, 0.0);
  std::vector<std::uint64_t> gaps;
  for (std::uint64_t gap = 0; gap <= 70; ++gap) gaps.push_back(gap);
  for (const std::uint64_t gap : {210, 219, 220, 221, 222, 230}) gaps.push_back(gap);
  for (const std::uint64_t gap : gaps) {
    SCOPED_TRACE("gap of " + std::to_string(gap) + " samples");
    const Side made = MakeSide(2, gap, true);
    const machine::Load load = machine::LoadByName(machine::TakeBits(SideSignal(made.plan), kRate), made.names[1]);
    EXPECT_TRUE(load.loaded);
    EXPECT_EQ(load.block, BlockOf(made.images[1]));
    EXPECT_EQ(load.passed, std::vector<std::string>{made.names[0]});
  }
}

// The user starts the tape anywhere before the program, in the middle of
// another one's data, and on a deck a little slow or fast.
TEST(SideNamedRead, FindsAProgramFromAnywhereBeforeItAndOffSpeed) {
  const Side made = MakeSide(5, 0, true);
  const degrade::Signal signal = SideSignal(made.plan);
  const std::vector<side::ProgramEntry>& programs = made.plan.contents.programs;
  for (std::size_t k = 1; k < programs.size(); ++k) {
    SCOPED_TRACE("asked for " + made.names[k]);
    const std::uint64_t from = (programs[k - 1].blockFrame + programs[k - 1].endFrame) / 2;
    const machine::Load load =
        machine::LoadByName(machine::TakeBits(degrade::Slice(signal, from, signal.size()), kRate), made.names[k]);
    EXPECT_TRUE(load.loaded);
    EXPECT_EQ(load.block, BlockOf(made.images[k]));
    EXPECT_TRUE(load.passed.empty());
  }
  for (const double speed : {0.75, 1.08}) {
    SCOPED_TRACE("played at " + std::to_string(speed));
    ExpectEveryProgramFoundByName(made, machine::TakeBits(degrade::ChangeSpeed(signal, speed), kRate), true);
  }
}

// Without names the plain read loads whatever comes next: the first
// program from the start, and each one from the start the table of
// contents gives for it, however short the gap before it.
TEST(SidePlainRead, LoadsEachProgramFromItsPlaceInTheContents) {
  for (const std::uint64_t gap : {std::uint64_t{0}, std::uint64_t{6}, std::uint64_t{88200}}) {
    SCOPED_TRACE("gap of " + std::to_string(gap) + " samples");
    const Side made = MakeSide(5, gap, true, true);
    const degrade::Signal signal = SideSignal(made.plan);
    for (std::size_t k = 0; k < made.images.size(); ++k) {
      const std::uint64_t from = made.plan.contents.programs[k].firstFrame;
      const machine::Load load = machine::LoadOnMachine(degrade::Slice(signal, from, signal.size()), kRate, false);
      EXPECT_TRUE(load.loaded) << "program " << k + 1;
      EXPECT_EQ(load.block, BlockOf(made.images[k])) << "program " << k + 1;
    }
  }
}

}  // namespace
