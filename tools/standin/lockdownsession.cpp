#include "tools/standin/lockdownsession.h"

#include "tools/standin/channel.h"
#include "tools/standin/pairingcrypto.h"
#include "tools/standin/phonestate.h"

#include "platform/propertylist.h"

#include <QSet>

namespace standin {

namespace {

// A Pair request with its certificates is a few KiB.
constexpr quint32 kMaxRequestBytes = 1024 * 1024;

// What lockdownd tells a computer outside a session (an unpaired one
// included): enough to tell the phone and to pair with it, nothing personal.
const QSet<QString> &publicKeys()
{
    static const QSet<QString> keys{
        QStringLiteral("ActivationState"), QStringLiteral("BuildVersion"),    QStringLiteral("CPUArchitecture"),
        QStringLiteral("DeviceClass"),     QStringLiteral("DeviceColor"),     QStringLiteral("DeviceName"),
        QStringLiteral("DevicePublicKey"), QStringLiteral("HardwareModel"),   QStringLiteral("ProductName"),
        QStringLiteral("ProductType"),     QStringLiteral("ProductVersion"),  QStringLiteral("ProtocolVersion"),
        QStringLiteral("TelephonyCapability"), QStringLiteral("UniqueDeviceID"), QStringLiteral("WiFiAddress"),
    };
    return keys;
}

// Values a computer may not change, even in a session.
bool isIdentityKey(const QString &key)
{
    return key != QLatin1String("DeviceName");
}

struct Session
{
    bool active = false;
    QString id;
    TrustedHost host;
};

class Lockdown
{
public:
    Lockdown(Channel &channel, Phone &phone, const ServiceExists &serviceExists)
        : m_channel(channel)
        , m_phone(phone)
        , m_serviceExists(serviceExists)
    {
    }

    void run()
    {
        QByteArray body;
        while (!m_phone.isGone() && m_channel.readMessage(&body, kMaxRequestBytes)) {
            const auto parsed = PropertyList::fromData(body);
            if (!parsed || parsed->typeId() != QMetaType::QVariantMap)
                return;
            if (!answer(parsed->toMap()))
                return;
        }
    }

private:
    // False when the connection ends here.
    bool answer(const QVariantMap &request)
    {
        const QString name = request.value(QStringLiteral("Request")).toString();
        QVariantMap reply{{QStringLiteral("Request"), name}};
        if (name == QLatin1String("QueryType")) {
            reply.insert(QStringLiteral("Type"), QStringLiteral("com.apple.mobile.lockdown"));
        } else if (name == QLatin1String("GetValue")) {
            getValue(request, &reply);
        } else if (name == QLatin1String("SetValue")) {
            setValue(request, &reply);
        } else if (name == QLatin1String("RemoveValue")) {
            reply.insert(QStringLiteral("Error"), QStringLiteral("RemoveProhibited"));
        } else if (name == QLatin1String("Pair")) {
            pair(request, &reply);
        } else if (name == QLatin1String("ValidatePair")) {
            // Gone from lockdownd since iOS 11: a session is the only proof of
            // a pairing now.
            m_phone.count(&PhoneStats::validatePairRequests);
            reply.insert(QStringLiteral("Error"), QStringLiteral("InvalidRequest"));
        } else if (name == QLatin1String("Unpair")) {
            const QString hostId = request.value(QStringLiteral("PairRecord")).toMap().value(QStringLiteral("HostID")).toString();
            if (!m_phone.unpair(hostId))
                reply.insert(QStringLiteral("Error"), QStringLiteral("InvalidHostID"));
        } else if (name == QLatin1String("StartSession")) {
            return startSession(request, &reply);
        } else if (name == QLatin1String("StopSession")) {
            return stopSession(request, &reply);
        } else if (name == QLatin1String("StartService")) {
            startService(request, &reply);
        } else if (name == QLatin1String("Goodbye")) {
            send(reply);
            return false;
        } else {
            reply.insert(QStringLiteral("Error"), QStringLiteral("InvalidRequest"));
        }
        return send(reply);
    }

    bool send(const QVariantMap &reply)
    {
        return m_channel.writeMessage(PropertyList::toData(reply, PropertyList::Format::Xml));
    }

    void getValue(const QVariantMap &request, QVariantMap *reply)
    {
        const QString domainName = request.value(QStringLiteral("Domain")).toString();
        const QString key = request.value(QStringLiteral("Key")).toString();
        if (request.contains(QStringLiteral("Domain")))
            reply->insert(QStringLiteral("Domain"), domainName);
        if (request.contains(QStringLiteral("Key")))
            reply->insert(QStringLiteral("Key"), key);
        auto fail = [reply](const char *error) { reply->insert(QStringLiteral("Error"), QLatin1String(error)); };

        if (!m_session.active && (!domainName.isEmpty() || (!key.isEmpty() && !publicKeys().contains(key))))
            return fail("GetProhibited");
        auto domain = m_phone.domain(domainName);
        if (!domain)
            return fail("MissingValue");
        if (!m_session.active) {
            for (auto it = domain->begin(); it != domain->end();)
                it = publicKeys().contains(it.key()) ? std::next(it) : domain->erase(it);
        }
        if (key.isEmpty()) {
            reply->insert(QStringLiteral("Value"), *domain);
        } else if (domain->contains(key)) {
            reply->insert(QStringLiteral("Value"), domain->value(key));
        } else {
            fail("MissingValue");
        }
    }

