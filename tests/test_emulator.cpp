// The adapter emulator: its command parser, its traffic sources, the device it
// serves (raw descriptor on the slave side), and the real window driven against
// it end to end: FMS panel, exclude filter, recording and replay of the dump.

#include "emulator.h"
#include "extraports.h"
#include "fmsdecoder.h"
#include "mainwindowprobe.h"
#include "protocol.h"
#include "tablelogic.h"
#include "trafficprofile.h"
#include "windowdriver.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <map>
#include <set>

using namespace WindowDriver;

namespace {

QByteArray bytes(const char *hexText)
{
    return QByteArray::fromHex(hexText);
}

QByteArray config500()
{
    return wire::buildConfigurationCommand(QStringLiteral("500 kbps"), false, 0, 0);
}

QString payloadTextOf(const EmulatedFrame &f)
{
    QString text;
    for (int i = 0; i < f.length; ++i)
        text += QString::asprintf("%02X ", unsigned(f.data[size_t(i)]));
    return text;
}

// Number in front of the unit of an FMS label text ("1234.5 rpm" -> 1234.5).
double labelNumber(const QString &text, const QString &unit, bool *ok)
{
    *ok = text.endsWith(unit);
    if (!*ok)
        return 0;
    return text.left(text.size() - unit.size()).trimmed().toDouble(ok);
}

// The slave side of the emulator's device, read like the program's reader does.
class SlaveReader
{
public:
    explicit SlaveReader(const QString &path)
    {
        fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    }
    ~SlaveReader() { close(); }
    void close()
    {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
    bool isOpen() const { return fd >= 0; }
    bool write(const QByteArray &data)
    {
        return ::write(fd, data.constData(), size_t(data.size())) == data.size();
    }
    // Reads what is there (waiting up to waitMs for the first byte) and returns the
    // valid frames cut from it; invalid slices are counted.
    QVector<wire::CanMessage> read(int waitMs)
    {
        QVector<wire::CanMessage> out;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, waitMs) <= 0)
            return out;
        char chunk[65536];
        for (;;) {
            const ssize_t n = ::read(fd, chunk, sizeof chunk);
            if (n <= 0)
                break;
            buffer.append(chunk, int(n));
        }
        wire::cutFrames(buffer, [&](const char *slice) {
            if (wire::isValidFrame(slice))
                out.append(wire::parseFrame(slice, QString()));
            else
                ++invalid;
        });
        return out;
    }
    int invalid = 0;

private:
    int fd = -1;
    QByteArray buffer;
};

QTableWidgetItem *cell(MainWindow &w, quint32 id, int col)
{
    auto &rows = MainWindowProbe::rowOfId(w);
    if (!rows.contains(id))
        return nullptr;
    return child<QTableWidget>(w, "tv_messages")->item(rows.value(id), col);
}

// The data fields of an identifier's row, trimmed, as many as expected has.
QStringList rowBytes(MainWindow &w, quint32 id, int count)
{
    QStringList out;
    for (int i = 0; i < count; ++i) {
        QTableWidgetItem *item = cell(w, id, tablelogic::firstByteColumn + i);
        out << (item ? item->text().trimmed() : QStringLiteral("<none>"));
    }
    return out;
}

} // namespace

class TestEmulator : public QObject
{
    Q_OBJECT

private slots:
    void commandParser();
    void filterListParsing();
    void replayParsing();
    void trafficSources();
    void deviceServing();
    void windowEndToEnd();
};

