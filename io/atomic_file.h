// Replacing a file whole or not at all, with every failure of the disk reported.
#pragma once

#include <cstddef>
#include <cstdint>

#include <QByteArray>
#include <QString>

namespace lumivex {

// Why no regular file may be put at `path`: it exists but is no regular file, also through
// symbolic links ("it is a device", "it is a symbolic link to a FIFO"), or it is a symbolic link
// to nothing. Empty when `path` is a new name or a regular file (or a link to one).
QString ReplaceProblem(const QString& path);

// A file's new contents, written to a temporary file beside it that takes the file's name only
// once complete and synced to disk. On any failure, and when the AtomicFile goes without a
// Commit, the temporary file is removed and an earlier file of that name stays as it was. A
// symbolic link at the name is written through: the file it leads to is replaced and the link
// stays. The temporary file, hidden as ".NAME.XXXXXX", has the permissions of the file it
// replaces, or those a new file gets (0666 less the umask).
class AtomicFile {
  public:
    // Creates the temporary file; GetFailure() says whether that worked.
    explicit AtomicFile(const QString& path);
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;
    ~AtomicFile();

    // Why a step failed, as the system says it ("No space left on device"); empty while all is
    // well. After a failure every further step fails at once.
    const QString& GetFailure() const { return failure; }

    // Writes all `size` bytes at `offset` of the new contents.
    bool WriteAt(std::int64_t offset, const char* data, std::size_t size);

    // Syncs the new contents to disk, gives them the name and syncs the directory, so that
    // after a crash the name holds either the old contents or the new ones in full.
    bool Commit();

  private:
    bool Fail(const QString& reason);
    bool FailWithErrno(int error);

    QByteArray target;     // the name to replace, symbolic links followed
    QByteArray temporary;  // empty when there is no temporary file (any more)
    int descriptor = -1;
    QString failure;
};

// Makes a write to a pipe whose reader has gone, or past the file size limit (ulimit -f), fail
// with an error to report (and a temporary file to remove) instead of killing the program: both
// programs call it first thing.
void IgnoreWriteSignals();

}  // namespace lumivex
