#pragma once

#include <span>

namespace samplegen::contactsmessages {

// CREATE statements of one database, in sqlite_master order.
using Statements = std::span<const char *const>;

namespace AddressBookSchema {
Statements ios4();   // 4.2.1
Statements ios7();   // 7.1.2
Statements ios8();   // the iOS 8 era
Statements ios13();  // 13 and 14
Statements images(); // AddressBookImages.sqlitedb, iOS 7 to 14
} // namespace AddressBookSchema

} // namespace samplegen::contactsmessages
