#include "formats/framewriter.h"

#include <QIODevice>

namespace formats {

namespace {

// The buffer goes to the device once it holds about this much.
constexpr int CHUNK_BYTES = 256 * 1024;

} // namespace

FrameWriter::FrameWriter(QIODevice *target, const WriteOptions &writeOptions)
    : options(writeOptions)
    , device(target)
{
}

FrameWriter::~FrameWriter() = default;

void FrameWriter::ending(QByteArray &)
{
}

void FrameWriter::flushing(QByteArray &)
{
}

qint64 FrameWriter::heldBytes() const
{
    return 0;
}

bool FrameWriter::completed(QIODevice *)
{
    return true;
}

void FrameWriter::fail(const QString &why)
{
    if (ioErrorText.isEmpty())
        ioErrorText = why.isEmpty() ? QStringLiteral("write failed") : why;
    buffer.clear();
}

FrameWriter::Outcome FrameWriter::write(const CanFrame &frame)
{
    const Outcome outcome = format(frame, buffer);
    switch (outcome) {
    case Outcome::Written:
        ++written;
        break;
    case Outcome::Truncated:
        ++written;
        ++truncatedFrames;
        break;
    case Outcome::Unsupported:
        ++unsupportedFrames;
        break;
    }
    if (buffer.size() >= CHUNK_BYTES)
        writeBuffer();
    return outcome;
}

bool FrameWriter::flush()
{
    if (!failed())
        flushing(buffer);
    return writeBuffer();
}

bool FrameWriter::writeBuffer()
{
    if (failed()) {
        buffer.clear();
        return false;
    }
    const char *p = buffer.constData();
    qint64 left = buffer.size();
    while (left > 0) {
        const qint64 n = device->write(p, left);
        if (n <= 0) {
            fail(device->errorString());
            return false;
        }
        p += n;
        left -= n;
        deviceBytes += n;
    }
    buffer.clear();
    return true;
}

bool FrameWriter::finish()
{
    ending(buffer);
    return flush() && completed(device);
}

} // namespace formats
