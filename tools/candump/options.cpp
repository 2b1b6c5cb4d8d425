#include "tools/candump/options.h"

#include "core/canid.h"
#include "core/identry.h"
#include "formats/formattable.h"
#include "tools/support/arguments.h"

#include <QCommandLineParser>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace candump {

namespace {

const QString SHOW = QStringLiteral("show");
const QString EXCLUDE = QStringLiteral("exclude");
const QString OUTPUT = QStringLiteral("output");
const QString CHANNEL = QStringLiteral("channel");
const QString ROTATE_SIZE = QStringLiteral("rotate-size");
const QString ROTATE_TIME = QStringLiteral("rotate-time");
const QString COUNT = QStringLiteral("count");
const QString TIME = QStringLiteral("time");

// The identifiers of "ID,ID,...": up to 3 hexadecimal digits is a standard
// identifier (at most 7FF), 4 to 8 digits an extended one (at most
// 1FFFFFFF); each goes to the list once, as the window's list writes it.
bool readFilterList(const QString &option, const QString &value, Options &options, QString *error)
{
    for (const QString &piece : value.split(QLatin1Char(','))) {
        const QString text = piece.trimmed();
        core::TypedId id;
        switch (core::readTypedId(text, id)) {
        case core::TypedIdError::None:
            break;
        case core::TypedIdError::NotAnIdentifier:
            *error = QStringLiteral("--%1: \"%2\" is not an identifier (1 to 3 hexadecimal digits for a "
                                    "standard one, up to 8 for an extended one)")
                         .arg(option, text);
            return false;
        case core::TypedIdError::OutOfRange:
            *error = QStringLiteral("--%1: %2 is above %3, the largest %4 identifier")
                         .arg(option, text, QString::number(core::maxId(id.extended), 16).toUpper(),
                              id.extended ? QStringLiteral("extended") : QStringLiteral("standard"));
            return false;
        }
        const QString entry = core::idEntryText(id.id, id.extended);
        if (!options.filterEntries.contains(entry)) {
            options.filterEntries << entry;
            options.output.listed.push_back(id.id);
        }
    }
    std::sort(options.output.listed.begin(), options.output.listed.end());
    return true;
}

// A number above 0 (and at most `high`) from an option; false when it is not one.
bool positiveNumber(const QCommandLineParser &parser, const QString &name, double high, double &value)
{
    bool ok = false;
    value = parser.value(name).toDouble(&ok);
    return ok && std::isfinite(value) && value > 0 && value <= high;
}

// -o, --channel, the rotation and the count.
bool readOutput(const QCommandLineParser &parser, capture::Plan &plan, QString *error)
{
    if (parser.isSet(OUTPUT)) {
        plan.toStandardOutput = false;
        plan.path = parser.value(OUTPUT);
        if (!formats::formatFromPath(plan.path, plan.format)) {
            *error = QStringLiteral("cannot tell the format of %1: name it %2")
                         .arg(plan.path, formats::formatExtensionList());
            return false;
        }
    }
    if (parser.isSet(CHANNEL)) {
        plan.channel = parser.value(CHANNEL);
        if (plan.channel.isEmpty() || plan.channel.contains(QRegularExpression(QStringLiteral("\\s")))) {
            *error = QStringLiteral("--channel takes a name without blanks");
            return false;
        }
    }
    double number = 0;
    if (parser.isSet(ROTATE_SIZE)) {
        if (!positiveNumber(parser, ROTATE_SIZE, 1e7, number)) {
            *error = QStringLiteral("--rotate-size takes a number of megabytes above 0");
            return false;
        }
        plan.rotateBytes = std::max<qint64>(1, qint64(number * 1e6));
    }
    if (parser.isSet(ROTATE_TIME)) {
        if (!positiveNumber(parser, ROTATE_TIME, 1e9, number)) {
            *error = QStringLiteral("--rotate-time takes a number of seconds above 0");
            return false;
        }
        plan.rotateUs = std::max<qint64>(1, qint64(number * 1e6));
    }
    if (plan.rotating() && plan.toStandardOutput) {
        *error = QStringLiteral("--rotate-size and --rotate-time need -o FILE");
        return false;
    }
    if (parser.isSet(COUNT)) {
        bool ok = false;
        plan.maxFrames = parser.value(COUNT).toULongLong(&ok);
        if (!ok || plan.maxFrames == 0) {
            *error = QStringLiteral("--count takes a whole number above 0");
            return false;
        }
    }
    return true;
}

} // namespace

