// The run of lentok-read: reading recordings into images, or verifying one.
#include "reader_tool/read_run.h"

#include <algorithm>
#include <cmath>

#include "formats/byte_order.h"
#include "platform/files.h"
#include <optional>

#include "reader/decoded_record.h"
#include "reader/image_names.h"
#include "reader/read_context.h"
#include "reader_tool/command_line.h"
#include "reader_tool/exit_status.h"
#include "reader_tool/recording_input.h"
#include "reader_tool/report_format.h"
#include "reader_tool/run_report.h"
#include "reader_tool/texts.h"
#include "reader_tool/verification.h"
#include "tape/tape_name.h"

namespace reader_tool {

namespace {

TextId CommandLineErrorId(CommandLineError error) {
  switch (error) {
    case CommandLineError::kUnknownOption: return TextId::kUnknownOption;
    case CommandLineError::kAmbiguousOption: return TextId::kAmbiguousOption;
    case CommandLineError::kMissingValue: return TextId::kMissingValue;
    case CommandLineError::kUnexpectedValue: return TextId::kUnexpectedValue;
    case CommandLineError::kBadChannel: return TextId::kBadChannel;
    case CommandLineError::kVerifyOperands: return TextId::kVerifyOperands;
    case CommandLineError::kStandardInputTwice: return TextId::kStandardInputTwice;
    case CommandLineError::kMapWithVerify: return TextId::kMapWithVerify;
    case CommandLineError::kMapIsRecording: return TextId::kMapIsRecording;
    case CommandLineError::kBadMonitor: return TextId::kBadMonitor;
    case CommandLineError::kMonitorWithoutVerify: return TextId::kMonitorWithoutVerify;
    case CommandLineError::kNone:
    case CommandLineError::kNoRecording: break;
  }
  return TextId::kNoRecording;
}

const char* VerdictWord(Verdict verdict) {
  switch (verdict) {
    case Verdict::kMatch: return "match";
    case Verdict::kDiffers: return "differs";
    case Verdict::kCutShort: return "cut short";
    case Verdict::kNoChecksum: return "no checksum";
    case Verdict::kChecksumBad: return "checksum error";
    case Verdict::kOtherAddresses: break;
  }
  return "not found";
}

std::string Span(const reader::DecodedRecord& record, Language language) {
  return Say(TextId::kTimeSpan, language,
             {FormatTime(reader::SecondsAt(record, record.firstFrame)),
              FormatTime(reader::SecondsAt(record, record.endFrame))});
}

// Where lentok-read's images go: files in the output directory, written
// whole under their final name or not at all, and never over a file the
// run reads or its map.
class FileImageStore : public reader::ImageStore {
 public:
  FileImageStore(const ToolOptions& options, std::vector<platform::FileIdentity> inputs, Language language,
                 const ToolStreams& streams)
      : options_(options), inputs_(std::move(inputs)), language_(language), streams_(streams) {}

  bool Reserved(const std::string& name) override {
    const std::string path = reader::JoinPath(options_.outputDirectory, name);
    const std::optional<platform::FileIdentity> identity = platform::IdentityOf(path);
    if (identity && std::find(inputs_.begin(), inputs_.end(), *identity) != inputs_.end()) return true;
    return !options_.mapPath.empty() && platform::SamePlace(path, options_.mapPath);
  }

  reader::StoredImage Store(const std::string& name, const std::vector<std::uint8_t>& image) override {
    const std::string path = reader::JoinPath(options_.outputDirectory, name);
    platform::FileError error = platform::FileError::kNone;
    platform::OutputFile file = options_.force ? platform::OutputFile::CreateReplacing(path, error)
                                               : platform::OutputFile::CreateNew(path, error);
    if (error == platform::FileError::kNone) error = file.Write(image.data(), image.size());
    if (error == platform::FileError::kNone) error = file.Commit();
    if (error == platform::FileError::kNone) return {path, ""};
    const std::string why = Say(TextId::kCannotWriteImage, language_, {FileErrorText(error, language_)});
    streams_.err(Say(TextId::kFileFailure, language_, {PrintableText(path), why}) + "\n");
    return {"", why};
  }

