// FMS panel: the pure decoder (worked examples, number formats, short and
// malformed messages, candidates) and the window path from the live store
// through the table refresh and the 2 s decoding tick into the value labels.

#include "fakeadapter.h"
#include "fmsdecoder.h"
#include "mainwindow.h"
#include "mainwindowprobe.h"
#include "windowdriver.h"

#include <QAbstractButton>
#include <QFrame>
#include <QLabel>
#include <QLocale>
#include <QtTest>

using fms::Parameter;

Q_DECLARE_METATYPE(Parameter)

namespace {

const QString degC = QStringLiteral(" \u00B0C");

QStringList bytesOf(const char *payload)
{
    return fms::byteTexts(QString::fromLatin1(payload));
}

// The text decode() gives for one parameter, or a null string when left out.
QString textFor(const fms::DecodedValues &values, Parameter parameter)
{
    for (const fms::DecodedValue &value : values) {
        if (value.parameter == parameter)
            return value.text;
    }
    return QString();
}

QList<Parameter> parametersOf(const fms::DecodedValues &values)
{
    QList<Parameter> out;
    for (const fms::DecodedValue &value : values)
        out.append(value.parameter);
    return out;
}

const QList<Parameter> allParameters = {
    Parameter::FuelLevel, Parameter::EngineCoolantTemperature, Parameter::FuelRate,
    Parameter::InstantaneousFuelEconomy, Parameter::AverageFuelEconomy,
    Parameter::ThrottlePosition, Parameter::EngineSpeed, Parameter::ServiceDistance,
    Parameter::TotalEngineHours, Parameter::TotalVehicleDistance,
    Parameter::AmbientAirTemperature, Parameter::AirInletTemperature,
    Parameter::WheelBasedVehicleSpeed,
};

MessageRecord record(quint32 id, const char *payload)
{
    return {QStringLiteral("12:00:00.000"),
            QStringLiteral("%1").arg(id, id > 0x7FF ? 8 : 3, 16, QLatin1Char('0')).toUpper(),
            QString::fromLatin1(payload)};
}

} // namespace

class TestFms : public QObject
{
    Q_OBJECT

private slots:
    // ---- pure decoder ----
    void workedExamples_data();
    void workedExamples();
    void labelOrderAndShortMessages();
    void candidatesAndByteTexts();
    void formatsIgnoreTheLocale();

    // ---- through the window ----
    void windowDecodesEveryGroup();
    void windowHighestIdentifierWins();
    void windowHandOverOnlyInUnpausedFixedMode();
    void windowEmptyTickAndToggle();
    void adapterFramesReachThePanel();

private:
    // Label text by object name.
    static QString label(MainWindow &w, Parameter parameter)
    {
        auto *l = w.findChild<QLabel *>(fms::valueLabelName(parameter));
        return l ? l->text() : QStringLiteral("<no label>");
    }
    static void refreshTable(MainWindow &w)
    {
        QVERIFY(QMetaObject::invokeMethod(&w, "updateTable"));
    }
    static void fmsTick(MainWindow &w)
    {
        QVERIFY(QMetaObject::invokeMethod(&w, "updateFMSValues"));
    }
    // Without an open port the table tools are disabled; the tests that drive
    // them directly enable the area as opening a port would.
    static void enableTableArea(MainWindow &w)
    {
        auto *frame = w.findChild<QWidget *>(QStringLiteral("tableFrame"));
        QVERIFY(frame);
        frame->setEnabled(true);
    }
};

