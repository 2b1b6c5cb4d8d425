// vornix-candump, the headless logger, run as a process against the adapter
// simulator (and the fake adapter) on a pseudo-terminal. What the output must
// hold comes from the simulator: its load profile is deterministic, so a
// second instance of it gives the frames it sent, in order. The output is read
// back through the formats library, whose writers the tool uses and which
// test_formats and test_blf check on their own; a BLF file's header count is
// read by python-can.

#include "sim/emulator.h"
#include "tests/support/countedtraffic.h"
#include "tests/support/fakeadapter.h"
#include "tests/support/linesettings.h"
#include "tests/support/recording.h"
#include "tests/support/runprogram.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <memory>
#include <sys/resource.h>

namespace {

// The first `count` frames of the load profile, as "ID#DATA".
QVector<QByteArray> loadStream(int identifiers, double rate, int count)
{
    sim::LoadTraffic traffic(identifiers, rate);
    QVector<QByteArray> keys;
    for (int i = 0; i < count; ++i) {
        const sim::EmulatedFrame f = traffic.takeNext();
        keys << frameKey(f.id, !f.standard, f.payload());
    }
    return keys;
}

// Whether `got` is `stream` with frames left out, in the same order: what a
// capture holds when the emulator itself had to drop frames (a loaded machine
// makes it late).
bool inStreamOrder(const QVector<QByteArray> &got, const QVector<QByteArray> &stream)
{
    int at = 0;
    for (const QByteArray &key : got) {
        while (at < stream.size() && stream.at(at) != key)
            ++at;
        if (at++ == stream.size())
            return false;
    }
    return true;
}

std::unique_ptr<sim::AdapterEmulator> loadEmulator(int identifiers, double rate, quint64 count = 0)
{
    std::unique_ptr<sim::TrafficSource> traffic = std::make_unique<sim::LoadTraffic>(identifiers, rate);
    if (count > 0)
        traffic = std::make_unique<CountedTraffic>(std::move(traffic), count);
    auto emulator = std::make_unique<sim::AdapterEmulator>(std::move(traffic));
    return emulator->start() ? std::move(emulator) : nullptr;
}

struct Tool : RunningProgram {
    // With `closedOutput` the tool starts with its standard output closed
    // (a shell's ">&-").
    explicit Tool(const QStringList &arguments, bool closedOutput = false)
        : RunningProgram(closedOutput ? QStringLiteral("/bin/sh") : QStringLiteral(VORNIX_CANDUMP_TOOL),
                         closedOutput ? QStringList{"-c", "exec \"$0\" \"$@\" >&-", VORNIX_CANDUMP_TOOL} + arguments
                                      : arguments)
    {
    }
    // A figure of the summary ("frames:  123 (...)").
    double summary(const char *name)
    {
        const QRegularExpression pattern(QStringLiteral("^%1:\\s+([0-9.]+)").arg(QLatin1String(name)),
                                         QRegularExpression::MultilineOption);
        const QRegularExpressionMatch m = pattern.match(QString::fromLocal8Bit(errors()));
        return m.hasMatch() ? m.captured(1).toDouble() : -1;
    }
    QByteArray context(const QString &problem = QString())
    {
        return problem.toLocal8Bit() + "\n--- tool stderr ---\n" + errors();
    }
};

// What the tool wrote to standard output (candump lines) or to a file.
Recording outputOf(Tool &tool, const QString &file)
{
    return file.isEmpty() ? readRecording(tool.output(), formats::Format::Candump) : readRecordingFile(file);
}

// The object count in a BLF file's header as python-can reads it, -1 when it
// cannot: the logger writes the header again once it stops.
qint64 blfHeaderObjects(const QString &file)
{
    const ProgramRun run = runProgram(
        QStringLiteral("/usr/bin/python3"),
        {QStringLiteral("-c"), QStringLiteral("import can, sys\nprint(can.BLFReader(sys.argv[1]).object_count)\n"), file});
    bool ok = false;
    const qint64 count = run.out.trimmed().toLongLong(&ok);
    return run.status == 0 && ok ? count : -1;
}

} // namespace

class TestCandump : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir;
    QString path(const QString &name) const { return dir->filePath(name); }

