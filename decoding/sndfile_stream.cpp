// libsndfile over a ByteSource, through its virtual I/O, for every container
// but FLAC. The library sees a
// stream that it can read anywhere within its first kHeadBytesKept bytes,
// or from where the source has got to onwards; reading behind that, past
// the kept head, is an error of its own (no format read here needs it).
#include "decoding/stream_backend.h"

#include <sndfile.h>

#include <algorithm>
#include <cstring>
#include <limits>

#include "decoding/audio_libraries.h"
#include "decoding/container_probe.h"
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

// The length to tell the library. AIFF and W64 headers are walked chunk by
// chunk to the end of the file, past the sound data, unless that end is
// reached; so for them the length their outer chunk declares is given
// (a file cut short then simply ends early). For the others the length is
// unknown: the largest, so that nothing is taken to end before its bytes.
sf_count_t DeclaredLength(const std::vector<std::uint8_t>& head) {
  const sf_count_t unknown = std::numeric_limits<sf_count_t>::max();
  const Container container = ProbeContainer(head.data(), std::min(head.size(), kProbeBytes));
  if (container == Container::kAiff && head.size() >= 8) {
    std::uint32_t size = 0;
    for (int i = 4; i < 8; ++i) size = size << 8 | head[i];
    // A writer that could not go back to fill it in may leave 0.
    return size > 0 ? static_cast<sf_count_t>(size) + 8 : unknown;
  }
  if (container == Container::kWave64 && head.size() >= 24) {
    std::uint64_t size = 0;
    for (int i = 23; i >= 16; --i) size = size << 8 | head[i];
    return size > 0 && size < static_cast<std::uint64_t>(unknown) ? static_cast<sf_count_t>(size) : unknown;
  }
  return unknown;
}

class SndfileStream final : public StreamBackend {
 public:
  SndfileStream(ByteSource& source, std::vector<std::uint8_t> head)
      : source(source), head(std::move(head)), taken(this->head.size()) {}

  // Tells the length from the header, which is first taken in far enough
  // to tell the container (a pipe may have given fewer bytes so far).
  void LearnLength() {
    std::uint8_t piece[kProbeBytes];
    while (head.size() < kProbeBytes && keepingHead && head.size() == taken && !ended) {
      Take(piece, kProbeBytes - head.size());
    }
    length = DeclaredLength(head);
    lengthKnown = true;
  }

  ~SndfileStream() override {
    if (file != nullptr) sndfile->close(file);
  }

  bool Open() override;
  std::size_t Read(float* interleaved, std::size_t frames) override;
  const StreamFormat& Format() const override { return format; }
  const StreamProblem& Problem() const override { return problem; }
  std::uint64_t BytesTaken() const override { return taken; }