void TestFms::workedExamples_data()
{
    QTest::addColumn<quint32>("pgn");
    QTest::addColumn<QString>("payload");
    QTest::addColumn<Parameter>("parameter");
    QTest::addColumn<QString>("expected");

    auto row = [](const char *name, quint32 pgn, const char *payload, Parameter p, const QString &text) {
        QTest::newRow(name) << pgn << QString::fromLatin1(payload) << p << text;
    };
    const quint32 dash = 0xFEFC, temp1 = 0xFEEE, eec1 = 0xF004, service = 0xFEC0, hours = 0xFEE5,
                  distance = 0xFEC1, ambient = 0xFEF5, speed = 0xFEF1, economy = 0xFEF2;

    row("fuel level 7D", dash, "FF 7D FF FF FF FF FF FF ", Parameter::FuelLevel, "50 %");
    row("fuel level FA", dash, "FF FA ", Parameter::FuelLevel, "100 %");
    row("fuel level FF", dash, "00 FF ", Parameter::FuelLevel, "102 %");
    row("fuel level 01", dash, "00 01 ", Parameter::FuelLevel, "0.4 %");
    row("engine speed 8000", eec1, "00 00 00 40 1F ", Parameter::EngineSpeed, "1000 rpm");
    row("engine speed 1", eec1, "00 00 00 01 00 ", Parameter::EngineSpeed, "0.125 rpm");
    row("engine speed FFFF", eec1, "FF FF FF FF FF FF FF FF ", Parameter::EngineSpeed, "8191.88 rpm");
    row("coolant 00", temp1, "00 ", Parameter::EngineCoolantTemperature, "-40" + degC);
    row("coolant 28", temp1, "28 FF ", Parameter::EngineCoolantTemperature, "0" + degC);
    row("coolant FF", temp1, "FF ", Parameter::EngineCoolantTemperature, "215" + degC);
    row("service 0", service, "FF 00 00 ", Parameter::ServiceDistance, "-160635 km");
    row("service 32127", service, "FF 7F 7D ", Parameter::ServiceDistance, "0 km");
    row("service 65535", service, "FF FF FF ", Parameter::ServiceDistance, "167040 km");
    row("engine hours max", hours, "FF FF FF FF ", Parameter::TotalEngineHours, "2.14748e+08 h");
    row("engine hours 20", hours, "14 00 00 00 ", Parameter::TotalEngineHours, "1 h");
    row("engine hours small", hours, "01 00 00 00 ", Parameter::TotalEngineHours, "0.05 h");
    row("distance 1", distance, "01 00 00 00 ", Parameter::TotalVehicleDistance, "0.005 km");
    // 200000000 = 0x0BEBC200
    row("distance 200000000", distance, "00 C2 EB 0B ", Parameter::TotalVehicleDistance,
        "1000000.000 km");
    // 21474836475 m rounds to a float; in double this would read 21474836.475.
    row("distance max, single precision", distance, "FF FF FF FF ", Parameter::TotalVehicleDistance,
        "21474836.000 km");
    // 8736 = 0x2220, 8480 = 0x2120
    row("ambient 8736", ambient, "00 00 00 20 22 ", Parameter::AmbientAirTemperature, "0" + degC);
    row("ambient 8480", ambient, "00 00 00 20 21 ", Parameter::AmbientAirTemperature, "-8" + degC);
    row("ambient 8737", ambient, "00 00 00 21 22 ", Parameter::AmbientAirTemperature, "0.03125" + degC);
    row("ambient 0", ambient, "00 00 00 00 00 ", Parameter::AmbientAirTemperature, "-273" + degC);
    row("air inlet 3C", ambient, "00 00 00 00 00 3C ", Parameter::AirInletTemperature, "20" + degC);
    row("air inlet 00", ambient, "00 00 00 00 00 00 ", Parameter::AirInletTemperature, "-40" + degC);
    row("wheel speed 6480", speed, "00 80 64 ", Parameter::WheelBasedVehicleSpeed, "100.500 km/h");
    row("wheel speed 1", speed, "00 01 00 ", Parameter::WheelBasedVehicleSpeed, "0.004 km/h");
    row("inst economy 0C00", economy, "00 00 00 0C 00 00 00 ", Parameter::InstantaneousFuelEconomy,
        "6.0 km/L");
    row("inst economy 0C66", economy, "00 00 66 0C 00 00 00 ", Parameter::InstantaneousFuelEconomy,
        "6.2 km/L");
    row("avg economy 1400", economy, "00 00 00 00 00 14 00 ", Parameter::AverageFuelEconomy,
        "10.0 km/L");
    row("fuel rate 100", economy, "64 00 ", Parameter::FuelRate, "5.0 L/h");
    row("fuel rate FFFF", economy, "FF FF ", Parameter::FuelRate, "3276.8 L/h");
    row("throttle FA", economy, "00 00 00 00 00 00 FA ", Parameter::ThrottlePosition, "100.0%");
    row("throttle 01", economy, "00 00 00 00 00 00 01 ", Parameter::ThrottlePosition, "0.4%");
    // A byte text that is not hexadecimal reads as 0.
    row("coolant ZZ", temp1, "ZZ ", Parameter::EngineCoolantTemperature, "-40" + degC);
    row("engine speed ZZ high", eec1, "00 00 00 40 ZZ ", Parameter::EngineSpeed, "8 rpm");
    // Only the low 8 bits of a longer text count.
    row("coolant 128", temp1, "128 ", Parameter::EngineCoolantTemperature, "0" + degC);
    row("lower-case hex", speed, "00 c0 64 ", Parameter::WheelBasedVehicleSpeed, "100.750 km/h");
}

