// Byte formats of the adapter link: frame check and parse, configuration and
// filter-list commands, and the frame cutter of the reader loop.

#include "protocol.h"

#include <QTime>
#include <QVector>
#include <QtTest>

using QuintList = QVector<quint32>;
using SizeList = QVector<int>;
Q_DECLARE_METATYPE(QuintList)
Q_DECLARE_METATYPE(SizeList)

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

// Sets byte 19 to the sum of bytes 2..17.
QByteArray withChecksum(QByteArray frame)
{
    int sum = 0;
    for (int i = 2; i <= 17; ++i)
        sum += quint8(frame[i]);
    frame[19] = char(sum);
    return frame;
}

QByteArray frameWithLength(int lengthByte, char byte18 = 0)
{
    QByteArray f = wire::buildAdapterFrame(0x7E0, true, hex("01 A2 FF 10 20 30 40 50"), lengthByte);
    f[18] = byte18;
    return f;
}

struct CutResult {
    QuintList ids;
    int invalid = 0;
    SizeList sizes; // buffer size after each read
};

CutResult runReads(const QList<QByteArray> &reads)
{
    CutResult result;
    QByteArray buffer;
    for (const QByteArray &read : reads) {
        buffer.append(read);
        wire::cutFrames(buffer, [&](const char *slice) {
            if (!wire::isValidFrame(slice)) {
                ++result.invalid;
                return;
            }
            result.ids.append(wire::parseFrame(slice, QString()).id);
        });
        result.sizes.append(buffer.size());
    }
    return result;
}

QList<QByteArray> oneByteReads(const QByteArray &stream)
{
    QList<QByteArray> reads;
    for (char c : stream)
        reads.append(QByteArray(1, c));
    return reads;
}

} // namespace

class TestProtocol : public QObject
{
    Q_OBJECT

private slots:
    void frameCheckAndParse_data();
    void frameCheckAndParse();
    void adapterFrameMatchesReceivedExample();
    void configurationCommand_data();
    void configurationCommand();
    void configurationCommandExamples();
    void filterListCommand_data();
    void filterListCommand();
    void filterListCommandWithManyEntries();
    void cutter_data();
    void cutter();
    void garbageKeepsBufferBounded();
    void timestampText();
};

void TestProtocol::frameCheckAndParse_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<quint32>("id");
    QTest::addColumn<QString>("idText");
    QTest::addColumn<QString>("payload");

    QTest::newRow("received example")
        << hex("AA 55 00 02 00 00 F1 FE 18 08 11 22 33 44 55 66 77 88 00 75") << true
        << 0x18FEF100u << "18FEF100" << "11 22 33 44 55 66 77 88 ";
    QTest::newRow("standard 123, no data")
        << wire::buildAdapterFrame(0x123, true, {}) << true << 0x123u << "123" << "";
    QTest::newRow("extended 123")
        << wire::buildAdapterFrame(0x123, false, {}) << true << 0x123u << "00000123" << "";
    QByteArray kindZero = wire::buildAdapterFrame(0x123, true, {});
    kindZero[3] = 0;
    QTest::newRow("kind 0 shown as extended")
        << withChecksum(kindZero) << true << 0x123u << "00000123" << "";
    QTest::newRow("standard kind keeps all digits")
        << wire::buildAdapterFrame(0x1ABC, true, {}) << true << 0x1ABCu << "1ABC" << "";
    QTest::newRow("standard 7")
        << wire::buildAdapterFrame(0x7, true, {}) << true << 0x7u << "007" << "";
    QTest::newRow("no bits masked off")
        << wire::buildAdapterFrame(0xFFFFFFFF, false, {}) << true << 0xFFFFFFFFu << "FFFFFFFF" << "";
    QTest::newRow("length 3")
        << frameWithLength(3) << true << 0x7E0u << "7E0" << "01 A2 FF ";
    QTest::newRow("length 9 shows byte 18")
        << frameWithLength(9, char(0x5A)) << true << 0x7E0u << "7E0"
        << "01 A2 FF 10 20 30 40 50 5A ";
    const QByteArray ten = frameWithLength(10, char(0x5A));
    QTest::newRow("length 10 shows the checksum byte")
        << ten << true << 0x7E0u << "7E0"
        << "01 A2 FF 10 20 30 40 50 5A " + QString::asprintf("%02X ", quint8(ten[19]));
    QTest::newRow("length beyond the frame reads zeros")
        << frameWithLength(13) << true << 0x7E0u << "7E0"
        << "01 A2 FF 10 20 30 40 50 00 " + QString::asprintf("%02X ", quint8(frameWithLength(13)[19]))
               + "00 00 00 ";
    QTest::newRow("length 0x80 is empty")
        << frameWithLength(0x80) << true << 0x7E0u << "7E0" << "";
    QTest::newRow("length 0xFF is empty")
        << frameWithLength(0xFF) << true << 0x7E0u << "7E0" << "";

    QByteArray only55 = wire::buildAdapterFrame(0x100, true, hex("AB"));
    only55[0] = 0;
    QTest::newRow("header with only 0x55") << only55 << true << 0x100u << "100" << "AB ";
    QByteArray onlyAA = wire::buildAdapterFrame(0x100, true, hex("AB"));
    onlyAA[1] = 0x12;
    QTest::newRow("header with only 0xAA") << onlyAA << true << 0x100u << "100" << "AB ";
    QByteArray noHeader = wire::buildAdapterFrame(0x100, true, hex("AB"));
    noHeader[0] = 0x55;
    noHeader[1] = char(0xAA);
    QTest::newRow("no header") << noHeader << false << 0u << "" << "";
    QByteArray badSum = wire::buildAdapterFrame(0x100, true, hex("AB"));
    badSum[19] = char(badSum[19] + 1);
    QTest::newRow("wrong checksum") << badSum << false << 0u << "" << "";
    QByteArray dataChanged = wire::buildAdapterFrame(0x100, true, hex("AB"));
    dataChanged[17] = 1;
    QTest::newRow("data byte 7 is summed") << dataChanged << false << 0u << "" << "";
    QByteArray byte18 = wire::buildAdapterFrame(0x100, true, hex("AB"));
    byte18[18] = 0x33;
    QTest::newRow("byte 18 is not summed") << byte18 << true << 0x100u << "100" << "AB ";
    QTest::newRow("short slice") << hex("AA 55 00 01 00") << false << 0u << "" << "";
}

