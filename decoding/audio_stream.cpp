// libsndfile over a ByteSource, through its virtual I/O. The library sees a
// stream whose length is unknown and which can seek anywhere within its
// first kHeadBytesKept bytes, or forward; a seek back past the kept head
// fails, and the library reports the stream as unreadable.
#include "decoding/audio_stream.h"

#include <sndfile.h>

#include <algorithm>
#include <cstring>
#include <limits>

#include "formats/wav_reader.h"

namespace decoding {

namespace {

// The library's message without its "Error : " lead and closing full stop,
// to stand inside a sentence of ours.
std::string LibraryWords(const char* message) {
  std::string words = message != nullptr ? message : "";
  const std::string lead = "Error : ";
  if (words.compare(0, lead.size(), lead) == 0) words.erase(0, lead.size());
  while (!words.empty() && (words.back() == '.' || words.back() == ' ' || words.back() == '\n')) words.pop_back();
  return words;
}

}  // namespace

struct AudioStream::Impl {
  Impl(ByteSource& source, std::vector<std::uint8_t> head)
      : source(source), head(std::move(head)), taken(this->head.size()) {}

  ~Impl() {
    if (file != nullptr) sf_close(file);
  }

  // Reads from the source into `buffer`, keeping what belongs to the head.
  std::size_t Take(std::uint8_t* buffer, std::size_t capacity) {
    std::size_t got = 0;
    while (got < capacity && !ended) {
      bool failed = false;
      const std::size_t n = source.Read(buffer + got, capacity - got, failed);
      if (failed) sourceFailed = true;
      if (n == 0) {
        ended = true;
        break;
      }
      if (keepingHead && head.size() == taken) {
        const std::size_t keep = std::min(n, kHeadBytesKept - std::min(kHeadBytesKept, head.size()));
        head.insert(head.end(), buffer + got, buffer + got + keep);
        if (keep < n) keepingHead = false;
      }
      taken += n;
      got += n;
    }
    return got;
  }

  sf_count_t ReadAt(void* out, sf_count_t wanted) {
    auto* bytes = static_cast<std::uint8_t*>(out);
    std::size_t count = static_cast<std::size_t>(std::max<sf_count_t>(wanted, 0));
    std::size_t done = 0;
    if (position < head.size()) {
      const std::size_t n = std::min(count, head.size() - static_cast<std::size_t>(position));
      std::memcpy(bytes, head.data() + position, n);
      done = n;
      position += n;
    }
    if (done < count && position == taken) {
      const std::size_t n = Take(bytes + done, count - done);
      done += n;
      position += n;
    }
    return static_cast<sf_count_t>(done);
  }

  sf_count_t SeekTo(sf_count_t offset, int whence) {
    std::int64_t target = offset;
    if (whence == SEEK_CUR) target += static_cast<std::int64_t>(position);
    // The end is not known until it has been read to.
    if (whence == SEEK_END || target < 0) return -1;
    const auto wanted = static_cast<std::uint64_t>(target);
    if (wanted < head.size() || wanted == taken) {
      position = wanted;
      return target;
    }
    if (wanted < taken) return -1;  // behind us and no longer kept
    // Forward: read and discard up to there.
    std::uint8_t scrap[4096];
    while (taken < wanted && !ended) {
      position = taken;
      Take(scrap, static_cast<std::size_t>(std::min<std::uint64_t>(sizeof scrap, wanted - taken)));
    }
    position = wanted;
    return target;
  }

  static sf_count_t Length(void*) {
    // Unknown: the largest length, so that no format takes the stream to
    // end before its bytes do.
    return std::numeric_limits<sf_count_t>::max();
  }
  static sf_count_t Seek(sf_count_t offset, int whence, void* self) {
    return static_cast<Impl*>(self)->SeekTo(offset, whence);
  }
  static sf_count_t Read(void* out, sf_count_t count, void* self) {
    return static_cast<Impl*>(self)->ReadAt(out, count);
  }
  static sf_count_t Write(const void*, sf_count_t, void*) { return 0; }
  static sf_count_t Tell(void* self) { return static_cast<sf_count_t>(static_cast<Impl*>(self)->position); }

  bool Fail(StreamError error, std::string detail) {
    problem.error = sourceFailed ? StreamError::kInputFailed : error;
    problem.detail = std::move(detail);
    problem.byteOffset = taken;
    problem.frame = framesRead;
    return false;
  }

  ByteSource& source;
  std::vector<std::uint8_t> head;  // the first bytes of the stream
  std::uint64_t taken;             // bytes taken from the source
  std::uint64_t position = 0;      // where the library is reading
  bool keepingHead = true;
  bool ended = false;
  bool sourceFailed = false;

  SF_VIRTUAL_IO io{&Impl::Length, &Impl::Seek, &Impl::Read, &Impl::Write, &Impl::Tell};
  SNDFILE* file = nullptr;
  StreamFormat format;
  StreamProblem problem;
  std::int64_t framesRead = 0;
};

AudioStream::AudioStream(ByteSource& source, std::vector<std::uint8_t> head)
    : impl_(std::make_unique<Impl>(source, std::move(head))) {}

AudioStream::~AudioStream() = default;

bool AudioStream::Open() {
  Impl& s = *impl_;
  SF_INFO info{};
  s.file = sf_open_virtual(&s.io, SFM_READ, &info, &s);
  if (s.file == nullptr) {
    return s.Fail(s.ended ? StreamError::kNoData : StreamError::kNotDecodable,
                  LibraryWords(sf_strerror(nullptr)));
  }
  s.format.sampleRate = info.samplerate;
  s.format.channels = info.channels;
  if (info.channels < 1 || info.channels > formats::kMostWavChannels)
    return s.Fail(StreamError::kUnsupportedChannels, "");
  if (info.samplerate < static_cast<int>(formats::kLowestWavRate) ||
      info.samplerate > static_cast<int>(formats::kHighestWavRate))
    return s.Fail(StreamError::kUnsupportedRate, "");
  return true;
}

std::size_t AudioStream::Read(float* interleaved, std::size_t frames) {
  Impl& s = *impl_;
  if (s.file == nullptr || s.problem.error != StreamError::kNone) return 0;
  const sf_count_t got = sf_readf_float(s.file, interleaved, static_cast<sf_count_t>(frames));
  const std::size_t count = got > 0 ? static_cast<std::size_t>(got) : 0;
  s.framesRead += static_cast<std::int64_t>(count);
  if (count == 0) {
    if (s.sourceFailed) {
      s.Fail(StreamError::kInputFailed, "");
    } else if (sf_error(s.file) != SF_ERR_NO_ERROR && !s.ended) {
      // A decoder that fails once every byte has been taken has met a file
      // cut short in its last frame: the end, not damage.
      s.Fail(StreamError::kCorrupt, LibraryWords(sf_strerror(s.file)));
    }
  }
  return count;
}

const StreamFormat& AudioStream::Format() const { return impl_->format; }

const StreamProblem& AudioStream::Problem() const { return impl_->problem; }

std::uint64_t AudioStream::BytesTaken() const { return impl_->taken; }

}  // namespace decoding