void TestFms::workedExamples()
{
    QFETCH(quint32, pgn);
    QFETCH(QString, payload);
    QFETCH(Parameter, parameter);
    QFETCH(QString, expected);

    const fms::DecodedValues values = fms::decode(pgn, fms::byteTexts(payload));
    QCOMPARE(textFor(values, parameter), expected);
}

void TestFms::labelOrderAndShortMessages()
{
    // Full messages: every parameter of the group, in label order.
    QCOMPARE(parametersOf(fms::decode(0xFEF2, bytesOf("01 02 03 04 05 06 07 08 "))),
             (QList<Parameter>{Parameter::FuelRate, Parameter::InstantaneousFuelEconomy,
                               Parameter::AverageFuelEconomy, Parameter::ThrottlePosition}));
    QCOMPARE(parametersOf(fms::decode(0xFEF5, bytesOf("01 02 03 04 05 06 07 08 "))),
             (QList<Parameter>{Parameter::AmbientAirTemperature, Parameter::AirInletTemperature}));

    // Short messages: a parameter whose bytes are missing is left out; the
    // others of the same message still decode.
    fms::DecodedValues values = fms::decode(0xFEF2, bytesOf("64 00 00 0C 00 "));
    QCOMPARE(parametersOf(values),
             (QList<Parameter>{Parameter::FuelRate, Parameter::InstantaneousFuelEconomy}));
    QCOMPARE(textFor(values, Parameter::InstantaneousFuelEconomy), QStringLiteral("6.0 km/L"));
    QCOMPARE(parametersOf(fms::decode(0xFEF2, bytesOf("64 "))), QList<Parameter>{});
    QCOMPARE(parametersOf(fms::decode(0xFEF5, bytesOf("00 00 00 20 22 "))),
             QList<Parameter>{Parameter::AmbientAirTemperature});
    QCOMPARE(parametersOf(fms::decode(0xFEF5, bytesOf("00 00 00 20 "))), QList<Parameter>{});
    QCOMPARE(parametersOf(fms::decode(0xFEC1, bytesOf("01 00 00 "))), QList<Parameter>{});
    QCOMPARE(parametersOf(fms::decode(0xF004, bytesOf("00 00 00 40 "))), QList<Parameter>{});
    QCOMPARE(parametersOf(fms::decode(0xFEFC, bytesOf("7D "))), QList<Parameter>{});
    QCOMPARE(parametersOf(fms::decode(0xFEEE, bytesOf(""))), QList<Parameter>{});

    // An empty part between two blanks is a byte of its own (reading 0), so
    // positions after it do not shift.
    values = fms::decode(0xFEF1, bytesOf("00  64 "));
    QCOMPARE(textFor(values, Parameter::WheelBasedVehicleSpeed), QStringLiteral("100.000 km/h"));

    // Groups outside the table decode to nothing.
    QVERIFY(fms::decode(0xFEFF, bytesOf("01 02 03 04 05 06 07 08 ")).isEmpty());
    QVERIFY(fms::decode(0x0000, bytesOf("01 02 03 04 05 06 07 08 ")).isEmpty());
}

