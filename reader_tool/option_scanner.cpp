// A small hand-written scanner, as getopt is not on every system the tools
// are built for.
#include "reader_tool/option_scanner.h"

namespace reader_tool {

namespace {

const OptionDefinition* FindShort(OptionTable table, char name) {
  for (std::size_t i = 0; i < table.count; ++i) {
    if (table.definitions[i].shortName == name) return &table.definitions[i];
  }
  return nullptr;
}

// The option `name` names exactly or as the start of only one option.
const OptionDefinition* FindLong(OptionTable table, const std::string& name, bool& ambiguous) {
  ambiguous = false;
  const OptionDefinition* found = nullptr;
  for (std::size_t i = 0; i < table.count; ++i) {
    const OptionDefinition& option = table.definitions[i];
    const std::string full = option.longName;
    if (full == name) return &option;
    if (full.compare(0, name.size(), name) == 0) {
      ambiguous = found != nullptr;
      found = &option;
    }
  }
  return ambiguous ? nullptr : found;
}

class Scanner {
 public:
  Scanner(OptionTable table, const std::vector<std::string>& arguments, ScanReceiver& receiver)
      : table_(table), arguments_(arguments), receiver_(receiver) {}

  void Run() {
    bool optionsEnded = false;
    for (index_ = 0; index_ < arguments_.size(); ++index_) {
      const std::string& argument = arguments_[index_];
      if (optionsEnded || argument == "-" || argument.size() < 2 || argument[0] != '-') {
        receiver_.Operand(argument);
      } else if (argument == "--") {
        optionsEnded = true;
      } else if (argument[1] == '-') {
        LongOption(argument.substr(2));
      } else {
        ShortOptions(argument);
      }
    }
  }

 private:
  void Give(const OptionDefinition& option, const std::string& value, const std::string& shown) {
    receiver_.Option(ScannedOption{option.id, value, shown});
  }

  void LongOption(const std::string& body) {
    const std::size_t equals = body.find('=');
    const std::string name = body.substr(0, equals);
    bool ambiguous = false;
    const OptionDefinition* option = FindLong(table_, name, ambiguous);
    if (option == nullptr) {
      receiver_.Failure(ambiguous ? ScanFailure::kAmbiguousOption : ScanFailure::kUnknownOption, "--" + name);
      return;
    }
    const std::string shown = std::string("--") + option->longName;
    if (!option->takesValue) {
      if (equals != std::string::npos) receiver_.Failure(ScanFailure::kUnexpectedValue, shown);
      Give(*option, "", shown);
    } else if (equals != std::string::npos) {
      Give(*option, body.substr(equals + 1), shown);
    } else if (index_ + 1 < arguments_.size()) {
      Give(*option, arguments_[++index_], shown);
    } else {
      receiver_.Failure(ScanFailure::kMissingValue, shown);
    }
  }

  void ShortOptions(const std::string& argument) {
    for (std::size_t position = 1; position < argument.size(); ++position) {
      const OptionDefinition* option = FindShort(table_, argument[position]);
      if (option == nullptr) {
        receiver_.Failure(ScanFailure::kUnknownOption, std::string("-") + argument[position]);
        return;
      }
      const std::string shown = std::string("-") + option->shortName;
      if (!option->takesValue) {
        Give(*option, "", shown);
        continue;
      }
      // The rest of the word is the value (-oDIR), or else the next word.
      if (position + 1 < argument.size()) {
        Give(*option, argument.substr(position + 1), shown);
      } else if (index_ + 1 < arguments_.size()) {
        Give(*option, arguments_[++index_], shown);
      } else {
        receiver_.Failure(ScanFailure::kMissingValue, shown);
      }
      return;
    }
  }

  const OptionTable table_;
  const std::vector<std::string>& arguments_;
  ScanReceiver& receiver_;
  std::size_t index_ = 0;
};

}  // namespace

void ScanOptions(OptionTable table, const std::vector<std::string>& arguments, ScanReceiver& receiver) {
  Scanner(table, arguments, receiver).Run();
}

}  // namespace reader_tool
