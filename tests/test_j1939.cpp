// J1939: identifier fields worked by hand, transport sessions from the truck
// logs and the rules of sequence, repetition, timeout, abort and replacement,
// the bounded number of open sessions under a flood, DM1 trouble codes, the
// identification texts, the NAME of an address claim, and the JSON summary
// "vornix-dump j1939 --json" gives of a short log.

#include "j1939/addressclaim.h"
#include "j1939/diagnostics.h"
#include "j1939/identification.h"
#include "j1939/identifier.h"
#include "j1939/transport.h"
#include "tests/support/recording.h"
#include "tests/support/runprogram.h"

#include <QtTest>

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

const quint8 *bytes(const QByteArray &data)
{
    return reinterpret_cast<const quint8 *>(data.constData());
}

// Frames given as candump -L lines, one per line.
std::vector<formats::CanFrame> candumpFrames(const QByteArray &lines)
{
    const Recording r = readRecording(lines, formats::Format::Candump);
    if (!r.problem().isEmpty())
        qFatal("bad candump line: %s", qPrintable(r.problem()));
    return r.frames;
}

// "bam rts complete aborted incomplete" after finish(), and the messages'
// bytes in hexadecimal, one per message, separated by blanks.
struct Outcome {
    QString counts;
    QString messages;
};

Outcome reassemble(const QByteArray &lines, int maxOpenSessions = j1939::TransportReassembler::DEFAULT_MAX_OPEN_SESSIONS)
{
    j1939::TransportReassembler reassembler(maxOpenSessions);
    QStringList messages;
    for (const formats::CanFrame &f : candumpFrames(lines)) {
        if (const j1939::TransportMessage *m = reassembler.add(f.timeUs, f.id, bytes(f.data), f.data.size()))
            messages << QStringLiteral("%1:%2>%3:").arg(m->pgn).arg(m->source).arg(m->destination)
                            + QByteArray(reinterpret_cast<const char *>(m->data), m->size).toHex().toUpper();
    }
    reassembler.finish();
    const j1939::TransportCounts &c = reassembler.counts();
    return {QStringLiteral("%1 %2 %3 %4 %5").arg(c.bam).arg(c.rts).arg(c.complete).arg(c.aborted).arg(c.incomplete),
            messages.join(QLatin1Char(' '))};
}

// The brakes' DM1 broadcast of sampletruck.candump.log.gz (lines 32 to 43,
// its own frames in between), and its 30 bytes put together by hand.
const char TRUCK_BAM[] = "(1477899735.639835) can0 1CECFF0B#201E0005FFCAFE00\n"
                         "(1477899735.689625) can0 1CEBFF0B#0104FF7302047F2B\n"
                         "(1477899735.719739) can0 18F0010B#C0FFF0FFFF5CFFFF\n"
                         "(1477899735.729819) can0 18FEBF0B#00007D7D7D7DFFFF\n"
                         "(1477899735.739965) can0 18FEBF0B#00007D7D7D7DFFFF\n"
                         "(1477899735.740548) can0 1CEBFF0B#0203027F1503027F\n"
                         "(1477899735.790274) can0 1CEBFF0B#031603027F180302\n"
                         "(1477899735.820400) can0 18F0010B#C0FFF0FFFF5CFFFF\n"
                         "(1477899735.830477) can0 18FEBF0B#00007D7D7D7DFFFF\n"
                         "(1477899735.840624) can0 18FEBF0B#00007D7D7D7DFFFF\n"
                         "(1477899735.841186) can0 1CEBFF0B#047F1703027F6302\n"
                         "(1477899735.890901) can0 1CEBFF0B#050E7FFFFFFFFFFF\n";
const char TRUCK_DM1[] = "04FF7302047F2B03027F1503027F1603027F1803027F1703027F63020E7F";