void TestFms::candidatesAndByteTexts()
{
    // No standard identifier can be a candidate.
    for (quint32 id = 0; id <= 0x7FF; ++id)
        QVERIFY2(!fms::isCandidate(id), qPrintable(QString::number(id, 16)));

    const quint32 pgns[] = {0xF004, 0xFEC0, 0xFEC1, 0xFEE5, 0xFEEE, 0xFEF1, 0xFEF2, 0xFEF5, 0xFEFC};
    for (quint32 pgn : pgns) {
        for (quint32 frame : {0x00000000u, 0x0C000017u, 0x18000000u, 0x1F0000FFu}) {
            const quint32 id = frame | (pgn << 8);
            QVERIFY2(fms::isCandidate(id), qPrintable(QString::number(id, 16)));
            QCOMPARE(fms::pgnOf(id), pgn);
            QVERIFY(fms::isDecodedPgn(fms::pgnOf(id)));
        }
    }
    // A superset of the bits is admitted but not decoded.
    QVERIFY(fms::isCandidate(0x18FEFF00));
    QVERIFY(!fms::isDecodedPgn(fms::pgnOf(0x18FEFF00)));
    // Missing bits are not.
    QVERIFY(!fms::isCandidate(0x18F00300));
    QVERIFY(!fms::isCandidate(0x18EAFF00));
    // 0xFEBF00 holds every bit of 0xF00400, so it is admitted.
    QVERIFY(fms::isCandidate(0x18FEBF00));
    QVERIFY(fms::isCandidate(0x1FFFFFFF));

    QCOMPARE(fms::byteTexts(QStringLiteral("01 A2 FF ")),
             (QStringList{QStringLiteral("01"), QStringLiteral("A2"), QStringLiteral("FF")}));
    QCOMPARE(fms::byteTexts(QStringLiteral("01  FF")),
             (QStringList{QStringLiteral("01"), QString(), QStringLiteral("FF")}));
    QCOMPARE(fms::byteTexts(QString()), QStringList{});
    QCOMPARE(fms::byteTexts(QStringLiteral(" ")), QStringList{});

    QCOMPARE(int(fms::byteValue(QStringLiteral("7D"))), 0x7D);
    QCOMPARE(int(fms::byteValue(QStringLiteral("7d"))), 0x7D);
    QCOMPARE(int(fms::byteValue(QStringLiteral("ZZ"))), 0);
    QCOMPARE(int(fms::byteValue(QStringLiteral("7Z"))), 0);
    QCOMPARE(int(fms::byteValue(QString())), 0);
    QCOMPARE(int(fms::byteValue(QStringLiteral("1FF"))), 0xFF);
    QCOMPARE(int(fms::byteValue(QStringLiteral("123456789ABCDEF0123"))), 0x23);
}

