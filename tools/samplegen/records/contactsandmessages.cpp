#include "tools/samplegen/records/recorddatabases.h"

namespace samplegen {

std::vector<std::unique_ptr<ContentProducer>> addressBookAndMessageProducers()
{
    return {};
}

} // namespace samplegen
