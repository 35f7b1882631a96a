// Checks of the Windows console presentation, built by the mingw cross
// builds and run under wine (GoogleTest is not packaged for mingw, so this is
// a plain program: it prints each failed check and exits with status 1).
//
// The system's code page 866 table and the table of the POSIX presentation
// are independent, so each byte is checked against both.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <cwchar>

#include "app/console_texts.h"
#include "platform/console_text.h"
#include "platform/win32_console.h"

namespace {

int checks = 0;
int failures = 0;

void Check(bool passed, const char* what, unsigned detail = 0) {
  ++checks;
  if (passed) return;
  ++failures;
  std::printf("FAILED: %s (%u)\n", what, detail);
}

// Files, pipes and code page 866 consoles get the stored bytes; every other
// console gets the converted text.
void CheckWhenTextsAreConverted() {
  struct Case {
    bool isConsole;
    std::uint32_t codePage;
    bool converted;
  };
  const Case cases[] = {{false, 437, false}, {false, 866, false}, {false, 65001, false},
                        {true, 866, false},  {true, 437, true},   {true, 1251, true},
                        {true, 65001, true}};
  for (const Case& c : cases) {
    Check(platform::ConsoleNeedsConversion(c.isConsole, c.codePage) == c.converted,
          "choice of presentation for code page", c.codePage);
  }
}

// Every byte gives the same character through the system's table as through
// the table the POSIX build uses.
void CheckEveryByteAgreesWithThePosixTable() {
  for (unsigned byte = 1; byte < 256; ++byte) {
    const char stored = static_cast<char>(byte);
    wchar_t wide[2] = {};
    const std::uint32_t units = platform::StoredTextToWide(&stored, 1, wide, 2);
    Check(units == 1, "one unit per stored byte", byte);

    char fromSystem[8] = {};
    const int systemLength =
        ::WideCharToMultiByte(CP_UTF8, 0, wide, 1, fromSystem, sizeof fromSystem, nullptr, nullptr);
    char fromTable[8] = {};
    const std::size_t tableLength = Cp866ToUtf8(&stored, 1, fromTable);
    Check(systemLength > 0 && static_cast<std::size_t>(systemLength) == tableLength &&
              std::memcmp(fromSystem, fromTable, tableLength) == 0,
          "system and POSIX tables agree on byte", byte);
  }
}

bool ConvertsTo(const char* stored, const wchar_t* expected) {
  wchar_t wide[256] = {};
  const auto length = static_cast<std::uint32_t>(std::strlen(stored));
  const std::uint32_t units = platform::StoredTextToWide(stored, length, wide, 256);
  return units == std::wcslen(expected) && std::wmemcmp(wide, expected, units) == 0;
}

// The texts a user reads, CR LF kept for the console.
void CheckTheStoredTextsReadRight() {
  Check(ConvertsTo(texts::kReadError, L"\r\nОшибка чтения файла\r\n"), "read error");
  Check(ConvertsTo(texts::kWriteError, L"\r\nОшибка записи файла\r\n"), "write error");
  Check(ConvertsTo(texts::kUsage,
                   L"\r\nИспользование: lentok [-k] [-x] file.rks file.wav"
                   L"\r\n-k - внутренний расчет контрольной суммы"
                   L"\r\n-x - не создавать заголовок для монитора\r\n"),
        "usage");
  char report[128];
  const std::uint32_t length = BuildReport(0xC000, 0xC3FF, 0x1A2B, report);
  report[length] = '\0';
  Check(ConvertsTo(report,
                   L"\r\n  Начальный адрес: C000h\r\n  Конечный  адрес: C3FFh"
                   L"\r\nКонтрольная сумма: 1A2Bh\r\n"),
        "report");
}

// Nothing is written past the room given, and an empty text gives nothing.
void CheckTheRoomIsRespected() {
  const char stored[] = "\x8E\xE8\xA8\xA1\xAA\xA0";
  wchar_t wide[8];
  for (wchar_t& unit : wide) unit = L'#';
  Check(platform::StoredTextToWide(stored, 6, wide, 5) == 0, "a text longer than the room");
  Check(wide[5] == L'#', "nothing written beyond the room");
  Check(platform::StoredTextToWide(stored, 0, wide, 8) == 0, "an empty text");
  Check(platform::StoredTextToWide(stored, 6, wide, 6) == 6 && wide[0] == L'О' && wide[5] == L'а',
        "a text that just fits");
}

}  // namespace

int main() {
  CheckWhenTextsAreConverted();
  CheckEveryByteAgreesWithThePosixTable();
  CheckTheStoredTextsReadRight();
  CheckTheRoomIsRespected();
  std::printf("%d checks, %d failed\n", checks, failures);
  return failures == 0 ? 0 : 1;
}
