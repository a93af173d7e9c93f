#pragma once

namespace amd {

// The device layer's diagnostics: one printf-style line on standard output,
// flushed at once so that it is not lost when the process ends abruptly.
// Nothing here reaches the user.
void printDeviceLine(const char *format, ...) __attribute__((format(printf, 1, 2)));

} // namespace amd
