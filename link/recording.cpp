// Traffic recording: the GUI thread opens and closes the dump file, the reader
// thread appends one line per valid frame. The two threads meet only through
// the atomic flags `recording` and `writingLine` (sequentially consistent):
//   reader: set writingLine, then test recording, write, clear writingLine;
//   GUI:    clear recording, then wait for writingLine to clear, then close.
// Whatever order the two interleave in, either the reader sees `recording`
// clear and leaves the file alone, or the GUI sees `writingLine` set and waits
// for the line to be finished; so no line goes to a closed file and no file is
// closed in the middle of a line. The file object is replaced only while
// `recording` is clear, and published to the reader by setting it.

#include "link/serialmanager.h"

#include "formats/dumpformat.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include <thread>

namespace {

// Names tried per second before giving up; a safety bound only, a second
// holds far fewer recordings than this.
constexpr int MAX_NAMES_PER_SECOND = 1000;

} // namespace

bool serialManager::startRecording()
{
    // A second start while recording would replace the file under the
    // reader's feet; finish the current recording first.
    if (recording.load())
        stopRecording();

    const QString dirPath = QDir::currentPath() + QStringLiteral("/dumps");
    QDir dir(dirPath);
    if (!dir.exists() && !dir.mkpath(QStringLiteral(".")))
        return false;

    // Every recording gets a file of its own: the file is created with
    // NewOnly, so an existing one (a recording started earlier in the same
    // second) is never opened; the next free sequence suffix is taken instead.
    // Unbuffered: each line goes to the file in one write call, so a failing
    // disk cannot make a buffer grow, and a line is in the file when written.
    const QDateTime start = QDateTime::currentDateTime();
    const QString base = dir.absolutePath() + QLatin1Char('/');
    for (int sequence = 1; sequence <= MAX_NAMES_PER_SECOND; ++sequence) {
        const QString path = base + dump::fileName(start, sequence);
        dumpFile = std::make_unique<QFile>(path);
        if (dumpFile->open(QIODevice::ReadWrite | QIODevice::NewOnly | QIODevice::Unbuffered)) {
            constexpr qint64 HEADER_SIZE = sizeof dump::HEADER_LINE - 1;
            if (dumpFile->write(dump::HEADER_LINE, HEADER_SIZE) != HEADER_SIZE) {
                // Not even the header fits (full disk): no recording, and no
                // headless file left behind.
                dumpFile->remove();
                return false;
            }
            recording.store(true);
            return true;
        }
        // Only a name already in use (by anything, a dangling link included)
        // is worth another try; any other failure (no permission, read-only
        // or full file system) stays.
        const QFileInfo taken(path);
        if (!taken.exists() && !taken.isSymLink())
            return false;
    }
    return false;
}

void serialManager::stopRecording()
{
    recording.store(false);
    // The reader finishes the line it may be writing: one write call.
    while (writingLine.load())
        std::this_thread::yield();
    if (dumpFile)
        dumpFile->close();
}

void serialManager::writeDumpLine(const MessageRecord &record)
{
    writingLine.store(true);
    if (recording.load()) {
        dump::LineBuffer line;
        dump::formatLine(record, line);
        // A failed or short write (full disk) returns -1 or less; the frame
        // still goes to the store and the reader carries on.
        dumpFile->write(line.constData(), line.size());
        dumpFile->flush();
    }
    writingLine.store(false);
}
