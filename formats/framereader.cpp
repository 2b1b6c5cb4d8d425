#include "formats/framereader.h"

namespace formats {

FrameReader::FrameReader(QIODevice *source, const ReadOptions &readOptions, Position positions)
    : options(readOptions)
    , device(source)
    , kind(positions)
{
}

FrameReader::~FrameReader() = default;

QString FrameReader::describePosition(qint64 position) const
{
    return kind == Position::Line ? QStringLiteral("line %1").arg(position)
                                  : QStringLiteral("byte offset %1").arg(position);
}

bool FrameReader::atEnd(QString *)
{
    return true;
}

void FrameReader::skipBad(const QString &why)
{
    if (badRecords++ == 0) {
        firstBad = at;
        firstBadText = why;
    }
}

bool FrameReader::next(CanFrame &frame)
{
    if (finished)
        return false;
    QString why;
    for (;;) {
        switch (readRecord(frame, &why)) {
        case Result::Frame:
            ++frames;
            return true;
        case Result::Skip:
            break;
        case Result::Unsupported:
            ++unsupportedFrames;
            break;
        case Result::Bad:
            if (!options.skipBad) {
                errorText = why;
                errorAt = at;
                finished = true;
                return false;
            }
            skipBad(why);
            why.clear();
            break;
        case Result::End:
            finished = true;
            if (!atEnd(&why) && !why.isEmpty()) {
                // What is missing from an empty text is missing from its first line.
                if (kind == Position::Line)
                    at = qMax<qint64>(at, 1);
                if (options.skipBad) {
                    skipBad(why);
                } else {
                    errorText = why;
                    errorAt = at;
                }
            }
            return false;
        }
    }
}

} // namespace formats