void TestEmulator::commandParser()
{
    AdapterCommandParser parser;

    // Valid configuration, fields read back.
    QByteArray cfg = wire::buildConfigurationCommand(QStringLiteral("250 kbps"), true, 0x1234,
                                                     0x7FF);
    auto cmds = parser.feed(cfg);
    QCOMPARE(int(cmds.size()), 1);
    QCOMPARE(cmds[0].kind, AdapterCommand::Configuration);
    QCOMPARE(cmds[0].canRateText(), QStringLiteral("250 kbps"));
    QCOMPARE(int(cmds[0].idKind), 2);
    QCOMPARE(cmds[0].filterId, 0x1234u);
    QCOMPARE(cmds[0].maskId, 0x7FFu);
    QVERIFY(!parser.hasPending());

    // The explicit-timing rates are told apart by byte 16.
    cmds = parser.feed(wire::buildConfigurationCommand(QStringLiteral("83.333 kbps"), false, 0, 0));
    QCOMPARE(int(cmds.size()), 1);
    QCOMPARE(cmds[0].canRateText(), QStringLiteral("83.333 kbps"));

    // A wrong checksum is ignored; a valid command right behind it still counts.
    QByteArray bad = config500();
    bad[19] = char(bad[19] + 1);
    const quint64 ignoredBefore = parser.ignoredBytes();
    cmds = parser.feed(bad + config500());
    QCOMPARE(int(cmds.size()), 1);
    QCOMPARE(cmds[0].canRateText(), QStringLiteral("500 kbps"));
    QVERIFY(parser.ignoredBytes() >= ignoredBefore + 20);

    // Garbage: no start, an unknown command byte, a lone AA 55; then a command
    // split over three feeds.
    cmds = parser.feed(bytes("00 13 AA 00 55 AA 55 7F 01 02 AA 55"));
    QCOMPARE(int(cmds.size()), 0);
    const QByteArray good = config500();
    QCOMPARE(int(parser.feed(good.left(7)).size()), 0);
    QCOMPARE(int(parser.feed(good.mid(7, 5)).size()), 0);
    cmds = parser.feed(good.mid(12));
    QCOMPARE(int(cmds.size()), 1);
    QCOMPARE(cmds[0].kind, AdapterCommand::Configuration);
    QVERIFY(!parser.hasPending());

    // A start byte at the very end is kept for the next feed.
    QCOMPARE(int(parser.feed(QByteArray(1, char(0xAA))).size()), 0);
    QVERIFY(parser.hasPending());
    cmds = parser.feed(good.mid(1));
    QCOMPARE(int(cmds.size()), 1);

    // An unfinished configuration is dropped by flush.
    parser.feed(good.left(10));
    QVERIFY(parser.hasPending());
    QCOMPARE(int(parser.flush().size()), 0);
    QVERIFY(!parser.hasPending());
}

void TestEmulator::filterListParsing()
{
    AdapterCommandParser parser;

    // Switched off: no identifiers.
    auto cmds = parser.feed(bytes("AA 55 10 00 10"));
    QCOMPARE(int(cmds.size()), 1);
    QCOMPARE(cmds[0].kind, AdapterCommand::FilterList);
    QVERIFY(cmds[0].ids.isEmpty());
    QVERIFY(!cmds[0].exclude);

    // The worked example: exclude one identifier.
    cmds = parser.feed(bytes("AA 55 11 01 00 F1 FE 18 19"));
    QCOMPARE(int(cmds.size()), 1);
    QVERIFY(cmds[0].exclude);
    QCOMPARE(cmds[0].ids, QVector<quint32>({0x18FEF100u}));

    // Identifier bytes 0x0D travel escaped; two of them in one identifier, and a
    // command split in the middle of an escape.
    const QStringList entries = {QStringLiteral("0d0d0d0d"), QStringLiteral("123"),
                                 QStringLiteral("18fef10d")};
    const QByteArray escaped = wire::buildFilterListCommand(false, true, entries);
    QCOMPARE(escaped.size(), 4 + 12 + 5 * 9 + 1);
    cmds = parser.feed(escaped.left(9));
    QCOMPARE(int(cmds.size()), 0);
    QVERIFY(parser.hasPending());
    cmds = parser.feed(escaped.mid(9));
    QCOMPARE(int(cmds.size()), 1);
    QCOMPARE(cmds[0].ids, QVector<quint32>({0x0D0D0D0Du, 0x123u, 0x18FEF10Du}));
    QVERIFY(!parser.hasPending());

    // More than 255 entries: the count byte wraps, the length tells the truth.
    for (int total : {256, 300, 513}) {
        QStringList many;
        QVector<quint32> expected;
        for (int i = 0; i < total; ++i) {
            const quint32 id = 0x18F00000u + quint32(i) * 0x101u; // some bytes are 0x0D
            many << QString::number(id, 16);
            expected << id;
        }
        const QByteArray command = wire::buildFilterListCommand(true, true, many);
        QCOMPARE(quint8(command.at(3)), quint8(total & 0xFF));
        cmds = parser.feed(command);
        QCOMPARE(int(cmds.size()), 1);
        QCOMPARE(cmds[0].ids.size(), total);
        QCOMPARE(cmds[0].ids, expected);
        QVERIFY(cmds[0].exclude);
    }

    // Filter list and configuration in one write.
    cmds = parser.feed(wire::buildFilterListCommand(true, true, {QStringLiteral("7df")})
                       + config500());
    QCOMPARE(int(cmds.size()), 2);
    QCOMPARE(cmds[0].kind, AdapterCommand::FilterList);
    QCOMPARE(cmds[0].ids, QVector<quint32>({0x7DFu}));
    QCOMPARE(cmds[1].kind, AdapterCommand::Configuration);

    // Trailing bytes that could be more identifiers: held until flush.
    cmds = parser.feed(wire::buildFilterListCommand(false, true, {QStringLiteral("100")})
                       + bytes("01 02"));
    QCOMPARE(int(cmds.size()), 0);
    cmds = parser.flush();
    QCOMPARE(int(cmds.size()), 1);
    QCOMPARE(cmds[0].ids, QVector<quint32>({0x100u}));

    // A wrong checksum or a broken escape is no command.
    QByteArray bad = wire::buildFilterListCommand(false, true, {QStringLiteral("100")});
    bad[bad.size() - 1] = char(bad.at(bad.size() - 1) + 1);
    cmds = parser.feed(bad);
    const auto flushed = parser.flush();
    QCOMPARE(int(cmds.size() + flushed.size()), 0);
    cmds = parser.feed(bytes("AA 55 10 01 0D 0A 00 00 00 FF") + config500());
    QCOMPARE(int(cmds.size()), 1);
    QCOMPARE(cmds[0].kind, AdapterCommand::Configuration);
}

