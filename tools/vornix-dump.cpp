// vornix-dump: converts CAN recordings between the program's dump files,
// candump -L logs, Vector ASC logs and Vector BLF files, and summarises a
// recording.
//
//   vornix-dump convert IN OUT [--from F] [--to F] [--channel NAME] [--force] [--skip-bad]
//   vornix-dump info FILE [--from F] [--skip-bad]
//   vornix-dump j1939 FILE [--from F] [--skip-bad] [--json]
//   vornix-dump report FILE -o OUT.html [--title T] [--from TIME|F] [--to TIME] [--open] [--force] [--skip-bad]
//
// Exit status: 0 done, 1 bad input or a file that cannot be read or written,
// 2 a command line that is wrong.

#include "formats/frameio.h"
#include "j1939/bussummary.h"
#include "tools/j1939report.h"
#include "tools/reportcommand.h"
#include "tools/support/arguments.h"
#include "tools/support/messages.h"
#include "tools/support/progress.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QSaveFile>

#include <csignal>
#include <cstdio>
#include <memory>

using formats::CanFrame;
using formats::Format;
using formats::FrameReader;
using formats::FrameWriter;

namespace {

using exitstatus::CANNOT_START;
using exitstatus::FAILED;
using tool::fail;
using tool::note;

struct Input {
    std::unique_ptr<QFile> file;
    std::unique_ptr<FrameReader> reader;
    Format format = Format::Candump;
    QString name; // as the user gave it ("-" for standard input)
    qint64 size = 0;
};

// Opens the input and picks its reader: --from, else the extension, else the content.
int openInput(const QString &path, const QString &from, bool skipBad, Input &in)
{
    in.name = path;
    in.file = std::make_unique<QFile>();
    const bool standardInput = path == QLatin1String("-");
    if (standardInput) {
        if (!in.file->open(stdin, QIODevice::ReadOnly))
            return fail(QStringLiteral("cannot read standard input"), FAILED);
    } else {
        in.file->setFileName(path);
        if (QFileInfo(path).isDir() || !in.file->open(QIODevice::ReadOnly))
            return fail(QStringLiteral("cannot read %1: %2")
                            .arg(path, QFileInfo(path).isDir() ? QStringLiteral("is a directory")
                                                               : in.file->errorString()),
                        FAILED);
        in.size = in.file->size();
    }
    if (!from.isEmpty()) {
        if (!formats::formatFromName(from, in.format))
            return fail(QStringLiteral("unknown format \"%1\" (%2)").arg(from, formats::formatNameList()), CANNOT_START);
    } else if (!formats::detectFormat(standardInput ? QString() : path, in.file.get(), in.format)) {
        return fail(QStringLiteral("%1: cannot tell the format; give --from %2").arg(path, formats::formatNameChoices()),
                    FAILED);
    }
    formats::ReadOptions options;
    options.skipBad = skipBad;
    if (!standardInput) {
        options.fileName = path;
        options.fallbackDate = QFileInfo(path).lastModified().date();
    }
    in.reader = formats::openReader(in.format, in.file.get(), options);
    return 0;
}

// What a reader found bad: a line of a text format, a record of a binary one.
QString badRecord(const FrameReader &reader)
{
    return reader.positionKind() == FrameReader::Position::Line ? QStringLiteral("line") : QStringLiteral("record");
}

// After reading: the warning, the lines skipped and the error, if any.
// Returns false when reading stopped at a bad line.
bool reportReading(const Input &in)
{
    const FrameReader &reader = *in.reader;
    if (!reader.warning().isEmpty())
        note(QStringLiteral("%1: %2").arg(in.name, reader.warning()));
    if (reader.badLines() > 0)
        note(QStringLiteral("%1: %2 bad %3(s) skipped, the first at %4: %5")
                 .arg(in.name)
                 .arg(reader.badLines())
                 .arg(badRecord(reader))
                 .arg(reader.describePosition(reader.firstBadPosition()))
                 .arg(reader.firstBadReason()));
    if (reader.unsupported() > 0)
        note(QStringLiteral("%1: %2 frame(s) of a kind this tool does not carry (error frames) left out")
                 .arg(in.name)
                 .arg(reader.unsupported()));
    if (reader.hasError()) {
        // FILE:LINE: what, as compilers say it; a binary file by its byte offset.
        if (reader.positionKind() == FrameReader::Position::Line)
            std::fprintf(stderr, "%s:%lld: %s\n", qPrintable(in.name), static_cast<long long>(reader.errorLine()),
                         qPrintable(reader.error()));
        else
            std::fprintf(stderr, "%s: at byte offset %lld: %s\n", qPrintable(in.name),
                         static_cast<long long>(reader.errorOffset()), qPrintable(reader.error()));
        return false;
    }
    return true;
}

int convert(const QCommandLineParser &parser, const QStringList &files)
{
    if (files.size() != 2)
        return fail(QStringLiteral("convert takes IN and OUT; see --help"), CANNOT_START);
    const QString inPath = files.at(0), outPath = files.at(1);
    const bool toStandardOutput = outPath == QLatin1String("-");

    Format outFormat = Format::Candump;
    const QString to = parser.value(QStringLiteral("to"));
    if (!to.isEmpty()) {
        if (!formats::formatFromName(to, outFormat))
            return fail(QStringLiteral("unknown format \"%1\" (%2)").arg(to, formats::formatNameList()), CANNOT_START);
    } else if (toStandardOutput || !formats::formatFromPath(outPath, outFormat)) {
        return fail(QStringLiteral("cannot tell the format of %1 from its name; give --to %2")
                        .arg(outPath, formats::formatNameChoices()),
                    CANNOT_START);
    }
    if (!toStandardOutput) {
        const QFileInfo out(outPath);
        if (inPath != QLatin1String("-") && out.exists() && out.canonicalFilePath() == QFileInfo(inPath).canonicalFilePath())
            return fail(QStringLiteral("%1 is the input itself").arg(outPath), FAILED);
        if ((out.exists() || out.isSymLink()) && !parser.isSet(QStringLiteral("force")))
            return fail(QStringLiteral("%1 exists; --force overwrites it").arg(outPath), FAILED);
    }

    Input in;
    if (const int status = openInput(inPath, parser.value(QStringLiteral("from")), parser.isSet(QStringLiteral("skip-bad")), in))
        return status;

    // A file is written under a temporary name and takes its own only when
    // complete, so that a failed conversion leaves no half-written file and
    // never damages one that was there.
    std::unique_ptr<QFileDevice> output;
    if (toStandardOutput) {
        auto file = std::make_unique<QFile>();
        if (!file->open(stdout, QIODevice::WriteOnly))
            return fail(QStringLiteral("cannot write standard output"), FAILED);
        output = std::move(file);
    } else {
        auto file = std::make_unique<QSaveFile>(outPath);
        if (!file->open(QIODevice::WriteOnly))
            return fail(QStringLiteral("cannot write %1: %2").arg(outPath, file->errorString()), FAILED);
        output = std::move(file);
    }
    formats::WriteOptions writeOptions;
    if (parser.isSet(QStringLiteral("channel")))
        writeOptions.channel = parser.value(QStringLiteral("channel"));
    const std::unique_ptr<FrameWriter> writer = formats::openWriter(outFormat, output.get(), writeOptions);

    tool::Progress progress(QStringLiteral("converting"), in.size);
    CanFrame frame;
    while (in.reader->next(frame) && !writer->failed()) {
        writer->write(frame);
        progress.update(in.reader->linesRead(), in.reader->bytesRead());
    }
    writer->finish();
    const bool readOk = reportReading(in);
    if (writer->failed()) {
        if (auto *save = qobject_cast<QSaveFile *>(output.get()))
            save->cancelWriting();
        return fail(QStringLiteral("cannot write %1: %2").arg(outPath, writer->ioError()), FAILED);
    }
    if (auto *save = qobject_cast<QSaveFile *>(output.get())) {
        if (!save->commit())
            return fail(QStringLiteral("cannot write %1: %2").arg(outPath, save->errorString()), FAILED);
    } else {
        output->close();
    }

    const QString outName = formats::formatName(outFormat);
    if (writer->truncated() > 0)
        note(QStringLiteral("%1 frame(s) with more data bytes than a %2 frame holds written as their first 8 "
                            "(64 for CAN FD)")
                 .arg(writer->truncated())
                 .arg(outName));
    if (writer->unsupported() > 0)
        note(QStringLiteral("%1 frame(s) left out that a %2 file cannot hold (remote requests, CAN FD frames, "
                            "identifiers out of range)")
                 .arg(writer->unsupported())
                 .arg(outName));
    if (!readOk) {
        note(QStringLiteral("%1 holds the %2 frame(s) before the bad %3")
                 .arg(outPath)
                 .arg(writer->framesWritten())
                 .arg(badRecord(*in.reader)));
        return FAILED;
    }
    return 0;
}

struct IdentifierStats {
    qint64 frames = 0;
    quint64 lengths = 0; // bit n: a frame with n data bytes (n < 64)
    bool longer = false;  // frames with 64 or more bytes
    bool remote = false;
};

int info(const QCommandLineParser &parser, const QStringList &files)
{
    if (files.size() != 1)
        return fail(QStringLiteral("info takes one FILE; see --help"), CANNOT_START);
    Input in;
    if (const int status = openInput(files.at(0), parser.value(QStringLiteral("from")), parser.isSet(QStringLiteral("skip-bad")), in))
        return status;

    tool::Progress progress(QStringLiteral("reading"), in.size);
    QMap<quint64, IdentifierStats> perId; // extended identifiers sort after standard ones
    qint64 first = 0, last = 0, frames = 0;
    CanFrame frame;
    while (in.reader->next(frame)) {
        if (frames++ == 0)
            first = frame.timeUs;
        last = frame.timeUs;
        IdentifierStats &s = perId[(quint64(frame.extended) << 32) | frame.id];
        ++s.frames;
        if (frame.remote)
            s.remote = true;
        else if (frame.data.size() < 64)
            s.lengths |= quint64(1) << frame.data.size();
        else
            s.longer = true;
        progress.update(in.reader->linesRead(), in.reader->bytesRead());
    }
    if (!reportReading(in))
        return FAILED;

    const auto when = [](qint64 us) {
        return QDateTime::fromMSecsSinceEpoch(us / 1000).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
               + QStringLiteral(".%1").arg(us % 1000000, 6, 10, QLatin1Char('0'));
    };
    const double duration = double(last - first) / 1e6;
    std::printf("file:         %s (%s)\n", qPrintable(in.name), qPrintable(formats::formatName(in.format)));
    std::printf("frames:       %lld\n", static_cast<long long>(frames));
    if (frames > 0) {
        std::printf("start:        %s (local time)\n", qPrintable(when(first)));
        std::printf("end:          %s\n", qPrintable(when(last)));
        std::printf("duration:     %.6f s\n", duration);
    }
    std::printf("identifiers:  %d\n", perId.size());
    if (perId.isEmpty())
        return 0;
    std::printf("  %-9s %10s %10s  %-8s %s\n", "ID", "frames", "rate/s", "DLC", qPrintable(j1939report::identifierHeading()));
    for (auto it = perId.cbegin(); it != perId.cend(); ++it) {
        const bool extended = it.key() >> 32;
        const quint32 id = quint32(it.key());
        const IdentifierStats &s = it.value();
        QStringList lengths;
        for (int n = 0; n < 64; ++n) {
            if (s.lengths & (quint64(1) << n))
                lengths << QString::number(n);
        }
        if (s.longer)
            lengths << QStringLiteral(">63");
        if (s.remote)
            lengths << QStringLiteral("remote");
        const QString idText = QString::number(id, 16).toUpper().rightJustified(extended ? 8 : 3, QLatin1Char('0'));
        const QString rate = duration > 0 ? QString::number(double(s.frames) / duration, 'f', 2) : QStringLiteral("-");
        const QString dlc = lengths.join(QLatin1Char(','));
        if (extended)
            std::printf("  %-9s %10lld %10s  %-8s %s\n", qPrintable(idText), static_cast<long long>(s.frames),
                        qPrintable(rate), qPrintable(dlc), qPrintable(j1939report::identifierColumns(id)));
        else
            std::printf("  %-9s %10lld %10s  %s\n", qPrintable(idText), static_cast<long long>(s.frames),
                        qPrintable(rate), qPrintable(dlc));
    }
    return 0;
}

// The J1939 summary of a recording (tools/j1939report.h renders it).
int j1939Summary(const QCommandLineParser &parser, const QStringList &files)
{
    if (files.size() != 1)
        return fail(QStringLiteral("j1939 takes one FILE; see --help"), CANNOT_START);
    // At the end of a pipe ("vornix-candump PORT | vornix-dump j1939 -") the
    // Ctrl+C that stops the logger reaches this process too: it reads on to
    // the end of its input and prints the summary instead of dying with it.
    if (files.at(0) == QLatin1String("-"))
        std::signal(SIGINT, SIG_IGN);
    Input in;
    if (const int status = openInput(files.at(0), parser.value(QStringLiteral("from")), parser.isSet(QStringLiteral("skip-bad")), in))
        return status;
    tool::Progress progress(QStringLiteral("reading"), in.size);
    j1939::BusSummary summary;
    CanFrame frame;
    while (in.reader->next(frame)) {
        summary.add(frame.timeUs, frame.id, frame.extended, reinterpret_cast<const quint8 *>(frame.data.constData()),
                    frame.data.size());
        progress.update(in.reader->linesRead(), in.reader->bytesRead());
    }
    summary.finish();
    if (!reportReading(in))
        return FAILED;
    const QByteArray out = parser.isSet(QStringLiteral("json")) ? j1939report::json(summary) : j1939report::text(summary);
    std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
    return 0;
}

// A trip report as one HTML file (tools/reportcommand.h); --from and --to are
// its time window, --from with a format's name the input's format.
int tripReport(const QCommandLineParser &parser, const QStringList &files)
{
    ReportCommand command;
    QString error;
    bool usage = false;
    if (!command.prepare(parser, files, &error, &usage))
        return fail(error, usage ? CANNOT_START : FAILED);
    if (command.inputPath() == QLatin1String("-"))
        std::signal(SIGINT, SIG_IGN); // as for j1939: the logger's Ctrl+C ends the input, not the report
    Input in;
    if (const int status = openInput(command.inputPath(), command.inputFormatName(), parser.isSet(QStringLiteral("skip-bad")), in))
        return status;
    tool::Progress progress(QStringLiteral("reading"), in.size);
    CanFrame frame;
    while (in.reader->next(frame)) {
        command.add(frame);
        progress.update(in.reader->linesRead(), in.reader->bytesRead());
    }
    if (!reportReading(in))
        return FAILED;
    if (!command.finish(formats::formatName(in.format), &error))
        return fail(error, FAILED);
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    QString formatLines;
    for (const formats::FormatInfo &format : formats::formatTable())
        formatLines += QStringLiteral("\n  %1 %2 %3")
                           .arg(format.name, -8)
                           .arg(QLatin1Char('.') + format.extensions.join(QStringLiteral(", .")), -5)
                           .arg(format.description);
    tool::describeProgram(parser, QStringLiteral("vornix-dump"), QStringLiteral(
        "Converts CAN recordings and summarises them.\n"
        "\n"
        "  convert IN OUT   IN in one format, OUT in another, of the formats below. The formats\n"
        "                   come from the file names' extensions, or --from and --to; \"-\" is\n"
        "                   standard input or output. Frames of all channels of IN go to one\n"
        "                   channel.\n"
        "  info FILE        frames, duration, start and end, identifiers, and per identifier\n"
        "                   the frames, the mean rate and the data lengths; for an extended\n"
        "                   identifier also its J1939 parameter group (PGN) and sender.\n"
        "  j1939 FILE       what a J1939 bus carried: control units, address claims, parameter\n"
        "                   groups and their rates, VIN, component and software identification,\n"
        "                   fault codes (DM1), transport sessions; --json for one JSON object.\n"
        "  report FILE -o OUT.html\n"
        "                   a trip report to look at: one self-contained HTML file with the\n"
        "                   vehicle, charts of the FMS values over time, the fault codes and\n"
        "                   the control units; --title, a time window with --from and --to\n"
        "                   (YYYY-MM-DD HH:MM[:SS], HH:MM[:SS], or +SECONDS after the start of\n"
        "                   the recording, for --to of the window; --from with a format's name\n"
        "                   is the input's format), --open to show it.\n"
        "\n"
        "A dump file takes its date from its name (dump_yyyy-MM-dd_HH-mm-ss.csv), otherwise from\n"
        "its modification date. A bad line stops the work with FILE:LINE: what is wrong (a BLF\n"
        "file: FILE: at byte offset N: what is wrong; exit status 1; OUT holds the frames before\n"
        "it), unless --skip-bad. Frames a format cannot hold are counted and reported. Exit\n"
        "status 2: a command line that is wrong.\n"
        "\n"
        "Formats (the names --from and --to take, and the extensions):") + formatLines);
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("convert, info, j1939 or report"));
    parser.addPositionalArgument(QStringLiteral("files"), QStringLiteral("IN OUT for convert, FILE for info, j1939 and report"),
                                 QStringLiteral("FILE..."));
    parser.addOptions({
        {QStringLiteral("from"),
         QStringLiteral("Format of the input: %1 (report: the start of its time window).").arg(formats::formatNameList()),
         QStringLiteral("F")},
        {QStringLiteral("to"),
         QStringLiteral("Format of the output: %1 (report: the end of its time window).").arg(formats::formatNameList()),
         QStringLiteral("F")},
        {QStringLiteral("channel"),
         QStringLiteral("Interface name of candump output (default can0); BLF output numbers its channel "
                        "from it (can0 is channel 1)."),
         QStringLiteral("NAME")},
        {QStringLiteral("force"), QStringLiteral("Overwrite an existing OUT (convert, report).")},
        {QStringLiteral("skip-bad"),
         QStringLiteral("Skip bad lines (of BLF: bad objects; counted and reported) instead of stopping.")},
        {QStringLiteral("json"), QStringLiteral("j1939: print the summary as one JSON object.")},
        {{QStringLiteral("o"), QStringLiteral("output")}, QStringLiteral("report: the HTML file to write (\"-\" for standard output)."), QStringLiteral("OUT")},
        {QStringLiteral("title"), QStringLiteral("report: the title at its top."), QStringLiteral("TEXT")},
        {QStringLiteral("open"), QStringLiteral("report: show it in the desktop's browser (xdg-open).")},
    });
    int status = exitstatus::DONE;
    if (!tool::parseArguments(parser, status))
        return status;

    QStringList arguments = parser.positionalArguments();
    if (arguments.isEmpty())
        return fail(QStringLiteral("give a command: convert, info, j1939 or report; see --help"), CANNOT_START);
    const QString command = arguments.takeFirst();
    if (command == QLatin1String("convert"))
        return convert(parser, arguments);
    if (command == QLatin1String("info"))
        return info(parser, arguments);
    if (command == QLatin1String("j1939"))
        return j1939Summary(parser, arguments);
    if (command == QLatin1String("report"))
        return tripReport(parser, arguments);
    return fail(QStringLiteral("unknown command \"%1\" (convert, info, j1939 or report)").arg(command), CANNOT_START);
}
