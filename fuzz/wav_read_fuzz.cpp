// Fuzz target: recordings read back. The first byte picks the channel option,
// whether copies are combined, and the sizes of the blocks in which the rest,
// the file, is fed to the reading context that every front end drives.
// Besides the sanitizers' checks it holds the reader to what it promises: a
// WAV reader never gives more frames than the bytes carry, nor samples
// outside -16 to 16; blocks of any size give the same samples, the same
// report entries and the same images as the whole file at once; the context
// reports the WAV reader's errors; every record is consistent in itself;
// and every image written is the one its entry names.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

#include <map>
#include <string>

#include "reader/decoded_record.h"
#include "reader/read_context.h"

namespace {

// "RIFF", size, "WAVE", a chunk header, the 16 bytes of the shortest fmt
// chunk and the data chunk's header come before the first sample.
constexpr std::size_t kBytesBeforeSamples = 44;

// The line of a broken promise goes to standard error with the crash.
void Require(bool condition, int line = __builtin_LINE()) {
  if (condition) return;
  std::fprintf(stderr, "wav_read_fuzz.cpp:%d: a promise does not hold\n", line);
  std::abort();
}

// Block sizes from 1 up to 2^(control's low four bits), varied block by
// block by a small generator seeded from the control byte.
class BlockSizes {
 public:
  explicit BlockSizes(std::uint8_t control)
      : state_(0x9E3779B9u ^ control), limit_(std::size_t{1} << (control & 0x0F)) {}

  std::size_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return 1 + state_ % limit_;
  }

 private:
  std::uint32_t state_;
  std::size_t limit_;
};

struct WavOutcome {
  formats::WavError error = formats::WavError::kNone;
  std::vector<float> samples;
};

// The WAV reader alone, with its own checks on what it hands out.
WavOutcome ReadWav(const std::uint8_t* file, std::size_t size, std::optional<BlockSizes> blocks) {
  formats::WavStreamReader wav;
  WavOutcome outcome;
  for (std::size_t at = 0; at < size && outcome.error == formats::WavError::kNone;) {
    const std::size_t count = blocks ? std::min(blocks->Next(), size - at) : size - at;
    outcome.error = wav.Feed(file + at, count, outcome.samples);
    at += count;
  }
  if (outcome.error == formats::WavError::kNone) outcome.error = wav.Finish();
  if (!wav.HasFormat()) {
    Require(outcome.samples.empty());
    return outcome;
  }
  const formats::WavFormat& format = wav.Format();
  Require(outcome.samples.size() == wav.FramesRead() * format.channels);
  Require(size < kBytesBeforeSamples ||
          wav.FramesRead() * format.blockAlign <= size - kBytesBeforeSamples);
  for (float sample : outcome.samples) Require(std::isfinite(sample) && std::fabs(sample) <= 16.0f);
  return outcome;
}

// Images kept in memory by name, as the page keeps them.
class MemoryStore : public reader::ImageStore {
 public:
  bool Reserved(const std::string& name) override { return name == "RESERVED.RKS"; }
  reader::StoredImage Store(const std::string& name, const std::vector<std::uint8_t>& image) override {
    Require(images.count(name) == 0);
    images[name] = image;
    return {name, ""};
  }
  std::map<std::string, std::vector<std::uint8_t>> images;
};

struct ReadOutcome {
  reader::ReadError error = reader::ReadError::kNone;
  formats::WavError wavError = formats::WavError::kNone;
  std::vector<reader::ReportEntry> entries;
  std::map<std::string, std::vector<std::uint8_t>> images;
};

