// The command line: "lentok [-k] [-x] file.rks file.wav". Options come first,
// any number of times and in any order; the first other token is the input
// name, the next the output name, and nothing may follow.
#include "app/command_line.h"

#include "app/console_texts.h"
#include "app/conversion_run.h"
#include "platform/platform.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

Token MakeToken(char* start, char* end) {
  return Token{start, end, static_cast<std::uint32_t>(end - start)};
}

// Options are told by their first two characters, case-sensitively, so "-kx"
// counts as "-k" alone. Returns false for a token that is no option.
bool ApplyOption(ConversionState& state, const Token& token) {
  if (token.start[0] != '-') return false;
  if (token.start[1] == 'x') {
    state.flagNoHeader = 1;
    return true;
  }
  if (token.start[1] == 'k') {
    state.flagChecksum = 1;
    return true;
  }
  return false;
}

// Makes the token a string where it stands; returns where scanning goes on,
// or null when the token ended the text.
char* CutToken(const Token& token) {
  if (*token.end == '\0') return nullptr;
  *token.end = '\0';
  return token.end + 1;
}

}  // namespace

Token NextToken(char* position) {
  while (IsBlank(*position)) ++position;
  char* start = position;
  // Outside quotes a blank ends the token; inside them only the NUL does.
  bool quoted = false;
  for (; *position != '\0'; ++position) {
    if (!quoted && IsBlank(*position)) break;
    if (*position == '"') quoted = !quoted;
  }
  return MakeToken(start, position);
}

void ParseCommandLine(ConversionState& state, char* commandLine) {
  if (commandLine == nullptr) ReportFailure(state, texts::kCommandLineError);

  // The program's own name, whatever it holds, is passed over.
  char* position = NextToken(commandLine).end;
  Token token;
  for (;;) {
    token = NextToken(position);
    if (token.length == 0) ReportFailure(state, texts::kUsage);
    if (!ApplyOption(state, token)) break;
    char* next = CutToken(token);
    position = next != nullptr ? next : token.end;
  }

  state.inputName = token.start;
  position = CutToken(token);
  if (position == nullptr) ReportFailure(state, texts::kCommandLineError);
  token = NextToken(position);
  if (token.length == 0) ReportFailure(state, texts::kCommandLineError);

  state.outputName = token.start;
  position = CutToken(token);
  if (position != nullptr && NextToken(position).length != 0) {
    ReportFailure(state, texts::kCommandLineError);
  }

  platform::PathUnquoteSpacesA(state.inputName);
  platform::PathUnquoteSpacesA(state.outputName);
}
