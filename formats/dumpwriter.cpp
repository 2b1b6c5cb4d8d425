// The writer of the program's dump files as a recording format: the header
// line, then a line per frame in the dump format's own layout, the frame's
// time as the local time of day in milliseconds.

#include "formats/dumpcsv.h"
#include "formats/dumpformat.h"
#include "core/recordtext.h"

namespace formats::parts {

namespace {

class DumpWriter : public FrameWriter
{
public:
    DumpWriter(QIODevice *device, const WriteOptions &options)
        : FrameWriter(device, options)
    {
        pending().append(dump::HEADER_LINE);
    }

protected:
    Outcome format(const CanFrame &frame, QByteArray &out) override
    {
        // The file has no room for the kind of a frame: remote requests and CAN
        // FD frames would read back as something they are not.
        if (frame.remote || frame.fd)
            return Outcome::Unsupported;
        const qint64 ms = frame.timeUs >= 0 ? frame.timeUs / 1000 : (frame.timeUs - 999) / 1000;
        const MessageRecord record{recordtext::timestampText(ms),
                                   recordtext::recordIdText(frame.id, !frame.extended),
                                   recordtext::payloadText(frame.data.constData(), frame.data.size())};
        dump::formatLine(record, line);
        out.append(line.constData(), line.size());
        return Outcome::Written;
    }

private:
    dump::LineBuffer line;
};

} // namespace

std::unique_ptr<FrameWriter> makeDumpWriter(QIODevice *device, const WriteOptions &options)
{
    return std::make_unique<DumpWriter>(device, options);
}

} // namespace formats::parts
