// A whole read, from recordings to images and their report, in one object
// that every front end drives: the command line, the web page, the tests
// and the fuzz targets. It is fed like a streaming compressor: a recording
// begins, its bytes (a WAV file) or its decoded frames come in blocks of any
// size, it ends; the next may follow; then the read finishes. Meanwhile it
// decides everything about the records: which wait for their copies, within
// a fixed memory budget; how copies combine and damaged records are
// repaired; what each image is named, never over a file the run must not
// write; and what the report says. It knows nothing of files or consoles:
// images go to an ImageStore the front end gives it, and the report is a
// plain value that the front end prints or serialises.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "formats/wav_reader.h"
#include "reader/copy_combiner.h"
#include "reader/decoded_record.h"
#include "reader/decoder_options.h"
#include "reader/image_names.h"
#include "reader/loader_input.h"
#include "reader/recording_reader.h"
#include "reader/signal_profile.h"
#include "reader/tape_decoder.h"
#include "reader/unread_signal.h"

namespace reader {

// Where an image went: its path, or why it could not be stored, in the
// front end's own words.
struct StoredImage {
  std::string path;     // "" when it was not stored
  std::string failure;  // "" when it was
};

// The front end's side of images: its files, or the page's memory.
class ImageStore {
 public:
  virtual ~ImageStore() = default;
  // True when no image may take `name`, free as it is among the run's
  // images: it would land on a file the run reads, or on its map.
  virtual bool Reserved(const std::string& name) = 0;
  virtual StoredImage Store(const std::string& name, const std::vector<std::uint8_t>& image) = 0;
};

// The front end's side of signal no record explains, kept as recordings of
// their own: each candidate stretch's frames come as they are decided, and
// it ends kept under a name or dropped.
class UnreadStore {
 public:
  virtual ~UnreadStore() = default;
  // A candidate begins, to be kept under `name`; interleaved frames of
  // `channels` at `sampleRate` follow.
  virtual void Begin(const std::string& name, double sampleRate, int channels) = 0;
  virtual void Frames(const float* interleaved, std::size_t frames) = 0;
  // It is unread signal: stored under its name.
  virtual StoredImage Keep() = 0;
  // It is not: nothing of it is left.
  virtual void Drop() = 0;
};

// Damaged records waiting for their copies are held within this many bytes
// of memory: a record takes about 17 bytes per data byte (a whole 64 KiB
// one 1.1 MiB), so thirty of the longest records fit, three hours of their
// signal. Past it, the oldest are written as they were read.
constexpr std::size_t kHeldRecordBudget = 32u << 20;

struct ReadSettings {
  DecoderOptions decoder;
  bool separate = false;     // no copies combined, no repair
  bool writeImages = true;   // false: only the report (verification)
  bool keepMap = false;      // keep what the damage map draws
  // Keep every entry for the end of the run (a JSON report, the page);
  // without it the front end takes each entry as it becomes final and the
  // report holds none, so memory stays flat however many records come.
  bool keepEntries = false;
  std::size_t heldBudget = kHeldRecordBudget;
};

enum class EntryKind {
  kRecord,       // a record as read (or repaired on its own), with its image
  kCopy,         // a copy that went into a combined image, not written alone
  kCombination,  // copies combined into one image
  kUnread,       // signal no record explains
};

// Why a damaged record was written as read without waiting for the end.
enum class Release {
  kNone,
  kOverBudget,  // the records waiting for copies had filled their budget
  kStopped,     // the read was stopped before its end
};

// A copy of a combination: which recording, when its record began, and
// the channel it was read from (from 0).
struct CopyPlace {
  std::size_t recording = 0;
  double seconds = 0;
  int channel = 0;
};

// One line of the report.
struct ReportEntry {
  EntryKind kind = EntryKind::kRecord;
  std::size_t recording = 0;  // where it was read; a combination: where its positions come from
  std::size_t order = 0;      // among that recording's records as read (not for combinations)
  // The record as read or recovered, without its bits' confidences.
  DecodedRecord record;
  StoredImage image;
  bool renamed = false;       // its name was taken by a file the run must not write
  std::string wantedName;     // the name it would have had
  Release released = Release::kNone;
  // kCopy: the combination it went into.
  std::string combinedInto;
  RecordStatus combinedStatus = RecordStatus::kCombined;
  // kCombination: its copies, and which of them supplied each doubtful
  // stretch (SuppliedStretch::copy indexes `copies`).
  std::vector<CopyPlace> copies;
  std::vector<SuppliedStretch> suppliers;
  // kUnread: the stretch, and where its samples were kept.
  UnreadStretch unread;
};

// What the damage map draws of a record: as read, shown as what became of
// it, and for a copy that went into a combination the stretches of
// doubtful bytes it supplied (SuppliedStretch::copy unused).
struct MappedRecord {
  DecodedRecord record;  // without its data
  RecordStatus shownAs = RecordStatus::kSound;
  bool shownDamaged = false;  // whether what it became counts as damaged
  // The doubtful stretches it supplied to the combination it went into.
  std::vector<SuppliedStretch> supplied;
};

struct RecordingReport {
  std::string name;     // as the front end named it
  std::string failure;  // why it was not read to its end, in the front end's words
  int channels = 0;     // the recording's channels, once its format is known
  std::size_t records = 0;
  SignalProfile profile;              // when the map is kept
  std::vector<MappedRecord> mapped;   // likewise
  // Signal no record explains, in the order it lies, when the map is kept
  // (the count always).
  std::vector<UnreadStretch> unread;
  std::size_t unreadCount = 0;
};

struct RunReport {
  std::vector<RecordingReport> recordings;
  std::vector<ReportEntry> entries;  // with keepEntries, in the order they became final
  std::size_t records = 0;           // records read
  std::size_t damaged = 0;           // records or combinations that leave the run damaged
  std::size_t unstored = 0;          // images that could not be stored
  std::size_t unread = 0;            // stretches of signal no record explains
  bool stopped = false;
};

class ReadContext {
 public:
  // `store` must outlive the context; it may be null when images are not
  // written.
  ReadContext(ReadSettings settings, ImageStore* store);
  // Its parts hold on to it.
  ReadContext(const ReadContext&) = delete;
  ReadContext& operator=(const ReadContext&) = delete;

