#pragma once

#include <QString>

// A fresh private folder for one use (a database copy, a preview file),
// removed with everything in it when the object goes.
//
// All scratch folders live under one per-user root of mode 0700, which is
// created on first use and refused when it is not a real folder owned by
// this user with no access for others: nothing the user reads from a backup
// is ever left where another account could read or plant it.
//
// A folder is named after the process that made it ("use-<pid>-XXXXXX"), so
// that the folders of a process that was killed (and never removed its own)
// can be found and removed by the next one.
class ScratchFolder
{
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder &) = delete;
    ScratchFolder &operator=(const ScratchFolder &) = delete;
    ScratchFolder(ScratchFolder &&other) noexcept;
    ScratchFolder &operator=(ScratchFolder &&other) noexcept;

    // False when no private folder could be made; path() is then empty.
    bool isValid() const { return !m_path.isEmpty(); }
    QString path() const { return m_path; }
    QString filePath(const QString &name) const;

    // The per-user root, made on demand; empty when it cannot be made safely.
    static QString root();

    // Removes the folders of processes that no longer run, and folders of the
    // older naming that carries no process id, whole at any depth. Links
    // inside are removed, never followed. Called once at start, before any
    // folder is made.
    static void removeStale();

private:
    void remove();
    QString m_path;
};
