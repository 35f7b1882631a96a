// The one record of a conversion run. A single static instance lives for the
// whole process (see main.cpp); every step of the run reads and writes its
// fields directly. Operations take it by reference so tests can hand them a
// fresh record.
#pragma once

#include <cstdint>

#include "platform/platform.h"

// The largest image accepted: 64 KiB of address space plus the 16 bytes of
// addresses, checksum and slack that the buffer was sized with.
constexpr std::uint32_t kImageBufferSize = 0x10010;  // 65552
constexpr std::uint32_t kScratchBufferSize = 1024;

struct ConversionState {
  std::uint8_t flagChecksum = 0;  // -k: compute the checksum
  std::uint8_t flagNoHeader = 0;  // -x: no name header for the monitor
  platform::FileHandle inputHandle = platform::kInvalidHandle;
  platform::FileHandle outputHandle = platform::kInvalidHandle;
  // Bytes moved by the most recent read or write; 1 on failure, where it
  // becomes the exit status.
  std::uint32_t transferCount = 0;
  char* inputName = nullptr;   // points into the command-line text
  char* outputName = nullptr;  // likewise
  std::uint32_t imageSize = 0;
  std::uint32_t checksum = 0;  // the 16-bit word put on tape
  std::uint8_t imageBuffer[kImageBufferSize] = {};
  // One byte's samples while they are written, and the report at the end.
  std::uint8_t scratchBuffer[kScratchBufferSize] = {};
};
