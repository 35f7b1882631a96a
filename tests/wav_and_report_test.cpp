// The WAV header and its patch, the report, and the console texts.
#include <gtest/gtest.h>

#include <unistd.h>

#include <string>

#include "app/console_texts.h"
#include "formats/wav_file.h"
#include "platform/console_text.h"
#include "platform/platform.h"
#include "tests/support/test_files.h"

namespace {

std::uint32_t Le32At(const Bytes& bytes, std::size_t offset) {
  return bytes[offset] | bytes[offset + 1] << 8 | bytes[offset + 2] << 16 |
         static_cast<std::uint32_t>(bytes[offset + 3]) << 24;
}

std::string Utf8Of(const char* text) {
  std::string out(std::string(text).size() * 3, '\0');
  out.resize(Cp866ToUtf8(text, std::string(text).size(), out.data()));
  return out;
}

platform::FileHandle CreateOutput(const std::string& path) {
  return platform::CreateFileA(path.c_str(), platform::kGenericWrite, platform::kNoSharing,
                               platform::kCreateAlways, platform::kFileAttributeNormal);
}

}  // namespace

TEST(WavHeader, TemplateBytes) {
  const Bytes expected = {
      'R', 'I', 'F', 'F', 0xF8, 0xDF, 0xBF, 0xFF, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ',
      18,  0,   0,   0,   1,    0,    1,    0,    0x44, 0xAC, 0, 0, 0x88, 0x58, 1, 0,
      2,   0,   16,  0,   0,    0,    'd',  'a',  't', 'a', 0xD2, 0xDF, 0xBF, 0xFF};
  EXPECT_EQ(Bytes(kWavHeaderTemplate.begin(), kWavHeaderTemplate.end()), expected);
}

TEST(WavHeader, PatchedSizesFollowTheFileLength) {
  TempDir dir;
  ConversionState state;
  state.outputHandle = CreateOutput(dir / "out.wav");
  ASSERT_NE(state.outputHandle, platform::kInvalidHandle);
  ASSERT_EQ(WriteWavHeader(state), 0u);
  const Bytes samples(1024, 0x5A);
  platform::WriteFile(state.outputHandle, samples.data(), 1024, &state.transferCount);
  ASSERT_EQ(PatchWavSizes(state), 0u);
  platform::CloseHandle(state.outputHandle);

  const Bytes file = ReadBytes(dir / "out.wav");
  ASSERT_EQ(file.size(), 46u + 1024u);
  EXPECT_EQ(Le32At(file, 4), file.size() - 8);
  EXPECT_EQ(Le32At(file, 42), 1024u);
  EXPECT_EQ(file.back(), 0x5A);  // nothing appended after the samples
}

TEST(WavHeader, AnOutputWithoutPositionKeepsThePlaceholders) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  ConversionState state;
  state.outputHandle = static_cast<platform::FileHandle>(fds[1]);
  ASSERT_EQ(WriteWavHeader(state), 0u);
  EXPECT_EQ(PatchWavSizes(state), 0u);
  close(fds[1]);
  std::uint8_t stream[64];
  EXPECT_EQ(read(fds[0], stream, sizeof stream), 46);  // the header alone
  close(fds[0]);
  EXPECT_EQ(Bytes(stream, stream + 46), Bytes(kWavHeaderTemplate.begin(), kWavHeaderTemplate.end()));
}

TEST(WavHeader, AFailedHeaderWriteIsAShortfall) {
  ConversionState state;
  state.outputHandle = CreateOutput("/dev/full");
  ASSERT_NE(state.outputHandle, platform::kInvalidHandle);
  // Held back, the header fails at the latest when the sizes are patched.
  EXPECT_TRUE(WriteWavHeader(state) != 0 || PatchWavSizes(state) != 0);
  platform::CloseHandle(state.outputHandle);
}

TEST(AppendHex, UpperCaseWithoutLeadingZeros) {
  char text[16];
  const auto hex = [&](std::uint32_t value) { return std::string(text, AppendHex(value, text)); };
  EXPECT_EQ(hex(0), "0");
  EXPECT_EQ(hex(0x0C00), "C00");
  EXPECT_EQ(hex(0xABCDEF), "ABCDEF");
  EXPECT_EQ(hex(0xFFFFFFFF), "FFFFFFFF");
  EXPECT_EQ(hex(0x10), "10");
}

TEST(Report, ColumnsAndLength) {
  char report[128];
  const std::uint32_t length = BuildReport(0x0000, 0x0123, 0x1A2B, report);
  EXPECT_EQ(length, 76u);
  EXPECT_EQ(std::string(report, 2), "\r\n");
  EXPECT_EQ(Utf8Of(std::string(report, length).c_str()),
            "\n  Начальный адрес: 0h\n  Конечный  адрес: 123h\nКонтрольная сумма: 1A2Bh\n");
}

TEST(ConsoleTexts, StoredInCodePage866WithCrLf) {
  EXPECT_EQ(std::string(texts::kReadError),
            "\r\n\x8E\xE8\xA8\xA1\xAA\xA0 \xE7\xE2\xA5\xAD\xA8\xEF \xE4\xA0\xA9\xAB\xA0\r\n");
  EXPECT_EQ(Utf8Of(texts::kWriteError), "\nОшибка записи файла\n");
  EXPECT_EQ(Utf8Of(texts::kCommandLineError),
            "\nОшибка в командной строке!"
            "\nИспользование: lentok [-k] [-x] file.rks file.wav"
            "\n-k - внутренний расчет контрольной суммы"
            "\n-x - не создавать заголовок для монитора\n");
  // The usage text is the tail of the command-line error, from its second line end.
  EXPECT_EQ(std::string(texts::kUsage).substr(0, 4), "\r\n\x88\xE1");
  EXPECT_EQ(Utf8Of(texts::kUsage).rfind("\nИспользование", 0), 0u);
}

TEST(ConsoleTexts, Cp866ConversionCoversTheWholeUpperHalf) {
  // Ё and ё sit apart from the rest of the alphabet; a lone CR is kept.
  EXPECT_EQ(Utf8Of("\xF0\xF1\xB0\xFF\r x\r\n"), "Ёё░\u00A0\r x\n");
}
