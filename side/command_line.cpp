// What lentok-side's options mean; the words are scanned by lentok-read's
// scanner, so that both tools read a command line alike.
#include "side/command_line.h"

#include <cctype>
#include <cmath>

#include "reader_tool/option_scanner.h"

namespace side {

namespace {

enum class OptionId { kOutput, kComputeChecksum, kNoHeader, kGap, kLabels, kJson, kLength, kHelp, kVersion };

constexpr int Id(OptionId id) { return static_cast<int>(id); }

constexpr reader_tool::OptionDefinition kOptions[] = {
    {Id(OptionId::kOutput), 'o', "output", true},
    {Id(OptionId::kComputeChecksum), 'k', "compute-checksum", false},
    {Id(OptionId::kNoHeader), 'x', "no-header", false},
    {Id(OptionId::kGap), '\0', "gap", true},
    {Id(OptionId::kLabels), '\0', "labels", true},
    {Id(OptionId::kJson), '\0', "json", false},
    {Id(OptionId::kLength), '\0', "length", true},
    {Id(OptionId::kHelp), 'h', "help", false},
    {Id(OptionId::kVersion), '\0', "version", false},
};

bool EndsWithNoCase(const std::string& text, const std::string& ending) {
  if (text.size() <= ending.size()) return false;
  for (std::size_t i = 0; i < ending.size(); ++i) {
    const char c = text[text.size() - ending.size() + i];
    if (std::tolower(static_cast<unsigned char>(c)) != ending[i]) return false;
  }
  return true;
}

// The cassette sides sold: a C60 has 30 minutes a side, a C90 45, a C120 60.
bool ReadLength(const std::string& text, int& minutes) {
  for (const int side : {30, 45, 60}) {
    if (text == std::to_string(side) + "m") {
      minutes = side;
      return true;
    }
  }
  return false;
}

class Parser final : public reader_tool::ScanReceiver {
 public:
  ParsedCommandLine Run(const std::vector<std::string>& arguments) {
    reader_tool::ScanOptions(reader_tool::MakeOptionTable(kOptions), arguments, *this);
    CheckOperands();
    if (result_.options.help || result_.options.version) {
      result_.error = CommandLineError::kNone;
      result_.culprit.clear();
    }
    return result_;
  }

  void Option(const reader_tool::ScannedOption& option) override {
    Apply(static_cast<OptionId>(option.id), option.value);
  }

  void Operand(const std::string& argument) override {
    if (argument == "-") Fail(CommandLineError::kStandardInputImage, argument);
    result_.options.images.push_back(argument);
  }

  void Failure(reader_tool::ScanFailure failure, const std::string& culprit) override {
    Fail(reader_tool::ToolError<CommandLineError>(failure), culprit);
  }

 private:
  void Fail(CommandLineError error, const std::string& culprit) {
    if (result_.error != CommandLineError::kNone) return;  // the first one is told
    result_.error = error;
    result_.culprit = culprit;
  }

  void Apply(OptionId id, const std::string& value) {
    SideToolOptions& options = result_.options;
    switch (id) {
      case OptionId::kOutput:
        if (value.empty()) Fail(CommandLineError::kMissingValue, "--output");
        options.output = value;
        break;
      case OptionId::kComputeChecksum: options.computeChecksum = true; break;
      case OptionId::kNoHeader: options.noHeader = true; break;
      case OptionId::kJson: options.json = true; break;
      case OptionId::kHelp: options.help = true; break;
      case OptionId::kVersion: options.version = true; break;
      case OptionId::kGap:
        switch (ReadGap(value, options.gapFrames)) {
          case GapReading::kGap: break;
          case GapReading::kTooShort: Fail(CommandLineError::kGapTooShort, value); break;
          case GapReading::kNotAGap:
          case GapReading::kTooLong: Fail(CommandLineError::kBadGap, value); break;
        }
        break;
      case OptionId::kLabels:
        if (value.empty()) Fail(CommandLineError::kMissingValue, "--labels");
        options.labels = value;
        break;
      case OptionId::kLength:
        if (!ReadLength(value, options.cassetteMinutes)) Fail(CommandLineError::kBadLength, value);
        break;
    }
  }

  void CheckOperands() {
    SideToolOptions& options = result_.options;
    if (options.output.empty()) {
      Fail(CommandLineError::kNoOutput, "");
    } else if (EndsWithNoCase(options.output, ".wav")) {
      options.format = SideFormat::kWav;
    } else if (EndsWithNoCase(options.output, ".flac")) {
      options.format = SideFormat::kFlac;
    } else {
      Fail(CommandLineError::kOutputFormat, options.output);
    }
    if (options.images.empty()) Fail(CommandLineError::kNoImages, "");
  }

  ParsedCommandLine result_;
};

}  // namespace

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments) { return Parser().Run(arguments); }

GapReading ReadGap(const std::string& text, std::uint64_t& frames) {
  std::size_t position = 0;
  const bool negative = !text.empty() && text[0] == '-';
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) ++position;
  // Read without the C library, whose reading of numbers follows the
  // locale's decimal point.
  double seconds = 0;
  double scale = 1;
  bool point = false;
  bool digits = false;
  for (; position < text.size(); ++position) {
    const char c = text[position];
    if (c == '.' && !point) {
      point = true;
    } else if (c >= '0' && c <= '9' && seconds < 1e6) {
      digits = true;
      if (point) {
        scale /= 10;
        seconds += (c - '0') * scale;
      } else {
        seconds = seconds * 10 + (c - '0');
      }
    } else {
      return GapReading::kNotAGap;
    }
  }
  if (!digits) return GapReading::kNotAGap;
  if (negative && seconds > 0) return GapReading::kTooShort;
  if (seconds < kShortestGapSeconds) return GapReading::kTooShort;
  if (seconds > kLongestGapSeconds) return GapReading::kTooLong;
  frames = static_cast<std::uint64_t>(std::llround(seconds * kSampleRate));
  return GapReading::kGap;
}

}  // namespace side
