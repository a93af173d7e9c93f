#pragma once

// What the stand-in phone's services share: the plist messages most of them
// speak, the connection-wide faults, and the file service that house arrest
// hands its connection over to.

#include "tools/standin/standinservice.h"

#include <QByteArray>
#include <QString>
#include <QVariantMap>

#include <mutex>
#include <optional>

namespace standin {

// One client connection as a service sees it: the stream, the phone, and the
// faults this connection still has to act out.
class ServiceConnection
{
public:
    ServiceConnection(ServiceStream &stream, const ServiceContext &context, const QString &serviceName);

    ServiceStream &stream() { return m_stream; }
    const ServiceContext &context() const { return m_context; }
    const QString &serviceName() const { return m_serviceName; }
    // The phone was unplugged, or a fault ended the connection.
    bool ended() const;

    // A message of a plist service: a 4-byte big-endian length, then an XML
    // or binary property list. Nothing once the client has gone, or for a
    // message that is not a dictionary or is far larger than any real one.
    std::optional<QVariantMap> readPlist();
    // Sends root as an XML property list (what the phone answers with).
    // False once the client has gone or the reply was cut off.
    bool writePlist(const QVariant &root);

    // A reply of a service with a framing of its own: the whole of header and
    // body, or, when this connection is to cut the first reply that carries
    // data (cuttable), the header and half the body before the connection
    // ends. False when it ended.
    bool writeReply(const QByteArray &header, const char *body, qsizetype bodySize, bool cuttable);

    // File data a copy may still move before the phone leaves
    // ("LeaveAfterBytes"): size itself when no such fault is set, less when
    // the limit comes first, and -1 once it is reached (the phone has then
    // left and the connection ended).
    qint64 allowance(qint64 size);
    // Counts file data moved; the phone leaves once the limit is reached.
    void moved(qint64 size);

private:
    ServiceStream &m_stream;
    const ServiceContext &m_context;
    QString m_serviceName;
    bool m_cutPending = false;
    bool m_ended = false;
    qint64 m_leaveAfter = -1;
    qint64 m_moved = 0;
};

// Where a file service is rooted, and what of it may be reached.
struct AfcRoot
{
    QString folder;
    // Only "/Documents" and below (and "/" itself, listed as holding only
    // that folder), as the phone vends an App Store app's documents.
    bool documentsOnly = false;
};

// Serves the file service's packets until the client or the phone leaves.
void serveAfc(ServiceConnection &connection, const AfcRoot &root);

void serveHouseArrest(ServiceConnection &connection);
void serveInstallationProxy(ServiceConnection &connection);
void serveSpringboard(ServiceConnection &connection);

// Holds the phone's appsMutex (one of the process's own when the context has
// none).
std::unique_lock<std::mutex> lockApps(const ServiceContext &context);

// The phone's apps ({bundleId: attributes}, apps.plist of the scenario).
// Callers hold lockApps().
QVariantMap loadApps(const ServiceContext &context);
bool saveApps(const ServiceContext &context, const QVariantMap &apps);
// The folder of an app's container, when it is a real folder (not a link).
std::optional<QString> containerFolder(const ServiceContext &context, const QString &bundleId);

// Opens path inside root for reading when it is a regular file (no link on
// the way or at the end): the descriptor, or -1.
int openRegular(const QString &root, const QByteArray &path);
// The whole of such a file, when it holds at most maxBytes.
std::optional<QByteArray> readRegular(const QString &root, const QByteArray &path, qint64 maxBytes);

// A name that is one component of a path: not empty, no '/', no NUL, not
// "." or "..". Bundle ids from clients and packages must be one.
bool isPlainName(const QString &name);

} // namespace standin
