// Speed of the J1939 library on one core: frames per second through
// identifier decoding, transport reassembly and DM1 decoding, and through the
// whole bus summary; resident memory after the first pass over the input and
// at the end, to show that it does not grow with the input's length.
//
//   bench_j1939 [million frames]      default 2 (at least 1)
//
// The frames are those of the two real truck logs in tests/data/nmfta
// (candump -L, gzip), passed over again and again with their times moved on
// so that they keep increasing.

#include "bench/benchsupport.h"
#include "j1939/bussummary.h"
#include "j1939/diagnostics.h"
#include "j1939/identifier.h"
#include "j1939/transport.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

struct Frame {
    qint64 timeUs;
    quint32 id;
    bool extended;
    quint8 size;
    quint8 data[8];
};

// Both logs, the second moved to follow the first, in fixed-size frames.
std::vector<Frame> realFrames()
{
    std::vector<Frame> frames;
    bench::forEachTruckFrame([&frames](const formats::CanFrame &f) {
        Frame frame{f.timeUs, f.id, f.extended, quint8(qMin(8, f.data.size())), {}};
        std::memcpy(frame.data, f.data.constData(), frame.size);
        frames.push_back(frame);
    });
    return frames;
}

struct Result {
    qint64 frames = 0;
    double seconds = 0;
    long rssFirstPassKiB = 0;
    long rssEndKiB = 0;
    qint64 check = 0; // keeps the work from being optimised away
};

// Passes over the frames until `total` have been handed to work(frame, timeUs).
template <typename Work>
Result run(const std::vector<Frame> &frames, qint64 total, Work work)
{
    Result result;
    const qint64 span = frames.back().timeUs - frames.front().timeUs + 1000;
    const double start = bench::monotonicSeconds();
    qint64 shift = 0;
    while (result.frames < total) {
        for (const Frame &frame : frames) {
            result.check += work(frame, frame.timeUs + shift);
            if (++result.frames == total)
                break;
        }
        if (shift == 0)
            result.rssFirstPassKiB = bench::residentKiB();
        shift += span;
    }
    result.seconds = bench::monotonicSeconds() - start;
    result.rssEndKiB = bench::residentKiB();
    return result;
}

void print(const char *what, const Result &r)
{
    std::printf("%-50s %10lld %8.3f %8.2f %10ld %10ld\n", what, static_cast<long long>(r.frames), r.seconds,
                double(r.frames) / r.seconds / 1e6, r.rssFirstPassKiB, r.rssEndKiB);
}

} // namespace

int main(int argc, char *argv[])
{
    const double millions = argc > 1 ? qMax(1.0, QByteArray(argv[1]).toDouble()) : 2.0;
    const qint64 total = qint64(millions * 1e6);
    const std::vector<Frame> frames = realFrames();
    if (frames.empty()) {
        std::fprintf(stderr, "bench_j1939: no frames in the truck logs of tests/data/nmfta\n");
        return 1;
    }
    std::printf("input: %zu frames of both truck logs, passed over to %lld frames\n", frames.size(),
                static_cast<long long>(total));
    std::printf("%-50s %10s %8s %8s %10s %10s\n", "path", "frames", "s", "M fr/s", "RSS 1st", "RSS end");

    // Identifier fields, reassembly, and DM1 decoding of single frames and
    // of reassembled messages.
    j1939::TransportReassembler reassembler;
    qint64 codes = 0;
    const Result core = run(frames, total, [&](const Frame &f, qint64 timeUs) -> qint64 {
        if (!f.extended)
            return 0;
        const quint32 pgn = j1939::pgn(f.id);
        const qint64 fields = pgn + j1939::sourceAddress(f.id) + j1939::destinationAddress(f.id) + j1939::priority(f.id);
        if (pgn == j1939::PGN_DM1) {
            codes += j1939::decodeDiagnosticMessage(f.data, f.size).codes.size();
        } else if (const j1939::TransportMessage *m = reassembler.add(timeUs, f.id, f.data, f.size)) {
            if (m->pgn == j1939::PGN_DM1)
                codes += j1939::decodeDiagnosticMessage(m->data, m->size).codes.size();
        }
        return fields;
    });
    reassembler.finish();
    print("identifier + reassembly + DM1", core);

    j1939::BusSummary summary;
    const Result whole = run(frames, total, [&](const Frame &f, qint64 timeUs) -> qint64 {
        summary.add(timeUs, f.id, f.extended, f.data, f.size);
        return 0;
    });
    summary.finish();
    print("bus summary (everything vornix-dump j1939 counts)", whole);

    // A flood of connection requests from every pair of addresses, never
    // answered: the open sessions stay at the cap.
    std::vector<Frame> flood;
    for (int pair = 0; pair < 65536; ++pair) {
        const quint32 id = j1939::identifier(7, j1939::PGN_TP_CONNECTION, quint8(pair), quint8(pair >> 8));
        if (j1939::destinationAddress(id) != j1939::GLOBAL_ADDRESS)
            flood.push_back({qint64(pair) * 100, id, true, 8, {16, 0xF9, 0x06, 255, 255, 0xCA, 0xFE, 0x00}});
    }
    j1939::TransportReassembler flooded;
    int mostOpen = 0;
    const Result floodResult = run(flood, total, [&](const Frame &f, qint64 timeUs) -> qint64 {
        flooded.add(timeUs, f.id, f.data, f.size);
        mostOpen = qMax(mostOpen, flooded.openSessions());
        return 0;
    });
    print("flood of RTS from 65280 address pairs", floodResult);
    std::printf("flood: at most %d sessions open (the cap), %lld evicted\n", mostOpen,
                static_cast<long long>(flooded.counts().evicted));

    const j1939::TransportCounts &t = reassembler.counts();
    std::printf("transport: %lld BAM, %lld RTS, %lld complete, %lld aborted, %lld incomplete; %lld trouble codes\n",
                static_cast<long long>(t.bam), static_cast<long long>(t.rts), static_cast<long long>(t.complete),
                static_cast<long long>(t.aborted), static_cast<long long>(t.incomplete), static_cast<long long>(codes));
    std::printf("(checks %lld %lld)\n", static_cast<long long>(core.check), static_cast<long long>(summary.faults().size()));
    return 0;
}
