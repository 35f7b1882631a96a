// Expected console texts and recordings, from the tool's documented
// behaviour rather than from its code.
#include "tests/support/expected.h"

#include <iconv.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace {

bool WantsCodePage866() {
  const char* mode = std::getenv("LENTOK_TEXTS");
  return mode != nullptr && std::string(mode) == "cp866";
}

std::string ToCodePage866(const std::string& utf8) {
  iconv_t converter = iconv_open("CP866", "UTF-8");
  if (converter == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("no CP866 in iconv");
  std::string in = utf8;
  std::string out(in.size(), '\0');
  char* source = in.data();
  char* target = out.data();
  std::size_t sourceLeft = in.size();
  std::size_t targetLeft = out.size();
  const std::size_t result = iconv(converter, &source, &sourceLeft, &target, &targetLeft);
  iconv_close(converter);
  if (result == static_cast<std::size_t>(-1)) throw std::runtime_error("not CP866: " + utf8);
  out.resize(out.size() - targetLeft);
  return out;
}

std::string WithCrLf(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

void PutSamples(Bytes& bytes, int count, int level) {
  for (int i = 0; i < count; ++i) {
    bytes.push_back(static_cast<std::uint8_t>(level & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>((level >> 8) & 0xFF));
  }
}

const std::string kUsageLines =
    "\nИспользование: lentok [-k] [-x] file.rks file.wav"
    "\n-k - внутренний расчет контрольной суммы"
    "\n-x - не создавать заголовок для монитора\n";

}  // namespace

std::string ConsoleText(const std::string& utf8, TextForm form) {
  if (form == TextForm::kDefault) form = WantsCodePage866() ? TextForm::kStored : TextForm::kUtf8;
  return form == TextForm::kStored ? WithCrLf(ToCodePage866(utf8)) : utf8;
}

std::string UsageText(TextForm form) { return ConsoleText(kUsageLines, form); }
std::string CommandLineErrorText(TextForm form) {
  return ConsoleText("\nОшибка в командной строке!" + kUsageLines, form);
}
std::string ReadErrorText(TextForm form) { return ConsoleText("\nОшибка чтения файла\n", form); }
std::string WriteErrorText(TextForm form) { return ConsoleText("\nОшибка записи файла\n", form); }

std::string Hex(unsigned value) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%X", value);
  return digits;
}

std::string ReportText(const std::string& start, const std::string& end,
                       const std::string& checksum, TextForm form) {
  return ConsoleText("\n  Начальный адрес: " + start + "h\n  Конечный  адрес: " + end +
                         "h\nКонтрольная сумма: " + checksum + "h\n",
                     form);
}

Bytes ExpectedTapeBytes(const Bytes& image, const RecordingOptions& options) {
  Bytes tape(255, 0x00);
  tape.push_back(0xE6);
  if (!options.noHeader) {
    tape.insert(tape.end(), {0xD9, 0xD9, 0xD9});
    tape.insert(tape.end(), options.tapeName.begin(), options.tapeName.end());
    const std::size_t credit = options.tapeName.size() < 32 ? options.tapeName.size() : 32;
    tape.insert(tape.end(), 765 - credit, 0x00);
    tape.push_back(0xE6);
  }
  tape.insert(tape.end(), image.begin(), image.end() - 2);
  if (options.computeChecksum) {
    const std::uint16_t sum = ReferenceChecksum(Bytes(image.begin() + 4, image.end() - 2));
    tape.push_back(static_cast<std::uint8_t>(sum));
    tape.push_back(static_cast<std::uint8_t>(sum >> 8));
  } else {
    tape.insert(tape.end(), image.end() - 2, image.end());
  }
  return tape;
}

Bytes ExpectedRecording(const Bytes& image, const RecordingOptions& options) {
  const Bytes tape = ExpectedTapeBytes(image, options);
  // 512 bytes per tape byte, and one closing half-cell of 16 samples.
  const std::uint32_t dataSize = static_cast<std::uint32_t>(tape.size()) * 512 + 32;
  Bytes wav = {'R', 'I', 'F', 'F'};
  AppendLe32(wav, dataSize + 38);
  wav.insert(wav.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 18, 0, 0, 0, 1, 0, 1, 0});
  AppendLe32(wav, 44100);
  AppendLe32(wav, 88200);
  wav.insert(wav.end(), {2, 0, 16, 0, 0, 0, 'd', 'a', 't', 'a'});
  AppendLe32(wav, dataSize);
  // Each cell: the opposite of where the last one ended, then the bit.
  int level = -32760;
  for (std::uint8_t byte : tape) {
    for (int bit = 7; bit >= 0; --bit) {
      PutSamples(wav, 16, -level);
      level = (byte >> bit & 1) ? 32760 : -32760;
      PutSamples(wav, 16, level);
    }
  }
  // The change that ends the last bit's cell, where the loader takes it.
  PutSamples(wav, 16, -level);
  return wav;
}

RecordingOptions Named(const std::string& name) {
  RecordingOptions options;
  options.tapeName = name;
  return options;
}

RecordingOptions Headerless() {
  RecordingOptions options;
  options.noHeader = true;
  return options;
}
