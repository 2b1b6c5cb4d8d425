// vornix-dump convert and info, run as a process: standard input and output,
// what does not fit the target format, files never overwritten without
// --force, a bad line with its file and line, command-line errors, and the
// summary of a recording.

#include "tests/support/recording.h"
#include "tests/support/runprogram.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {

ProgramRun dump(const QStringList &arguments, const QByteArray &input = {})
{
    return runProgram(QStringLiteral(VORNIX_DUMP_TOOL), arguments, input);
}

// A dump recording started 2026-12-07 23:59:58, running past midnight, with
// empty payloads, 3- and 4-digit standard identifiers and a long payload.
const QByteArray DUMP = "Timestamp;ID;Payload\n"
                        "23:59:59.900;18FEF100;01 A2 FF \n"
                        "23:59:59.950;123;\n"
                        "00:00:00.010;1ABC;11 22 \n"
                        "00:00:00.020;7FF;01 02 03 04 05 06 07 08 09 0A \n"
                        "00:00:01.900;00000123;AB \n";

} // namespace

class TestDump : public QObject
{
    Q_OBJECT

    QTemporaryDir scratch;
    QString in;

private slots:
    void initTestCase() { in = writeFile(scratch.filePath("dump_2026-12-07_23-59-58.csv"), DUMP); }
    void dumpTool();
    void info();
};

void TestDump::dumpTool()
{
    // Standard input to standard output; what does not fit is reported.
    ProgramRun run = dump({"convert", "-", "-", "--from", "csv", "--to", "candump", "--channel", "vcan3"}, DUMP);
    QVERIFY2(run.status == 0, qPrintable(run.summary()));
    QCOMPARE(run.out.count('\n'), 4);
    QVERIFY(run.out.startsWith("(") && run.out.contains(" vcan3 18FEF100#01A2FF\n"));
    QVERIFY2(run.err.contains("1 frame(s) with more data bytes") && run.err.contains("1 frame(s) left out"),
             qPrintable(run.err));

    // A file: never overwritten without --force.
    const QString asc = scratch.filePath("out.asc");
    QCOMPARE(dump({"convert", in, asc}).status, 0);
    const QByteArray ascText = readFile(asc);
    QVERIFY(ascText.startsWith("date "));
    run = dump({"convert", in, asc});
    QCOMPARE(run.status, 1);
    QVERIFY(run.err.contains("exists; --force overwrites it"));
    QCOMPARE(readFile(asc), ascText);
    QCOMPARE(dump({"convert", in, asc, "--force", "--to", "candump"}).status, 0);
    QVERIFY(readFile(asc).startsWith("("));

    // A bad line: FILE:LINE: what, status 1; the frames before it are in OUT.
    const QString bad = writeFile(scratch.filePath("bad.log"),
                                  "(1.000000) can0 100#01\n(2.000000) can0 100#0X\n(3.000000) can0 100#03\n");
    const QString partial = scratch.filePath("partial.log");
    run = dump({"convert", bad, partial});
    QCOMPARE(run.status, 1);
    QVERIFY2(run.err.contains(bad + ":2: data bytes are pairs of hexadecimal digits"), qPrintable(run.err));
    QCOMPARE(readFile(partial), QByteArray("(0000000001.000000) can0 100#01\n"));
    run = dump({"convert", bad, "-", "--to", "candump", "--skip-bad"});
    QCOMPARE(run.status, 0);
    QCOMPARE(run.out, QStringLiteral("(0000000001.000000) can0 100#01\n(0000000003.000000) can0 100#03\n"));
    QVERIFY(run.err.contains("1 bad line(s) skipped, the first at line 2"));

    // Command-line errors.
    for (const QStringList &arguments : {QStringList{"convert", in}, QStringList{"frobnicate"},
                                         QStringList{"convert", in, "out.xyz"}, QStringList{"--bogus"}})
        QVERIFY2(dump(arguments).status == 2, qPrintable(arguments.join(' ')));
}

void TestDump::info()
{
    const ProgramRun run = dump({"info", in});
    QCOMPARE(run.status, 0);
    for (const char *line : {"frames:       5\n", "start:        2026-12-07 23:59:59.900000 (local time)\n",
                             "end:          2026-12-08 00:00:01.900000\n", "duration:     2.000000 s\n",
                             "identifiers:  5\n", "  7FF                1       0.50  10\n",
                             "  18FEF100           1       0.50  3        65265 CCVS      0 Engine #1\n"})
        QVERIFY2(run.out.contains(QLatin1String(line)), qPrintable(run.out));
}

QTEST_GUILESS_MAIN(TestDump)
#include "test_dump.moc"
