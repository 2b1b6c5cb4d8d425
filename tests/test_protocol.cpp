// Byte formats of the adapter link: frame check and parse, the texts of a
// message record, configuration and filter-list commands, and the frame cutter
// of the reader loop. Expected bytes are worked examples of the link's byte
// formats written out by hand (checksums summed independently).

#include "link/protocol.h"
#include "core/recordtext.h"

#include <QtTest>

namespace {

QByteArray hex(const char *text) { return QByteArray::fromHex(QByteArray(text).replace(' ', "")); }
QByteArray with(QByteArray f, int at, int value) { f[at] = char(value); return f; }

// A standard frame of identifier 100 with the data byte AB, and frames that
// carry no 0xAA or 0x55 in their payload, so that no false frame start hides inside.
const QByteArray F100 = hex("AA 55 00 01 00 00 01 00 00 01 AB 00 00 00 00 00 00 00 00 AE");
const QByteArray F101 = hex("AA 55 00 01 00 01 01 00 00 08 01 02 03 04 05 06 07 08 00 2F");
const QByteArray F18FEF100 = hex("AA 55 00 02 00 00 F1 FE 18 04 11 22 33 44 00 00 00 00 00 B7");
const QByteArray F7FF = hex("AA 55 00 01 00 FF 07 00 00 01 99 00 00 00 00 00 00 00 00 A1");
const QString STAMP = QStringLiteral("12:34:56.789");

bool valid(const char *slice) { return wire::isValidFrame(wire::AdapterFrame{slice, STAMP}); }

} // namespace

class TestProtocol : public QObject
{
    Q_OBJECT

private slots:
    void frameCheckAndParse_data();
    void frameCheckAndParse();
    void recordTexts_data();
    void recordTexts();
    void configurationCommand_data();
    void configurationCommand();
    void filterListCommand_data();
    void filterListCommand();
    void filterListOfMoreThan255Entries();
    void cutter_data();
    void cutter();
    void cutterNeverKeepsAFrame();
};

void TestProtocol::frameCheckAndParse_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<quint32>("id");
    QTest::addColumn<QString>("idText");
    QTest::addColumn<QString>("payload");

    QTest::newRow("worked example") << hex("AA 55 00 02 00 00 F1 FE 18 08 11 22 33 44 55 66 77 88 00 75") << true
                                    << 0x18FEF100u << "18FEF100" << "11 22 33 44 55 66 77 88 ";
    QTest::newRow("kind 1, empty") << hex("AA 55 00 01 00 23 01 00 00 00 00 00 00 00 00 00 00 00 00 25") << true
                                   << 0x123u << "123" << "";
    QTest::newRow("kind 2, same number") << hex("AA 55 00 02 00 23 01 00 00 00 00 00 00 00 00 00 00 00 00 26") << true
                                         << 0x123u << "00000123" << "";
    QTest::newRow("kind 0 is extended") << hex("AA 55 00 00 00 00 01 00 00 01 AB 00 00 00 00 00 00 00 00 AD") << true
                                        << 0x100u << "00000100" << "AB ";
    QTest::newRow("standard 1ABC keeps 4 digits")
        << hex("AA 55 00 01 00 BC 1A 00 00 00 00 00 00 00 00 00 00 00 00 D7") << true << 0x1ABCu << "1ABC" << "";
    // Identifier 7E0, data 01 A2 FF 10 20 30 40 50, byte 18 = 5A, length byte n.
    QTest::newRow("length 3") << hex("AA 55 00 01 00 E0 07 00 00 03 01 A2 FF 10 20 30 40 50 5A 7D") << true
                              << 0x7E0u << "7E0" << "01 A2 FF ";
    QTest::newRow("length 9 shows byte 18")
        << hex("AA 55 00 01 00 E0 07 00 00 09 01 A2 FF 10 20 30 40 50 5A 83") << true << 0x7E0u << "7E0"
        << "01 A2 FF 10 20 30 40 50 5A ";
    QTest::newRow("length 10 shows byte 19")
        << hex("AA 55 00 01 00 E0 07 00 00 0A 01 A2 FF 10 20 30 40 50 5A 84") << true << 0x7E0u << "7E0"
        << "01 A2 FF 10 20 30 40 50 5A 84 ";
    QTest::newRow("length 13 past the frame")
        << hex("AA 55 00 01 00 E0 07 00 00 0D 01 A2 FF 10 20 30 40 50 5A 87") << true << 0x7E0u << "7E0"
        << "01 A2 FF 10 20 30 40 50 5A 87 00 00 00 ";
    QTest::newRow("negative length") << hex("AA 55 00 01 00 E0 07 00 00 80 01 A2 FF 10 20 30 40 50 5A FA") << true
                                     << 0x7E0u << "7E0" << "";
    QTest::newRow("only 0x55") << with(F100, 0, 0x00) << true << 0x100u << "100" << "AB ";
    QTest::newRow("only 0xAA") << with(F100, 1, 0x12) << true << 0x100u << "100" << "AB ";
    QTest::newRow("byte 18 not summed") << with(F100, 18, 0x33) << true << 0x100u << "100" << "AB ";
    QTest::newRow("no header") << with(with(F100, 0, 0x55), 1, 0xAA) << false << 0u << "" << "";
    QTest::newRow("wrong checksum") << with(F100, 19, 0xAF) << false << 0u << "" << "";
    QTest::newRow("byte 17 summed") << with(F100, 17, 0x01) << false << 0u << "" << "";
}

