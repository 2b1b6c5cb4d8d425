// Pacing of a replay: the real truck log (145,278 frames over 316 s, about 460
// frames/s) played by the simulated adapter at a speed (default 20, so about
// 9,200 frames/s), drained by a reader on the device that checks every frame.
// Prints the frames received, the achieved rate and the simulator thread's CPU;
// then plays a file ten times as long at top speed for 10 s and prints the
// process's resident memory before and after (the file is read as it plays).
//
//   bench_replay [speed]

#include "bench/adapterdrain.h"
#include "bench/benchsupport.h"
#include "link/protocol.h"
#include "sim/emulator.h"
#include "sim/replaytraffic.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

namespace {

int openAndConfigure(const sim::AdapterEmulator &emulator)
{
    const int fd = ::open(emulator.devicePath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    const QByteArray config = wire::buildConfigurationCommand(QStringLiteral("250 kbps"), false, 0, 0);
    if (fd < 0 || ::write(fd, config.constData(), size_t(config.size())) != config.size())
        return -1;
    return fd;
}

} // namespace

int main(int argc, char *argv[])
{
    const double speed = argc > 1 ? std::atof(argv[1]) : 20.0;
    QTemporaryDir dir;
    const QString log = truckLogFile(QStringLiteral("sampletruck"), dir.path());

    QString error;
    auto replay = sim::ReplayTraffic::open({log, false, speed, 0}, &error);
    if (!replay) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    sim::AdapterEmulator emulator(std::move(replay));
    if (!emulator.start(&error)) {
        std::fprintf(stderr, "cannot start the simulator: %s\n", qPrintable(error));
        return 1;
    }
    const int fd = openAndConfigure(emulator);
    if (fd < 0) {
        std::perror("device");
        return 1;
    }
    const bench::Drained d = bench::drainAdapter(fd, 600.0, 1.0);
    const sim::AdapterEmulator::Stats s = emulator.stats();
    const double window = d.last - d.first;
    std::printf("replay of sampletruck.candump.log (145278 frames, 316 s) at speed %g\n", speed);
    std::printf("  reader received  %llu valid frames, %llu invalid slices\n",
                static_cast<unsigned long long>(d.valid), static_cast<unsigned long long>(d.invalid));
    std::printf("  achieved rate    %.1f frames/s over %.3f s (recorded %.1f frames/s x %g = %.1f)\n",
                window > 0 ? double(d.valid - 1) / window : 0.0, window, 145278 / 316.0, speed,
                145278 / 316.0 * speed);
    std::printf("  simulator sent   %llu frames, dropped %llu\n", static_cast<unsigned long long>(s.framesSent),
                static_cast<unsigned long long>(s.framesDropped));
    std::printf("  simulator thread CPU %.3f s over %.3f s = %.1f %% of one core\n", s.cpuSeconds,
                s.sendingSeconds, 100.0 * s.cpuSeconds / s.sendingSeconds);
    ::close(fd);
    emulator.stop();

    // A file ten times as long, played at top speed: memory does not follow the file.
    const QString big = dir.filePath(QStringLiteral("ten.log"));
    {
        QFile in(log), out(big);
        in.open(QIODevice::ReadOnly);
        out.open(QIODevice::WriteOnly);
        const QList<QByteArray> lines = in.readAll().split('\n');
        qint64 shift = 0;
        for (int round = 0; round < 10; ++round) {
            for (const QByteArray &line : lines) {
                if (line.isEmpty())
                    continue;
                const int close = line.indexOf(')');
                const qint64 us = qint64(line.mid(1, close - 1).toDouble() * 1e6) + shift;
                out.write(QByteArray("(") + QByteArray::number(us / 1000000) + '.'
                          + QByteArray::number(us % 1000000).rightJustified(6, '0') + line.mid(close) + '\n');
            }
            shift += 320 * 1000000LL;
        }
    }
    auto longReplay = sim::ReplayTraffic::open({big, false, sim::MAX_REPLAY_SPEED, 0}, &error);
    const long rssBefore = bench::residentKiB();
    sim::AdapterEmulator second(std::move(longReplay));
    second.start(&error);
    const int fd2 = openAndConfigure(second);
    const bench::Drained d2 = bench::drainAdapter(fd2, 10.0, 1.0);
    std::printf("file of %lld bytes (1452780 frames) at speed %g for 10 s: %llu frames, resident memory %ld -> %ld KiB\n",
                static_cast<long long>(QFile(big).size()), sim::MAX_REPLAY_SPEED,
                static_cast<unsigned long long>(d2.valid), rssBefore, bench::residentKiB());
    ::close(fd2);
    return 0;
}
