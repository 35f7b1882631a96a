// Reading one recording (a file or standard input) in blocks through the
// WAV reader or the audio library, handing out each record as soon as it
// is complete, and saying in words why a file could not be read.
#pragma once

#include <functional>
#include <string>

#include "formats/wav_reader.h"
#include "platform/files.h"
#include "reader/decoder_options.h"
#include "reader/read_context.h"
#include "reader_tool/record_report.h"

namespace reader_tool {

// Bytes read from the file at a time: memory stays the same however long
// the recording, and a read costs little beside the decoding of its bytes.
constexpr std::size_t kReadBlockBytes = 32 * 1024;

// Reads `operand` ("-" for standard input) into `context`, whose recording
// the caller has begun, to its end, or until `goOn`, asked after each
// block, says stop: RIFF/WAVE through the WAV reader, FLAC, Ogg Vorbis, Ogg
// Opus, MP3, AIFF/AIFC and W64 through the audio library, told apart by
// their first bytes. Returns "" when the whole file was read (or reading
// was stopped), or else why not, in `language` (for a damaged stream,
// where it broke). The caller ends the recording. (In recording_read.cpp.)
std::string ReadRecording(const std::string& operand, const reader::DecoderOptions& options, Language language,
                          reader::ReadContext& context, const std::function<bool()>& goOn);

// The reasons, in words.
std::string FileErrorText(platform::FileError error, Language language);
std::string WavErrorText(formats::WavError error, Language language);

// How the user is shown `operand` in messages: "standard input" for "-".
std::string DisplayName(const std::string& operand, Language language);

}  // namespace reader_tool
