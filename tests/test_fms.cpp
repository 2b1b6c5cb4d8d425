// FMS panel: the pure decoder (worked examples in two locales, short and
// malformed messages, J1939 "not available", "error" and reserved values with
// and without leaving them out, candidates) and the window path from the live store
// through the table refresh and the 2 s decoding tick into the value labels,
// up to a real truck's log replayed with valid values only.

#include "fms/fmsdecoder.h"
#include "sim/emulator.h"
#include "sim/replaytraffic.h"
#include "tests/support/fakeadapter.h"
#include "tests/support/recording.h"
#include "tests/support/tablewindow.h"
#include "tests/support/windowdriver.h"

#include <QtTest>
#include <QtWidgets>

using fms::Parameter;

namespace {

// The text decode() gives for one parameter of a message.
QString textFor(quint32 pgn, const char *payload, Parameter parameter, fms::Range range = fms::Range::All)
{
    for (const fms::DecodedValue &value : fms::decode(pgn, fms::byteTexts(QString::fromLatin1(payload)), range))
        if (value.parameter == parameter)
            return value.text;
    return QStringLiteral("<left out>");
}

QString label(MainWindow &w, Parameter p) { auto *l = w.findChild<QLabel *>(fms::valueLabelName(p)); return l ? l->text() : "<no label>"; }

// Every value label in panel order.
QString labels(MainWindow &w)
{
    QStringList texts;
    for (int p = int(Parameter::FuelLevel); p <= int(Parameter::WheelBasedVehicleSpeed); ++p)
        texts << label(w, Parameter(p));
    return texts.join(" | ");
}

void store(MainWindow &w, quint32 id, const char *payload)
{
    MainWindowProbe::serial(w).storeMessage(id, {"12:00:00.000", idText(id), QString::fromLatin1(payload)});
}
void refresh(MainWindow &w) { QVERIFY(QMetaObject::invokeMethod(&w, "updateTable")); }
void tick(MainWindow &w) { QVERIFY(QMetaObject::invokeMethod(&w, "updateFMSValues")); }

} // namespace

class TestFms : public QObject
{
    Q_OBJECT

private slots:
    void decoder_data();
    void decoder();
    void candidates();
    void handOverThroughTheWindow();
    void adapterFramesReachThePanel();
    void validOnlyKeepsTheLowerSender_data();
    void validOnlyKeepsTheLowerSender();
    void realTruckWithValidOnly();
};

