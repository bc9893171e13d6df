#pragma once
// How a run ends once the busy cursor is on: the cursor goes off before the user
// is told why.

namespace cohortix {

void stopBusyAndShow(const char* message);

}  // namespace cohortix
