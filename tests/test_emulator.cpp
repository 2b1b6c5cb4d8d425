// The adapter emulator: its command parser, the device it serves, and the real
// window driven against it end to end: FMS panel, exclude filter, recording and
// replay of the dump.

#include "link/protocol.h"
#include "monitor/tablelogic.h"
#include "sim/emulator.h"
#include "sim/replaytraffic.h"
#include "tests/support/mainwindowprobe.h"
#include "tests/support/recording.h"
#include "tests/support/windowdriver.h"

#include <QtTest>
#include <QtWidgets>

#include <fcntl.h>
#include <map>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace WindowDriver;
using namespace sim;

namespace {

QByteArray hex(const char *text) { return QByteArray::fromHex(text); }
QByteArray config500() { return wire::buildConfigurationCommand(QStringLiteral("500 kbps"), false, 0, 0); }
QByteArray badConfig() { QByteArray b = config500(); b[19] = char(b[19] ^ 0x40); return b; }
QStringList idsOf(const AdapterCommand &c)
{
    QStringList out;
    for (quint32 id : c.ids)
        out << QString::number(id, 16);
    return out;
}

bool openPort(MainWindow &w, const QString &path)
{
    selectPort(w, path, QStringLiteral("emulated adapter"));
    chooseComRate(w, QStringLiteral("115200"));
    press(w, "pb_open");
    return child<QAbstractButton>(w, "pb_close")->isEnabled();
}

// The payload bytes of an identifier's row, trimmed ("<none>" while there is no row).
QStringList rowBytes(MainWindow &w, quint32 id, int count)
{
    QStringList out;
    const int row = MainWindowProbe::rowOfId(w).value(id, -1);
    for (int i = 0; i < count && row >= 0; ++i)
        out << child<QTableWidget>(w, "tv_messages")->item(row, tablelogic::FIRST_BYTE_COLUMN + i)->text().trimmed();
    return row < 0 ? QStringList{"<none>"} : out;
}

} // namespace

class TestEmulator : public QObject
{
    Q_OBJECT

private slots:
    void adapterFrames_data();
    void adapterFrames();
    void configurationParsing_data();
    void configurationParsing();
    void filterListParsing_data();
    void filterListParsing();
    void brokenCommandsMakeNone();
    void dumpReplayAcrossMidnight();
    void replayTiming_data();
    void replayTiming();
    void replayRefusals();
    void replayWaitsForRoomWithoutLoss();
    void windowEndToEnd();
};

void TestEmulator::adapterFrames_data()
{
    QTest::addColumn<quint32>("id");
    QTest::addColumn<bool>("standard");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("lengthByte");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("worked example") << 0x18FEF100u << false << hex("1122334455667788") << -1
                                    << hex("AA550002 0000F1FE18 08 1122334455667788 00 75");
    QTest::newRow("standard, no data") << 0x123u << true << QByteArray() << -1
                                       << hex("AA550001 00230100 00 00 0000000000000000 00 25");
    QTest::newRow("more than 8 bytes cut") << 0x101u << true << hex("010203040506070809") << -1
                                           << hex("AA550001 00010100 00 09 0102030405060708 00 30");
    QTest::newRow("length byte as given") << 0x7E0u << true << hex("01A2FF") << 0x80
                                          << hex("AA550001 00E00700 00 80 01A2FF0000000000 00 0A");
}

void TestEmulator::adapterFrames()
{
    QFETCH(quint32, id);
    QFETCH(bool, standard);
    QFETCH(QByteArray, data);
    QFETCH(int, lengthByte);
    QFETCH(QByteArray, expected);
    QCOMPARE(buildAdapterFrame(id, standard, data, lengthByte).toHex(' '), expected.toHex(' '));
}

void TestEmulator::configurationParsing_data()
{
    QTest::addColumn<QString>("rate");
    QTest::addColumn<int>("splitAt");
    QTest::newRow("250 kbps in one piece") << "250 kbps" << 0;
    QTest::newRow("83.333 kbps in two pieces") << "83.333 kbps" << 7;
    QTest::newRow("33.333 kbps split at the checksum") << "33.333 kbps" << 19;
}

