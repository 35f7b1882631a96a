// The machine's loader as a rule over level changes, then its byte logic.
#include "tests/support/machine_loader.h"

#include <cstddef>
#include <optional>

namespace machine {

namespace {

// The input compares the line with a small threshold either side of zero,
// so silence after the last sample changes nothing.
constexpr float kThreshold = 0.05f;
// A line quiet this long means the tape stopped: the loader starts over.
constexpr double kSilenceSeconds = 0.005;
constexpr std::uint8_t kSync = 0xE6;

struct Change {
  double seconds;
  bool levelBefore;  // high before the change
};

std::vector<Change> LevelChanges(const std::vector<float>& signal, double sampleRate) {
  std::vector<Change> changes;
  std::optional<bool> level;
  for (std::size_t i = 0; i < signal.size(); ++i) {
    const float x = signal[i];
    if (x > kThreshold || x < -kThreshold) {
      const bool high = x > 0;
      if (level && *level != high) {
        // Where the line crossed the threshold between the two samples: the
        // machine's input is continuous, and the window's edges are only a
        // sample or two wide at this rate.
        const float edge = high ? kThreshold : -kThreshold;
        const float before = i > 0 ? signal[i - 1] : edge;
        const double fraction = before == x ? 1.0 : (edge - before) / (x - before);
        changes.push_back({(static_cast<double>(i) - 1 + fraction) / sampleRate, *level});
      }
      level = high;
    }
  }
  return changes;
}

// The bits the loader takes, in runs: a run ends where the line was silent
// long enough for the loader to start over.
std::vector<std::vector<int>> BitRuns(const std::vector<Change>& changes) {
  std::vector<std::vector<int>> runs;
  std::optional<double> last;  // the last change seen, for silence
  double ignoredUntil = 0;     // changes before this go unseen
  double readyAt = 0;          // a change before this is taken late
  for (const Change& change : changes) {
    const double at = change.seconds;
    const bool fresh = !last || at - *last > kSilenceSeconds;
    last = at;
    double takenAt = at;
    if (fresh) {
      runs.emplace_back();  // the first change after silence only arms it
    } else if (at < ignoredUntil) {
      continue;
    } else if (at < readyAt) {
      // Still reacting to the last bit: the loader sees this change only
      // once it is ready, when the line has already moved, and takes the
      // level after it.
      runs.back().push_back(change.levelBefore ? 0 : 1);
      takenAt = readyAt;
    } else {
      runs.back().push_back(change.levelBefore ? 1 : 0);
    }
    ignoredUntil = takenAt + kIgnoredSeconds;
    readyAt = ignoredUntil + kReactionSeconds;
  }
  return runs;
}

class Bits {
 public:
  explicit Bits(const std::vector<int>& bits) : bits_(bits) {}

  // The next sync byte. The first of a search, in either polarity, must
  // come after at least a byte's worth of leader cells (whichever way the
  // loader fell in with them), and the polarity it shows holds from then
  // on; a later one is searched in that polarity.
  bool FindSync() {
    unsigned window = 0;
    std::size_t taken = 0;
    for (; position_ < bits_.size(); ++position_, ++taken) {
      window = ((window << 1) | Bit(position_)) & 0xFF;
      if (!polaritySet_) {
        if (position_ + 1 - searchStart_ < 16) continue;
        if (window == (~kSync & 0xFFu)) {
          inverted_ = true;
          window = kSync;
        }
      }
      if (taken + 1 < 8 || window != kSync) continue;
      polaritySet_ = true;
      ++position_;
      return true;
    }
    return false;
  }

  std::optional<std::uint8_t> Byte() {
    if (position_ + 8 > bits_.size()) return std::nullopt;
    unsigned value = 0;
    for (int i = 0; i < 8; ++i) value = value << 1 | Bit(position_++);
    return static_cast<std::uint8_t>(value);
  }

  // Back to searching for a leader from here on, as at the start of a
  // read: the polarity is open again.
  void SearchAgain() {
    searchStart_ = position_;
    inverted_ = false;
    polaritySet_ = false;
  }

 private:
  unsigned Bit(std::size_t at) const { return static_cast<unsigned>(bits_[at] ^ (inverted_ ? 1 : 0)); }

