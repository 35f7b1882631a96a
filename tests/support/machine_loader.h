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
  bool loaded = false;               // every byte came in and the checksum matched
  bool synced = false;               // a sync byte was found after a leader
  std::string name;                  // the name header's name, when there is one
  std::vector<std::uint8_t> block;   // start, end and the data, as far as they came
  std::uint16_t checksum = 0;        // as read from tape
};

// Plays `signal` (mono, full scale at -1 and 1) into the loader, which
// expects the name header when `withHeader`.
Load LoadOnMachine(const std::vector<float>& signal, double sampleRate, bool withHeader);

}  // namespace machine
