// The run of lentok-read: reading recordings into images, or verifying one.
#include "reader_tool/read_run.h"

#include <algorithm>

#include "platform/files.h"
#include "reader/copy_combiner.h"
#include "reader/decoded_record.h"
#include "reader/signal_profile.h"
#include "reader_tool/combination_report.h"
#include "reader_tool/command_line.h"
#include "reader_tool/exit_status.h"
#include "reader/image_names.h"
#include "reader_tool/map_report.h"
#include "reader_tool/recording_input.h"
#include "reader_tool/report_format.h"
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

std::string ShownName(const reader::DecodedRecord& record, Language language) {
  if (!record.hasHeader) return Text(TextId::kNoName, language);
  return Say(TextId::kQuotedName, language, {PrintableName(record.name)});
}

// Reading recordings into images. A sound record is told of and written at
// once; a damaged one with its addresses waits until every recording has
// been read, for copies to combine with (unless --separate), and is then
// told of after the sound ones.
class ImageRun {
 public:
  ImageRun(const ToolOptions& options, Language language, const ToolStreams& streams)
      : options_(options), language_(language), streams_(streams) {}

  int Run() {
    if (!options_.outputDirectory.empty() && !platform::IsDirectory(options_.outputDirectory)) {
      Fail(Say(TextId::kNoSuchDirectory, language_, {options_.outputDirectory}));
      return ExitStatus(tally_);
    }
    for (std::size_t i = 0; i < options_.operands.size(); ++i) ReadOne(i);
    Recover();
    if (Mapping()) WriteMap();
    const int status = ExitStatus(tally_);
    if (Printing() && options_.json) PrintJson(status);
    return status;
  }

 private:
  // A damaged record held back, and where its report goes.
  struct Held {
    reader::DecodedRecord record;
    std::size_t recording = 0;
    std::size_t slot = 0;  // its place among the recording's JSON records
    std::size_t mapSlot = 0;  // and among its records on the map
  };

  struct RecordingJson {
    std::vector<std::string> records;
    std::string failure;
  };

  bool Printing() const { return !options_.quiet; }
  bool Mapping() const { return !options_.mapPath.empty(); }

  void Fail(const std::string& line) {
    tally_.failed = true;
    streams_.err(line + "\n");
  }

  void ReadOne(std::size_t index) {
    const std::string& operand = options_.operands[index];
    json_.emplace_back();
    int records = 0;
    reader::DecoderOptions decoderOptions;
    decoderOptions.channel = options_.channel;
    reader::SignalProfile profile;
    std::vector<tape_map::MapRecord> mapRecords;
    const std::string failure = ReadRecording(
        operand, decoderOptions, language_,
        [&](const reader::DecodedRecord& record) {
          ++records;
          ++tally_.records;
          if (Mapping()) mapRecords.push_back(MapRecordOf(record, record.status, language_));
          if (Holds(record)) {
            held_.push_back({record, index, json_[index].records.size(), mapRecords.size() - 1});
            json_[index].records.emplace_back();
          } else {
            TakeRecord(record, index);
          }
          return true;
        },
        Mapping() ? &profile : nullptr);
    const std::string shown = DisplayName(operand, language_);
    if (Mapping()) maps_.push_back(MapRecordingOf(shown, profile, std::move(mapRecords)));
    if (!failure.empty()) {
      Fail(Say(TextId::kFileFailure, language_, {shown, failure}));
    } else if (records == 0) {
      ++tally_.recordingsWithoutRecords;
      streams_.err(Say(TextId::kNoRecordFound, language_, {shown}) + "\n");
    }
    json_[index].failure = failure;
  }

  bool Holds(const reader::DecodedRecord& record) {
    if (record.status == reader::RecordStatus::kSound) {
      if (!options_.separate) soundPrograms_.push_back(KeyOf(record));  // its copies are left alone
      return false;
    }
    return !options_.separate && record.addressesRead;
  }

