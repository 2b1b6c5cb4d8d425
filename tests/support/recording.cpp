#include "tests/support/recording.h"

#include "tests/support/runprogram.h"

#include <QBuffer>
#include <QFile>

QString Recording::problem() const
{
    if (!error.isEmpty())
        return QStringLiteral("line %1: %2").arg(errorLine).arg(error);
    return tornLastLine ? QStringLiteral("the last line is torn") : QString();
}

QVector<QByteArray> Recording::keys() const
{
    QVector<QByteArray> out;
    out.reserve(int(frames.size()));
    for (const formats::CanFrame &f : frames)
        out << frameKey(f.id, f.extended, f.data);
    return out;
}

Recording readRecording(const QByteArray &bytes, formats::Format format, const formats::ReadOptions &options)
{
    QByteArray copy = bytes;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    const auto reader = formats::openReader(format, &buffer, options);
    Recording r;
    formats::CanFrame frame;
    while (reader->next(frame))
        r.frames.push_back(frame);
    r.error = reader->error();
    r.errorLine = reader->errorLine();
    r.warning = reader->warning();
    r.badLines = reader->badLines();
    r.firstBadLine = reader->firstBadLine();
    r.unsupported = reader->unsupported();
    r.linesRead = reader->linesRead();
    r.cutPosition = reader->cutPosition();
    // Only the text formats have lines; their readers say where by line.
    r.tornLastLine = reader->positionKind() == formats::FrameReader::Position::Line && !bytes.isEmpty()
                     && !bytes.endsWith('\n');
    return r;
}

Recording readRecordingFile(const QString &path)
{
    QFile file(path);
    formats::Format format;
    Recording r;
    if (!file.open(QIODevice::ReadOnly) || !formats::detectFormat(path, &file, format)) {
        r.error = QStringLiteral("cannot read %1 as a recording").arg(path);
        return r;
    }
    formats::ReadOptions options;
    options.fileName = path;
    return readRecording(file.readAll(), format, options);
}

QByteArray frameKey(quint32 id, bool extended, const QByteArray &data)
{
    return QByteArray::number(id, 16).toUpper().rightJustified(extended ? 8 : 3, '0') + '#' + data.toHex().toUpper();
}

QByteArray truckLog(const QString &name)
{
    RunningProgram gzip(QStringLiteral("gzip"),
                        {QStringLiteral("-dc"), QStringLiteral(VORNIX_REALDATA_DIR "/%1.candump.log.gz").arg(name)});
    return gzip.started() && gzip.finish() == 0 ? gzip.output() : QByteArray();
}

QString truckLogFile(const QString &name, const QString &dir)
{
    const QByteArray log = truckLog(name);
    return log.isEmpty() ? QString() : writeFile(dir + QLatin1Char('/') + name + QStringLiteral(".log"), log);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size() ? path
                                                                                                     : QString();
}
