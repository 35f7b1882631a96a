// The command-line parser: a small hand-written one, as getopt is not on
// every system the tool is built for.
#include "reader_tool/command_line.h"

namespace reader_tool {

namespace {

enum class OptionId {
  kOutputDirectory,
  kForce,
  kJson,
  kQuiet,
  kVerify,
  kHelp,
  kVersion,
  kChannel,
  kSeparate,
  kMap,
};

struct OptionDefinition {
  OptionId id;
  char shortName;  // '\0': long form only
  const char* longName;
  bool takesValue;
};

constexpr OptionDefinition kOptions[] = {
    {OptionId::kOutputDirectory, 'o', "output-dir", true},
    {OptionId::kForce, '\0', "force", false},
    {OptionId::kJson, '\0', "json", false},
    {OptionId::kQuiet, 'q', "quiet", false},
    {OptionId::kVerify, '\0', "verify", false},
    {OptionId::kHelp, 'h', "help", false},
    {OptionId::kVersion, '\0', "version", false},
    {OptionId::kChannel, '\0', "channel", true},
    {OptionId::kSeparate, '\0', "separate", false},
    {OptionId::kMap, '\0', "map", true},
};

const OptionDefinition* FindShort(char name) {
  for (const OptionDefinition& option : kOptions) {
    if (option.shortName == name) return &option;
  }
  return nullptr;
}

// The option `name` names exactly or as the start of only one option.
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

bool ParseChannel(const std::string& text, int& channel) {
  if (text.empty() || text.size() > 2) return false;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  if (value < 1 || value > kMostChannels) return false;
  channel = value - 1;
  return true;
}

class Parser {
 public:
  explicit Parser(const std::vector<std::string>& arguments) : arguments_(arguments) {}

  ParsedCommandLine Run() {
    bool optionsEnded = false;
    for (index_ = 0; index_ < arguments_.size(); ++index_) {
      const std::string& argument = arguments_[index_];
      if (optionsEnded || argument == "-" || argument.size() < 2 || argument[0] != '-') {
        result_.options.operands.push_back(argument);
      } else if (argument == "--") {
        optionsEnded = true;
      } else if (argument[1] == '-') {
        LongOption(argument.substr(2));
      } else {
        ShortOptions(argument);
      }
    }
    CheckOperands();
    // Help and version are answered whatever else is wrong.
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
      // The rest of the word is the value (-oDIR), or else the next word.
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
    ToolOptions& options = result_.options;
    switch (option.id) {
      case OptionId::kOutputDirectory:
        if (value.empty()) Fail(CommandLineError::kMissingValue, "--output-dir");
        options.outputDirectory = value;
        break;
      case OptionId::kForce: options.force = true; break;
      case OptionId::kJson: options.json = true; break;
      case OptionId::kQuiet: options.quiet = true; break;
      case OptionId::kVerify: options.verify = true; break;
      case OptionId::kSeparate: options.separate = true; break;
      case OptionId::kHelp: options.help = true; break;
      case OptionId::kVersion: options.version = true; break;
      case OptionId::kChannel:
        if (!ParseChannel(value, options.channel)) Fail(CommandLineError::kBadChannel, value);
        break;
      case OptionId::kMap:
        if (value.empty()) Fail(CommandLineError::kMissingValue, "--map");
        options.mapPath = value;
        break;
    }
  }

  void CheckOperands() {
    const std::vector<std::string>& operands = result_.options.operands;
    if (result_.options.verify) {
      if (operands.size() < 2) Fail(CommandLineError::kVerifyOperands, "");
    } else if (operands.empty()) {
      Fail(CommandLineError::kNoRecording, "");
    }
    int standardInputs = 0;
    for (const std::string& operand : operands) standardInputs += operand == "-" ? 1 : 0;
    if (standardInputs > 1) Fail(CommandLineError::kStandardInputTwice, "-");
    const std::string& map = result_.options.mapPath;
    if (map.empty()) return;
    if (result_.options.verify) Fail(CommandLineError::kMapWithVerify, "--map");
    // The map is written after the reading, over whatever has its name: a
    // recording named by mistake would be lost.
    for (const std::string& operand : operands) {
      if (operand == map) Fail(CommandLineError::kMapIsRecording, map);
    }
  }

  const std::vector<std::string>& arguments_;
  std::size_t index_ = 0;
  ParsedCommandLine result_;
};

}  // namespace

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
  return Parser(arguments).Run();
}

}  // namespace reader_tool
