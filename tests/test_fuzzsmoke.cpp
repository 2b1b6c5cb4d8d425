// A short, deterministic run of the frame fuzzing checks inside the normal
// suite: streams of valid, damaged and random frames, cut into reads of varied
// sizes, compared with the byte-by-byte model of the reader.

#include "../tools/fuzz_frames.h"

#include <QtTest>

namespace {

struct Random {
    quint64 state;
    quint32 next()
    {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return quint32(state >> 16);
    }
    int below(int n) { return int(next() % quint32(n)); }
};

QByteArray randomBytes(Random &rng, int count)
{
    QByteArray bytes;
    for (int i = 0; i < count; ++i) {
        const int pick = rng.below(8);
        bytes.append(pick == 0 ? char(0xAA) : pick == 1 ? char(0x55) : char(rng.next()));
    }
    return bytes;
}

// A stream of adapter frames with some damage and noise between them.
QByteArray randomStream(Random &rng)
{
    QByteArray stream;
    const int pieces = 1 + rng.below(12);
    for (int p = 0; p < pieces; ++p) {
        const int kind = rng.below(10);
        if (kind < 2) {
            stream += randomBytes(rng, rng.below(30));
            continue;
        }
        const int dataSize = rng.below(9);
        int lengthByte = -1;
        if (kind == 2)
            lengthByte = rng.below(256); // any length byte, negative ones included
        QByteArray frame = wire::buildAdapterFrame(rng.next() >> rng.below(32), rng.below(2) == 0,
                                                   randomBytes(rng, dataSize), lengthByte);
        frame[2] = char(rng.below(4) == 0 ? rng.next() : 0);
        frame[3] = char(rng.below(4) == 0 ? rng.next() : frame[3]);
        int sum = 0;
        for (int i = 2; i <= 17; ++i)
            sum += quint8(frame[i]);
        frame[19] = char(sum);
        if (kind == 3)
            frame[0] = char(rng.next()); // header may still hold through byte 1
        if (kind == 4) { // damaged somewhere
            const int at = rng.below(20);
            frame[at] = char(frame[at] ^ (1 + rng.below(255)));
        }
        stream += frame;
    }
    return stream;
}

// Wraps a stream in the input layout of the fuzz checks: a mode byte, then
// length-prefixed reads.
QByteArray fuzzInput(Random &rng, const QByteArray &stream)
{
    QByteArray input(1, char(rng.below(8)));
    int pos = 0;
    while (pos < stream.size()) {
        const int choice = rng.below(6);
        const int n = choice == 0 ? 1 : choice == 1 ? rng.below(20) : choice == 2 ? 20 : rng.below(120);
        const int take = std::min(n, int(stream.size()) - pos);
        input.append(char(take));
        input.append(stream.mid(pos, take));
        pos += take;
    }
    return input;
}

} // namespace

class TestFuzzSmoke : public QObject
{
    Q_OBJECT

private slots:
    void seededStreams();
    void rawRandomInputs();
};

void TestFuzzSmoke::seededStreams()
{
    Random rng{0x9E3779B97F4A7C15ull};
    fuzzframes::Stats stats;
    for (int round = 0; round < 3000; ++round) {
        const QByteArray input = fuzzInput(rng, randomStream(rng));
        const char *failure = fuzzframes::checkInput(
            reinterpret_cast<const uint8_t *>(input.constData()), size_t(input.size()), &stats);
        QVERIFY2(!failure, qPrintable(QString("round %1: %2 (input %3)")
                                          .arg(round)
                                          .arg(failure ? failure : "")
                                          .arg(QString(input.toHex()))));
    }
    // The streams must actually reach the parser and the command builder.
    QVERIFY2(stats.validFrames > 5000, qPrintable(QString::number(stats.validFrames)));
    QVERIFY(stats.slices > stats.validFrames);
    QVERIFY(stats.filterCommands > 0);
}

void TestFuzzSmoke::rawRandomInputs()
{
    Random rng{12345};
    fuzzframes::Stats stats;
    for (int round = 0; round < 2000; ++round) {
        const QByteArray input = randomBytes(rng, rng.below(600));
        const char *failure = fuzzframes::checkInput(
            reinterpret_cast<const uint8_t *>(input.constData()), size_t(input.size()), &stats);
        QVERIFY2(!failure, qPrintable(QString("round %1: %2").arg(round).arg(failure ? failure : "")));
    }
    QVERIFY(stats.slices > 0);
}

QTEST_GUILESS_MAIN(TestFuzzSmoke)
#include "test_fuzzsmoke.moc"
