// The exit status rules.
#include "reader_tool/exit_status.h"

namespace reader_tool {

int ExitStatus(const RunTally& tally) {
  if (tally.failed) return kExitFailure;
  if (tally.verifyDiffers || tally.damagedRecords > 0 || tally.recordingsWithoutRecords > 0 ||
      tally.records == 0) {
    return kExitDamaged;
  }
  if (tally.unreadStretches > 0) return kExitUnreadSignal;
  return kExitSound;
}

}  // namespace reader_tool
