// The recording reader: the file's bytes go through the WAV reader, and the
// frames it gives go straight on to a tape decoder made for the file's rate
// and channels. Nothing but one slice's frames is held between the two.
#include "reader/recording_reader.h"

#include <algorithm>

namespace reader {

RecordingReader::RecordingReader(DecoderOptions options) : options_(options) {}

ReadError RecordingReader::Feed(const std::uint8_t* bytes, std::size_t count) {
  while (count > 0 && error_ == ReadError::kNone) {
    const std::size_t slice = std::min(count, kSliceBytes);
    FeedSlice(bytes, slice);
    bytes += slice;
    count -= slice;
  }
  return error_;
}

ReadError RecordingReader::Finish() {
  if (error_ != ReadError::kNone) return error_;
  wavError_ = wav_.Finish();
  if (wavError_ != formats::WavError::kNone) return Fail(ReadError::kWav);
  if (decoder_) decoder_->Finish();
  return ReadError::kNone;
}

std::vector<DecodedRecord> RecordingReader::TakeRecords() {
  return decoder_ ? decoder_->TakeRecords() : std::vector<DecodedRecord>{};
}

std::vector<UnreadStretch> RecordingReader::TakeUnread() {
  return decoder_ ? decoder_->TakeUnread() : std::vector<UnreadStretch>{};
}

void RecordingReader::AttachUnreadSink(UnreadSink* sink) {
  unreadSink_ = sink;
  if (decoder_) decoder_->AttachUnreadSink(sink);
}

formats::WavError RecordingReader::WavErrorCode() const { return wavError_; }

std::optional<formats::WavFormat> RecordingReader::Format() const {
  if (!wav_.HasFormat()) return std::nullopt;
  return wav_.Format();
}

ReadError RecordingReader::FeedSlice(const std::uint8_t* bytes, std::size_t count) {
  frames_.clear();
  wavError_ = wav_.Feed(bytes, count, frames_);
  if (wavError_ != formats::WavError::kNone) return Fail(ReadError::kWav);
  if (!decoder_ && wav_.HasFormat() && StartDecoder() != ReadError::kNone) return error_;
  if (frames_.empty()) return ReadError::kNone;
  const int channels = wav_.Format().channels;
  const std::size_t frames = frames_.size() / static_cast<std::size_t>(channels);
  decoder_->Feed(frames_.data(), frames);
  if (profile_ != nullptr) {
    profile_->SetSampleRate(static_cast<double>(wav_.Format().sampleRate));
    profile_->Feed(frames_.data(), frames, channels, options_.channel);
  }
  return ReadError::kNone;
}

ReadError RecordingReader::StartDecoder() {
  const formats::WavFormat& format = wav_.Format();
  if (options_.channel < -1 || options_.channel >= format.channels)
    return Fail(ReadError::kNoSuchChannel);
  decoder_.emplace(static_cast<double>(format.sampleRate), format.channels, options_);
  decoder_->AttachUnreadSink(unreadSink_);
  return ReadError::kNone;
}

ReadError RecordingReader::Fail(ReadError error) {
  error_ = error;
  return error_;
}

}  // namespace reader