void TestProtocol::frameCheckAndParse()
{
    QFETCH(QByteArray, frame);
    QFETCH(bool, valid);

    const wire::AdapterFrame adapterFrame{frame, QStringLiteral("08:09:10.011")};
    QCOMPARE(wire::isValidFrame(adapterFrame), valid);
    if (frame.size() == wire::FRAME_SIZE)
        QCOMPARE(wire::isValidFrame(frame.constData()), valid);
    if (!valid)
        return;

    QFETCH(quint32, id);
    QFETCH(QString, idText);
    QFETCH(QString, payload);
    const wire::CanMessage message = wire::parseFrame(adapterFrame);
    QCOMPARE(message.id, id);
    QCOMPARE(message.record, QStringList({"08:09:10.011", idText, payload}));

    const wire::CanMessage raw = wire::parseFrame(frame.constData(), adapterFrame.timestamp);
    QCOMPARE(raw.id, id);
    QCOMPARE(raw.record, message.record);
}

void TestProtocol::adapterFrameMatchesReceivedExample()
{
    QCOMPARE(wire::buildAdapterFrame(0x18FEF100, false, hex("11 22 33 44 55 66 77 88")),
             hex("AA 55 00 02 00 00 F1 FE 18 08 11 22 33 44 55 66 77 88 00 75"));
    QCOMPARE(wire::buildAdapterFrame(0x123, true, hex("01 A2 FF")),
             hex("AA 55 00 01 00 23 01 00 00 03 01 A2 FF 00 00 00 00 00 00 CA"));
}

void TestProtocol::configurationCommand_data()
{
    QTest::addColumn<QString>("rate");
    QTest::addColumn<QByteArray>("rateBytes"); // bytes 2, 3, 14, 15, 16; empty: no command

    QTest::newRow("33.333") << "33.333 kbps" << hex("03 00 05 04 5A");
    QTest::newRow("50") << "50 kbps" << hex("02 09 00 00 00");
    QTest::newRow("83.333") << "83.333 kbps" << hex("03 00 05 04 24");
    QTest::newRow("100") << "100 kbps" << hex("02 08 00 00 00");
    QTest::newRow("125") << "125 kbps" << hex("02 07 00 00 00");
    QTest::newRow("250") << "250 kbps" << hex("02 05 00 00 00");
    QTest::newRow("500") << "500 kbps" << hex("02 03 00 00 00");
    QTest::newRow("empty entry") << "" << QByteArray();
    QTest::newRow("case differs") << "500 Kbps" << QByteArray();
    QTest::newRow("trailing blank") << "500 kbps " << QByteArray();
    QTest::newRow("unknown rate") << "1000 kbps" << QByteArray();
}