 private:

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
    NoteDecoderError();
    auto* bytes = static_cast<std::uint8_t*>(out);
    std::size_t count = static_cast<std::size_t>(std::max<sf_count_t>(wanted, 0));
    std::size_t done = 0;
    if (position < head.size()) {
      const std::size_t n = std::min(count, head.size() - static_cast<std::size_t>(position));
      std::memcpy(bytes, head.data() + position, n);
      done = n;
      position += n;
    }
    if (done == count) return static_cast<sf_count_t>(done);
    if (position < taken) {
      // Behind what has been taken and past the kept head: gone.
      seekedBackTooFar = true;
      return static_cast<sf_count_t>(done);
    }
    // A seek forward is made good only now, when bytes there are wanted:
    // a parser that seeks past the sound data and straight back to its
    // start must not have the whole stream read away in between.
    std::uint8_t scrap[4096];
    while (taken < position && !ended) {
      Take(scrap, static_cast<std::size_t>(std::min<std::uint64_t>(sizeof scrap, position - taken)));
    }
    if (position == taken) {
      const std::size_t n = Take(bytes + done, count - done);
      done += n;
      position += n;
    }
    return static_cast<sf_count_t>(done);
  }

  sf_count_t SeekTo(sf_count_t offset, int whence) {
    std::int64_t target = offset;
    if (whence == SEEK_CUR) target += static_cast<std::int64_t>(position);
    if (whence == SEEK_END) {
      // The end is not known until it has been read to.
      if (length == std::numeric_limits<sf_count_t>::max()) return -1;
      target += length;
    }
    if (target < 0) return -1;
    position = static_cast<std::uint64_t>(target);
    return target;
  }

  static sf_count_t Length(void* self) {
    SndfileStream& impl = *static_cast<SndfileStream*>(self);
    if (!impl.lengthKnown) impl.LearnLength();
    return impl.length;
  }
  static sf_count_t Seek(sf_count_t offset, int whence, void* self) {
    return static_cast<SndfileStream*>(self)->SeekTo(offset, whence);
  }
  static sf_count_t ReadBytes(void* out, sf_count_t count, void* self) {
    return static_cast<SndfileStream*>(self)->ReadAt(out, count);
  }
  static sf_count_t Write(const void*, sf_count_t, void*) { return 0; }
  static sf_count_t Tell(void* self) { return static_cast<sf_count_t>(static_cast<SndfileStream*>(self)->position); }

  // A decoder that meets damage says so through the library's error and
  // then may go on searching for the next good frame, reading on, maybe to
  // the end. So the error is caught here, as soon as more bytes are asked
  // for after it, with how far the input and the sound had got.
  void NoteDecoderError() {
    if (file == nullptr || damage.seen || sndfile->error(file) == SF_ERR_NO_ERROR) return;
    damage.Note(ended, taken, framesRead, LibraryWords(sndfile->errorWords(file)));
  }

  bool Fail(StreamError error, std::string detail) {
    problem = StoppedAt(error, std::move(detail), sourceFailed, taken, framesRead);
    return false;
  }

  ByteSource& source;
  std::vector<std::uint8_t> head;  // the first bytes of the stream
  std::uint64_t taken;             // bytes taken from the source
  std::uint64_t position = 0;      // where the library is reading
  bool keepingHead = true;
  bool seekedBackTooFar = false;
  // The length the library is told: unknown (the largest) but where the
  // container's header declares it, see DeclaredLength.
  sf_count_t length = std::numeric_limits<sf_count_t>::max();
  bool lengthKnown = false;
  bool ended = false;
  bool sourceFailed = false;

  StreamDamage damage;

  std::shared_ptr<const SndfileFunctions> sndfile;  // set by Open
  SF_VIRTUAL_IO io{&SndfileStream::Length, &SndfileStream::Seek, &SndfileStream::ReadBytes, &SndfileStream::Write, &SndfileStream::Tell};
  SNDFILE* file = nullptr;
  StreamFormat format;
  StreamProblem problem;
  std::int64_t framesRead = 0;
};

bool SndfileStream::Open() {
  SndfileStream& s = *this;
  AudioLibrary<SndfileFunctions> library = OpenSndfileLibrary();
  if (!library.functions) return s.Fail(StreamError::kNotDecodable, library.problem);
  s.sndfile = std::move(library.functions);
  SF_INFO info{};
  s.file = s.sndfile->openVirtual(&s.io, SFM_READ, &info, &s);
  if (s.file == nullptr) {
    if (s.seekedBackTooFar) return s.Fail(StreamError::kSeekBackTooFar, "");
    return s.Fail(s.ended ? StreamError::kNoData : StreamError::kNotDecodable,
                  LibraryWords(s.sndfile->errorWords(nullptr)));
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

std::size_t SndfileStream::Read(float* interleaved, std::size_t frames) {
  SndfileStream& s = *this;
  if (s.file == nullptr || s.problem.error != StreamError::kNone) return 0;
  const sf_count_t got = s.sndfile->readFloats(s.file, interleaved, static_cast<sf_count_t>(frames));
  const std::size_t count = got > 0 ? static_cast<std::size_t>(got) : 0;
  s.framesRead += static_cast<std::int64_t>(count);
  // The library clears its error at the start of every read: it is caught
  // now or never.
  s.NoteDecoderError();
  if (count > 0) return count;
  if (s.sourceFailed) {
    s.Fail(StreamError::kInputFailed, "");
  } else if (s.seekedBackTooFar) {
    s.Fail(StreamError::kSeekBackTooFar, "");
  } else if (s.damage.Corrupts()) {
    s.problem = s.damage.AsCorruptStream();
  }
  return count;
}

}  // namespace

std::unique_ptr<StreamBackend> MakeSndfileStream(ByteSource& source, std::vector<std::uint8_t> head) {
  return std::make_unique<SndfileStream>(source, std::move(head));
}

}  // namespace decoding
