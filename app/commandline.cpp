#include "app/commandline.h"

#include <QCommandLineParser>

namespace {

const QString DEMO = QStringLiteral("demo");
const QString RATE = QStringLiteral("rate");
const QString IDS = QStringLiteral("ids");
const QString TRUCK = QStringLiteral("truck");
const QString LOAD = QStringLiteral("load");

bool readCount(const QCommandLineParser &parser, const QString &name, int &value, QString *error)
{
    if (!parser.isSet(name))
        return true;
    bool ok = false;
    const int number = parser.value(name).toInt(&ok);
    if (!ok || number < 1 || number > 100000) {
        *error = QStringLiteral("--%1 takes a whole number from 1 to 100000, not \"%2\"")
                     .arg(name, parser.value(name));
        return false;
    }
    value = number;
    return true;
}

} // namespace

void addProgramOptions(QCommandLineParser &parser)
{
    parser.setApplicationDescription(QStringLiteral(
        "Vornix Can Analyzer: a CAN-bus monitor for serial CAN adapters.\n"
        "Without options the program starts as always: it lists the serial ports of\n"
        "the system, and a port is opened, configured and recorded from the window."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption({DEMO,
                      QStringLiteral("List a simulated adapter (a pseudo-terminal) after the real ports and "
                                     "preselect it. Profile truck (the default): a truck's FMS traffic; load: "
                                     "--ids identifiers at --rate frames/s."),
                      QStringLiteral("truck|load")});
    parser.addOption({RATE, QStringLiteral("Frames per second of the load profile (1 to 100000, default 1000)."),
                      QStringLiteral("N")});
    parser.addOption({IDS, QStringLiteral("Identifiers of the load profile (1 to 100000, default 64)."),
                      QStringLiteral("N")});
}

QStringList withDemoProfile(const QStringList &arguments)
{
    QStringList out;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        const bool bare = argument == QLatin1String("--demo") || argument == QLatin1String("-demo");
        const bool profileFollows = i + 1 < arguments.size()
                                    && (arguments.at(i + 1) == TRUCK || arguments.at(i + 1) == LOAD);
        out << (bare && !profileFollows ? QStringLiteral("--demo=truck") : argument);
    }
    return out;
}

bool readProgramOptions(const QCommandLineParser &parser, ProgramOptions &options, QString *error)
{
    if (!parser.positionalArguments().isEmpty()) {
        *error = QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first());
        return false;
    }
    if (parser.isSet(DEMO)) {
        const QString profile = parser.value(DEMO);
        if (profile == TRUCK) {
            options.simulation = ProgramOptions::Simulation::Truck;
        } else if (profile == LOAD) {
            options.simulation = ProgramOptions::Simulation::Load;
        } else {
            *error = QStringLiteral("--demo takes the profile truck or load, not \"%1\"").arg(profile);
            return false;
        }
    }
    if ((parser.isSet(RATE) || parser.isSet(IDS)) && options.simulation != ProgramOptions::Simulation::Load) {
        *error = QStringLiteral("--rate and --ids go with --demo load");
        return false;
    }
    return readCount(parser, RATE, options.loadRate, error) && readCount(parser, IDS, options.loadIds, error);
}

QString versionText()
{
    return QStringLiteral("Vornix Can Analyzer ") + QStringLiteral(VORNIX_VERSION);
}