void TestProtocol::configurationCommand()
{
    QFETCH(QString, rate);
    QFETCH(QByteArray, rateBytes);

    const QByteArray c = wire::buildConfigurationCommand(rate, true, 0x18FEF100, 0x1FFFFFFF);
    if (rateBytes.isEmpty()) {
        QVERIFY(c.isEmpty());
        return;
    }
    QCOMPARE(c.size(), 20);
    QCOMPARE(c.left(2), hex("AA 55"));
    QCOMPARE(c.mid(2, 2) + c.mid(14, 3), rateBytes);
    QCOMPARE(quint8(c[4]), quint8(0x02));
    QCOMPARE(c.mid(5, 8), hex("00 F1 FE 18 FF FF FF 1F"));
    QCOMPARE(quint8(c[13]), quint8(0x02));
    QCOMPARE(c.mid(17, 2), hex("00 00"));
    int sum = 0;
    for (int i = 2; i <= 18; ++i)
        sum += quint8(c[i]);
    QCOMPARE(quint8(c[19]), quint8(sum));
}

void TestProtocol::configurationCommandExamples()
{
    QCOMPARE(wire::buildConfigurationCommand("500 kbps", false, 0, 0),
             hex("AA 55 02 03 01 00 00 00 00 00 00 00 00 02 00 00 00 00 00 08"));
    QCOMPARE(wire::buildConfigurationCommand("33.333 kbps", false, 0, 0),
             hex("AA 55 03 00 01 00 00 00 00 00 00 00 00 02 05 04 5A 00 00 69"));
}

void TestProtocol::filterListCommand_data()
{
    QTest::addColumn<bool>("exclude");
    QTest::addColumn<bool>("switchOn");
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("off, shown") << false << false << QStringList() << hex("AA 55 10 00 10");
    QTest::newRow("off sends no identifiers")
        << true << false << QStringList({"123", "18fef100"}) << hex("AA 55 11 00 11");
    QTest::newRow("on, exclude, 18FEF100")
        << true << true << QStringList({"18fef100"}) << hex("AA 55 11 01 00 F1 FE 18 19");
    QTest::newRow("on, shown, two entries in list order")
        << false << true << QStringList({"7ff", "123"})
        << hex("AA 55 10 02 FF 07 00 00 23 01 00 00 3C");
    QTest::newRow("on, empty list") << false << true << QStringList() << hex("AA 55 10 00 10");
    QTest::newRow("0x0D byte escaped")
        << false << true << QStringList({"0000010d"})
        << hex("AA 55 10 01 0D 0D 0A 45 52 52 4F 52 0D 0A 01 00 00 D7");
    QTest::newRow("every byte escaped, checksum up to offset 18")
        << true << true << QStringList({"0D0D0D0D"})
        << hex("AA 55 11 01") + hex("0D 0D 0A 45 52 52 4F 52 0D 0A").repeated(4) + hex("92");
    QTest::newRow("above 7FFFFFFF sent as 0")
        << false << true << QStringList({"80000000"}) << hex("AA 55 10 01 00 00 00 00 11");
    QTest::newRow("largest signed value kept")
        << false << true << QStringList({"7fffffff"}) << hex("AA 55 10 01 FF FF FF 7F 8D");
    QTest::newRow("not hexadecimal sent as 0")
        << false << true << QStringList({"xyz"}) << hex("AA 55 10 01 00 00 00 00 11");
}

void TestProtocol::filterListCommand()
{
    QFETCH(bool, exclude);
    QFETCH(bool, switchOn);
    QFETCH(QStringList, entries);
    QFETCH(QByteArray, expected);
    QCOMPARE(wire::buildFilterListCommand(exclude, switchOn, entries).toHex(' '), expected.toHex(' '));
}

void TestProtocol::filterListCommandWithManyEntries()
{
    QStringList entries;
    for (int i = 0; i < 257; ++i)
        entries << QString::number(0x100 + i, 16);
    const QByteArray c = wire::buildFilterListCommand(false, true, entries);

    // 0x10D among them is sent with the ten-byte escape, nine bytes longer.
    QCOMPARE(c.size(), 4 + 257 * 4 + 9 + 1);
    QCOMPARE(quint8(c[3]), quint8(1)); // 257 modulo 256
    QCOMPARE(c.mid(4 + 256 * 4 + 9, 4), hex("00 02 00 00")); // the last entry is still sent
    int sum = 0;
    for (int i = 2; i <= 18; ++i)
        sum += quint8(c[i]);
    QCOMPARE(quint8(c[c.size() - 1]), quint8(sum));
}

