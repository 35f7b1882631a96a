// What lentok-read's options mean; the words are scanned by the scanner
// lentok-side shares.
#include "reader_tool/command_line.h"

#include "reader_tool/option_scanner.h"

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
  kMonitor,
  kKeepUnread,
};

constexpr int Id(OptionId id) { return static_cast<int>(id); }

constexpr OptionDefinition kOptions[] = {
    {Id(OptionId::kOutputDirectory), 'o', "output-dir", true},
    {Id(OptionId::kForce), '\0', "force", false},
    {Id(OptionId::kJson), '\0', "json", false},
    {Id(OptionId::kQuiet), 'q', "quiet", false},
    {Id(OptionId::kVerify), '\0', "verify", false},
    {Id(OptionId::kHelp), 'h', "help", false},
    {Id(OptionId::kVersion), '\0', "version", false},
    {Id(OptionId::kChannel), '\0', "channel", true},
    {Id(OptionId::kSeparate), '\0', "separate", false},
    {Id(OptionId::kMap), '\0', "map", true},
    {Id(OptionId::kMonitor), '\0', "monitor", true},
    {Id(OptionId::kKeepUnread), '\0', "keep-unread", false},
};

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

std::optional<reader::Monitor> ParseMonitor(const std::string& text) {
  if (text == "later") return reader::Monitor::kLater;
  if (text == "earlier") return reader::Monitor::kEarlier;
  if (text == "compatible") return reader::Monitor::kCompatible;
  return std::nullopt;
}

class Parser final : public ScanReceiver {
 public:
  ParsedCommandLine Run(const std::vector<std::string>& arguments) {
    ScanOptions(MakeOptionTable(kOptions), arguments, *this);
    CheckOperands();
    // Help and version are answered whatever else is wrong.
    if (result_.options.help || result_.options.version) {
      result_.error = CommandLineError::kNone;
      result_.culprit.clear();
    }
    return result_;
  }

  void Option(const ScannedOption& option) override { Apply(static_cast<OptionId>(option.id), option.value); }

  void Operand(const std::string& operand) override { result_.options.operands.push_back(operand); }

  void Failure(ScanFailure failure, const std::string& culprit) override {
    Fail(ToolError<CommandLineError>(failure), culprit);
  }

 private:
  void Fail(CommandLineError error, const std::string& culprit) {
    if (result_.error != CommandLineError::kNone) return;  // the first one is told
    result_.error = error;
    result_.culprit = culprit;
  }

  void Apply(OptionId id, const std::string& value) {
    ToolOptions& options = result_.options;
    switch (id) {
      case OptionId::kOutputDirectory:
        if (value.empty()) Fail(CommandLineError::kMissingValue, "--output-dir");
        options.outputDirectory = value;
        break;
      case OptionId::kForce: options.force = true; break;
      case OptionId::kJson: options.json = true; break;
      case OptionId::kQuiet: options.quiet = true; break;
      case OptionId::kVerify: options.verify = true; break;
      case OptionId::kSeparate: options.separate = true; break;
      case OptionId::kKeepUnread: options.keepUnread = true; break;
      case OptionId::kHelp: options.help = true; break;
      case OptionId::kVersion: options.version = true; break;
      case OptionId::kChannel:
        if (!ParseChannel(value, options.channel)) Fail(CommandLineError::kBadChannel, value);
        break;
      case OptionId::kMap:
        if (value.empty()) Fail(CommandLineError::kMissingValue, "--map");
        options.mapPath = value;
        break;
      case OptionId::kMonitor:
        options.monitor = ParseMonitor(value);
        if (!options.monitor) Fail(CommandLineError::kBadMonitor, value);
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
    if (result_.options.monitor && !result_.options.verify) Fail(CommandLineError::kMonitorWithoutVerify, "--monitor");
    const std::string& map = result_.options.mapPath;
    if (map.empty()) return;
    if (result_.options.verify) Fail(CommandLineError::kMapWithVerify, "--map");
    // The map is written after the reading, over whatever has its name: a
    // recording named by mistake would be lost.
    for (const std::string& operand : operands) {
      if (operand == map) Fail(CommandLineError::kMapIsRecording, map);
    }
  }

  ParsedCommandLine result_;
};

}  // namespace

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
  return Parser().Run(arguments);
}

}  // namespace reader_tool