  // What makes records copies of one program, without their data.
  static reader::DecodedRecord KeyOf(const reader::DecodedRecord& record) {
    reader::DecodedRecord key;
    key.addressesRead = record.addressesRead;
    key.hasHeader = record.hasHeader;
    key.name = record.name;
    key.startAddress = record.startAddress;
    key.endAddress = record.endAddress;
    return key;
  }

  bool HasSoundCopy(const reader::DecodedRecord& record) const {
    return std::any_of(soundPrograms_.begin(), soundPrograms_.end(),
                       [&](const reader::DecodedRecord& sound) { return reader::AreCopies(sound, record); });
  }

  // Combines and repairs the records held back, then tells of them.
  void Recover() {
    std::vector<Held> alone;
    std::vector<Held> candidates;
    for (Held& held : held_) (HasSoundCopy(held.record) ? alone : candidates).push_back(std::move(held));
    held_.clear();
    for (const Held& held : alone) TakeRecord(held.record, held.recording, held.slot);

    std::vector<reader::DecodedRecord> records;
    for (const Held& held : candidates) records.push_back(held.record);
    reader::Recovery recovery = reader::RecoverRecords(std::move(records));

    std::vector<std::string> images;
    for (const reader::CopyCombination& combination : recovery.combinations) {
      images.push_back(TakeCombination(combination, candidates));
    }
    for (std::size_t i = 0; i < candidates.size(); ++i) {
      const std::size_t into = recovery.combinedInto[i];
      // The map shows a copy by what became of it.
      Remap(candidates[i], recovery.records[i],
            into == reader::kNotCombined ? recovery.records[i].status : recovery.combinations[into].record.status);
      if (into == reader::kNotCombined) {
        TakeRecord(recovery.records[i], candidates[i].recording, candidates[i].slot);
      } else {
        TakeCopy(recovery.records[i], candidates[i].recording, candidates[i].slot, images[into],
                 recovery.combinations[into].record.status);
      }
    }
  }

  void Remap(const Held& held, const reader::DecodedRecord& record, reader::RecordStatus shownAs) {
    if (Mapping()) maps_[held.recording].records[held.mapSlot] = MapRecordOf(record, shownAs, language_);
  }

  // The picture of every recording read, written once they all are, in
  // place of any file of that name (through a temporary file, so that a
  // failure leaves the old one whole).
  void WriteMap() {
    const std::string svg = tape_map::DrawDamageMap(maps_, MapLabelsIn(language_));
    platform::FileError error = platform::FileError::kNone;
    platform::OutputFile file = platform::OutputFile::CreateReplacing(options_.mapPath, error);
    if (error == platform::FileError::kNone)
      error = file.Write(reinterpret_cast<const std::uint8_t*>(svg.data()), svg.size());
    if (error == platform::FileError::kNone) error = file.Commit();
    if (error != platform::FileError::kNone) {
      Fail(Say(TextId::kFileFailure, language_,
               {options_.mapPath, Say(TextId::kCannotWriteMap, language_, {FileErrorText(error, language_)})}));
    }
  }

  std::string TakeCombination(const reader::CopyCombination& combination,
                              const std::vector<Held>& candidates) {
    std::vector<CopyPlace> places;
    for (const std::size_t copy : combination.copies) {
      const Held& held = candidates[copy];
      places.push_back({DisplayName(options_.operands[held.recording], language_),
                        reader::SecondsAt(held.record, held.record.firstFrame)});
    }
    const std::string& operand = options_.operands[candidates[combination.positionsFrom].recording];
    const std::string written = WriteImage(combination.record, operand);
    if (!written.empty() && combination.record.status == reader::RecordStatus::kRepaired) {
      TellOfDamage(combination.record, operand, written);
    }
    if (!Printing()) return written;
    if (options_.json) {
      std::string json = CombinationJson(combination, places);
      json.pop_back();
      json += ",\"image\":" + JsonPath(written) + "}";
      combinedJson_.push_back(json);
    } else {
      // Its times are those of its first copy, on that copy's recording.
      std::string line;
      if (options_.operands.size() > 1) line = DisplayName(operand, language_) + ": ";
      line += CombinationLine(combination, places, language_);
      if (!written.empty()) line += "; " + Say(TextId::kImageWritten, language_, {written});
      streams_.out(line + "\n");
    }
    return written;
  }