void TestEmulator::replayParsing()
{
    // A dump as the program writes it, across midnight, standard and extended,
    // an empty payload, a line with a broken identifier and one with CR LF.
    const QByteArray text = "Timestamp;ID;Payload\n"
                            "23:59:59.900;18FEF100;01 A2 FF \n"
                            "23:59:59.950;123;\n"
                            "00:00:00.010;7DF;02 01 0C 55 55 55 55 55 \r\n"
                            "00:00:00.010;XYZ;00 \n"
                            "00:00:01.510;00000123;11 22 33 44 55 66 77 88 99 \n";
    int skipped = -1;
    const auto entries = ReplayTraffic::parse(text, &skipped);
    QCOMPARE(skipped, 1);
    QCOMPARE(entries.size(), 4);
    const qint64 ms = 1000000;
    QCOMPARE(entries[0].dueNs, 0 * ms);
    QCOMPARE(entries[1].dueNs, 50 * ms);
    QCOMPARE(entries[2].dueNs, 110 * ms); // midnight passed
    QCOMPARE(entries[3].dueNs, 1610 * ms);
    QCOMPARE(entries[0].frame.id, 0x18FEF100u);
    QVERIFY(!entries[0].frame.standard);
    QCOMPARE(payloadTextOf(entries[0].frame), QStringLiteral("01 A2 FF "));
    QCOMPARE(entries[1].frame.id, 0x123u);
    QVERIFY(entries[1].frame.standard);
    QCOMPARE(int(entries[1].frame.length), 0);
    QVERIFY(entries[2].frame.standard);
    QCOMPARE(entries[3].frame.id, 0x123u);
    QVERIFY(!entries[3].frame.standard); // eight digits: extended
    QCOMPARE(int(entries[3].frame.length), 8); // an adapter frame holds eight bytes

    // Played once, or looped with the rounds one after another.
    ReplayTraffic once(entries, false);
    int n = 0;
    while (once.hasNext()) {
        once.takeNext();
        ++n;
    }
    QCOMPARE(n, 4);
    once.restart();
    QVERIFY(once.hasNext());
    ReplayTraffic looped(entries, true);
    qint64 lastDue = -1;
    for (int i = 0; i < 9; ++i) {
        QVERIFY(looped.nextDueNs() >= lastDue);
        lastDue = looped.nextDueNs();
        looped.takeNext();
    }
    QVERIFY(looped.hasNext());
    QVERIFY(lastDue > 2 * 1610 * ms);

    QVERIFY(ReplayTraffic::fromFile(QStringLiteral("/nonexistent/dump.csv"), false) == nullptr);
}

