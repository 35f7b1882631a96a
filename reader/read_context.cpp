// The reading context: records from the decoders into report entries and
// images. A sound record is final at once; a damaged one with its
// addresses waits, within the budget, for copies to combine with, until the
// read finishes (or is stopped).
#include "reader/read_context.h"

#include <algorithm>
#include <numeric>
#include <utility>

#include "reader/checksum_repair.h"

namespace reader {

namespace {

// What makes records copies of one program, without their data.
DecodedRecord KeyOf(const DecodedRecord& record) {
  DecodedRecord key;
  key.addressesRead = record.addressesRead;
  key.hasHeader = record.hasHeader;
  key.name = record.name;
  key.startAddress = record.startAddress;
  key.endAddress = record.endAddress;
  return key;
}

// A record as the report keeps it: the bits' confidences went into the
// decisions already, and the map keeps its own.
DecodedRecord Reported(DecodedRecord record) {
  record.bitConfidence = {};
  record.checksumConfidence = {};
  record.channelCopies = {};
  return record;
}

// Of a record without its channels' copies (the context keeps them apart).
DecodedRecord Mapped(const DecodedRecord& record) {
  DecodedRecord mapped = record;
  mapped.data = {};
  mapped.checksumConfidence = {};
  return mapped;
}

}  // namespace

std::size_t HeldBytes(const DecodedRecord& record) {
  return sizeof record + record.name.size() + record.data.size() + record.bitConfidence.size() +
         record.checksumConfidence.size() + record.byteFrames.size() * sizeof(std::int64_t) +
         record.doubtfulBitFrames.size() * sizeof(std::int64_t) +
         record.machine.problems.size() * sizeof(LoadProblem) + record.repairedBits.size() * sizeof(ChangedBit) +
         std::accumulate(record.channelCopies.begin(), record.channelCopies.end(), std::size_t{0},
                         [](std::size_t sum, const DecodedRecord& copy) { return sum + HeldBytes(copy); });
}

ReadContext::ReadContext(ReadSettings settings, ImageStore* store) : settings_(settings), store_(store) {}

void ReadContext::BeginRecording(const std::string& name) {
  EndDecoding();
  wavError_ = formats::WavError::kNone;
  report_.recordings.emplace_back();
  Current().name = name;
  // Bytes until frames are begun: a recording that ends without a byte is
  // then an empty file, which the WAV reader refuses.
  bytes_.emplace(settings_.decoder);
  if (settings_.keepMap) bytes_->AttachProfile(&Current().profile);
  if (unreadStore_ != nullptr) bytes_->AttachUnreadSink(&keeper_);
}

ReadError ReadContext::FeedBytes(const std::uint8_t* bytes, std::size_t count) {
  if (report_.recordings.empty()) BeginRecording("");
  if (!bytes_) return ReadError::kNone;
  const ReadError error = bytes_->Feed(bytes, count);
  TakeDecoded(bytes_->TakeRecords());
  TakeUnread(bytes_->TakeUnread());
  return error;
}

bool ReadContext::BeginFrames(double sampleRate, int channels) {
  if (report_.recordings.empty()) BeginRecording("");
  const int channel = settings_.decoder.channel;
  if (channels < 1 || channels > formats::kMostWavChannels || channel < -1 || channel >= channels) return false;
  bytes_.reset();
  frames_.emplace(sampleRate, channels, settings_.decoder);
  if (unreadStore_ != nullptr) frames_->AttachUnreadSink(&keeper_);
  channels_ = channels;
  Current().channels = channels;
  Current().profile.SetSampleRate(sampleRate);
  return true;
}

void ReadContext::FeedFrames(const float* interleaved, std::size_t frames, const LoaderChangesByChannel* found,
                             const LineTilesByChannel* foundTiles) {
  if (!frames_) return;
  frames_->Feed(interleaved, frames, found, foundTiles);
  if (settings_.keepMap) Current().profile.Feed(interleaved, frames, channels_, settings_.decoder.channel);
  TakeDecoded(frames_->TakeRecords());
  TakeUnread(frames_->TakeUnread());
}

float ReadContext::RecentPeak() const { return frames_ ? frames_->RecentPeak() : 0; }

ReadError ReadContext::EndRecording(const std::string& failure) {
  if (report_.recordings.empty()) BeginRecording("");
  const ReadError error = EndDecoding();
  if (Current().failure.empty()) Current().failure = failure;
  return error;
}

// The recording's decoder gives what it still holds, cut short.
ReadError ReadContext::EndDecoding() {
  ReadError error = ReadError::kNone;
  if (bytes_) {
    // The records before an error still count.
    error = bytes_->Finish();
    wavError_ = bytes_->WavErrorCode();
    TakeDecoded(bytes_->TakeRecords());
    TakeUnread(bytes_->TakeUnread());
    bytes_.reset();
  }
  if (frames_) {
    frames_->Finish();
    TakeDecoded(frames_->TakeRecords());
    TakeUnread(frames_->TakeUnread());
    frames_.reset();
  }
  return error;
}

void ReadContext::Finish() {
  if (finished_) return;
  EndDecoding();
  finished_ = true;
  Recover();
}

void ReadContext::Stop() {
  if (finished_) return;
  EndDecoding();
  finished_ = true;
  report_.stopped = true;
  while (!held_.empty()) ReleaseOldest(Release::kStopped);
}

std::vector<ReportEntry> ReadContext::TakeEntries() { return std::exchange(pending_, {}); }

void ReadContext::TakeDecoded(std::vector<DecodedRecord> records) {
  if (bytes_ && bytes_->Format()) Current().channels = bytes_->Format()->channels;
  for (DecodedRecord& record : records) Take(std::move(record));
}

void ReadContext::TakeUnread(std::vector<UnreadStretch> stretches) {
  for (const UnreadStretch& stretch : stretches) {
    ++report_.unread;
    ++Current().unreadCount;
    if (settings_.keepMap) Current().unread.push_back(stretch);
    ReportEntry entry;
    entry.kind = EntryKind::kUnread;
    entry.recording = report_.recordings.size() - 1;
    entry.unread = stretch;
    if (!keeper_.kept.empty()) {
      entry.image = std::move(keeper_.kept.front());
      keeper_.kept.pop_front();
      if (entry.image.path.empty()) ++report_.unstored;
    }
    Emit(std::move(entry));
  }
}

// Named where it begins, the name claimed among the images' and never one
// the front end reserves.
void ReadContext::UnreadKeeper::Begin(std::int64_t firstFrame, double sampleRate, int channels) {
  const double seconds = sampleRate > 0 ? static_cast<double>(firstFrame) / sampleRate : 0;
  ImageStore* const store = context_.store_;
  const std::string name =
      context_.names_.Claim(UnreadFileName(context_.Current().name, seconds), [store](const std::string& candidate) {
        return store != nullptr && store->Reserved(candidate);
      });
  context_.unreadStore_->Begin(name, sampleRate, channels);
}

void ReadContext::UnreadKeeper::Frames(const float* interleaved, std::size_t frames) {
  context_.unreadStore_->Frames(interleaved, frames);
}

void ReadContext::UnreadKeeper::End(const UnreadStretch* stretch) {
  if (stretch == nullptr) {
    context_.unreadStore_->Drop();
  } else {
    kept.push_back(context_.unreadStore_->Keep());
  }
}

void ReadContext::Take(DecodedRecord record) {
  std::vector<DecodedRecord> channelCopies = std::exchange(record.channelCopies, {});
  const std::size_t order = Current().records++;
  ++report_.records;
  std::size_t mapSlot = 0;
  if (settings_.keepMap) {
    mapSlot = Current().mapped.size();
    Current().mapped.push_back({Mapped(record), record.status, IsDamaged(record), {}});
  }
  if (Holds(record)) {
    // Without combining (--separate) the other channels' copies go unused.
    record.channelCopies = std::move(channelCopies);
    Hold(std::move(record), order, mapSlot);
  } else {
    Emit(RecordEntry(std::move(record), report_.recordings.size() - 1, order, Release::kNone));
  }
}

bool ReadContext::Holds(const DecodedRecord& record) {
  if (!IsDamaged(record)) {
    // Its copies, damaged, are left as they are: this one wins.
    if (!settings_.separate) soundPrograms_.push_back(KeyOf(record));
    return false;
  }
  return !settings_.separate && record.addressesRead;
}

bool ReadContext::HasSoundCopy(const DecodedRecord& record) const {
  return std::any_of(soundPrograms_.begin(), soundPrograms_.end(),
                     [&](const DecodedRecord& sound) { return AreCopies(sound, record); });
}

void ReadContext::Hold(DecodedRecord record, std::size_t order, std::size_t mapSlot) {
  heldBytes_ += HeldBytes(record);
  held_.push_back({std::move(record), report_.recordings.size() - 1, order, mapSlot, false});
  while (heldBytes_ > settings_.heldBudget && !held_.empty()) ReleaseOldest(Release::kOverBudget);
}

void ReadContext::ReleaseOldest(Release why) {
  Held held = std::move(held_.front());
  held_.pop_front();
  heldBytes_ -= HeldBytes(held.record);
  Emit(RecordEntry(std::move(held.record), held.recording, held.order, why));
}

// Combines and repairs the records that waited, then writes them. The
// other channels' copies of a record join the candidates beside it; they
// are reported only where they went into a combination.
void ReadContext::Recover() {
  std::vector<Held> candidates;
  std::vector<std::size_t> ownCopies;  // per candidate: how many channel copies follow it
  for (Held& held : held_) {
    if (HasSoundCopy(held.record)) {
      Emit(RecordEntry(std::move(held.record), held.recording, held.order, Release::kNone));
      continue;
    }
    std::vector<DecodedRecord> channelCopies = std::exchange(held.record.channelCopies, {});
    const Held best = {{}, held.recording, held.order, held.mapSlot, false};
    candidates.push_back(std::move(held));
    ownCopies.push_back(channelCopies.size());
    for (DecodedRecord& copy : channelCopies) {
      candidates.push_back({std::move(copy), best.recording, best.order, best.mapSlot, true});
      ownCopies.push_back(0);
    }
  }
  held_.clear();
  heldBytes_ = 0;

  // A record whose only copies are its own channels' is repaired on its
  // own where they do not combine, as it would be without them.
  std::vector<bool> aloneButForChannels(candidates.size(), false);
  for (std::size_t i = 0; i < candidates.size(); ++i) {
    if (ownCopies[i] == 0) continue;
    bool alone = true;
    for (std::size_t k = 0; k < candidates.size() && alone; ++k) {
      const bool own = k >= i && k <= i + ownCopies[i];
      if (!own && AreCopies(candidates[k].record, candidates[i].record)) alone = false;
    }
    aloneButForChannels[i] = alone;
  }

  std::vector<DecodedRecord> records;
  for (const Held& held : candidates) records.push_back(held.record);
  Recovery recovery = RecoverRecords(std::move(records));

  std::vector<std::string> images;
  for (CopyCombination& combination : recovery.combinations) {
    ReportEntry entry;
    entry.kind = EntryKind::kCombination;
    entry.recording = candidates[combination.positionsFrom].recording;
    for (const std::size_t copy : combination.copies) {
      const DecodedRecord& record = candidates[copy].record;
      entry.copies.push_back({candidates[copy].recording, SecondsAt(record, record.firstFrame), record.channel});
    }
    for (SuppliedStretch stretch : combination.suppliers) {
      const auto at = std::find(combination.copies.begin(), combination.copies.end(), stretch.copy);
      stretch.copy = static_cast<std::size_t>(at - combination.copies.begin());
      entry.suppliers.push_back(stretch);
    }
    entry.image = WriteImage(combination.record, entry.recording, entry);
    entry.record = Reported(std::move(combination.record));
    images.push_back(entry.image.path);
    Emit(std::move(entry));
  }
  for (std::size_t i = 0; i < candidates.size(); ++i) {
    const std::size_t into = recovery.combinedInto[i];
    DecodedRecord& record = recovery.records[i];
    const Held& held = candidates[i];
    if (into == kNotCombined) {
      // A copy from another channel that went into nothing is dropped, as
      // it would have been had the channel read it worse.
      if (held.channelCopy) continue;
      if (aloneButForChannels[i] && record.status == RecordStatus::kChecksumError) {
        ApplyRepair(record, FindRepair(record));
      }
      Remap(held, record, record);
      Emit(RecordEntry(std::move(record), held.recording, held.order, Release::kNone));
      continue;
    }
    const DecodedRecord& combination = recovery.combinations[into].record;
    const RecordStatus combined = combination.status;
    std::vector<SuppliedStretch> supplied;
    for (const SuppliedStretch& stretch : recovery.combinations[into].suppliers) {
      if (stretch.copy == i) supplied.push_back(stretch);
    }
    if (held.channelCopy) {
      // Now a record of the report, and a band of its own on the map.
      ++report_.recordings[held.recording].records;
      ++report_.records;
      if (settings_.keepMap) {
        report_.recordings[held.recording].mapped.push_back(
            {Mapped(record), combined, IsDamaged(combination), std::move(supplied)});
      }
    } else {
      Remap(held, record, combination, std::move(supplied));
    }
    // A combination whose checksum agreed as read vouches for its copies;
    // a repaired one is a guess, and the run says so.
    if (IsDamaged(combination)) ++report_.damaged;
    ReportEntry entry;
    entry.kind = EntryKind::kCopy;
    entry.recording = held.recording;
    entry.order = held.order;
    entry.record = Reported(std::move(record));
    entry.combinedInto = images[into];
    entry.combinedStatus = combined;
    Emit(std::move(entry));
  }
}

void ReadContext::Remap(const Held& held, const DecodedRecord& record, const DecodedRecord& shown,
                        std::vector<SuppliedStretch> supplied) {
  if (settings_.keepMap) {
    report_.recordings[held.recording].mapped[held.mapSlot] = {Mapped(record), shown.status, IsDamaged(shown),
                                                               std::move(supplied)};
  }
}

ReportEntry ReadContext::RecordEntry(DecodedRecord record, std::size_t recording, std::size_t order,
                                     Release released) {
  ReportEntry entry;
  entry.recording = recording;
  entry.order = order;
  entry.released = released;
  if (IsDamaged(record)) ++report_.damaged;
  entry.image = WriteImage(record, recording, entry);
  entry.record = Reported(std::move(record));
  return entry;
}

StoredImage ReadContext::WriteImage(const DecodedRecord& record, std::size_t recording, ReportEntry& entry) {
  if (!settings_.writeImages || store_ == nullptr) return {};
  entry.wantedName = ImageFileName(record, report_.recordings[recording].name);
  const std::string name = names_.Claim(
      entry.wantedName, [this](const std::string& candidate) { return store_->Reserved(candidate); },
      &entry.renamed);
  StoredImage stored = store_->Store(name, ImageBytes(record));
  if (stored.path.empty()) ++report_.unstored;
  return stored;
}

void ReadContext::Emit(ReportEntry entry) {
  if (settings_.keepEntries) report_.entries.push_back(entry);
  pending_.push_back(std::move(entry));
}

}  // namespace reader