 private:
  const ToolOptions& options_;
  const std::vector<platform::FileIdentity> inputs_;
  const Language language_;
  const ToolStreams& streams_;
};

// Where lentok-read keeps signal no record explains: a 16-bit PCM WAV file
// beside the images, its samples written as they come (under a temporary
// name) and its sizes once the stretch is known to be unread; a stretch
// that proves none is removed.
class FileUnreadStore : public reader::UnreadStore {
 public:
  FileUnreadStore(const ToolOptions& options, Language language, const ToolStreams& streams)
      : options_(options), language_(language), streams_(streams) {}

  void Begin(const std::string& name, double sampleRate, int channels) override {
    path_ = reader::JoinPath(options_.outputDirectory, name);
    rate_ = static_cast<std::uint32_t>(sampleRate);
    channels_ = static_cast<std::uint16_t>(channels);
    frames_ = 0;
    error_ = platform::FileError::kNone;
    file_ = options_.force ? platform::OutputFile::CreateReplacing(path_, error_)
                           : platform::OutputFile::CreateNew(path_, error_);
    const std::vector<std::uint8_t> header = Header(0);
    if (error_ == platform::FileError::kNone) error_ = file_.Write(header.data(), header.size());
  }

  void Frames(const float* interleaved, std::size_t frames) override {
    if (error_ != platform::FileError::kNone) return;
    bytes_.resize(frames * channels_ * 2);
    std::uint8_t* at = bytes_.data();
    for (std::size_t i = 0; i < frames * channels_; ++i) {
      // The reader's floats are 16-bit samples over 32768: back to the same
      // integers.
      const float scaled = std::clamp(interleaved[i] * 32768.0f, -32768.0f, 32767.0f);
      at = StoreLe16(static_cast<std::uint16_t>(static_cast<std::int16_t>(std::lrint(scaled))), at);
    }
    frames_ += frames;
    error_ = file_.Write(bytes_.data(), bytes_.size());
  }

  reader::StoredImage Keep() override {
    if (error_ == platform::FileError::kNone) {
      const std::vector<std::uint8_t> header = Header(frames_ * channels_ * 2);
      error_ = file_.WriteAt(0, header.data(), header.size());
    }
    if (error_ == platform::FileError::kNone) error_ = file_.Commit();
    file_ = platform::OutputFile();
    if (error_ == platform::FileError::kNone) return {path_, ""};
    const std::string why = Say(TextId::kCannotWriteImage, language_, {FileErrorText(error_, language_)});
    streams_.err(Say(TextId::kFileFailure, language_, {PrintableText(path_), why}) + "\n");
    return {"", why};
  }

  void Drop() override { file_ = platform::OutputFile(); }

 private:
  // The canonical 44-byte header of 16-bit PCM.
  std::vector<std::uint8_t> Header(std::uint64_t dataBytes) const {
    const auto data = static_cast<std::uint32_t>(std::min<std::uint64_t>(dataBytes, 0xFFFFFFFFu - 36));
    std::vector<std::uint8_t> header(44);
    std::uint8_t* at = header.data();
    const auto tag = [&](const char* four) {
      for (int i = 0; i < 4; ++i) *at++ = static_cast<std::uint8_t>(four[i]);
    };
    tag("RIFF");
    at = StoreLe32(36 + data, at);
    tag("WAVE");
    tag("fmt ");
    at = StoreLe32(16, at);
    at = StoreLe16(1, at);  // PCM
    at = StoreLe16(channels_, at);
    at = StoreLe32(rate_, at);
    at = StoreLe32(rate_ * channels_ * 2u, at);
    at = StoreLe16(static_cast<std::uint16_t>(channels_ * 2), at);
    at = StoreLe16(16, at);
    tag("data");
    StoreLe32(data, at);
    return header;
  }

