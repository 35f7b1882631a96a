// The run: command line, open both files, read the image whole, write the
// WAV header, play the tape record, patch the sizes, report, close.
#include "app/conversion_run.h"

#include "app/command_line.h"
#include "app/console_texts.h"
#include "formats/tape_image.h"
#include "formats/wav_file.h"
#include "platform/platform.h"
#include "tape/tape_record.h"

namespace {

void CloseFiles(ConversionState& state) {
  if (state.inputHandle != platform::kInvalidHandle) platform::CloseHandle(state.inputHandle);
  if (state.outputHandle != platform::kInvalidHandle) platform::CloseHandle(state.outputHandle);
  state.inputHandle = platform::kInvalidHandle;
  state.outputHandle = platform::kInvalidHandle;
}

// The input is shared for reading only, so while it is open the output
// cannot be created over it under any name.
void OpenInput(ConversionState& state) {
  const platform::FileHandle handle =
      platform::CreateFileA(state.inputName, platform::kGenericRead, platform::kFileShareRead,
                            platform::kOpenExisting, platform::kFileAttributeNormal);
  if (handle == state.inputHandle) ReportFailure(state, texts::kReadError);
  state.inputHandle = handle;
}

void CreateOutput(ConversionState& state) {
  const platform::FileHandle handle =
      platform::CreateFileA(state.outputName, platform::kGenericWrite, platform::kNoSharing,
                            platform::kCreateAlways, platform::kFileAttributeNormal);
  if (handle == state.outputHandle) ReportFailure(state, texts::kWriteError);
  state.outputHandle = handle;
}

// One read of the whole image. Images too short to hold a data byte are
// refused, and so is a file that holds more than its size said: the size is
// 32 bits wide and a larger file must not pass as a short one.
void ReadTapeImage(ConversionState& state) {
  const std::uint32_t size = platform::GetFileSize(state.inputHandle);
  if (size > kImageBufferSize) ReportFailure(state, texts::kReadError);
  state.imageSize = size;

  platform::ReadFile(state.inputHandle, state.imageBuffer, state.imageSize, &state.transferCount);
  if (state.transferCount != state.imageSize) ReportFailure(state, texts::kReadError);
  if (state.imageSize < kMinimumImageSize) ReportFailure(state, texts::kReadError);

  std::uint8_t beyondEnd;
  platform::ReadFile(state.inputHandle, &beyondEnd, 1, &state.transferCount);
  if (state.transferCount != 0) ReportFailure(state, texts::kReadError);
}

void PrintReport(ConversionState& state) {
  char* report = reinterpret_cast<char*>(state.scratchBuffer);
  const std::uint32_t length =
      BuildReport(ImageStartAddress(state), ImageEndAddress(state), state.checksum, report);
  platform::WriteFile(platform::GetStdHandle(platform::kStdOutputHandle), report, length,
                      &state.transferCount);
}

}  // namespace

void ReportFailure(ConversionState& state, const char* message) {
  const auto length = static_cast<std::uint32_t>(platform::lstrlenA(message));
  platform::WriteFile(platform::GetStdHandle(platform::kStdErrorHandle), message, length,
                      &state.transferCount);
  state.transferCount = 1;
  CloseFiles(state);
  platform::ExitProcess(state.transferCount);
}

void RunConversion(ConversionState& state, TapeSignal& signal) {
  ParseCommandLine(state, platform::GetCommandLineA());
  OpenInput(state);
  CreateOutput(state);
  ReadTapeImage(state);
  if (WriteWavHeader(state) != 0) ReportFailure(state, texts::kWriteError);
  PlayTapeRecord(state, signal);
  if (PatchWavSizes(state) != 0) ReportFailure(state, texts::kWriteError);
  PrintReport(state);
  CloseFiles(state);
  // A shell reads any status but 0 as failure, so success is 0 whatever the
  // report's write transferred.
  platform::ExitProcess(0);
}
