#pragma once

// What a disk can do to a writer, made without privileges.

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <QFile>

namespace brimvolt::testing {

/** Cuts every file at `bytes`, the way a full disk does: past it writes fail with EFBIG. */
inline void LimitFileSize(rlim_t bytes) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
}

/** run() on a disk full beyond `bytes` of a file (0: not full), and only then: logs are files. */
template <typename Run>
auto OnFullDisk(rlim_t bytes, Run run) {
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    if (bytes != 0) {
        LimitFileSize(bytes);
    }
    auto result = run();
    setrlimit(RLIMIT_FSIZE, &saved);
    return result;
}

enum class Node { NullDevice, FullDevice, Fifo };

/**
 * A FIFO, or a device behaving as /dev/null or /dev/full: a node of its own where one can be
 * made, so that nothing here can touch the system's, else a link to the system's.
 */
inline bool MakeNode(const QString& path, Node node) {
    const QByteArray name = QFile::encodeName(path);
    if (node == Node::Fifo) {
        return mkfifo(name.constData(), 0666) == 0;
    }
    const bool full = node == Node::FullDevice;
    return mknod(name.constData(), S_IFCHR | 0666, makedev(1, full ? 7 : 3)) == 0 ||
           symlink(full ? "/dev/full" : "/dev/null", name.constData()) == 0;
}

}  // namespace brimvolt::testing