void TestEmulator::configurationParsing()
{
    QFETCH(QString, rate);
    QFETCH(int, splitAt);
    // Garbage (no start, an unknown command byte) and a wrong checksum are ignored; a
    // valid configuration behind them counts, also when it comes in pieces.
    AdapterCommandParser parser;
    const QByteArray good = wire::buildConfigurationCommand(rate, true, 0x1234, 0x7FF);
    QCOMPARE(int(parser.feed(hex("00 13 AA 00 55 AA 55 7F 01 02") + badConfig() + good.left(splitAt)).size()), 0);
    const auto cmds = parser.feed(good.mid(splitAt));
    QCOMPARE(int(cmds.size()), 1);
    QCOMPARE(QString("%1 %2 %3 %4 %5").arg(cmds[0].kind).arg(cmds[0].canRateText()).arg(cmds[0].idKind)
                 .arg(cmds[0].filterId, 0, 16).arg(cmds[0].maskId, 0, 16), QString("0 %1 2 1234 7ff").arg(rate));
    QVERIFY(!parser.hasPending());
    QVERIFY(parser.ignoredBytes() >= 30);
}

void TestEmulator::filterListParsing_data()
{
    // Filter lists: off, the exclude example, identifier bytes 0x0D escaped (split in the
    // middle of an escape), and more than 255 entries (the count byte wraps, 256 gives 0).
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<int>("splitAt");
    QTest::addColumn<bool>("exclude");
    QTest::addColumn<QStringList>("ids");
    QStringList many;
    for (quint32 id = 0x18F00000; many.size() < 300; id += 0x101) // some bytes are 0x0D
        many << QString::number(id, 16);
    QTest::newRow("off") << hex("AA 55 10 00 10") << 0 << false << QStringList{};
    QTest::newRow("exclude one") << hex("AA 55 11 01 00 F1 FE 18 19") << 0 << true << QStringList{"18fef100"};
    QTest::newRow("escapes, split inside one")
        << wire::buildFilterListCommand(false, true, {"0d0d0d0d", "123", "18fef10d"}) << 9 << false
        << QStringList{"d0d0d0d", "123", "18fef10d"};
    const QStringList first256 = many.mid(0, 256);
    QTest::newRow("256 entries, count 0") << wire::buildFilterListCommand(true, true, first256) << 0 << true
                                          << first256;
    QTest::newRow("300 entries") << wire::buildFilterListCommand(true, true, many) << 0 << true << many;
}

void TestEmulator::filterListParsing()
{
    QFETCH(QByteArray, command);
    QFETCH(int, splitAt);
    AdapterCommandParser parser;
    QCOMPARE(int(parser.feed(command.left(splitAt)).size()), 0);
    const auto cmds = parser.feed(command.mid(splitAt));
    QCOMPARE(int(cmds.size()), 1);
    QCOMPARE(cmds[0].kind, AdapterCommand::FilterList);
    QTEST(cmds[0].exclude, "exclude");
    QTEST(idsOf(cmds[0]), "ids");
}

void TestEmulator::brokenCommandsMakeNone()
{
    // A wrong checksum or a broken escape makes no command; a configuration behind it does.
    AdapterCommandParser parser;
    auto cmds = parser.feed(hex("AA 55 10 01 00 01 00 00 13 AA 55 10 01 0D 0A 00 00 00 FF") + config500());
    QCOMPARE(int(cmds.size()), 1);
    QCOMPARE(cmds[0].kind, AdapterCommand::Configuration);
    QCOMPARE(int(parser.flush().size()), 0);
}

// Due times (ms) of everything a replay plays, at most `limit` frames.
QStringList playList(const QString &path, bool loop, double speed, double start, int limit = 20)
{
    QString error;
    auto replay = ReplayTraffic::open({path, loop, speed, start}, &error);
    if (!replay)
        return {error};
    QStringList out;
    while (replay->hasNext() && out.size() < limit) {
        const qint64 due = replay->nextDueNs();
        const EmulatedFrame f = replay->takeNext();
        out << QStringLiteral("%1 %2%3/%4").arg(due / 1000000).arg(f.id, 0, 16).arg(f.standard ? "" : "x").arg(f.length);
    }
    return out;
}