  // A new recording. `name` names images of records without a header
  // ("-" for standard input) and the recording in the report.
  void BeginRecording(const std::string& name);

  // The recording's bytes, a WAV file, in blocks of any size. After an
  // error, later calls return it again; the front end ends the recording.
  ReadError FeedBytes(const std::uint8_t* bytes, std::size_t count);
  // Why the WAV reader refused the bytes, while they are fed and once the
  // recording has ended.
  formats::WavError WavErrorCode() const { return bytes_ ? bytes_->WavErrorCode() : wavError_; }

  // Or its decoded frames, in place of bytes: first their format (false when the decoder
  // cannot take it: no such channel as the settings ask for, or no channel
  // at all, or more than it reads), then interleaved frames. `found` may
  // give the loader's changes in them, found beside, and `foundTiles` the
  // line's tiles (see TapeDecoder).
  bool BeginFrames(double sampleRate, int channels);
  void FeedFrames(const float* interleaved, std::size_t frames, const LoaderChangesByChannel* found = nullptr,
                  const LineTilesByChannel* foundTiles = nullptr);

  // The recording has ended; `failure` says why early, in the front end's
  // words ("" when it was read to its end). Records still being read come
  // out cut short. For bytes, returns the WAV reader's last word: a file
  // that ended before its sound is an error only now.
  ReadError EndRecording(const std::string& failure = "");

  // Every recording has been read: copies are combined, damaged records
  // repaired, and what waited is written.
  void Finish();

  // The read was stopped (a signal, a closed page): the recording being
  // read ends where it is, and every record waiting for copies is written
  // as it was read.
  void Stop();

  // Entries that became final since the last call.
  std::vector<ReportEntry> TakeEntries();

  const RunReport& Report() const { return report_; }

  // The peak level of the latest frames, for a level meter.
  float RecentPeak() const;

  // Signal no record explains is kept through `store`, which must outlive
  // the context; given before the first recording.
  void KeepUnread(UnreadStore* store) { unreadStore_ = store; }

 private:
  // Hands the decoder's candidate stretches on to the front end's store,
  // naming those kept.
  class UnreadKeeper : public UnreadSink {
   public:
    explicit UnreadKeeper(ReadContext& context) : context_(context) {}
    void Begin(std::int64_t firstFrame, double sampleRate, int channels) override;
    void Frames(const float* interleaved, std::size_t frames) override;
    void End(const UnreadStretch* stretch) override;
    // Where each stretch told of since the last call was kept, in order.
    std::deque<StoredImage> kept;

   private:
    ReadContext& context_;
  };

  // A record waiting for copies, with the copies the other channels read
  // of it (record.channelCopies), which count against the budget too.
  struct Held {
    DecodedRecord record;
    std::size_t recording = 0;
    std::size_t order = 0;
    std::size_t mapSlot = 0;
    bool channelCopy = false;  // at Finish: a copy from another channel, reported only when combined
  };

  void TakeDecoded(std::vector<DecodedRecord> records);
  void TakeUnread(std::vector<UnreadStretch> stretches);
  void Take(DecodedRecord record);
  bool Holds(const DecodedRecord& record);
  bool HasSoundCopy(const DecodedRecord& record) const;
  void Hold(DecodedRecord record, std::size_t order, std::size_t mapSlot);
  void ReleaseOldest(Release why);
  void Recover();
  void Emit(ReportEntry entry);
  ReportEntry RecordEntry(DecodedRecord record, std::size_t recording, std::size_t order, Release released);
  StoredImage WriteImage(const DecodedRecord& record, std::size_t recording, ReportEntry& entry);
  void Remap(const Held& held, const DecodedRecord& record, const DecodedRecord& shown,
             std::vector<SuppliedStretch> supplied = {});
  ReadError EndDecoding();
  RecordingReport& Current() { return report_.recordings.back(); }

  ReadSettings settings_;
  ImageStore* store_;
  RunReport report_;
  NameRegistry names_;

  // The recording being read: from bytes or from frames.
  std::optional<RecordingReader> bytes_;
  std::optional<TapeDecoder> frames_;
  int channels_ = 0;
  formats::WavError wavError_ = formats::WavError::kNone;  // of the bytes that ended

  std::deque<Held> held_;  // oldest first
  std::size_t heldBytes_ = 0;
  std::vector<DecodedRecord> soundPrograms_;  // what makes them copies, without their data
  std::vector<ReportEntry> pending_;          // final, not yet taken
  bool finished_ = false;
  UnreadStore* unreadStore_ = nullptr;
  UnreadKeeper keeper_{*this};
};

// Memory a held record takes, with its other channels' copies, for the
// budget.
std::size_t HeldBytes(const DecodedRecord& record);

}  // namespace reader
