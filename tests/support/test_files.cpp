// Scratch directories, file helpers and image builders for the tests.
#include "tests/support/test_files.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

void AppendLe16(Bytes& bytes, std::uint16_t value) {
  bytes.push_back(static_cast<std::uint8_t>(value));
  bytes.push_back(static_cast<std::uint8_t>(value >> 8));
}

void AppendLe32(Bytes& bytes, std::uint32_t value) {
  AppendLe16(bytes, static_cast<std::uint16_t>(value));
  AppendLe16(bytes, static_cast<std::uint16_t>(value >> 16));
}

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "lentok-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

void WriteBytes(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

Bytes ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool FileExists(const std::string& path) {
  std::error_code ignored;
  return std::filesystem::exists(std::filesystem::symlink_status(path, ignored));
}

Bytes MakeImage(std::uint16_t start, const Bytes& data, std::uint16_t storedChecksum) {
  const auto end = static_cast<std::uint16_t>(start + data.size() - 1);
  Bytes image(data.size() + 6);
  image[0] = static_cast<std::uint8_t>(start);
  image[1] = static_cast<std::uint8_t>(start >> 8);
  image[2] = static_cast<std::uint8_t>(end);
  image[3] = static_cast<std::uint8_t>(end >> 8);
  std::copy(data.begin(), data.end(), image.begin() + 4);
  image[image.size() - 2] = static_cast<std::uint8_t>(storedChecksum);
  image[image.size() - 1] = static_cast<std::uint8_t>(storedChecksum >> 8);
  return image;
}

Bytes MakeConsistentImage(std::uint16_t start, const Bytes& data) {
  return MakeImage(start, data, ReferenceChecksum(data));
}

std::uint16_t ReferenceChecksum(const Bytes& data) {
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i + 1 < data.size(); ++i) sum += 257u * data[i];
  const std::uint32_t low = (sum + data.back()) & 0xFF;
  return static_cast<std::uint16_t>((sum & 0xFF00) | low);
}

std::vector<std::string> FilesIn(const std::string& directory) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(directory)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    lines.push_back(text.substr(start, end - start));
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}
