#include "tools/reportcommand.h"

#include "formats/frameio.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>

#include <cstdio>

bool ReportCommand::prepare(const QCommandLineParser &parser, const QStringList &files, QString *error, bool *usage)
{
    *usage = true;
    if (files.size() != 1) {
        *error = QStringLiteral("report takes one FILE and -o OUT.html; see --help");
        return false;
    }
    input = files.at(0);
    output = parser.value(QStringLiteral("output"));
    open = parser.isSet(QStringLiteral("open"));
    if (output.isEmpty()) {
        *error = QStringLiteral("report needs -o OUT.html (\"-o -\" for standard output)");
        return false;
    }
    if (open && output == QLatin1String("-")) {
        *error = QStringLiteral("--open needs a file to open, not standard output");
        return false;
    }
    // --from is the input's format for the other commands: a format name
    // still is one here, any other value the window's start.
    for (const QString &from : parser.values(QStringLiteral("from"))) {
        formats::Format format;
        if (formats::formatFromName(from, format))
            inputFormat = from;
        else if (!window.setFrom(from, error))
            return false;
    }
    if (parser.isSet(QStringLiteral("to")) && !window.setTo(parser.value(QStringLiteral("to")), error))
        return false;
    if (!window.isOrdered()) {
        *error = QStringLiteral("--from comes after --to");
        return false;
    }
    options.title = parser.value(QStringLiteral("title"));
    options.inputName = input == QLatin1String("-") ? QStringLiteral("standard input") : QFileInfo(input).fileName();

    *usage = false;
    if (output != QLatin1String("-")) {
        const QFileInfo out(output);
        if (input != QLatin1String("-") && out.exists() && out.canonicalFilePath() == QFileInfo(input).canonicalFilePath()) {
            *error = QStringLiteral("%1 is the input itself").arg(output);
            return false;
        }
        if ((out.exists() || out.isSymLink()) && !parser.isSet(QStringLiteral("force"))) {
            *error = QStringLiteral("%1 exists; --force overwrites it").arg(output);
            return false;
        }
    }
    trip = std::make_unique<report::TripRecorder>(window.isSet());
    return true;
}

void ReportCommand::add(const formats::CanFrame &frame)
{
    if (!window.isSet() || window.contains(frame.timeUs))
        trip->add(frame);
    else
        trip->addOutside(frame);
}

bool ReportCommand::finish(const QString &inputFormat, QString *error)
{
    trip->finish();
    if (trip->bus().frames() == 0) {
        *error = window.isSet() && trip->identification().frames() > 0
                     ? QStringLiteral("no frames from %1").arg(window.describe())
                     : QStringLiteral("%1 holds no frames").arg(input);
        return false;
    }
    options.inputFormat = inputFormat;
    options.window = window.describe();
    const QByteArray html = report::htmlReport(*trip, options);

    if (output == QLatin1String("-")) {
        if (std::fwrite(html.constData(), 1, size_t(html.size()), stdout) != size_t(html.size()) || std::fflush(stdout) != 0) {
            *error = QStringLiteral("cannot write standard output");
            return false;
        }
        return true;
    }
    // Written under a temporary name that takes the file's own only when
    // complete: a failure never leaves half a report or damages one there.
    QSaveFile file(output);
    if (!file.open(QIODevice::WriteOnly) || file.write(html) != html.size() || !file.commit()) {
        *error = QStringLiteral("cannot write %1: %2").arg(output, file.errorString());
        return false;
    }
    if (open && !QProcess::startDetached(QStringLiteral("xdg-open"), {QFileInfo(output).absoluteFilePath()})) {
        *error = QStringLiteral("%1 written, but xdg-open cannot be started to show it").arg(output);
        return false;
    }
    return true;
}
