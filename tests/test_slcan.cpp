// The SLCAN bridge: the session's command table and frame lines against
// literal SLCAN bytes, garbage and over-long commands, the threaded bridge
// with a client that stops reading, and vornix-slcan with the real python-can
// slcan interface on its pseudo-terminal.

#include "sim/adapterwire.h"
#include "slcan/session.h"
#include "tests/support/fakeadapter.h"
#include "tools/slcan/bridge.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <chrono>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <unistd.h>

namespace {

const QString TOOL = QStringLiteral(VORNIX_SLCAN_TOOL);

// Configuration commands as the adapter takes them (standard identifiers,
// filter and mask 0), worked out by hand from the command's byte table.
const QByteArray CONFIG_125K = QByteArray::fromHex("aa550207010000000000000000020000000000" "0c");
const QByteArray CONFIG_250K = QByteArray::fromHex("aa550205010000000000000000020000000000" "0a");
const QByteArray CONFIG_500K = QByteArray::fromHex("aa550203010000000000000000020000000000" "08");
const QByteArray CONFIG_83K = QByteArray::fromHex("aa550300010000000000000000020504240000" "33");

// A session whose adapter writes are recorded.
struct Recorded {
    QByteArray adapter;
    bool adapterWorks = true;
    slcan::Session session;
    explicit Recorded(const wire::CanRate *fixed = nullptr)
        : session([this](const QByteArray &c) { adapter += c; return adapterWorks; }, fixed)
    {
    }
    QByteArray send(const QByteArray &bytes)
    {
        QByteArray reply;
        session.receive(bytes.constData(), bytes.size(), reply);
        return reply;
    }
    QByteArray frame(quint32 id, bool standard, const QByteArray &data, int length = -1, qint64 timeUs = 0)
    {
        char bytes[wire::FRAME_DATA_IN_FRAME] = {};
        std::copy(data.begin(), data.end(), bytes);
        ReceivedFrame f;
        f.timeUs = timeUs;
        f.id = id;
        f.standard = standard;
        f.length = length < 0 ? data.size() : length;
        f.data = bytes;
        QByteArray out;
        session.appendFrame(f, out);
        return out;
    }
};

// The client end of a pseudo-terminal.
class Client
{
public:
    explicit Client(const QString &path)
        : fd(::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC))
    {
    }
    ~Client()
    {
        if (fd >= 0)
            ::close(fd);
    }
    bool isOpen() const { return fd >= 0; }
    bool send(const QByteArray &bytes) { return ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size(); }
    // Reads into got until done(got) or timeoutMs without it (a hang guard).
    bool readUntil(QByteArray &got, const std::function<bool(const QByteArray &)> &done, int timeoutMs = 30000)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        char chunk[65536];
        while (!done(got)) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
            if (left <= 0)
                return false;
            pollfd pfd{fd, POLLIN, 0};
            if (::poll(&pfd, 1, int(left)) <= 0)
                continue;
            const ssize_t n = ::read(fd, chunk, sizeof chunk);
            if (n > 0)
                got.append(chunk, int(n));
        }
        return true;
    }

private:
    int fd;
};

// The adapter (played by the test), its link and the bridge, in this process.
struct Rig {
    FakeAdapter adapter;
    serialManager link;
    SlcanBridge bridge{link, nullptr};
    bool start()
    {
        link.setBaudRate(2000000);
        if (!adapter.isOpen() || !link.openPort(adapter.devicePath()))
            return false;
        link.setFrameSink(&bridge);
        link.startReading();
        QString error;
        return bridge.start(&error);
    }
    ~Rig()
    {
        bridge.stop();
        link.stopReading();
        link.setFrameSink(nullptr);
        link.closePort();
    }
};

// Eight data bytes that tell frame number seq: its number, little-endian, and its complement.
QByteArray seqData(quint32 seq)
{
    const quint32 words[2] = {qToLittleEndian(seq), qToLittleEndian(~seq)};
    return QByteArray(reinterpret_cast<const char *>(words), sizeof words);
}

} // namespace

