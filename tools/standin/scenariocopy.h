#pragma once

#include <QString>

namespace standin {

// Copies a scenario folder into target (made if need be): folders and
// regular files, links as links (their text unchanged, never followed),
// anything else left out. False when the tree is too deep or too large, or
// something cannot be written.
bool copyScenario(const QString &source, const QString &target);

} // namespace standin