void TestProtocol::frameCheckAndParse()
{
    QFETCH(QByteArray, frame);
    QFETCH(bool, valid);
    QCOMPARE(frame.size(), wire::FRAME_SIZE);
    const wire::AdapterFrame slice{frame.constData(), STAMP};
    QCOMPARE(wire::isValidFrame(slice), valid);
    if (!valid)
        return;
    const wire::CanMessage message = wire::parseFrame(slice);
    QTEST(message.id, "id");
    QFETCH(QString, idText);
    QFETCH(QString, payload);
    QCOMPARE(message.record, (MessageRecord{STAMP, idText, payload}));
}

void TestProtocol::recordTexts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("msecs");
    QTest::newRow("midnight") << "00:00:00.000" << 0;
    QTest::newRow("last of the day") << "23:59:59.999" << 86399999;
    QTest::newRow("afternoon") << "12:04:31.507" << 43471507;
    QTest::newRow("hour 24") << "24:00:00.000" << -1;
    QTest::newRow("minute 60") << "12:60:00.000" << -1;
    QTest::newRow("second 60") << "12:00:60.000" << -1;
    QTest::newRow("leading blank") << " 12:00:00.000" << -1;
    QTest::newRow("two-digit millis") << "12:00:00.00" << -1;
    QTest::newRow("letter") << "1a:00:00.000" << -1;
    QTest::newRow("empty") << "" << -1;
}

void TestProtocol::recordTexts()
{
    QFETCH(QString, text);
    QFETCH(int, msecs);
    QCOMPARE(recordtext::timestampMsecs(text), msecs);
    const QByteArray latin = text.toLatin1();
    QCOMPARE(recordtext::timestampMsecs(latin.constData(), latin.size()), msecs);

    // The reader's own texts.
    const QString now = recordtext::currentTimestamp();
    QVERIFY2(recordtext::timestampMsecs(now) >= 0, qPrintable(now));
    QCOMPARE(recordtext::recordIdText(0x123, true), QStringLiteral("123"));
    QCOMPARE(recordtext::recordIdText(0x5, true), QStringLiteral("005"));
    QCOMPARE(recordtext::recordIdText(0x123, false), QStringLiteral("00000123"));
    QCOMPARE(recordtext::recordIdText(0x1ABC, true), QStringLiteral("1ABC"));
    QCOMPARE(recordtext::recordIdText(0xFFFFFFFF, false), QStringLiteral("FFFFFFFF"));
}

