// Scratch directories and whole-file helpers for the tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

void WriteBytes(const std::string& path, const Bytes& bytes);

// Appends a field, low byte first, as file formats store them; written out
// here by shifts, apart from the tool's own byte-order code.
void AppendLe16(Bytes& bytes, std::uint16_t value);
void AppendLe32(Bytes& bytes, std::uint32_t value);
Bytes ReadBytes(const std::string& path);
bool FileExists(const std::string& path);
// Every entry of `directory`, hidden ones included, sorted.
std::vector<std::string> FilesIn(const std::string& directory);
// The lines of `text`, without their line ends.
std::vector<std::string> Lines(const std::string& text);

// A tape image: start and end address, the data, and a stored checksum.
Bytes MakeImage(std::uint16_t start, const Bytes& data, std::uint16_t storedChecksum);
// The same with the end address derived from the data and the right checksum.
Bytes MakeConsistentImage(std::uint16_t start, const Bytes& data);
// The tape checksum, computed as the 16-bit sum of 257 times each byte but
// the last, plus the last byte into the low half.
std::uint16_t ReferenceChecksum(const Bytes& data);
