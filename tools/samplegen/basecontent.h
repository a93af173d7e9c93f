#pragma once

#include "tools/samplegen/contentproducer.h"

#include <memory>
#include <vector>

namespace samplegen {

// The producers of the fixed content every sample backup starts with: camera
// roll, media, home, social apps and a few system domains, with the awkward
// cases readers must handle (a missing stored file, a very long path,
// non-ASCII names, unusual extensions, a symbolic link).
std::vector<std::unique_ptr<ContentProducer>> standardContentProducers();

} // namespace samplegen