  const ToolOptions& options_;
  const Language language_;
  const ToolStreams& streams_;
  platform::OutputFile file_;
  std::string path_;
  platform::FileError error_ = platform::FileError::kNone;
  std::uint32_t rate_ = 0;
  std::uint16_t channels_ = 1;
  std::uint64_t frames_ = 0;
  std::vector<std::uint8_t> bytes_;
};

// The identities of the files the run reads, standard input among them
// where it is a file.
std::vector<platform::FileIdentity> InputIdentities(const std::vector<std::string>& operands) {
  std::vector<platform::FileIdentity> identities;
  for (const std::string& operand : operands) {
    const std::optional<platform::FileIdentity> identity =
        operand == "-" ? platform::StandardInputIdentity() : platform::IdentityOf(operand);
    if (identity) identities.push_back(*identity);
  }
  return identities;
}

reader::DecoderOptions DecoderOptionsOf(const ToolOptions& options) {
  reader::DecoderOptions decoder;
  decoder.channel = options.channel;
  return decoder;
}

// The status a run stopped by a signal ends with, as a shell gives it.
int StoppedStatus(int signal) { return 128 + signal; }

// Reading recordings into images, through the reading context: this side
// opens the files, feeds them, and prints what the context reports.
class ImageRun {
 public:
  ImageRun(const ToolOptions& options, Language language, const ToolStreams& streams)
      : options_(options),
        language_(language),
        streams_(streams),
        inputs_(InputIdentities(options.operands)),
        store_(options, inputs_, language, streams),
        unreadStore_(options, language, streams),
        context_(Settings(options), &store_) {
    if (options.keepUnread) context_.KeepUnread(&unreadStore_);
  }

  int Run() {
    if (!options_.outputDirectory.empty() && !platform::IsDirectory(options_.outputDirectory)) {
      Fail(Say(TextId::kNoSuchDirectory, language_, {PrintableText(options_.outputDirectory)}));
      return ExitStatus(Tally());
    }
    if (MapIsAnInput()) {
      const std::string why = Say(TextId::kMapIsRecording, language_, {PrintableText(options_.mapPath)});
      Fail(Say(TextId::kCommandLineError, language_, {why}));
      return ExitStatus(Tally());
    }
    for (std::size_t i = 0; i < options_.operands.size() && !Stopped(); ++i) ReadOne(i);
    if (Stopped()) {
      context_.Stop();
      Print(context_.TakeEntries());
      streams_.err(Text(TextId::kStoppedBySignal, language_) + std::string("\n"));
    } else {
      context_.Finish();
      Print(context_.TakeEntries());
    }
    if (Mapping()) WriteMap();
    const int status = ExitStatus(Tally());
    if (Printing() && options_.json) Out(ReportJson(context_.Report(), status));
    if (reportLost_) {
      streams_.err(Text(TextId::kReportNotWritten, language_) + std::string("\n"));
      return Stopped() ? StoppedStatus(platform::CaughtStopSignal()) : kExitFailure;
    }
    return Stopped() ? StoppedStatus(platform::CaughtStopSignal()) : ExitStatus(Tally());
  }

 private:
  static reader::ReadSettings Settings(const ToolOptions& options) {
    reader::ReadSettings settings;
    settings.decoder = DecoderOptionsOf(options);
    settings.separate = options.separate;
    settings.keepMap = !options.mapPath.empty();
    settings.keepEntries = options.json;
    return settings;
  }

  bool Printing() const { return !options_.quiet; }
  bool Mapping() const { return !options_.mapPath.empty(); }
  static bool Stopped() { return platform::CaughtStopSignal() != 0; }

  bool MapIsAnInput() const {
    if (!Mapping()) return false;
    const std::optional<platform::FileIdentity> map = platform::IdentityOf(options_.mapPath);
    return map && std::find(inputs_.begin(), inputs_.end(), *map) != inputs_.end();
  }

  RunTally Tally() const {
    const reader::RunReport& report = context_.Report();
    RunTally tally;
    tally.failed = failed_ || report.unstored > 0 || reportLost_;
    tally.records = static_cast<int>(report.records);
    tally.damagedRecords = static_cast<int>(report.damaged);
    tally.recordingsWithoutRecords = recordingsWithoutRecords_;
    tally.unreadStretches = static_cast<int>(report.unread);
    return tally;
  }

