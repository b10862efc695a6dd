#pragma once
// The peak memory of this process in KiB (resident set on Linux, working set on Windows); -1
// when the system does not tell.
long PeakMemoryKiB();
