#pragma once

namespace testsupport {

// How long a test waits for the event that proves a thing happened. Only a
// hang waits this long: a loaded machine running the sanitizer build stays
// far within it, and a test that passes never pays for it.
constexpr int kEventWaitMs = 300000;

} // namespace testsupport