  void Fail(const std::string& line) {
    failed_ = true;
    streams_.err(line + "\n");
  }

  void Out(const std::string& text) {
    if (!reportLost_ && !streams_.out(text)) reportLost_ = true;
  }

  void ReadOne(std::size_t index) {
    const std::string& operand = options_.operands[index];
    context_.BeginRecording(operand);
    const std::string failure =
        ReadRecording(operand, DecoderOptionsOf(options_), language_, context_, [this] {
          Print(context_.TakeEntries());
          return !Stopped();
        });
    context_.EndRecording(failure);
    Print(context_.TakeEntries());
    const std::string shown = RecordingShown(context_.Report(), index, language_);
    if (!failure.empty()) {
      Fail(Say(TextId::kFileFailure, language_, {shown, failure}));
    } else if (context_.Report().recordings[index].records == 0 && !Stopped()) {
      ++recordingsWithoutRecords_;
      streams_.err(Say(TextId::kNoRecordFound, language_, {shown}) + "\n");
    }
  }

  // Lines for the entries that became final; a read stopped by a signal
  // tells of what it wrote on standard error, where it is surely seen.
  void Print(const std::vector<reader::ReportEntry>& entries) {
    const reader::RunReport& report = context_.Report();
    const bool withRecording = options_.operands.size() > 1;
    for (const reader::ReportEntry& entry : entries) {
      const std::string note = EntryNote(report, entry, language_);
      if (!note.empty()) streams_.err(note + "\n");
      if (entry.released == reader::Release::kStopped) {
        streams_.err(EntryLine(report, entry, language_, withRecording) + "\n");
      } else if (Printing() && !options_.json) {
        Out(EntryLine(report, entry, language_, withRecording) + "\n");
      }
    }
  }

  // The picture of every recording read, written once they all are, in
  // place of any file of that name (through a temporary file, so that a
  // failure leaves the old one whole).
  void WriteMap() {
    const std::string svg = ReportMapSvg(context_.Report(), language_);
    platform::FileError error = platform::FileError::kNone;
    platform::OutputFile file = platform::OutputFile::CreateReplacing(options_.mapPath, error);
    if (error == platform::FileError::kNone)
      error = file.Write(reinterpret_cast<const std::uint8_t*>(svg.data()), svg.size());
    if (error == platform::FileError::kNone) error = file.Commit();
    if (error != platform::FileError::kNone) {
      Fail(Say(TextId::kFileFailure, language_,
               {PrintableText(options_.mapPath),
                Say(TextId::kCannotWriteMap, language_, {FileErrorText(error, language_)})}));
    }
  }

  const ToolOptions& options_;
  const Language language_;
  const ToolStreams& streams_;
  const std::vector<platform::FileIdentity> inputs_;
  FileImageStore store_;
  FileUnreadStore unreadStore_;
  reader::ReadContext context_;
  bool failed_ = false;
  bool reportLost_ = false;
  int recordingsWithoutRecords_ = 0;
};

// Verifying images against a recording: one image, or every program of a
// side, matched by name and addresses in any order.
class VerifyRun {
 public:
  VerifyRun(const ToolOptions& options, Language language, const ToolStreams& streams)
      : options_(options),
        language_(language),
        streams_(streams),
        recordingPath_(options.operands.back()) {
    for (std::size_t i = 0; i + 1 < options.operands.size(); ++i) {
      checks_.emplace_back();
      checks_.back().path = options.operands[i];
    }
  }

