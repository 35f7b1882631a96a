// The run of lentok-side. Everything that can be refused is refused before
// the side's file is created; the side and its labels are written under
// temporary names and moved into place only once whole, so a refusal, a
// failure or a stop leaves neither behind, and an existing file of either
// name as it was.
#include "side/side_run.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <optional>
#include <utility>

#include "platform/files.h"
#include "reader_tool/recording_input.h"
#include "reader_tool/report_format.h"
#include "side/command_line.h"
#include "side/contents_report.h"
#include "side/side_plan.h"
#include "side/side_writer.h"

namespace side {

namespace {

SideText CommandLineErrorText(CommandLineError error) {
  switch (error) {
    case CommandLineError::kUnknownOption: return SideText::kUnknownOption;
    case CommandLineError::kAmbiguousOption: return SideText::kAmbiguousOption;
    case CommandLineError::kMissingValue: return SideText::kMissingValue;
    case CommandLineError::kUnexpectedValue: return SideText::kUnexpectedValue;
    case CommandLineError::kBadGap: return SideText::kBadGap;
    case CommandLineError::kGapTooShort: return SideText::kGapTooShort;
    case CommandLineError::kBadLength: return SideText::kBadLength;
    case CommandLineError::kOutputFormat: return SideText::kOutputFormat;
    case CommandLineError::kNoImages: return SideText::kNoImages;
    case CommandLineError::kStandardInputImage: return SideText::kStandardInputImage;
    case CommandLineError::kNone:
    case CommandLineError::kNoOutput: break;
  }
  return SideText::kNoOutput;
}

std::string CommandLineErrorWords(const ParsedCommandLine& parsed, Language language) {
  const SideText id = CommandLineErrorText(parsed.error);
  const std::string culprit = reader_tool::PrintableText(parsed.culprit);
  switch (parsed.error) {
    case CommandLineError::kBadGap:
      return Say(id, language, {reader_tool::FormatFixed(kLongestGapSeconds, 0), culprit});
    case CommandLineError::kGapTooShort:
      return Say(id, language, {culprit, reader_tool::FormatFixed(kShortestGapSeconds, 0)});
    default: return Say(id, language, {culprit});
  }
}

std::string Shown(const std::string& path) { return reader_tool::PrintableText(path); }

// The side's samples in the file: from the encoder through the temporary
// file, whose first failure is kept to be told.
class SideFile {
 public:
  explicit SideFile(platform::OutputFile file) : file_(std::move(file)) {}

  ByteSink Sink() {
    return [this](const std::uint8_t* bytes, std::size_t count) {
      error_ = file_.Write(bytes, count);
      return error_ == platform::FileError::kNone;
    };
  }
  platform::FileError Commit() { return error_ = file_.Commit(); }
  platform::FileError Error() const { return error_; }

 private:
  platform::OutputFile file_;
  platform::FileError error_ = platform::FileError::kNone;
};

class SideRun {
 public:
  SideRun(const SideToolOptions& options, Language language, const SideStreams& streams)
      : options_(options), language_(language), streams_(streams) {}

