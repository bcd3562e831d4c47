// The worker pool seen from Python: the thread count, the progress hook of
// a Python thread, and a probe of the threads a job runs on.
#pragma once

#include "lib/compat.hpp"

namespace fennel::py {

// For a thread attached to the interpreter: calls the progress callback the
// thread installed (`_core._progress_hook`) with the units finished so far,
// at most once per POLL of the waiting thread and only when the count
// moved. A callback raising an Exception is reported as unraisable and
// called no more (a display never fails a call); any other exception
// (KeyboardInterrupt, SystemExit) stays set and the result is false, for the
// call to stop as it would on a signal.
bool report_progress();

}  // namespace fennel::py
