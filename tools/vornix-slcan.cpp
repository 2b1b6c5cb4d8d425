// vornix-slcan: presents the serial CAN adapter as an SLCAN (Lawicel) device
// on a pseudo-terminal, for python-can, SavvyCAN, CANgaroo, slcand and the
// other programs that speak SLCAN.
//
//   vornix-slcan PORT [-b BAUD] [-r RATE] [--link PATH]
//
// It opens the adapter's port as the window does and runs the link's reader,
// whose frames go to the bridge (tools/slcan/bridge.h) instead of the live
// store; the bridge answers the client's commands on the terminal and writes
// it the frame lines. The terminal's path goes to standard output.
//
// Exit status: 0 stopped by a signal; 2 a command line, port or link path
// that does not do; 3 the adapter went away.

#include "tools/slcan/bridge.h"
#include "tools/support/stopsignals.h"

#include "link/protocol.h"
#include "link/serialmanager.h"
#include "slcan/setuprates.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int STOPPED = 0;
constexpr int CANNOT_START = 2;
constexpr int DEVICE_GONE = 3;

int fail(const QString &message, int status = CANNOT_START)
{
    std::fprintf(stderr, "vornix-slcan: %s\n", qPrintable(message));
    return status;
}

// ---- -b and -r --------------------------------------------------------------
// TEMPORARY: a thin stand-in for the COM-rate and CAN-rate options that the
// command-line tools are to share. It takes the rate list's exact names only;
// it goes once the shared definitions, texts and parsing are in place.
QString canRateList()
{
    QStringList names;
    for (const wire::CanRate &rate : wire::CAN_RATES)
        names << QStringLiteral("\"%1\"").arg(QLatin1String(rate.name));
    return names.join(QStringLiteral(", "));
}

QString comRateList()
{
    QStringList rates;
    for (const quint32 rate : wire::COM_RATES)
        rates << QString::number(rate);
    return rates.join(QStringLiteral(", "));
}

void addLinkOptions(QCommandLineParser &parser)
{
    parser.addOptions({
        {{QStringLiteral("b"), QStringLiteral("baud")},
         QStringLiteral("COM bit rate: %1 (default 2000000).").arg(comRateList()), QStringLiteral("BAUD")},
        {{QStringLiteral("r"), QStringLiteral("can-rate")},
         QStringLiteral("CAN bit rate: %1.").arg(canRateList()), QStringLiteral("RATE")},
    });
}

bool takeLinkOptions(const QCommandLineParser &parser, quint32 &baud, const wire::CanRate *&canRate,
                     QString *error)
{
    baud = 2000000;
    if (parser.isSet(QStringLiteral("baud"))) {
        bool ok = false;
        baud = parser.value(QStringLiteral("baud")).toUInt(&ok);
        if (!ok || std::find(std::begin(wire::COM_RATES), std::end(wire::COM_RATES), baud) == std::end(wire::COM_RATES)) {
            *error = QStringLiteral("--baud %1 is not one of the COM rates %2")
                         .arg(parser.value(QStringLiteral("baud")), comRateList());
            return false;
        }
    }
    canRate = nullptr;
    if (parser.isSet(QStringLiteral("can-rate"))) {
        canRate = wire::findCanRate(parser.value(QStringLiteral("can-rate")));
        if (!canRate) {
            *error = QStringLiteral("--can-rate \"%1\" is not a CAN bit rate of the adapter (%2)")
                         .arg(parser.value(QStringLiteral("can-rate")), canRateList());
            return false;
        }
    }
    return true;
}
// ---- end of the stand-in ----------------------------------------------------

// The adapter's rates that S0..S8 name, as "S2 50 kbps, S3 100 kbps, ...".
QString setupRateList()
{
    QStringList named;
    for (int n = 0; n < slcan::SETUP_CODES; ++n) {
        if (const wire::CanRate *rate = slcan::adapterRateOfSetup(n))
            named << QStringLiteral("S%1 %2").arg(n).arg(QLatin1String(rate->name));
    }
    return named.join(QStringLiteral(", "));
}