void TestEmulator::dumpReplayAcrossMidnight()
{
    // A dump to replay, across midnight: the due times keep counting; a broken identifier is skipped.
    QTemporaryDir dir;
    const QString path = writeFile(dir.filePath("dump_2026-12-07_23-59-59.csv"),
                                   "Timestamp;ID;Payload\n23:59:59.900;18FEF100;01 A2 FF \n"
                                   "00:00:00.010;XYZ;00 \n00:00:01.510;00000123;11 22 \r\n");
    QCOMPARE(playList(path, false, 1, 0), QStringList({"0 18fef100x/3", "1610 123x/2"}));
    const std::atomic<bool> never{false};
    const ReplayTraffic::Survey survey = ReplayTraffic::survey(path, never);
    QVERIFY(survey.complete);
    QCOMPARE(survey.frames, 2);
    QCOMPARE(survey.badLines, 1);
    QCOMPARE(survey.firstBadLine, 3);
}

void TestEmulator::replayTiming_data()
{
    QTest::addColumn<bool>("loop");
    QTest::addColumn<double>("speed");
    QTest::addColumn<double>("start");
    QTest::addColumn<QStringList>("played");
    QTest::newRow("as recorded") << false << 1.0 << 0.0 << QStringList{"0 100/1", "100 200/0", "100 300x/8", "1000 7ff/8"};
    QTest::newRow("twice as fast") << false << 2.0 << 0.0 << QStringList{"0 100/1", "50 200/0", "50 300x/8", "500 7ff/8"};
    QTest::newRow("a tenth") << false << 0.1 << 0.0 << QStringList{"0 100/1", "1000 200/0", "1000 300x/8", "10000 7ff/8"};
    QTest::newRow("first 0.05 s skipped") << false << 1.0 << 0.05 << QStringList{"50 200/0", "50 300x/8", "950 7ff/8"};
    QTest::newRow("looping") << true << 1.0 << 0.0
                             << QStringList{"0 100/1", "100 200/0", "100 300x/8", "1000 7ff/8", "1100 100/1",
                                            "1200 200/0", "1200 300x/8", "2100 7ff/8", "2200 100/1"};
}

void TestEmulator::replayTiming()
{
    QFETCH(bool, loop);
    QFETCH(double, speed);
    QFETCH(double, start);
    QFETCH(QStringList, played);
    // A clock that goes back keeps the order; remote requests and CAN FD frames are
    // left out.
    QTemporaryDir dir;
    const QString path = writeFile(dir.filePath("recording.log"),
                                   "(100.000000) can0 100#01\n(100.100000) can0 200#\n(100.050000) can0 300#R\n"
                                   "(100.090000) can0 00000300#0102030405060708\n(100.500000) can0 12345678##10102\n"
                                   "(101.000000) can0 7FF#1122334455667788\n");
    QCOMPARE(playList(path, loop, speed, start, played.size()), played);
}

void TestEmulator::replayRefusals()
{
    QTemporaryDir dir;
    QString error;
    QVERIFY(!ReplayTraffic::open({dir.filePath("missing.log")}, &error));
    QVERIFY2(error.startsWith("cannot read " + dir.filePath("missing.log")), qPrintable(error));
    QVERIFY(!ReplayTraffic::open({writeFile(dir.filePath("empty.csv"), "Timestamp;ID;Payload\n")}, &error));
    QVERIFY2(error.endsWith("empty.csv holds no frame"), qPrintable(error));
    QVERIFY(!ReplayTraffic::open({writeFile(dir.filePath("notes.txt"), "shopping list\n")}, &error));
    QVERIFY2(error.startsWith("cannot tell the format of"), qPrintable(error));
    QVERIFY(!ReplayTraffic::open({writeFile(dir.filePath("short.log"), "(1.0) can0 100#\n"), false, 1, 5}, &error));
    QVERIFY2(error.endsWith("has no frame after its first 5 s"), qPrintable(error));
    // The content tells the format when the name does not.
    QVERIFY(ReplayTraffic::open({writeFile(dir.filePath("candump.txt"), "(1.0) can0 100#\n")}, &error));
    // A FIFO (here with a log waiting in it and its writing end held open, so
    // that nothing blocks) gives its bytes once: refused, not read twice.
    const QByteArray fifo = QFile::encodeName(dir.filePath("fifo.log"));
    QVERIFY(::mkfifo(fifo.constData(), 0600) == 0);
    const int held = ::open(fifo.constData(), O_RDWR | O_NONBLOCK);
    QVERIFY(held >= 0 && ::write(held, "(1.0) can0 100#\n", 16) == 16);
    const auto closeHeld = qScopeGuard([held] { ::close(held); });
    QVERIFY(!ReplayTraffic::open({dir.filePath("fifo.log")}, &error));
    QVERIFY2(error.startsWith("cannot replay " + dir.filePath("fifo.log") + ": not a regular file"), qPrintable(error));
}

