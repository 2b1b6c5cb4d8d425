// Command-line CAN adapter emulator: serves a pseudo-terminal that behaves like
// the serial CAN adapter, so that the analyzer (or anything else that speaks the
// adapter's byte formats) can be tried without hardware.
//
//   vornix-adapter-emulator [--profile truck|load|replay] [--rate N] [--ids N]
//                           [--replay FILE] [--loop] [--seconds S]
//
// The first line on standard output is the device path to open. Traffic starts
// when the program sends its configuration command ("Configure and start").
// Runs until SIGINT/SIGTERM or for S seconds, then prints one line with the
// frames sent and the achieved rate.

#include "sim/emulator.h"

#include <QString>
#include <QStringList>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <memory>

namespace {

void usage(FILE *to)
{
    std::fprintf(to,
                 "usage: vornix-adapter-emulator [options]\n"
                 "  --profile truck|load|replay  traffic to send (default truck)\n"
                 "  --rate N       frames per second in total for the load profile (default 1000)\n"
                 "  --ids N        number of identifiers for the load profile (default 64)\n"
                 "  --replay FILE  replay a dump file at its recorded timing (implies --profile replay)\n"
                 "  --loop         replay the dump over and over\n"
                 "  --seconds S    stop after S seconds instead of waiting for Ctrl+C\n"
                 "  --help         this text\n"
                 "The device path is printed first; traffic starts with the configuration command.\n");
}

bool takeNumber(const QStringList &args, int &i, double &value)
{
    if (i + 1 >= args.size())
        return false;
    bool ok = false;
    value = args.at(++i).toDouble(&ok);
    return ok;
}

} // namespace

int main(int argc, char *argv[])
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);

    QString profile = QStringLiteral("truck");
    double rate = 1000;
    double ids = 64;
    double seconds = -1;
    QString replayFile;
    bool loop = false;
    bool profileGiven = false;

    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args.at(i);
        bool ok = true;
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            usage(stdout);
            return 0;
        } else if (a == QLatin1String("--profile") && i + 1 < args.size()) {
            profile = args.at(++i);
            profileGiven = true;
        } else if (a == QLatin1String("--rate")) {
            ok = takeNumber(args, i, rate) && rate >= 1 && rate <= 100000;
        } else if (a == QLatin1String("--ids")) {
            ok = takeNumber(args, i, ids) && ids >= 1 && ids <= 100000;
        } else if (a == QLatin1String("--seconds")) {
            ok = takeNumber(args, i, seconds) && seconds > 0;
        } else if (a == QLatin1String("--replay") && i + 1 < args.size()) {
            replayFile = args.at(++i);
            if (!profileGiven)
                profile = QStringLiteral("replay");
        } else if (a == QLatin1String("--loop")) {
            loop = true;
        } else {
            ok = false;
        }
        if (!ok) {
            std::fprintf(stderr, "vornix-adapter-emulator: bad option or value: %s\n",
                         qPrintable(a));
            usage(stderr);
            return 2;
        }
    }

    std::unique_ptr<sim::TrafficSource> source;
    if (profile == QLatin1String("truck")) {
        source = std::make_unique<sim::TruckTraffic>();
    } else if (profile == QLatin1String("load")) {
        source = std::make_unique<sim::LoadTraffic>(int(ids), rate);
    } else if (profile == QLatin1String("replay")) {
        if (replayFile.isEmpty()) {
            std::fprintf(stderr, "vornix-adapter-emulator: --profile replay needs --replay FILE\n");
            return 2;
        }
        QString error;
        source = sim::ReplayTraffic::fromFile(replayFile, loop, &error);
        if (!source) {
            std::fprintf(stderr, "vornix-adapter-emulator: %s\n", qPrintable(error));
            return 1;
        }
    } else {
        std::fprintf(stderr, "vornix-adapter-emulator: unknown profile %s\n", qPrintable(profile));
        usage(stderr);
        return 2;
    }
    const QString description = source->describe();

    // The signals are taken synchronously by this thread; the emulator's worker
    // inherits the blocked mask and never sees them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    sim::AdapterEmulator emulator(std::move(source));
    emulator.setEventHandler([](const QString &event) {
        std::fprintf(stderr, "%s\n", qPrintable(event));
    });
    QString error;
    if (!emulator.start(&error)) {
        std::fprintf(stderr, "vornix-adapter-emulator: %s\n", qPrintable(error));
        return 1;
    }
    std::printf("%s\n", qPrintable(emulator.devicePath()));
    std::fflush(stdout);
    std::fprintf(stderr, "traffic: %s; waiting for the configuration command\n",
                 qPrintable(description));

    timespec deadline{};
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    const qint64 limitNs = seconds > 0 ? qint64(seconds * 1e9) : -1;
    const qint64 startNs = qint64(deadline.tv_sec) * 1000000000LL + deadline.tv_nsec;
    for (;;) {
        timespec wait{1, 0};
        if (limitNs >= 0) {
            timespec now{};
            clock_gettime(CLOCK_MONOTONIC, &now);
            const qint64 left = startNs + limitNs - (qint64(now.tv_sec) * 1000000000LL + now.tv_nsec);
            if (left <= 0)
                break;
            wait.tv_sec = time_t(left / 1000000000LL);
            wait.tv_nsec = long(left % 1000000000LL);
        }
        const int sig = sigtimedwait(&stopSignals, nullptr, &wait);
        if (sig > 0)
            break;
    }

    emulator.stop();
    const sim::AdapterEmulator::Stats s = emulator.stats();
    if (s.configurations == 0) {
        std::printf("frames sent: 0 (no configuration command received)\n");
    } else {
        const double achieved = s.sendingSeconds > 0 ? double(s.framesSent) / s.sendingSeconds : 0.0;
        const double cpuPercent = s.sendingSeconds > 0 ? 100.0 * s.cpuSeconds / s.sendingSeconds : 0.0;
        std::printf("frames sent: %llu in %.3f s (%.1f frames/s), dropped %llu, filtered %llu, "
                    "worker CPU %.3f s (%.1f %%)\n",
                    static_cast<unsigned long long>(s.framesSent), s.sendingSeconds, achieved,
                    static_cast<unsigned long long>(s.framesDropped),
                    static_cast<unsigned long long>(s.framesFiltered), s.cpuSeconds, cpuPercent);
    }
    std::fflush(stdout);
    return 0;
}
