#pragma once

#include "recovery/pagesource.h"

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// A file of given bytes, opened through both sources.
class SourceFile
{
public:
    explicit SourceFile(const QByteArray &content)
    {
        m_path = m_dir.filePath(QStringLiteral("db"));
        QFile f(m_path);
        f.open(QIODevice::WriteOnly);
        f.write(content);
        f.close();
        EXPECT_TRUE(mapped.open(m_path));
        EXPECT_TRUE(stream.open(m_path));
    }
    MappedSource mapped;
    StreamSource stream;

private:
    QTemporaryDir m_dir;
    QString m_path;
};
