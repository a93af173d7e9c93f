#pragma once

// Records, stored files and PDF tools for the personal export tests.

#include "backup/nodes/prcontactnode.h"
#include "backup/nodes/prmessagenode.h"
#include "backup/nodes/prnotenode.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QStringDecoder>

#include <gtest/gtest.h>

#include <memory>
#include <optional>

namespace personaltest {

inline QByteArray bytesOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

inline void putFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(file.write(bytes), bytes.size());
}

// Everything in folder, hidden entries included, sorted.
inline QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// A written page as text: UTF-16 little-endian after its byte-order mark.
inline QString pageText(const QString &path)
{
    const QByteArray bytes = bytesOf(path);
    if (!bytes.startsWith("\xff\xfe"))
        return QStringLiteral("<no byte-order mark>");
    QStringDecoder utf16(QStringConverter::Utf16LE);
    return utf16(bytes.mid(2));
}

inline std::shared_ptr<PRMessageNode> textMessage(const QString &name, const QString &type, const QString &content,
                                                  const QString &date = QStringLiteral("2023-05-01 10:00:00"))
{
    auto node = std::make_shared<PRMessageNode>();
    node->setMessageName(name);
    node->setMessageType(type);
    node->setMessageContent(content);
    node->setMessageDate(date);
    return node;
}

inline std::shared_ptr<PRMessageNode> attachmentMessage(const QString &name, const QString &type,
                                                        const QString &attachType, const QString &path)
{
    auto node = textMessage(name, type, QString());
    node->setIsHasAttach(true);
    node->setAttachType(attachType);
    node->setAttachmentPath(path);
    return node;
}

inline std::shared_ptr<PRMessageTreeNode> conversation(const QString &name, const QString &address,
                                                       const QList<std::shared_ptr<PRMessageNode>> &messages)
{
    auto node = std::make_shared<PRMessageTreeNode>();
    node->setMessageTreeNodeName(name);
    node->setMessageTreeNodeAdress(address);
    node->setMessageNodeArray(messages);
    return node;
}

inline std::shared_ptr<PRNoteNode> note(const QString &title, const QString &content, const QString &date,
                                        const QString &attachment = QString())
{
    auto node = std::make_shared<PRNoteNode>();
    node->setNoteTitle(title);
    node->setNoteContent(content);
    node->setNoteDate(date);
    if (!attachment.isNull())
        node->setNoteAttachPath(attachment);
    return node;
}

inline std::shared_ptr<PRContactNode> contact(int rowid, const QString &name, const QString &company = QString())
{
    auto node = std::make_shared<PRContactNode>();
    node->setRowid(rowid);
    node->setContactName(name);
    if (!company.isNull())
        node->setContactCompany(company);
    return node;
}

// A JPEG of size: a gradient with a frame, so it compresses like a photo's sky.
inline QByteArray jpegOf(const QSize &size, QColor colour)
{
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient gradient(0, 0, size.width(), size.height());
    gradient.setColorAt(0, colour);
    gradient.setColorAt(1, Qt::white);
    painter.fillRect(image.rect(), gradient);
    painter.setPen(QPen(Qt::black, 8));
    painter.drawRect(image.rect().adjusted(4, 4, -4, -4));
    painter.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 80);
    return bytes;
}

inline bool havePdfTools()
{
    for (const char *tool : {"pdfinfo", "pdftotext", "pdfimages"})
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
            return false;
    return true;
}

// A tool's standard output; nothing when it failed.
inline std::optional<QString> runTool(const QString &tool, const QStringList &arguments)
{
    QProcess process;
    process.start(tool, arguments);
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return std::nullopt;
    return QString::fromUtf8(process.readAllStandardOutput());
}

// The page count pdfinfo reads; -1 when it cannot read the file.
inline int pdfPages(const QString &pdf)
{
    const std::optional<QString> info = runTool(QStringLiteral("pdfinfo"), {pdf});
    if (!info)
        return -1;
    for (const QString &line : info->split(QLatin1Char('\n')))
        if (line.startsWith(QLatin1String("Pages:")))
            return line.mid(6).trimmed().toInt();
    return -1;
}

// The text pdftotext finds, lines joined by blanks (a bubble may wrap).
inline QString pdfText(const QString &pdf)
{
    const std::optional<QString> text = runTool(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
    return text ? text->simplified() : QStringLiteral("<unreadable>");
}

// The widths of the pictures the PDF embeds (pdfimages -list).
inline QList<int> pdfImageWidths(const QString &pdf)
{
    QList<int> widths;
    const std::optional<QString> list = runTool(QStringLiteral("pdfimages"), {QStringLiteral("-list"), pdf});
    if (!list)
        return {-1};
    const QStringList lines = list->split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    // Two header lines, then: page num type width height ...
    for (qsizetype i = 2; i < lines.size(); ++i) {
        const QStringList columns = lines.at(i).simplified().split(QLatin1Char(' '));
        if (columns.size() > 4 && columns.at(2) == QLatin1String("image"))
            widths.append(columns.at(3).toInt());
    }
    return widths;
}

// The process's peak resident size so far, in KiB (VmHWM).
inline qint64 peakResidentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

} // namespace personaltest
