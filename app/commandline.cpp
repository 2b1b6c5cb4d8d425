#include "app/commandline.h"

#include "formats/formattable.h"

#include <QCommandLineParser>

namespace {

const QString DEMO = QStringLiteral("demo");
const QString FMS_VALID_ONLY = QStringLiteral("fms-valid-only");
const QString TRUCK = QStringLiteral("truck");
const QString LOAD = QStringLiteral("load");

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
    parser.addOption(sim::trafficOption(
        sim::RATE_OPTION, QStringLiteral("Frames per second of the load profile (1 to 100000, default 1000).")));
    parser.addOption(sim::trafficOption(
        sim::IDS_OPTION, QStringLiteral("Identifiers of the load profile (1 to 100000, default 64).")));
    parser.addOption(sim::trafficOption(
        sim::REPLAY_OPTION,
        QStringLiteral("List a simulated adapter that plays FILE at its recorded timing: %1, by extension or "
                       "content. OPEN and \"Configure and start\" (any CAN rate) start it.")
            .arg(formats::formatDescriptionList())));
    parser.addOption(sim::trafficOption(sim::LOOP_OPTION, QStringLiteral("Play the replay over and over.")));
    parser.addOption(sim::trafficOption(
        sim::SPEED_OPTION, QStringLiteral("Play the replay F times as fast (0.1 to 100, default 1).")));
    parser.addOption(sim::trafficOption(sim::START_OPTION, QStringLiteral("Skip the first S seconds of the replay.")));
    parser.addOption({FMS_VALID_ONLY,
                      QStringLiteral("The FMS panel leaves out J1939 \"not available\" and \"error\" values (raw "
                                     "values above 0xFA, 0xFAFF, 0xFAFFFFFF): a parameter that sends one keeps its "
                                     "last value, and of several senders the highest identifier with a valid value "
                                     "is shown.")});
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
    options.fmsValidOnly = parser.isSet(FMS_VALID_ONLY);
    if (!parser.positionalArguments().isEmpty()) {
        *error = QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first());
        return false;
    }
    sim::TrafficOptions &traffic = options.traffic;
    if (parser.isSet(DEMO)) {
        const QString profile = parser.value(DEMO);
        if (profile == TRUCK) {
            traffic.profile = sim::TrafficOptions::Profile::Truck;
        } else if (profile == LOAD) {
            traffic.profile = sim::TrafficOptions::Profile::Load;
        } else {
            *error = QStringLiteral("--demo takes the profile truck or load, not \"%1\"").arg(profile);
            return false;
        }
        options.simulated = true;
    }
    if (parser.isSet(sim::REPLAY_OPTION)) {
        if (parser.isSet(DEMO)) {
            *error = QStringLiteral("--demo and --replay do not go together");
            return false;
        }
        traffic.profile = sim::TrafficOptions::Profile::Replay;
        options.simulated = true;
    } else if (parser.isSet(sim::LOOP_OPTION) || parser.isSet(sim::SPEED_OPTION) || parser.isSet(sim::START_OPTION)) {
        *error = QStringLiteral("--loop, --speed and --start go with --replay FILE");
        return false;
    }
    const bool load = options.simulated && traffic.profile == sim::TrafficOptions::Profile::Load;
    if ((parser.isSet(sim::RATE_OPTION) || parser.isSet(sim::IDS_OPTION)) && !load) {
        *error = QStringLiteral("--rate and --ids go with --demo load");
        return false;
    }
    return sim::readTrafficOptions(parser, traffic, error);
}

QString versionText()
{
    return QStringLiteral("Vornix Can Analyzer ") + QStringLiteral(VORNIX_VERSION);
}
