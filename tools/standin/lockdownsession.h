#pragma once

// lockdownd on port 62078: one client connection, answered until the client
// goes (or the phone does).

#include "tools/standin/standinservice.h"

#include <functional>

namespace standin {

class Channel;
class Phone;

// Whether the phone offers a service at all.
using ServiceExists = std::function<bool(const QString &serviceName)>;

void serveLockdown(Channel &channel, Phone &phone, const ServiceExists &serviceExists);

} // namespace standin