class TestSlcan : public QObject
{
    Q_OBJECT

private slots:
    void commandTable_data();
    void commandTable();
    void frameLines_data();
    void frameLines();
    void acceptanceFilter_data();
    void acceptanceFilter();
    void garbageAndOverlongCommands();
    void clientThatStopsReading();
    void clientThatGoesAway();
    void pythonCanReceivesTheAdaptersFrames();
    void toolStartFailures();
};

void TestSlcan::commandTable_data()
{
    QTest::addColumn<QString>("fixedRate");
    QTest::addColumn<bool>("adapterWorks");
    QTest::addColumn<QByteArray>("before");  // sent first, replies not compared
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QByteArray>("adapter"); // what the adapter receives for the command

    const QByteArray none;
    QTest::newRow("empty command") << "" << true << none << QByteArray("\r") << QByteArray("\r") << none;
    QTest::newRow("S0..S8 against the adapter's rates")
        << "" << true << none << QByteArray("S0\rS1\rS2\rS3\rS4\rS5\rS6\rS7\rS8\r")
        << QByteArray("\a\a\r\r\r\r\r\a\a") << none;
    QTest::newRow("S9, S, S66 refused") << "" << true << none << QByteArray("S9\rS\rS66\r") << QByteArray("\a\a\a") << none;
    QTest::newRow("O without a rate") << "" << true << none << QByteArray("O\r") << QByteArray("\a") << none;
    QTest::newRow("S6 O") << "" << true << none << QByteArray("S6\rO\r") << QByteArray("\r\r") << CONFIG_500K;
    QTest::newRow("S4 L") << "" << true << none << QByteArray("S4\rL\r") << QByteArray("\r\r") << CONFIG_125K;
    QTest::newRow("refused S1 keeps S6") << "" << true << QByteArray("S6\r") << QByteArray("S1\rO\r")
                                         << QByteArray("\a\r") << CONFIG_500K;
    QTest::newRow("O, L, S, M, m while open") << "" << true << QByteArray("S6\rO\r")
                                              << QByteArray("O\rL\rS5\rM00000000\rmFFFFFFFF\r")
                                              << QByteArray("\a\a\a\a\a") << none;
    QTest::newRow("C, then another rate") << "" << true << QByteArray("S6\rO\r") << QByteArray("C\rS5\rO\r")
                                          << QByteArray("\r\r\r") << CONFIG_250K;
    QTest::newRow("C while closed") << "" << true << none << QByteArray("C\r") << QByteArray("\r") << none;
    QTest::newRow("O the adapter does not take") << "" << false << QByteArray("S6\r") << QByteArray("O\r")
                                                 << QByteArray("\a") << CONFIG_500K;
    QTest::newRow("-r fixes the rate, Sn ignored") << "83.333 kbps" << true << none << QByteArray("S0\rS8\rO\r")
                                                   << QByteArray("\r\r\r") << CONFIG_83K;
    QTest::newRow("s refused without -r") << "" << true << none << QByteArray("s031C\r") << QByteArray("\a") << none;
    QTest::newRow("s taken with -r") << "83.333 kbps" << true << none << QByteArray("s031C\rs031\rs03XC\r")
                                     << QByteArray("\r\a\a") << none;
    QTest::newRow("V v N") << "" << true << none << QByteArray("V\rv\rN\r") << QByteArray("V0101\rv0101\rNVX01\r") << none;
    QTest::newRow("F without drops") << "" << true << QByteArray("S6\rO\r") << QByteArray("F\r") << QByteArray("F00\r") << none;
    QTest::newRow("Z1 Z0, Z2 refused") << "" << true << none << QByteArray("Z1\rZ0\rZ2\rZ\r") << QByteArray("\r\r\a\a") << none;
    QTest::newRow("M and m") << "" << true << none << QByteArray("M24600000\rm001FFFFF\rm001fffff\r")
                             << QByteArray("\r\r\r") << none;
    QTest::newRow("masks on data bytes or the remote bit") << "" << true << none
                                                           << QByteArray("m00000000\rm001FFF00\rm000FFFFF\r")
                                                           << QByteArray("\a\a\a") << none;
    QTest::newRow("M, m of the wrong size") << "" << true << none << QByteArray("M1234567\rm123456789\rMGGGGGGGG\r")
                                            << QByteArray("\a\a\a") << none;
    QTest::newRow("transmit refused") << "" << true << QByteArray("S6\rO\r")
                                      << QByteArray("t1230\rT123456781AA\rr1230\rR123456780\rt\r")
                                      << QByteArray("\a\a\a\a\a") << none;
    QTest::newRow("unknown, trailing characters") << "" << true << none << QByteArray("X\rO1\rV \rC0\r\n\r")
                                                  << QByteArray("\a\a\a\a\a") << none;
}