  int Run() {
    for (ImageCheck& check : checks_) {
      if (!LoadImage(check)) return kExitFailure;
    }
    // Each record on its own, as played, and no image written.
    reader::ReadSettings settings;
    settings.decoder = DecoderOptionsOf(options_);
    settings.separate = true;
    settings.writeImages = false;
    reader::ReadContext context(settings, nullptr);
    context.BeginRecording(recordingPath_);
    const auto considerEntries = [&] {
      for (const reader::ReportEntry& entry : context.TakeEntries()) {
        if (entry.kind != reader::EntryKind::kUnread) Consider(entry.record);
      }
      return !AllVerified();
    };
    const std::string failure =
        ReadRecording(recordingPath_, DecoderOptionsOf(options_), language_, context, considerEntries);
    context.EndRecording(failure);
    context.Finish();
    considerEntries();
    if (!failure.empty() && !AllMatched()) {
      streams_.err(Say(TextId::kFileFailure, language_, {Shown(recordingPath_), failure}) + "\n");
      return kExitFailure;
    }
    const int status = Tell();
    if (reportLost_) {
      streams_.err(Text(TextId::kReportNotWritten, language_) + std::string("\n"));
      return kExitFailure;
    }
    return status;
  }

 private:
  // One image and the record that tells most about it.
  struct ImageCheck {
    std::string path;
    TapeImage image;
    Comparison best;
    reader::DecodedRecord bestRecord;

    bool Matched() const { return best.verdict == Verdict::kMatch; }
    // The record holds the image and the monitor asked for (any, when
    // none was) would load it as played.
    bool Verified(const std::optional<reader::Monitor>& monitor) const {
      return Matched() && Loads(bestRecord, monitor);
    }
  };

  static bool Loads(const reader::DecodedRecord& record, const std::optional<reader::Monitor>& monitor) {
    return monitor ? record.machine.LoadsOn(*monitor) : record.machine.loads;
  }

  std::string Shown(const std::string& path) const { return PrintableText(DisplayName(path, language_)); }

  bool AllVerified() const {
    return std::all_of(checks_.begin(), checks_.end(),
                       [this](const ImageCheck& check) { return check.Verified(options_.monitor); });
  }
  bool AllMatched() const {
    return std::all_of(checks_.begin(), checks_.end(), [](const ImageCheck& check) { return check.Matched(); });
  }
  bool OfASide() const { return checks_.size() > 1; }

  bool LoadImage(ImageCheck& check) {
    platform::FileError error = platform::FileError::kNone;
    platform::InputFile input = check.path == "-" ? platform::InputFile::StandardInput()
                                                  : platform::InputFile::Open(check.path, error);
    std::vector<std::uint8_t> bytes;
    std::vector<std::uint8_t> block(kReadBlockBytes);
    // One byte past the largest image is enough to know it is too long.
    while (input.IsOpen() && bytes.size() <= kLargestImage) {
      const std::size_t got = input.Read(block.data(), block.size(), error);
      if (got == 0) break;
      bytes.insert(bytes.end(), block.begin(), block.begin() + static_cast<std::ptrdiff_t>(got));
    }
    if (error != platform::FileError::kNone) {
      return ImageFailure(check, Say(TextId::kCannotRead, language_, {FileErrorText(error, language_)}));
    }
    TapeImage& image = check.image;
    switch (ParseImage(bytes, image)) {
      case ImageProblem::kNone: return true;
      case ImageProblem::kTooShort: return ImageFailure(check, Text(TextId::kImageTooShort, language_));
      case ImageProblem::kTooLong: return ImageFailure(check, Text(TextId::kImageTooLong, language_));
      case ImageProblem::kSizeMismatch: break;
    }
    return ImageFailure(check, Say(TextId::kImageSizeMismatch, language_,
                                   {Hex4(image.startAddress), Hex4(image.endAddress),
                                    std::to_string(DeclaredDataLength(image)), std::to_string(image.data.size())}));
  }

  bool ImageFailure(const ImageCheck& check, const std::string& why) {
    streams_.err(Say(TextId::kFileFailure, language_, {Shown(check.path), why}) + "\n");
    return false;
  }

  // On a side, a record with a name header is only the image's whose name
  // lentok would have put on tape: the monitor finds programs by it. One
  // image alone is matched by its addresses, whatever its file is called.
  bool NameFits(const ImageCheck& check, const reader::DecodedRecord& record) const {
    return !OfASide() || !record.hasHeader || record.name == TapeNameOf(platform::FinalComponent(check.path));
  }

