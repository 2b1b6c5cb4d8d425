// Pacing of the adapter emulator: the load profile at a given rate (default
// 10,000 frames/s) for a given time (default 10 s), drained by a reader on the
// slave side that checks every frame. Prints the achieved rate as the reader
// saw it, the worker's CPU use, and what happens to memory while nobody reads.
//
//   bench_emulator [seconds] [frames-per-second] [identifiers]

#include "bench/adapterdrain.h"
#include "bench/benchsupport.h"
#include "link/protocol.h"
#include "sim/emulator.h"

#include <QFile>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

int main(int argc, char *argv[])
{
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    const double rate = argc > 2 ? std::atof(argv[2]) : 10000.0;
    const int identifiers = argc > 3 ? std::atoi(argv[3]) : 200;

    sim::AdapterEmulator emulator(std::make_unique<sim::LoadTraffic>(identifiers, rate));
    QString error;
    if (!emulator.start(&error)) {
        std::fprintf(stderr, "cannot start the emulator: %s\n", qPrintable(error));
        return 1;
    }
    const int fd = ::open(emulator.devicePath().toLocal8Bit().constData(),
                          O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        std::perror("open");
        return 1;
    }
    const QByteArray config = wire::buildConfigurationCommand(QStringLiteral("500 kbps"), false, 0, 0);
    if (::write(fd, config.constData(), size_t(config.size())) != config.size()) {
        std::perror("write");
        return 1;
    }

    // Drain like the program's reader for the time given.
    const bench::Drained d = bench::drainAdapter(fd, seconds);
    const sim::AdapterEmulator::Stats after = emulator.stats();
    const double window = d.last - d.first;

    std::printf("emulator pacing: load profile, %d identifiers, %.0f frames/s requested, %.1f s\n",
                identifiers, rate, seconds);
    std::printf("  reader received  %llu valid frames (%llu invalid slices) in %llu reads\n",
                static_cast<unsigned long long>(d.valid), static_cast<unsigned long long>(d.invalid),
                static_cast<unsigned long long>(d.reads));
    std::printf("  achieved rate    %.1f frames/s (reader, first to last frame over %.3f s)\n",
                window > 0 ? double(d.valid - 1) / window : 0.0, window);
    std::printf("  emulator sent    %llu frames, dropped %llu\n",
                static_cast<unsigned long long>(after.framesSent),
                static_cast<unsigned long long>(after.framesDropped));
    const double workerCpu = after.cpuSeconds;
    std::printf("  worker CPU       %.3f s over %.3f s = %.1f %% of one core\n", workerCpu,
                after.sendingSeconds, 100.0 * workerCpu / after.sendingSeconds);

    // Nobody reads any more (the program closed the port): the device fills up,
    // frames are dropped, memory stays where it was.
    ::close(fd);
    const long rssBefore = bench::residentKiB();
    const quint64 droppedBefore = emulator.stats().framesDropped;
    const double idleStart = bench::monotonicSeconds();
    const double idleCpuStart = emulator.stats().cpuSeconds;
    while (bench::monotonicSeconds() - idleStart < 3.0)
        ::poll(nullptr, 0, 100);
    const sim::AdapterEmulator::Stats idle = emulator.stats();
    std::printf("  nobody reading   3 s: %llu frames dropped, resident memory %ld -> %ld KiB, "
                "worker CPU %.1f %%\n",
                static_cast<unsigned long long>(idle.framesDropped - droppedBefore), rssBefore,
                bench::residentKiB(), 100.0 * (idle.cpuSeconds - idleCpuStart) / 3.0);

    const double stopStart = bench::monotonicSeconds();
    emulator.stop();
    std::printf("  stop             %.1f ms\n", 1000.0 * (bench::monotonicSeconds() - stopStart));
    return 0;
}
