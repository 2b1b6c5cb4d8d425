// Byte formats of the adapter link: frame check and parse, configuration and
// filter-list commands, and the frame cutter of the reader loop.

#include "protocol.h"

#include <QtTest>

static QByteArray hex(const char *text) { return QByteArray::fromHex(QByteArray(text).replace(' ', "")); }
static QByteArray with(QByteArray f, int at, int value) { f[at] = char(value); return f; }

class TestProtocol : public QObject
{
    Q_OBJECT

private slots:
    void frameCheckAndParse()
    {
        const QByteArray f = wire::buildAdapterFrame(0x100, true, hex("AB"));
        auto withLength = [](int n) { // byte 18 set, so that lengths 9 and 10 show it
            return with(wire::buildAdapterFrame(0x7E0, true, hex("01 A2 FF 10 20 30 40 50"), n), 18, 0x5A);
        };
        const QString nine = "01 A2 FF 10 20 30 40 50 5A ";
        // Frame, identifier and its text (none: the frame check fails), payload text.
        const struct { QByteArray frame; const char *id; QString payload; } cases[] = {
            {hex("AA 55 00 02 00 00 F1 FE 18 08 11 22 33 44 55 66 77 88 00 75"), "18fef100 18FEF100",
             "11 22 33 44 55 66 77 88 "},
            {wire::buildAdapterFrame(0x123, true, {}), "123 123", ""}, // identifier kinds 1 and 2
            {wire::buildAdapterFrame(0x123, false, {}), "123 00000123", ""},
            {with(with(f, 3, 0), 19, f[19] - 1), "100 00000100", "AB "}, // identifier kind 0
            {wire::buildAdapterFrame(0x1ABC, true, {}), "1abc 1ABC", ""},
            {withLength(3), "7e0 7E0", "01 A2 FF "}, {withLength(9), "7e0 7E0", nine},
            {withLength(10), "7e0 7E0", nine + QString::asprintf("%02X ", quint8(withLength(10)[19]))},
            {withLength(13), "7e0 7E0", nine + QString::asprintf("%02X 00 00 00 ", quint8(withLength(13)[19]))},
            {with(f, 0, 0), "100 100", "AB "}, {with(f, 1, 0x12), "100 100", "AB "}, // only 0x55 / only 0xAA
            {withLength(0x80), "7e0 7E0", ""}, {with(f, 18, 0x33), "100 100", "AB "}, // length < 0; byte 18 unsummed
            {with(with(f, 0, 0x55), 1, 0xAA), "", ""}, {with(f, 19, f[19] + 1), "", ""},
            {with(f, 17, 1), "", ""} /* byte 17 is summed */, {hex("AA 55 00 01 00"), "", ""}, // short slice
            {f + hex("00"), "", ""}, // long slice
        };
        const QString stamp = wire::currentTimestamp();
        QVERIFY(QRegularExpression("^[0-2]\\d:[0-5]\\d:[0-5]\\d\\.\\d{3}$").match(stamp).hasMatch());
        auto shown = [](const wire::CanMessage &m) { return QString::number(m.id, 16) + ' ' + m.record.join('|'); };
        for (const auto &c : cases) {
            const wire::AdapterFrame af{c.frame, stamp};
            QCOMPARE(wire::isValidFrame(c.frame), wire::isValidFrame(af)); // byte-array form
            QCOMPARE(wire::parseFrame(c.frame, stamp).record, wire::parseFrame(af).record);
            const bool raw = c.frame.size() == wire::FRAME_SIZE && wire::isValidFrame(c.frame.constData());
            QString got = c.frame.toHex(' ') + QString(" %1%2").arg(wire::isValidFrame(af)).arg(raw);
            if (*c.id) // both forms of the parser
                got += ' ' + shown(wire::parseFrame(af)) + ' ' + shown(wire::parseFrame(c.frame.constData(), stamp));
            const QString expected = QString(c.id).replace(' ', ' ' + stamp + '|') + '|' + c.payload;
            QCOMPARE(got, c.frame.toHex(' ') + (*c.id ? " 11 " + expected + ' ' + expected : " 00"));
        }
        QCOMPARE(wire::buildAdapterFrame(0x18FEF100, false, hex("11 22 33 44 55 66 77 88")), cases[0].frame);
    }

