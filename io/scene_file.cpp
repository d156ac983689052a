#include "io/scene_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <stdexcept>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>

#include "scene/printable_text.h"

namespace lumivex {

namespace {

// How long one wait for a pipe's data lasts before the stop request is looked at again.
constexpr int kPollMilliseconds = 20;
// Bytes read at a time: small enough that a stop request between two reads is answered at once.
constexpr std::size_t kChunkBytes = std::size_t{4} << 20;

QString Quoted(const QString& path) {
    return "'" + PrintableFileName(path) + "'";
}

QString ErrnoText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

// Closes the descriptor when it goes.
class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : fd(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    int Get() const { return fd; }

  private:
    int fd;
};

bool StopRequested(const SceneFileLimits& limits) {
    return limits.stop != nullptr && limits.stop->load(std::memory_order_relaxed);
}

}  // namespace

QString PrintableFileName(const QString& name) {
    return QString::fromStdString(PrintableText(name.toStdString()));
}

QString ByteCountText(std::uint64_t bytes) {
    constexpr const char* kUnits[] = {"KiB", "MiB", "GiB", "TiB"};
    if (bytes == 0 || bytes % 1024 != 0) {
        return QString("%1 bytes").arg(bytes);
    }
    int unit = -1;
    while (unit + 1 < 4 && bytes % 1024 == 0) {
        bytes /= 1024;
        ++unit;
    }
    return QString("%1 %2").arg(bytes).arg(kUnits[unit]);
}

FileContents ReadSceneFile(const QString& path, const SceneFileLimits& limits) {
    using Problem = FileContents::Problem;
    const auto fail = [&](Problem problem, const QString& why) {
        return FileContents{std::nullopt, why, problem};
    };
    const auto unreadable = [&](const QString& reason) {
        return fail(Problem::Unreadable, "cannot read " + Quoted(path) + ": " + reason);
    };
    const auto tooLarge = [&] {
        return fail(Problem::TooLarge, "cannot read " + Quoted(path) +
                                           ": it is larger than the scene size limit of " +
                                           ByteCountText(limits.maxBytes));
    };

    // Non-blocking, so that opening a FIFO nobody writes to yet returns at once; the reads below
    // wait for data in short steps instead, looking at the stop request in between.
    const FileDescriptor file(
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (file.Get() < 0) {
        return fail(Problem::Unreadable, "cannot open " + Quoted(path) + ": " + ErrnoText(errno));
    }
    struct stat status {};
    if (::fstat(file.Get(), &status) != 0) {
        return unreadable(ErrnoText(errno));
    }
    if (S_ISDIR(status.st_mode)) {
        return unreadable("it is a directory");
    }
    if (S_ISCHR(status.st_mode) || S_ISBLK(status.st_mode)) {
        return unreadable("it is a device, not a scene file");
    }
    const bool regular = S_ISREG(status.st_mode);
    if (regular && static_cast<std::uint64_t>(status.st_size) > limits.maxBytes) {
        return tooLarge();
    }

    // A regular file's size is known, so its bytes go straight into a string of that size; a
    // pipe's are appended as they come. Either way the file is read to its end, as its size may
    // change meanwhile.
    std::string bytes;
    if (regular) {
        bytes.resize(static_cast<std::size_t>(status.st_size));
    }
    std::size_t filled = 0;
    char chunk[64 * 1024];
    for (;;) {
        if (StopRequested(limits)) {
            return fail(Problem::Stopped, "reading " + Quoted(path) + " was stopped");
        }
        // A pipe is read only once poll says so: a FIFO that no writer has opened yet reads as
        // empty, but poll waits for the writer, its data or its closing the pipe.
        if (!regular) {
            pollfd wait{file.Get(), POLLIN, 0};
            if (::poll(&wait, 1, kPollMilliseconds) == 0) {
                continue;
            }
        }
        const bool inPlace = filled < bytes.size();
        char* const target = inPlace ? bytes.data() + filled : chunk;
        const std::size_t room =
            inPlace ? std::min(bytes.size() - filled, kChunkBytes) : sizeof chunk;
        const ssize_t count = ::read(file.Get(), target, room);
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                continue;
            }
            return unreadable(ErrnoText(errno));
        }
        if (count == 0) {
            break;
        }
        const auto* nul =
            static_cast<const char*>(std::memchr(target, '\0', static_cast<std::size_t>(count)));
        if (nul != nullptr) {
            return fail(Problem::NotText,
                        QString("cannot read %1: it is not a scene file (a NUL byte at offset %2; "
                                "scene files are text)")
                            .arg(Quoted(path))
                            .arg(static_cast<qulonglong>(filled + (nul - target))));
        }
        if (filled + static_cast<std::size_t>(count) > limits.maxBytes) {
            return tooLarge();
        }
        if (!inPlace) {
            bytes.append(chunk, static_cast<std::size_t>(count));
        }
        filled += static_cast<std::size_t>(count);
    }
    bytes.resize(filled);
    return {std::move(bytes), {}, Problem::None};
}

std::string LoadFailureMessage(const std::string& fileName, const std::exception& failure) {
    // std::length_error is what std::string and std::vector throw for a size past their limits.
    if (dynamic_cast<const std::bad_alloc*>(&failure) != nullptr ||
        dynamic_cast<const std::length_error*>(&failure) != nullptr) {
        return "out of memory while loading '" + PrintableText(fileName) + "'";
    }
    return "loading '" + PrintableText(fileName) + "' failed: " + PrintableText(failure.what());
}

}  // namespace lumivex
