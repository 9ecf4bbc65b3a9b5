#include "platform/Files.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QtGlobal>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace brimvolt::platform {

namespace {

enum class Kind {
    Missing,  // or out of sight: opening it tells why
    Regular,
    Stream,  // a character device or a FIFO
    Other,
};

Kind KindOf(const QString& path) {
#ifdef Q_OS_UNIX
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) {
        return Kind::Missing;
    }
    if (S_ISREG(info.st_mode)) {
        return Kind::Regular;
    }
    return S_ISCHR(info.st_mode) || S_ISFIFO(info.st_mode) ? Kind::Stream : Kind::Other;
#else
    const QFileInfo info(path);
    if (!info.exists()) {
        return Kind::Missing;
    }
    return info.isFile() ? Kind::Regular : Kind::Other;
#endif
}

// Passes every byte on to the file, however many calls the system takes, and keeps the reason
// of the first failure: an unbuffered file reports a write cut short by a full disk only on the
// call after.
class CCompleteWrites final : public QIODevice {
public:
    explicit CCompleteWrites(QFileDevice& file) : file(file) {
        open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    }

    bool isSequential() const override { return true; }
    bool Failed() const { return failed; }
    const QString& Reason() const { return reason; }

protected:
    qint64 readData(char*, qint64) override { return -1; }

    qint64 writeData(const char* data, qint64 size) override {
        for (qint64 done = 0; !failed && done < size;) {
            const qint64 written = file.write(data + done, size - done);
            if (written > 0) {
                done += written;
            } else {
                failed = true;
                reason = file.errorString();
            }
        }
        return failed ? -1 : size;
    }

private:
    QFileDevice& file;
    bool failed = false;
    QString reason;
};

// Some file systems (network ones) report a full disk only when the data go out: find that out
// while the old file is still in place.
bool Sync(QFileDevice& file, QString& reason) {
#ifdef Q_OS_UNIX
    if (::fsync(file.handle()) != 0 && errno != EINVAL && errno != EROFS) {
        reason = qt_error_string(errno);
        return false;
    }
#else
    Q_UNUSED(file);
    Q_UNUSED(reason);
#endif
    return true;
}

// Claims the blocks for `size` bytes before any of the old content is overwritten, so that a
// full disk is found while the file is still whole.
bool Reserve(QFile& file, qint64 size, QString& reason) {
#ifdef Q_OS_LINUX
    const int error = ::posix_fallocate(file.handle(), 0, size);
    // A file system that cannot reserve gets the plain write.
    if (error != 0 && error != EINVAL && error != EOPNOTSUPP) {
        reason = qt_error_string(error);
        return false;
    }
#else
    Q_UNUSED(file);
    Q_UNUSED(size);
    Q_UNUSED(reason);
#endif
    return true;
}

WriteResult WriteInPlace(const QString& path, const ContentWriter& write) {
    QFile file(path);
    // Read and write: opening for writing only would empty the file there and then.
    if (!file.open(QIODevice::ReadWrite | QIODevice::Unbuffered)) {
        return {WriteFailure::CannotCreate, file.errorString()};
    }
    // The whole content first: the old one is overwritten only with something complete.
    QBuffer content;
    content.open(QIODevice::WriteOnly);
    if (!write(content)) {
        return {WriteFailure::WriteFailed, {}};
    }
    const QByteArray& bytes = content.data();
    const qint64 oldSize = file.size();
    QString reason;
    if (!Reserve(file, bytes.size(), reason)) {
        if (file.size() != oldSize) {
            file.resize(oldSize);
        }
        return {WriteFailure::WriteFailed, reason};
    }
    CCompleteWrites sink(file);
    sink.write(bytes);
    if (sink.Failed()) {
        return {WriteFailure::WriteFailed, sink.Reason()};
    }
    if (!file.resize(bytes.size())) {
        return {WriteFailure::WriteFailed, file.errorString()};
    }
    if (!Sync(file, reason)) {
        return {WriteFailure::WriteFailed, reason};
    }
    return {};
}

WriteResult WriteInto(const QString& path, const ContentWriter& write) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        return {WriteFailure::CannotCreate, file.errorString()};
    }
    CCompleteWrites sink(file);
    if (!write(sink) || sink.Failed()) {
        return {WriteFailure::WriteFailed, sink.Reason()};
    }
    return {};
}

}  // namespace

WriteResult WriteWholeFile(const QString& path, const ContentWriter& write, Streams streams) {
    const Kind kind = KindOf(path);
    if (kind == Kind::Other || (kind == Kind::Stream && streams == Streams::Refuse)) {
        return {WriteFailure::NotRegular, {}};
    }
    if (kind == Kind::Stream) {
        return WriteInto(path, write);
    }
    const bool exists = kind == Kind::Regular;

    // Qt's own fallback to writing in place covers a folder without write permission only, and
    // empties the file before the first byte is written; ours covers whatever keeps a file from
    // being made beside it, and reserves the room first.
    QSaveFile file(path);
    // Unbuffered, so that every byte reaches the system in write(), where a failure is seen:
    // QSaveFile in Qt 6.4 puts the new file in place even when writing out its buffer fails
    // inside commit().
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        return exists ? WriteInPlace(path, write)
                      : WriteResult{WriteFailure::CannotCreate, file.errorString()};
    }
    CCompleteWrites sink(file);
    const bool produced = write(sink);
    QString reason = sink.Reason();
    if (!produced || sink.Failed() || !Sync(file, reason)) {
        file.cancelWriting();
        return {WriteFailure::WriteFailed, reason};
    }
    if (!file.commit()) {
        // Everything was written; only naming the new file failed (no name fits beside a name
        // at the length limit), and the old file is untouched.
        return exists ? WriteInPlace(path, write)
                      : WriteResult{WriteFailure::WriteFailed, file.errorString()};
    }
    return {};
}

WriteResult WriteWholeFile(const QString& path, const QByteArray& bytes, Streams streams) {
    return WriteWholeFile(
        path, [&bytes](QIODevice& device) { return device.write(bytes) == bytes.size(); }, streams);
}

bool IsRegularFile(const QString& path) {
    return KindOf(path) == Kind::Regular;
}

}  // namespace brimvolt::platform
