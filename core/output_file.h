#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace inkveil {

// A temporary file beside the final output. It is removed on destruction unless
// it was published; publishing never replaces an existing file. Throws FileError.
class TemporaryOutput {
public:
    // Creates ".inkveil-partial-XXXXXX.pdf" in folder, locked for as long as it is
    // being written, so that a later run can tell an abandoned one from a live one.
    explicit TemporaryOutput(const QString& folder);
    ~TemporaryOutput();
    TemporaryOutput(const TemporaryOutput&) = delete;
    TemporaryOutput& operator=(const TemporaryOutput&) = delete;

    int fd() const { return m_fd; }
    const QString& path() const { return m_path; }

    // Throws FileError (ENOENT, for folder) when the file is no longer where it
    // was made, as when the destination was removed while it was written.
    void checkInPlace(const QString& folder) const;

    // Moves the file to the name that chooseName gives, asking again when another
    // file took that name in the meantime. Returns the final path.
    QString publish(const std::function<QString()>& chooseName);

    // Removes partial outputs in folder that no live writer holds any more.
    static void removeAbandoned(const QString& folder);

private:
    QString m_path;
    int m_fd = -1;
    bool m_published = false;
};

// Creates folder and any missing parents; on destruction removes those it
// created, if they are still empty, unless kept. Throws FileError.
class CreatedFolders {
public:
    explicit CreatedFolders(const QString& folder);
    ~CreatedFolders();
    CreatedFolders(const CreatedFolders&) = delete;
    CreatedFolders& operator=(const CreatedFolders&) = delete;
    void keep() { m_created.clear(); }

private:
    void removeCreated();
    QStringList m_created; // deepest last
};

} // namespace inkveil
