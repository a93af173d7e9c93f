#include "tools/samplegen/records/recorddatabases.h"

namespace samplegen {

std::vector<std::unique_ptr<ContentProducer>> notesCallsBookmarksCalendarProducers()
{
    return {};
}

} // namespace samplegen
