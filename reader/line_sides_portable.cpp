// The sides of the line for processors without a vector compare the build
// knows of.
#include "reader/line_sides.h"

namespace reader {

LineSides FindLineSides(const float* samples, std::size_t count, std::size_t stride, float lower, float upper) {
  return FindLineSidesOneByOne(samples, count, stride, lower, upper);
}

}  // namespace reader