void TestProtocol::configurationCommand_data()
{
    QTest::addColumn<QString>("rate");
    QTest::addColumn<bool>("extended");
    QTest::addColumn<quint32>("filter");
    QTest::addColumn<quint32>("mask");
    QTest::addColumn<QByteArray>("expected");
    const auto row = [](const char *rate, const char *bytes) {
        QTest::newRow(rate) << QString(rate) << false << 0u << 0u << hex(bytes);
    };
    row("33.333 kbps", "AA 55 03 00 01 00 00 00 00 00 00 00 00 02 05 04 5A 00 00 69");
    row("50 kbps", "AA 55 02 09 01 00 00 00 00 00 00 00 00 02 00 00 00 00 00 0E");
    row("83.333 kbps", "AA 55 03 00 01 00 00 00 00 00 00 00 00 02 05 04 24 00 00 33");
    row("100 kbps", "AA 55 02 08 01 00 00 00 00 00 00 00 00 02 00 00 00 00 00 0D");
    row("125 kbps", "AA 55 02 07 01 00 00 00 00 00 00 00 00 02 00 00 00 00 00 0C");
    row("250 kbps", "AA 55 02 05 01 00 00 00 00 00 00 00 00 02 00 00 00 00 00 0A");
    row("500 kbps", "AA 55 02 03 01 00 00 00 00 00 00 00 00 02 00 00 00 00 00 08");
    row("", "");
    row("500 Kbps", "");
    row("500 kbps ", "");
    row("1000 kbps", "");
    QTest::newRow("extended, filter and mask")
        << "500 kbps" << true << 0x18FEF100u << 0x1FFFFFFFu
        << hex("AA 55 02 03 02 00 F1 FE 18 FF FF FF 1F 02 00 00 00 00 00 2C");
}

void TestProtocol::configurationCommand()
{
    QFETCH(QString, rate);
    QFETCH(bool, extended);
    QFETCH(quint32, filter);
    QFETCH(quint32, mask);
    QFETCH(QByteArray, expected);
    QCOMPARE(wire::buildConfigurationCommand(rate, extended, filter, mask).toHex(' '), expected.toHex(' '));
    // The rate table knows exactly the names that make a command.
    QCOMPARE(wire::findCanRate(rate) != nullptr, !expected.isEmpty());
}

void TestProtocol::filterListCommand_data()
{
    QTest::addColumn<bool>("exclude");
    QTest::addColumn<bool>("on");
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QByteArray>("expected");
    const QByteArray esc = hex("0D 0D 0A 45 52 52 4F 52 0D 0A");
    QTest::newRow("off, show listed") << false << false << QStringList{} << hex("AA 55 10 00 10");
    QTest::newRow("off, entries ignored") << true << false << QStringList{"123", "18fef100"} << hex("AA 55 11 00 11");
    QTest::newRow("exclude one") << true << true << QStringList{"18fef100"} << hex("AA 55 11 01 00 F1 FE 18 19");
    QTest::newRow("show two") << false << true << QStringList{"7ff", "123"}
                              << hex("AA 55 10 02 FF 07 00 00 23 01 00 00 3C");
    QTest::newRow("escaped 0D") << false << true << QStringList{"0000010d"} << hex("AA 55 10 01") + esc + hex("01 00 00 D7");
    QTest::newRow("sum up to byte 18") << true << true << QStringList{"0D0D0D0D"} << hex("AA 55 11 01") + esc.repeated(4) + hex("92");
    QTest::newRow("above 7FFFFFFF") << false << true << QStringList{"80000000"} << hex("AA 55 10 01 00 00 00 00 11");
    QTest::newRow("7FFFFFFF") << false << true << QStringList{"7fffffff"} << hex("AA 55 10 01 FF FF FF 7F 8D");
}

void TestProtocol::filterListCommand()
{
    QFETCH(bool, exclude);
    QFETCH(bool, on);
    QFETCH(QStringList, entries);
    QFETCH(QByteArray, expected);
    QCOMPARE(wire::buildFilterListCommand(exclude, on, entries).toHex(' '), expected.toHex(' '));
}

