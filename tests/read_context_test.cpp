// The reading context as every front end drives it: damaged records wait
// for their copies only within their memory budget, a stopped read writes
// everything it holds as read, image names skip what the front end
// reserves, numbered in linear time, and signal no record explains is
// found and kept the same however the recording is fed. The recordings are lentok's own,
// harmed at known places.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "reader/image_names.h"
#include "reader/loader_input.h"
#include "reader/read_context.h"
#include "tests/support/degrade.h"
#include "tests/support/read_back.h"
#include "tests/support/tape_damage.h"
#include "tests/support/wav_out.h"

namespace {

using reader::EntryKind;
using reader::ReadContext;
using reader::Release;
using reader::ReportEntry;

constexpr double kRate = 44100;

class MemoryStore : public reader::ImageStore {
 public:
  bool Reserved(const std::string&) override { return false; }
  reader::StoredImage Store(const std::string& name, const std::vector<std::uint8_t>& image) override {
    images[name] = image;
    return {name, ""};
  }
  std::map<std::string, std::vector<std::uint8_t>> images;
};

const tape_damage::Program& Game() {
  static const tape_damage::Program program = tape_damage::MakeProgram(600, 7);
  return program;
}

const tape_damage::Program& Other() {
  static const tape_damage::Program program = tape_damage::MakeProgram(300, 8, "OTHER.RKS");
  return program;
}

// A copy of GAME.RKS with a dropout at `byte`: read to its end, but its
// checksum fails.
degrade::Signal DamagedCopy(std::size_t byte) {
  return tape_damage::DropoutFrom(Game().signal, Game(), byte, 3, 40, 0.0f);
}

degrade::Signal Side(const std::vector<degrade::Signal>& records) {
  std::vector<degrade::Signal> pieces;
  for (const degrade::Signal& record : records) {
    pieces.push_back(record);
    pieces.push_back(degrade::Silence(0.5, kRate));
  }
  return degrade::Join(pieces);
}

void Feed(ReadContext& context, const degrade::Signal& signal) {
  context.BeginRecording("side.wav");
  ASSERT_TRUE(context.BeginFrames(kRate, 1));
  context.FeedFrames(signal.data(), signal.size());
}

// What one copy takes while it waits: as the decoder gives it, every bit's
// confidence with it.
std::size_t HeldBytesOfOneCopy() {
  const std::vector<reader::DecodedRecord> records = DecodeSignal(DamagedCopy(100), kRate);
  EXPECT_EQ(records.size(), 1u);
  return records.empty() ? 0 : reader::HeldBytes(records[0]);
}

TEST(ReadContext, DamagedCopiesWaitWithinTheirBudgetTheOldestWrittenFirst) {
  // Room for two copies: of four, the first two are written as read while
  // the read goes on, and the last two still combine at the end.
  MemoryStore store;
  reader::ReadSettings settings;
  settings.heldBudget = 2 * HeldBytesOfOneCopy() + HeldBytesOfOneCopy() / 2;
  ReadContext context(settings, &store);
  Feed(context, Side({DamagedCopy(100), DamagedCopy(200), DamagedCopy(300), DamagedCopy(400)}));
  const std::vector<ReportEntry> during = context.TakeEntries();
  ASSERT_EQ(during.size(), 2u);
  for (std::size_t i = 0; i < during.size(); ++i) {
    EXPECT_EQ(during[i].order, i);
    EXPECT_EQ(during[i].released, Release::kOverBudget);
    EXPECT_EQ(during[i].record.status, reader::RecordStatus::kChecksumError);
    EXPECT_FALSE(during[i].image.path.empty());
  }
  context.EndRecording();
  context.Finish();
  const std::vector<ReportEntry> after = context.TakeEntries();
  ASSERT_EQ(after.size(), 3u);  // the combination and its two copies
  EXPECT_EQ(after[0].kind, EntryKind::kCombination);
  EXPECT_EQ(after[0].record.status, reader::RecordStatus::kCombined);
  EXPECT_EQ(store.images.at(after[0].image.path), Game().image);
  for (std::size_t i = 1; i < after.size(); ++i) {
    EXPECT_EQ(after[i].kind, EntryKind::kCopy);
    EXPECT_EQ(after[i].released, Release::kNone);
    EXPECT_EQ(after[i].combinedInto, after[0].image.path);
  }
  EXPECT_EQ(store.images.size(), 3u);  // two as read, one combined
}

TEST(ReadContext, AnotherChannelsCopyWaitsWithinTheBudgetAndGoesWithTheRecord) {
  // Each channel loses its own stretch. With room for one copy, the record
  // and the other channel's copy do not fit: the best is written as read at
  // once, alone. With room for both, they combine at the end.
  const degrade::Signal left = DamagedCopy(150);
  const degrade::Signal right = DamagedCopy(450);
  std::vector<float> stereo(2 * left.size());
  for (std::size_t i = 0; i < left.size(); ++i) {
    stereo[2 * i] = left[i];
    stereo[2 * i + 1] = right[i];
  }
  const auto kinds = [](const std::vector<ReportEntry>& entries) {
    std::vector<EntryKind> out;
    for (const ReportEntry& entry : entries) out.push_back(entry.kind);
    return out;
  };
  for (const double copiesOfRoom : {1.5, 2.5}) {
    SCOPED_TRACE(copiesOfRoom);
    const bool room = copiesOfRoom > 2;
    MemoryStore store;
    reader::ReadSettings settings;
    settings.heldBudget = static_cast<std::size_t>(copiesOfRoom * static_cast<double>(HeldBytesOfOneCopy()));
    ReadContext context(settings, &store);
    context.BeginRecording("stereo.wav");
    ASSERT_TRUE(context.BeginFrames(kRate, 2));
    context.FeedFrames(stereo.data(), left.size());
    context.EndRecording();
    const std::vector<EntryKind> none, asRead = {EntryKind::kRecord},
                                 combined = {EntryKind::kCombination, EntryKind::kCopy, EntryKind::kCopy};
    EXPECT_EQ(kinds(context.TakeEntries()), room ? none : asRead);
    context.Finish();
    EXPECT_EQ(kinds(context.TakeEntries()), room ? combined : none);
    ASSERT_EQ(store.images.size(), 1u);
    EXPECT_EQ(store.images.begin()->second == Game().image, room);
  }
}

TEST(ReadContext, AStoppedReadWritesWhatWaitedAsReadAndCutsTheRecordShort) {
  MemoryStore store;
  ReadContext context({}, &store);
  const degrade::Signal& other = Other().signal;
  // The other program is stopped a third of the way in.
  const degrade::Signal stoppedIn(other.begin(), other.begin() + static_cast<std::ptrdiff_t>(other.size() / 3));
  Feed(context, degrade::Join({Side({DamagedCopy(100), DamagedCopy(400)}), stoppedIn}));
  EXPECT_TRUE(context.TakeEntries().empty()) << "the damaged copies wait for more";
  context.Stop();
  const std::vector<ReportEntry> entries = context.TakeEntries();
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].record.status, reader::RecordStatus::kCutShort);  // OTHER.RKS, where the read stopped
  EXPECT_EQ(entries[0].record.name, "OTHER.RKS");
  for (std::size_t i = 1; i < entries.size(); ++i) {
    EXPECT_EQ(entries[i].kind, EntryKind::kRecord);
    EXPECT_EQ(entries[i].released, Release::kStopped);
    EXPECT_EQ(entries[i].record.status, reader::RecordStatus::kChecksumError);
  }
  EXPECT_TRUE(context.Report().stopped);
  EXPECT_EQ(store.images.size(), 3u);
  context.Finish();
  EXPECT_TRUE(context.TakeEntries().empty()) << "nothing is combined after a stop";
}

