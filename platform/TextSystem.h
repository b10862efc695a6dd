#pragma once
// Private to platform/: what each system's text implementation adds to the shared rules.

namespace nb::text {

// True where a file name may be any bytes (Linux), so that text no encoding reads can be kept
// unchanged rather than refused.
bool NamesTakeAnyBytes();

}  // namespace nb::text