// A connection: the engine's request to send its VIN to the service tool
// (decodinggui.candump.log.gz, 18 bytes in 3 packets, at most 3 a CTS), the
// tool's CTS and acknowledgement written by hand (the log has none: the tool
// was not on the bus), and the packets the engine broadcast its VIN with in
// the same log, sent to the tool.
const char RTS[] = "(1.000000) can0 1CECF900#1012000303ECFE00\n";
const char CTS_ALL[] = "(1.010000) can0 1CEC00F9#110301FFFFECFE00\n";
const char PACKET_1[] = "(1.020000) can0 1CEBF900#0131584B5A445039\n";
const char PACKET_2[] = "(1.030000) can0 1CEBF900#025836464A343634\n";
const char PACKET_3[] = "(1.040000) can0 1CEBF900#033034382AFFFFFF\n";
const char ACK[] = "(1.050000) can0 1CEC00F9#13120003FFECFE00\n";
const char VIN_MESSAGE[] = "65260:0>249:31584B5A445039583646" "4A343634303438" "2A";

// A broadcast of 11 bytes in 2 packets, for the rules.
const char BAM[] = "(2.000000) can0 18ECFF00#200B0002FFDAFE00\n";
const char BAM_1[] = "(2.050000) can0 18EBFF00#0101504334313233\n";
const char BAM_2[] = "(2.100000) can0 18EBFF00#023435362AFFFFFF\n";
const char BAM_MESSAGE[] = "65242:0>255:0150433431323334" "35362A";

QByteArray join(std::initializer_list<const char *> lines)
{
    QByteArray out;
    for (const char *line : lines)
        out += line;
    return out;
}

// The same line at another time (seconds and fraction as text).
QByteArray at(const char *time, const char *line)
{
    QByteArray text(line);
    return "(" + QByteArray(time) + text.mid(text.indexOf(')'));
}

QString codes(const j1939::DiagnosticMessage &message)
{
    QStringList out;
    for (const j1939::TroubleCode &c : message.codes)
        out << QStringLiteral("%1/%2/%3%4").arg(c.spn).arg(c.fmi).arg(c.occurrences).arg(c.conversionMethod ? "/CM" : "");
    return out.join(QLatin1Char(' '));
}

} // namespace

class TestJ1939 : public QObject
{
    Q_OBJECT

private slots:
    void identifiers_data();
    void identifiers();
    void sessions_data();
    void sessions();
    void floodOfAnnouncements();
    void troubleCodes_data();
    void troubleCodes();
    void texts_data();
    void texts();
    void addressClaimName();
    void summaryJson();
};

void TestJ1939::identifiers_data()
{
    QTest::addColumn<quint32>("id");
    QTest::addColumn<int>("priority");
    QTest::addColumn<int>("edp");
    QTest::addColumn<int>("dp");
    QTest::addColumn<quint32>("pgn");
    QTest::addColumn<int>("sa");
    QTest::addColumn<int>("da");

    // 0x18EFE80B: 0 0011 0 0 1110'1111 1110'1000 0000'1011; PF 239 < 240 is
    // PDU1, PS 232 the destination, PGN 0xEF00.
    QTest::newRow("PDU1 to a destination") << 0x18EFE80Bu << 6 << 0 << 0 << 61184u << 11 << 232;
    // 0x0CF00400: priority 011, PF 240 is PDU2, PGN 0xF004, to all.
    QTest::newRow("PDU2") << 0x0CF00400u << 3 << 0 << 0 << 61444u << 0 << 255;
    // 0x19FEF100: bit 24 set, PGN 0x1FEF1.
    QTest::newRow("PDU2 on data page 1") << 0x19FEF100u << 6 << 0 << 1 << 130801u << 0 << 255;
    // 0x0BD93331: priority 010, bits 25 and 24 set, PF 0xD9 PDU1:
    // PGN 2^17 + 2^16 + 0xD900.
    QTest::newRow("PDU1 on both data pages") << 0x0BD93331u << 2 << 1 << 1 << 252160u << 49 << 51;
}

