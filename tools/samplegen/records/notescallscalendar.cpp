#include "tools/samplegen/records/recorddatabases.h"

#include "tools/samplegen/records/notescallscalendarsupport.h"

namespace samplegen {

std::vector<std::unique_ptr<ContentProducer>> notesCallsBookmarksCalendarProducers()
{
    std::vector<std::unique_ptr<ContentProducer>> producers;
    producers.push_back(pim::makeNotesProducer());
    producers.push_back(pim::makeCallHistoryProducer());
    producers.push_back(pim::makeBookmarksProducer());
    producers.push_back(pim::makeCalendarProducer());
    return producers;
}

} // namespace samplegen
