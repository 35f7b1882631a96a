// The run: command line, open the input, read the image whole, create the
// output, write the WAV header, play the tape record, patch the sizes,
// report, close.
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

// A report that does not arrive whole fails the run, although the
// recording is complete by then: a script reading the addresses and the
// checksum from it must not take a lost report for a finished one.
void PrintReport(ConversionState& state) {
  char* report = reinterpret_cast<char*>(state.scratchBuffer);
  const std::uint32_t length =
      BuildReport(ImageStartAddress(state), ImageEndAddress(state), state.checksum, report);
  platform::WriteFile(platform::GetStdHandle(platform::kStdOutputHandle), report, length,
                      &state.transferCount);
  if (state.transferCount != length) ReportFailure(state, texts::kWriteError);
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
  // The image is read and checked before the output is created, so that an
  // input that fails leaves an existing file of the output's name as it
  // was. The input stays open until the output exists: its read-only share
  // is what keeps the output from being created over it.
  OpenInput(state);
  ReadTapeImage(state);
  CreateOutput(state);
  if (WriteWavHeader(state) != 0) ReportFailure(state, texts::kWriteError);
  PlayTapeRecord(state, signal);
  if (PatchWavSizes(state) != 0) ReportFailure(state, texts::kWriteError);
  PrintReport(state);
  CloseFiles(state);
  platform::ExitProcess(0);
}
