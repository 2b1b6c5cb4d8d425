// The fuzz targets' checks (tools/fuzz/fuzzcheck.h) over the inputs kept for
// them, in the normal build: every file of tests/data/fuzz/<target>/ (each an
// input that once found a fault, so that it stays mended) and of
// tests/data/fuzz-seeds/<target>/ (what the fuzzers start from); and a short,
// deterministic run of the frame checks on pseudo-random inputs rich in 0xAA
// and 0x55, so that frame starts, valid frames and filter-list commands all
// come up often.

#include "tools/fuzz/framescheck.h"
#include "tools/fuzz/fuzzcheck.h"

#include <QDir>
#include <QtTest>

class TestFuzzCorpus : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { fuzz::prepare(); }

    // The folders name targets, and the table holds the targets the build makes.
    void targetsAndFolders()
    {
        QStringList names;
        for (const fuzz::Target &target : fuzz::targets())
            names << QString::fromLatin1(target.name);
        QCOMPARE(names, QString::fromLatin1(VORNIX_FUZZ_TARGETS).split(QLatin1Char(',')));
        for (const char *kept : {"fuzz", "fuzz-seeds"}) {
            const QDir folder(QStringLiteral(VORNIX_TEST_DATA_DIR "/") + QLatin1String(kept));
            for (const QString &name : folder.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
                QVERIFY2(names.contains(name), qPrintable(folder.filePath(name) + " names no fuzz target"));
        }
    }

    void keptInputs_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("path");
        for (const char *kept : {"fuzz", "fuzz-seeds"}) {
            const QDir folder(QStringLiteral(VORNIX_TEST_DATA_DIR "/") + QLatin1String(kept));
            for (const QString &target : folder.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
                const QDir inputs(folder.filePath(target));
                for (const QString &file : inputs.entryList(QDir::Files, QDir::Name))
                    QTest::newRow(qPrintable(QStringLiteral("%1/%2/%3").arg(QLatin1String(kept), target, file)))
                        << target << inputs.filePath(file);
            }
        }
    }

    void keptInputs()
    {
        QFETCH(QString, target);
        QFETCH(QString, path);
        const fuzz::Check check = fuzz::findCheck(qPrintable(target));
        QVERIFY(check);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray input = file.readAll();
        const char *failure = check(reinterpret_cast<const uint8_t *>(input.constData()), size_t(input.size()));
        QVERIFY2(!failure, failure);
    }

    void framesSeeded()
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

QTEST_GUILESS_MAIN(TestFuzzCorpus)
#include "test_fuzzcorpus.moc"
