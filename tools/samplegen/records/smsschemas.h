#pragma once

#include "tools/samplegen/records/addressbookschemas.h"

namespace samplegen::contactsmessages::SmsSchema {

Statements ios5();
Statements ios7();  // 7.1.2
Statements ios11();
Statements ios12();
Statements ios13(); // 13.6
Statements ios14(); // a 14.0 database made new, not migrated

} // namespace samplegen::contactsmessages::SmsSchema
