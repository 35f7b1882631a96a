// What lentok-read's exit status says, from what a run met.
#pragma once

namespace reader_tool {

constexpr int kExitSound = 0;    // at least one record, every one sound
constexpr int kExitFailure = 1;  // command line, unreadable file, unwritable image
constexpr int kExitDamaged = 2;  // a damaged record, none at all, or --verify differs
constexpr int kExitUnreadSignal = 3;  // every record sound, but signal no record explains

struct RunTally {
  bool failed = false;          // anything that makes the status 1
  int records = 0;              // records found
  int damagedRecords = 0;       // of them, not sound
  int recordingsWithoutRecords = 0;  // read to their end without one
  bool verifyDiffers = false;
  int unreadStretches = 0;      // stretches of signal no record explains
};

// A failure outweighs damage, which outweighs unread signal, which
// outweighs success.
int ExitStatus(const RunTally& tally);

}  // namespace reader_tool