ReadOutcome ReadRecording(const std::uint8_t* file, std::size_t size, const reader::ReadSettings& settings,
                          std::optional<BlockSizes> blocks) {
  MemoryStore store;
  reader::ReadContext context(settings, &store);
  context.BeginRecording("fuzz.wav");
  ReadOutcome outcome;
  auto take = [&] {
    for (reader::ReportEntry& entry : context.TakeEntries()) outcome.entries.push_back(std::move(entry));
  };
  for (std::size_t at = 0; at < size && outcome.error == reader::ReadError::kNone;) {
    const std::size_t count = blocks ? std::min(blocks->Next(), size - at) : size - at;
    outcome.error = context.FeedBytes(file + at, count);
    at += count;
    take();
  }
  const reader::ReadError ended = context.EndRecording();
  if (outcome.error == reader::ReadError::kNone) outcome.error = ended;
  outcome.wavError = context.WavErrorCode();
  context.Finish();
  take();
  outcome.images = std::move(store.images);
  return outcome;
}

void CheckRecord(const reader::DecodedRecord& record, std::size_t fileSize, int channelOption) {
  if (channelOption >= 0) Require(record.channel == channelOption);
  Require(record.channel >= 0 && record.channel < formats::kMostWavChannels);
  Require(record.firstFrame >= 0 && record.firstFrame <= record.endFrame);
  Require(static_cast<std::uint64_t>(record.endFrame) <= fileSize);
  Require(record.byteFrames.size() == record.data.size());
  Require(record.data.size() <= 65536);
  if (record.addressesRead) {
    const std::size_t length =
        static_cast<std::uint16_t>(record.endAddress - record.startAddress) + 1u;
    Require(record.data.size() <= length);
  }
  if (record.status == reader::RecordStatus::kSound)
    Require(record.checksumRead && record.tapeChecksum == record.computedChecksum);
  Require(record.doubtfulBitFrames.size() <= reader::kDoubtfulPositionsKept);
  Require(record.doubtfulBitFrames.size() <= record.doubtfulBitCount);
  // Every record carries the machine's verdict on each monitor. The later
  // monitor loads only a sound record without a problem, by the one read
  // its header calls for; the earlier monitors never one with a header.
  const reader::MachineVerdict& machine = record.machine;
  Require(machine.judged);
  Require(machine.problems.size() <= reader::kLoadProblemsKept);
  bool any = false;
  for (const reader::MonitorRead read : reader::kMonitorReads) any = any || machine.LoadsOn(read);
  Require(machine.loads == any);
  const bool later = machine.LoadsOn(reader::Monitor::kLater);
  if (later) Require(record.status == reader::RecordStatus::kSound && machine.problems.empty());
  if (record.status == reader::RecordStatus::kSound && machine.problems.empty()) Require(later);
  Require(!machine.LoadsOn(reader::MonitorRead::kLaterPlain) || !record.hasHeader);
  Require(!machine.LoadsOn(reader::MonitorRead::kLaterNamed) || record.hasHeader);
  Require(machine.LoadsOn(reader::MonitorRead::kEarlier) == machine.LoadsOn(reader::MonitorRead::kCompatible));
  if (machine.LoadsOn(reader::Monitor::kEarlier)) Require(!record.hasHeader && record.addressesRead);
  if (record.status == reader::RecordStatus::kNoChecksum) Require(!record.hasHeader && !record.checksumRead);
  const std::vector<std::uint8_t> image = reader::ImageBytes(record);
  if (record.addressesRead) Require(image.size() == record.data.size() + 6);
}

bool SameVerdict(const reader::MachineVerdict& a, const reader::MachineVerdict& b) {
  if (a.loads != b.loads || a.problems.size() != b.problems.size()) return false;
  for (const reader::MonitorRead read : reader::kMonitorReads) {
    if (a.LoadsOn(read) != b.LoadsOn(read)) return false;
  }
  for (std::size_t i = 0; i < a.problems.size(); ++i) {
    const reader::LoadProblem& p = a.problems[i];
    const reader::LoadProblem& q = b.problems[i];
    if (p.kind != q.kind || p.frame != q.frame || p.cellMicroseconds != q.cellMicroseconds) return false;
  }
  return true;
}