private slots:
    void init()
    {
        dir = std::make_unique<QTemporaryDir>();
        QVERIFY(dir->isValid());
    }

    // The bytes the adapter receives: the configuration command of the rate
    // (either name form) and the filter list, in one piece; the port at the
    // COM rate asked for.
    void adapterReceivesItsCommands_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("expected");
        QTest::addColumn<int>("baud");
        const struct {
            const char *name, *shortName, *bytes;
        } rates[] = {
            {"33.333 kbps", "33.333k", "aa5503000100000000000000000205045a000069"},
            {"50 kbps", "50k", "aa550209010000000000000000020000000000 0e"},
            {"83.333 kbps", "83.333k", "aa55030001000000000000000002050424000033"},
            {"100 kbps", "100k", "aa55020801000000000000000002000000000 00d"},
            {"125 kbps", "125k", "aa5502070100000000000000000200000000000c"},
            {"250 kbps", "250k", "aa5502050100000000000000000200000000000a"},
            {"500 kbps", "500k", "aa55020301000000000000000002000000000008"},
        };
        for (const auto &rate : rates) {
            const QByteArray bytes = QByteArray::fromHex(QByteArray(rate.bytes).replace(' ', ""));
            QTest::newRow(rate.name) << QStringList{"-r", rate.name} << bytes << 2000000;
            QTest::newRow(rate.shortName) << QStringList{"--can-rate", rate.shortName} << bytes << 2000000;
        }
        const QByteArray config500 = QByteArray::fromHex("aa55020301000000000000000002000000000008");
        QTest::newRow("COM rate 115200") << QStringList{"-r", "500k", "-b", "115200"} << config500 << 115200;
        QTest::newRow("COM rate 1228800") << QStringList{"-r", "500k", "--baud", "1228800"} << config500 << 1228800;
        QTest::newRow("exclude one extended")
            << QStringList{"-r", "500k", "--exclude", "18FEF100"}
            << config500 + QByteArray::fromHex("aa55110100f1fe1819") << 2000000;
        QTest::newRow("show two standard, lower case")
            << QStringList{"-r", "500k", "--show", "123,7ff"}
            << config500 + QByteArray::fromHex("aa551002230100 00ff070000 3c") << 2000000;
        QTest::newRow("show 00D: the escaped byte")
            << QStringList{"-r", "500k", "--show", "d"}
            << config500 + QByteArray::fromHex("aa5510010d0d0a4552524f520d0a000000d6") << 2000000;
    }
    void adapterReceivesItsCommands()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, expected);
        QFETCH(int, baud);
        FakeAdapter adapter;
        Tool tool(QStringList{adapter.devicePath(), "-t", "0.3"} + arguments);
        QVERIFY(tool.started());
        QTRY_COMPARE(adapter.written().toHex(), expected.toHex());
        QCOMPARE(readLineSettings(adapter.masterFd()).inputSpeed, unsigned(baud));
        QVERIFY2(tool.finish() == 0, tool.context().constData());
        QCOMPARE(adapter.written().toHex(), expected.toHex()); // nothing more
        QVERIFY(tool.errors().contains("0.3 s passed"));
    }

    // What makes it refuse to start: a clear message, status 2, nothing sent
    // to the adapter, no file made or changed.
    void refusesToStart_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("outputExists");
        QTest::newRow("port that does not open") << QStringList{"/nonexistent/ttyUSB9", "-r", "500k"}
                                                 << "cannot open /nonexistent/ttyUSB9" << false;
        QTest::newRow("no CAN rate") << QStringList{"PORT"} << "give the CAN bit rate" << false;
        QTest::newRow("wrong CAN rate") << QStringList{"PORT", "-r", "400k"} << "\"400k\" is not a CAN bit rate"
                                        << false;
        QTest::newRow("rate name of another case") << QStringList{"PORT", "-r", "500 Kbit"}
                                                   << "is not a CAN bit rate" << false;
        QTest::newRow("COM rate off the list") << QStringList{"PORT", "-r", "500k", "-b", "57600"}
                                               << "--baud 57600 is not one of the COM rates" << false;
        QTest::newRow("identifier not hex") << QStringList{"PORT", "-r", "500k", "--show", "123,12G"}
                                            << "\"12G\" is not an identifier" << false;
        QTest::newRow("empty identifier") << QStringList{"PORT", "-r", "500k", "--exclude", "123,,124"}
                                          << "\"\" is not an identifier" << false;
        QTest::newRow("standard above 7FF") << QStringList{"PORT", "-r", "500k", "--exclude", "800"}
                                            << "800 is above 7FF" << false;
        QTest::newRow("extended above 1FFFFFFF") << QStringList{"PORT", "-r", "500k", "--show", "20000000"}
                                                 << "20000000 is above 1FFFFFFF" << false;
        QTest::newRow("show and exclude") << QStringList{"PORT", "-r", "500k", "--show", "1", "--exclude", "2"}
                                          << "exclude each other" << false;
        QTest::newRow("output exists") << QStringList{"PORT", "-r", "500k", "-o", "OUT/trip.log"}
                                       << "trip.log exists" << true;
        QTest::newRow("unknown extension") << QStringList{"PORT", "-r", "500k", "-o", "OUT/trip.txt"}
                                           << "cannot tell the format" << false;
        QTest::newRow("rotation without a file") << QStringList{"PORT", "-r", "500k", "--rotate-size", "1"}
                                                 << "need -o FILE" << false;
        QTest::newRow("count not a number") << QStringList{"PORT", "-r", "500k", "-n", "ten"}
                                            << "--count takes a whole number" << false;
        // ">&-": started with standard output closed.
        QTest::newRow("standard output closed") << QStringList{">&-", "PORT", "-r", "500k"}
                                                << "standard output is closed; give -o FILE" << false;
    }
    void refusesToStart()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        QFETCH(bool, outputExists);
        FakeAdapter adapter;
        arguments.replaceInStrings(QRegularExpression("^PORT$"), adapter.devicePath());
        arguments.replaceInStrings(QRegularExpression("^OUT/"), dir->path() + '/');
        const QByteArray kept("an earlier capture\n");
        if (outputExists) {
            QFile earlier(path("trip.log"));
            QVERIFY(earlier.open(QIODevice::WriteOnly) && earlier.write(kept) == kept.size());
        }
        const bool closedOutput = arguments.removeAll(">&-") > 0;
        Tool tool(arguments, closedOutput);
        QVERIFY(tool.started());
        QCOMPARE(tool.finish(), 2);
        QVERIFY2(tool.errors().startsWith("vornix-candump: ") && tool.errors().contains(message.toLocal8Bit()),
                 tool.context().constData());
        adapter.settle();
        QCOMPARE(adapter.written(), QByteArray());
        QCOMPARE(QDir(dir->path()).entryList(QDir::Files), outputExists ? QStringList{"trip.log"} : QStringList());
        if (outputExists)
            QCOMPARE(readFile(path("trip.log")), kept);
    }

    void helpAndVersion()
    {
        Tool version({"--version"});
        QVERIFY(version.started());
        QCOMPARE(version.finish(), 0);
        QCOMPARE(version.output(), QByteArray("vornix-candump " VORNIX_VERSION "\n"));
        Tool help({"--help"});
        QVERIFY(help.started());
        QCOMPARE(help.finish(), 0);
        for (const char *option : {"--baud", "--can-rate", "--show", "--exclude", "--output", "--rotate-size",
                                   "--rotate-time", "--count", "--time"})
            QVERIFY2(help.output().contains(option), option);
    }

    // Every frame the simulator sends, once and in order, in each output.
    void outputEqualsTheStream_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("standard output") << QString();
        QTest::newRow(".log") << "trip.log";
        QTest::newRow(".csv") << "trip.csv";
        QTest::newRow(".asc") << "trip.asc";
        QTest::newRow(".blf") << "trip.blf";
    }
    void outputEqualsTheStream()
    {
        QFETCH(QString, file);
        const int frames = 3000;
        auto emulator = loadEmulator(16, 2000, frames);
        QVERIFY(emulator);
        QStringList arguments{emulator->devicePath(), "-r", "250k", "-n", QString::number(frames)};
        if (!file.isEmpty())
            arguments << "-o" << path(file);
        const qint64 startUs = QDateTime::currentMSecsSinceEpoch() * 1000;
        Tool tool(arguments);
        QVERIFY(tool.started());
        QVERIFY2(tool.finish() == 0, tool.context().constData());
        const qint64 endUs = QDateTime::currentMSecsSinceEpoch() * 1000;
        QCOMPARE(emulator->canRate(), QStringLiteral("250 kbps"));
        QCOMPARE(emulator->stats().framesDropped, quint64(0));

        const Recording out = outputOf(tool, file.isEmpty() ? file : path(file));
        QVERIFY2(out.problem().isEmpty(), qPrintable(out.problem()));
        QCOMPARE(out.keys(), loadStream(16, 2000, frames));
        QVERIFY(tool.summary("frames") == frames && tool.summary("invalid frames") == 0
                && tool.summary("identifiers") == 16);
        if (file.endsWith(".blf"))
            QCOMPARE(blfHeaderObjects(path(file)), qint64(frames));
        // Times of the reads: in order, within the run (ASC: to the second of
        // its date; a dump file has only the time of day).
        for (size_t i = 0; i < out.frames.size() && !file.endsWith(".csv"); ++i) {
            QVERIFY(i == 0 || out.frames[i].timeUs >= out.frames[i - 1].timeUs);
            QVERIFY(out.frames[i].timeUs >= startUs - 1000000 && out.frames[i].timeUs <= endUs);
        }
    }

    // The filter list goes to the simulator, which applies it; no frame of an
    // excluded identifier shows, and with --show only the listed ones do.
    void filterListIsApplied_data()
    {
        QTest::addColumn<QString>("option");
        QTest::addColumn<QString>("list");
        QTest::addColumn<QVector<quint32>>("listed");
        QTest::newRow("exclude") << "--exclude" << "101,18ff0003" << QVector<quint32>{0x101, 0x18FF0003};
        QTest::newRow("show") << "--show" << "100,18FF0001,00000103" << QVector<quint32>{0x100, 0x18FF0001, 0x103};
    }
    void filterListIsApplied()
    {
        QFETCH(QString, option);
        QFETCH(QString, list);
        QFETCH(QVector<quint32>, listed);
        const bool exclude = option == QLatin1String("--exclude");
        auto emulator = loadEmulator(8, 4000);
        QVERIFY(emulator);
        Tool tool({emulator->devicePath(), "-r", "125k", option, list, "-n", "1000"});
        QVERIFY(tool.started());
        QVERIFY2(tool.finish() == 0, tool.context().constData());
        const sim::AdapterEmulator::FilterState state = emulator->filterState();
        QVERIFY(state.enabled);
        QCOMPARE(state.exclude, exclude);
        QCOMPARE(state.ids, listed);
        QVERIFY(emulator->stats().framesFiltered > 0);

        const Recording out = outputOf(tool, QString());
        QVERIFY2(out.problem().isEmpty(), qPrintable(out.problem()));
        QCOMPARE(int(out.frames.size()), 1000);
        QSet<quint32> seen;
        for (const formats::CanFrame &f : out.frames)
            seen << f.id;
        const QSet<quint32> listedSet(listed.begin(), listed.end());
        if (exclude)
            QVERIFY(!seen.intersects(listedSet));
        else
            QCOMPARE(seen, listedSet);
        // The list went out with the configuration: the simulator sent nothing
        // the list would have held back.
        QVERIFY2(!tool.errors().contains("held back"), tool.context().constData());
    }

    // Numbered files of about the size asked for, each whole, never over a file
    // that exists; in name order they are the stream.
    void rotationBySize_data()
    {
        QTest::addColumn<QString>("extension");
        QTest::newRow(".log") << ".log";
        QTest::newRow(".csv") << ".csv";
    }
    void rotationBySize()
    {
        QFETCH(QString, extension);
        const int frames = 3000, limit = 10000;
        const QByteArray kept("an earlier file\n");
        QVERIFY(!writeFile(path("trip_0002" + extension), kept).isEmpty());
        auto emulator = loadEmulator(16, 3000, frames);
        QVERIFY(emulator);
        Tool tool({emulator->devicePath(), "-r", "500k", "-o", path("trip" + extension), "--rotate-size",
                   "0.01", "-n", QString::number(frames)});
        QVERIFY(tool.started());
        QVERIFY2(tool.finish() == 0, tool.context().constData());

        QCOMPARE(readFile(path("trip_0002" + extension)), kept);
        QStringList files = QDir(dir->path()).entryList({"trip_*" + extension}, QDir::Files, QDir::Name);
        files.removeOne("trip_0002" + extension);
        QVERIFY2(files.size() >= 5, qPrintable(files.join(' ')));
        QCOMPARE(files.first(), "trip_0001" + extension);
        QCOMPARE(files.at(1), "trip_0003" + extension);
        QVector<QByteArray> all;
        for (int i = 0; i < files.size(); ++i) {
            const Recording part = readRecordingFile(path(files[i]));
            QVERIFY2(part.problem().isEmpty(), qPrintable(files[i] + ": " + part.problem()));
            const qint64 size = QFileInfo(path(files[i])).size();
            if (i + 1 < files.size()) {
                // Closed once it reached the size: less than one more line above it.
                QVERIFY2(size >= limit && size < limit + 60, qPrintable(QStringLiteral("%1: %2 bytes").arg(files[i]).arg(size)));
            }
            all += part.keys();
        }
        QCOMPARE(all, loadStream(16, 3000, frames));
        for (const QString &name : qAsConst(files))
            QVERIFY(tool.errors().contains(name.toLocal8Bit()));
    }

    // A new file once the frames of one span 0.4 s of frame time, the stream
    // split between them.
    void rotationByTime()
    {
        const int frames = 3000; // 1.5 s
        auto emulator = loadEmulator(16, 2000, frames);
        QVERIFY(emulator);
        Tool tool({emulator->devicePath(), "-r", "500k", "-o", path("run.log"), "--rotate-time", "0.4", "-n",
                   QString::number(frames)});
        QVERIFY(tool.started());
        QVERIFY2(tool.finish() == 0, tool.context().constData());
        const QStringList files = QDir(dir->path()).entryList({"run_*.log"}, QDir::Files, QDir::Name);
        QVERIFY2(files.size() >= 3, qPrintable(files.join(' ')));
        QVector<QByteArray> all;
        qint64 previousStart = -400000, previousEnd = 0;
        for (const QString &name : files) {
            const Recording part = readRecordingFile(path(name));
            QVERIFY2(part.problem().isEmpty() && !part.frames.empty(), qPrintable(name + ": " + part.problem()));
            const qint64 first = part.frames.front().timeUs, last = part.frames.back().timeUs;
            QVERIFY(last - first < 400000);
            QVERIFY(first >= previousEnd && first - previousStart >= 400000);
            previousStart = first;
            previousEnd = last;
            all += part.keys();
        }
        QCOMPARE(all, loadStream(16, 2000, frames));
    }

    // SIGINT or SIGTERM in the middle of 10,000 frames/s: status 0, whole lines,
    // every frame up to the stop, the summary.
    void stopSignalLeavesWholeLines_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addColumn<QString>("file");
        QTest::newRow("SIGINT, standard output") << int(SIGINT) << QString();
        QTest::newRow("SIGINT, .log") << int(SIGINT) << "trip.log";
        QTest::newRow("SIGINT, .csv") << int(SIGINT) << "trip.csv";
        QTest::newRow("SIGTERM, .asc") << int(SIGTERM) << "trip.asc";
        QTest::newRow("SIGINT, .blf") << int(SIGINT) << "trip.blf";
        QTest::newRow("SIGTERM, .blf") << int(SIGTERM) << "trip.blf";
    }
    void stopSignalLeavesWholeLines()
    {
        QFETCH(int, signal);
        QFETCH(QString, file);
        auto emulator = loadEmulator(64, 10000);
        QVERIFY(emulator);
        QStringList arguments{emulator->devicePath(), "-r", "500k"};
        if (!file.isEmpty())
            arguments << "-o" << path(file);
        Tool tool(arguments);
        QVERIFY(tool.started());
        QTRY_VERIFY_WITH_TIMEOUT(emulator->stats().framesSent >= 8000, 20000);
        const quint64 droppedBeforeStop = emulator->stats().framesDropped;
        QVERIFY(::kill(pid_t(tool.pid()), signal) == 0);
        QVERIFY2(tool.finish() == 0, tool.context().constData());
        QVERIFY(tool.errors().contains(signal == SIGINT ? "stopped by SIGINT" : "stopped by SIGTERM"));

        const Recording out = outputOf(tool, file.isEmpty() ? file : path(file));
        QVERIFY2(out.problem().isEmpty(), qPrintable(out.problem()));
        QVERIFY(out.frames.size() >= 7000);
        if (droppedBeforeStop == 0) {
            QCOMPARE(out.keys(), loadStream(64, 10000, int(out.frames.size())));
        } else {
            const sim::AdapterEmulator::Stats taken = emulator->stats();
            QVERIFY(inStreamOrder(out.keys(), loadStream(64, 10000, int(taken.framesSent + taken.framesDropped))));
        }
        QCOMPARE(tool.summary("frames"), double(out.frames.size()));
        if (file.endsWith(".blf"))
            QCOMPARE(blfHeaderObjects(path(file)), qint64(out.frames.size()));
        if (!file.isEmpty())
            QVERIFY(tool.errors().contains(path(file).toLocal8Bit()));
    }

    // SIGINT while the program is still loading its libraries (the signal
    // mask shows SIGINT blocked, no Qt library mapped yet): it is taken once
    // the capture runs, status 0 with the summary, not death by the signal.
    void stopSignalWhileLoading()
    {
        auto emulator = loadEmulator(16, 1000);
        QVERIFY(emulator);
        const auto read = [](qint64 pid, const char *what) {
            QFile file(QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(what)));
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        };
        // Tries enough: the moment between the block and the mapping of the
        // Qt libraries is short, and this process may miss it.
        for (int attempt = 0; attempt < 50; ++attempt) {
            Tool tool({emulator->devicePath(), "-r", "500k"});
            QVERIFY(tool.started());
            bool sent = false;
            QElapsedTimer clock;
            clock.start();
            while (!sent && tool.running() && clock.elapsed() < 10000) {
                const QByteArray status = read(tool.pid(), "status");
                const int at = status.indexOf("SigBlk:");
                const bool blocked = at >= 0 && (status.mid(at + 7, 24).trimmed().left(16).toULongLong(nullptr, 16)
                                                 & (1u << (SIGINT - 1)));
                if (read(tool.pid(), "maps").contains("libQt5Core"))
                    break; // loaded: too late for this try
                if (blocked)
                    sent = ::kill(pid_t(tool.pid()), SIGINT) == 0;
            }
            if (!sent)
                continue;
            QVERIFY2(tool.finish(20000) == 0, tool.context().constData());
            QVERIFY2(tool.errors().contains("stopped by SIGINT") && tool.summary("frames") >= 0,
                     tool.context().constData());
            return;
        }
        QFAIL("SIGINT was never blocked before the libraries were loaded");
    }

    // The simulator closes its side while frames stream: status 3, whole
    // lines, and no busy waiting on the way out.
    void deviceGoneEndsWithStatus3_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow(".log") << "trip.log";
        QTest::newRow(".blf") << "trip.blf";
    }
    void deviceGoneEndsWithStatus3()
    {
        QFETCH(QString, file);
        auto emulator = loadEmulator(16, 1000);
        QVERIFY(emulator);
        Tool tool({emulator->devicePath(), "-r", "500k", "-o", path(file)});
        QVERIFY(tool.started());
        QTRY_VERIFY_WITH_TIMEOUT(emulator->stats().framesSent >= 500, 20000);
        emulator->stop();
        QCOMPARE(tool.finish(), 3);
        QVERIFY2(tool.errors().contains("went away"), tool.context().constData());
        const Recording out = readRecordingFile(path(file));
        QVERIFY2(out.problem().isEmpty(), qPrintable(out.problem()));
        QVERIFY(out.frames.size() >= 400);
        QCOMPARE(out.keys(), loadStream(16, 1000, int(out.frames.size())));
        if (file.endsWith(".blf"))
            QCOMPARE(blfHeaderObjects(path(file)), qint64(out.frames.size()));
        // A spin would take a whole core; the capture takes a few per cent of one.
        const double cpu = tool.summary("cpu"), duration = tool.summary("duration");
        QVERIFY2(cpu >= 0 && duration > 0 && cpu < 0.4 * duration, tool.context().constData());
    }

    // A full disk (a file-size limit, ulimit -f, whose signal would kill the
    // tool): status 4, the message, a file of whole lines, the stream up to
    // where it stopped, and a summary that counts the frames the file holds
    // and those it lost.
    void fullDiskEndsWithStatus4_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("limitBytes");
        QTest::addColumn<int>("slack"); // the file ends at most this far below the limit
        QTest::newRow(".log") << "trip.log" << 30000 << 100;
        QTest::newRow(".csv") << "trip.csv" << 30000 << 100;
        QTest::newRow(".asc") << "trip.asc" << 30000 << 100;
        // Whole containers (some 28 KB each here), written a second's worth at a time.
        QTest::newRow(".blf") << "trip.blf" << 300000 << 100000;
    }
    void fullDiskEndsWithStatus4()
    {
        QFETCH(QString, file);
        QFETCH(int, limitBytes);
        QFETCH(int, slack);
        const rlim_t limit = rlim_t(limitBytes);
        auto emulator = loadEmulator(16, 5000);
        QVERIFY(emulator);
        std::unique_ptr<Tool> tool;
        {
            // The tool inherits the limit and the signal's default action;
            // this process writes nothing meanwhile and gets its own limit
            // back at once.
            rlimit saved{};
            getrlimit(RLIMIT_FSIZE, &saved);
            const auto oldHandler = std::signal(SIGXFSZ, SIG_DFL);
            const auto restore = qScopeGuard([&] {
                setrlimit(RLIMIT_FSIZE, &saved);
                std::signal(SIGXFSZ, oldHandler);
            });
            rlimit full = saved;
            full.rlim_cur = limit;
            QVERIFY(setrlimit(RLIMIT_FSIZE, &full) == 0);
            tool = std::make_unique<Tool>(QStringList{emulator->devicePath(), "-r", "500k", "-o", path(file)});
            QVERIFY(tool->started());
        }
        QCOMPARE(tool->finish(), 4);
        QVERIFY2(tool->errors().contains(QStringLiteral("cannot write %1: ").arg(path(file)).toLocal8Bit()),
                 tool->context().constData());
        const qint64 size = QFileInfo(path(file)).size();
        QVERIFY2(quint64(size) <= limit && quint64(size) > limit - rlim_t(slack), qPrintable(QString::number(size)));
        const Recording out = readRecordingFile(path(file));
        QVERIFY2(out.problem().isEmpty(), qPrintable(out.problem()));
        QVERIFY(!out.frames.empty());
        QCOMPARE(out.keys(), loadStream(16, 5000, int(out.frames.size())));
        QCOMPARE(tool->summary("frames"), double(out.frames.size()));
        const QRegularExpressionMatch lost =
            QRegularExpression("^not written: +(\\d+) of (\\d+) received", QRegularExpression::MultilineOption)
                .match(QString::fromLocal8Bit(tool->errors()));
        QVERIFY2(lost.hasMatch() && lost.captured(1).toInt() > 0, tool->context().constData());
        QCOMPARE(lost.captured(1).toInt() + int(out.frames.size()), lost.captured(2).toInt());
    }

    // What the adapter had queued before the configuration (here a stream
    // that filled the line and waits to write more) is not logged: only the
    // frames sent after the configuration arrived.
    void framesQueuedBeforeTheConfigurationAreDropped()
    {
        FakeAdapter adapter;
        // Writes of 20 frames each, 40 KB in all: more than the line holds
        // (some 18 KB) before the writes block.
        adapter.startStream([](int i) {
            QByteArray twenty;
            for (int k = 0; k < 20; ++k)
                twenty += FakeAdapter::frame(0x100, true, QByteArray::number(20 * i + k).rightJustified(4, '0'));
            return twenty;
        }, 10000, 100);
        QTRY_VERIFY(adapter.streamSent() > 0);
        QTest::qWait(200); // the line fills and the stream waits (nothing to check meanwhile)
        QVERIFY(!adapter.streamFinished());
        Tool tool({adapter.devicePath(), "-r", "500k", "-t", "0.5"});
        QVERIFY(tool.started());
        QTRY_VERIFY_WITH_TIMEOUT(!adapter.written().isEmpty(), 10000);
        for (const char *data : {"new1", "new2", "new3"})
            QVERIFY(adapter.sendFrame(0x200, true, data));
        QVERIFY2(tool.finish() == 0, tool.context().constData());
        const Recording out = readRecording(tool.output(), formats::Format::Candump);
        QVERIFY2(out.problem().isEmpty(), qPrintable(out.problem()));
        QCOMPARE(out.keys(), (QVector<QByteArray>{"200#6E657731", "200#6E657732", "200#6E657733"}));
    }
};

QTEST_MAIN(TestCandump)
#include "test_candump.moc"