  // A copy that went into a combined image: told of, not written on its own.
  void TakeCopy(const reader::DecodedRecord& record, std::size_t recording, std::size_t slot,
                const std::string& image, reader::RecordStatus combined) {
    // A combination whose checksum agreed as read vouches for its copies; a
    // repaired one is a guess, and the run says so.
    if (combined != reader::RecordStatus::kCombined) ++tally_.damagedRecords;
    if (!Printing()) return;
    if (options_.json) {
      std::string json = RecordJson(record);
      json.pop_back();
      json += ",\"image\":null,\"combinedInto\":" + JsonPath(image) + "}";
      json_[recording].records[slot] = json;
      return;
    }
    std::string line;
    if (options_.operands.size() > 1) line = DisplayName(options_.operands[recording], language_) + ": ";
    line += RecordLine(record, language_) + "; " + Say(TextId::kWentInto, language_, {image});
    streams_.out(line + "\n");
  }

  void TakeRecord(const reader::DecodedRecord& record, std::size_t recording,
                  std::size_t slot = static_cast<std::size_t>(-1)) {
    const std::string& operand = options_.operands[recording];
    const bool sound = record.status == reader::RecordStatus::kSound;
    if (!sound) ++tally_.damagedRecords;
    const std::string written = WriteImage(record, operand);
    if (!sound && !written.empty()) TellOfDamage(record, operand, written);
    if (!Printing()) return;
    if (options_.json) {
      std::string json = RecordJson(record);
      json.pop_back();  // the closing brace: the image's path joins the object
      json += ",\"image\":" + JsonPath(written) + "}";
      std::vector<std::string>& records = json_[recording].records;
      if (slot < records.size()) {
        records[slot] = json;
      } else {
        records.push_back(json);
      }
      return;
    }
    std::string line;
    if (options_.operands.size() > 1) line = DisplayName(operand, language_) + ": ";
    line += RecordLine(record, language_);
    if (!written.empty()) line += "; " + Say(TextId::kImageWritten, language_, {written});
    streams_.out(line + "\n");
  }

  // On standard error, so that even a quiet run says that an image is not
  // what was on tape, or is only a repair.
  void TellOfDamage(const reader::DecodedRecord& record, const std::string& operand, const std::string& image) {
    const std::string recording = DisplayName(operand, language_);
    const std::string at = FormatTime(reader::SecondsAt(record, record.firstFrame));
    if (record.status == reader::RecordStatus::kRepaired) {
      streams_.err(
          Say(TextId::kRepairedRecord, language_, {recording, at, ShownName(record, language_), image}) + "\n");
      return;
    }
    streams_.err(Say(TextId::kDamagedRecord, language_,
                     {recording, at, ShownName(record, language_), StatusText(record.status, language_), image}) +
                 "\n");
  }

  static std::string JsonPath(const std::string& path) {
    return path.empty() ? std::string("null") : JsonTextString(path);
  }

  // Writes the record's image; returns its path, or "" when it could not be
  // written (and says why).
  std::string WriteImage(const reader::DecodedRecord& record, const std::string& operand) {
    const std::string name = names_.Claim(reader::ImageFileName(record, operand));
    const std::string path = reader::JoinPath(options_.outputDirectory, name);
    const std::vector<std::uint8_t> bytes = reader::ImageBytes(record);
    platform::FileError error = platform::FileError::kNone;
    platform::OutputFile file = options_.force ? platform::OutputFile::CreateReplacing(path, error)
                                               : platform::OutputFile::CreateNew(path, error);
    if (error == platform::FileError::kNone) error = file.Write(bytes.data(), bytes.size());
    if (error == platform::FileError::kNone) error = file.Commit();
    if (error != platform::FileError::kNone) {
      Fail(Say(TextId::kFileFailure, language_,
               {path, Say(TextId::kCannotWriteImage, language_, {FileErrorText(error, language_)})}));
      return "";
    }
    return path;
  }

