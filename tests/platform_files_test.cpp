// The POSIX backend of lentok-read's file services: exclusive creation,
// replacing through a temporary file, and the errors users are told.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "platform/files.h"
#include "platform/memory.h"
#include "tests/support/test_files.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> FilesIn(const std::string& directory) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(directory)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

platform::FileError WriteWhole(platform::OutputFile& file, const Bytes& bytes) {
  const platform::FileError error = file.Write(bytes.data(), bytes.size());
  return error != platform::FileError::kNone ? error : file.Commit();
}

}  // namespace

TEST(PlatformFiles, CreatingNewNeverClobbers) {
  TempDir dir;
  WriteBytes(dir / "taken", {1, 2, 3});
  platform::FileError error = platform::FileError::kNone;
  platform::OutputFile refused = platform::OutputFile::CreateNew(dir / "taken", error);
  EXPECT_EQ(error, platform::FileError::kAlreadyExists);
  EXPECT_FALSE(refused.IsOpen());
  EXPECT_EQ(ReadBytes(dir / "taken"), (Bytes{1, 2, 3}));

  platform::OutputFile fresh = platform::OutputFile::CreateNew(dir / "fresh", error);
  ASSERT_EQ(error, platform::FileError::kNone);
  EXPECT_EQ(WriteWhole(fresh, {4, 5}), platform::FileError::kNone);
  EXPECT_EQ(ReadBytes(dir / "fresh"), (Bytes{4, 5}));
}

TEST(PlatformFiles, ReplacingGoesThroughATemporaryFileThatDoesNotStay) {
  TempDir dir;
  WriteBytes(dir / "image", {1, 2, 3});
  platform::FileError error = platform::FileError::kNone;
  platform::OutputFile file = platform::OutputFile::CreateReplacing(dir / "image", error);
  ASSERT_EQ(error, platform::FileError::kNone);
  ASSERT_EQ(file.Write(Bytes{9}.data(), 1), platform::FileError::kNone);
  // Until it is committed the old file stands, beside a temporary one.
  EXPECT_EQ(ReadBytes(dir / "image"), (Bytes{1, 2, 3}));
  EXPECT_EQ(FilesIn(dir.path()).size(), 2u);
  EXPECT_EQ(file.Commit(), platform::FileError::kNone);
  EXPECT_EQ(ReadBytes(dir / "image"), (Bytes{9}));
  EXPECT_EQ(FilesIn(dir.path()), std::vector<std::string>{"image"});
}

TEST(PlatformFiles, AFileDroppedUncommittedIsRemoved) {
  TempDir dir;
  platform::FileError error = platform::FileError::kNone;
  {
    platform::OutputFile file = platform::OutputFile::CreateReplacing(dir / "image", error);
    ASSERT_EQ(error, platform::FileError::kNone);
  }
  {
    platform::OutputFile file = platform::OutputFile::CreateNew(dir / "other", error);
    ASSERT_EQ(error, platform::FileError::kNone);
  }
  EXPECT_TRUE(FilesIn(dir.path()).empty());
}

TEST(PlatformFiles, ErrorsUsersAreTold) {
  TempDir dir;
  platform::FileError error = platform::FileError::kNone;
  EXPECT_FALSE(platform::InputFile::Open(dir / "absent", error).IsOpen());
  EXPECT_EQ(error, platform::FileError::kNotFound);
  EXPECT_FALSE(platform::InputFile::Open(dir.path(), error).IsOpen());
  EXPECT_EQ(error, platform::FileError::kIsDirectory);
  EXPECT_FALSE(platform::OutputFile::CreateNew(dir / "no/such/dir/x", error).IsOpen());
  EXPECT_EQ(error, platform::FileError::kNotFound);
  EXPECT_TRUE(platform::IsDirectory(dir.path()));
  WriteBytes(dir / "plain", {1});
  EXPECT_FALSE(platform::IsDirectory(dir / "plain"));
}

TEST(PlatformFiles, InputIsReadInBlocksToItsEnd) {
  TempDir dir;
  Bytes bytes(1000);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 7);
  WriteBytes(dir / "in", bytes);
  platform::FileError error = platform::FileError::kNone;
  platform::InputFile input = platform::InputFile::Open(dir / "in", error);
  ASSERT_TRUE(input.IsOpen());
  Bytes read;
  std::uint8_t block[300];
  for (std::size_t got; (got = input.Read(block, sizeof block, error)) > 0;) read.insert(read.end(), block, block + got);
  EXPECT_EQ(error, platform::FileError::kNone);
  EXPECT_EQ(read, bytes);
}

// The hint about memory soon to be written maps it and must leave alone
// what it already holds, in whole pages and in the ragged ends around them.
TEST(PlatformMemory, ExpectingWritesKeepsWhatTheMemoryHolds) {
  std::vector<std::uint8_t> buffer(5 * 4096 + 123);
  for (std::size_t i = 0; i < buffer.size(); ++i) buffer[i] = static_cast<std::uint8_t>(i * 7 + 1);
  const std::vector<std::uint8_t> before = buffer;
  platform::ExpectWrites(buffer.data() + 1, buffer.size() - 1);
  platform::ExpectWrites(buffer.data(), 10);
  EXPECT_EQ(buffer, before);
}
