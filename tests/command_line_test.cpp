// The tokenizer and the parse of the command line.
#include <gtest/gtest.h>

#include <string>

#include "app/command_line.h"

namespace {

std::string TokenText(const Token& token) { return std::string(token.start, token.length); }

// The parse works in place, so each case gets its own writable copy.
struct Parsed {
  explicit Parsed(std::string line) : text(std::move(line)) {
    ParseCommandLine(state, text.data());
  }
  std::string text;
  ConversionState state;
};

constexpr const char* kUsageStart = "\nИспользование: lentok";
constexpr const char* kCommandLineErrorStart = "\nОшибка в командной строке!\nИспользование";

}  // namespace

TEST(NextToken, SkipsBlanksAndStopsAtTheNextBlank) {
  char text[] = " \t abc\tdef";
  const Token token = NextToken(text);
  EXPECT_EQ(TokenText(token), "abc");
  EXPECT_EQ(*token.end, '\t');
  EXPECT_EQ(TokenText(NextToken(token.end)), "def");
}

TEST(NextToken, QuotedStretchesKeepBlanksAndTheQuotes) {
  char text[] = "a\"b c\"d\"e\tf\"g h";
  const Token token = NextToken(text);
  EXPECT_EQ(TokenText(token), "a\"b c\"d\"e\tf\"g");
  EXPECT_EQ(TokenText(NextToken(token.end)), "h");
}

TEST(NextToken, AnUnclosedQuoteRunsToTheEnd) {
  char text[] = "\"a b";
  const Token token = NextToken(text);
  EXPECT_EQ(TokenText(token), "\"a b");
  EXPECT_EQ(*token.end, '\0');
}

TEST(NextToken, NothingLeftGivesAnEmptyTokenAtTheNul) {
  char text[] = "  \t ";
  const Token token = NextToken(text);
  EXPECT_EQ(token.length, 0u);
  EXPECT_EQ(token.start, text + 4);
  EXPECT_EQ(token.end, text + 4);
}

TEST(ParseCommandLine, OptionsThenTwoQuotedNames) {
  Parsed parsed("\"C:\\Program Files\\lentok.exe\" -x -k \"my tapes\\a b.rks\"\t\"out put.wav\"");
  EXPECT_EQ(parsed.state.flagNoHeader, 1);
  EXPECT_EQ(parsed.state.flagChecksum, 1);
  EXPECT_STREQ(parsed.state.inputName, "my tapes\\a b.rks");
  EXPECT_STREQ(parsed.state.outputName, "out put.wav");
}

TEST(ParseCommandLine, WithoutOptionsTheFlagsStayClear) {
  Parsed parsed("lentok in.rks out.wav   ");
  EXPECT_EQ(parsed.state.flagNoHeader, 0);
  EXPECT_EQ(parsed.state.flagChecksum, 0);
  EXPECT_STREQ(parsed.state.inputName, "in.rks");
  EXPECT_STREQ(parsed.state.outputName, "out.wav");
}

TEST(ParseCommandLine, OptionsAreToldByTheirFirstTwoCharacters) {
  Parsed combined("lentok -kx in.rks out.wav");
  EXPECT_EQ(combined.state.flagChecksum, 1);
  EXPECT_EQ(combined.state.flagNoHeader, 0);

  Parsed longer("lentok -xyz in.rks out.wav");
  EXPECT_EQ(longer.state.flagNoHeader, 1);

  Parsed upper("lentok -K -X");
  EXPECT_EQ(upper.state.flagChecksum, 0);
  EXPECT_EQ(upper.state.flagNoHeader, 0);
  EXPECT_STREQ(upper.state.inputName, "-K");
  EXPECT_STREQ(upper.state.outputName, "-X");
}

TEST(ParseCommandLine, QuotedOptionsAndLaterOptionsAreNames) {
  Parsed quoted("lentok \"-x\" out.wav");
  EXPECT_EQ(quoted.state.flagNoHeader, 0);
  EXPECT_STREQ(quoted.state.inputName, "-x");
  EXPECT_STREQ(quoted.state.outputName, "out.wav");

  Parsed later("lentok in.rks -k");
  EXPECT_EQ(later.state.flagChecksum, 0);
  EXPECT_STREQ(later.state.outputName, "-k");
}

TEST(ParseCommandLine, OnlyQuotesAtBothEndsAreRemoved) {
  Parsed parsed("lentok a\"b c\"d \"e\"f");
  EXPECT_STREQ(parsed.state.inputName, "a\"b c\"d");
  EXPECT_STREQ(parsed.state.outputName, "\"e\"f");
}

using ParseCommandLineDeathTest = ::testing::Test;

TEST_F(ParseCommandLineDeathTest, NoFileNameGivesTheUsageText) {
  for (const char* line : {"lentok", "\"c:\\my dir\\lentok.exe\"", "lentok -k", "lentok -x -k",
                           "lentok -x", "lentok -k   \t"}) {
    EXPECT_EXIT(Parsed{line}, ::testing::ExitedWithCode(1), std::string("^") + kUsageStart)
        << line;
  }
}

TEST_F(ParseCommandLineDeathTest, AMissingOrLeftOverNameGivesTheCommandLineError) {
  for (const char* line : {"lentok in.rks", "lentok -k in.rks  ", "lentok in.rks out.wav extra",
                           "lentok in.rks -x out.wav", "lentok -K"}) {
    EXPECT_EXIT(Parsed{line}, ::testing::ExitedWithCode(1),
                std::string("^") + kCommandLineErrorStart)
        << line;
  }
}

TEST_F(ParseCommandLineDeathTest, AnUncarriableCommandLineGivesTheCommandLineError) {
  ConversionState state;
  EXPECT_EXIT(ParseCommandLine(state, nullptr), ::testing::ExitedWithCode(1),
              std::string("^") + kCommandLineErrorStart);
}
