// vornix-candump: logs the traffic of the serial CAN adapter without a window,
// like can-utils' candump does for SocketCAN interfaces.
//
//   vornix-candump PORT -r RATE [-b BAUD] [--show ID,...|--exclude ID,...]
//                  [-o FILE [--rotate-size MB] [--rotate-time S]] [-n COUNT] [-t SECONDS]
//
// It opens the port as the window does, sends the configuration command (and
// the filter-list command when identifiers are given) and runs the link's
// reader, whose frames go to a capture (tools/candumpcapture.h) instead of
// the live store: candump -L lines on standard output, or a file in the
// format of its extension.
//
// Exit status: 0 stopped by a signal, the count, the time or a closed
// standard output; 2 a command line, port or output file that does not do;
// 3 the adapter went away; 4 the output could not be written (full disk).

#include "tools/candumpcapture.h"
#include "tools/stopsignals.h"

#include "formats/formattable.h"
#include "link/protocol.h"
#include "link/serialmanager.h"
#include "monitor/filterlogic.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace {

constexpr int STOPPED = 0;
constexpr int CANNOT_START = 2;
constexpr int DEVICE_GONE = 3;
constexpr int WRITE_FAILED = 4;

int fail(const QString &message, int status = CANNOT_START)
{
    std::fprintf(stderr, "vornix-candump: %s\n", qPrintable(message));
    return status;
}

// "500 kbps" is also taken as "500k", "500 k", "500kbps" (any case).
const wire::CanRate *canRateOf(const QString &text)
{
    if (const wire::CanRate *exact = wire::findCanRate(text))
        return exact;
    QString wanted = text.trimmed().toLower().remove(QLatin1Char(' '));
    if (wanted.endsWith(QLatin1String("kbps")))
        wanted.chop(3);
    for (const wire::CanRate &rate : wire::CAN_RATES) {
        QString name = QString::fromLatin1(rate.name).remove(QLatin1Char(' ')); // "500kbps"
        name.chop(3);                                                            // "500k"
        if (wanted == name)
            return &rate;
    }
    return nullptr;
}

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

// The filter list's entry texts of "ID,ID,...": up to 3 hexadecimal digits
// is a standard identifier (at most 7FF), 4 to 8 digits an extended one (at
// most 1FFFFFFF), both written the way the window's list holds them.
bool filterEntries(const QString &option, const QString &value, QStringList &entries, QString *error)
{
    static const QRegularExpression hex(filterlogic::identifierPattern(true));
    for (const QString &piece : value.split(QLatin1Char(','))) {
        const QString text = piece.trimmed();
        if (text.isEmpty() || !hex.match(text).hasMatch()) {
            *error = QStringLiteral("--%1: \"%2\" is not an identifier (1 to 3 hexadecimal digits for a "
                                    "standard one, up to 8 for an extended one)")
                         .arg(option, text);
            return false;
        }
        const bool extended = text.size() > 3;
        const filterlogic::ListIdentifier id = filterlogic::normaliseListIdentifier(text, extended);
        if (!id.inRange) {
            *error = QStringLiteral("--%1: %2 is above %3, the largest %4 identifier")
                         .arg(option, text,
                              extended ? QStringLiteral("1FFFFFFF") : QStringLiteral("7FF"),
                              extended ? QStringLiteral("extended") : QStringLiteral("standard"));
            return false;
        }
        if (!entries.contains(id.text))
            entries << id.text;
    }
    return true;
}

// A number above 0 (and at most `high`) from an option; false when it is not one.
bool positiveNumber(const QCommandLineParser &parser, const QString &name, double high, double &value)
{
    bool ok = false;
    value = parser.value(name).toDouble(&ok);
    return ok && std::isfinite(value) && value > 0 && value <= high;
}

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
           + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

} // namespace