  int Run() {
    if (options_.format == SideFormat::kFlac && !FlacAvailable()) {
      return Refuse(Text(SideText::kNoFlacInBuild, language_));
    }
    std::vector<SideImage> images;
    std::vector<std::pair<platform::FileIdentity, std::string>> identities;
    for (const std::string& path : options_.images) {
      SideImage image{path, platform::FinalComponent(path), {}};
      if (!ReadImage(image)) return kExitFailure;
      if (const auto identity = platform::IdentityOf(path)) identities.emplace_back(*identity, path);
      images.push_back(std::move(image));
    }
    SideOptions sideOptions;
    sideOptions.computeChecksum = options_.computeChecksum;
    sideOptions.noHeader = options_.noHeader;
    sideOptions.gapFrames = options_.gapFrames;
    const PlanResult planned = PlanSide(images, sideOptions);
    if (planned.problem != PlanProblem::kNone) return Refuse(PlanProblemText(planned, images, language_));
    const SidePlan& plan = planned.plan;
    const SideContents& contents = plan.contents;
    if (!CheckOutputs(identities)) return kExitFailure;
    if (options_.format == SideFormat::kWav && !WavHoldsSide(contents.frames)) {
      return Refuse(Say(SideText::kTooLongForWav, language_,
                        {SideTime(contents.frames, kSampleRate), SideTime(LongestWavSide(), kSampleRate)}));
    }
    const std::vector<SideWarning> warnings = SideWarnings(contents, options_.cassetteMinutes);
    for (const SideWarning& warning : warnings) {
      streams_.err(Say(SideText::kWarning, language_,
                       {WarningText(warning, contents, options_.cassetteMinutes, language_)}) +
                   "\n");
    }
    if (!WriteFiles(plan)) return Stopped() ? StoppedStatus() : kExitFailure;
    const std::string report = options_.json ? ContentsJson(contents, warnings, options_.cassetteMinutes)
                                             : ContentsText(contents, language_);
    if (!streams_.out(report)) {
      streams_.err(std::string(Text(SideText::kReportNotWritten, language_)) + "\n");
      return kExitFailure;
    }
    return kExitWritten;
  }

 private:
  static bool Stopped() { return platform::CaughtStopSignal() != 0; }
  static int StoppedStatus() { return 128 + platform::CaughtStopSignal(); }

  int Refuse(const std::string& why) {
    streams_.err(Say(SideText::kRefusal, language_, {why}) + "\n");
    return kExitFailure;
  }

  bool FileFailure(const std::string& path, const std::string& why) {
    streams_.err(Say(SideText::kFileFailure, language_, {Shown(path), why}) + "\n");
    return false;
  }

  std::string ErrorWords(SideText id, platform::FileError error) const {
    return Say(id, language_, {reader_tool::FileErrorText(error, language_)});
  }

  // The whole image, or one byte past the largest lentok takes, which is
  // enough to refuse it.
  bool ReadImage(SideImage& image) {
    platform::FileError error = platform::FileError::kNone;
    platform::InputFile input = platform::InputFile::Open(image.path, error);
    std::uint8_t block[16384];
    while (input.IsOpen() && image.bytes.size() <= kLargestImage) {
      const std::size_t got = input.Read(block, sizeof block, error);
      if (got == 0) break;
      image.bytes.insert(image.bytes.end(), block, block + got);
    }
    if (error != platform::FileError::kNone) return FileFailure(image.path, ErrorWords(SideText::kCannotRead, error));
    return true;
  }

  // Neither the side nor its labels may land on an image, nor on each
  // other, nor on a directory.
  bool CheckOutputs(const std::vector<std::pair<platform::FileIdentity, std::string>>& identities) {
    const auto imageAt = [&](const std::string& path) -> std::optional<std::string> {
      const std::optional<platform::FileIdentity> identity = platform::IdentityOf(path);
      if (!identity) return std::nullopt;
      for (const auto& [image, imagePath] : identities) {
        if (image == *identity) return imagePath;
      }
      return std::nullopt;
    };
    if (const auto image = imageAt(options_.output)) {
      Refuse(Say(SideText::kOutputIsImage, language_, {Shown(options_.output), Shown(*image)}));
      return false;
    }
    if (platform::IsDirectory(options_.output)) {
      return FileFailure(options_.output, ErrorWords(SideText::kCannotWrite, platform::FileError::kIsDirectory));
    }
    if (options_.labels.empty()) return true;
    if (const auto image = imageAt(options_.labels)) {
      Refuse(Say(SideText::kLabelsIsImage, language_, {Shown(options_.labels), Shown(*image)}));
      return false;
    }
    if (platform::SamePlace(options_.labels, options_.output)) {
      Refuse(Say(SideText::kLabelsIsOutput, language_, {Shown(options_.labels)}));
      return false;
    }
    if (platform::IsDirectory(options_.labels)) {
      return FileFailure(options_.labels, ErrorWords(SideText::kCannotWrite, platform::FileError::kIsDirectory));
    }
    return true;
  }

