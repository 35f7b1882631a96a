// Fuzz target: the command-line text. Arbitrary bytes go through the
// tokenizer, which must keep every token inside the text, and through the
// parse, which must either set both names inside the text or end the run
// with status 1.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "app/command_line.h"
#include "platform/exit_trap.h"

namespace {

// The longest command line the tool can be given.
constexpr std::size_t kMaxText = 32767;

char text[kMaxText + 1];
std::size_t textLength = 0;
ConversionState state;

void Require(bool condition) {
  if (!condition) std::abort();
}

bool Inside(const char* position) { return position >= text && position <= text + textLength; }

void CheckTokens() {
  char* position = text;
  for (;;) {
    const Token token = NextToken(position);
    Require(Inside(token.start) && Inside(token.end) && token.start >= position);
    Require(token.length == static_cast<std::uint32_t>(token.end - token.start));
    if (token.length == 0) {
      Require(*token.end == '\0');
      return;
    }
    Require(*token.end == '\0' || *token.end == ' ' || *token.end == '\t');
    position = token.end;
  }
}

void Parse(void*) { ParseCommandLine(state, text); }

void CheckParse() {
  state = ConversionState{};
  const std::uint32_t status = platform::RunUntilExit(Parse, nullptr);
  if (status != platform::kNoExit) {
    Require(status == 1);
    return;
  }
  Require(state.inputName != nullptr && Inside(state.inputName));
  Require(state.outputName != nullptr && Inside(state.outputName));
  Require(state.flagChecksum <= 1 && state.flagNoHeader <= 1);
}

void LoadText(const std::uint8_t* data, std::size_t size) {
  textLength = size < kMaxText ? size : kMaxText;
  std::memcpy(text, data, textLength);
  text[textLength] = '\0';
  // A NUL inside the bytes ends the text as it would end a real one.
  textLength = std::strlen(text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  LoadText(data, size);
  CheckTokens();
  // The parse cuts the text up; it gets a fresh copy.
  LoadText(data, size);
  CheckParse();
  return 0;
}
