// A small tmpfs of the test's own, for writing to a full or read-only file system. Mounting
// needs root (CI runs as root); tests skip where it is refused.
#pragma once

#include <cstdint>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <QByteArray>
#include <QFile>
#include <QString>

namespace lumivex::testing {

class TmpfsMount {
  public:
    // Mounts a tmpfs with mount(2) `options` (such as "size=64k") and `flags` (such as
    // MS_RDONLY) on the existing directory `path`, until destroyed.
    TmpfsMount(const QString& path, const char* options, unsigned long flags = 0)
        : path(QFile::encodeName(path)) {
        mounted = mount("tmpfs", this->path.constData(), "tmpfs",
                        flags | MS_NOSUID | MS_NODEV | MS_NOEXEC, options) == 0;
    }
    TmpfsMount(const TmpfsMount&) = delete;
    TmpfsMount& operator=(const TmpfsMount&) = delete;
    ~TmpfsMount() {
        if (mounted) {
            umount2(path.constData(), MNT_DETACH);
        }
    }

    bool Mounted() const { return mounted; }

    // Fills the file system with the file `name` until only `spare` bytes are free.
    bool FillLeaving(const QString& name, std::uint64_t spare) const {
        struct statvfs status {};
        if (statvfs(path.constData(), &status) != 0) {
            return false;
        }
        const std::uint64_t free = std::uint64_t{status.f_bavail} * status.f_frsize;
        QFile filler(QFile::decodeName(path) + "/" + name);
        return free >= spare && filler.open(QIODevice::WriteOnly) &&
               posix_fallocate(filler.handle(), 0, static_cast<off_t>(free - spare)) == 0;
    }

  private:
    QByteArray path;
    bool mounted = false;
};

}  // namespace lumivex::testing
