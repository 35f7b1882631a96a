// The console texts in their stored form (code page 866, CR LF) and the
// report. The Russian wording is given beside each string.
#include "app/console_texts.h"

#include <cstring>

namespace texts {

#define LENTOK_CRLF "\r\n"

// "Ошибка в командной строке!" followed by the usage lines:
// "Использование: lentok [-k] [-x] file.rks file.wav"
// "-k - внутренний расчет контрольной суммы"
// "-x - не создавать заголовок для монитора"
const char kCommandLineError[] =
    LENTOK_CRLF
    "\x8E\xE8\xA8\xA1\xAA\xA0 \xA2 \xAA\xAE\xAC\xA0\xAD\xA4\xAD\xAE\xA9 "
    "\xE1\xE2\xE0\xAE\xAA\xA5!" LENTOK_CRLF
    "\x88\xE1\xAF\xAE\xAB\xEC\xA7\xAE\xA2\xA0\xAD\xA8\xA5: "
    "lentok [-k] [-x] file.rks file.wav" LENTOK_CRLF
    "-k - \xA2\xAD\xE3\xE2\xE0\xA5\xAD\xAD\xA8\xA9 \xE0\xA0\xE1\xE7\xA5\xE2 "
    "\xAA\xAE\xAD\xE2\xE0\xAE\xAB\xEC\xAD\xAE\xA9 \xE1\xE3\xAC\xAC\xEB" LENTOK_CRLF
    "-x - \xAD\xA5 \xE1\xAE\xA7\xA4\xA0\xA2\xA0\xE2\xEC "
    "\xA7\xA0\xA3\xAE\xAB\xAE\xA2\xAE\xAA \xA4\xAB\xEF "
    "\xAC\xAE\xAD\xA8\xE2\xAE\xE0\xA0" LENTOK_CRLF;

// The usage text starts at the second line end of the command-line error:
// 2 bytes of CR LF and the 26 bytes of the error line.
const char* const kUsage = kCommandLineError + 2 + 26;

// "Ошибка чтения файла"
const char kReadError[] =
    LENTOK_CRLF "\x8E\xE8\xA8\xA1\xAA\xA0 \xE7\xE2\xA5\xAD\xA8\xEF "
                "\xE4\xA0\xA9\xAB\xA0" LENTOK_CRLF;

// "Ошибка записи файла"
const char kWriteError[] =
    LENTOK_CRLF "\x8E\xE8\xA8\xA1\xAA\xA0 \xA7\xA0\xAF\xA8\xE1\xA8 "
                "\xE4\xA0\xA9\xAB\xA0" LENTOK_CRLF;

}  // namespace texts

namespace {

// The three labels are 19 bytes each, so the numbers stand in one column.
// "  Начальный адрес: "
const char kStartLabel[] =
    "  \x8D\xA0\xE7\xA0\xAB\xEC\xAD\xEB\xA9 \xA0\xA4\xE0\xA5\xE1: ";
// "  Конечный  адрес: "
const char kEndLabel[] = "  \x8A\xAE\xAD\xA5\xE7\xAD\xEB\xA9  \xA0\xA4\xE0\xA5\xE1: ";
// "Контрольная сумма: "
const char kChecksumLabel[] =
    "\x8A\xAE\xAD\xE2\xE0\xAE\xAB\xEC\xAD\xA0\xEF \xE1\xE3\xAC\xAC\xA0: ";

char* AppendText(const char* text, char* destination) {
  const std::size_t length = std::strlen(text);
  std::memcpy(destination, text, length);
  return destination + length;
}

char* AppendReportLine(const char* label, std::uint32_t value, char* destination) {
  destination = AppendText(LENTOK_CRLF, destination);
  destination = AppendText(label, destination);
  destination = AppendHex(value, destination);
  return AppendText("h", destination);
}

}  // namespace

char* AppendHex(std::uint32_t value, char* destination) {
  char digits[8];
  int count = 0;
  do {
    digits[count++] = "0123456789ABCDEF"[value & 0xF];
    value >>= 4;
  } while (value != 0);
  while (count > 0) *destination++ = digits[--count];
  return destination;
}

std::uint32_t BuildReport(std::uint16_t startAddress, std::uint16_t endAddress,
                          std::uint32_t checksum, char* destination) {
  char* position = AppendReportLine(kStartLabel, startAddress, destination);
  position = AppendReportLine(kEndLabel, endAddress, position);
  position = AppendReportLine(kChecksumLabel, checksum, position);
  position = AppendText(LENTOK_CRLF, position);
  return static_cast<std::uint32_t>(position - destination);
}