void TestFms::formatsIgnoreTheLocale()
{
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    // Guard: the default really is one with a decimal comma and group dots.
    QCOMPARE(QLocale().toString(1234.5, 'f', 1), QStringLiteral("1.234,5"));

    const fms::DecodedValues economy = fms::decode(0xFEF2, bytesOf("64 00 66 0C 00 14 FA "));
    const fms::DecodedValues ambient = fms::decode(0xFEF5, bytesOf("00 00 00 21 22 "));
    const fms::DecodedValues hours = fms::decode(0xFEE5, bytesOf("FF FF FF FF "));
    const fms::DecodedValues distance = fms::decode(0xFEC1, bytesOf("00 C2 EB 0B "));
    const fms::DecodedValues service = fms::decode(0xFEC0, bytesOf("FF 00 00 "));
    const fms::DecodedValues speed = fms::decode(0xFEF1, bytesOf("00 80 64 "));
    const fms::DecodedValues rpm = fms::decode(0xF004, bytesOf("00 00 00 01 00 "));
    QLocale::setDefault(previous);

    QCOMPARE(textFor(economy, Parameter::FuelRate), QStringLiteral("5.0 L/h"));
    QCOMPARE(textFor(economy, Parameter::InstantaneousFuelEconomy), QStringLiteral("6.2 km/L"));
    QCOMPARE(textFor(economy, Parameter::AverageFuelEconomy), QStringLiteral("10.0 km/L"));
    QCOMPARE(textFor(economy, Parameter::ThrottlePosition), QStringLiteral("100.0%"));
    QCOMPARE(textFor(ambient, Parameter::AmbientAirTemperature), "0.03125" + degC);
    QCOMPARE(textFor(hours, Parameter::TotalEngineHours), QStringLiteral("2.14748e+08 h"));
    QCOMPARE(textFor(distance, Parameter::TotalVehicleDistance), QStringLiteral("1000000.000 km"));
    QCOMPARE(textFor(service, Parameter::ServiceDistance), QStringLiteral("-160635 km"));
    QCOMPARE(textFor(speed, Parameter::WheelBasedVehicleSpeed), QStringLiteral("100.500 km/h"));
    QCOMPARE(textFor(rpm, Parameter::EngineSpeed), QStringLiteral("0.125 rpm"));
}

void TestFms::windowDecodesEveryGroup()
{
    MainWindow w;
    // Every parameter has its value label, and it starts with its initial text.
    for (Parameter p : allParameters)
        QVERIFY2(w.findChild<QLabel *>(fms::valueLabelName(p)), qPrintable(fms::valueLabelName(p)));
    QCOMPARE(label(w, Parameter::EngineCoolantTemperature), QStringLiteral("0"));
    QCOMPARE(label(w, Parameter::FuelLevel), QStringLiteral("0.0%"));

    serialManager &serial = MainWindowProbe::serial(w);
    serial.storeMessage(0x18FEFC17, record(0x18FEFC17, "FF 7D FF FF FF FF FF FF "));
    serial.storeMessage(0x18FEEE00, record(0x18FEEE00, "28 FF FF FF FF FF FF FF "));
    serial.storeMessage(0x0CFEF200, record(0x0CFEF200, "64 00 00 0C 66 0C FA FF "));
    serial.storeMessage(0x0CF00400, record(0x0CF00400, "FF FF FF 40 1F FF FF FF "));
    serial.storeMessage(0x18FEC017, record(0x18FEC017, "FF 7F 7D FF FF FF FF FF "));
    serial.storeMessage(0x18FEE500, record(0x18FEE500, "FF FF FF FF FF FF FF FF "));
    serial.storeMessage(0x18FEC1EE, record(0x18FEC1EE, "00 C2 EB 0B FF FF FF FF "));
    serial.storeMessage(0x18FEF500, record(0x18FEF500, "FF FF FF 20 21 3C FF FF "));
    serial.storeMessage(0x18FEF100, record(0x18FEF100, "FF 80 64 FF FF FF FF FF "));
    // A candidate of another group and a non-candidate.
    serial.storeMessage(0x18FEFF00, record(0x18FEFF00, "01 02 03 04 05 06 07 08 "));
    serial.storeMessage(0x18EAFF00, record(0x18EAFF00, "01 02 03 04 05 06 07 08 "));
    refreshTable(w);

    const QMap<quint32, QStringList> &handed = MainWindowProbe::fmsMessages(w);
    QCOMPARE(handed.size(), 10);
    QVERIFY(!handed.contains(0x18EAFF00));
    QCOMPARE(handed.value(0x18FEF100),
             (QStringList{"FF", "80", "64", "FF", "FF", "FF", "FF", "FF"}));

    fmsTick(w);
    QVERIFY(MainWindowProbe::fmsMessages(w).isEmpty());
    QCOMPARE(label(w, Parameter::FuelLevel), QStringLiteral("50 %"));
    QCOMPARE(label(w, Parameter::EngineCoolantTemperature), "0" + degC);
    QCOMPARE(label(w, Parameter::FuelRate), QStringLiteral("5.0 L/h"));
    QCOMPARE(label(w, Parameter::InstantaneousFuelEconomy), QStringLiteral("6.0 km/L"));
    QCOMPARE(label(w, Parameter::AverageFuelEconomy), QStringLiteral("6.2 km/L"));
    QCOMPARE(label(w, Parameter::ThrottlePosition), QStringLiteral("100.0%"));
    QCOMPARE(label(w, Parameter::EngineSpeed), QStringLiteral("1000 rpm"));
    QCOMPARE(label(w, Parameter::ServiceDistance), QStringLiteral("0 km"));
    QCOMPARE(label(w, Parameter::TotalEngineHours), QStringLiteral("2.14748e+08 h"));
    QCOMPARE(label(w, Parameter::TotalVehicleDistance), QStringLiteral("1000000.000 km"));
    QCOMPARE(label(w, Parameter::AmbientAirTemperature), "-8" + degC);
    QCOMPARE(label(w, Parameter::AirInletTemperature), "20" + degC);
    QCOMPARE(label(w, Parameter::WheelBasedVehicleSpeed), QStringLiteral("100.500 km/h"));

    // A short message and a non-hex byte: the missing parameters keep their
    // text, the present ones are decoded, "ZZ" reads as 0.
    serial.storeMessage(0x0CFEF200, record(0x0CFEF200, "ZZ 00 00 0A "));
    serial.storeMessage(0x18FEF500, record(0x18FEF500, "FF FF FF 20 22 "));
    refreshTable(w);
    fmsTick(w);
    QCOMPARE(label(w, Parameter::FuelRate), QStringLiteral("0.0 L/h"));
    QCOMPARE(label(w, Parameter::InstantaneousFuelEconomy), QStringLiteral("5.0 km/L"));
    QCOMPARE(label(w, Parameter::AverageFuelEconomy), QStringLiteral("6.2 km/L"));
    QCOMPARE(label(w, Parameter::ThrottlePosition), QStringLiteral("100.0%"));
    QCOMPARE(label(w, Parameter::AmbientAirTemperature), "0" + degC);
    QCOMPARE(label(w, Parameter::AirInletTemperature), "20" + degC);
}