// The symbolic link of --link: an existing symbolic link is replaced (pty
// numbers are reused, so an old one may point anywhere), anything else is
// left alone. Made under a temporary name and renamed over PATH.
bool makeLink(const QString &path, const QString &target, QString *error)
{
    const QByteArray where = QFile::encodeName(path);
    struct stat st{};
    if (::lstat(where.constData(), &st) == 0 && !S_ISLNK(st.st_mode)) {
        *error = QStringLiteral("--link %1 exists and is not a symbolic link; it is left alone").arg(path);
        return false;
    }
    const QByteArray temporary = where + ".vornix-slcan-" + QByteArray::number(qint64(::getpid()));
    ::unlink(temporary.constData());
    if (::symlink(QFile::encodeName(target).constData(), temporary.constData()) != 0
        || ::rename(temporary.constData(), where.constData()) != 0) {
        *error = QStringLiteral("cannot make the link %1: %2").arg(path, QString::fromLocal8Bit(strerror(errno)));
        ::unlink(temporary.constData());
        return false;
    }
    return true;
}

// Removes the link if it still points to target.
void removeLink(const QString &path, const QString &target)
{
    if (QFileInfo(path).isSymLink() && QFile::symLinkTarget(path) == QFileInfo(target).absoluteFilePath())
        QFile::remove(path);
}

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
           + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

QString clientState(const SlcanBridge &bridge)
{
    return bridge.clientPresent() ? QStringLiteral("client ") + QLatin1String(slcan::channelName(bridge.channel()))
                                  : QStringLiteral("no client");
}

} // namespace

