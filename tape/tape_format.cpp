// The checksum and the header's zero run: the parts of the tape format that
// are computed rather than fixed.
#include "tape/tape_checksum.h"
#include "tape/tape_format.h"

namespace {

// The monitor's header gap is 765 zero bytes shortened by the name, up to 32
// characters, so that for names up to that length the stretch from the last
// mark byte to the second sync byte is always the same. A longer name
// shortens it no further, which keeps the run between 733 and 765 bytes.
constexpr std::uint32_t kLongestZeroRun = 765;
constexpr std::uint32_t kLongestNameCredit = 32;

}  // namespace

std::uint32_t HeaderZeroRunLength(std::uint32_t nameLength) {
  return kLongestZeroRun - (nameLength < kLongestNameCredit ? nameLength : kLongestNameCredit);
}

std::uint16_t TapeChecksum(const std::uint8_t* first, const std::uint8_t* last) {
  std::uint8_t low = 0;
  std::uint8_t high = 0;
  for (; first != last; ++first) {
    const unsigned sum = low + *first;
    low = static_cast<std::uint8_t>(sum);
    high = static_cast<std::uint8_t>(high + *first + (sum >> 8));
  }
  low = static_cast<std::uint8_t>(low + *last);
  return static_cast<std::uint16_t>(high << 8 | low);
}
