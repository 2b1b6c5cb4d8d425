// The program's command line, run as a process: help and version without a
// display, and the errors that end it with status 2 before a window opens.

#include "tests/support/recording.h"
#include "tests/support/runprogram.h"

#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/stat.h>

namespace {

// The program to its end; without a display, and with `platform` false
// without any platform either. One that does not stop by itself opened its
// window: a failure here.
ProgramRun run(const QStringList &arguments, bool platform = true)
{
    return runProgram(QStringLiteral(VORNIX_PROGRAM), arguments, {},
                      platform ? QStringList() : QStringList{"QT_QPA_PLATFORM"}, QString(), 20000);
}

} // namespace

class TestCommandLine : public QObject
{
    Q_OBJECT

    QTemporaryDir scratch;

private slots:
    void initTestCase()
    {
        QVERIFY(!writeFile(scratch.filePath("empty.log"), {}).isEmpty());
        QVERIFY(!writeFile(scratch.filePath("dump_2026-12-07_10-00-00.csv"), "Timestamp;ID;Payload\n").isEmpty());
        QVERIFY(!writeFile(scratch.filePath("bad.log"), "(1.000000) can0 100#01\nnonsense\n(2.000000) can0 100#02\n"
                                                        "(3.000000) can0 100#0\n").isEmpty());
        QVERIFY(::mkfifo(QFile::encodeName(scratch.filePath("fifo.log")).constData(), 0600) == 0);
    }

    void helpAndVersionWithoutDisplay()
    {
        const ProgramRun help = run({"--help"}, false);
        QCOMPARE(help.status, 0);
        for (const char *text : {"Without options the program starts as always", "--demo <truck|load>", "--rate <N>",
                                 "--replay <FILE>", "--loop", "--speed <F>", "--start <S>", "--fms-valid-only",
                                 "--ids <N>", "--version"})
            QVERIFY2(help.out.contains(QLatin1String(text)), text);
        const ProgramRun version = run({"--version"}, false);
        QCOMPARE(version.status, 0);
        QCOMPARE(version.out, QStringLiteral("Vornix Can Analyzer 1.1.2\n"));
    }

    void errors_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        QTest::newRow("unknown option") << QStringList{"--bogus"} << "Unknown option 'bogus'";
        QTest::newRow("rate without load") << QStringList{"--rate", "5"} << "--rate and --ids go with --demo load";
        QTest::newRow("ids of truck") << QStringList{"--demo", "--ids", "5"} << "--rate and --ids go with --demo load";
        QTest::newRow("rate zero") << QStringList{"--demo", "load", "--rate", "0"}
                                   << "--rate takes a whole number from 1 to 100000, not \"0\"";
        QTest::newRow("ids not a number") << QStringList{"--demo", "load", "--ids", "many"}
                                          << "--ids takes a whole number from 1 to 100000, not \"many\"";
        QTest::newRow("stray argument") << QStringList{"somefile"} << "unexpected argument \"somefile\"";
        QTest::newRow("after a toolkit option") << QStringList{"-platform", "offscreen", "--bogus"}
                                                << "Unknown option 'bogus'";
        QTest::newRow("missing file") << QStringList{"--replay", "/nonexistent/trip.log"}
                                      << "cannot read /nonexistent/trip.log: No such file or directory";
        QTest::newRow("empty file") << QStringList{"--replay", scratch.filePath("empty.log")}
                                    << QString("%1 holds no frame").arg(scratch.filePath("empty.log"));
        QTest::newRow("header only") << QStringList{"--replay", scratch.filePath("dump_2026-12-07_10-00-00.csv")}
                                     << QString("%1 holds no frame").arg(scratch.filePath("dump_2026-12-07_10-00-00.csv"));
        QTest::newRow("speed too high") << QStringList{"--replay", scratch.filePath("empty.log"), "--speed", "200"}
                                        << "--speed takes a number from 0.1 to 100, not \"200\"";
        QTest::newRow("loop without replay") << QStringList{"--loop"} << "--loop, --speed and --start go with --replay FILE";
        QTest::newRow("FIFO") << QStringList{"--replay", scratch.filePath("fifo.log")}
                              << QString("cannot replay %1: not a regular file").arg(scratch.filePath("fifo.log"));
        QTest::newRow("demo and replay") << QStringList{"--demo", "--replay", scratch.filePath("empty.log")}
                                         << "--demo and --replay do not go together";
    }

    void errors()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        const ProgramRun result = run(arguments);
        QCOMPARE(result.status, 2);
        QVERIFY2(result.err.contains(QStringLiteral("vornix-can-analyzer: ") + message), qPrintable(result.err));
        QVERIFY(result.out.isEmpty());
    }

    // A file with bad lines is played (its window opens); what is skipped is said once.
    void badLinesAreSaidOnce()
    {
        RunningProgram program(QStringLiteral(VORNIX_PROGRAM), {"--replay", scratch.filePath("bad.log")});
        const QByteArray message = QString("vornix-can-analyzer: %1: 2 bad line(s) skipped, the first at line 2: ")
                                       .arg(scratch.filePath("bad.log"))
                                       .toLocal8Bit();
        QTRY_VERIFY_WITH_TIMEOUT(program.errors().contains(message), 20000);
        QVERIFY(program.running());
        QVERIFY(::kill(pid_t(program.pid()), SIGTERM) == 0);
        QVERIFY(program.finish(20000) != -1); // ended (by the signal)
        QCOMPARE(program.errors().count(message), 1);
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "test_commandline.moc"