int main(int argc, char *argv[])
{
    // The stop signals are taken by the main loop through a signalfd; every
    // thread started later inherits the blocked mask and never sees them.
    const sigset_t stopSignals = blockStopSignals();
    // A closed standard output shows as a failed write, not as a signal.
    std::signal(SIGPIPE, SIG_IGN);

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vornix-candump"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VORNIX_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
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
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("PORT"), QStringLiteral("Serial port of the adapter (/dev/ttyUSB0)."));
    parser.addOptions({
        {{QStringLiteral("b"), QStringLiteral("baud")},
         QStringLiteral("COM bit rate: %1 (default 2000000).").arg(comRateList()), QStringLiteral("BAUD")},
        {{QStringLiteral("r"), QStringLiteral("can-rate")},
         QStringLiteral("CAN bit rate (required): %1, or short as 500k, 83.333k.").arg(canRateList()),
         QStringLiteral("RATE")},
        {QStringLiteral("show"),
         QStringLiteral("Have the adapter pass only these identifiers (hexadecimal, 3 digits standard, "
                        "8 extended)."),
         QStringLiteral("ID,...")},
        {QStringLiteral("exclude"), QStringLiteral("Have the adapter pass everything but these identifiers."),
         QStringLiteral("ID,...")},
        {{QStringLiteral("o"), QStringLiteral("output")},
         QStringLiteral("Write FILE instead of standard output, in the format of its extension: %1; it must not "
                        "exist.")
             .arg(formats::formatDescriptionList()),
         QStringLiteral("FILE")},
        {QStringLiteral("rotate-size"), QStringLiteral("Start the next numbered file once one holds MB megabytes."),
         QStringLiteral("MB")},
        {QStringLiteral("rotate-time"), QStringLiteral("Start the next numbered file once a file's frames span S seconds."),
         QStringLiteral("S")},
        {{QStringLiteral("n"), QStringLiteral("count")}, QStringLiteral("Stop after COUNT frames."),
         QStringLiteral("COUNT")},
        {{QStringLiteral("t"), QStringLiteral("time")}, QStringLiteral("Stop after SECONDS."),
         QStringLiteral("SECONDS")},
        {QStringLiteral("channel"), QStringLiteral("Interface name in candump lines (default can0)."),
         QStringLiteral("NAME")},
    });
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

    quint32 baud = 2000000;
    if (parser.isSet(QStringLiteral("baud"))) {
        bool ok = false;
        baud = parser.value(QStringLiteral("baud")).toUInt(&ok);
        if (!ok || std::find(std::begin(wire::COM_RATES), std::end(wire::COM_RATES), baud) == std::end(wire::COM_RATES))
            return fail(QStringLiteral("--baud %1 is not one of the COM rates %2")
                            .arg(parser.value(QStringLiteral("baud")), comRateList()));
    }

    if (!parser.isSet(QStringLiteral("can-rate")))
        return fail(QStringLiteral("give the CAN bit rate with -r (%1)").arg(canRateList()));
    const wire::CanRate *canRate = canRateOf(parser.value(QStringLiteral("can-rate")));
    if (!canRate)
        return fail(QStringLiteral("--can-rate \"%1\" is not a CAN bit rate of the adapter (%2, or 500k, 83.333k, ...)")
                        .arg(parser.value(QStringLiteral("can-rate")), canRateList()));

    const bool show = parser.isSet(QStringLiteral("show"));
    const bool exclude = parser.isSet(QStringLiteral("exclude"));
    if (show && exclude)
        return fail(QStringLiteral("--show and --exclude exclude each other"));
    QStringList entries;
    QString error;
    if ((show || exclude)
        && !filterEntries(show ? QStringLiteral("show") : QStringLiteral("exclude"),
                          parser.value(show ? QStringLiteral("show") : QStringLiteral("exclude")), entries, &error))
        return fail(error);

    capture::Plan plan;
    if (show || exclude) {
        plan.filterList = true;
        plan.excludeListed = exclude;
        for (const QString &entry : qAsConst(entries))
            plan.listed.push_back(filterlogic::parseHex(entry));
        std::sort(plan.listed.begin(), plan.listed.end());
    }
    if (parser.isSet(QStringLiteral("output"))) {
        plan.toStandardOutput = false;
        plan.path = parser.value(QStringLiteral("output"));
        if (!formats::formatFromPath(plan.path, plan.format))
            return fail(QStringLiteral("cannot tell the format of %1: name it %2")
                            .arg(plan.path, formats::formatExtensionList()));
    }
    if (parser.isSet(QStringLiteral("channel"))) {
        plan.channel = parser.value(QStringLiteral("channel"));
        if (plan.channel.isEmpty() || plan.channel.contains(QRegularExpression(QStringLiteral("\\s"))))
            return fail(QStringLiteral("--channel takes a name without blanks"));
    }
    double number = 0;
    if (parser.isSet(QStringLiteral("rotate-size"))) {
        if (!positiveNumber(parser, QStringLiteral("rotate-size"), 1e7, number))
            return fail(QStringLiteral("--rotate-size takes a number of megabytes above 0"));
        plan.rotateBytes = std::max<qint64>(1, qint64(number * 1e6));
    }
    if (parser.isSet(QStringLiteral("rotate-time"))) {
        if (!positiveNumber(parser, QStringLiteral("rotate-time"), 1e9, number))
            return fail(QStringLiteral("--rotate-time takes a number of seconds above 0"));
        plan.rotateUs = std::max<qint64>(1, qint64(number * 1e6));
    }
    if (plan.rotating() && plan.toStandardOutput)
        return fail(QStringLiteral("--rotate-size and --rotate-time need -o FILE"));
    if (parser.isSet(QStringLiteral("count"))) {
        bool ok = false;
        plan.maxFrames = parser.value(QStringLiteral("count")).toULongLong(&ok);
        if (!ok || plan.maxFrames == 0)
            return fail(QStringLiteral("--count takes a whole number above 0"));
    }
    double seconds = 0;
    if (parser.isSet(QStringLiteral("time")) && !positiveNumber(parser, QStringLiteral("time"), 1e9, seconds))
        return fail(QStringLiteral("--time takes a number of seconds above 0"));

    // ---- the port, the output, the adapter's commands ----
    serialManager link;
    link.setBaudRate(baud);
    if (!link.openPort(portName))
        return fail(QStringLiteral("cannot open %1: %2").arg(portName, link.errorString()));

    const int signalFd = ::signalfd(-1, &stopSignals, SFD_CLOEXEC | SFD_NONBLOCK);
    const int wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (signalFd < 0 || wakeFd < 0)
        return fail(QStringLiteral("cannot create the descriptors to wait on"), CANNOT_START);

    capture::Capture capture(plan, wakeFd);
    if (!capture.start(&error))
        return fail(error);

    // The adapter starts on the configuration; the filter list follows in the
    // same write, so that it is in place before the first frames. They wait
    // in the port until the reader starts below.
    QByteArray commands = wire::buildConfigurationCommand(QString::fromLatin1(canRate->name), false, 0, 0);
    if (show || exclude)
        commands += wire::buildFilterListCommand(exclude, true, entries);
    // Whatever the adapter sent before (under an earlier configuration) is not
    // part of this capture.
    link.discardInput();
    if (link.writeData(commands) != commands.size()) {
        const QString why = link.errorString();
        capture.finish();
        for (const QString &made : capture.files()) // they hold no frame
            QFile::remove(made);
        return fail(QStringLiteral("cannot send the configuration to %1: %2").arg(portName, why));
    }
    link.setFrameSink(&capture);
    link.startReading();

    // ---- until a signal, the count, the time, the device or the output ends it ----
    using Clock = std::chrono::steady_clock;
    const Clock::time_point started = Clock::now();
    const bool terminal = ::isatty(STDERR_FILENO) == 1;
    const bool timed = seconds > 0;
    const Clock::time_point deadline =
        started + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    Clock::time_point nextStatus = started + std::chrono::seconds(1);
    Clock::time_point lastStatus = started;
    quint64 lastFrames = 0;
    bool statusShown = false;
    QString stopReason;

    for (;;) {
        Clock::time_point due = Clock::time_point::max();
        if (terminal)
            due = nextStatus;
        if (timed)
            due = std::min(due, deadline);
        int timeoutMs = -1;
        if (due != Clock::time_point::max()) {
            const auto left = std::chrono::duration_cast<std::chrono::microseconds>(due - Clock::now()).count();
            timeoutMs = left <= 0 ? 0 : int((left + 999) / 1000);
        }
        pollfd fds[2] = {{signalFd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
        const int ready = ::poll(fds, 2, timeoutMs);
        if (ready < 0 && errno != EINTR) {
            // Not expected to happen; stop in order all the same.
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
        if (ready > 0 && (fds[1].revents & POLLIN)) {
            quint64 count = 0;
            if (::read(wakeFd, &count, sizeof count) < 0) {
                // Nothing to take: the state below tells what happened.
            }
        }
        if (capture.failure() != capture::Capture::Failure::None) {
            stopReason = capture.failureText();
            break;
        }
        if (capture.deviceGone()) {
            stopReason = QStringLiteral("the adapter on %1 went away").arg(portName);
            break;
        }
        if (capture.limitReached()) {
            stopReason = QStringLiteral("%1 frames taken").arg(plan.maxFrames);
            break;
        }
        const Clock::time_point now = Clock::now();
        if (timed && now >= deadline) {
            stopReason = QStringLiteral("%1 s passed").arg(seconds);
            break;
        }
        if (terminal && now >= nextStatus) {
            const quint64 frames = capture.framesReceived();
            const double span = std::chrono::duration<double>(now - lastStatus).count();
            const double rate = span > 0 ? double(frames - lastFrames) / span : 0.0;
            lastFrames = frames;
            lastStatus = now;
            QString line = QStringLiteral("%1 frames/s  %2 frames  %3 invalid  %4 identifiers")
                               .arg(rate, 0, 'f', 0)
                               .arg(frames)
                               .arg(link.invalidFrames())
                               .arg(capture.identifiersSeen());
            if (capture.framesLost() > 0)
                line += QStringLiteral("  %1 lost").arg(capture.framesLost());
            const QString file = capture.currentFile();
            if (!file.isEmpty())
                line += QStringLiteral("  ") + QFileInfo(file).fileName();
            std::fprintf(stderr, "\r%s\033[K", qPrintable(line));
            std::fflush(stderr);
            statusShown = true;
            while (nextStatus <= now)
                nextStatus += std::chrono::seconds(1);
        }
    }

    // ---- finish: the reader first, then the writer (whole lines), then the port ----
    link.stopReading();
    capture.finish();
    link.setFrameSink(nullptr);
    link.closePort();
    const double duration = std::chrono::duration<double>(Clock::now() - started).count();

    int status = STOPPED;
    if (capture.failure() == capture::Capture::Failure::WriteFailed)
        status = WRITE_FAILED;
    else if (capture.deviceGone())
        status = DEVICE_GONE;

    if (statusShown)
        std::fprintf(stderr, "\r\033[K");
    const quint64 frames = capture.framesReceived();
    std::fprintf(stderr, "vornix-candump: %s\n", qPrintable(stopReason));
    std::fprintf(stderr, "frames:          %llu (%.1f frames/s)\n", static_cast<unsigned long long>(frames),
                 duration > 0 ? double(frames) / duration : 0.0);
    std::fprintf(stderr, "invalid frames:  %llu (header or checksum test)\n",
                 static_cast<unsigned long long>(link.invalidFrames()));
    if (capture.framesLost() > 0)
        std::fprintf(stderr, "lost:            %llu (the output fell too far behind)\n",
                     static_cast<unsigned long long>(capture.framesLost()));
    if (capture.framesUnsupported() > 0 || capture.framesTruncated() > 0)
        std::fprintf(stderr, "not held:        %llu left out, %llu cut to 8 bytes by the output format\n",
                     static_cast<unsigned long long>(capture.framesUnsupported()),
                     static_cast<unsigned long long>(capture.framesTruncated()));
    if (capture.framesHeldBack() > 0)
        std::fprintf(stderr, "held back:       %llu (sent before the adapter took the filter list)\n",
                     static_cast<unsigned long long>(capture.framesHeldBack()));
    std::fprintf(stderr, "identifiers:     %d\n", capture.identifiersSeen());
    std::fprintf(stderr, "duration:        %.3f s\n", duration);
    std::fprintf(stderr, "cpu:             %.3f s\n", cpuSeconds());
    const QStringList files = capture.files();
    std::fprintf(stderr, "output:          %s\n",
                 plan.toStandardOutput ? "standard output" : qPrintable(files.join(QLatin1Char(' '))));
    ::close(signalFd);
    ::close(wakeFd);
    return status;
}