void TestEmulator::trafficSources()
{
    // Truck: run four minutes of vehicle time (more than one driving cycle) and
    // decode every FMS group the way the panel does.
    TruckTraffic truck;
    truck.restart();
    std::map<quint32, int> countFirst10s;
    std::set<quint32> pgns;
    double minRpm = 1e9, maxRpm = 0, minSpeed = 1e9, maxSpeed = 0;
    double lastDistance = 0, lastFuel = 1000, lastHours = 0, lastService = 1e9;
    bool distanceMonotonic = true, fuelFalls = true, hoursMonotonic = true, serviceFalls = true;
    double minCoolant = 1e9, maxCoolant = -1e9;
    qint64 lastDue = 0;
    bool zeroFrame = false, emptyFrame = false;
    while (truck.nextDueNs() < 240LL * 1000000000LL) {
        const qint64 due = truck.nextDueNs();
        QVERIFY(due >= lastDue);
        lastDue = due;
        const EmulatedFrame f = truck.takeNext();
        if (due < 10LL * 1000000000LL)
            ++countFirst10s[f.id];
        if (f.standard) {
            QVERIFY(f.id <= 0x7FF);
            QVERIFY(!fms::isCandidate(f.id));
            zeroFrame |= f.length == 8 && f.payload() == QByteArray(8, '\0');
            emptyFrame |= f.length == 0;
            continue;
        }
        if (!fms::isCandidate(f.id))
            continue;
        const quint32 pgn = fms::pgnOf(f.id);
        pgns.insert(pgn);
        const auto values = fms::decode(pgn, fms::byteTexts(payloadTextOf(f)));
        for (const fms::DecodedValue &v : values) {
            bool ok = false;
            switch (v.parameter) {
            case fms::Parameter::EngineSpeed: {
                const double rpm = labelNumber(v.text, QStringLiteral(" rpm"), &ok);
                minRpm = std::min(minRpm, rpm);
                maxRpm = std::max(maxRpm, rpm);
                break;
            }
            case fms::Parameter::WheelBasedVehicleSpeed: {
                const double kmh = labelNumber(v.text, QStringLiteral(" km/h"), &ok);
                minSpeed = std::min(minSpeed, kmh);
                maxSpeed = std::max(maxSpeed, kmh);
                break;
            }
            case fms::Parameter::TotalVehicleDistance: {
                const double km = labelNumber(v.text, QStringLiteral(" km"), &ok);
                distanceMonotonic &= km >= lastDistance;
                lastDistance = km;
                break;
            }
            case fms::Parameter::FuelLevel: {
                const double level = labelNumber(v.text, QStringLiteral(" %"), &ok);
                fuelFalls &= level <= lastFuel && level > 0 && level <= 100;
                lastFuel = level;
                break;
            }
            case fms::Parameter::TotalEngineHours: {
                const double h = labelNumber(v.text, QStringLiteral(" h"), &ok);
                hoursMonotonic &= h >= lastHours;
                lastHours = h;
                break;
            }
            case fms::Parameter::ServiceDistance: {
                const double km = labelNumber(v.text, QStringLiteral(" km"), &ok);
                serviceFalls &= km <= lastService && km > 0;
                lastService = km;
                break;
            }
            case fms::Parameter::EngineCoolantTemperature: {
                const double c = labelNumber(v.text, QStringLiteral(" °C"), &ok);
                minCoolant = std::min(minCoolant, c);
                maxCoolant = std::max(maxCoolant, c);
                break;
            }
            default:
                ok = true;
                break;
            }
            QVERIFY2(ok, qPrintable(v.text));
        }
    }
    QCOMPARE(int(pgns.size()), 9);
    QCOMPARE(countFirst10s[0x0CF00400u], 500); // every 20 ms
    QCOMPARE(countFirst10s[0x18FEF100u], 100); // every 100 ms
    QCOMPARE(countFirst10s[0x18FEFC17u], 10);  // every second
    QCOMPARE(countFirst10s[0x18FEC017u], 2);   // every 5 s
    QVERIFY(minRpm >= 600 && maxRpm <= 1800 && maxRpm > 1500);
    QVERIFY(minSpeed == 0 && maxSpeed > 80 && maxSpeed <= 85.5);
    QVERIFY(distanceMonotonic && lastDistance > 412345.0);
    QVERIFY(fuelFalls && lastFuel < 75.0);
    QVERIFY(hoursMonotonic && lastHours > 12345.0);
    QVERIFY(serviceFalls);
    QVERIFY(minCoolant >= 85 && maxCoolant <= 92);
    QVERIFY(zeroFrame && emptyFrame);

    // Load: every identifier once per round, distinct, evenly spaced.
    LoadTraffic load(300, 10000);
    std::set<std::pair<quint32, bool>> ids;
    for (int i = 0; i < 300; ++i) {
        QCOMPARE(load.nextDueNs(), qint64(i) * 100000);
        const EmulatedFrame f = load.takeNext();
        ids.insert({f.id, f.standard});
        QVERIFY(!f.standard || f.id <= 0x7FF);
        QCOMPARE(int(f.length), 8);
    }
    QCOMPARE(int(ids.size()), 300);
    const EmulatedFrame again = load.takeNext();
    QCOMPARE(again.id, LoadTraffic::slotFrame(0).id);
    QCOMPARE(int(again.data[0]), 1); // second round
    load.restart();
    QCOMPARE(load.nextDueNs(), qint64(0));
}