void TestJ1939::identifiers()
{
    QFETCH(quint32, id);
    QTEST(int(j1939::priority(id)), "priority");
    QTEST(int(j1939::extendedDataPage(id)), "edp");
    QTEST(int(j1939::dataPage(id)), "dp");
    QFETCH(quint32, pgn);
    QCOMPARE(j1939::pgn(id), pgn);
    QFETCH(int, sa);
    QFETCH(int, da);
    QCOMPARE(int(j1939::sourceAddress(id)), sa);
    QCOMPARE(int(j1939::destinationAddress(id)), da);
    // The builder the tools and tests make identifiers with is the inverse.
    QCOMPARE(j1939::identifier(j1939::priority(id), pgn, quint8(sa), quint8(da)), id);
}

void TestJ1939::sessions_data()
{
    QTest::addColumn<QByteArray>("lines");
    QTest::addColumn<QString>("counts"); // bam rts complete aborted incomplete
    QTest::addColumn<QString>("messages");

    const QString one = QStringLiteral("1 0 1 0 0");
    QTest::newRow("broadcast from the truck log") << QByteArray(TRUCK_BAM) << one
                                                  << QStringLiteral("65226:11>255:") + TRUCK_DM1;
    QTest::newRow("connection") << join({RTS, CTS_ALL, PACKET_1, PACKET_2, PACKET_3, ACK}) << "0 1 1 0 0"
                                << VIN_MESSAGE;
    // CTS for one packet at a time; the sender waits 5 s for the second
    // CTS (no timeout while waiting), which asks for packet 2 again.
    QTest::newRow("connection, packet by packet, retransmission")
        << join({RTS, "(1.010000) can0 1CEC00F9#110101FFFFECFE00\n", PACKET_1,
                 "(6.000000) can0 1CEC00F9#110102FFFFECFE00\n", at("6.01", PACKET_2),
                 "(6.020000) can0 1CEC00F9#110102FFFFECFE00\n", at("6.03", PACKET_2),
                 "(6.040000) can0 1CEC00F9#110103FFFFECFE00\n", at("6.05", PACKET_3)})
        << "0 1 1 0 0" << VIN_MESSAGE;
    QTest::newRow("aborted by the sender (truck log)")
        << QByteArray("(1477899739.967697) can0 18ECF900#100A000202DAFE00\n"
                      "(1477899741.227655) can0 18ECF900#FF03FFFFFFDAFE00\n")
        << "0 1 0 1 0" << QString();
    QTest::newRow("aborted by the receiver")
        << join({RTS, CTS_ALL, PACKET_1, "(1.025000) can0 1CEC00F9#FF02FFFFFFECFE00\n", PACKET_2, PACKET_3})
        << "0 1 0 1 0" << QString();
    QTest::newRow("repeated frames skipped")
        << join({BAM, BAM, BAM_1, at("2.06", BAM_1), BAM_2}) << one << BAM_MESSAGE;
    QTest::newRow("repeated sequence number, other bytes")
        << join({BAM, BAM_1, "(2.060000) can0 18EBFF00#0101504334313299\n", BAM_2}) << "1 0 0 0 1" << QString();
    QTest::newRow("out of order") << join({BAM, BAM_2, BAM_1}) << "1 0 0 0 1" << QString();
    QTest::newRow("missing packet") << join({RTS, CTS_ALL, PACKET_1, PACKET_3}) << "0 1 0 0 1" << QString();
    QTest::newRow("data before any CTS is ignored")
        << join({RTS, PACKET_1, CTS_ALL, PACKET_1, PACKET_2, PACKET_3}) << "0 1 1 0 0" << VIN_MESSAGE;
    QTest::newRow("broadcast 750 ms apart is in time")
        << join({BAM, at("2.75", BAM_1), at("3.5", BAM_2)}) << one << BAM_MESSAGE;
    QTest::newRow("broadcast timed out")
        << join({BAM, BAM_1, at("2.800001", BAM_2)}) << "1 0 0 0 1" << QString();
    QTest::newRow("connection timed out after a CTS")
        << join({RTS, CTS_ALL, PACKET_1, at("1.800001", PACKET_2), PACKET_3}) << "0 1 0 0 1" << QString();
    QTest::newRow("a timed out connection is not aborted")
        << join({RTS, CTS_ALL, "(1.800000) can0 1CEC00F9#FF03FFFFFFECFE00\n"}) << "0 1 0 0 1" << QString();
    QTest::newRow("new announcement replaces the running one")
        << join({BAM, BAM_1, "(2.060000) can0 1CECFF00#200B0002FFDAFE00\n", at("2.07", BAM_1), at("2.08", BAM_2)})
        << "2 0 1 0 1" << BAM_MESSAGE;
    QTest::newRow("open at the end") << join({BAM, BAM_1, RTS}) << "1 1 0 0 2" << QString();
    QTest::newRow("sizes 0, 1786, more than the packets hold")
        << QByteArray("(1.0) can0 18ECFF00#20000001FFDAFE00\n"
                      "(1.1) can0 18ECFF01#20FA06FFFFDAFE00\n"
                      "(1.2) can0 18ECFF02#200F0002FFDAFE00\n")
        << "3 0 0 0 3" << QString();
    QTest::newRow("BAM to one address, RTS to all: neither")
        << QByteArray("(1.0) can0 18ECF900#200A0002FFDAFE00\n"
                      "(1.1) can0 18ECFF00#100A000202DAFE00\n")
        << "0 0 0 0 0" << QString();
}

