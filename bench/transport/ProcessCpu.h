#pragma once
// The CPU time of the whole process (every thread, user and system) in seconds.
double ProcessCpuSeconds();