void TestFms::decoder_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<quint32>("pgn");
    QTest::addColumn<QString>("payload");
    QTest::addColumn<int>("parameter");
    QTest::addColumn<QString>("text"); // without leaving anything out
    QTest::addColumn<bool>("valid");   // still shown with valid values only
    const struct { quint32 pgn; const char *payload; Parameter parameter; const char *text; bool valid; } cases[] = {
        {0xFEFC, "FF 7D FF FF ", Parameter::FuelLevel, "50 %", true},
        {0xFEFC, "FF FA ", Parameter::FuelLevel, "100 %", true}, // the largest valid value
        {0xFEFC, "00 FB ", Parameter::FuelLevel, "100.4 %", false}, // reserved
        {0xFEFC, "00 FE ", Parameter::FuelLevel, "101.6 %", false}, // error
        {0xFEFC, "00 FF ", Parameter::FuelLevel, "102 %", false},   // not available
        {0xF004, "00 00 00 40 1F ", Parameter::EngineSpeed, "1000 rpm", true},
        {0xF004, "00 00 00 FF FF ", Parameter::EngineSpeed, "8191.88 rpm", false},
        {0xF004, "00 00 00 00 FE ", Parameter::EngineSpeed, "8128 rpm", false},
        {0xFEEE, "00 ", Parameter::EngineCoolantTemperature, "-40 \u00B0C", true},
        {0xFEEE, "28 FF ", Parameter::EngineCoolantTemperature, "0 \u00B0C", true},
        {0xFEEE, "ZZ ", Parameter::EngineCoolantTemperature, "-40 \u00B0C", true}, // not hexadecimal: 0
        {0xFEEE, "128 ", Parameter::EngineCoolantTemperature, "0 \u00B0C", true},  // low 8 bits only
        {0xFEEE, "FF ", Parameter::EngineCoolantTemperature, "215 \u00B0C", false},
        {0xFEEE, "FE ", Parameter::EngineCoolantTemperature, "214 \u00B0C", false},
        {0xFEC0, "FF 00 00 ", Parameter::ServiceDistance, "-160635 km", true},
        {0xFEC0, "FF 7F 7D ", Parameter::ServiceDistance, "0 km", true},
        {0xFEC0, "FF FF FF ", Parameter::ServiceDistance, "167040 km", false},
        {0xFEC0, "00 00 FE ", Parameter::ServiceDistance, "164485 km", false},
        {0xFEE5, "FF FF FF FA ", Parameter::TotalEngineHours, "2.10554e+08 h", true},
        {0xFEE5, "00 00 00 FE ", Parameter::TotalEngineHours, "2.13071e+08 h", false},
        {0xFEE5, "FF FF FF FF ", Parameter::TotalEngineHours, "2.14748e+08 h", false},
        {0xFEC1, "01 00 00 00 ", Parameter::TotalVehicleDistance, "0.005 km", true},
        {0xFEC1, "00 C2 EB 0B ", Parameter::TotalVehicleDistance, "1000000.000 km", true},
        {0xFEC1, "00 00 00 FE ", Parameter::TotalVehicleDistance, "21307064.000 km", false},
        {0xFEC1, "FF FF FF FF ", Parameter::TotalVehicleDistance, "21474836.000 km", false}, // single precision
        {0xFEF5, "00 00 00 20 22 ", Parameter::AmbientAirTemperature, "0 \u00B0C", true},
        {0xFEF5, "00 00 00 20 21 ", Parameter::AmbientAirTemperature, "-8 \u00B0C", true},
        {0xFEF5, "00 00 00 FF FF ", Parameter::AmbientAirTemperature, "1774.97 \u00B0C", false},
        {0xFEF5, "00 00 00 00 FE ", Parameter::AmbientAirTemperature, "1759 \u00B0C", false},
        {0xFEF5, "00 00 00 00 00 FF ", Parameter::AirInletTemperature, "215 \u00B0C", false},
        {0xFEF5, "00 00 00 00 00 FE ", Parameter::AirInletTemperature, "214 \u00B0C", false},
        {0xFEF1, "00 80 64 ", Parameter::WheelBasedVehicleSpeed, "100.500 km/h", true},
        {0xFEF1, "00 FF FF ", Parameter::WheelBasedVehicleSpeed, "255.996 km/h", false},
        {0xFEF1, "00 00 FE ", Parameter::WheelBasedVehicleSpeed, "254.000 km/h", false},
        {0xFEF2, "00 00 00 0C ", Parameter::InstantaneousFuelEconomy, "6.0 km/L", true},
        {0xFEF2, "00 00 66 0C ", Parameter::InstantaneousFuelEconomy, "6.2 km/L", true},
        {0xFEF2, "00 00 FF FF ", Parameter::InstantaneousFuelEconomy, "128.0 km/L", false},
        {0xFEF2, "00 00 00 FE ", Parameter::InstantaneousFuelEconomy, "127.0 km/L", false},
        {0xFEF2, "64 00 ", Parameter::FuelRate, "5.0 L/h", true},
        {0xFEF2, "00 FA ", Parameter::FuelRate, "3200.0 L/h", true},
        {0xFEF2, "00 FB ", Parameter::FuelRate, "3212.8 L/h", false},
        {0xFEF2, "00 FE ", Parameter::FuelRate, "3251.2 L/h", false},
        {0xFEF2, "FF FF ", Parameter::FuelRate, "3276.8 L/h", false},
        {0xFEF2, "00 00 00 00 FF FF ", Parameter::AverageFuelEconomy, "128.0 km/L", false},
        {0xFEF2, "00 00 00 00 00 FE ", Parameter::AverageFuelEconomy, "127.0 km/L", false},
        {0xFEF2, "00 00 00 00 00 00 FF ", Parameter::ThrottlePosition, "102.0%", false},
        {0xFEF2, "00 00 00 00 00 00 FE ", Parameter::ThrottlePosition, "101.6%", false},
        // A parameter whose bytes are missing is left out; unknown groups give nothing.
        {0xFEF2, "64 00 00 0C 00 ", Parameter::AverageFuelEconomy, "<left out>", false},
        {0xFEC1, "01 00 00 ", Parameter::TotalVehicleDistance, "<left out>", false},
        {0xFEFF, "01 02 03 04 05 06 07 08 ", Parameter::FuelLevel, "<left out>", false},
    };
    // The texts never follow the user's locale.
    for (const char *locale : {"C", "de_DE"}) {
        for (const auto &c : cases) {
            const QString name = QStringLiteral("%1 %2 [%3] %4").arg(locale).arg(c.pgn, 0, 16).arg(c.payload).arg(int(c.parameter));
            QTest::newRow(qPrintable(name)) << QString(locale) << c.pgn << QString(c.payload) << int(c.parameter)
                                            << QString::fromUtf8(c.text) << c.valid;
        }
    }
}

