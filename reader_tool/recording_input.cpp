// The texts of the failures to read a recording; the read loop itself is
// in recording_read.cpp, apart, so that the page can take these texts
// without the audio library the loop links.
#include "reader_tool/recording_input.h"

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

}  // namespace reader_tool
