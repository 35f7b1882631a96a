// The run of lentok-read: reading recordings into images, or verifying one.
#include "reader_tool/read_run.h"

#include <algorithm>

#include "platform/files.h"
#include <cctype>
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
    return !options_.mapPath.empty() && SamePlace(path, options_.mapPath);
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
  // Whether two paths, one of which may not exist yet, name one place: the
  // same file, or the same name in the same directory.
  static bool SamePlace(const std::string& a, const std::string& b) {
    const std::optional<platform::FileIdentity> first = platform::IdentityOf(a);
    if (first && first == platform::IdentityOf(b)) return true;
    const std::optional<platform::FileIdentity> directory = platform::IdentityOf(DirectoryOf(a));
    return directory && directory == platform::IdentityOf(DirectoryOf(b)) && SameName(LastPart(a), LastPart(b));
  }

  static std::size_t LastSeparator(const std::string& path) { return path.find_last_of("/\\"); }
  static std::string DirectoryOf(const std::string& path) {
    const std::size_t separator = LastSeparator(path);
    return separator == std::string::npos ? "." : path.substr(0, separator + 1);
  }
  static std::string LastPart(const std::string& path) {
    const std::size_t separator = LastSeparator(path);
    return separator == std::string::npos ? path : path.substr(separator + 1);
  }
  // Case aside, as Windows compares names: a name that differs only so is
  // given another number rather than risk the map.
  static bool SameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
             return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
  }

  const ToolOptions& options_;
  const std::vector<platform::FileIdentity> inputs_;
  const Language language_;
  const ToolStreams& streams_;
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
        context_(Settings(options), &store_) {}

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
  reader::ReadContext context_;
  bool failed_ = false;
  bool reportLost_ = false;
  int recordingsWithoutRecords_ = 0;
};

// Verifying an image against a recording.
class VerifyRun {
 public:
  VerifyRun(const ToolOptions& options, Language language, const ToolStreams& streams)
      : options_(options),
        language_(language),
        streams_(streams),
        imagePath_(options.operands[0]),
        recordingPath_(options.operands[1]) {}

