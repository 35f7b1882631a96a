// The conversion run from start to end, and its single failure exit.
#pragma once

#include "app/conversion_state.h"
#include "tape/tape_signal.h"

// Writes `message` to standard error, closes the open files and ends the
// process with status 1. The output keeps whatever was written to it.
[[noreturn]] void ReportFailure(ConversionState& state, const char* message);

// Parses the command line, reads the image, converts it into the WAV file,
// prints the report and ends the process with status 0; every failure, a
// report that could not be written whole among them, ends it through
// ReportFailure.
[[noreturn]] void RunConversion(ConversionState& state, TapeSignal& signal);