// Keeps the candidates' frames in memory.
class MemoryUnreadStore : public reader::UnreadStore {
 public:
  void Begin(const std::string& name, double, int) override {
    name_ = name;
    frames_.clear();
  }
  void Frames(const float* interleaved, std::size_t frames) override {
    frames_.insert(frames_.end(), interleaved, interleaved + frames);
  }
  reader::StoredImage Keep() override {
    kept[name_] = frames_;
    return {name_, ""};
  }
  void Drop() override { frames_.clear(); }
  std::map<std::string, std::vector<float>> kept;

 private:
  std::string name_;
  std::vector<float> frames_;
};

TEST(ReadContext, UnreadSignalIsFoundAndKeptTheSameHoweverTheRecordingIsFed) {
  // A standard record, then a program's data at twice the speed.
  const tape_damage::Program& fast = tape_damage::MakeProgram(3000, 9);
  degrade::Signal twice;
  for (std::size_t i = static_cast<std::size_t>(4 * kRate); i < static_cast<std::size_t>(10 * kRate); i += 2) {
    twice.push_back(fast.signal[i]);
  }
  const degrade::Signal signal = degrade::Join({Game().signal, twice, degrade::Silence(0.5, kRate)});
  const Bytes wav = WavFileBytes(signal, static_cast<std::uint32_t>(kRate), 1, formats::WavSampleType::kSigned16);
  const std::size_t odd[] = {1, 7, 4096, 65537, 333};

  enum class Way { kFramesWhole, kFramesInBlocks, kFramesWithChangesFoundApart, kBytesInBlocks };
  std::vector<reader::UnreadStretch> first;
  for (const Way way : {Way::kFramesWhole, Way::kFramesInBlocks, Way::kFramesWithChangesFoundApart, Way::kBytesInBlocks}) {
    SCOPED_TRACE(static_cast<int>(way));
    MemoryStore store;
    MemoryUnreadStore unreadStore;
    ReadContext context({}, &store);
    context.KeepUnread(&unreadStore);
    context.BeginRecording("side.wav");
    if (way == Way::kBytesInBlocks) {
      for (std::size_t at = 0, i = 0; at < wav.size(); ++i) {
        const std::size_t count = std::min(odd[i % 5], wav.size() - at);
        context.FeedBytes(wav.data() + at, count);
        at += count;
      }
    } else {
      ASSERT_TRUE(context.BeginFrames(kRate, 1));
      reader::LoaderInputs inputs(kRate, 1);
      reader::LoaderChangesByChannel changes;
      reader::LineTilesByChannel tiles;
      for (std::size_t at = 0, i = 0; at < signal.size(); ++i) {
        const std::size_t count = way == Way::kFramesWhole ? signal.size() : std::min(odd[i % 5], signal.size() - at);
        if (way == Way::kFramesWithChangesFoundApart) {
          inputs.Feed(signal.data() + at, count, changes, &tiles);
          context.FeedFrames(signal.data() + at, count, &changes, &tiles);
        } else {
          context.FeedFrames(signal.data() + at, count);
        }
        at += count;
      }
    }
    context.EndRecording();
    context.Finish();
    std::vector<reader::UnreadStretch> found;
    for (const ReportEntry& entry : context.TakeEntries()) {
      if (entry.kind != EntryKind::kUnread) continue;
      found.push_back(entry.unread);
      ASSERT_EQ(unreadStore.kept.count(entry.image.path), 1u) << entry.image.path;
      const std::vector<float>& kept = unreadStore.kept.at(entry.image.path);
      ASSERT_EQ(static_cast<std::int64_t>(kept.size()), entry.unread.endFrame - entry.unread.firstFrame);
      // The recording's own samples (through 16 bits, for the WAV bytes).
      float most = 0;
      for (std::size_t i = 0; i < kept.size(); ++i) {
        most = std::max(most, std::fabs(kept[i] - signal[static_cast<std::size_t>(entry.unread.firstFrame) + i]));
      }
      EXPECT_LE(most, way == Way::kBytesInBlocks ? 1.0f / 32768 : 0.0f);
    }
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(unreadStore.kept.size(), 1u) << "only the stretch told of is kept";
    EXPECT_NEAR(found[0].changeMicroseconds, 181, 3);
    if (first.empty()) first = found;
    EXPECT_EQ(found[0].firstFrame, first[0].firstFrame);
    EXPECT_EQ(found[0].endFrame, first[0].endFrame);
    EXPECT_EQ(found[0].changeMicroseconds, first[0].changeMicroseconds);
  }
}