  // Keeps, for each image, the record that tells most, until a full match
  // that the machine would load. A match that would not load is kept, but a
  // later copy may load.
  void Consider(const reader::DecodedRecord& record) {
    ++records_;
    for (ImageCheck& check : checks_) {
      if (check.Verified(options_.monitor) || !NameFits(check, record)) continue;
      const Comparison comparison = CompareWithImage(record, check.image);
      const bool match = comparison.verdict == Verdict::kMatch;
      if (match ? !check.Matched() || Loads(record, options_.monitor)
                : !check.Matched() && BetterCandidate(comparison, check.best)) {
        check.best = comparison;
        check.bestRecord = record;
      }
    }
  }

  static std::string AddressOf(const ImageCheck& check, std::size_t index) {
    return Hex4(static_cast<std::uint16_t>(check.image.startAddress + index));
  }

  static std::string TimeOfByte(const ImageCheck& check, std::size_t index) {
    const reader::DecodedRecord& record = check.bestRecord;
    const std::int64_t frame = index < record.byteFrames.size() ? record.byteFrames[index] : record.endFrame;
    return FormatTime(reader::SecondsAt(record, frame));
  }

  std::string Difference(const ImageCheck& check) const {
    const reader::DecodedRecord& record = check.bestRecord;
    const std::string at = FormatTime(reader::SecondsAt(record, record.firstFrame));
    const std::size_t index = check.best.index;
    switch (check.best.verdict) {
      case Verdict::kDiffers:
        return Say(TextId::kVerifyDiffers, language_,
                   {at, AddressOf(check, index), TimeOfByte(check, index), Hex2(record.data[index]),
                    Hex2(check.image.data[index])});
      case Verdict::kCutShort:
        return Say(TextId::kVerifyCutShort, language_, {at, AddressOf(check, index), TimeOfByte(check, index)});
      case Verdict::kNoChecksum: return Say(TextId::kVerifyNoChecksum, language_, {at});
      case Verdict::kChecksumBad:
        return Say(TextId::kVerifyChecksumBad, language_,
                   {at, Hex4(record.tapeChecksum), Hex4(record.computedChecksum)});
      case Verdict::kMatch:
        return Say(options_.monitor && record.machine.loads ? TextId::kVerifyNotOnMonitor : TextId::kVerifyWillNotLoad,
                   language_, {at, MachineVerdictText(record, language_)});
      case Verdict::kOtherAddresses: break;
    }
    const std::string missing =
        Say(TextId::kVerifyNoRecord, language_,
            {Hex4(check.image.startAddress), Hex4(check.image.endAddress), std::to_string(records_)});
    return OfASide() ? missing + "; " + WhereItShouldLie(check) : missing;
  }

  // Between the records of its neighbours in the order given, where they
  // were found.
  std::string WhereItShouldLie(const ImageCheck& check) const {
    const auto at = std::find_if(checks_.begin(), checks_.end(),
                                 [&](const ImageCheck& other) { return &other == &check; });
    std::string after = Text(TextId::kVerifyFromTheStart, language_);
    for (auto before = checks_.begin(); before != at; ++before) {
      if (before->best.verdict != Verdict::kOtherAddresses)
        after = FormatTime(reader::SecondsAt(before->bestRecord, before->bestRecord.endFrame));
    }
    std::string until = Text(TextId::kVerifyToTheEnd, language_);
    for (auto next = at + 1; next != checks_.end(); ++next) {
      if (next->best.verdict == Verdict::kOtherAddresses) continue;
      until = FormatTime(reader::SecondsAt(next->bestRecord, next->bestRecord.firstFrame));
      break;
    }
    return Say(TextId::kVerifyShouldLie, language_, {after, until});
  }

  void Out(const std::string& text) {
    if (!reportLost_ && !streams_.out(text)) reportLost_ = true;
  }

