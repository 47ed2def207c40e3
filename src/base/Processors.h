#pragma once

namespace snapora {

// How many processors this process may run on (its affinity, not the
// machine's count), at least 1.
int UsableProcessors();

// Lets the calling thread give way to the program's other threads.
void LowerThisThreadsPriority();

}  // namespace snapora