void TestEmulator::deviceServing()
{
    AdapterEmulator emulator(std::make_unique<LoadTraffic>(10, 10000));
    QVERIFY(emulator.start());
    SlaveReader reader(emulator.devicePath());
    QVERIFY(reader.isOpen());

    // Nothing is sent before a valid configuration; rubbish and a configuration
    // with a bad checksum change nothing.
    QByteArray bad = config500();
    bad[19] = char(bad[19] ^ 0x40);
    QVERIFY(reader.write(bytes("01 02 03 AA 55 42") + bad));
    QTRY_VERIFY(emulator.stats().ignoredBytes >= 26);
    QVERIFY(reader.read(100).isEmpty());
    QCOMPARE(emulator.stats().framesSent, quint64(0));

    QVERIFY(reader.write(config500()));
    QTRY_COMPARE(emulator.canRate(), QStringLiteral("500 kbps"));
    std::set<quint32> seen;
    QTRY_VERIFY([&] {
        for (const auto &m : reader.read(20))
            seen.insert(m.id);
        return seen.size() == 10;
    }());

    // Exclude two identifiers: after the frames already on the way, they never come.
    const quint32 gone1 = LoadTraffic::slotFrame(0).id, gone2 = LoadTraffic::slotFrame(3).id;
    QVERIFY(reader.write(wire::buildFilterListCommand(
        true, true, {QString::number(gone1, 16), QString::number(gone2, 16)})));
    QTRY_VERIFY(emulator.filterState().enabled);
    int settle = 0;
    QTRY_VERIFY((settle += reader.read(20).size()) >= 500);
    std::map<quint32, int> counts;
    int total = 0;
    QTRY_VERIFY([&] {
        for (const auto &m : reader.read(20))
            ++counts[m.id];
        total = 0;
        for (const auto &c : counts)
            total += c.second;
        return total >= 2000;
    }());
    QCOMPARE(counts.count(gone1), size_t(0));
    QCOMPARE(counts.count(gone2), size_t(0));
    QCOMPARE(int(counts.size()), 8);
    QVERIFY(emulator.stats().framesFiltered > 0);

    // The program closes the port: nobody reads, the device fills up and frames
    // are dropped, nothing blocks.
    reader.close();
    QTRY_VERIFY_WITH_TIMEOUT(emulator.stats().framesDropped > 1000, 5000);

    // A new open and configuration: the stale frames are gone, the traffic starts
    // over (round 0 of the first identifier first), every slice is a valid frame.
    SlaveReader again(emulator.devicePath());
    QVERIFY(again.isOpen());
    QVERIFY(again.write(bytes("AA 55 10 00 10") + config500())); // filter off, restart
    QTRY_COMPARE(emulator.stats().configurations, quint64(2));
    QVector<wire::CanMessage> fresh;
    QTRY_VERIFY((fresh += again.read(20)).size() >= 1000);
    QCOMPARE(fresh.first().id, LoadTraffic::slotFrame(0).id);
    QCOMPARE(fresh.first().record.at(2).left(12), QStringLiteral("00 00 00 00 "));
    QCOMPARE(again.invalid, 0);
    std::set<quint32> all;
    for (const auto &m : fresh)
        all.insert(m.id);
    QCOMPARE(int(all.size()), 10);

    emulator.stop();
    QVERIFY(!emulator.isRunning());
    QVERIFY(emulator.stats().cpuSeconds > 0);
}