void TestJ1939::sessions()
{
    QFETCH(QByteArray, lines);
    const Outcome outcome = reassemble(lines);
    QTEST(outcome.counts, "counts");
    QTEST(outcome.messages, "messages");
}

void TestJ1939::floodOfAnnouncements()
{
    // A broadcast in progress while 20000 connections are requested from
    // distinct pairs of addresses and never granted: the requests push out
    // each other, the broadcast (the idlest session) completes.
    const int cap = 64;
    j1939::TransportReassembler reassembler(cap);
    const auto add = [&](qint64 us, const char *line) {
        const formats::CanFrame f = candumpFrames(line).at(0);
        return reassembler.add(us, f.id, bytes(f.data), f.data.size());
    };
    QVERIFY(!add(0, BAM));
    const QByteArray rts = hex("100A000202DAFE00");
    for (int i = 0; i < 20000; ++i) {
        const quint32 id = j1939::identifier(7, j1939::PGN_TP_CONNECTION, quint8(i), quint8(i >> 8));
        reassembler.add(1000 + i, id, bytes(rts), 8);
        QVERIFY(reassembler.openSessions() <= cap);
    }
    QVERIFY(!add(50000, BAM_1));
    const j1939::TransportMessage *message = add(100000, BAM_2);
    QVERIFY(message);
    QCOMPARE(message->size, 11);
    reassembler.finish();
    QCOMPARE(reassembler.counts().rts, 20000);
    QCOMPARE(reassembler.counts().incomplete, 20000);
    QCOMPARE(reassembler.counts().evicted, 20000 - (cap - 1));
}

void TestJ1939::troubleCodes_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("lamps"); // MIL red amber protect
    QTest::addColumn<QString>("codes"); // SPN/FMI/OC[/CM]

    // The brakes' DM1 above: 73 02 04 7F is SPN 0x273, FMI 4, 127
    // occurrences (not available); 63 02 0E 7F SPN 0x263, FMI 14.
    QTest::newRow("several codes (truck log)")
        << hex(TRUCK_DM1) << "0 0 1 0" << "627/4/127 811/2/127 789/2/127 790/2/127 792/2/127 791/2/127 611/14/127";
    // sampletruck's engine: malfunction lamp on, SPN 102 FMI 3 once.
    QTest::newRow("one code (truck log)") << hex("40FF66000301FFFF") << "1 0 0 0" << "102/3/1";
    QTest::newRow("no fault (truck log)") << hex("00FF00000000FFFF") << "0 0 0 0" << QString();
    QTest::newRow("not available") << hex("FFFFFFFFFFFFFFFF") << "3 3 3 3" << QString();
    // SPN bits 16-18 from the top of byte 4, conversion method bit.
    QTest::newRow("19-bit SPN, CM") << hex("55FF1234E585FFFF") << "1 1 1 1" << "472082/5/5/CM";
    QTest::newRow("short") << hex("0400") << "0 0 1 0" << QString();
}