void TestSlcan::commandTable()
{
    QFETCH(QString, fixedRate);
    QFETCH(bool, adapterWorks);
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, reply);
    QFETCH(QByteArray, adapter);

    Recorded r(fixedRate.isEmpty() ? nullptr : wire::findCanRate(fixedRate));
    r.adapterWorks = adapterWorks;
    r.send(before);
    r.adapter.clear();
    QCOMPARE(r.send(command), reply);
    QCOMPARE(r.adapter.toHex(), adapter.toHex());
}

void TestSlcan::frameLines_data()
{
    QTest::addColumn<quint32>("id");
    QTest::addColumn<bool>("standard");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("length");      // the adapter's length byte, -1: the data's size
    QTest::addColumn<qint64>("timeUs");   // when the frame was read, -1: no time stamps
    QTest::addColumn<QByteArray>("line");

    const QByteArray bytes = QByteArray::fromHex("0011223344AABBFF");
    QTest::newRow("standard, 0 bytes") << 0x123u << true << QByteArray() << -1 << qint64(-1) << QByteArray("t1230\r");
    QTest::newRow("extended, 1 byte") << 0x18FEF100u << false << bytes.left(1) << -1 << qint64(-1) << QByteArray("T18FEF100100\r");
    QTest::newRow("standard, 2 bytes") << 0x000u << true << bytes.left(2) << -1 << qint64(-1) << QByteArray("t00020011\r");
    QTest::newRow("extended, 3 bytes") << 0x00000001u << false << bytes.left(3) << -1 << qint64(-1) << QByteArray("T000000013001122\r");
    QTest::newRow("standard, 4 bytes") << 0x7FFu << true << bytes.left(4) << -1 << qint64(-1) << QByteArray("t7FF400112233\r");
    QTest::newRow("extended, 5 bytes") << 0x1FFFFFFFu << false << bytes.left(5) << -1 << qint64(-1) << QByteArray("T1FFFFFFF50011223344\r");
    QTest::newRow("standard, 6 bytes") << 0x0ABu << true << bytes.left(6) << -1 << qint64(-1) << QByteArray("t0AB60011223344AA\r");
    QTest::newRow("extended, 7 bytes") << 0x0CF00400u << false << bytes.left(7) << -1 << qint64(-1) << QByteArray("T0CF0040070011223344AABB\r");
    QTest::newRow("standard, 8 bytes") << 0x456u << true << bytes << -1 << qint64(-1) << QByteArray("t45680011223344AABBFF\r");
    QTest::newRow("length 12 cut to 8") << 0x456u << true << bytes << 12 << qint64(-1) << QByteArray("t45680011223344AABBFF\r");
    // 1496841006.123456 s: 6123 ms into its minute, 17EB.
    QTest::newRow("time stamp") << 0x123u << true << bytes.left(1) << -1 << qint64(1496841006123456) << QByteArray("t12310017EB\r");
    QTest::newRow("time stamp 59999") << 0x18FEF100u << false << QByteArray() << -1 << qint64(59999999) << QByteArray("T18FEF1000EA5F\r");
    QTest::newRow("time stamp 60000 is 0") << 0x18FEF100u << false << QByteArray() << -1 << qint64(60000000) << QByteArray("T18FEF1000" "0000\r");
    QTest::newRow("standard identifier beyond 7FF") << 0x800u << true << bytes << -1 << qint64(-1) << QByteArray();
    QTest::newRow("extended identifier beyond 1FFFFFFF") << 0x20000000u << false << bytes << -1 << qint64(-1) << QByteArray();
}

