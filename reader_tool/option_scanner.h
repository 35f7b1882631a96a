// The scanning of a command line by GNU conventions, shared by lentok's
// tools: short options, bundled (-qo DIR) or with the value in the same
// word (-oDIR); long options with --name=value or --name value, and any
// start of a name that fits only one option; -- ending the options. What
// the options mean is the caller's: it gets each option, operand and
// failure in the order of the words.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace reader_tool {

struct OptionDefinition {
  int id;          // the caller's, handed back with the option
  char shortName;  // '\0': long form only
  const char* longName;
  bool takesValue;
};

enum class ScanFailure {
  kUnknownOption,
  kAmbiguousOption,
  kMissingValue,
  kUnexpectedValue,  // --name=value for an option that takes none
};

struct ScannedOption {
  int id;
  std::string value;  // "" for an option that takes none
  std::string shown;  // -o or --output-dir, as a message would name it
};

// What a scan hands over. A failure does not stop the scan, so that the
// caller can still see --help after a wrong word.
class ScanReceiver {
 public:
  virtual void Option(const ScannedOption& option) = 0;
  virtual void Operand(const std::string& operand) = 0;
  // `culprit` is the option as the user wrote it or, once found, its name.
  virtual void Failure(ScanFailure failure, const std::string& culprit) = 0;

 protected:
  ~ScanReceiver() = default;
};

struct OptionTable {
  const OptionDefinition* definitions;
  std::size_t count;
};

template <std::size_t N>
constexpr OptionTable MakeOptionTable(const OptionDefinition (&definitions)[N]) {
  return OptionTable{definitions, N};
}

// A failure as the tool's own error, whose enum has the four under the
// same names.
template <typename Error>
constexpr Error ToolError(ScanFailure failure) {
  switch (failure) {
    case ScanFailure::kUnknownOption: return Error::kUnknownOption;
    case ScanFailure::kAmbiguousOption: return Error::kAmbiguousOption;
    case ScanFailure::kMissingValue: return Error::kMissingValue;
    case ScanFailure::kUnexpectedValue: return Error::kUnexpectedValue;
  }
  return Error::kUnknownOption;
}

// `arguments` without the program name. "-" is an operand, the usual name
// of standard input.
void ScanOptions(OptionTable table, const std::vector<std::string>& arguments, ScanReceiver& receiver);

}  // namespace reader_tool
