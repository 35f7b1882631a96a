// A model of the machine's own tape loader, written from how the loader was
// measured to behave rather than from the reader's code, so that it can
// judge both the writer's recordings and the reader's verdicts.
//
// The loader follows level changes. After it takes a change it ignores the
// line for a fixed time, then takes the next change; the bit is the level
// that change ends. A change that comes just after the ignored time, while
// the loader is still reacting to the last one, is seen late, after the
// line has moved, and gives the wrong bit. So a recording loads only while every half-cell is shorter
// than the ignored time and every cell longer than that time plus the
// reaction: measured, cells of about 650 to 1010 microseconds.
//
// The later monitor also reads by name: the user types a name, and the
// loader reads each header it meets (D9h three times, the name, the zeros
// and a second sync byte) and compares the name with the one typed. On a
// mismatch it goes back to searching for a leader, as at the start of a
// read, and the program's data passes by unread.
//
// The earlier monitor, and the compatible machine's, read leader, sync
// byte, start and end address and the data: no header, and nothing after
// the data is read. Given a name header, they take its marks and name for
// the addresses and wait for bytes that never come.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace machine {

// The loader's timing, as measured by changing a recording's playback speed
// (it loads from 0.72 to 1.11 times the writer's speed and fails at 0.70
// and 1.14): the delay itself is about 490 microseconds, and with the time
// the loader takes to notice a change a half-cell of up to 510 still falls
// inside it.
constexpr double kIgnoredSeconds = 510e-6;
constexpr double kReactionSeconds = 140e-6;

struct Load {
  bool loaded = false;               // every byte came in and the checksum matched (the earlier read: no checksum)
  bool synced = false;               // a sync byte was found after a leader
  std::string name;                  // the name header's name, when there is one
  std::vector<std::uint8_t> block;   // start, end and the data, as far as they came
  std::uint16_t checksum = 0;        // as read from tape
  // The named read: the names of the headers it read and passed by, in
  // the order it met them.
  std::vector<std::string> passed;
};

// The bits the loader takes from a signal (mono, full scale at -1 and 1),
// in runs: a run ends where the line fell silent long enough for the
// loader to start over. Taken once, they serve any number of reads.
struct TakenBits {
  std::vector<std::vector<int>> runs;
};
TakenBits TakeBits(const std::vector<float>& signal, double sampleRate);

// Plays `signal` into the loader, which expects the name header when
// `withHeader`: the first program it loads, or else the first it found.
Load LoadOnMachine(const std::vector<float>& signal, double sampleRate, bool withHeader);
Load LoadOnMachine(const TakenBits& bits, bool withHeader);

// The named read with `name` typed: the program whose header carries that
// name exactly, loaded or failing as the loader reads it; with nothing
// synced when no header carries it.
Load LoadByName(const TakenBits& bits, const std::string& name);

// The earlier monitor's read: the first block whose data all came in.
Load LoadOnEarlierMonitor(const TakenBits& bits);

}  // namespace machine
