// vornix-dump convert and info, run as a process: standard input and output,
// what does not fit the target format, files never overwritten without
// --force, a bad line with its file and line, command-line errors, the
// summary of a recording, and its outcomes on bad input and failed output.

#include "tests/support/recording.h"
#include "tests/support/runprogram.h"

#include <QBuffer>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace {

ProgramRun dump(const QStringList &arguments, const QByteArray &input = {})
{
    return runProgram(QStringLiteral(VORNIX_DUMP_TOOL), arguments, input);
}

} // namespace

class TestDump : public QObject
{
    Q_OBJECT

    QTemporaryDir scratch;
    QString in;

private slots:
    void initTestCase() { in = writeFile(scratch.filePath(DUMP_NAME), DUMP); }
    void dumpTool();
    void info();
    void outcomes_data();
    void outcomes();
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

// What vornix-dump ends with where reading or writing does not go as it
// should: never "0 frames" with status 0 for a file none of whose frames
// read, never status 0 with its output lost, and an OUT that is a FIFO or a
// device written in place, not replaced by a regular file.
void TestDump::outcomes_data()
{
    QTest::addColumn<QStringList>("arguments"); // IN and OUT stand for the files of the row
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("redirect");      // of standard output, as a shell says it
    QTest::addColumn<QString>("target");        // what OUT is: "", "fifo", "device", "directory"
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");       // on standard error
    QTest::addColumn<QByteArray>("output");     // on standard output (or read from the FIFO), when given

    // The decoding GUI log as ASC, under a "base dec" line.
    QByteArray dec;
    {
        QBuffer buffer(&dec);
        buffer.open(QIODevice::WriteOnly);
        const auto writer = formats::openWriter(formats::Format::Asc, &buffer);
        for (const formats::CanFrame &frame : readRecording(truckLog("decodinggui"), formats::Format::Candump).frames)
            writer->write(frame);
        writer->finish();
    }
    dec.replace("base hex", "base dec");
    QTest::newRow("base dec over 78582 hexadecimal frames") << QStringList{"info", "IN", "--skip-bad"} << dec << ""
                                                            << "" << 1 << "78582 bad line(s) skipped" << QByteArray();
    QTest::newRow("base dec, stopping") << QStringList{"info", "IN"} << dec << "" << "" << 1
                                        << "IN:4: bad identifier \"8FE6E0Bx\" (the base line says dec" << QByteArray();
    const QByteArray allBad = "(1.000000) can0 12G#01\n(2.000000) can0 100#0\n";
    QTest::newRow("every line bad, skipped") << QStringList{"convert", "IN", "-", "--to", "candump", "--skip-bad"}
                                             << allBad << "" << "" << 1 << "IN: no frame read" << QByteArray();
    const QByteArray cut = "(1.000000) can0 100#01\n(2.000000) can0 18FEF131#F7FFFF";
    QTest::newRow("cut last line") << QStringList{"convert", "IN", "-", "--to", "candump"} << cut << "" << "" << 0
                                   << "IN: line 2 ends without its line end" << QByteArray("(0000000001.000000) can0 100#01\n");
    const QByteArray good = "(1.000000) can0 100#01\n(2.000000) can0 18FEF131#F7FFFF\n";
    const QString full = QStringLiteral("cannot write standard output: No space left on device");
    QTest::newRow("info to a full disk") << QStringList{"info", "IN"} << good << ">/dev/full" << "" << 1 << full
                                         << QByteArray();
    QTest::newRow("j1939 to a full disk") << QStringList{"j1939", "IN"} << good << ">/dev/full" << "" << 1 << full
                                          << QByteArray();
    QTest::newRow("convert to a full disk") << QStringList{"convert", "IN", "-", "--to", "asc"} << good << ">/dev/full"
                                            << "" << 1 << full << QByteArray();
    QTest::newRow("info, standard output closed") << QStringList{"info", "IN"} << good << ">&-" << "" << 1
                                                  << "cannot write standard output: Bad file descriptor" << QByteArray();
    const QByteArray lines = "(0000000001.000000) can0 100#01\n(0000000002.000000) can0 18FEF131#F7FFFF\n";
    QTest::newRow("onto a FIFO") << QStringList{"convert", "IN", "OUT", "--to", "candump", "--force"} << good << ""
                                 << "fifo" << 0 << "" << lines;
    QTest::newRow("onto a character device") << QStringList{"convert", "IN", "OUT", "--to", "candump", "--force"}
                                             << good << "" << "device" << 0 << "" << QByteArray();
    QTest::newRow("onto a directory") << QStringList{"convert", "IN", "OUT", "--to", "candump", "--force"} << good
                                      << "" << "directory" << 1 << "OUT is neither a file" << QByteArray();
}

void TestDump::outcomes()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, input);
    QFETCH(QString, redirect);
    QFETCH(QString, target);
    QFETCH(int, status);
    QFETCH(QString, message);
    QFETCH(QByteArray, output);
    QTemporaryDir dir;
    // No extension: the content tells the format.
    const QString input_ = writeFile(dir.filePath("input"), input), out = dir.filePath("out");
    std::unique_ptr<RunningProgram> reader; // what reads the FIFO
    if (target == QLatin1String("fifo")) {
        QVERIFY(::mkfifo(QFile::encodeName(out).constData(), 0600) == 0);
        reader = std::make_unique<RunningProgram>(QStringLiteral("cat"), QStringList{out});
        QVERIFY(reader->started());
    } else if (target == QLatin1String("device")) {
        // A node of the null device of its own (root may make one; the
        // system's /dev/null is never put at stake).
        if (::mknod(QFile::encodeName(out).constData(), S_IFCHR | 0600, makedev(1, 3)) != 0)
            QSKIP("no device node can be made here (not root)");
    } else if (target == QLatin1String("directory")) {
        QVERIFY(QDir().mkdir(out));
    }
    arguments.replaceInStrings(QRegularExpression("^IN$"), input_);
    arguments.replaceInStrings(QRegularExpression("^OUT$"), out);
    const ProgramRun run = runProgram(QStringLiteral("/bin/sh"),
                                      QStringList{"-c", "exec \"$0\" \"$@\" " + redirect, QStringLiteral(VORNIX_DUMP_TOOL)}
                                          + arguments);
    const QString errors = QString(run.err).replace(input_, QStringLiteral("IN")).replace(out, QStringLiteral("OUT"));
    QVERIFY2(run.status == status, qPrintable(errors));
    QVERIFY2(errors.contains(message), qPrintable(errors));
    struct stat st {};
    if (target == QLatin1String("fifo")) {
        QCOMPARE(reader->finish(10000), 0);
        QCOMPARE(reader->output(), output);
        QVERIFY(::stat(QFile::encodeName(out).constData(), &st) == 0 && S_ISFIFO(st.st_mode));
    } else if (target == QLatin1String("device")) {
        QVERIFY(::stat(QFile::encodeName(out).constData(), &st) == 0 && S_ISCHR(st.st_mode));
    } else if (!output.isNull()) {
        QCOMPARE(run.out.toLatin1(), output);
    }
}

QTEST_GUILESS_MAIN(TestDump)
#include "test_dump.moc"