  const std::vector<int>& bits_;
  std::size_t position_ = 0;
  std::size_t searchStart_ = 0;  // where the current search for a leader began
  bool inverted_ = false;
  bool polaritySet_ = false;
};

std::uint16_t Checksum(const std::vector<std::uint8_t>& data) {
  std::uint8_t low = 0;
  std::uint8_t high = 0;
  for (std::size_t i = 0; i + 1 < data.size(); ++i) {
    const unsigned sum = low + data[i];
    low = static_cast<std::uint8_t>(sum);
    high = static_cast<std::uint8_t>(high + data[i] + (sum >> 8));
  }
  if (!data.empty()) low = static_cast<std::uint8_t>(low + data.back());
  return static_cast<std::uint16_t>(high << 8 | low);
}

// The addresses and the data after the last sync byte; false when the run
// ends first. The earlier monitors count the bytes from start to end round
// the address space, the later one stops at once when the end is below the
// start.
bool ReadAddressesAndData(Bits& bits, Load& load, bool wrapping) {
  for (int i = 0; i < 4; ++i) {
    const auto byte = bits.Byte();
    if (!byte) return false;
    load.block.push_back(*byte);
  }
  const unsigned start = load.block[0] | load.block[1] << 8;
  const unsigned end = load.block[2] | load.block[3] << 8;
  const unsigned count = wrapping ? ((end - start) & 0xFFFFu) + 1 : end >= start ? end - start + 1 : 0;
  for (unsigned i = 0; i < count; ++i) {
    const auto byte = bits.Byte();
    if (!byte) return false;
    load.block.push_back(*byte);
  }
  return true;
}

// The later monitor's block: addresses, data and checksum.
void ReadBlock(Bits& bits, Load& load) {
  if (!ReadAddressesAndData(bits, load, false)) return;
  const auto low = bits.Byte();
  const auto high = bits.Byte();
  if (!low || !high) return;
  load.checksum = static_cast<std::uint16_t>(*low | *high << 8);
  const std::vector<std::uint8_t> data(load.block.begin() + 4, load.block.end());
  load.loaded = load.checksum == Checksum(data);
}

// The earlier monitors' block: addresses and data; nothing after it is read.
void ReadEarlierBlock(Bits& bits, Load& load) { load.loaded = ReadAddressesAndData(bits, load, true); }

// The header's marks and name, up to the zero that ends the name; nullopt
// when the marks are not there or the run ends first.
std::optional<std::string> ReadHeaderName(Bits& bits) {
  for (int i = 0; i < 3; ++i) {
    if (bits.Byte() != 0xD9) return std::nullopt;
  }
  std::string name;
  for (auto byte = bits.Byte();; byte = bits.Byte()) {
    if (!byte) return std::nullopt;
    if (*byte == 0) return name;
    name.push_back(static_cast<char>(*byte));
  }
}

Load LoadRun(const std::vector<int>& run, bool withHeader) {
  Load load;
  Bits bits(run);
  if (!bits.FindSync()) return load;
  load.synced = true;
  if (withHeader) {
    for (int i = 0; i < 3; ++i) {
      if (bits.Byte() != 0xD9) return load;
    }
    for (auto byte = bits.Byte(); byte && *byte != 0; byte = bits.Byte()) {
      load.name.push_back(static_cast<char>(*byte));
    }
    if (!bits.FindSync()) return load;
  }
  ReadBlock(bits, load);
  return load;
}

// The named read over one run: every sync byte found starts a header; one
// that is not a header, or carries another name, sends the loader back to
// searching for a leader. Nullopt when the run ends before the name.
std::optional<Load> LoadNamedInRun(const std::vector<int>& run, const std::string& typed,
                                   std::vector<std::string>& passed) {
  Bits bits(run);
  while (bits.FindSync()) {
    const std::optional<std::string> name = ReadHeaderName(bits);
    if (!name) {
      bits.SearchAgain();
      continue;
    }
    if (!bits.FindSync()) return std::nullopt;
    if (*name != typed) {
      passed.push_back(*name);
      bits.SearchAgain();
      continue;
    }
    Load load;
    load.synced = true;
    load.name = *name;
    ReadBlock(bits, load);
    return load;
  }
  return std::nullopt;
}

}  // namespace

TakenBits TakeBits(const std::vector<float>& signal, double sampleRate) {
  return TakenBits{BitRuns(LevelChanges(signal, sampleRate))};
}

Load LoadOnMachine(const TakenBits& bits, bool withHeader) {
  Load best;
  for (const std::vector<int>& run : bits.runs) {
    Load load = LoadRun(run, withHeader);
    if (load.loaded) return load;
    if (load.synced && !best.synced) best = std::move(load);
  }
  return best;
}

Load LoadOnMachine(const std::vector<float>& signal, double sampleRate, bool withHeader) {
  return LoadOnMachine(TakeBits(signal, sampleRate), withHeader);
}

Load LoadOnEarlierMonitor(const TakenBits& bits) {
  Load best;
  for (const std::vector<int>& run : bits.runs) {
    Load load;
    Bits reader(run);
    if (!reader.FindSync()) continue;
    load.synced = true;
    ReadEarlierBlock(reader, load);
    if (load.loaded) return load;
    if (!best.synced) best = std::move(load);
  }
  return best;
}

Load LoadByName(const TakenBits& bits, const std::string& name) {
  std::vector<std::string> passed;
  for (const std::vector<int>& run : bits.runs) {
    std::optional<Load> load = LoadNamedInRun(run, name, passed);
    if (load) {
      load->passed = std::move(passed);
      return *load;
    }
  }
  Load none;
  none.passed = std::move(passed);
  return none;
}

}  // namespace machine