TEST(ImageNames, ReservedNamesAreSkippedAndRepeatsNumberedInLinearTime) {
  reader::NameRegistry names;
  std::size_t asked = 0;
  const auto reserved = [&](const std::string& name) {
    ++asked;
    return name == "GAME.RKS" || name == "GAME-3.RKS";
  };
  bool renamed = false;
  EXPECT_EQ(names.Claim("GAME.RKS", reserved, &renamed), "GAME-2.RKS");
  EXPECT_TRUE(renamed);
  EXPECT_EQ(names.Claim("game.rks", reserved, &renamed), "game.rks");
  EXPECT_FALSE(renamed) << "the front end, not the registry, says which spellings are its files";
  EXPECT_EQ(names.Claim("GAME-4.RKS", reserved), "GAME-4.RKS");
  EXPECT_EQ(names.Claim("GAME.RKS", reserved), "GAME-5.RKS") << "reserved and taken numbers are both skipped";
  EXPECT_EQ(names.Claim("OTHER.RKS", reserved), "OTHER.RKS");
  EXPECT_EQ(names.Claim("other.rks", reserved, &renamed), "other-2.rks") << "case aside, one name";
  EXPECT_FALSE(renamed) << "a repeat is numbered, not renamed";
  // Each repeat asks about a few names, not about every number before it.
  asked = 0;
  constexpr std::size_t kRepeats = 5000;
  for (std::size_t i = 0; i < kRepeats; ++i) names.Claim("GAME.RKS", reserved);
  EXPECT_EQ(names.Claim("GAME.RKS", reserved), "GAME-" + std::to_string(6 + kRepeats) + ".RKS");
  EXPECT_LE(asked, 3 * kRepeats);
}

}  // namespace