void TestSlcan::frameLines()
{
    QFETCH(quint32, id);
    QFETCH(bool, standard);
    QFETCH(QByteArray, data);
    QFETCH(int, length);
    QFETCH(qint64, timeUs);
    QFETCH(QByteArray, line);

    Recorded r;
    QCOMPARE(r.frame(id, standard, data), QByteArray()); // closed: nothing
    QCOMPARE(r.send(timeUs >= 0 ? "S6\rZ1\rO\r" : "S6\rO\r"), QByteArray("\r\r\r").left(timeUs >= 0 ? 3 : 2));
    QCOMPARE(r.frame(id, standard, data, length, qMax<qint64>(0, timeUs)), line);
    const slcan::Session::Counters &c = r.session.counters();
    QCOMPARE(c.forwarded, quint64(line.isEmpty() ? 0 : 1));
    QCOMPARE(c.cut, quint64(length > 8 ? 1 : 0));
    QCOMPARE(c.outOfRange, quint64(line.isEmpty() ? 1 : 0));
}

void TestSlcan::acceptanceFilter_data()
{
    QTest::addColumn<QByteArray>("commands");
    QTest::addColumn<quint32>("id");
    QTest::addColumn<bool>("standard");
    QTest::addColumn<bool>("passes");

    // Code 24600000: ACR0 24, ACR1 60 = identifier 001 0010 0011 (123) in bits 31..21.
    const QByteArray only123 = "M24600000\rm001FFFFF\r";
    QTest::newRow("open filter") << QByteArray() << 0x7FFu << true << true;
    QTest::newRow("123 only: 123") << only123 << 0x123u << true << true;
    QTest::newRow("123 only: 122") << only123 << 0x122u << true << false;
    QTest::newRow("123 only: 523") << only123 << 0x523u << true << false;
    // Extended frames: identifier bits 28..18 in the same register bits.
    QTest::newRow("123 only: extended 048C0000") << only123 << 0x048C0000u << false << true;
    QTest::newRow("123 only: extended 048FFFFF") << only123 << 0x048FFFFFu << false << true;
    QTest::newRow("123 only: extended 00000123") << only123 << 0x00000123u << false << false;
    // 300..3FF: code 60000000, mask bits 28..21 (identifier bits 7..0) free.
    const QByteArray range300 = "M60000000\rm1FFFFFFF\r";
    QTest::newRow("300..3FF: 3AB") << range300 << 0x3ABu << true << true;
    QTest::newRow("300..3FF: 2FF") << range300 << 0x2FFu << true << false;
    QTest::newRow("300..3FF: 400") << range300 << 0x400u << true << false;
}

void TestSlcan::acceptanceFilter()
{
    QFETCH(QByteArray, commands);
    QFETCH(quint32, id);
    QFETCH(bool, standard);
    QFETCH(bool, passes);

    Recorded r;
    QCOMPARE(r.send(commands + "S6\rO\r"), QByteArray(commands.count('\r') + 2, '\r'));
    QCOMPARE(!r.frame(id, standard, "\x01").isEmpty(), passes);
    QCOMPARE(r.session.counters().filtered, quint64(passes ? 0 : 1));
}