int main(int argc, char *argv[])
{
    // The stop signals are taken by the main loop through a signalfd; every
    // thread started later inherits the blocked mask and never sees them.
    const sigset_t stopSignals = tool::blockStopSignals();
    std::signal(SIGPIPE, SIG_IGN);

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vornix-slcan"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VORNIX_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
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
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("PORT"), QStringLiteral("Serial port of the adapter (/dev/ttyUSB0)."));
    addLinkOptions(parser);
    parser.addOption({QStringLiteral("link"),
                      QStringLiteral("Keep a symbolic link at PATH to the terminal while running (an existing "
                                     "symbolic link there is replaced); removed at exit."),
                      QStringLiteral("PATH")});
    if (!parser.parse(QCoreApplication::arguments()))
        return fail(parser.errorText() + QStringLiteral("; see --help"));
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0);
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();

    // ---- the command line ----
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 1)
        return fail(positional.isEmpty() ? QStringLiteral("give the adapter's PORT; see --help")
                                         : QStringLiteral("one PORT only; see --help"));
    const QString portName = positional.first();
    quint32 baud = 0;
    const wire::CanRate *fixedRate = nullptr;
    QString error;
    if (!takeLinkOptions(parser, baud, fixedRate, &error))
        return fail(error);
    const QString linkPath = parser.value(QStringLiteral("link"));
    if (parser.isSet(QStringLiteral("link")) && linkPath.isEmpty())
        return fail(QStringLiteral("--link takes a path"));

    // ---- the port, the bridge, the terminal ----
    serialManager link;
    link.setBaudRate(baud);
    if (!link.openPort(portName))
        return fail(QStringLiteral("cannot open %1: %2").arg(portName, link.errorString()));

    const int signalFd = ::signalfd(-1, &stopSignals, SFD_CLOEXEC | SFD_NONBLOCK);
    const int wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (signalFd < 0 || wakeFd < 0)
        return fail(QStringLiteral("cannot create the descriptors to wait on"));

    SlcanBridge bridge(link, fixedRate, wakeFd);
    // Whatever the adapter sent before is no client's; the reader runs from
    // here on, since it also carries the configuration commands out.
    link.discardInput();
    link.setFrameSink(&bridge);
    link.startReading();
    const auto shutDown = [&] {
        bridge.stop();
        link.stopReading();
        link.setFrameSink(nullptr);
        link.closePort();
    };
    if (!bridge.start(&error)) {
        shutDown();
        return fail(error);
    }
    const QString terminal = bridge.terminalPath();
    if (!linkPath.isEmpty() && !makeLink(linkPath, terminal, &error)) {
        shutDown();
        return fail(error);
    }
    std::fprintf(stdout, "%s\n", qPrintable(terminal));
    std::fflush(stdout);

    // ---- until a signal or the adapter ends it ----
    using Clock = std::chrono::steady_clock;
    const Clock::time_point started = Clock::now();
    const bool statusLine = ::isatty(STDERR_FILENO) == 1;
    Clock::time_point nextStatus = started + std::chrono::seconds(1);
    Clock::time_point lastStatus = started;
    quint64 lastFrames = 0;
    bool statusShown = false;
    QString stopReason;

    for (;;) {
        int timeoutMs = -1;
        if (statusLine) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(nextStatus - Clock::now()).count();
            timeoutMs = left <= 0 ? 0 : int(left);
        }
        pollfd fds[2] = {{signalFd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
        const int ready = ::poll(fds, 2, timeoutMs);
        if (ready < 0 && errno != EINTR) {
            stopReason = QStringLiteral("waiting failed: %1").arg(QString::fromLocal8Bit(strerror(errno)));
            break;
        }
        if (ready > 0 && (fds[0].revents & POLLIN)) {
            signalfd_siginfo info{};
            if (::read(signalFd, &info, sizeof info) == ssize_t(sizeof info))
                stopReason = QStringLiteral("stopped by SIG%1").arg(QString::fromLatin1(sigabbrev_np(int(info.ssi_signo))));
            else
                stopReason = QStringLiteral("stopped by a signal");
            break;
        }
        if (bridge.deviceGone()) {
            stopReason = QStringLiteral("the adapter on %1 went away").arg(portName);
            break;
        }
        const Clock::time_point now = Clock::now();
        if (statusLine && now >= nextStatus) {
            const quint64 frames = bridge.framesReceived();
            const double span = std::chrono::duration<double>(now - lastStatus).count();
            const double rate = span > 0 ? double(frames - lastFrames) / span : 0.0;
            lastFrames = frames;
            lastStatus = now;
            const QString line = QStringLiteral("%1 frames/s  %2 forwarded  %3 dropped  %4")
                                     .arg(rate, 0, 'f', 0)
                                     .arg(bridge.framesForwarded())
                                     .arg(bridge.framesDropped())
                                     .arg(clientState(bridge));
            std::fprintf(stderr, "\r%s\033[K", qPrintable(line));
            std::fflush(stderr);
            statusShown = true;
            while (nextStatus <= now)
                nextStatus += std::chrono::seconds(1);
        }
    }

    // ---- finish: the client side, then the reader, then the port ----
    shutDown();
    if (!linkPath.isEmpty())
        removeLink(linkPath, terminal);
    const double duration = std::chrono::duration<double>(Clock::now() - started).count();
    const int status = bridge.deviceGone() ? DEVICE_GONE : STOPPED;

    if (statusShown)
        std::fprintf(stderr, "\r\033[K");
    const auto number = [](quint64 n) { return static_cast<unsigned long long>(n); };
    const quint64 frames = bridge.framesReceived();
    std::fprintf(stderr, "vornix-slcan: %s\n", qPrintable(stopReason));
    std::fprintf(stderr, "frames:          %llu (%.1f frames/s)\n", number(frames),
                 duration > 0 ? double(frames) / duration : 0.0);
    std::fprintf(stderr, "forwarded:       %llu\n", number(bridge.framesForwarded()));
    std::fprintf(stderr, "dropped:         %llu (the client did not read them in time)\n",
                 number(bridge.framesDropped()));
    if (bridge.framesFiltered() > 0)
        std::fprintf(stderr, "filtered:        %llu (acceptance code and mask)\n", number(bridge.framesFiltered()));
    if (bridge.framesCut() > 0)
        std::fprintf(stderr, "cut to 8 bytes:  %llu\n", number(bridge.framesCut()));
    if (bridge.framesOutOfRange() > 0)
        std::fprintf(stderr, "left out:        %llu (identifier beyond its kind's range)\n",
                     number(bridge.framesOutOfRange()));
    std::fprintf(stderr, "invalid frames:  %llu (header or checksum test)\n", number(link.invalidFrames()));
    std::fprintf(stderr, "commands:        %llu (%llu refused, %llu of them transmit)\n", number(bridge.commands()),
                 number(bridge.commandsRefused()), number(bridge.transmitsRefused()));
    std::fprintf(stderr, "duration:        %.3f s\n", duration);
    std::fprintf(stderr, "cpu:             %.3f s\n", cpuSeconds());
    ::close(signalFd);
    ::close(wakeFd);
    return status;
}