void TestEmulator::replayWaitsForRoomWithoutLoss()
{
    // 100 frames a few microseconds apart, looping at top speed, and nobody
    // reading at first: the replay pauses while the device is full (without
    // spinning), then goes on where it stopped, frame after frame.
    QTemporaryDir dir;
    QByteArray log;
    for (int i = 0; i < 100; ++i)
        log += QStringLiteral("(1.%1) can0 100#%2\n").arg(i * 10, 6, 10, QChar('0')).arg(i, 2, 16, QChar('0')).toLatin1();
    QString error;
    auto replay = ReplayTraffic::open({writeFile(dir.filePath("burst.log"), log), true, 100, 0}, &error);
    QVERIFY2(replay, qPrintable(error));
    AdapterEmulator emulator(std::move(replay));
    QVERIFY(emulator.start());
    const int fd = ::open(emulator.devicePath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    QVERIFY(fd >= 0);
    const QByteArray config = config500();
    QCOMPARE(::write(fd, config.constData(), size_t(config.size())), ssize_t(config.size()));
    // Full once the count stops moving.
    quint64 before = 0;
    QTRY_VERIFY_WITH_TIMEOUT([&] {
        const quint64 now = emulator.stats().framesSent;
        const bool still = now > 0 && now == before;
        before = now;
        return still;
    }(), 10000);
    const double cpuBefore = emulator.stats().cpuSeconds;
    QElapsedTimer idle;
    idle.start();
    QTRY_VERIFY(idle.elapsed() >= 500);
    // A spinning worker would use the whole half second; a waiting one next to nothing.
    QVERIFY2(emulator.stats().cpuSeconds - cpuBefore < 0.05,
             qPrintable(QString::number(emulator.stats().cpuSeconds - cpuBefore)));
    QCOMPARE(emulator.stats().framesDropped, quint64(0));

    // Read on: every frame in order, none missing.
    QByteArray buffer;
    int expected = 0, checked = 0;
    bool inOrder = true;
    QTRY_VERIFY_WITH_TIMEOUT([&] {
        char chunk[65536];
        ssize_t n;
        while ((n = ::read(fd, chunk, sizeof chunk)) > 0)
            buffer.append(chunk, int(n));
        wire::cutFrames(buffer, [&](const char *slice) {
            const int value = quint8(slice[wire::FRAME_DATA]);
            inOrder = inOrder && value == expected;
            expected = (value + 1) % 100;
            ++checked;
        });
        return checked >= 5000 || !inOrder;
    }(), 20000);
    ::close(fd);
    QVERIFY(inOrder);
    QCOMPARE(emulator.stats().framesDropped, quint64(0));
}

void TestEmulator::windowEndToEnd()
{
    AdapterEmulator truck;
    QVERIFY(truck.start());
    // Nothing is sent before a valid configuration: rubbish and a bad checksum change nothing.
    const int fd = ::open(truck.devicePath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    const QByteArray rubbish = hex("01 02 03 AA 55 42") + badConfig();
    QVERIFY(fd >= 0 && ::write(fd, rubbish.constData(), size_t(rubbish.size())) == rubbish.size());
    QTRY_VERIFY(truck.stats().ignoredBytes >= 26);
    pollfd readable{fd, POLLIN, 0};
    QCOMPARE(::poll(&readable, 1, 100), 0);
    QCOMPARE(truck.stats().framesSent, quint64(0));
    ::close(fd);

    MainWindow w;
    QVERIFY(openPort(w, truck.devicePath()));
    configure(w, QStringLiteral("250 kbps"));
    QTRY_COMPARE(truck.canRate(), QStringLiteral("250 kbps"));

    // The FMS panel takes plausible values at the first decoding tick.
    const struct { const char *label, *unit; double min, max; } values[] = {
        {"l_engineSpeedValue", " rpm", 500, 2500}, {"l_fuelLevelValue", " %", 0.1, 100},
        {"l_wheelBasedVehicleSpeedValue", " km/h", 0, 90}, {"l_engineTermperature1Value", " °C", 80, 95},
        {"l_totalVehicleDistanceValue", " km", 400000, 1e6}, {"l_serviceDistanceValue", " km", 1, 100000}};
    QTRY_VERIFY_WITH_TIMEOUT(child<QLabel>(w, "l_engineSpeedValue")->text().endsWith(" rpm"), 5000);
    for (const auto &v : values) {
        const QString text = child<QLabel>(w, v.label)->text(), unit = QString::fromUtf8(v.unit);
        bool ok = false;
        const double number = text.chopped(unit.size()).toDouble(&ok);
        QVERIFY2(ok && text.endsWith(unit) && number >= v.min && number <= v.max, qPrintable(text));
    }

    // Record a little over a second (the once-a-second groups included) in a scratch directory.
    QTemporaryDir scratch;
    const QString home = QDir::currentPath();
    QVERIFY(scratch.isValid() && QDir::setCurrent(scratch.path()));
    press(w, "pb_dumpFile");
    const quint64 sentAtStart = truck.stats().framesSent;
    QTRY_VERIFY_WITH_TIMEOUT(truck.stats().framesSent >= sentAtStart + 140, 5000);
    press(w, "pb_dumpFile");
    QVERIFY(QDir::setCurrent(home));
    const QFileInfoList dumps = QDir(scratch.path() + "/dumps").entryInfoList({"*.csv"}, QDir::Files);
    QCOMPARE(dumps.size(), 1);

    // Exclude the engine speed identifier: after the frames on their way, it stops.
    child<QCheckBox>(w, "cb_extID")->setChecked(true);
    child<QLineEdit>(w, "le_filterID2")->setText("0cf00400");
    press(w, "tb_add");
    child<QRadioButton>(w, "rb_exclude")->setChecked(true);
    press(w, "pb_enableFilters");
    QTRY_VERIFY(truck.filterState().enabled && truck.filterState().exclude);
    QCOMPARE(truck.filterState().ids, QVector<quint32>({0x0CF00400u}));
    const quint64 sentAtFilter = truck.stats().framesSent;
    QTRY_VERIFY(truck.stats().framesSent >= sentAtFilter + 25);
    press(w, "pb_clearTable");
    const quint64 sentAtClear = truck.stats().framesSent;
    QTRY_VERIFY(truck.stats().framesSent >= sentAtClear + 130 && MainWindowProbe::rowOfId(w).contains(0x18FEF100)
                && MainWindowProbe::rowOfId(w).contains(0x2A0));
    QVERIFY(!MainWindowProbe::rowOfId(w).contains(0x0CF00400));
    QVERIFY(truck.stats().framesFiltered > 0);
    press(w, "pb_close");

    // Replayed through a second emulator, the dump gives the same identifiers and,
    // per identifier, the payload of its last recorded line.
    std::map<quint32, QStringList> expected;
    for (const formats::CanFrame &f : readRecordingFile(dumps.first().filePath()).frames)
        expected[f.id] = QString::fromLatin1(f.data.toHex(' ').toUpper()).split(' ');
    QVERIFY(expected.size() >= 12 && expected.count(0x0CF00400));
    QString error;
    auto replay = ReplayTraffic::open({dumps.first().filePath()}, &error);
    QVERIFY(replay);
    AdapterEmulator player(std::move(replay));
    QVERIFY(player.start());
    QVERIFY(openPort(w, player.devicePath()));
    configure(w, QStringLiteral("500 kbps"));
    QTRY_VERIFY_WITH_TIMEOUT([&] {
        for (const auto &e : expected) {
            if (rowBytes(w, e.first, e.second.size()) != e.second)
                return false;
        }
        return MainWindowProbe::rowOfId(w).size() == int(expected.size());
    }(), 5000);
}

QTEST_MAIN(TestEmulator)
#include "test_emulator.moc"