void TestFms::decoder()
{
    QFETCH(QString, locale);
    QFETCH(quint32, pgn);
    QFETCH(QString, payload);
    QFETCH(int, parameter);
    QFETCH(QString, text);
    QFETCH(bool, valid);
    struct RestoreLocale { QLocale saved; ~RestoreLocale() { QLocale::setDefault(saved); } } restore;
    QLocale::setDefault(QLocale(locale));
    QCOMPARE(QLocale().toString(1234.5, 'f', 1), QString(locale == "C" ? "1234.5" : "1.234,5"));
    const QByteArray bytes = payload.toLatin1();
    QCOMPARE(textFor(pgn, bytes.constData(), Parameter(parameter)), text);
    QCOMPARE(textFor(pgn, bytes.constData(), Parameter(parameter), fms::Range::ValidOnly),
             valid ? text : QStringLiteral("<left out>"));
}

void TestFms::candidates()
{
    for (quint32 id = 0; id <= 0x7FF; ++id)
        QVERIFY2(!fms::isCandidate(id), qPrintable(QString::number(id, 16)));
    for (quint32 pgn : {0xF004u, 0xFEC0u, 0xFEC1u, 0xFEE5u, 0xFEEEu, 0xFEF1u, 0xFEF2u, 0xFEF5u, 0xFEFCu}) {
        for (quint32 id : {0x0C000017u | pgn << 8, 0x18000000u | pgn << 8}) {
            QVERIFY2(fms::isCandidate(id) && fms::isDecodedPgn(fms::pgnOf(id)) && fms::pgnOf(id) == pgn,
                     qPrintable(QString::number(id, 16)));
        }
    }
    // A superset of one group's bits is admitted but not decoded; missing bits are not admitted.
    QVERIFY(fms::isCandidate(0x18FEFF00) && !fms::isDecodedPgn(fms::pgnOf(0x18FEFF00)));
    QVERIFY(!fms::isCandidate(0x18F00300) && !fms::isCandidate(0x18EAFF00));
}

void TestFms::handOverThroughTheWindow()
{
    MainWindow w;
    w.findChild<QWidget *>(QStringLiteral("tableFrame"))->setEnabled(true);
    tick(w); // an empty tick: every label keeps its initial text (checked below)

    // The highest identifier wins, also when the lower one came later; standard
    // and non-candidate identifiers are never handed over; 0x18FEFF00 is, but is
    // skipped. A short message sets only the labels whose bytes it has; "ZZ" reads as 0.
    store(w, 0x18F00417, "00 00 00 00 19 "); // 800 rpm
    store(w, 0x0CFEF200, "ZZ 00 00 0A ");
    store(w, 0x400, "28 00 00 40 1F ");
    store(w, 0x18EAFF00, "01 02 03 04 05 06 07 08 ");
    store(w, 0x18FEFF00, "01 02 03 04 05 06 07 08 ");
    refresh(w);
    store(w, 0x0CF00400, "00 00 00 80 0C "); // 400 rpm
    refresh(w);
    QCOMPARE(MainWindowProbe::fmsMessages(w).keys(), (QList<quint32>{0x0CF00400, 0x0CFEF200, 0x18F00417, 0x18FEFF00}));
    tick(w);
    QVERIFY(MainWindowProbe::fmsMessages(w).isEmpty());
    QCOMPARE(labels(w), QStringLiteral("0.0% | 0 | 0.0 L/h | 5.0 km/L | 0.0 | 0.0% | 800 rpm | 0.0 | 0.0 | 0.0 | 0.0 | 0.0 | 0.0"));

    // Nothing is handed over while paused; the first refresh afterwards is.
    auto *pause = w.findChild<QAbstractButton *>(QStringLiteral("pb_pauseTable"));
    pause->click();
    store(w, 0x18FEEE00, "00 ");
    refresh(w);
    QVERIFY(MainWindowProbe::fmsMessages(w).isEmpty());
    pause->click();
    refresh(w);
    tick(w);
    QCOMPARE(label(w, Parameter::EngineCoolantTemperature), QStringLiteral("-40 \u00B0C"));
    // Scroll mode drains the store but hands nothing over.
    w.findChild<QAbstractButton *>(QStringLiteral("pb_scroll"))->click();
    store(w, 0x18FEEE00, "28 ");
    refresh(w);
    QVERIFY(MainWindowProbe::fmsMessages(w).isEmpty() && MainWindowProbe::serial(w).takeMessages().isEmpty());
}

