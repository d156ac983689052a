#include "io/atomic_file.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <memory>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QRandomGenerator>

namespace lumivex {

namespace {

// The system's wording of an errno value, such as "No space left on device".
QString ErrnoText(int error) {
    return QString::fromStdString(std::generic_category().message(error));
}

const char* KindOfFile(mode_t mode) {
    if (S_ISDIR(mode)) {
        return "a directory";
    }
    if (S_ISCHR(mode) || S_ISBLK(mode)) {
        return "a device";
    }
    if (S_ISFIFO(mode)) {
        return "a FIFO";
    }
    if (S_ISSOCK(mode)) {
        return "a socket";
    }
    return "a special file";
}

// The directory part of a path and its last component: "." for a bare name.
QByteArray DirectoryOf(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    return slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : path.left(slash);
}

QByteArray FileNameOf(const QByteArray& path) {
    return path.mid(path.lastIndexOf('/') + 1);
}

// ".NAME.XXXXXX" beside `target`, with six random letters and digits. Long names are cut so that
// the temporary one stays within the 255 bytes a file name may have.
QByteArray TemporaryName(const QByteArray& target) {
    static constexpr char kLetters[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QByteArray name = FileNameOf(target).left(240);
    name = "." + name + ".";
    for (int i = 0; i < 6; ++i) {
        name += kLetters[QRandomGenerator::global()->bounded(int(sizeof kLetters) - 1)];
    }
    const QByteArray directory = DirectoryOf(target);
    return directory == "/" ? "/" + name : directory + "/" + name;
}

}  // namespace

QString ReplaceProblem(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    struct stat link {};
    if (lstat(name.constData(), &link) != 0) {
        // A new name; anything else wrong with it shows when the file is created.
        return {};
    }
    const QString what = S_ISLNK(link.st_mode) ? "it is a symbolic link to " : "it is ";
    struct stat status {};
    if (stat(name.constData(), &status) != 0) {
        return errno == ENOENT ? QString("it is a symbolic link to nothing") : ErrnoText(errno);
    }
    if (S_ISREG(status.st_mode)) {
        return {};
    }
    return what + KindOfFile(status.st_mode);
}

AtomicFile::AtomicFile(const QString& path) {
    if (const QString problem = ReplaceProblem(path); !problem.isEmpty()) {
        Fail(problem);
        return;
    }
    target = QFile::encodeName(path);
    struct stat status {};
    const bool exists = stat(target.constData(), &status) == 0;
    struct stat link {};
    if (lstat(target.constData(), &link) == 0 && S_ISLNK(link.st_mode)) {
        const std::unique_ptr<char, decltype(&std::free)> resolved(
            realpath(target.constData(), nullptr), &std::free);
        if (!resolved) {
            FailWithErrno(errno);
            return;
        }
        target = resolved.get();
    }
    // Like an editor's save, a replacement does not get round a file's write protection.
    if (exists && access(target.constData(), W_OK) != 0) {
        FailWithErrno(errno);
        return;
    }
    // Created with no more permissions than it will have; the umask may take some away, which
    // fchmod gives back for a replaced file.
    const mode_t mode = exists ? status.st_mode & 0777 : 0666;
    for (int attempt = 0; attempt < 100 && descriptor < 0; ++attempt) {
        const QByteArray name = TemporaryName(target);
        descriptor =
            open(name.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
        if (descriptor >= 0) {
            temporary = name;
        } else if (errno != EEXIST) {
            FailWithErrno(errno);
            return;
        }
    }
    if (descriptor < 0) {
        FailWithErrno(EEXIST);
        return;
    }
    if (exists) {
        // Best effort: some file systems have no permission bits to set.
        fchmod(descriptor, mode);
    }
}

AtomicFile::~AtomicFile() {
    if (descriptor >= 0) {
        close(descriptor);
    }
    if (!temporary.isEmpty()) {
        unlink(temporary.constData());
    }
}

bool AtomicFile::WriteAt(std::int64_t offset, const char* data, std::size_t size) {
    if (!failure.isEmpty()) {
        return false;
    }
    while (size > 0) {
        const ssize_t written = pwrite(descriptor, data, size, static_cast<off_t>(offset));
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return FailWithErrno(errno);
        }
        if (written == 0) {
            return FailWithErrno(EIO);
        }
        data += written;
        size -= static_cast<std::size_t>(written);
        offset += written;
    }
    return true;
}

bool AtomicFile::Commit() {
    if (!failure.isEmpty()) {
        return false;
    }
    // Some file systems report a failed write only when the data reach the disk, or at close.
    if (fsync(descriptor) != 0) {
        return FailWithErrno(errno);
    }
    const int closed = close(descriptor);
    descriptor = -1;
    if (closed != 0 && errno != EINTR) {
        return FailWithErrno(errno);
    }
    if (rename(temporary.constData(), target.constData()) != 0) {
        return FailWithErrno(errno);
    }
    temporary.clear();
    // The new name is only as safe as the directory entry that holds it.
    const int directory = open(DirectoryOf(target).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory < 0) {
        return Fail("written, but its directory could not be synced: " + ErrnoText(errno));
    }
    // EINVAL: the file system has no way of syncing a directory, and needs none.
    const bool synced = fsync(directory) == 0 || errno == EINVAL;
    const int error = errno;
    close(directory);
    if (!synced) {
        return Fail("written, but its directory could not be synced: " + ErrnoText(error));
    }
    return true;
}

bool AtomicFile::Fail(const QString& reason) {
    failure = reason;
    if (descriptor >= 0) {
        close(descriptor);
        descriptor = -1;
    }
    if (!temporary.isEmpty()) {
        unlink(temporary.constData());
        temporary.clear();
    }
    return false;
}

bool AtomicFile::FailWithErrno(int error) {
    return Fail(ErrnoText(error));
}

void IgnoreWriteSignals() {
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
}

}  // namespace lumivex
