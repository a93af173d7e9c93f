#pragma once

#include "tools/samplegen/contentproducer.h"

#include <memory>
#include <vector>

namespace samplegen {

// The record databases of a backup, in the layout of the backup's iOS
// generation, with live rows and, when asked, deleted ones.

// AddressBook.sqlitedb with its image database, and sms.db with its
// attachments.
std::vector<std::unique_ptr<ContentProducer>> addressBookAndMessageProducers();

// NoteStore.sqlite or the older notes databases, the call history, Safari
// bookmarks and history, and the calendar.
std::vector<std::unique_ptr<ContentProducer>> notesCallsBookmarksCalendarProducers();

} // namespace samplegen