void TestJ1939::troubleCodes()
{
    QFETCH(QByteArray, data);
    const j1939::DiagnosticMessage message = j1939::decodeDiagnosticMessage(bytes(data), data.size());
    const j1939::LampStatus &l = message.lamps;
    QTEST(QStringLiteral("%1 %2 %3 %4").arg(l.malfunction).arg(l.redStop).arg(l.amberWarning).arg(l.protect), "lamps");
    QTEST(codes(message), "codes");
}

void TestJ1939::texts_data()
{
    QTest::addColumn<QByteArray>("vin");
    QTest::addColumn<QByteArray>("component");
    QTest::addColumn<QByteArray>("software");
    QTest::addColumn<QString>("expected"); // VIN | make|model|serial|unit | ids

    // decodinggui's VIN and software identification; sampletruck's
    // component identification (three fields, one blank of padding).
    QTest::newRow("truck logs, trailing *")
        << QByteArray("1XKZDP9X6FJ464048*") << QByteArray("SYNER*SSS-MaxxForce*1R10004 ")
        << hex("01504334") + "__1284P4C_2*"
        << "1XKZDP9X6FJ464048 | SYNER|SSS-MaxxForce|1R10004| | PC4__1284P4C_2";
    QTest::newRow("without trailing *, padding")
        << QByteArray("1XKZDP9X6FJ464048\xFF\xFF", 19) << QByteArray(" Make  * Model\0\0*S*U*more", 25)
        << QByteArray("\x02" "A 1 *B\xFF*C", 10) << "1XKZDP9X6FJ464048 |  Make| Model|S|U | A 1,B";
    QTest::newRow("empty fields, count beyond the fields")
        << QByteArray("**\xFF") << QByteArray("**X") << QByteArray("\x05" "A**") << " | ||X| | A";
}

void TestJ1939::texts()
{
    QFETCH(QByteArray, vin);
    QFETCH(QByteArray, component);
    QFETCH(QByteArray, software);
    const j1939::ComponentIdentification c = j1939::componentIdentification(bytes(component), component.size());
    const QString text = QStringList{j1939::vehicleIdentification(bytes(vin), vin.size()),
                                     QStringList{c.make, c.model, c.serial, c.unit}.join('|'),
                                     j1939::softwareIdentification(bytes(software), software.size()).join(',')}
                             .join(QStringLiteral(" | "));
    QTEST(text, "expected");
}

void TestJ1939::addressClaimName()
{
    // Bytes 56 34 12 3C 8A 0B 45 D3, least significant first: identity
    // 0x123456; 0x3C12 >> 5 & 0x7FF = 480; 0x8A: ECU instance 010, function
    // instance 10001; function 0x0B; 0x45 >> 1 = 34; 0xD3: instance 0011,
    // industry group 101, arbitrary address capable.
    j1939::ControlUnitName name;
    const QByteArray data = hex("5634123C8A0B45D3");
    QVERIFY(j1939::controlUnitName(bytes(data), 8, name));
    QCOMPARE(name.value, Q_UINT64_C(0xD3450B8A3C123456));
    QCOMPARE(name.identityNumber, 0x123456u);
    QCOMPARE(int(name.manufacturerCode), 480);
    QCOMPARE(int(name.ecuInstance), 2);
    QCOMPARE(int(name.functionInstance), 17);
    QCOMPARE(int(name.function), 11);
    QCOMPARE(int(name.vehicleSystem), 34);
    QCOMPARE(int(name.vehicleSystemInstance), 3);
    QCOMPARE(int(name.industryGroup), 5);
    QVERIFY(name.arbitraryAddressCapable);
    QVERIFY(!j1939::controlUnitName(bytes(data), 7, name));
}

