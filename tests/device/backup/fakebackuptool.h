#pragma once

// Puts the fake idevicebackup2 (tests/tools/fakebackup) first on PATH for the
// life of the object, for any test suite that runs device backups:
//
//   target_compile_definitions(my_test PRIVATE
//     OSTRA_FAKE_BACKUP_TOOL="$<TARGET_FILE:ostra-fake-idevicebackup2>")
//   add_dependencies(my_test ostra-fake-idevicebackup2)
//
//   FakeBackupTool tool(QStringLiteral(OSTRA_FAKE_BACKUP_TOOL));
//   ASSERT_TRUE(tool.isValid());
//   tool.set("OSTRA_FAKE_BACKUP_EXIT", "1");   // how the next runs behave
//   ... run backups ...
//   tool.invocations();                       // the argument lines, in order
//
// PATH and every OSTRA_FAKE_BACKUP_* variable it touched are put back on
// destruction. The environment is the process's: keep one object at a time,
// made before any thread that starts the tool.

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <optional>
#include <utility>
#include <vector>

class FakeBackupTool
{
public:
    explicit FakeBackupTool(const QString &fakeToolPath)
    {
        if (!m_dir.isValid() || !QFile::link(fakeToolPath, m_dir.filePath(QStringLiteral("idevicebackup2"))))
            return;
        const QByteArray path = qgetenv("PATH");
        set("PATH", QFile::encodeName(m_dir.path()) + (path.isEmpty() ? QByteArray() : ':' + path));
        // Nothing set by an earlier test (or the shell) changes what it does.
        for (const char *name : {"OSTRA_FAKE_BACKUP_HANG", "OSTRA_FAKE_BACKUP_EXIT", "OSTRA_FAKE_BACKUP_UNFINISHED",
                                 "OSTRA_FAKE_BACKUP_ENCRYPTED", "OSTRA_FAKE_BACKUP_IOS", "OSTRA_FAKE_BACKUP_DELAY_MS"})
            unset(name);
        set("OSTRA_FAKE_BACKUP_LOG", QFile::encodeName(logPath()));
        m_valid = true;
    }
    ~FakeBackupTool()
    {
        for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it) {
            if (it->second)
                qputenv(it->first.constData(), *it->second);
            else
                qunsetenv(it->first.constData());
        }
    }
    FakeBackupTool(const FakeBackupTool &) = delete;
    FakeBackupTool &operator=(const FakeBackupTool &) = delete;

    bool isValid() const { return m_valid; }
    // The folder on PATH that holds the tool.
    QString folder() const { return m_dir.path(); }
    // Where the tool appends its arguments, one run a line.
    QString logPath() const { return m_dir.filePath(QStringLiteral("invocations.log")); }
    // The argument lines of the runs so far.
    QStringList invocations() const
    {
        QFile file(logPath());
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    // Sets an environment variable until the object goes.
    void set(const char *name, const QByteArray &value)
    {
        save(name);
        qputenv(name, value);
    }
    void unset(const char *name)
    {
        save(name);
        qunsetenv(name);
    }

private:
    void save(const char *name)
    {
        for (const auto &saved : m_saved) {
            if (saved.first == name)
                return;
        }
        m_saved.emplace_back(QByteArray(name),
                             qEnvironmentVariableIsSet(name) ? std::optional<QByteArray>(qgetenv(name)) : std::nullopt);
    }

    QTemporaryDir m_dir;
    bool m_valid = false;
    std::vector<std::pair<QByteArray, std::optional<QByteArray>>> m_saved;
};