bool SameRecord(const reader::DecodedRecord& a, const reader::DecodedRecord& b) {
  return a.firstFrame == b.firstFrame && a.endFrame == b.endFrame && a.channel == b.channel &&
         a.status == b.status && a.name == b.name && a.data == b.data &&
         a.byteFrames == b.byteFrames && a.tapeChecksum == b.tapeChecksum &&
         a.startAddress == b.startAddress && a.endAddress == b.endAddress &&
         SameVerdict(a.machine, b.machine);
}

bool SameUnread(const reader::UnreadStretch& a, const reader::UnreadStretch& b) {
  return a.firstFrame == b.firstFrame && a.endFrame == b.endFrame && a.channel == b.channel &&
         a.changeMicroseconds == b.changeMicroseconds;
}

bool SameEntry(const reader::ReportEntry& a, const reader::ReportEntry& b) {
  return a.kind == b.kind && a.order == b.order && a.image.path == b.image.path && a.renamed == b.renamed &&
         a.released == b.released && a.combinedInto == b.combinedInto && SameRecord(a.record, b.record) &&
         SameUnread(a.unread, b.unread);
}

bool SameSamples(const std::vector<float>& a, const std::vector<float>& b) {
  return a.size() == b.size() &&
         (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::uint8_t control = data[0];
  const std::uint8_t* file = data + 1;
  const std::size_t fileSize = size - 1;

  const WavOutcome wavWhole = ReadWav(file, fileSize, std::nullopt);
  const WavOutcome wavBlocks = ReadWav(file, fileSize, BlockSizes(control));
  Require(wavWhole.error == wavBlocks.error);
  Require(SameSamples(wavWhole.samples, wavBlocks.samples));

  reader::ReadSettings settings;
  settings.decoder.channel = (control >> 4) % 4 - 1;  // -1 (every channel) to 2
  settings.separate = (control & 0x40) != 0;
  const ReadOutcome whole = ReadRecording(file, fileSize, settings, std::nullopt);
  const ReadOutcome blocks = ReadRecording(file, fileSize, settings, BlockSizes(control));
  Require(whole.error == blocks.error && whole.wavError == blocks.wavError);
  if (whole.error == reader::ReadError::kNoSuchChannel) {
    Require(whole.entries.empty());
  } else {
    // The channel was taken, so the WAV reader's word is the context's.
    Require(whole.wavError == wavWhole.error);
    Require((whole.error == reader::ReadError::kWav) == (wavWhole.error != formats::WavError::kNone));
  }
  Require(whole.entries.size() == blocks.entries.size());
  Require(whole.images == blocks.images);
  for (std::size_t i = 0; i < whole.entries.size(); ++i) {
    const reader::ReportEntry& entry = whole.entries[i];
    Require(SameEntry(entry, blocks.entries[i]));
    if (entry.kind == reader::EntryKind::kUnread) {
      // Longer than the shortest told of, inside the file, at the tape's rates.
      const reader::UnreadStretch& unread = entry.unread;
      Require(unread.firstFrame >= 0 && unread.endFrame - unread.firstFrame >=
                                            static_cast<std::int64_t>(reader::kShortestUnreadSeconds * unread.sampleRate));
      Require(static_cast<std::size_t>(unread.endFrame) <= fileSize);
      Require(unread.changeMicroseconds >= 40 && unread.changeMicroseconds <= 1300);
      continue;
    }
    if (entry.kind != reader::EntryKind::kCombination) CheckRecord(entry.record, fileSize, settings.decoder.channel);
    if (entry.kind == reader::EntryKind::kCopy) {
      Require(entry.image.path.empty() && whole.images.count(entry.combinedInto) == 1);
    } else {
      Require(entry.image.path != "RESERVED.RKS" && whole.images.count(entry.image.path) == 1);
      Require(whole.images.at(entry.image.path) == reader::ImageBytes(entry.record));
    }
  }
  return 0;
}
