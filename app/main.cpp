// The entry of lentok: hands the process to the conversion run, which never
// returns.
#include "app/conversion_run.h"
#include "platform/platform.h"

namespace {

// The run's records exist once, for the whole process; at 65 KiB the
// conversion record is kept off the stack.
ConversionState conversionState;
TapeSignal tapeSignal;

}  // namespace

int main(int argc, char** argv) {
  platform::StartProcess(argc, argv);
  RunConversion(conversionState, tapeSignal);
}
