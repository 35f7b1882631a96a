// A recording file read as a stream of bytes: the WAV reader and the tape
// decoder joined, so that a caller hands in the file's bytes as they come
// (a file, standard input, a browser's file) and takes records out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "formats/wav_reader.h"
#include "reader/decoded_record.h"
#include "reader/signal_profile.h"
#include "reader/tape_decoder.h"

namespace reader {

enum class ReadError {
  kNone,
  kWav,               // the WAV reader refused the file; see WavErrorCode()
  kNoSuchChannel,     // options.channel is not below the file's channels
                      // (or is below -1)
};

class RecordingReader {
 public:
  explicit RecordingReader(DecoderOptions options = {});

  // The next bytes of the file. After an error, later calls return it again.
  ReadError Feed(const std::uint8_t* bytes, std::size_t count);
  // The file has ended.
  ReadError Finish();

  std::vector<DecodedRecord> TakeRecords();
  // Signal no record explains, as the tape decoder tells of it.
  std::vector<UnreadStretch> TakeUnread();
  // The tape decoder's frames of candidate stretches go to `sink`.
  void AttachUnreadSink(UnreadSink* sink);

  // Every frame read from now on also goes to `profile` (the channel read,
  // or all of them), which must outlive the reader; null stops it.
  void AttachProfile(SignalProfile* profile) { profile_ = profile; }

  formats::WavError WavErrorCode() const;
  // The format, once the file's fmt chunk has been read.
  std::optional<formats::WavFormat> Format() const;

 private:
  // The input is handed to the WAV reader in slices of at most this many
  // bytes, so the frame buffer stays small however large a block the
  // caller gives.
  static constexpr std::size_t kSliceBytes = 16384;

  ReadError FeedSlice(const std::uint8_t* bytes, std::size_t count);
  ReadError StartDecoder();
  ReadError Fail(ReadError error);

  DecoderOptions options_;
  formats::WavStreamReader wav_;
  formats::WavError wavError_ = formats::WavError::kNone;
  std::optional<TapeDecoder> decoder_;  // made once the format is known
  std::vector<float> frames_;           // reused for every slice
  SignalProfile* profile_ = nullptr;
  UnreadSink* unreadSink_ = nullptr;
  ReadError error_ = ReadError::kNone;
};

}  // namespace reader
