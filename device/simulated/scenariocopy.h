#pragma once

#include <QString>

namespace amd::sim {

// Copies a scenario folder (what the simulated and the stand-in phone work
// on a private copy of) into target (made if need be): folders and
// regular files, links as links (their text unchanged, never followed),
// anything else left out. False when the tree is too deep or too large, or
// something cannot be written.
bool copyScenario(const QString &source, const QString &target);

} // namespace amd::sim
