#include "tools/slcan/options.h"

#include "slcan/setuprates.h"
#include "tools/support/arguments.h"

#include <QCommandLineParser>
#include <QStringList>

namespace slcantool {

namespace {

const QString LINK = QStringLiteral("link");

// The adapter's rates that S0..S8 name: "S2 50 kbps, S3 100 kbps, ...".
QString setupRateList()
{
    QStringList named;
    for (int n = 0; n < slcan::SETUP_CODES; ++n) {
        if (const wire::CanRate *rate = slcan::adapterRateOfSetup(n))
            named << QStringLiteral("S%1 %2").arg(n).arg(QLatin1String(rate->name));
    }
    return named.join(QStringLiteral(", "));
}

} // namespace

void describeOptions(QCommandLineParser &parser)
{
    tool::describeProgram(parser, QStringLiteral("vornix-slcan"), QStringLiteral(
        "Presents the CAN adapter on PORT as an SLCAN device on a pseudo-terminal.\n"
        "\n"
        "SLCAN (the Lawicel protocol) is what python-can, SavvyCAN, CANgaroo and slcand\n"
        "speak. Prints the terminal's path (/dev/pts/N) on standard output.\n"
        "\n"
        "Commands taken, each ended by CR (answered CR, or BELL when refused):\n"
        "  Sn      the CAN bit rate, those the adapter has:\n"
        "          %1.\n"
        "          S0, S1, S7, S8 (10k, 20k, 800k, 1M) are refused. With -r the rate\n"
        "          is fixed (also 33.333k and 83.333k, which SLCAN cannot name) and Sn\n"
        "          is ignored.\n"
        "  sXXYY   bit-timing registers: refused unless -r is given, then ignored.\n"
        "  O, L    open (L listen-only): configure the adapter and send its frames.\n"
        "  C       close: no more frames.\n"
        "  V v N   version and serial number.  F  status flags (bit 3: frames dropped\n"
        "          since the last F).  Z0, Z1  no time stamp / a millisecond time stamp.\n"
        "  M, m    acceptance code and mask (SJA1000 single filter, 8 hexadecimal\n"
        "          digits each), applied to the frames. Refused: a mask that compares\n"
        "          the remote bit of standard frames or their data bytes (bit 20 or\n"
        "          bits 15..0 not all 1), as the filter takes identifiers only and the\n"
        "          adapter does not report remote frames.\n"
        "  t T r R transmit: always refused. The adapter's link has no command to send\n"
        "          a frame; the bridge receives only.\n"
        "Frames go to the client as tIIILDD.. and TIIIIIIIILDD.. lines. A client that\n"
        "does not read in time loses frames (counted, and reported through F); the\n"
        "adapter side never waits for it.\n"
        "\n"
        "On a terminal a status line shows the traffic once a second. Ctrl+C (SIGINT)\n"
        "or SIGTERM ends the bridge with a summary.\n"
        "\n"
        "Exit status: 0 stopped by a signal, 2 wrong command line, port or link path,\n"
        "3 the adapter went away.").arg(setupRateList()));
    parser.addPositionalArgument(QStringLiteral("PORT"), QStringLiteral("Serial port of the adapter (/dev/ttyUSB0)."));
    parser.addOptions({
        tool::comRateOption(),
        tool::canRateOption(false),
        {LINK,
         QStringLiteral("Keep a symbolic link at PATH to the terminal while running (an existing "
                        "symbolic link there is replaced); removed at exit."),
         QStringLiteral("PATH")},
    });
}

bool readOptions(const QCommandLineParser &parser, Options &options, QString *error)
{
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 1) {
        *error = positional.isEmpty() ? QStringLiteral("give the adapter's PORT") + tool::SEE_HELP
                                      : QStringLiteral("one PORT only") + tool::SEE_HELP;
        return false;
    }
    options.port = positional.first();
    if (!tool::readComRate(parser, options.baud, error)
        || !tool::readCanRate(parser, false, options.fixedRate, error))
        return false;
    options.linkPath = parser.value(LINK);
    if (parser.isSet(LINK) && options.linkPath.isEmpty()) {
        *error = QStringLiteral("--link takes a path");
        return false;
    }
    return true;
}

} // namespace slcantool
