#include "cli/scene_file.h"

#include <new>
#include <stdexcept>

#include <QFile>
#include <QFileInfo>

namespace lumivex {

namespace {

QString Quoted(const QString& path) {
    return "'" + path + "'";
}

}  // namespace

FileContents ReadWholeFile(const QString& path) {
    // QFile would say "file to open is a directory"; name it plainly instead.
    if (QFileInfo(path).isDir()) {
        return {std::nullopt, "cannot read " + Quoted(path) + ": it is a directory"};
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {std::nullopt, "cannot open " + Quoted(path) + ": " + file.errorString()};
    }
    // Read to the end in chunks rather than trusting size(), which is 0 for pipes and for
    // files under /proc.
    std::string bytes;
    if (file.size() > 0) {
        bytes.reserve(static_cast<std::size_t>(file.size()));
    }
    char chunk[64 * 1024];
    for (;;) {
        const qint64 count = file.read(chunk, sizeof chunk);
        if (count < 0) {
            return {std::nullopt, "cannot read " + Quoted(path) + ": " + file.errorString()};
        }
        if (count == 0) {
            break;
        }
        bytes.append(chunk, static_cast<std::size_t>(count));
    }
    return {std::move(bytes), {}};
}

std::string LoadFailureMessage(const std::string& fileName, const std::exception& failure) {
    // std::length_error is what std::string and std::vector throw for a size past their limits.
    if (dynamic_cast<const std::bad_alloc*>(&failure) != nullptr ||
        dynamic_cast<const std::length_error*>(&failure) != nullptr) {
        return "out of memory while loading '" + fileName + "'";
    }
    return "loading '" + fileName + "' failed: " + failure.what();
}

}  // namespace lumivex
