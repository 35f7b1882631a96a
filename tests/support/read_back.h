// Reading signals and recording files back with the reader library, and
// telling how a record read differs from the image that was recorded.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "reader/decoded_record.h"
#include "reader/recording_reader.h"
#include "tests/support/degrade.h"
#include "tests/support/test_files.h"

// Every record the tape decoder finds in a mono `signal`, fed in blocks of
// odd, changing sizes (one frame, a few, a page, more than 64 Ki frames),
// so that no record depends on where a block ends.
std::vector<reader::DecodedRecord> DecodeSignal(const degrade::Signal& signal, double sampleRate);

struct FileReadBack {
  reader::ReadError error = reader::ReadError::kNone;
  std::vector<reader::DecodedRecord> records;
};

// A whole recording file through the reading context, `blockSize` bytes at
// a time, each record as read (none combined or repaired).
FileReadBack ReadRecordingBytes(const Bytes& file, std::size_t blockSize);

// Empty when `record` gives back `image` byte for byte (addresses, every
// data byte, the checksum as stored); otherwise what differs, for a failure
// message or a table.
std::string ImageMismatch(const reader::DecodedRecord& record, const Bytes& image);

const char* StatusName(reader::RecordStatus status);
