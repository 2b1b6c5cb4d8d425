// vornix-candump, the headless logger, run as a process against the adapter
// simulator (and the fake adapter) on a pseudo-terminal. What the output must
// hold comes from the simulator: its load profile is deterministic, so a
// second instance of it gives the frames it sent, in order.

#include "sim/emulator.h"
#include "tests/support/countedtraffic.h"
#include "tests/support/fakeadapter.h"
#include "tests/support/linesettings.h"
#include "tests/support/runprogram.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QtTest>

#include <csignal>
#include <memory>
#include <sys/resource.h>

namespace {

const QString TOOL = QStringLiteral(VORNIX_CANDUMP_TOOL);
const QByteArray CSV_HEADER = QByteArrayLiteral("Timestamp;ID;Payload\n");

// ---- what the simulator sends ----

QByteArray keyOf(quint32 id, bool standard, const QByteArray &data)
{
    return QByteArray::number(id, 16).toUpper().rightJustified(standard ? 3 : 8, '0') + '#'
           + data.toHex().toUpper();
}

// The first `count` frames of the load profile, as "ID#DATA".
QVector<QByteArray> loadStream(int identifiers, double rate, int count)
{
    sim::LoadTraffic traffic(identifiers, rate);
    QVector<QByteArray> keys;
    for (int i = 0; i < count; ++i) {
        const sim::EmulatedFrame f = traffic.takeNext();
        keys << keyOf(f.id, f.standard, f.payload());
    }
    return keys;
}

std::unique_ptr<sim::AdapterEmulator> loadEmulator(int identifiers, double rate, quint64 count = 0)
{
    std::unique_ptr<sim::TrafficSource> traffic = std::make_unique<sim::LoadTraffic>(identifiers, rate);
    if (count > 0)
        traffic = std::make_unique<CountedTraffic>(std::move(traffic), count);
    auto emulator = std::make_unique<sim::AdapterEmulator>(std::move(traffic));
    return emulator->start() ? std::move(emulator) : nullptr;
}

// ---- reading the output back, with patterns of this test's own ----

struct Parsed {
    QString problem;          // empty when every line is whole and well-formed
    QVector<QByteArray> keys; // "ID#DATA" per frame line
    QVector<qint64> timesUs;  // candump and ASC lines: their time
    qint64 headerObjects = -1; // BLF: the object count of its header
};

// A BLF file as python-can reads it.
Parsed parseBlf(const QByteArray &all)
{
    Parsed parsed;
    QTemporaryFile file;
    if (!file.open() || file.write(all) != all.size() || !file.flush()) {
        parsed.problem = QStringLiteral("cannot copy the file");
        return parsed;
    }
    const ProgramRun run = runProgram(
        QStringLiteral("/usr/bin/python3"),
        {QStringLiteral("-c"),
         QStringLiteral("import can, sys\n"
                        "r = can.BLFReader(sys.argv[1])\n"
                        "print(r.object_count)\n"
                        "for m in r:\n"
                        "    print(round(m.timestamp * 1e6), ('%08X' if m.is_extended_id else '%03X') % "
                        "m.arbitration_id + '#' + bytes(m.data).hex().upper())\n"),
         file.fileName()});
    if (run.status != 0) {
        parsed.problem = QStringLiteral("python-can: ") + run.summary();
        return parsed;
    }
    QStringList lines = run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    parsed.headerObjects = lines.isEmpty() ? -1 : lines.takeFirst().toLongLong();
    for (const QString &line : qAsConst(lines)) {
        parsed.timesUs << line.section(QLatin1Char(' '), 0, 0).toLongLong();
        parsed.keys << line.section(QLatin1Char(' '), 1).toLatin1();
    }
    return parsed;
}

Parsed parseOutput(const QByteArray &all, const QString &format)
{
    static const QRegularExpression candump(
        QStringLiteral("^\\((\\d{10})\\.(\\d{6})\\) can0 ([0-9A-F]{3}|[0-9A-F]{8})#((?:[0-9A-F]{2})*)$"));
    static const QRegularExpression csv(
        QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d{3};([0-9A-F]{3}|[0-9A-F]{8});((?:[0-9A-F]{2} )*)$"));
    static const QRegularExpression ascFrame(QStringLiteral(
        "^ +(\\d+)\\.(\\d{6}) 1  ([0-9A-F]{1,8})(x?) +Rx   d (\\d) ?((?:[0-9A-F]{2} ?)*)$"));
    static const QRegularExpression ascDate(
        QStringLiteral("^date \\w{3} (\\w{3}) +(\\d+) (\\d\\d:\\d\\d:\\d\\d) (\\d{4})$"));
    if (format == QLatin1String("blf"))
        return parseBlf(all);
    Parsed parsed;
    if (!all.isEmpty() && !all.endsWith('\n'))
        parsed.problem = QStringLiteral("the last line is torn: ") + QString::fromLatin1(all.right(60));
    QList<QByteArray> lines = all.split('\n');
    lines.removeLast();
    qint64 ascBaseUs = 0;
    for (int n = 0; n < lines.size() && parsed.problem.isEmpty(); ++n) {
        const QString line = QString::fromLatin1(lines[n]);
        if (format == QLatin1String("csv")) {
            if (n == 0) {
                if (lines[0] + '\n' != CSV_HEADER)
                    parsed.problem = QStringLiteral("no header");
                continue;
            }
            const QRegularExpressionMatch m = csv.match(line);
            if (!m.hasMatch()) {
                parsed.problem = QStringLiteral("line %1: %2").arg(n + 1).arg(line);
                break;
            }
            parsed.keys << m.captured(1).toLatin1() + '#' + m.captured(2).remove(QLatin1Char(' ')).toLatin1();
        } else if (format == QLatin1String("asc")) {
            if (n < 3) {
                const QRegularExpressionMatch d = ascDate.match(line);
                if (n == 0 && d.hasMatch()) {
                    const QDateTime date = QLocale::c().toDateTime(
                        d.captured(1) + ' ' + d.captured(2) + ' ' + d.captured(3) + ' ' + d.captured(4),
                        QStringLiteral("MMM d HH:mm:ss yyyy"));
                    ascBaseUs = date.toMSecsSinceEpoch() * 1000;
                } else if ((n == 1 && line != QLatin1String("base hex  timestamps absolute"))
                           || (n == 2 && line != QLatin1String("no internal events logged")) || (n == 0)) {
                    parsed.problem = QStringLiteral("header line %1: %2").arg(n + 1).arg(line);
                }
                continue;
            }
            const QRegularExpressionMatch m = ascFrame.match(line);
            if (!m.hasMatch() || m.captured(6).remove(QLatin1Char(' ')).size() != 2 * m.captured(5).toInt()) {
                parsed.problem = QStringLiteral("line %1: %2").arg(n + 1).arg(line);
                break;
            }
            const bool extended = !m.captured(4).isEmpty();
            parsed.keys << m.captured(3).rightJustified(extended ? 8 : 3, QLatin1Char('0')).toLatin1() + '#'
                               + m.captured(6).remove(QLatin1Char(' ')).toLatin1();
            parsed.timesUs << ascBaseUs + m.captured(1).toLongLong() * 1000000 + m.captured(2).toLongLong();
        } else {
            const QRegularExpressionMatch m = candump.match(line);
            if (!m.hasMatch()) {
                parsed.problem = QStringLiteral("line %1: %2").arg(n + 1).arg(line);
                break;
            }
            parsed.keys << m.captured(3).toLatin1() + '#' + m.captured(4).toLatin1();
            parsed.timesUs << m.captured(1).toLongLong() * 1000000 + m.captured(2).toLongLong();
        }
    }
    return parsed;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// ---- running the tool ----

class Tool
{
public:
    explicit Tool(const QStringList &arguments)
    {
        process.start(TOOL, arguments);
    }
    ~Tool()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished();
        }
    }
    bool started() { return process.waitForStarted(); }
    qint64 pid() const { return process.processId(); }
    bool running() const { return process.state() == QProcess::Running; }
    // Waits for the exit and gives its status (-1: killed, crashed or still running).
    int finish(int timeoutMs = 30000)
    {
        process.waitForFinished(timeoutMs);
        out += process.readAllStandardOutput();
        err += process.readAllStandardError();
        // A sanitizer build reports in the tool's stderr; pass the reports on
        // to this test's output, where the sanitizer script counts them.
        if (err.contains("ThreadSanitizer"))
            std::fprintf(stderr, "%s", err.constData());
        if (process.state() != QProcess::NotRunning || process.exitStatus() != QProcess::NormalExit)
            return -1;
        return process.exitCode();
    }
    QByteArray output()
    {
        out += process.readAllStandardOutput();
        return out;
    }
    QByteArray errors() const { return err; }
    // A figure of the summary ("frames:  123 (...)").
    double summary(const char *name) const
    {
        const QRegularExpression pattern(QStringLiteral("^%1:\\s+([0-9.]+)").arg(QLatin1String(name)),
                                         QRegularExpression::MultilineOption);
        const QRegularExpressionMatch m = pattern.match(QString::fromLocal8Bit(err));
        return m.hasMatch() ? m.captured(1).toDouble() : -1;
    }

    QProcess process;

private:
    QByteArray out, err;
};

QString ctx(const Tool &tool, const QString &problem = QString())
{
    return problem + QStringLiteral("\n--- tool stderr ---\n") + QString::fromLocal8Bit(tool.errors());
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
        QVERIFY2(tool.finish() == 0, qPrintable(ctx(tool)));
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
        QTest::newRow("nine digits") << QStringList{"PORT", "-r", "500k", "--show", "123456789"}
                                     << "is not an identifier" << false;
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
        Tool tool(arguments);
        QVERIFY(tool.started());
        QCOMPARE(tool.finish(), 2);
        QVERIFY2(tool.errors().startsWith("vornix-candump: ") && tool.errors().contains(message.toLocal8Bit()),
                 qPrintable(ctx(tool)));
        QTest::qWait(50); // anything sent would be at the fake adapter by now
        QCOMPARE(adapter.written(), QByteArray());
        QCOMPARE(QDir(dir->path()).entryList(QDir::Files), outputExists ? QStringList{"trip.log"} : QStringList());
        if (outputExists)
            QCOMPARE(readAll(path("trip.log")), kept);
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
        QTest::addColumn<QString>("format");
        QTest::newRow("standard output") << QString() << "candump";
        QTest::newRow(".log") << "trip.log" << "candump";
        QTest::newRow(".csv") << "trip.csv" << "csv";
        QTest::newRow(".asc") << "trip.asc" << "asc";
        QTest::newRow(".blf") << "trip.blf" << "blf";
    }
    void outputEqualsTheStream()
    {
        QFETCH(QString, file);
        QFETCH(QString, format);
        const int frames = 3000;
        auto emulator = loadEmulator(16, 2000, frames);
        QVERIFY(emulator);
        QStringList arguments{emulator->devicePath(), "-r", "250k", "-n", QString::number(frames)};
        if (!file.isEmpty())
            arguments << "-o" << path(file);
        const qint64 startUs = QDateTime::currentMSecsSinceEpoch() * 1000;
        Tool tool(arguments);
        QVERIFY(tool.started());
        QVERIFY2(tool.finish(60000) == 0, qPrintable(ctx(tool)));
        const qint64 endUs = QDateTime::currentMSecsSinceEpoch() * 1000;
        QCOMPARE(emulator->canRate(), QStringLiteral("250 kbps"));
        QCOMPARE(emulator->stats().framesDropped, quint64(0));

        const Parsed out = parseOutput(file.isEmpty() ? tool.output() : readAll(path(file)), format);
        QVERIFY2(out.problem.isEmpty(), qPrintable(out.problem));
        QCOMPARE(out.keys, loadStream(16, 2000, frames));
        QVERIFY(tool.summary("frames") == frames && tool.summary("invalid frames") == 0
                && tool.summary("identifiers") == 16);
        if (format == QLatin1String("blf"))
            QCOMPARE(out.headerObjects, qint64(frames)); // the header written again at the end
        // Times of the reads: in order, within the run (ASC: to the second of its date).
        for (int i = 0; i < out.timesUs.size(); ++i) {
            QVERIFY(i == 0 || out.timesUs[i] >= out.timesUs[i - 1]);
            QVERIFY(out.timesUs[i] >= startUs - 1000000 && out.timesUs[i] <= endUs);
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
        QVERIFY2(tool.finish(60000) == 0, qPrintable(ctx(tool)));
        const sim::AdapterEmulator::FilterState state = emulator->filterState();
        QVERIFY(state.enabled);
        QCOMPARE(state.exclude, exclude);
        QCOMPARE(state.ids, listed);
        QVERIFY(emulator->stats().framesFiltered > 0);

        const Parsed out = parseOutput(tool.output(), "candump");
        QVERIFY2(out.problem.isEmpty(), qPrintable(out.problem));
        QCOMPARE(out.keys.size(), 1000);
        QSet<quint32> seen;
        for (const QByteArray &key : out.keys)
            seen << key.left(key.indexOf('#')).toUInt(nullptr, 16);
        const QSet<quint32> listedSet(listed.begin(), listed.end());
        if (exclude)
            QVERIFY(!seen.intersects(listedSet));
        else
            QCOMPARE(seen, listedSet);
        // The list went out with the configuration: the simulator sent nothing
        // the list would have held back.
        QVERIFY2(!tool.errors().contains("held back"), qPrintable(ctx(tool)));
    }

    // Numbered files of about the size asked for, each whole, never over a file
    // that exists; in name order they are the stream.
    void rotationBySize_data()
    {
        QTest::addColumn<QString>("extension");
        QTest::addColumn<QString>("format");
        QTest::newRow(".log") << ".log" << "candump";
        QTest::newRow(".csv") << ".csv" << "csv";
    }
    void rotationBySize()
    {
        QFETCH(QString, extension);
        QFETCH(QString, format);
        const int frames = 3000, limit = 10000;
        const QByteArray kept("an earlier file\n");
        {
            QFile earlier(path("trip_0002" + extension));
            QVERIFY(earlier.open(QIODevice::WriteOnly) && earlier.write(kept) == kept.size());
        }
        auto emulator = loadEmulator(16, 3000, frames);
        QVERIFY(emulator);
        Tool tool({emulator->devicePath(), "-r", "500k", "-o", path("trip" + extension), "--rotate-size",
                   "0.01", "-n", QString::number(frames)});
        QVERIFY(tool.started());
        QVERIFY2(tool.finish(60000) == 0, qPrintable(ctx(tool)));

        QCOMPARE(readAll(path("trip_0002" + extension)), kept);
        QStringList files = QDir(dir->path()).entryList({"trip_*" + extension}, QDir::Files, QDir::Name);
        files.removeOne("trip_0002" + extension);
        QVERIFY2(files.size() >= 5, qPrintable(files.join(' ')));
        QCOMPARE(files.first(), "trip_0001" + extension);
        QCOMPARE(files.at(1), "trip_0003" + extension);
        QVector<QByteArray> all;
        for (int i = 0; i < files.size(); ++i) {
            const QByteArray contents = readAll(path(files[i]));
            const Parsed part = parseOutput(contents, format);
            QVERIFY2(part.problem.isEmpty(), qPrintable(files[i] + ": " + part.problem));
            if (i + 1 < files.size()) {
                // Closed once it reached the size: less than one more line above it.
                QVERIFY2(contents.size() >= limit && contents.size() < limit + 60,
                         qPrintable(QStringLiteral("%1: %2 bytes").arg(files[i]).arg(contents.size())));
            }
            all += part.keys;
        }
        QCOMPARE(all, loadStream(16, 3000, frames));
        for (const QString &name : qAsConst(files))
            QVERIFY(tool.errors().contains(name.toLocal8Bit()));
    }

    // A new file every 0.4 s of frame time, the stream split between them.
    void rotationByTime()
    {
        const int frames = 3000; // 1.5 s
        auto emulator = loadEmulator(16, 2000, frames);
        QVERIFY(emulator);
        Tool tool({emulator->devicePath(), "-r", "500k", "-o", path("run.log"), "--rotate-time", "0.4", "-n",
                   QString::number(frames)});
        QVERIFY(tool.started());
        QVERIFY2(tool.finish(60000) == 0, qPrintable(ctx(tool)));
        const QStringList files = QDir(dir->path()).entryList({"run_*.log"}, QDir::Files, QDir::Name);
        QVERIFY2(files.size() >= 3 && files.size() <= 5, qPrintable(files.join(' ')));
        QVector<QByteArray> all;
        qint64 previousEnd = 0;
        for (const QString &name : files) {
            const Parsed part = parseOutput(readAll(path(name)), "candump");
            QVERIFY2(part.problem.isEmpty() && !part.timesUs.isEmpty(), qPrintable(name + ": " + part.problem));
            QVERIFY(part.timesUs.last() - part.timesUs.first() < 400000);
            QVERIFY(part.timesUs.first() >= previousEnd);
            previousEnd = part.timesUs.last();
            all += part.keys;
        }
        QCOMPARE(all, loadStream(16, 2000, frames));
    }

    // SIGINT or SIGTERM in the middle of 10,000 frames/s: status 0, whole lines,
    // every frame up to the stop, the summary.
    void stopSignalLeavesWholeLines_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("format");
        QTest::newRow("SIGINT, standard output") << int(SIGINT) << QString() << "candump";
        QTest::newRow("SIGINT, .log") << int(SIGINT) << "trip.log" << "candump";
        QTest::newRow("SIGINT, .csv") << int(SIGINT) << "trip.csv" << "csv";
        QTest::newRow("SIGTERM, .asc") << int(SIGTERM) << "trip.asc" << "asc";
        QTest::newRow("SIGINT, .blf") << int(SIGINT) << "trip.blf" << "blf";
        QTest::newRow("SIGTERM, .blf") << int(SIGTERM) << "trip.blf" << "blf";
    }
    void stopSignalLeavesWholeLines()
    {
        QFETCH(int, signal);
        QFETCH(QString, file);
        QFETCH(QString, format);
        auto emulator = loadEmulator(64, 10000);
        QVERIFY(emulator);
        QStringList arguments{emulator->devicePath(), "-r", "500k"};
        if (!file.isEmpty())
            arguments << "-o" << path(file);
        Tool tool(arguments);
        QVERIFY(tool.started());
        QTRY_VERIFY_WITH_TIMEOUT(emulator->stats().framesSent >= 8000, 20000);
        QVERIFY(::kill(pid_t(tool.pid()), signal) == 0);
        QVERIFY2(tool.finish(20000) == 0, qPrintable(ctx(tool)));
        QVERIFY(tool.errors().contains(signal == SIGINT ? "stopped by SIGINT" : "stopped by SIGTERM"));

        const Parsed out = parseOutput(file.isEmpty() ? tool.output() : readAll(path(file)), format);
        QVERIFY2(out.problem.isEmpty(), qPrintable(out.problem));
        QVERIFY(out.keys.size() >= 7000);
        QCOMPARE(out.keys, loadStream(64, 10000, out.keys.size()));
        QCOMPARE(tool.summary("frames"), double(out.keys.size()));
        if (format == QLatin1String("blf"))
            QCOMPARE(out.headerObjects, qint64(out.keys.size()));
        if (!file.isEmpty())
            QVERIFY(tool.errors().contains(path(file).toLocal8Bit()));
    }

