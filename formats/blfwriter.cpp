// The writer of Vector BLF files. Frames gather in the encoder's open
// container, which goes out when full and at every flush(); finish() writes
// the last container and then, where the device can seek, the header again
// with the file's statistics. On a device that cannot (a pipe) the header
// written first stays: it has the measurement start, no counts.
//
// The channel of the frames comes from the interface name of the write
// options, numbered as python-can does: can0 (or any name without a number)
// is channel 1, can1 channel 2.

#include "formats/blf.h"
#include "formats/blfencoder.h"

#include <QIODevice>

namespace formats::parts {

namespace {

// The number that ends an interface's name ("can1" is channel 2), channel 1
// without one or beyond the channels a file holds.
int channelNumber(const QString &interfaceName)
{
    int digits = 0;
    while (digits < interfaceName.size() && interfaceName.at(interfaceName.size() - 1 - digits).isDigit())
        ++digits;
    bool ok = false;
    const int n = digits > 0 ? interfaceName.rightRef(digits).toInt(&ok) : 0;
    return ok && n < blf::MAX_CHANNEL ? n + 1 : 1;
}

class BlfWriter : public FrameWriter
{
public:
    BlfWriter(QIODevice *device, const WriteOptions &options)
        : FrameWriter(device, options)
        , channel(channelNumber(options.channel))
        , headerAt(device->isSequential() ? 0 : device->pos())
    {
    }

protected:
    Outcome format(const CanFrame &frame, QByteArray &out) override
    {
        switch (encoder.add(frame, channel, out)) {
        case BlfEncoder::Outcome::Written: return Outcome::Written;
        case BlfEncoder::Outcome::Truncated: return Outcome::Truncated;
        case BlfEncoder::Outcome::Unsupported: break;
        }
        return Outcome::Unsupported;
    }

    void flushing(QByteArray &out) override { encoder.close(out); }
    qint64 heldBytes() const override { return encoder.pendingFileBytes(); }
    void ending(QByteArray &out) override { encoder.close(out); }

    bool completed(QIODevice *device) override
    {
        if (device->isSequential())
            return true;
        const qint64 end = device->pos();
        const QByteArray header = encoder.header();
        if (!device->seek(headerAt) || device->write(header) != header.size() || !device->seek(end)) {
            fail(QStringLiteral("cannot write the file header: %1").arg(device->errorString()));
            return false;
        }
        return true;
    }

private:
    BlfEncoder encoder;
    const int channel;
    const qint64 headerAt;
};

} // namespace

std::unique_ptr<FrameWriter> makeBlfWriter(QIODevice *device, const WriteOptions &options)
{
    return std::make_unique<BlfWriter>(device, options);
}

} // namespace formats::parts