void TestFms::windowHighestIdentifierWins()
{
    MainWindow w;
    serialManager &serial = MainWindowProbe::serial(w);
    // Both are EEC1 (engine speed); the higher identifier is decoded last.
    serial.storeMessage(0x18F00417, record(0x18F00417, "00 00 00 40 1F 00 00 00 ")); // 1000 rpm
    serial.storeMessage(0x0CF00400, record(0x0CF00400, "00 00 00 80 0C 00 00 00 ")); // 400 rpm
    refreshTable(w);
    fmsTick(w);
    QCOMPARE(label(w, Parameter::EngineSpeed), QStringLiteral("1000 rpm"));

    // Also when the two arrive in different refreshes of the same period,
    // lower identifier last.
    serial.storeMessage(0x18F00417, record(0x18F00417, "00 00 00 00 19 00 00 00 ")); // 800 rpm
    refreshTable(w);
    serial.storeMessage(0x0CF00400, record(0x0CF00400, "00 00 00 80 0C 00 00 00 "));
    refreshTable(w);
    fmsTick(w);
    QCOMPARE(label(w, Parameter::EngineSpeed), QStringLiteral("800 rpm"));

    // A newer message of the same identifier replaces the earlier one.
    serial.storeMessage(0x0CF00400, record(0x0CF00400, "00 00 00 80 0C 00 00 00 "));
    refreshTable(w);
    serial.storeMessage(0x0CF00400, record(0x0CF00400, "00 00 00 00 32 00 00 00 ")); // 1600 rpm
    refreshTable(w);
    QCOMPARE(MainWindowProbe::fmsMessages(w).size(), 1);
    fmsTick(w);
    QCOMPARE(label(w, Parameter::EngineSpeed), QStringLiteral("1600 rpm"));
}