  // The labels written whole first, the side then, and each moved into
  // place only when the side is complete.
  bool WriteFiles(const SidePlan& plan) {
    platform::FileError error = platform::FileError::kNone;
    platform::OutputFile labels;
    if (!options_.labels.empty()) {
      const std::string track = LabelTrack(plan.contents);
      labels = platform::OutputFile::CreateReplacing(options_.labels, error);
      if (error == platform::FileError::kNone) {
        error = labels.Write(reinterpret_cast<const std::uint8_t*>(track.data()), track.size());
      }
      if (error != platform::FileError::kNone) {
        return FileFailure(options_.labels, ErrorWords(SideText::kCannotWrite, error));
      }
    }
    SideFile side(platform::OutputFile::CreateReplacing(options_.output, error));
    if (error != platform::FileError::kNone) {
      return FileFailure(options_.output, ErrorWords(SideText::kCannotWrite, error));
    }
    // Declared after the file it writes into, so that it goes first.
    std::unique_ptr<SideEncoder> encoder;
    if (options_.format == SideFormat::kFlac) {
      FlacEncoderResult made = MakeFlacEncoder(plan.contents.frames, side.Sink());
      if (!made.encoder) return FileFailure(options_.output, Say(SideText::kNoFlac, language_, {made.problem}));
      encoder = std::move(made.encoder);
    } else {
      encoder = MakeWavEncoder(plan.contents.frames, side.Sink());
    }
    const WriteResult written = WriteSide(plan, *encoder, [] { return !Stopped(); });
    encoder.reset();
    switch (written.outcome) {
      case WriteOutcome::kWritten: break;
      case WriteOutcome::kStopped:
        streams_.err(std::string(Text(SideText::kStopped, language_)) + "\n");
        return false;
      case WriteOutcome::kSinkFailed:
        return FileFailure(options_.output, ErrorWords(SideText::kCannotWrite, side.Error()));
      case WriteOutcome::kEncoderFailed:
        return FileFailure(options_.output, Say(SideText::kEncoderFailed, language_, {written.problem}));
    }
    if (Stopped()) {
      streams_.err(std::string(Text(SideText::kStopped, language_)) + "\n");
      return false;
    }
    if (side.Commit() != platform::FileError::kNone) {
      return FileFailure(options_.output, ErrorWords(SideText::kCannotWrite, side.Error()));
    }
    if (labels.IsOpen()) {
      error = labels.Commit();
      if (error != platform::FileError::kNone) {
        return FileFailure(options_.labels, ErrorWords(SideText::kCannotWrite, error));
      }
    }
    return true;
  }

  const SideToolOptions& options_;
  const Language language_;
  const SideStreams& streams_;
};

}  // namespace

int RunSideTool(const std::vector<std::string>& arguments, Language language, const SideStreams& streams) {
  const ParsedCommandLine parsed = ParseCommandLine(arguments);
  if (parsed.options.help) return streams.out(Text(SideText::kHelp, language)) ? kExitWritten : kExitFailure;
  if (parsed.options.version) {
    return streams.out(Say(SideText::kVersion, language, {LENTOK_VERSION})) ? kExitWritten : kExitFailure;
  }
  if (parsed.error != CommandLineError::kNone) {
    streams.err(Say(SideText::kCommandLineError, language, {CommandLineErrorWords(parsed, language)}) + "\n");
    return kExitFailure;
  }
  return SideRun(parsed.options, language, streams).Run();
}

int SideToolMain(int argc, char** argv) {
  const Language language = platform::UserLanguageIsRussian() ? Language::kRussian : Language::kEnglish;
  // A report that cannot be written, a file-size limit and Ctrl-C each
  // become a failure the run handles, so that no half-written side is left.
  platform::IgnoreBrokenPipe();
  platform::IgnoreFileSizeSignal();
  platform::InstallStopSignals();
  const SideStreams streams{
      [](const std::string& text) { return platform::WriteText(platform::StandardStream::kOutput, text); },
      [](const std::string& text) { platform::WriteText(platform::StandardStream::kError, text); }};
  return RunSideTool(platform::Utf8Arguments(argc, argv), language, streams);
}

}  // namespace side
