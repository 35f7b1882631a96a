// The audio libraries opened when first needed, by the sonames the build
// found them under (LENTOK_FLAC_SONAME, LENTOK_SNDFILE_SONAME). Each stream
// holds its library open while it decodes; opening one already open costs
// next to nothing.
#include <utility>

#include "decoding/audio_libraries.h"
#include "platform/shared_library.h"

namespace decoding {

namespace {

template <typename Functions>
struct Loaded {
  explicit Loaded(const char* soname) : library(soname) {}
  platform::SharedLibrary library;
  Functions functions;
  std::string missing;  // the first symbol not found

  template <typename Pointer>
  void Bind(Pointer& pointer, const char* symbol) {
    pointer = reinterpret_cast<Pointer>(library.Find(symbol));
    if (pointer == nullptr && missing.empty()) missing = symbol;
  }
};

template <typename Functions>
AudioLibrary<Functions> Finish(std::shared_ptr<Loaded<Functions>> loaded, const char* soname) {
  if (!loaded->library.IsOpen()) return {nullptr, loaded->library.Problem()};
  if (!loaded->missing.empty()) return {nullptr, std::string(soname) + " has no " + loaded->missing};
  const Functions* functions = &loaded->functions;
  return {std::shared_ptr<const Functions>(std::move(loaded), functions), ""};
}

}  // namespace

AudioLibrary<FlacFunctions> OpenFlacLibrary() {
  auto loaded = std::make_shared<Loaded<FlacFunctions>>(LENTOK_FLAC_SONAME);
  FlacFunctions& f = loaded->functions;
  if (loaded->library.IsOpen()) {
    loaded->Bind(f.decoderNew, "FLAC__stream_decoder_new");
    loaded->Bind(f.decoderDelete, "FLAC__stream_decoder_delete");
    loaded->Bind(f.initStream, "FLAC__stream_decoder_init_stream");
    loaded->Bind(f.processMetadata, "FLAC__stream_decoder_process_until_end_of_metadata");
    loaded->Bind(f.processSingle, "FLAC__stream_decoder_process_single");
    loaded->Bind(f.state, "FLAC__stream_decoder_get_state");
    loaded->Bind(f.initStatusWords, "FLAC__StreamDecoderInitStatusString");
  }
  return Finish(std::move(loaded), LENTOK_FLAC_SONAME);
}

AudioLibrary<SndfileFunctions> OpenSndfileLibrary() {
  auto loaded = std::make_shared<Loaded<SndfileFunctions>>(LENTOK_SNDFILE_SONAME);
  SndfileFunctions& f = loaded->functions;
  if (loaded->library.IsOpen()) {
    loaded->Bind(f.openVirtual, "sf_open_virtual");
    loaded->Bind(f.readFloats, "sf_readf_float");
    loaded->Bind(f.close, "sf_close");
    loaded->Bind(f.error, "sf_error");
    loaded->Bind(f.errorWords, "sf_strerror");
  }
  return Finish(std::move(loaded), LENTOK_SNDFILE_SONAME);
}

}  // namespace decoding