    void commands()
    {
        // Bytes 2, 3, 14, 15, 16, 19 of each rate (standard, identifiers 0); none: no command.
        const struct { const char *rate, *bytes; } rates[] = {
            {"33.333 kbps", "03 00 05 04 5A 69"}, {"50 kbps", "02 09 00 00 00 0E"}, {"83.333 kbps", "03 00 05 04 24 33"},
            {"100 kbps", "02 08 00 00 00 0D"}, {"125 kbps", "02 07 00 00 00 0C"}, {"250 kbps", "02 05 00 00 00 0A"},
            {"500 kbps", "02 03 00 00 00 08"}, {"", ""}, {"500 Kbps", ""}, {"500 kbps ", ""}, {"1000 kbps", ""}};
        for (const auto &r : rates) {
            const QByteArray b = hex(r.bytes), ids = hex("01 00 00 00 00 00 00 00 00 02");
            QCOMPARE(wire::buildConfigurationCommand(r.rate, false, 0, 0),
                     b.isEmpty() ? b : hex("AA 55") + b.left(2) + ids + b.mid(2, 3) + hex("00 00") + b.right(1));
        }
        QCOMPARE(wire::buildConfigurationCommand("500 kbps", true, 0x18FEF100, 0x1FFFFFFF).toHex(' '),
                 QByteArray("aa 55 02 03 02 00 f1 fe 18 ff ff ff 1f 02 00 00 00 00 00 2c"));

        const QByteArray esc = hex("0D 0D 0A 45 52 52 4F 52 0D 0A");
        const struct { bool exclude, on; QStringList entries; QByteArray expected; } lists[] = {
            {false, false, {}, hex("AA 55 10 00 10")}, {true, false, {"123", "18fef100"}, hex("AA 55 11 00 11")},
            {true, true, {"18fef100"}, hex("AA 55 11 01 00 F1 FE 18 19")},
            {false, true, {"7ff", "123"}, hex("AA 55 10 02 FF 07 00 00 23 01 00 00 3C")},
            {false, true, {"0000010d"}, hex("AA 55 10 01") + esc + hex("01 00 00 D7")},
            {true, true, {"0D0D0D0D"}, hex("AA 55 11 01") + esc.repeated(4) + hex("92")}, // sum up to byte 18
            {false, true, {"80000000"}, hex("AA 55 10 01 00 00 00 00 11")},
            {false, true, {"7fffffff"}, hex("AA 55 10 01 FF FF FF 7F 8D")},
        };
        for (const auto &c : lists)
            QCOMPARE(wire::buildFilterListCommand(c.exclude, c.on, c.entries).toHex(' '), c.expected.toHex(' '));
        QStringList entries; // 257 of them: count byte 1, all sent, 0x10D escaped (nine bytes more)
        for (int i = 0; i < 257; ++i)
            entries << QString::number(0x100 + i, 16);
        const QByteArray c = wire::buildFilterListCommand(false, true, entries);
        QCOMPARE(c.mid(2, 2) + c.mid(4 + 256 * 4 + 9), hex("10 01 00 02 00 00 1B"));
    }

    void cutter()
    {
        // Payloads without 0xAA or 0x55, so that no false frame start hides inside.
        const QByteArray f1 = wire::buildAdapterFrame(0x101, true, hex("01 02 03 04 05 06 07 08"));
        const QByteArray f2 = wire::buildAdapterFrame(0x18FEF100, false, hex("11 22 33 44"));
        const QByteArray f3 = wire::buildAdapterFrame(0x7FF, true, hex("99")), only55 = with(f3, 0, 0);
        QList<QByteArray> bytewise; // one byte per read
        QString bytewiseTrace;
        for (int i = 0; i < 60; ++i) {
            bytewise << (f1 + f2 + f3).mid(i, 1);
            bytewiseTrace += i % 20 < 19 ? QString("/%1 ").arg(i % 20 + 1)
                                         : QStringList{"101", "18fef100", "7ff"}[i / 20] + " /0 ";
        }
        // Per read: identifier of each valid slice, x for an invalid one, then /buffer size.
        const struct { QList<QByteArray> reads; QString trace; } cases[] = {
            {{f3.right(7) + f1 + f2}, "101 18fef100 /0"},
            {{f1 + f2 + f3.left(7), f3.mid(7)}, "101 18fef100 /7 7ff /0"},
            {{f1.left(15), f1.mid(15) + f2.left(3), f2.mid(3)}, "/15 101 /3 18fef100 /0"},
            {{with(f1, 12, 0x7F) + f2}, "x 18fef100 /0"},             // next slice still 20 bytes on
            {{hex("AA 00 00 00 00") + f1 + f2, f3}, "x x /5 7ff /0"}, // no resync between slices
            {{hex("01 02 03") + only55}, "7ff /0"},
            {{only55.left(1), only55.mid(1) + f1}, "/0 101 /0"},
            {{hex("01 02 AA"), f1.mid(1), hex("77"), f2}, "/1 101 /0 /0 18fef100 /0"},
            {bytewise, bytewiseTrace},
        };
        for (const auto &c : cases) {
            QString trace;
            QByteArray buffer;
            for (const QByteArray &read : c.reads) {
                wire::cutFrames(buffer += read, [&](const char *s) {
                    trace += wire::isValidFrame(s) ? QString::number(wire::parseFrame(s, {}).id, 16) + ' ' : "x ";
                });
                trace += QString("/%1 ").arg(buffer.size());
            }
            QCOMPARE(trace, c.trace.trimmed() + ' ');
        }
        QByteArray buffer; // whatever arrives, every read leaves less than a frame behind
        for (quint32 read = 0, seed = 12345; read < 500; ++read) {
            for (int i = 0; i < 37; ++i)
                buffer.append(read % 2 ? char(0x55) : char((seed = seed * 1103515245u + 12345u) >> 24));
            wire::cutFrames(buffer, [](const char *) {});
            QVERIFY(buffer.size() < wire::FRAME_SIZE);
        }
    }
};

QTEST_GUILESS_MAIN(TestProtocol)
#include "test_protocol.moc"