  int Run() {
    if (!LoadImage()) return kExitFailure;
    // Each record on its own, as played, and no image written.
    reader::ReadSettings settings;
    settings.decoder = DecoderOptionsOf(options_);
    settings.separate = true;
    settings.writeImages = false;
    reader::ReadContext context(settings, nullptr);
    context.BeginRecording(recordingPath_);
    const auto considerEntries = [&] {
      bool goOn = true;
      for (const reader::ReportEntry& entry : context.TakeEntries()) goOn = Consider(entry.record) && goOn;
      return goOn;
    };
    const std::string failure =
        ReadRecording(recordingPath_, DecoderOptionsOf(options_), language_, context, considerEntries);
    context.EndRecording(failure);
    context.Finish();
    considerEntries();
    if (!failure.empty() && best_.verdict != Verdict::kMatch) {
      streams_.err(Say(TextId::kFileFailure, language_,
                       {PrintableText(DisplayName(recordingPath_, language_)), failure}) +
                   "\n");
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
  bool LoadImage() {
    platform::FileError error = platform::FileError::kNone;
    platform::InputFile input = imagePath_ == "-" ? platform::InputFile::StandardInput()
                                                  : platform::InputFile::Open(imagePath_, error);
    std::vector<std::uint8_t> bytes;
    std::vector<std::uint8_t> block(kReadBlockBytes);
    // One byte past the largest image is enough to know it is too long.
    while (input.IsOpen() && bytes.size() <= kLargestImage) {
      const std::size_t got = input.Read(block.data(), block.size(), error);
      if (got == 0) break;
      bytes.insert(bytes.end(), block.begin(), block.begin() + static_cast<std::ptrdiff_t>(got));
    }
    if (error != platform::FileError::kNone) {
      return ImageFailure(Say(TextId::kCannotRead, language_, {FileErrorText(error, language_)}));
    }
    switch (ParseImage(bytes, image_)) {
      case ImageProblem::kNone: return true;
      case ImageProblem::kTooShort: return ImageFailure(Text(TextId::kImageTooShort, language_));
      case ImageProblem::kTooLong: return ImageFailure(Text(TextId::kImageTooLong, language_));
      case ImageProblem::kSizeMismatch: break;
    }
    return ImageFailure(Say(TextId::kImageSizeMismatch, language_,
                            {Hex4(image_.startAddress), Hex4(image_.endAddress),
                             std::to_string(DeclaredDataLength(image_)), std::to_string(image_.data.size())}));
  }

  bool ImageFailure(const std::string& why) {
    streams_.err(Say(TextId::kFileFailure, language_, {PrintableText(DisplayName(imagePath_, language_)), why}) +
                 "\n");
    return false;
  }

  // Keeps the record that tells most; stops at the first full match that
  // the machine would load. A match that would not load is kept, but a
  // later copy may load.
  bool Consider(const reader::DecodedRecord& record) {
    if (Verified()) return false;
    ++records_;
    const Comparison comparison = CompareWithImage(record, image_);
    const bool match = comparison.verdict == Verdict::kMatch;
    const bool keptMatch = best_.verdict == Verdict::kMatch;
    if (match ? !keptMatch || record.machine.loads : !keptMatch && BetterCandidate(comparison, best_)) {
      best_ = comparison;
      bestRecord_ = record;
    }
    return !(match && record.machine.loads);
  }

  std::string AddressOf(std::size_t index) const {
    return Hex4(static_cast<std::uint16_t>(image_.startAddress + index));
  }

  std::string TimeOfByte(std::size_t index) const {
    const std::int64_t frame =
        index < bestRecord_.byteFrames.size() ? bestRecord_.byteFrames[index] : bestRecord_.endFrame;
    return FormatTime(reader::SecondsAt(bestRecord_, frame));
  }

  std::string Difference() const {
    const std::string at = FormatTime(reader::SecondsAt(bestRecord_, bestRecord_.firstFrame));
    const std::size_t index = best_.index;
    switch (best_.verdict) {
      case Verdict::kDiffers:
        return Say(TextId::kVerifyDiffers, language_,
                   {at, AddressOf(index), TimeOfByte(index), Hex2(bestRecord_.data[index]),
                    Hex2(image_.data[index])});
      case Verdict::kCutShort:
        return Say(TextId::kVerifyCutShort, language_, {at, AddressOf(index), TimeOfByte(index)});
      case Verdict::kNoChecksum: return Say(TextId::kVerifyNoChecksum, language_, {at});
      case Verdict::kChecksumBad:
        return Say(TextId::kVerifyChecksumBad, language_,
                   {at, Hex4(bestRecord_.tapeChecksum), Hex4(bestRecord_.computedChecksum)});
      case Verdict::kMatch:
        return Say(TextId::kVerifyWillNotLoad, language_, {at, MachineVerdictText(bestRecord_, language_)});
      case Verdict::kOtherAddresses: break;
    }
    return Say(TextId::kVerifyNoRecord, language_,
               {Hex4(image_.startAddress), Hex4(image_.endAddress), std::to_string(records_)});
  }

  // The record holds the image and the machine would load it as played.
  bool Verified() const { return best_.verdict == Verdict::kMatch && bestRecord_.machine.loads; }

  void Out(const std::string& text) {
    if (!reportLost_ && !streams_.out(text)) reportLost_ = true;
  }

  int Tell() {
    const bool match = Verified();
    const int status = match ? kExitSound : kExitDamaged;
    const std::string recording = PrintableText(DisplayName(recordingPath_, language_));
    if (!match) streams_.err(Say(TextId::kVerifyFailure, language_, {recording, Difference()}) + "\n");
    if (options_.quiet) return status;
    if (options_.json) {
      Out(VerdictJson(status));
      return status;
    }
    if (match) {
      Out(Say(TextId::kVerifyMatch, language_,
              {recording, PrintableText(DisplayName(imagePath_, language_)), Span(bestRecord_, language_)}) +
          "\n");
    }
    if (match && best_.storedChecksumDiffers) {
      Out(Say(TextId::kVerifyChecksumNote, language_,
                       {recording, Hex4(bestRecord_.tapeChecksum), Hex4(image_.storedChecksum)}) +
                   "\n");
    }
    return status;
  }

  std::string VerdictJson(int status) const {
    const bool found = best_.verdict != Verdict::kOtherAddresses;
    const bool located = best_.verdict == Verdict::kDiffers || best_.verdict == Verdict::kCutShort;
    std::string json = "{\"verify\":{\"image\":" + JsonTextString(imagePath_);
    json += ",\"recording\":" + JsonTextString(recordingPath_);
    const bool unloadable = best_.verdict == Verdict::kMatch && !Verified();
    json += ",\"result\":\"" + std::string(unloadable ? "will not load" : VerdictWord(best_.verdict)) + "\"";
    json += ",\"record\":" + (found ? RecordJson(bestRecord_) : std::string("null"));
    json += ",\"address\":" + (located ? std::to_string(image_.startAddress + best_.index) : std::string("null"));
    json += ",\"checksumNote\":" + std::string(best_.storedChecksumDiffers ? "true" : "false");
    json += "},\"status\":" + std::to_string(status) + "}\n";
    return json;
  }

  const ToolOptions& options_;
  const Language language_;
  const ToolStreams& streams_;
  const std::string imagePath_;
  const std::string recordingPath_;
  TapeImage image_;
  int records_ = 0;
  bool reportLost_ = false;
  Comparison best_;
  reader::DecodedRecord bestRecord_;
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