void TestFms::adapterFramesReachThePanel()
{
    FakeAdapter adapter;
    MainWindow w;
    QVERIFY(adapter.isOpen() && WindowDriver::openFake(w, adapter));
    auto *frame = WindowDriver::child<QFrame>(w, "fmsFrame");
    QVERIFY(frame && frame->isHidden());
    WindowDriver::press(w, "pb_fmsParams");
    QVERIFY(!frame->isHidden());
    WindowDriver::configure(w);
    QVERIFY(MainWindowProbe::fmsTimer(w).isActive() && MainWindowProbe::fmsTimer(w).interval() == 2000);

    // One frame per group, two engine speeds in the same period (the higher
    // identifier wins) and a standard frame that carries no group at all.
    const std::pair<quint32, const char *> frames[] = {
        {0x18FEFC17, "FF7DFFFFFFFFFFFF"}, {0x18FEEE00, "00FFFFFFFFFFFFFF"}, {0x0CFEF200, "6400000C0014FAFF"},
        {0x18F00417, "FFFFFF401FFFFFFF"}, {0x0CF00400, "FFFFFF800CFFFFFF"}, {0x18FEC017, "FFFFFFFFFFFFFFFF"},
        {0x18FEE500, "14000000FFFFFFFF"}, {0x18FEC1EE, "01000000FFFFFFFF"}, {0x18FEF500, "FFFFFF202228FFFF"},
        {0x18FEF100, "FF8064FFFFFFFFFF"}, {0x400, "28FFFF401FFFFFFF"}};
    for (const auto &f : frames)
        QVERIFY(adapter.sendFrame(f.first, f.first <= 0x7FF, QByteArray::fromHex(f.second)));

    QTRY_COMPARE_WITH_TIMEOUT(labels(w),
                              QStringLiteral("50 % | -40 \u00B0C | 5.0 L/h | 6.0 km/L | 10.0 km/L | 100.0% | 1000 rpm | "
                                             "167040 km | 1 h | 0.005 km | 0 \u00B0C | 0 \u00B0C | 100.500 km/h"),
                              5000);
    // The second release hides the panel again.
    WindowDriver::press(w, "pb_fmsParams");
    QVERIFY(frame->isHidden());
}

void TestFms::validOnlyKeepsTheLowerSender_data()
{
    QTest::addColumn<bool>("validOnly");
    QTest::addColumn<QString>("panel");
    // The engine (0x00) sends fuel rate 5.8 L/h, no economy, throttle 0; the cab
    // controller (0x31, the higher identifier) "not available" for all of it.
    QTest::newRow("every value") << false
                                 << "0.0% | 0 | 3276.8 L/h | 128.0 km/L | 128.0 km/L | 102.0% | 0.0 | 0.0 | 0.0 | 0.0 | "
                                    "0.0 | 0.0 | 255.996 km/h";
    QTest::newRow("valid values only") << true
                                       << "0.0% | 0 | 5.8 L/h | 0.0 km/L | 2.3 km/L | 0.0% | 0.0 | 0.0 | 0.0 | 0.0 | "
                                          "0.0 | 0.0 | 0.000 km/h";
}

