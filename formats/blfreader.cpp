// The reader of Vector BLF files: one object a record, placed by its byte
// offset (the start of the container that holds it). How many objects of
// other kinds than CAN frames were passed over is said at the end, as a
// warning.

#include "formats/blf.h"
#include "formats/blfdecoder.h"

#include <QStringList>

namespace formats::parts {

namespace {

class BlfReader : public FrameReader
{
public:
    BlfReader(QIODevice *device, const ReadOptions &options)
        : FrameReader(device, options, Position::ByteOffset)
        , decoder(device)
    {
    }

protected:
    Result readRecord(CanFrame &frame, QString *why) override
    {
        const qint64 before = decoder.bytesRead();
        const BlfDecoder::Object object = decoder.read(frame, why);
        const qint64 taken = decoder.bytesRead() - before;
        if (object == BlfDecoder::Object::End) {
            tookBytes(taken);
            if (decoder.hasError())
                setPosition(decoder.errorOffset());
            return Result::End;
        }
        tookRecord(decoder.objectOffset(), taken);
        switch (object) {
        case BlfDecoder::Object::Frame: return Result::Frame;
        case BlfDecoder::Object::Unsupported: return Result::Unsupported;
        case BlfDecoder::Object::Bad: return Result::Bad;
        default: return Result::Skip;
        }
    }

    bool atEnd(QString *why) override
    {
        QStringList notes;
        if (!decoder.warning().isEmpty())
            notes << decoder.warning();
        if (decoder.skipped() > 0)
            notes << QStringLiteral("%1 object(s) of other kinds than CAN frames passed over").arg(decoder.skipped());
        if (!notes.isEmpty())
            setWarning(notes.join(QStringLiteral("; ")));
        if (!decoder.hasError())
            return true;
        // Skipping bad records does not get past damage: the file is read
        // up to it.
        *why = options.skipBad ? decoder.error() + QStringLiteral(" (the reading ends there)") : decoder.error();
        return false;
    }

private:
    BlfDecoder decoder;
};

} // namespace

bool looksLikeBlf(const QByteArray &head)
{
    return head.startsWith("LOGG");
}

std::unique_ptr<FrameReader> makeBlfReader(QIODevice *device, const ReadOptions &options)
{
    return std::make_unique<BlfReader>(device, options);
}

} // namespace formats::parts
