#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QVarLengthArray>

#include <initializer_list>
#include <utility>

namespace samplegen {

// Writes a small binary property list object by object. Manifest.db needs one
// list per row, half a million of them for the largest samples, and going
// through a QVariant tree and a general serialiser took most of the time.
//
// Each add returns the object's reference; containers take the references
// of members added before them. References are one byte, so a list holds at
// most 255 objects; finish() returns nothing beyond that.
class BinaryPlistEncoder
{
public:
    using Ref = int;
    using Item = std::pair<Ref, Ref>; // key, value

    BinaryPlistEncoder();

    Ref integer(qint64 value);
    Ref string(const QString &text);
    Ref data(QByteArrayView bytes);
    Ref uid(quint64 value);
    Ref array(std::initializer_list<Ref> members);
    Ref array(const Ref *members, qsizetype count);
    Ref dict(const Item *items, qsizetype count);

    // The whole list with top as its root; empty when there were too many
    // objects.
    QByteArray finish(Ref top);

private:
    Ref begin();
    void putLength(quint8 marker, qsizetype length);
    void putRef(Ref ref);

    QByteArray m_out;
    QVarLengthArray<quint32, 64> m_offsets;
};

} // namespace samplegen