void TestProtocol::filterListOfMoreThan255Entries()
{
    QStringList entries; // 257 of them: count byte 1, all sent, 0x10D escaped (nine bytes more)
    for (int i = 0; i < 257; ++i)
        entries << QString::number(0x100 + i, 16);
    const QByteArray c = wire::buildFilterListCommand(false, true, entries);
    QCOMPARE(c.size(), 4 + 257 * 4 + 9 + 1);
    QCOMPARE(c.mid(2, 2) + c.mid(4 + 256 * 4 + 9), hex("10 01 00 02 00 00 1B"));
}

void TestProtocol::cutter_data()
{
    QTest::addColumn<QList<QByteArray>>("reads");
    QTest::addColumn<QString>("trace");
    const QByteArray only55 = with(F7FF, 0, 0);
    // Per read: identifier of each valid slice, x for an invalid one, then /buffer size.
    QTest::newRow("stream starts mid-frame") << QList<QByteArray>{F7FF.right(7) + F101 + F18FEF100}
                                            << "101 18fef100 /0";
    QTest::newRow("two frames and 7 bytes") << QList<QByteArray>{F101 + F18FEF100 + F7FF.left(7), F7FF.mid(7)}
                                           << "101 18fef100 /7 7ff /0";
    QTest::newRow("split frames") << QList<QByteArray>{F101.left(15), F101.mid(15) + F18FEF100.left(3), F18FEF100.mid(3)}
                                  << "/15 101 /3 18fef100 /0";
    QTest::newRow("bad slice, next one 20 on") << QList<QByteArray>{with(F101, 12, 0x7F) + F18FEF100}
                                              << "x 18fef100 /0";
    QTest::newRow("no resync between slices") << QList<QByteArray>{hex("AA 00 00 00 00") + F101 + F18FEF100, F7FF}
                                             << "x x /5 7ff /0";
    QTest::newRow("start by 0x55 alone") << QList<QByteArray>{hex("01 02 03") + only55} << "7ff /0";
    QTest::newRow("lone first byte of xx 55") << QList<QByteArray>{only55.left(1), only55.mid(1) + F101} << "/0 101 /0";
    QTest::newRow("trailing AA kept") << QList<QByteArray>{hex("01 02 AA"), F101.mid(1), hex("77"), F18FEF100}
                                      << "/1 101 /0 /0 18fef100 /0";
    QList<QByteArray> bytewise; // one byte per read
    QString bytewiseTrace;
    const QByteArray three = F101 + F18FEF100 + F7FF;
    for (int i = 0; i < 60; ++i) {
        bytewise << three.mid(i, 1);
        bytewiseTrace += i % 20 < 19 ? QString("/%1 ").arg(i % 20 + 1)
                                     : QStringList{"101", "18fef100", "7ff"}[i / 20] + " /0 ";
    }
    QTest::newRow("one byte per read") << bytewise << bytewiseTrace.trimmed();
}

void TestProtocol::cutter()
{
    QFETCH(QList<QByteArray>, reads);
    QFETCH(QString, trace);
    QString got;
    QByteArray buffer;
    for (const QByteArray &read : reads) {
        wire::cutFrames(buffer += read, [&](const char *s) {
            got += valid(s) ? QString::number(wire::parseFrame({s, STAMP}).id, 16) + ' ' : "x ";
        });
        got += QString("/%1 ").arg(buffer.size());
    }
    QCOMPARE(got, trace + ' ');
}

void TestProtocol::cutterNeverKeepsAFrame()
{
    QByteArray buffer; // whatever arrives, every read leaves less than a frame behind
    for (quint32 read = 0, seed = 12345; read < 500; ++read) {
        for (int i = 0; i < 37; ++i)
            buffer.append(read % 2 ? char(0x55) : char((seed = seed * 1103515245u + 12345u) >> 24));
        wire::cutFrames(buffer, [](const char *) {});
        QVERIFY(buffer.size() < wire::FRAME_SIZE);
    }
}

QTEST_GUILESS_MAIN(TestProtocol)
#include "test_protocol.moc"