void describeOptions(QCommandLineParser &parser)
{
    tool::describeProgram(parser, QStringLiteral("vornix-candump"), QStringLiteral(
        "Logs the CAN traffic of the serial adapter on PORT without a window.\n"
        "\n"
        "Writes candump -L lines to standard output, or with -o a file in the format of its\n"
        "extension: ") + formats::formatExtensionList() + QStringLiteral(" (see -o).\n"
        "--rotate-size and --rotate-time write numbered files instead (FILE_0001.log, ...),\n"
        "never replacing one that exists. On a terminal a status line shows the traffic once\n"
        "a second. Ctrl+C (SIGINT) or SIGTERM ends the capture with a summary.\n"
        "\n"
        "Exit status: 0 stopped (signal, -n, -t, standard output closed), 2 wrong command\n"
        "line, port or output file, 3 the adapter went away, 4 the output could not be\n"
        "written (full disk)."));
    parser.addPositionalArgument(QStringLiteral("PORT"), QStringLiteral("Serial port of the adapter (/dev/ttyUSB0)."));
    parser.addOptions({
        tool::comRateOption(),
        tool::canRateOption(true),
        {SHOW,
         QStringLiteral("Have the adapter pass only these identifiers (hexadecimal, 3 digits standard, "
                        "8 extended)."),
         QStringLiteral("ID,...")},
        {EXCLUDE, QStringLiteral("Have the adapter pass everything but these identifiers."),
         QStringLiteral("ID,...")},
        {{QStringLiteral("o"), OUTPUT},
         QStringLiteral("Write FILE instead of standard output, in the format of its extension: %1; it must not "
                        "exist.")
             .arg(formats::formatDescriptionList()),
         QStringLiteral("FILE")},
        {ROTATE_SIZE, QStringLiteral("Start the next numbered file once one holds MB megabytes."),
         QStringLiteral("MB")},
        {ROTATE_TIME, QStringLiteral("Start the next numbered file once a file's frames span S seconds."),
         QStringLiteral("S")},
        {{QStringLiteral("n"), COUNT}, QStringLiteral("Stop after COUNT frames."), QStringLiteral("COUNT")},
        {{QStringLiteral("t"), TIME}, QStringLiteral("Stop after SECONDS."), QStringLiteral("SECONDS")},
        {CHANNEL,
         QStringLiteral("Interface name in candump lines (default can0); a BLF file numbers its channel from "
                        "it (can0 is channel 1)."),
         QStringLiteral("NAME")},
    });
}

bool readOptions(const QCommandLineParser &parser, Options &options, QString *error)
{
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 1) {
        *error = positional.isEmpty() ? QStringLiteral("give the adapter's PORT; see --help")
                                      : QStringLiteral("one PORT only; see --help");
        return false;
    }
    options.port = positional.first();
    if (!tool::readComRate(parser, options.baud, error) || !tool::readCanRate(parser, true, options.canRate, error))
        return false;

    const bool show = parser.isSet(SHOW);
    const bool exclude = parser.isSet(EXCLUDE);
    if (show && exclude) {
        *error = QStringLiteral("--show and --exclude exclude each other");
        return false;
    }
    if (show || exclude) {
        const QString &option = show ? SHOW : EXCLUDE;
        if (!readFilterList(option, parser.value(option), options, error))
            return false;
        options.output.filterList = true;
        options.output.excludeListed = exclude;
    }
    if (!readOutput(parser, options.output, error))
        return false;
    if (parser.isSet(TIME) && !positiveNumber(parser, TIME, 1e9, options.seconds)) {
        *error = QStringLiteral("--time takes a number of seconds above 0");
        return false;
    }
    return true;
}

QByteArray adapterCommands(const Options &options)
{
    QByteArray commands = wire::buildConfigurationCommand(QString::fromLatin1(options.canRate->name), false, 0, 0);
    if (options.output.filterList)
        commands += wire::buildFilterListCommand(options.output.excludeListed, true, options.filterEntries);
    return commands;
}

} // namespace candump