void TestFms::windowHandOverOnlyInUnpausedFixedMode()
{
    MainWindow w;
    enableTableArea(w);
    serialManager &serial = MainWindowProbe::serial(w);
    auto *pause = w.findChild<QAbstractButton *>(QStringLiteral("pb_pauseTable"));
    auto *scroll = w.findChild<QAbstractButton *>(QStringLiteral("pb_scroll"));
    QVERIFY(pause && scroll);

    // A standard identifier never reaches the hand-over.
    serial.storeMessage(0x400, record(0x400, "28 00 00 40 1F 00 00 00 "));
    refreshTable(w);
    QVERIFY(MainWindowProbe::fmsMessages(w).isEmpty());

    // Paused: nothing is handed over; the first refresh after the pause is.
    QTest::mouseClick(pause, Qt::LeftButton);
    QVERIFY(pause->isChecked());
    serial.storeMessage(0x18FEEE00, record(0x18FEEE00, "00 "));
    refreshTable(w);
    QVERIFY(MainWindowProbe::fmsMessages(w).isEmpty());
    QTest::mouseClick(pause, Qt::LeftButton);
    QVERIFY(!pause->isChecked());
    refreshTable(w);
    QCOMPARE(MainWindowProbe::fmsMessages(w).keys(), QList<quint32>{0x18FEEE00});
    fmsTick(w);
    QCOMPARE(label(w, Parameter::EngineCoolantTemperature), "-40" + degC);

    // Scroll mode: the refresh takes the message but hands nothing over.
    QTest::mouseClick(scroll, Qt::LeftButton);
    QVERIFY(scroll->isChecked());
    serial.storeMessage(0x18FEEE00, record(0x18FEEE00, "28 "));
    refreshTable(w);
    QVERIFY(MainWindowProbe::fmsMessages(w).isEmpty());
    QVERIFY(serial.takeMessages().isEmpty());
    fmsTick(w);
    QCOMPARE(label(w, Parameter::EngineCoolantTemperature), "-40" + degC);
}

void TestFms::windowEmptyTickAndToggle()
{
    MainWindow w;
    QStringList before;
    for (Parameter p : allParameters)
        before << label(w, p);
    fmsTick(w);
    QStringList after;
    for (Parameter p : allParameters)
        after << label(w, p);
    QCOMPARE(after, before);

    // Decoded values stay through an empty tick.
    MainWindowProbe::serial(w).storeMessage(0x18FEFC00, record(0x18FEFC00, "00 FA "));
    refreshTable(w);
    fmsTick(w);
    fmsTick(w);
    QCOMPARE(label(w, Parameter::FuelLevel), QStringLiteral("100 %"));

    enableTableArea(w);
    auto *frame = w.findChild<QFrame *>(QStringLiteral("fmsFrame"));
    auto *button = w.findChild<QAbstractButton *>(QStringLiteral("pb_fmsParams"));
    QVERIFY(frame && button);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QVERIFY(frame->isHidden());
    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY(!frame->isHidden());
    QVERIFY(frame->isVisible());
    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY(frame->isHidden());
}

