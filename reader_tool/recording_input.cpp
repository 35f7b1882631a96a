// The read loop over a recording file and the texts of its failures.
#include "reader_tool/recording_input.h"

#include <vector>

#include "reader_tool/texts.h"

namespace reader_tool {

namespace {

TextId FileErrorId(platform::FileError error) {
  switch (error) {
    case platform::FileError::kNotFound: return TextId::kNotFound;
    case platform::FileError::kAccessDenied: return TextId::kAccessDenied;
    case platform::FileError::kAlreadyExists: return TextId::kAlreadyExists;
    case platform::FileError::kIsDirectory: return TextId::kIsDirectory;
    case platform::FileError::kNoSpace: return TextId::kNoSpace;
    case platform::FileError::kBadName: return TextId::kBadName;
    case platform::FileError::kNone:
    case platform::FileError::kOther: break;
  }
  return TextId::kInputOutputError;
}

TextId WavErrorId(formats::WavError error) {
  switch (error) {
    case formats::WavError::kNotRiff: return TextId::kWavNotRiff;
    case formats::WavError::kNotWave: return TextId::kWavNotWave;
    case formats::WavError::kNoFormatChunk: return TextId::kWavNoFormatChunk;
    case formats::WavError::kBadFormatChunk: return TextId::kWavBadFormatChunk;
    case formats::WavError::kUnsupportedEncoding: return TextId::kWavUnsupportedEncoding;
    case formats::WavError::kUnsupportedBits: return TextId::kWavUnsupportedBits;
    case formats::WavError::kUnsupportedChannels: return TextId::kWavUnsupportedChannels;
    case formats::WavError::kUnsupportedRate: return TextId::kWavUnsupportedRate;
    case formats::WavError::kNone:
    case formats::WavError::kNoData: break;
  }
  return TextId::kWavNoData;
}

std::string ReadErrorText(reader::ReadError error, const reader::RecordingReader& recording,
                          const reader::DecoderOptions& options, Language language) {
  if (error == reader::ReadError::kNoSuchChannel) {
    const auto format = recording.Format();
    const int channels = format ? format->channels : 0;
    return Say(TextId::kNoSuchChannel, language,
               {std::to_string(options.channel + 1), std::to_string(channels)});
  }
  return WavErrorText(recording.WavErrorCode(), language);
}

// Hands every completed record to the sink; false when it asked to stop.
bool Deliver(reader::RecordingReader& recording, const RecordSink& sink) {
  for (const reader::DecodedRecord& record : recording.TakeRecords()) {
    if (!sink(record)) return false;
  }
  return true;
}

}  // namespace

std::string FileErrorText(platform::FileError error, Language language) {
  return Text(FileErrorId(error), language);
}

std::string WavErrorText(formats::WavError error, Language language) {
  return Text(WavErrorId(error), language);
}

std::string DisplayName(const std::string& operand, Language language) {
  return operand == "-" ? Text(TextId::kStandardInputName, language) : operand;
}

std::string ReadRecording(const std::string& operand, const reader::DecoderOptions& options,
                          Language language, const RecordSink& sink, reader::SignalProfile* profile) {
  platform::FileError fileError = platform::FileError::kNone;
  platform::InputFile input =
      operand == "-" ? platform::InputFile::StandardInput() : platform::InputFile::Open(operand, fileError);
  if (!input.IsOpen()) return Say(TextId::kCannotRead, language, {FileErrorText(fileError, language)});

  reader::RecordingReader recording(options);
  recording.AttachProfile(profile);
  std::vector<std::uint8_t> block(kReadBlockBytes);
  for (;;) {
    const std::size_t got = input.Read(block.data(), block.size(), fileError);
    if (fileError != platform::FileError::kNone) {
      // What was read up to the failure still gives its records, the last
      // one cut short.
      recording.Finish();
      Deliver(recording, sink);
      return Say(TextId::kCannotRead, language, {FileErrorText(fileError, language)});
    }
    if (got == 0) break;
    const reader::ReadError error = recording.Feed(block.data(), got);
    const bool goOn = Deliver(recording, sink);
    if (error != reader::ReadError::kNone) return ReadErrorText(error, recording, options, language);
    if (!goOn) return "";
  }
  const reader::ReadError error = recording.Finish();
  Deliver(recording, sink);
  if (error != reader::ReadError::kNone) return ReadErrorText(error, recording, options, language);
  return "";
}

}  // namespace reader_tool
