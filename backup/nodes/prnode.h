#pragma once

#include <QByteArray>
#include <QMetaType>
#include <QVariant>
#include <QString>

#include <memory>

// Receives the properties of a node, in declaration order, for printing and
// comparing records without knowing their class.
class PropertyVisitor
{
public:
    virtual ~PropertyVisitor() = default;
    // A null text is an absent value, an empty one is "".
    virtual void text(const char *name, const QString &value) = 0;
    // A null array is absent data.
    virtual void data(const char *name, const QByteArray &value) = 0;
    virtual void integer(const char *name, qint64 value) = 0;
    virtual void unsignedInteger(const char *name, quint64 value) = 0;
    virtual void flag(const char *name, bool value) = 0;
    // A reference to other nodes: how many it holds (a parent counts as one).
    virtual void nodeCount(const char *name, qsizetype count) = 0;
};

// Base of every record node: plain data a scan fills, posts and hands over.
//
// A node is filled by the thread that makes it and, once posted, belongs to
// whoever keeps it; it is never changed by two threads at once.
class PRNode
{
public:
    virtual ~PRNode() = default;
    virtual const char *className() const = 0;
    virtual void describe(PropertyVisitor &visitor) const = 0;

protected:
    PRNode() = default;
    PRNode(const PRNode &) = default;
    PRNode &operator=(const PRNode &) = default;
};

using PRNodeRef = std::shared_ptr<PRNode>;
Q_DECLARE_METATYPE(PRNodeRef)

// The text default of a node property: empty but present (not absent).
inline QString emptyText()
{
    return QStringLiteral("");
}

// Declares a property with a reader of its own name and a setter, the member
// itself private; the declaration is completed by its default, as in
//   PR_PROPERTY(QString, contactName, setContactName) = emptyText();
#define PR_PROPERTY(Type, name, setter)                                                                       \
public:                                                                                                       \
    const Type &name() const { return m_##name; }                                                             \
    void setter(const Type &value) { m_##name = value; }                                                      \
                                                                                                              \
private:                                                                                                      \
    Type m_##name

// The node a notification carries, as its own class; null when the object is
// not a node of that class.
template<typename T>
std::shared_ptr<T> nodeFromVariant(const QVariant &object)
{
    if (object.metaType() != QMetaType::fromType<PRNodeRef>())
        return nullptr;
    return std::dynamic_pointer_cast<T>(object.value<PRNodeRef>());
}

template<typename T>
QVariant nodeToVariant(const std::shared_ptr<T> &node)
{
    return QVariant::fromValue(PRNodeRef(node));
}
