// A recording in one of the library-decoded formats, read to its end: the
// decoded frames go on to a tape decoder made for the stream's rate and
// channels, block by block, and each record is handed out as it completes.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "decoding/audio_stream.h"
#include "decoding/byte_source.h"
#include "reader/decoded_record.h"
#include "reader/tape_decoder.h"

namespace decoding {

// Frames decoded at a time: memory stays the same however long the stream.
constexpr std::size_t kDecodeBlockFrames = 4096;

struct AudioReadResult {
  StreamProblem problem;       // error kNone: read to the end (or stopped)
  bool noSuchChannel = false;  // options.channel is not one of the stream's
  StreamFormat format;         // once the header was read
};

// Gets each record as it completes; returns false to stop reading.
using AudioRecordSink = std::function<bool(const reader::DecodedRecord&)>;

// Opens `stream` and checks that it has the channel `options` asks for;
// false, with `result` saying why, when it cannot be read. `result` takes
// the stream's format either way.
bool OpenForReading(AudioStream& stream, const reader::DecoderOptions& options, AudioReadResult& result);

// Hands every record the decoder has completed to the sink; false when it
// asked to stop.
bool DeliverRecords(reader::TapeDecoder& decoder, const AudioRecordSink& sink);

// Reads the stream whose first bytes are `head` and the rest `source`.
// Records found before a failure are handed out all the same, the one
// being read when it came as cut short.
AudioReadResult ReadAudioRecording(ByteSource& source, std::vector<std::uint8_t> head,
                                   const reader::DecoderOptions& options, const AudioRecordSink& sink);

}  // namespace decoding