void TestFms::validOnlyKeepsTheLowerSender()
{
    QFETCH(bool, validOnly);
    MainWindow w;
    w.setFmsValidOnly(validOnly);
    store(w, 0x18FEF200, "74 00 00 00 9A 04 00 FF ");
    store(w, 0x18FEF231, "FF FF FF FF FF FF FF FF ");
    store(w, 0x0CFEF100, "F7 00 00 00 00 00 00 FF ");
    store(w, 0x18FEF131, "F7 FF FF 03 CC FF FF FF ");
    refresh(w);
    tick(w);
    QTEST(labels(w), "panel");
}

void TestFms::realTruckWithValidOnly()
{
    // The engine-idling truck's log replayed with --fms-valid-only: fuel rate,
    // economy, throttle and wheel speed show the engine's values, read here from
    // the log's last frames of source address 0x00.
    QTemporaryDir scratch;
    const QString path = truckLogFile(QStringLiteral("decodinggui"), scratch.path());
    const Recording log = readRecordingFile(path);
    QVERIFY2(!path.isEmpty() && log.problem().isEmpty(), qPrintable(log.problem()));
    QMap<quint32, QByteArray> last; // identifier -> data of its last frame
    for (const formats::CanFrame &f : log.frames)
        last[f.id] = f.data;
    const QByteArray lfe = last.value(0x18FEF200), ccvs = last.value(0x0CFEF100);
    QCOMPARE(lfe.size(), 8);
    QCOMPARE(ccvs.size(), 8);
    // The cab controller's last frames of both groups, the higher identifiers,
    // carry "not available" for all of these.
    QCOMPARE(last.value(0x18FEF231).left(7), QByteArray(7, char(0xFF)));
    QCOMPARE(last.value(0x18FEF131).mid(1, 2), QByteArray(2, char(0xFF)));
    const auto raw16 = [](const QByteArray &b, int at) { return quint32(quint8(b[at])) | quint32(quint8(b[at + 1])) << 8; };
    QString fuelRate, instant, average, throttle, speed;
    fuelRate.setNum(float(raw16(lfe, 0) * 0.05), 'f', 1);
    instant.setNum(raw16(lfe, 2) / 512.0, 'f', 1);
    average.setNum(raw16(lfe, 4) / 512.0, 'f', 1);
    throttle.setNum(float(quint8(lfe[6]) * 0.4), 'f', 1);
    speed.setNum(raw16(ccvs, 1) / 256.0, 'f', 3);

    QString error;
    auto replay = sim::ReplayTraffic::open({path, false, 20}, &error);
    QVERIFY2(replay, qPrintable(error));
    sim::AdapterEmulator adapter(std::move(replay));
    QVERIFY(adapter.start(&error));
    MainWindow w;
    w.setFmsValidOnly(true);
    WindowDriver::selectPort(w, adapter.devicePath(), QStringLiteral("replay"));
    WindowDriver::press(w, "pb_open");
    WindowDriver::configure(w, QStringLiteral("250 kbps"));
    // Played to its end: the table shows the engine's last frames; one more
    // decoding pass takes whatever the timer has not taken yet.
    auto *table = w.findChild<QTableWidget *>(QStringLiteral("tv_messages"));
    const auto rowBytes = [&](quint32 id) {
        const int row = MainWindowProbe::rowOfId(w).value(id, -1);
        QByteArray bytes;
        for (int col = 2; row >= 0 && col < 10 && table->item(row, col); ++col)
            bytes += QByteArray::fromHex(table->item(row, col)->text().trimmed().toLatin1());
        return bytes;
    };
    QTRY_VERIFY_WITH_TIMEOUT(adapter.stats().framesSent == 78582 && rowBytes(0x18FEF200) == lfe
                                 && rowBytes(0x0CFEF100) == ccvs && rowBytes(0x18FEF231) == last.value(0x18FEF231),
                             60000);
    tick(w);
    QCOMPARE(label(w, Parameter::FuelRate), fuelRate + " L/h");
    QCOMPARE(label(w, Parameter::InstantaneousFuelEconomy), instant + " km/L");
    QCOMPARE(label(w, Parameter::AverageFuelEconomy), average + " km/L");
    QCOMPARE(label(w, Parameter::ThrottlePosition), throttle + "%");
    QCOMPARE(label(w, Parameter::WheelBasedVehicleSpeed), speed + " km/h");
}

QTEST_MAIN(TestFms)
#include "test_fms.moc"
