// The command-line parser, hand-written as lentok-read's is, since getopt
// is not on every system the tool is built for.
#include "side/command_line.h"

#include <cctype>
#include <cmath>

namespace side {

namespace {

enum class OptionId { kOutput, kComputeChecksum, kNoHeader, kGap, kLabels, kJson, kLength, kHelp, kVersion };

struct OptionDefinition {
  OptionId id;
  char shortName;  // '\0': long form only
  const char* longName;
  bool takesValue;
};

constexpr OptionDefinition kOptions[] = {
    {OptionId::kOutput, 'o', "output", true},
    {OptionId::kComputeChecksum, 'k', "compute-checksum", false},
    {OptionId::kNoHeader, 'x', "no-header", false},
    {OptionId::kGap, '\0', "gap", true},
    {OptionId::kLabels, '\0', "labels", true},
    {OptionId::kJson, '\0', "json", false},
    {OptionId::kLength, '\0', "length", true},
    {OptionId::kHelp, 'h', "help", false},
    {OptionId::kVersion, '\0', "version", false},
};

const OptionDefinition* FindShort(char name) {
  for (const OptionDefinition& option : kOptions) {
    if (option.shortName == name) return &option;
  }
  return nullptr;
}

const OptionDefinition* FindLong(const std::string& name, bool& ambiguous) {
  ambiguous = false;
  const OptionDefinition* found = nullptr;
  for (const OptionDefinition& option : kOptions) {
    const std::string full = option.longName;
    if (full == name) return &option;
    if (full.compare(0, name.size(), name) == 0) {
      ambiguous = found != nullptr;
      found = &option;
    }
  }
  return ambiguous ? nullptr : found;
}

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

class Parser {
 public:
  explicit Parser(const std::vector<std::string>& arguments) : arguments_(arguments) {}

  ParsedCommandLine Run() {
    bool optionsEnded = false;
    for (index_ = 0; index_ < arguments_.size(); ++index_) {
      const std::string& argument = arguments_[index_];
      if (optionsEnded || argument == "-" || argument.size() < 2 || argument[0] != '-') {
        Operand(argument);
      } else if (argument == "--") {
        optionsEnded = true;
      } else if (argument[1] == '-') {
        LongOption(argument.substr(2));
      } else {
        ShortOptions(argument);
      }
    }
    CheckOperands();
    if (result_.options.help || result_.options.version) {
      result_.error = CommandLineError::kNone;
      result_.culprit.clear();
    }
    return result_;
  }

 private:
  void Fail(CommandLineError error, const std::string& culprit) {
    if (result_.error != CommandLineError::kNone) return;  // the first one is told
    result_.error = error;
    result_.culprit = culprit;
  }

  void Operand(const std::string& argument) {
    if (argument == "-") Fail(CommandLineError::kStandardInputImage, argument);
    result_.options.images.push_back(argument);
  }

  void LongOption(const std::string& body) {
    const std::size_t equals = body.find('=');
    const std::string name = body.substr(0, equals);
    bool ambiguous = false;
    const OptionDefinition* option = FindLong(name, ambiguous);
    if (option == nullptr) {
      Fail(ambiguous ? CommandLineError::kAmbiguousOption : CommandLineError::kUnknownOption, "--" + name);
      return;
    }
    const std::string shown = std::string("--") + option->longName;
    if (!option->takesValue) {
      if (equals != std::string::npos) Fail(CommandLineError::kUnexpectedValue, shown);
      Apply(*option, "");
    } else if (equals != std::string::npos) {
      Apply(*option, body.substr(equals + 1));
    } else if (index_ + 1 < arguments_.size()) {
      Apply(*option, arguments_[++index_]);
    } else {
      Fail(CommandLineError::kMissingValue, shown);
    }
  }

  void ShortOptions(const std::string& argument) {
    for (std::size_t position = 1; position < argument.size(); ++position) {
      const OptionDefinition* option = FindShort(argument[position]);
      if (option == nullptr) {
        Fail(CommandLineError::kUnknownOption, std::string("-") + argument[position]);
        return;
      }
      if (!option->takesValue) {
        Apply(*option, "");
        continue;
      }
      if (position + 1 < argument.size()) {
        Apply(*option, argument.substr(position + 1));
      } else if (index_ + 1 < arguments_.size()) {
        Apply(*option, arguments_[++index_]);
      } else {
        Fail(CommandLineError::kMissingValue, std::string("-") + option->shortName);
      }
      return;
    }
  }

  void Apply(const OptionDefinition& option, const std::string& value) {
    SideToolOptions& options = result_.options;
    switch (option.id) {
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

  const std::vector<std::string>& arguments_;
  std::size_t index_ = 0;
  ParsedCommandLine result_;
};

}  // namespace

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments) { return Parser(arguments).Run(); }

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