  void PrintJson(int status) {
    std::string json = "{\"recordings\":[";
    for (std::size_t i = 0; i < json_.size(); ++i) {
      if (i > 0) json += ",";
      json += "{\"recording\":" + JsonTextString(options_.operands[i]) + ",\"records\":[";
      for (std::size_t r = 0; r < json_[i].records.size(); ++r) {
        if (r > 0) json += ",";
        json += json_[i].records[r];
      }
      json += "],\"error\":" + JsonPath(json_[i].failure) + "}";
    }
    json += "]";
    // Only a run that combined copies has combinations to tell of.
    if (!combinedJson_.empty()) {
      json += ",\"combined\":[";
      for (std::size_t i = 0; i < combinedJson_.size(); ++i) json += (i > 0 ? "," : "") + combinedJson_[i];
      json += "]";
    }
    json += ",\"status\":" + std::to_string(status) + "}\n";
    streams_.out(json);
  }

  const ToolOptions& options_;
  const Language language_;
  const ToolStreams& streams_;
  RunTally tally_;
  reader::NameRegistry names_;
  std::vector<Held> held_;
  std::vector<reader::DecodedRecord> soundPrograms_;  // the keys of those read soundly
  std::vector<RecordingJson> json_;
  std::vector<std::string> combinedJson_;
  std::vector<tape_map::MapRecording> maps_;
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
    reader::DecoderOptions decoderOptions;
    decoderOptions.channel = options_.channel;
    const std::string failure =
        ReadRecording(recordingPath_, decoderOptions, language_,
                      [&](const reader::DecodedRecord& record) { return Consider(record); });
    if (!failure.empty() && best_.verdict != Verdict::kMatch) {
      streams_.err(Say(TextId::kFileFailure, language_, {DisplayName(recordingPath_, language_), failure}) +
                   "\n");
      return kExitFailure;
    }
    return Tell();
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
    streams_.err(Say(TextId::kFileFailure, language_, {DisplayName(imagePath_, language_), why}) + "\n");
    return false;
  }

  // Keeps the record that tells most; stops at the first full match that
  // the machine would load. A match that would not load is kept, but a
  // later copy may load.
  bool Consider(const reader::DecodedRecord& record) {
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

  int Tell() const {
    const bool match = Verified();
    const int status = match ? kExitSound : kExitDamaged;
    const std::string recording = DisplayName(recordingPath_, language_);
    if (!match) streams_.err(Say(TextId::kVerifyFailure, language_, {recording, Difference()}) + "\n");
    if (options_.quiet) return status;
    if (options_.json) {
      streams_.out(VerdictJson(status));
      return status;
    }
    if (match) {
      streams_.out(Say(TextId::kVerifyMatch, language_,
                       {recording, DisplayName(imagePath_, language_), Span(bestRecord_, language_)}) +
                   "\n");
    }
    if (match && best_.storedChecksumDiffers) {
      streams_.out(Say(TextId::kVerifyChecksumNote, language_,
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
  Comparison best_;
  reader::DecodedRecord bestRecord_;
};

}  // namespace

int RunReadTool(const std::vector<std::string>& arguments, Language language, const ToolStreams& streams) {
  const ParsedCommandLine parsed = ParseCommandLine(arguments);
  if (parsed.options.help) {
    streams.out(Text(TextId::kHelp, language));
    return kExitSound;
  }
  if (parsed.options.version) {
    streams.out(Say(TextId::kVersion, language, {LENTOK_VERSION}));
    return kExitSound;
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
  const ToolStreams streams{
      [](const std::string& text) { platform::WriteText(platform::StandardStream::kOutput, text); },
      [](const std::string& text) { platform::WriteText(platform::StandardStream::kError, text); }};
  return RunReadTool(platform::Utf8Arguments(argc, argv), language, streams);
}

}  // namespace reader_tool
