// The loops over every sample for processors without a vector unit the
// build knows of.
#include "reader/sample_loops.h"

namespace reader {

LineSides FindLineSides(const float* samples, std::size_t count, std::size_t stride, float lower, float upper) {
  return FindLineSidesOneByOne(samples, count, stride, lower, upper);
}

double StoreGroupsOfEight(const float* samples, std::size_t count, std::size_t stride, double total, double* out) {
  return StoreGroupsOfEightOneByOne(samples, count, stride, total, out);
}

}  // namespace reader