void TestJ1939::summaryJson()
{
    // A standard frame; the NAME above claimed by the engine; its DM1
    // broadcast with SPN 102 FMI 3 twice (one message, the last count) and
    // SPN 627, then 102 again in a single frame; the instrument cluster's
    // "no fault" DM1 and software identification; the engine's VIN in one
    // frame; the cluster's component identification over a connection to
    // the service tool; a connection aborted; a broadcast never finished.
    const QByteArray log = "(100.000000) can0 123#1122\n"
                           "(100.100000) can0 18EEFF00#5634123C8A0B45D3\n"
                           "(100.300000) can0 18ECFF00#200E0002FFCAFE00\n"
                           "(100.350000) can0 18EBFF00#0140FF6600030166\n"
                           "(100.400000) can0 18EBFF00#020003027302047F\n"
                           "(101.000000) can0 18FECA00#40FF66000305FFFF\n"
                           "(101.100000) can0 18FECA17#00FF00000000FFFF\n"
                           "(101.200000) can0 18FEEC00#4142432A\n"
                           "(101.300000) can0 18FEDA17#01312E302AFFFFFF\n"
                           "(101.400000) can0 1CECF917#100D000202EBFE00\n"
                           "(101.410000) can0 1CEC17F9#110201FFFFEBFE00\n"
                           "(101.420000) can0 1CEBF917#014D4B2A4D442A53\n"
                           "(101.430000) can0 1CEBF917#024E2A552AFFFFFF\n"
                           "(101.440000) can0 1CEC17F9#130D0002FFEBFE00\n"
                           "(101.500000) can0 18ECF900#100A000202DAFE00\n"
                           "(102.000000) can0 18ECF900#FF03FFFFFFDAFE00\n"
                           "(102.500000) can0 18ECFF17#200A0002FFDAFE00\n";
    const QByteArray expected =
        "{\"frames\": 17,\n"
        " \"extended_frames\": 16,\n"
        " \"sources\": [{\"sa\": 0, \"name\": \"Engine #1\", \"frames\": 8, \"pgns\": [60160, 60416, 60928, 65226, 65260]}, "
        "{\"sa\": 23, \"name\": \"Instrument Cluster #1\", \"frames\": 6, \"pgns\": [60160, 60416, 65226, 65242]}, "
        "{\"sa\": 249, \"name\": \"Off-board Diagnostic-Service Tool #1\", \"frames\": 2, \"pgns\": [60416]}],\n"
        " \"address_claims\": [{\"sa\": 0, \"name_hex\": \"D3450B8A3C123456\", \"manufacturer\": 480, \"function\": 11, "
        "\"industry_group\": 5, \"identity\": 1193046, \"ecu_instance\": 2, \"function_instance\": 17, \"vehicle_system\": 34, "
        "\"vehicle_system_instance\": 3, \"arbitrary_address_capable\": true}],\n"
        " \"transport\": {\"bam\": 2, \"rts\": 2, \"complete\": 2, \"aborted\": 1, \"incomplete\": 1},\n"
        " \"messages\": [{\"sa\": 0, \"pgn\": 65226, \"count\": 1, \"max_length\": 14}, "
        "{\"sa\": 23, \"pgn\": 65259, \"count\": 1, \"max_length\": 13}],\n"
        " \"vin\": [{\"sa\": 0, \"vin\": \"ABC\"}],\n"
        " \"components\": [{\"sa\": 23, \"make\": \"MK\", \"model\": \"MD\", \"serial\": \"SN\", \"unit\": \"U\"}],\n"
        " \"software\": [{\"sa\": 23, \"ids\": [\"1.0\"]}],\n"
        " \"faults\": [{\"sa\": 0, \"spn\": 102, \"fmi\": 3, \"oc\": 5, \"first_s\": 0.4, \"last_s\": 1, \"messages\": 2}, "
        "{\"sa\": 0, \"spn\": 627, \"fmi\": 4, \"oc\": 127, \"first_s\": 0.4, \"last_s\": 0.4, \"messages\": 1}]}\n";

    const ProgramRun dump = runProgram(QStringLiteral(VORNIX_DUMP_TOOL), {"j1939", "--json", "-"}, log);
    QCOMPARE(dump.err, QString());
    QCOMPARE(dump.status, 0);
    QCOMPARE(dump.out, QString::fromLatin1(expected));
}

QTEST_GUILESS_MAIN(TestJ1939)
#include "test_j1939.moc"