void TestEmulator::windowEndToEnd()
{
    AdapterEmulator truck;
    QVERIFY(truck.start());
    registerExtraPort(truck.devicePath(), QStringLiteral("demo adapter"));

    MainWindow window;
    auto *ports = child<QComboBox>(window, "cb_selectSerial");
    const int entry = ports->findText(truck.devicePath() + QStringLiteral(" (demo adapter)"));
    QVERIFY(entry >= 0);
    QCOMPARE(entry, ports->count() - 1); // after the real ports
    ports->setCurrentIndex(entry);
    QVERIFY(chooseComRate(window, QStringLiteral("115200")));
    press(window, "pb_open");
    QVERIFY(child<QAbstractButton>(window, "pb_close")->isEnabled());
    configure(window, QStringLiteral("250 kbps"));
    QTRY_COMPARE(truck.canRate(), QStringLiteral("250 kbps"));

    // The FMS panel takes plausible values at the first decoding tick.
    auto labelText = [&](const char *name) { return child<QLabel>(window, name)->text(); };
    QTRY_VERIFY_WITH_TIMEOUT(labelText("l_engineSpeedValue").endsWith(QStringLiteral(" rpm")), 5000);
    bool ok = false;
    const double rpm = labelNumber(labelText("l_engineSpeedValue"), QStringLiteral(" rpm"), &ok);
    QVERIFY(ok && rpm >= 500 && rpm <= 2500);
    const double fuel = labelNumber(labelText("l_fuelLevelValue"), QStringLiteral(" %"), &ok);
    QVERIFY(ok && fuel > 0 && fuel <= 100);
    const double speed =
        labelNumber(labelText("l_wheelBasedVehicleSpeedValue"), QStringLiteral(" km/h"), &ok);
    QVERIFY(ok && speed >= 0 && speed <= 90);
    const double coolant =
        labelNumber(labelText("l_engineTermperature1Value"), QStringLiteral(" °C"), &ok);
    QVERIFY(ok && coolant >= 80 && coolant <= 95);
    const double km =
        labelNumber(labelText("l_totalVehicleDistanceValue"), QStringLiteral(" km"), &ok);
    QVERIFY(ok && km > 400000);
    const double service =
        labelNumber(labelText("l_serviceDistanceValue"), QStringLiteral(" km"), &ok);
    QVERIFY(ok && service > 0 && service < 100000);
    QTRY_VERIFY(cell(window, 0x7DF, 1) && cell(window, 0x3F0, 9) && cell(window, 0x0CF00400, 9));

    // Record a short dump in a scratch directory.
    QTemporaryDir scratch;
    QVERIFY(scratch.isValid());
    const QString home = QDir::currentPath();
    QVERIFY(QDir::setCurrent(scratch.path()));
    auto *record = child<QAbstractButton>(window, "pb_dumpFile");
    record->click();
    QCOMPARE(record->text(), QStringLiteral("STOP RECORDING"));
    const quint64 sentAtStart = truck.stats().framesSent;
    // A little over a second, so that the once-a-second groups are in the dump.
    QTRY_VERIFY_WITH_TIMEOUT(truck.stats().framesSent >= sentAtStart + 140, 5000);
    record->click();
    QVERIFY(QDir::setCurrent(home));
    const QStringList dumps = QDir(scratch.path() + QStringLiteral("/dumps"))
                                  .entryList({QStringLiteral("*.csv")}, QDir::Files);
    QCOMPARE(dumps.size(), 1);
    const QString dumpPath = scratch.path() + QStringLiteral("/dumps/") + dumps.first();

    // Exclude the engine speed identifier (extended width, the box is hidden).
    child<QCheckBox>(window, "cb_extID")->setChecked(true);
    child<QLineEdit>(window, "le_filterID2")->setText(QStringLiteral("0cf00400"));
    press(window, "tb_add");
    QCOMPARE(child<QListWidget>(window, "lv_filters")->count(), 1);
    child<QRadioButton>(window, "rb_exclude")->setChecked(true);
    press(window, "pb_enableFilters");
    QCOMPARE(child<QAbstractButton>(window, "pb_enableFilters")->text(), QStringLiteral("DISABLE"));
    QTRY_VERIFY(truck.filterState().enabled);
    QVERIFY(truck.filterState().exclude);
    QCOMPARE(truck.filterState().ids, QVector<quint32>({0x0CF00400u}));
    // Let the frames already on their way arrive, then start the table afresh.
    const quint64 sentAtFilter = truck.stats().framesSent;
    QTRY_VERIFY(truck.stats().framesSent >= sentAtFilter + 25);
    press(window, "pb_clearTable");
    QVERIFY(!MainWindowProbe::rowOfId(window).contains(0x0CF00400));
    QElapsedTimer watch;
    watch.start();
    while (watch.elapsed() < 1000) {
        QTest::qWait(50);
        QVERIFY2(!MainWindowProbe::rowOfId(window).contains(0x0CF00400),
                 "the excluded identifier arrived");
    }
    QVERIFY(MainWindowProbe::rowOfId(window).contains(0x18FEF100));
    QVERIFY(MainWindowProbe::rowOfId(window).contains(0x2A0));
    QVERIFY(truck.stats().framesFiltered > 0);

    // Replay the dump through a second emulator: the table ends with the same
    // identifiers and, per identifier, the payload of its last recorded line.
    QFile dumpFile(dumpPath);
    QVERIFY(dumpFile.open(QIODevice::ReadOnly));
    const QByteArray dumpText = dumpFile.readAll();
    QVERIFY(dumpText.startsWith("Timestamp;ID;Payload\n"));
    std::map<quint32, QStringList> expected;
    for (const QByteArray &line : dumpText.split('\n').mid(1)) {
        const QList<QByteArray> fields = line.split(';');
        if (fields.size() != 3)
            continue;
        expected[fields[1].toUInt(nullptr, 16)] =
            QString::fromLatin1(fields[2]).trimmed().split(QLatin1Char(' '));
    }
    QVERIFY(expected.size() >= 12);
    QVERIFY(expected.count(0x0CF00400));

    press(window, "pb_close");
    QString error;
    auto replay = ReplayTraffic::fromFile(dumpPath, false, &error);
    QVERIFY2(replay, qPrintable(error));
    AdapterEmulator player(std::move(replay));
    QVERIFY(player.start());
    selectPort(window, player.devicePath(), QStringLiteral("replay"));
    press(window, "pb_open");
    QVERIFY(child<QAbstractButton>(window, "pb_close")->isEnabled());
    configure(window, QStringLiteral("500 kbps"));
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            if (MainWindowProbe::rowOfId(window).size() != int(expected.size()))
                return false;
            for (const auto &e : expected) {
                if (rowBytes(window, e.first, e.second.size()) != e.second)
                    return false;
            }
            return true;
        }(),
        5000);
    const QString idText = cell(window, 0x0CF00400, 1)->text().trimmed();
    QCOMPARE(idText, QStringLiteral("0CF00400"));
    QCOMPARE(cell(window, 0x7DF, 1)->text().trimmed(), QStringLiteral("7DF"));

    press(window, "pb_close");
    unregisterExtraPort(truck.devicePath());
}

QTEST_MAIN(TestEmulator)
#include "test_emulator.moc"