    // The simulator closes its side while frames stream: status 3 within a
    // second, whole lines, and no busy waiting on the way out.
    void deviceGoneEndsWithStatus3_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("format");
        QTest::newRow(".log") << "trip.log" << "candump";
        QTest::newRow(".blf") << "trip.blf" << "blf";
    }
    void deviceGoneEndsWithStatus3()
    {
        QFETCH(QString, file);
        QFETCH(QString, format);
        auto emulator = loadEmulator(16, 1000);
        QVERIFY(emulator);
        Tool tool({emulator->devicePath(), "-r", "500k", "-o", path(file)});
        QVERIFY(tool.started());
        QTRY_VERIFY_WITH_TIMEOUT(emulator->stats().framesSent >= 500, 20000);
        QElapsedTimer clock;
        clock.start();
        emulator->stop();
        QCOMPARE(tool.finish(10000), 3);
        QVERIFY2(clock.elapsed() < 1000, qPrintable(ctx(tool, QStringLiteral("%1 ms").arg(clock.elapsed()))));
        QVERIFY2(tool.errors().contains("went away"), qPrintable(ctx(tool)));
        const Parsed out = parseOutput(readAll(path(file)), format);
        QVERIFY2(out.problem.isEmpty(), qPrintable(out.problem));
        QVERIFY(out.keys.size() >= 400);
        QCOMPARE(out.keys, loadStream(16, 1000, out.keys.size()));
        if (format == QLatin1String("blf"))
            QCOMPARE(out.headerObjects, qint64(out.keys.size()));
        // A spin would take a whole core; the capture takes a few per cent of one.
        const double cpu = tool.summary("cpu"), duration = tool.summary("duration");
        QVERIFY2(cpu >= 0 && duration > 0 && cpu < 0.4 * duration, qPrintable(ctx(tool)));
    }

    // A full disk (a file-size limit, its signal ignored): status 4, the
    // message, and a file of whole lines, the stream up to where it stopped.
    void fullDiskEndsWithStatus4_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("format");
        QTest::addColumn<int>("limitBytes");
        QTest::addColumn<int>("slack"); // the file ends at most this far below the limit
        QTest::newRow(".log") << "trip.log" << "candump" << 30000 << 100;
        QTest::newRow(".csv") << "trip.csv" << "csv" << 30000 << 100;
        QTest::newRow(".asc") << "trip.asc" << "asc" << 30000 << 100;
        // Whole containers (some 28 KB each here), written a second's worth at a time.
        QTest::newRow(".blf") << "trip.blf" << "blf" << 300000 << 100000;
    }
    void fullDiskEndsWithStatus4()
    {
        QFETCH(QString, file);
        QFETCH(QString, format);
        QFETCH(int, limitBytes);
        QFETCH(int, slack);
        const rlim_t limit = rlim_t(limitBytes);
        auto emulator = loadEmulator(16, 5000);
        QVERIFY(emulator);
        std::unique_ptr<Tool> tool;
        {
            // The tool inherits the limit and the ignored signal; this process
            // writes nothing meanwhile and gets its own limit back at once.
            rlimit saved{};
            getrlimit(RLIMIT_FSIZE, &saved);
            const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
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
        QCOMPARE(tool->finish(30000), 4);
        QVERIFY2(tool->errors().contains(QStringLiteral("cannot write %1: ").arg(path(file)).toLocal8Bit()),
                 qPrintable(ctx(*tool)));
        const QByteArray contents = readAll(path(file));
        QVERIFY(contents.size() > 0 && quint64(contents.size()) <= limit);
        QVERIFY2(quint64(contents.size()) > limit - rlim_t(slack), qPrintable(QString::number(contents.size())));
        const Parsed out = parseOutput(contents, format);
        QVERIFY2(out.problem.isEmpty(), qPrintable(out.problem));
        QVERIFY(!out.keys.isEmpty());
        QCOMPARE(out.keys, loadStream(16, 5000, out.keys.size()));
    }
};

QTEST_MAIN(TestCandump)
#include "test_candump.moc"
