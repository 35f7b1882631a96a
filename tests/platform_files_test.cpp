// The POSIX backend of lentok-read's file services: exclusive creation,
// replacing through a temporary file, files told apart by identity, and
// the errors users are told.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "platform/files.h"
#include "tests/support/test_files.h"

namespace fs = std::filesystem;

namespace {

platform::FileError WriteWhole(platform::OutputFile& file, const Bytes& bytes) {
  const platform::FileError error = file.Write(bytes.data(), bytes.size());
  return error != platform::FileError::kNone ? error : file.Commit();
}

// Runs in `directory` and goes back where it was.
class InDirectory {
 public:
  explicit InDirectory(const std::string& directory) : before_(fs::current_path()) {
    fs::current_path(directory);
  }
  ~InDirectory() { fs::current_path(before_); }

 private:
  fs::path before_;
};

// Standard input read from `descriptor` for as long as the object lives.
class StandardInputFrom {
 public:
  explicit StandardInputFrom(int descriptor) : saved_(dup(STDIN_FILENO)) { dup2(descriptor, STDIN_FILENO); }
  ~StandardInputFrom() {
    dup2(saved_, STDIN_FILENO);
    close(saved_);
  }

 private:
  int saved_;
};

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

// The final name holds nothing until Commit, and Commit will not replace a
// file that another program put there in the meantime.
TEST(PlatformFiles, CreatingNewRefusesAFileThatAppearedWhileItWasWritten) {
  TempDir dir;
  platform::FileError error = platform::FileError::kNone;
  platform::OutputFile file = platform::OutputFile::CreateNew(dir / "image", error);
  ASSERT_EQ(error, platform::FileError::kNone);
  ASSERT_EQ(file.Write(Bytes{4, 5, 6}.data(), 3), platform::FileError::kNone);
  EXPECT_FALSE(FileExists(dir / "image"));
  const std::vector<std::string> during = FilesIn(dir.path());
  ASSERT_EQ(during.size(), 1u);
  EXPECT_EQ(during[0].rfind(".image.", 0), 0u) << during[0];  // hidden, and says whose it is
  EXPECT_EQ(during[0].substr(during[0].size() - 4), ".tmp") << during[0];

  WriteBytes(dir / "image", {7});
  EXPECT_EQ(file.Commit(), platform::FileError::kAlreadyExists);
  EXPECT_EQ(ReadBytes(dir / "image"), (Bytes{7}));
  EXPECT_EQ(FilesIn(dir.path()), std::vector<std::string>{"image"});
}

// A final name long enough that the temporary one, made from it, would be
// longer than a directory takes.
TEST(PlatformFiles, TheLongestNameCanBeCreated) {
  TempDir dir;
  const std::string name(255, 'a');
  platform::FileError error = platform::FileError::kNone;
  platform::OutputFile file = platform::OutputFile::CreateNew(dir / name, error);
  ASSERT_EQ(error, platform::FileError::kNone);
  EXPECT_EQ(WriteWhole(file, {1}), platform::FileError::kNone);
  EXPECT_EQ(FilesIn(dir.path()), std::vector<std::string>{name});
}

TEST(PlatformFiles, OneFileHasOneIdentityUnderEverySpelling) {
  TempDir dir;
  fs::create_directory(dir / "sub");
  WriteBytes(dir / "a", {1});
  WriteBytes(dir / "twin", {1});  // the same bytes, another file
  fs::create_hard_link(dir / "a", dir / "hard");
  fs::create_symlink("a", dir / "soft");
  fs::create_symlink("gone", dir / "dangling");
  const InDirectory inside(dir.path());

  const std::optional<platform::FileIdentity> a = platform::IdentityOf(dir / "a");
  ASSERT_TRUE(a.has_value());
  for (const std::string& same : {std::string("a"), std::string("./a"), std::string("sub/../a"),
                                  dir / "sub/../a", std::string("hard"), std::string("soft")}) {
    EXPECT_EQ(platform::IdentityOf(same), a) << same;
  }
  for (const std::string& other : {std::string("twin"), std::string("sub"), std::string(".")}) {
    const std::optional<platform::FileIdentity> identity = platform::IdentityOf(other);
    ASSERT_TRUE(identity.has_value()) << other;
    EXPECT_NE(*identity, *a) << other;
  }
  for (const std::string& nothing : {std::string("absent"), std::string("dangling"), std::string("a/x")}) {
    EXPECT_EQ(platform::IdentityOf(nothing), std::nullopt) << nothing;
  }
}

TEST(PlatformFiles, StandardInputHasTheIdentityOfWhatItReads) {
  TempDir dir;
  WriteBytes(dir / "in", {1});
  WriteBytes(dir / "other", {1});
  const int file = open((dir / "in").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(file, 0);
  {
    const StandardInputFrom input(file);
    EXPECT_EQ(platform::StandardInputIdentity(), platform::IdentityOf(dir / "in"));
    EXPECT_NE(platform::StandardInputIdentity(), platform::IdentityOf(dir / "other"));
  }
  close(file);

  // A terminal is no file that an output could name.
  const int terminal = posix_openpt(O_RDWR | O_NOCTTY);
  if (terminal < 0 || grantpt(terminal) != 0 || unlockpt(terminal) != 0) GTEST_SKIP() << "no terminals here";
  const int side = open(ptsname(terminal), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(side, 0);
  {
    const StandardInputFrom input(side);
    EXPECT_EQ(platform::StandardInputIdentity(), std::nullopt);
  }
  close(side);
  close(terminal);
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