    void setValue(const QVariantMap &request, QVariantMap *reply)
    {
        const QString domainName = request.value(QStringLiteral("Domain")).toString();
        const QString key = request.value(QStringLiteral("Key")).toString();
        if (key.isEmpty() || !request.contains(QStringLiteral("Value"))) {
            reply->insert(QStringLiteral("Error"), QStringLiteral("MissingValue"));
            return;
        }
        // usbmuxd tells a phone that does not trust it yet who it is.
        if (!m_session.active && domainName.isEmpty() && key == QLatin1String("UntrustedHostBUID"))
            return;
        if (!m_session.active || (domainName.isEmpty() && isIdentityKey(key))) {
            reply->insert(QStringLiteral("Error"), QStringLiteral("SetProhibited"));
            return;
        }
        m_phone.setValue(domainName, key, request.value(QStringLiteral("Value")));
    }

    void pair(const QVariantMap &request, QVariantMap *reply)
    {
        m_phone.count(&PhoneStats::pairRequests);
        QByteArray escrowBag;
        switch (m_phone.pair(request.value(QStringLiteral("PairRecord")).toMap(), &escrowBag)) {
        case Phone::PairAnswer::Paired:
            reply->insert(QStringLiteral("EscrowBag"), escrowBag);
            break;
        case Phone::PairAnswer::Pending:
            reply->insert(QStringLiteral("Error"), QStringLiteral("PairingDialogResponsePending"));
            break;
        case Phone::PairAnswer::Denied:
            reply->insert(QStringLiteral("Error"), QStringLiteral("UserDeniedPairing"));
            break;
        case Phone::PairAnswer::Locked:
            reply->insert(QStringLiteral("Error"), QStringLiteral("PasswordProtected"));
            break;
        case Phone::PairAnswer::InvalidRecord:
            reply->insert(QStringLiteral("Error"), QStringLiteral("InvalidPairRecord"));
            break;
        }
    }

    bool startSession(const QVariantMap &request, QVariantMap *reply)
    {
        if (m_session.active) {
            reply->insert(QStringLiteral("Error"), QStringLiteral("SessionActive"));
            return send(*reply);
        }
        const QString hostId = request.value(QStringLiteral("HostID")).toString();
        const QString systemBuid = request.value(QStringLiteral("SystemBUID")).toString();
        const auto host = m_phone.trustedHost(hostId);
        if (hostId.isEmpty()) {
            reply->insert(QStringLiteral("Error"), QStringLiteral("MissingHostID"));
            return send(*reply);
        }
        if (!host || (!systemBuid.isEmpty() && !host->systemBuid.isEmpty() && systemBuid != host->systemBuid)) {
            reply->insert(QStringLiteral("Error"), QStringLiteral("InvalidHostID"));
            return send(*reply);
        }
        QString error;
        const crypto::SslContext context =
            crypto::serverContext(host->deviceCertificate, m_phone.key(), m_phone.options().tlsMinimum, &error);
        if (!context) {
            qWarning("stand-in phone %s: no TLS for the session: %s", qPrintable(m_phone.udid()), qPrintable(error));
            reply->insert(QStringLiteral("Error"), QStringLiteral("InvalidPairRecord"));
            return send(*reply);
        }
        const QString sessionId = crypto::newUuid();
        reply->insert(QStringLiteral("SessionID"), sessionId);
        reply->insert(QStringLiteral("EnableSessionSSL"), true);
        if (!send(*reply) || !m_channel.startTls(context.get()))
            return false;
        // Only the computer the record was made for holds its root (or host)
        // certificate.
        X509 *peer = m_channel.peerCertificate();
        if (!crypto::sameCertificate(peer, host->rootCertificate) && !crypto::sameCertificate(peer, host->hostCertificate))
            return false;
        m_session = Session{true, sessionId, *host};
        m_phone.count(&PhoneStats::sessionsStarted);
        return true;
    }

    bool stopSession(const QVariantMap &request, QVariantMap *reply)
    {
        if (!m_session.active) {
            reply->insert(QStringLiteral("Error"), QStringLiteral("SessionInactive"));
            return send(*reply);
        }
        if (request.value(QStringLiteral("SessionID")).toString() != m_session.id) {
            reply->insert(QStringLiteral("Error"), QStringLiteral("InvalidSessionID"));
            return send(*reply);
        }
        m_session = Session();
        return send(*reply) && m_channel.stopTls();
    }

    void startService(const QVariantMap &request, QVariantMap *reply)
    {
        const QString service = request.value(QStringLiteral("Service")).toString();
        if (!service.isEmpty())
            reply->insert(QStringLiteral("Service"), service);
        auto fail = [reply](const char *error) { reply->insert(QStringLiteral("Error"), QLatin1String(error)); };
        if (!m_session.active)
            return fail("SessionInactive");
        if (service.isEmpty())
            return fail("MissingService");
        if (m_phone.options().refusedServices.contains(service))
            return fail("ServiceProhibited");
        if (!m_serviceExists(service))
            return fail("InvalidService");
        reply->insert(QStringLiteral("Port"), qint64(m_phone.offerService(service)));
        reply->insert(QStringLiteral("EnableServiceSSL"), false);
        m_phone.count(&PhoneStats::servicesStarted);
    }

    Channel &m_channel;
    Phone &m_phone;
    const ServiceExists &m_serviceExists;
    Session m_session;
};

} // namespace

void serveLockdown(Channel &channel, Phone &phone, const ServiceExists &serviceExists)
{
    phone.count(&PhoneStats::lockdownConnections);
    Lockdown(channel, phone, serviceExists).run();
}

} // namespace standin