void TestSlcan::garbageAndOverlongCommands()
{
    // An over-long command is one refusal; the next CR starts afresh.
    Recorded r;
    QCOMPARE(r.send("O" + QByteArray(100, 'A') + "\rV\r"), QByteArray("\aV0101\r"));
    QCOMPARE(r.send(QByteArray(1 << 20, 'S')), QByteArray());
    QCOMPARE(r.send("\rS6\rO\r"), QByteArray("\a\r\r"));
    QCOMPARE(r.adapter.toHex(), CONFIG_500K.toHex());

    // Random bytes between commands, whole and cut: one reply per CR, the
    // same however the bytes are split, and nothing to the adapter but whole
    // configuration commands of its rate table.
    QRandomGenerator random(22);
    const QList<QByteArray> commands = {"S6\r", "S2\r", "S0\r", "O\r", "L\r", "C\r", "F\r", "V\r", "Z1\r",
                                        "M24600000\r", "m001FFFFF\r", "s031C\r", "T1234567881122334455667788\r"};
    const char alphabet[] = "\r\rSsOLCVvNFZMmtTrR0123456789abcdefABCDEF\a\n";
    QByteArray garbage;
    while (garbage.size() < 200000) {
        const QByteArray &command = commands[int(random.bounded(commands.size()))];
        garbage += random.bounded(2) ? command : command.left(int(random.bounded(command.size())));
        for (int n = int(random.bounded(8)); n > 0; --n)
            garbage.append(random.bounded(3) == 0 ? char(random.bounded(256))
                                                  : alphabet[random.bounded(int(sizeof alphabet - 1))]);
    }
    Recorded whole, split;
    const QByteArray reply = whole.send(garbage);
    QByteArray splitReply;
    for (int at = 0; at < garbage.size();) {
        const int n = std::min(int(random.bounded(1, 40)), int(garbage.size()) - at);
        splitReply += split.send(garbage.mid(at, n));
        at += n;
    }
    QCOMPARE(splitReply, reply);
    QCOMPARE(reply.count('\r') + reply.count('\a'), garbage.count('\r'));
    QVERIFY(whole.adapter.size() % wire::CONFIG_SIZE == 0);
    QVERIFY(whole.adapter.size() >= 10 * wire::CONFIG_SIZE); // the random commands did open it
    for (int at = 0; at < whole.adapter.size(); at += wire::CONFIG_SIZE) {
        const QByteArray c = whole.adapter.mid(at, wire::CONFIG_SIZE);
        // Header, standard identifiers, filter and mask 0, the fixed byte.
        QCOMPARE(c.left(2).toHex(), QByteArray("aa55"));
        QCOMPARE(c.mid(4, 10).toHex(), QByteArray("01000000000000000002"));
        const quint8 timing[3] = {quint8(c[14]), quint8(c[15]), quint8(c[16])};
        QVERIFY(wire::canRateOfCommand(quint8(c[2]), quint8(c[3]), timing) != nullptr);
        QCOMPARE(quint8(c[19]), wire::checksum(c.constData(), 2, 18));
    }
}

void TestSlcan::clientThatStopsReading()
{
    Rig rig;
    QVERIFY(rig.start());
    Client client(rig.bridge.terminalPath());
    QVERIFY(client.isOpen());
    QByteArray got;
    QVERIFY(client.send("S6\rO\r"));
    QVERIFY(client.readUntil(got, [](const QByteArray &g) { return g == "\r\r"; }));
    QTRY_VERIFY(rig.adapter.written().endsWith(CONFIG_500K));

    // The client reads nothing while the adapter sends far more than the
    // bridge can hold for it.
    constexpr int FRAMES = 40000;
    const double cpuBefore = rig.bridge.clientThreadCpuSeconds();
    QElapsedTimer stalled;
    stalled.start();
    rig.adapter.startStream([](int i) { return FakeAdapter::frame(0x123, true, seqData(quint32(i))); }, 20000, FRAMES);
    QTRY_VERIFY_WITH_TIMEOUT(rig.adapter.streamFinished(), 60000);
    QVERIFY(!rig.adapter.streamFailed());
    QTRY_COMPARE_WITH_TIMEOUT(rig.bridge.framesReceived(), quint64(FRAMES), 30000);
    QVERIFY(rig.bridge.framesDropped() > 0);
    // Waiting for a full terminal takes no CPU (a spin would take all of it).
    const double cpu = rig.bridge.clientThreadCpuSeconds() - cpuBefore;
    QVERIFY2(cpu < 0.1 * double(stalled.elapsed()) / 1000.0,
             qPrintable(QStringLiteral("%1 s CPU in %2 ms").arg(cpu).arg(stalled.elapsed())));

    // Reading again: the frames kept come in order, unchanged, and F reports
    // the overrun once.
    QVERIFY(client.send("F\r"));
    got.clear();
    QVERIFY(client.readUntil(got, [](const QByteArray &g) { return g.contains("F08\r"); }));
    QVERIFY(client.send("F\r"));
    QVERIFY(client.readUntil(got, [](const QByteArray &g) { return g.endsWith("F00\r"); }));
    QList<QByteArray> lines = got.split('\r');
    lines.removeLast(); // after the last CR
    QCOMPARE(lines.takeLast(), QByteArray("F00"));
    QCOMPARE(lines.removeAll("F08"), 1);
    int next = 0;
    for (const QByteArray &line : qAsConst(lines)) {
        const QByteArray data = QByteArray::fromHex(line.mid(5));
        const int seq = int(qFromLittleEndian<quint32>(data.constData()));
        QVERIFY2(line.startsWith("t1238") && data == seqData(quint32(seq)) && seq >= next,
                 qPrintable(QStringLiteral("after frame %1: %2").arg(next - 1).arg(QString::fromLatin1(line))));
        next = seq + 1;
    }
    QCOMPARE(lines.first(), "t1238" + seqData(0).toHex().toUpper());
    QCOMPARE(quint64(lines.size()), rig.bridge.framesForwarded());
    QCOMPARE(rig.bridge.framesForwarded() + rig.bridge.framesDropped(), quint64(FRAMES));
}