void TestFms::adapterFramesReachThePanel()
{
    FakeAdapter adapter;
    QVERIFY(adapter.isOpen());
    MainWindow w;
    QVERIFY(WindowDriver::openFake(w, adapter));

    // The panel button works once the port is open.
    auto *frame = WindowDriver::child<QFrame>(w, "fmsFrame");
    QVERIFY(frame && frame->isHidden());
    WindowDriver::press(w, "pb_fmsParams");
    QVERIFY(!frame->isHidden());

    WindowDriver::configure(w);
    QVERIFY(MainWindowProbe::fmsTimer(w).isActive());
    QCOMPARE(MainWindowProbe::fmsTimer(w).interval(), 2000);

    auto bytes = [](std::initializer_list<int> values) {
        QByteArray data;
        for (int v : values)
            data.append(char(v));
        return data;
    };
    // One frame per group, two engine speeds from different sources within
    // the same period, and a standard frame that carries no group at all.
    QVERIFY(adapter.sendFrame(0x18FEFC17, false, bytes({0xFF, 0x7D, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF})));
    QVERIFY(adapter.sendFrame(0x18FEEE00, false, bytes({0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF})));
    QVERIFY(adapter.sendFrame(0x0CFEF200, false, bytes({0x64, 0x00, 0x00, 0x0C, 0x00, 0x14, 0xFA, 0xFF})));
    QVERIFY(adapter.sendFrame(0x18F00417, false, bytes({0xFF, 0xFF, 0xFF, 0x40, 0x1F, 0xFF, 0xFF, 0xFF})));
    QVERIFY(adapter.sendFrame(0x0CF00400, false, bytes({0xFF, 0xFF, 0xFF, 0x80, 0x0C, 0xFF, 0xFF, 0xFF})));
    QVERIFY(adapter.sendFrame(0x18FEC017, false, bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF})));
    QVERIFY(adapter.sendFrame(0x18FEE500, false, bytes({0x14, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF})));
    QVERIFY(adapter.sendFrame(0x18FEC1EE, false, bytes({0x01, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF})));
    QVERIFY(adapter.sendFrame(0x18FEF500, false, bytes({0xFF, 0xFF, 0xFF, 0x20, 0x22, 0x28, 0xFF, 0xFF})));
    QVERIFY(adapter.sendFrame(0x18FEF100, false, bytes({0xFF, 0x80, 0x64, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF})));
    QVERIFY(adapter.sendFrame(0x400, true, bytes({0x28, 0xFF, 0xFF, 0x40, 0x1F, 0xFF, 0xFF, 0xFF})));

    // The table shows the standard frame, but it was never handed over.
    QTRY_VERIFY_WITH_TIMEOUT(MainWindowProbe::rowOfId(w).contains(0x400)
                                 && MainWindowProbe::rowOfId(w).contains(0x18FEF100),
                             1500);
    QVERIFY(!MainWindowProbe::fmsMessages(w).contains(0x400));

    QTRY_COMPARE_WITH_TIMEOUT(label(w, Parameter::EngineSpeed), QStringLiteral("1000 rpm"), 3000);
    QVERIFY(MainWindowProbe::fmsMessages(w).isEmpty());
    QCOMPARE(label(w, Parameter::FuelLevel), QStringLiteral("50 %"));
    QCOMPARE(label(w, Parameter::EngineCoolantTemperature), "-40" + degC);
    QCOMPARE(label(w, Parameter::FuelRate), QStringLiteral("5.0 L/h"));
    QCOMPARE(label(w, Parameter::InstantaneousFuelEconomy), QStringLiteral("6.0 km/L"));
    QCOMPARE(label(w, Parameter::AverageFuelEconomy), QStringLiteral("10.0 km/L"));
    QCOMPARE(label(w, Parameter::ThrottlePosition), QStringLiteral("100.0%"));
    QCOMPARE(label(w, Parameter::ServiceDistance), QStringLiteral("167040 km"));
    QCOMPARE(label(w, Parameter::TotalEngineHours), QStringLiteral("1 h"));
    QCOMPARE(label(w, Parameter::TotalVehicleDistance), QStringLiteral("0.005 km"));
    QCOMPARE(label(w, Parameter::AmbientAirTemperature), "0" + degC);
    QCOMPARE(label(w, Parameter::AirInletTemperature), "0" + degC);
    QCOMPARE(label(w, Parameter::WheelBasedVehicleSpeed), QStringLiteral("100.500 km/h"));

    // The second release hides the panel again; decoding goes on regardless.
    WindowDriver::press(w, "pb_fmsParams");
    QVERIFY(frame->isHidden());
}

QTEST_MAIN(TestFms)
#include "test_fms.moc"
