// The program's command line, run as a process: help and version without a
// display, and the errors that end it with status 2 before a window opens.

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

namespace {

struct Run {
    int status = -1;
    QString out, err;
};

Run run(const QStringList &arguments, bool display = true)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    if (display)
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    else
        environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(VORNIX_PROGRAM), arguments);
    Run result;
    // A program that does not stop by itself opened its window: a failure here.
    if (!process.waitForFinished(20000)) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    result.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    result.err = QString::fromLocal8Bit(process.readAllStandardError());
    return result;
}

} // namespace

class TestCommandLine : public QObject
{
    Q_OBJECT

    QTemporaryDir scratch;

private slots:
    void initTestCase()
    {
        QFile empty(scratch.filePath("empty.log"));
        QVERIFY(empty.open(QIODevice::WriteOnly));
        QFile header(scratch.filePath("dump_2026-12-07_10-00-00.csv"));
        QVERIFY(header.open(QIODevice::WriteOnly) && header.write("Timestamp;ID;Payload\n") == 21);
        QFile bad(scratch.filePath("bad.log"));
        QVERIFY(bad.open(QIODevice::WriteOnly));
        bad.write("(1.000000) can0 100#01\nnonsense\n(2.000000) can0 100#02\n(3.000000) can0 100#0\n");
        QVERIFY(::mkfifo(QFile::encodeName(scratch.filePath("fifo.log")).constData(), 0600) == 0);
    }

    void helpAndVersionWithoutDisplay()
    {
        const Run help = run({"--help"}, false);
        QCOMPARE(help.status, 0);
        for (const char *text : {"Without options the program starts as always", "--demo <truck|load>", "--rate <N>",
                                 "--replay <FILE>", "--loop", "--speed <F>", "--start <S>", "--fms-valid-only",
                                 "--ids <N>", "--version"})
            QVERIFY2(help.out.contains(QLatin1String(text)), text);
        const Run version = run({"--version"}, false);
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
        const Run result = run(arguments);
        QCOMPARE(result.status, 2);
        QVERIFY2(result.err.contains(QStringLiteral("vornix-can-analyzer: ") + message), qPrintable(result.err));
        QVERIFY(result.out.isEmpty());
    }

    // A file with bad lines is played (its window opens); what is skipped is said once.
    void badLinesAreSaidOnce()
    {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(VORNIX_PROGRAM), {"--replay", scratch.filePath("bad.log")});
        QByteArray errors;
        const QByteArray message = QString("vornix-can-analyzer: %1: 2 bad line(s) skipped, the first at line 2: ")
                                       .arg(scratch.filePath("bad.log"))
                                       .toLocal8Bit();
        QTRY_VERIFY_WITH_TIMEOUT((errors += process.readAllStandardError()).contains(message), 20000);
        QCOMPARE(process.state(), QProcess::Running);
        process.terminate();
        QVERIFY(process.waitForFinished(20000));
        errors += process.readAllStandardError();
        QCOMPARE(errors.count(message), 1);
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "test_commandline.moc"