void TestSlcan::clientThatGoesAway()
{
    // A client that leaves with its channel open and frames unread: the next
    // one finds a closed channel, the power-on settings and none of them.
    Rig rig;
    QVERIFY(rig.start());
    {
        Client first(rig.bridge.terminalPath());
        QByteArray got;
        QVERIFY(first.send("S6\rZ1\rO\r"));
        QVERIFY(first.readUntil(got, [](const QByteArray &g) { return g == "\r\r\r"; }));
        QVERIFY(rig.adapter.sendFrame(0x123, true, QByteArray("\x01", 1)));
        QTRY_COMPARE(rig.bridge.framesForwarded(), quint64(1));
    }
    QTRY_VERIFY(!rig.bridge.clientPresent());
    QCOMPARE(rig.bridge.channel(), slcan::Channel::Closed);
    QVERIFY(rig.adapter.sendFrame(0x124, true, QByteArray()));
    QTRY_COMPARE(rig.bridge.framesReceived(), quint64(2));

    Client second(rig.bridge.terminalPath());
    QByteArray got;
    QVERIFY(second.send("O\rS4\rO\r"));
    QVERIFY(second.readUntil(got, [](const QByteArray &g) { return g.size() >= 3; }));
    QCOMPARE(got, QByteArray("\a\r\r"));
    QVERIFY(rig.adapter.sendFrame(0x125, true, QByteArray()));
    QVERIFY(second.readUntil(got, [](const QByteArray &g) { return g.endsWith("t1250\r"); }));
    QCOMPARE(got, QByteArray("\a\r\rt1250\r")); // no time stamp, nothing of the first client's
}

