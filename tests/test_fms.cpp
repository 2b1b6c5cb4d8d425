// FMS panel: the pure decoder (worked examples in two locales, short and
// malformed messages, candidates) and the window path from the live store
// through the table refresh and the 2 s decoding tick into the value labels.

#include "tests/support/fakeadapter.h"
#include "fms/fmsdecoder.h"
#include "app/mainwindow.h"
#include "tests/support/mainwindowprobe.h"
#include "tests/support/windowdriver.h"

#include <QtTest>
#include <QtWidgets>

using fms::Parameter;

namespace {

// The text decode() gives for one parameter of a message.
QString textFor(quint32 pgn, const char *payload, Parameter parameter)
{
    for (const fms::DecodedValue &value : fms::decode(pgn, fms::byteTexts(QString::fromLatin1(payload))))
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
    const QString idText = QString::number(id, 16).toUpper().rightJustified(id > 0x7FF ? 8 : 3, '0');
    MainWindowProbe::serial(w).storeMessage(id, {"12:00:00.000", idText, QString::fromLatin1(payload)});
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
};

void TestFms::decoder_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<quint32>("pgn");
    QTest::addColumn<QString>("payload");
    QTest::addColumn<int>("parameter");
    QTest::addColumn<QString>("text");
    const struct { quint32 pgn; const char *payload; Parameter parameter; const char *text; } cases[] = {
        {0xFEFC, "FF 7D FF FF ", Parameter::FuelLevel, "50 %"},
        {0xFEFC, "FF FA ", Parameter::FuelLevel, "100 %"},
        {0xFEFC, "00 FF ", Parameter::FuelLevel, "102 %"},
        {0xF004, "00 00 00 40 1F ", Parameter::EngineSpeed, "1000 rpm"},
        {0xFEEE, "00 ", Parameter::EngineCoolantTemperature, "-40 \u00B0C"},
        {0xFEEE, "28 FF ", Parameter::EngineCoolantTemperature, "0 \u00B0C"},
        {0xFEEE, "ZZ ", Parameter::EngineCoolantTemperature, "-40 \u00B0C"}, // not hexadecimal: 0
        {0xFEEE, "128 ", Parameter::EngineCoolantTemperature, "0 \u00B0C"},  // low 8 bits only
        {0xFEC0, "FF 00 00 ", Parameter::ServiceDistance, "-160635 km"},
        {0xFEC0, "FF 7F 7D ", Parameter::ServiceDistance, "0 km"},
        {0xFEC0, "FF FF FF ", Parameter::ServiceDistance, "167040 km"},
        {0xFEE5, "FF FF FF FF ", Parameter::TotalEngineHours, "2.14748e+08 h"},
        {0xFEC1, "01 00 00 00 ", Parameter::TotalVehicleDistance, "0.005 km"},
        {0xFEC1, "00 C2 EB 0B ", Parameter::TotalVehicleDistance, "1000000.000 km"},
        {0xFEC1, "FF FF FF FF ", Parameter::TotalVehicleDistance, "21474836.000 km"}, // single precision
        {0xFEF5, "00 00 00 20 22 ", Parameter::AmbientAirTemperature, "0 \u00B0C"},
        {0xFEF5, "00 00 00 20 21 ", Parameter::AmbientAirTemperature, "-8 \u00B0C"},
        {0xFEF1, "00 80 64 ", Parameter::WheelBasedVehicleSpeed, "100.500 km/h"},
        {0xFEF2, "00 00 00 0C ", Parameter::InstantaneousFuelEconomy, "6.0 km/L"},
        {0xFEF2, "00 00 66 0C ", Parameter::InstantaneousFuelEconomy, "6.2 km/L"},
        {0xFEF2, "64 00 ", Parameter::FuelRate, "5.0 L/h"},
        // A parameter whose bytes are missing is left out; unknown groups give nothing.
        {0xFEF2, "64 00 00 0C 00 ", Parameter::AverageFuelEconomy, "<left out>"},
        {0xFEC1, "01 00 00 ", Parameter::TotalVehicleDistance, "<left out>"},
        {0xFEFF, "01 02 03 04 05 06 07 08 ", Parameter::FuelLevel, "<left out>"},
    };
    // The texts never follow the user's locale.
    for (const char *locale : {"C", "de_DE"}) {
        for (const auto &c : cases) {
            const QString name = QStringLiteral("%1 %2 [%3]").arg(locale).arg(c.pgn, 0, 16).arg(c.payload);
            QTest::newRow(qPrintable(name)) << QString(locale) << c.pgn << QString(c.payload)
                                            << int(c.parameter) << QString::fromUtf8(c.text);
        }
    }
}

void TestFms::decoder()
{
    QFETCH(QString, locale);
    QFETCH(quint32, pgn);
    QFETCH(QString, payload);
    QFETCH(int, parameter);
    struct RestoreLocale { QLocale saved; ~RestoreLocale() { QLocale::setDefault(saved); } } restore;
    QLocale::setDefault(QLocale(locale));
    QCOMPARE(QLocale().toString(1234.5, 'f', 1), QString(locale == "C" ? "1234.5" : "1.234,5"));
    QTEST(textFor(pgn, payload.toLatin1().constData(), Parameter(parameter)), "text");
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

QTEST_MAIN(TestFms)
#include "test_fms.moc"
