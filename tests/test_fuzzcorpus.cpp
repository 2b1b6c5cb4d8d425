// A short, deterministic run of the frame fuzzing checks inside the normal
// suite: pseudo-random inputs rich in 0xAA and 0x55, so that frame starts,
// valid frames and filter-list commands all come up often.

#include "tools/fuzz_frames.h"

#include <QtTest>

class TestFuzzSmoke : public QObject
{
    Q_OBJECT

private slots:
    void seededInputs()
    {
        quint64 state = 0x9E3779B97F4A7C15ull; // xorshift
        auto next = [&state] {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            return quint32(state >> 16);
        };
        fuzzframes::Stats stats;
        for (int round = 0; round < 5000; ++round) {
            QByteArray input(1, char(next() % 8)); // mode bits
            for (int i = int(next() % 700); i > 0; --i) {
                const quint32 r = next(), pick = r % 16;
                input.append(pick < 2 ? char(0xAA) : pick == 2 ? char(0x55) : pick < 6 ? char(pick - 3) : char(r >> 8));
            }
            const char *failure = fuzzframes::checkInput(reinterpret_cast<const uint8_t *>(input.constData()),
                                                         size_t(input.size()), &stats);
            QVERIFY2(!failure, qPrintable(QString("round %1: %2 (input %3)").arg(round).arg(failure, input.toHex())));
        }
        // The inputs must actually reach the parser and the command builder.
        QVERIFY2(stats.validFrames > 5000, qPrintable(QString::number(stats.validFrames)));
        QVERIFY(stats.slices > stats.validFrames);
        QVERIFY(stats.filterCommands > 0);
    }
};

QTEST_GUILESS_MAIN(TestFuzzSmoke)
#include "test_fuzzsmoke.moc"
