// The ring of running sums behind SignalWindow.
#include "reader/signal_window.h"

namespace reader {

namespace {

std::size_t PowerOfTwoAtLeast(std::size_t count) {
  std::size_t size = 1;
  while (size < count) size <<= 1;
  return size;
}

}  // namespace

SignalWindow::SignalWindow(std::size_t framesKept)
    : mask_(PowerOfTwoAtLeast(framesKept + 2) - 1),
      sums_(mask_ + 1, 0.0),
      samples_(mask_ + 1, 0.0f) {}

}  // namespace reader
