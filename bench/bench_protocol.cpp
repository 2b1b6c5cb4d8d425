// Throughput of the receive path on one core: frame cutter, frame check, parser
// (with a timestamp per slice) and insert-or-replace into the live store under
// its mutex, fed in read-sized chunks.
//
//   bench_protocol [frames] [chunk bytes] [runs]     defaults 2000000 4096 5

#include "link/protocol.h"
#include "core/recordtext.h"
#include "sim/adapterwire.h"

#include <QMap>
#include <QMutex>
#include <QMutexLocker>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

QByteArray buildStream(int frames, int identifiers)
{
    QByteArray stream;
    stream.reserve(frames * wire::FRAME_SIZE + frames / 1000 * 8);
    quint32 seed = 1;
    for (int i = 0; i < frames; ++i) {
        seed = seed * 1664525u + 1013904223u;
        const int which = i % identifiers;
        const bool standard = which % 4 == 0;
        const quint32 id = standard ? quint32(0x100 + which / 4) : quint32(0x18F00000 + which);
        QByteArray data;
        const int length = 1 + int(seed >> 29); // 1..8
        for (int k = 0; k < length; ++k)
            data.append(char(seed >> (k * 3)));
        stream += sim::buildAdapterFrame(id, standard, data);
        if (i % 10000 == 9999)
            stream += QByteArray("\x01\x02\x03", 3); // line noise now and then
    }
    return stream;
}

struct Result {
    double seconds = 0;
    long slices = 0;
    long valid = 0;
};

Result runOnce(const QByteArray &stream, int chunk, bool stampEverySlice)
{
    QMutex mutex;
    MessageMap store;
    QByteArray buffer;
    Result result;

    const auto start = std::chrono::steady_clock::now();
    for (int offset = 0; offset < stream.size(); offset += chunk) {
        buffer.append(stream.constData() + offset, std::min(chunk, int(stream.size()) - offset));
        QString batchStamp;
        if (!stampEverySlice)
            batchStamp = recordtext::currentTimestamp();
        result.slices += wire::cutFrames(buffer, [&](const char *slice) {
            const QString stamp = stampEverySlice ? recordtext::currentTimestamp() : batchStamp;
            const wire::AdapterFrame frame{slice, stamp};
            if (!wire::isValidFrame(frame))
                return;
            wire::CanMessage message = wire::parseFrame(frame);
            ++result.valid;
            QMutexLocker locker(&mutex);
            store.insert(message.id, message.record);
        });
    }
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (store.size() != 2000)
        std::fprintf(stderr, "unexpected store size %d\n", int(store.size()));
    return result;
}

void report(const char *label, const QByteArray &stream, int chunk, int runs, bool stampEverySlice)
{
    std::vector<double> rates;
    Result last;
    for (int r = 0; r < runs; ++r) {
        last = runOnce(stream, chunk, stampEverySlice);
        rates.push_back(last.slices / last.seconds);
    }
    std::sort(rates.begin(), rates.end());
    std::printf("%-34s median %12.0f frames/s  (min %.0f, max %.0f; %ld slices, %ld valid per run)\n",
                label, rates[rates.size() / 2], rates.front(), rates.back(), last.slices, last.valid);
}

} // namespace

int main(int argc, char **argv)
{
    const int frames = argc > 1 ? std::atoi(argv[1]) : 2000000;
    const int chunk = argc > 2 ? std::atoi(argv[2]) : 4096;
    const int runs = argc > 3 ? std::atoi(argv[3]) : 5;

    const QByteArray stream = buildStream(frames, 2000);
    std::printf("%d frames over 2000 identifiers, %d bytes in %d-byte reads, %d runs\n", frames,
                int(stream.size()), chunk, runs);
    report("cut+check+parse+store", stream, chunk, runs, true);
    report("same, one timestamp per read", stream, chunk, runs, false);
    return 0;
}