  int Tell() {
    const int status = AllVerified() ? kExitSound : kExitDamaged;
    const std::string recording = Shown(recordingPath_);
    for (const ImageCheck& check : checks_) {
      if (check.Verified(options_.monitor)) continue;
      const std::string what = OfASide() ? Shown(check.path) + ": " + Difference(check) : Difference(check);
      streams_.err(Say(TextId::kVerifyFailure, language_, {recording, what}) + "\n");
    }
    if (options_.quiet) return status;
    if (options_.json) {
      Out(VerdictJson(status));
      return status;
    }
    for (const ImageCheck& check : checks_) {
      if (!check.Verified(options_.monitor)) continue;
      Out(Say(TextId::kVerifyMatch, language_, {recording, Shown(check.path), Span(check.bestRecord, language_)}) +
          "\n");
      if (check.best.storedChecksumDiffers) {
        Out(Say(TextId::kVerifyChecksumNote, language_,
                {recording, Hex4(check.bestRecord.tapeChecksum), Hex4(check.image.storedChecksum)}) +
            "\n");
      }
    }
    return status;
  }

  std::string CheckJson(const ImageCheck& check) const {
    const Comparison& best = check.best;
    const bool found = best.verdict != Verdict::kOtherAddresses;
    const bool located = best.verdict == Verdict::kDiffers || best.verdict == Verdict::kCutShort;
    std::string json = "{\"image\":" + JsonTextString(check.path);
    json += ",\"recording\":" + JsonTextString(recordingPath_);
    const bool unloadable = check.Matched() && !check.Verified(options_.monitor);
    json += ",\"result\":\"" + std::string(unloadable ? "will not load" : VerdictWord(best.verdict)) + "\"";
    json += ",\"record\":" + (found ? RecordJson(check.bestRecord) : std::string("null"));
    json += ",\"address\":" + (located ? std::to_string(check.image.startAddress + best.index) : std::string("null"));
    json += ",\"checksumNote\":" + std::string(best.storedChecksumDiffers ? "true" : "false");
    return json + "}";
  }

  // One image gives one object, a side a list in the order given.
  std::string VerdictJson(int status) const {
    std::string json = "{\"verify\":";
    if (!OfASide()) {
      json += CheckJson(checks_.front());
    } else {
      json += "[";
      for (std::size_t i = 0; i < checks_.size(); ++i) json += (i > 0 ? "," : "") + CheckJson(checks_[i]);
      json += "]";
    }
    return json + ",\"status\":" + std::to_string(status) + "}\n";
  }

  const ToolOptions& options_;
  const Language language_;
  const ToolStreams& streams_;
  const std::string recordingPath_;
  std::vector<ImageCheck> checks_;
  int records_ = 0;
  bool reportLost_ = false;
};

}  // namespace

int RunReadTool(const std::vector<std::string>& arguments, Language language, const ToolStreams& streams) {
  const ParsedCommandLine parsed = ParseCommandLine(arguments);
  if (parsed.options.help) {
    return streams.out(Text(TextId::kHelp, language)) ? kExitSound : kExitFailure;
  }
  if (parsed.options.version) {
    return streams.out(Say(TextId::kVersion, language, {LENTOK_VERSION})) ? kExitSound : kExitFailure;
  }
  if (parsed.error != CommandLineError::kNone) {
    const std::string why = Say(CommandLineErrorId(parsed.error), language, {parsed.culprit});
    streams.err(Say(TextId::kCommandLineError, language, {why}) + "\n");
    return kExitFailure;
  }
  if (parsed.options.verify) return VerifyRun(parsed.options, language, streams).Run();
  return ImageRun(parsed.options, language, streams).Run();
}

int ToolMain(int argc, char** argv) {
  const Language language = platform::UserLanguageIsRussian() ? Language::kRussian : Language::kEnglish;
  // A report that cannot be written, a file-size limit and Ctrl-C each
  // become something the run handles, so that nothing read is lost to them.
  platform::IgnoreBrokenPipe();
  platform::IgnoreFileSizeSignal();
  platform::InstallStopSignals();
  const ToolStreams streams{
      [](const std::string& text) { return platform::WriteText(platform::StandardStream::kOutput, text); },
      [](const std::string& text) { platform::WriteText(platform::StandardStream::kError, text); }};
  return RunReadTool(platform::Utf8Arguments(argc, argv), language, streams);
}

}  // namespace reader_tool
