#pragma once

// The services of the stand-in phone: what lockdown hands a service
// connection to once a client has connected to the port StartService gave.
//
// The phone's core (usbmuxd socket, lockdown, pairing, TLS) owns the
// connection; a service only reads and writes bytes on it, plain or TLS
// underneath, and serves the phone's private copy of a scenario folder (the
// layout the simulated backend reads: media/, apps.plist, icons/,
// containers/).

#include <QString>
#include <QVariantMap>

#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>

namespace standin {

// One client connection to a service.
class ServiceStream
{
public:
    virtual ~ServiceStream() = default;
    // Exactly size bytes; false once the client or the phone has gone.
    virtual bool readExact(char *buffer, std::size_t size) = 0;
    // All of data; false once the client or the phone has gone.
    virtual bool writeAll(const char *data, std::size_t size) = 0;
};

struct ServiceContext
{
    // The phone's private copy of the scenario folder.
    QString root;
    // Held while apps.plist, icons/ and containers/ change (install,
    // uninstall, archive) or are read whole.
    std::shared_ptr<std::mutex> appsMutex;
    // True once the phone was unplugged: a service ends at its next step.
    std::function<bool()> gone;
    // Called by a service when the phone should leave now (a fault such as
    // "leaves after N bytes of a copy"); the core unplugs it.
    std::function<void()> leave;
    // The behaviours chosen for this phone (see standinphone.h), for the
    // faults a service acts out.
    QVariantMap options;
};

using ServiceHandler = std::function<void(ServiceStream &, const ServiceContext &)>;

// The handler of a lockdown service name ("com.apple.afc",
// "com.apple.mobile.house_arrest", "com.apple.mobile.installation_proxy",
// "com.apple.springboardservices"); empty for one the phone does not offer.
ServiceHandler serviceHandler(const QString &serviceName);

} // namespace standin
