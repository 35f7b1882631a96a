// What goes on tape for one image, in order: the leader, a sync byte, the
// name header for the monitor (unless -x), the data block, the checksum and
// the half-cell that closes its last bit.
#pragma once

#include <cstdint>

#include "app/conversion_state.h"
#include "tape/tape_checksum.h"
#include "tape/tape_format.h"
#include "tape/tape_signal.h"

// Puts the whole record on tape and sets state.checksum to the word sent.
// Ends the run with the write error on the first short write.
void PlayTapeRecord(ConversionState& state, TapeSignal& signal);
