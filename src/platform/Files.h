#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

class QIODevice;

// Every file the program and its tools write is written whole or not at all, through one
// function; and the window never opens a FIFO or a device as if it were a file.

namespace brimvolt::platform {

/** What a write does with a path naming a character device or a FIFO. */
enum class Streams {
    Refuse,     // the window: curve files, the autosave and Colors.ini are regular files only
    WriteInto,  // the command-line tools: written into as it stands, as a shell redirection
                // would (`csv IN /dev/stdout`)
};

enum class WriteFailure {
    None,
    NotRegular,    // a folder, a device, a FIFO or a socket that this write may not use
    CannotCreate,  // neither a file beside the target nor the target itself could be opened
    WriteFailed,   // writing, flushing or replacing failed; an existing file was left as it was
};

struct WriteResult {
    WriteFailure failure = WriteFailure::None;
    /** The system's words for the failure ("No space left on device"); empty for NotRegular. */
    QString reason;

    bool Ok() const { return failure == WriteFailure::None; }
    explicit operator bool() const { return Ok(); }
};

/**
 * Writes the whole content into `device`; false when it could not produce it. It may be called
 * a second time, for the same content, when the file has to be rewritten in place.
 */
using ContentWriter = std::function<bool(QIODevice& device)>;

/**
 * Writes the file at `path` whole or not at all. The content goes to a new file beside the
 * target, which replaces it only once every byte is written and on disk, so a full disk or any
 * other failure leaves an existing file as it was. Where no file can be made or named beside an
 * existing writable file (a folder that takes no new entries, a name at the length limit), the
 * file is rewritten in place, once the room for the new content is reserved. Symbolic links are
 * followed and kept. A path naming anything but a regular file is refused, or with WriteInto
 * written straight into when it is a character device or a FIFO.
 */
WriteResult WriteWholeFile(const QString& path, const ContentWriter& write,
                           Streams streams = Streams::Refuse);
WriteResult WriteWholeFile(const QString& path, const QByteArray& bytes,
                           Streams streams = Streams::Refuse);

/**
 * Whether `path` names a regular file (through symbolic links), checked without opening it: a
 * FIFO would make a reader wait for a writer, and opening a serial device can reset what hangs
 * on it.
 */
bool IsRegularFile(const QString& path);

}  // namespace brimvolt::platform