void TestProtocol::cutter_data()
{
    QTest::addColumn<QList<QByteArray>>("reads");
    QTest::addColumn<QuintList>("ids");
    QTest::addColumn<int>("invalid");
    QTest::addColumn<SizeList>("sizes");

    // Payloads without 0xAA or 0x55, so that no false frame start hides inside.
    const QByteArray f1 = wire::buildAdapterFrame(0x101, true, hex("01 02 03 04 05 06 07 08"));
    const QByteArray f2 = wire::buildAdapterFrame(0x18FEF100, false, hex("11 22 33 44"));
    const QByteArray f3 = wire::buildAdapterFrame(0x7FF, true, hex("99"));

    QTest::newRow("stream starts mid-frame")
        << QList<QByteArray>{f3.right(7) + f1 + f2} << QuintList{0x101, 0x18FEF100} << 0
        << SizeList{0};
    QTest::newRow("two frames and 7 bytes, then 13 more")
        << QList<QByteArray>{f1 + f2 + f3.left(7), f3.mid(7)}
        << QuintList{0x101, 0x18FEF100, 0x7FF} << 0 << SizeList{7, 0};
    QTest::newRow("15-byte remainder completed by the next read")
        << QList<QByteArray>{f1.left(15), f1.mid(15) + f2.left(3), f2.mid(3)}
        << QuintList{0x101, 0x18FEF100} << 0 << SizeList{15, 3, 0};

    QByteArray bad = f1;
    bad[12] = 0x7F;
    QTest::newRow("wrong checksum dropped, next slice cut 20 bytes on")
        << QList<QByteArray>{bad + f2} << QuintList{0x18FEF100} << 1 << SizeList{0};
    // A false start is not corrected between slices: both slices are lost, and
    // the tail left over is synchronised again with the next read.
    QTest::newRow("no synchronisation between slices")
        << QList<QByteArray>{hex("AA 00 00 00 00") + f1 + f2, f3} << QuintList{0x7FF} << 2
        << SizeList{5, 0};

    QByteArray only55 = wire::buildAdapterFrame(0x300, true, hex("01"));
    only55[0] = 0x00;
    QTest::newRow("header with only 0x55 after garbage")
        << QList<QByteArray>{hex("01 02 03") + only55} << QuintList{0x300} << 0 << SizeList{0};
    QTest::newRow("0x55 frame whose first byte arrives alone is lost")
        << QList<QByteArray>{only55.left(1), only55.mid(1) + f1} << QuintList{0x101} << 0
        << SizeList{0, 0};

    const QByteArray three = f1 + f2 + f3;
    SizeList byteSizes;
    for (int i = 1; i <= three.size(); ++i)
        byteSizes << i % 20;
    QTest::newRow("one byte per read")
        << oneByteReads(three) << QuintList{0x101, 0x18FEF100, 0x7FF} << 0 << byteSizes;

    QTest::newRow("trailing 0xAA kept, lone other byte dropped")
        << QList<QByteArray>{hex("01 02 AA"), f1.mid(1), hex("77"), f2}
        << QuintList{0x101, 0x18FEF100} << 0 << SizeList{1, 0, 0, 0};
}

void TestProtocol::cutter()
{
    QFETCH(QList<QByteArray>, reads);
    QFETCH(QuintList, ids);
    QFETCH(int, invalid);
    QFETCH(SizeList, sizes);

    const CutResult result = runReads(reads);
    QCOMPARE(result.ids, ids);
    QCOMPARE(result.invalid, invalid);
    QCOMPARE(result.sizes, sizes);
}

void TestProtocol::garbageKeepsBufferBounded()
{
    // Every read leaves less than a frame behind, whatever arrives.
    QByteArray buffer;
    quint32 seed = 12345;
    int slices = 0;
    for (int read = 0; read < 500; ++read) {
        QByteArray chunk;
        for (int i = 0; i < 37; ++i) {
            seed = seed * 1103515245u + 12345u;
            chunk.append(read % 2 ? char(0x55) : char(seed >> 24));
        }
        buffer.append(chunk);
        slices += wire::cutFrames(buffer, [](const char *) {});
        QVERIFY(buffer.size() < wire::FRAME_SIZE);
    }
    QVERIFY(slices > 0);
}

void TestProtocol::timestampText()
{
    const QTime before = QTime::currentTime();
    const QString text = wire::currentTimestamp();
    const QTime after = QTime::currentTime();
    QVERIFY2(QRegularExpression("^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d$").match(text).hasMatch(),
             qPrintable(text));
    const QTime stamped = QTime::fromString(text, "HH:mm:ss.zzz");
    QVERIFY(stamped.isValid());
    if (after >= before) // not across midnight
        QVERIFY2(before <= stamped && stamped <= after, qPrintable(text));
}

QTEST_GUILESS_MAIN(TestProtocol)
#include "test_protocol.moc"