void TestSlcan::pythonCanReceivesTheAdaptersFrames()
{
    FakeAdapter adapter;
    QVERIFY(adapter.isOpen());
    QTemporaryDir dir;
    const QString linkPath = dir.filePath(QStringLiteral("slcan"));
    QProcess bridge;
    bridge.start(TOOL, {adapter.devicePath(), QStringLiteral("--link"), linkPath});
    QVERIFY(bridge.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(bridge.canReadLine() || bridge.state() != QProcess::Running, 20000);
    const QString terminal = QString::fromLocal8Bit(bridge.readLine()).trimmed();
    QVERIFY2(terminal.startsWith(QLatin1String("/dev/pts/")), qPrintable(bridge.readAllStandardError()));
    QCOMPARE(QFile::symLinkTarget(linkPath), terminal);

    // python-can's slcan interface, as a user would open it, printing what it gets.
    const int expected = 6;
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral("-c"),
                  QStringLiteral("import can, sys\n"
                                 "bus = can.Bus(interface='slcan', channel=sys.argv[1], bitrate=500000, sleep_after_open=0)\n"
                                 "for _ in range(%1):\n"
                                 "    m = bus.recv(timeout=20)\n"
                                 "    if m is None: break\n"
                                 "    print('ext' if m.is_extended_id else 'std', '%X' % m.arbitration_id, m.dlc, m.data.hex().upper())\n"
                                 "bus.shutdown()\n")
                      .arg(expected),
                  linkPath});
    QVERIFY(python.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(adapter.written().contains(CONFIG_500K) || python.state() != QProcess::Running, 30000);
    QVERIFY2(adapter.written().contains(CONFIG_500K), python.readAllStandardError().constData());

    QVERIFY(adapter.sendFrame(0x123, true, QByteArray()));
    QVERIFY(adapter.sendFrame(0x7FF, true, QByteArray::fromHex("1122334455667788")));
    QVERIFY(adapter.sendFrame(0x800, true, QByteArray::fromHex("01"))); // no standard identifier: left out
    QVERIFY(adapter.sendFrame(0x18FEF100, false, QByteArray::fromHex("FFFFFFFFFFFF0000")));
    QVERIFY(adapter.sendFrame(0x00000000, false, QByteArray::fromHex("A5")));
    QVERIFY(adapter.sendRaw(sim::buildAdapterFrame(0x1FFFFFFF, false, QByteArray::fromHex("0102030405060708"), 12)));
    QVERIFY(adapter.sendFrame(0x000, true, QByteArray::fromHex("0000")));
    QVERIFY(python.waitForFinished(60000));
    QCOMPARE(python.exitCode(), 0);
    QCOMPARE(QString::fromLatin1(python.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts),
             QStringList({QStringLiteral("std 123 0 "), QStringLiteral("std 7FF 8 1122334455667788"),
                          QStringLiteral("ext 18FEF100 8 FFFFFFFFFFFF0000"), QStringLiteral("ext 0 1 A5"),
                          QStringLiteral("ext 1FFFFFFF 8 0102030405060708"), QStringLiteral("std 0 2 0000")}));

    // The adapter goes away: status 3, the link removed.
    adapter.closeMaster();
    QVERIFY(bridge.waitForFinished(30000));
    QCOMPARE(bridge.exitStatus(), QProcess::NormalExit);
    const QString summary = QString::fromLocal8Bit(bridge.readAllStandardError());
    QVERIFY2(bridge.exitCode() == 3, qPrintable(summary));
    QVERIFY2(!summary.contains(QLatin1String("ThreadSanitizer")), qPrintable(summary));
    QVERIFY2(summary.contains(QRegularExpression(QStringLiteral("forwarded: +6\\n"))), qPrintable(summary));
    QVERIFY2(summary.contains(QRegularExpression(QStringLiteral("cut to 8 bytes: +1\\n"))), qPrintable(summary));
    QVERIFY(!QFileInfo(linkPath).isSymLink());
}

void TestSlcan::toolStartFailures()
{
    QTemporaryDir dir;
    QProcess tool;
    tool.start(TOOL, {dir.filePath(QStringLiteral("no-such-port"))});
    QVERIFY(tool.waitForFinished(30000));
    QCOMPARE(tool.exitCode(), 2);

    // --link never replaces what is not a symbolic link.
    FakeAdapter adapter;
    const QString file = dir.filePath(QStringLiteral("notes"));
    QFile notes(file);
    QVERIFY(notes.open(QIODevice::WriteOnly) && notes.write("keep") == 4);
    notes.close();
    tool.start(TOOL, {adapter.devicePath(), QStringLiteral("--link"), file});
    QVERIFY(tool.waitForFinished(30000));
    QCOMPARE(tool.exitCode(), 2);
    QVERIFY(notes.open(QIODevice::ReadOnly));
    QCOMPARE(notes.readAll(), QByteArray("keep"));
}

QTEST_GUILESS_MAIN(TestSlcan)
#include "test_slcan.moc"
