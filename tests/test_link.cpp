// The serial link: the manager's reader thread and port hand-over under load,
// and the connection panel of the window driven against a fake adapter on a
// pseudo-terminal.

#include "app/extraports.h"
#include "tests/support/fakeadapter.h"
#include "tests/support/linesettings.h"
#include "tests/support/mainwindowprobe.h"
#include "link/protocol.h"
#include "tests/support/windowdriver.h"

#include <QComboBox>
#include <QSerialPortInfo>
#include <QTableWidget>
#include <QtTest>

#include <atomic>
#include <ctime>
#include <memory>

using namespace WindowDriver;

namespace {

// Eight data bytes that identify frame number seq: its number and its complement.
QByteArray seqData(quint32 seq)
{
    const quint32 words[2] = {seq, ~seq};
    return QByteArray(reinterpret_cast<const char *>(words), sizeof words);
}

QByteArray seqFrame(int seq) { return FakeAdapter::frame(quint32(seq), false, seqData(quint32(seq))); }

// Drains a manager's store and checks that frames 0, 1, 2 ... arrive exactly
// once, in order across drains, each with its own payload.
struct DrainLog {
    int received = 0, drains = 0;
    QString problem;
    void drain(serialManager &manager)
    {
        const MessageMap taken = manager.takeMessages();
        drains += !taken.isEmpty();
        for (auto it = taken.cbegin(); it != taken.cend(); ++it, ++received) {
            const bool intact = QByteArray::fromHex(it.value().value(2).toLatin1()) == seqData(it.key());
            if (problem.isEmpty() && (qint64(it.key()) != received || !intact))
                problem = QStringLiteral("frame %1 at %2: %3").arg(it.key()).arg(received).arg(it.value().join('|'));
        }
    }
};

// Whether a row of the message table shows the identifier (cells carry padding blanks).
bool tableHas(MainWindow &window, const QString &idText = QStringLiteral(".+"))
{
    const QString pattern = QStringLiteral("^\\s*") + idText + QStringLiteral("\\s*$");
    return !child<QTableWidget>(window, "tv_messages")->findItems(pattern, Qt::MatchRegularExpression).empty();
}

int threadCount() { return int(QDir(QStringLiteral("/proc/self/task")).count()) - 2; } // less "." and ".."

// Enabled state of the connection panel's widgets as a string of 0s and 1s.
QString panel(MainWindow &w)
{
    QString state;
    for (const char *name : {"pb_open", "pb_close", "pb_refresh", "fl_canbusConfig", "tableFrame",
                             "cb_selectSerial", "cb_baudRateCOM"})
        state += child<QWidget>(w, name)->isEnabled() ? '1' : '0';
    return state;
}

const QString OPEN = QStringLiteral("0101100"), CLOSED = QStringLiteral("1010011");
const QByteArray CONFIG_500K = QByteArray::fromHex("aa55020301000000000000000002000000000008");

// Qt's warnings about objects used from the wrong thread (the previous
// handler prints them): the port's hand-over must never cause one.
std::atomic<int> threadWarnings{0};
QtMessageHandler previousHandler = nullptr;

void watchWarnings(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    threadWarnings += (type == QtWarningMsg || type == QtCriticalMsg)
        && (message.contains(QLatin1String("thread"), Qt::CaseInsensitive)
            || message.contains(QLatin1String("QSocketNotifier")));
    previousHandler(type, context, message);
}

} // namespace

class TestLink : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { previousHandler = qInstallMessageHandler(watchWarnings); }
    void init() { clearExtraPorts(); }
    void cleanup() { QCOMPARE(threadWarnings.exchange(0), 0); }

    // 10,000 frames per second (all a 2,000,000-baud link carries) for 3 s,
    // while the GUI thread writes a command every few ms through the same port.
    void streamArrivesOnceAndInOrderWhileCommandsGoOut()
    {
        FakeAdapter adapter;
        serialManager manager;
        QVERIFY(manager.openPort(adapter.devicePath()));
        manager.startReading();
        const int frames = 30000;
        DrainLog log;
        QByteArray commandsSent;
        int commands = 0, badWrites = 0;
        QTimer drainTimer, commandTimer;
        connect(&drainTimer, &QTimer::timeout, [&] { log.drain(manager); });
        connect(&commandTimer, &QTimer::timeout, [&] {
            // Filter lists of 1 to 3 entries, each different, with 0x0D bytes (escaped).
            const int k = commands++;
            const QByteArray command = wire::buildFilterListCommand(
                k % 2, true, QStringList{"d", "70d", QString::number(k * 16 + 0x0D, 16)}.mid(k % 3));
            commandsSent += command;
            badWrites += manager.writeData(command) != command.size();
        });
        adapter.startStream(seqFrame, 10000, frames);
        drainTimer.start(5);
        commandTimer.start(3);
        QTRY_VERIFY_WITH_TIMEOUT(adapter.streamFinished(), 60000);
        commandTimer.stop();
        QTRY_VERIFY_WITH_TIMEOUT(log.received >= frames, 10000);
        manager.stopReading();
        log.drain(manager);
        QVERIFY2(log.problem.isEmpty(), qPrintable(log.problem));
        QVERIFY2(log.drains > 10 && commands > 100, "drains and commands ran while the stream ran");
        QCOMPARE(badWrites, 0);
        QTRY_VERIFY2_WITH_TIMEOUT(adapter.written() == commandsSent, "commands arrived damaged or reordered", 5000);
    }

    // Frames in pieces at low traffic: 7 bytes, then the other 13; two whole
    // frames with the first 7 bytes of a third, then its other 13.
    void framesSplitAcrossReadsArrive()
    {
        FakeAdapter adapter;
        serialManager manager;
        QVERIFY(manager.openPort(adapter.devicePath()));
        manager.startReading();
        adapter.startStream([](int i) {
            static const int cut[] = {0, 7, 20, 67, 80}; // within each group of four frames
            QByteArray four;
            for (int seq = i / 4 * 4; seq < i / 4 * 4 + 4; ++seq)
                four += seqFrame(seq);
            return four.mid(cut[i % 4], cut[i % 4 + 1] - cut[i % 4]);
        }, 400, 160);
        DrainLog log;
        QTRY_VERIFY_WITH_TIMEOUT((log.drain(manager), log.received >= 160), 10000);
        QVERIFY2(log.problem.isEmpty(), qPrintable(log.problem));
    }

    void portListingOpenAndClose()
    {
        MainWindow window;
        auto *combo = child<QComboBox>(window, "cb_selectSerial");
        QStringList expected;
        for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
            expected << info.portName() + " (" + info.description() + ')';
        registerExtraPort("/tmp/vornix-emulated-0", "emulated adapter");
        combo->addItem("stale entry");
        press(window, "pb_refresh");
        QStringList listed;
        for (int i = 0; i < combo->count(); ++i)
            listed << combo->itemText(i);
        QCOMPARE(listed, expected + QStringList{"/tmp/vornix-emulated-0 (emulated adapter)"});

        // Open at a rate off the standard list, close before configuring; a port
        // that does not exist gives the port's own error text and changes nothing.
        FakeAdapter adapter;
        QVERIFY(openFake(window, adapter, "1228800"));
        QCOMPARE(panel(window), OPEN);
        const LineSettings line = readLineSettings(adapter.masterFd());
        QVERIFY(line.ok && line.inputSpeed == 1228800 && line.outputSpeed == 1228800);
        QVERIFY(line.dataBits == 8 && !line.parity && !line.twoStopBits && !line.hardwareFlowControl);
        press(window, "pb_close");
        QCOMPARE(panel(window), CLOSED);
        QCOMPARE(adapter.written(), QByteArray());

        selectPort(window, "/nonexistent/tty", "missing");
        MessageBoxCatcher box;
        box.arm();
        press(window, "pb_open");
        QVERIFY(box.caught() && box.critical() && box.buttonCount() == 1 && box.title() == "Error");
        QVERIFY(!box.text().isEmpty());
        QCOMPARE(box.text(), MainWindowProbe::serial(window).errorString());
        QCOMPARE(panel(window), CLOSED);
    }

    void configureReceiveCloseAndDestroy()
    {
        FakeAdapter adapter;
        auto owned = std::make_unique<MainWindow>();
        MainWindow &window = *owned;
        QVERIFY(openFake(window, adapter));
        MessageBoxCatcher box;
        box.arm();
        configure(window, QString());
        QVERIFY(box.caught() && box.title() == "Error");
        QCOMPARE(box.text(), QStringLiteral("Canbus baudrate can not be empty"));
        QVERIFY(!MainWindowProbe::refreshTimer(window).isActive());
        QCOMPARE(panel(window), OPEN);

        // Exactly the 20 bytes: anything the failed attempt wrote would stand before them.
        configure(window, "500 kbps");
        QTRY_COMPARE(adapter.written(), CONFIG_500K);

        // Configuring again while frames stream in: the second command follows
        // the first intact, and reception goes on.
        adapter.startStream([](int i) { return seqFrame(i % 200); }, 3000, 1000000);
        QTRY_VERIFY(tableHas(window, "00000096"));
        configure(window, "33.333 kbps");
        QTRY_COMPARE(adapter.written(), CONFIG_500K + QByteArray::fromHex("aa5503000100000000000000000205045a000069"));
        QVERIFY(adapter.sendFrame(0x7AB, true, QByteArray::fromHex("01")));
        QTRY_VERIFY(tableHas(window, "7AB"));

        // CLOSE while receiving stops the reader, empties the store and the table.
        MainWindowProbe::serial(window).storeMessage(0xABC, {"00:00:00.000", "ABC", ""});
        const int threadsWithReader = threadCount();
        press(window, "pb_close");
        QCOMPARE(panel(window), CLOSED);
        QCOMPARE(threadCount(), threadsWithReader - 1);
        QCOMPARE(child<QTableWidget>(window, "tv_messages")->rowCount(), 0);
        QVERIFY(MainWindowProbe::rowOfId(window).isEmpty());
        QVERIFY(MainWindowProbe::serial(window).takeMessages().isEmpty());
        // Reception resumes after OPEN and configuration; destroying the
        // window while receiving joins the reader.
        QVERIFY(openFake(window, adapter));
        configure(window);
        QTRY_VERIFY(tableHas(window));
        owned.reset();
        QCOMPARE(threadCount(), threadsWithReader - 1);
    }

    // The adapter disappears while the port is merely open, then while frames
    // stream in: nothing spins, the window stays usable, CLOSE works and a
    // new adapter can be used.
    void deviceGone()
    {
        MainWindow window;
        for (const bool streaming : {false, true}) {
            FakeAdapter adapter;
            QVERIFY(openFake(window, adapter));
            if (streaming) {
                configure(window);
                adapter.startStream([](int i) { return seqFrame(i % 1000); }, 5000, 10000000);
                QTRY_VERIFY(tableHas(window));
            }
            adapter.closeMaster();
            MainWindowProbe::refreshTimer(window).stop(); // back to back by design: not the link's work
            const std::clock_t cpuBefore = std::clock();
            QTest::qWait(800);
            const double cpuShare = double(std::clock() - cpuBefore) / CLOCKS_PER_SEC / 0.8;
            QVERIFY2(cpuShare < 0.10, qPrintable(QStringLiteral("process CPU share %1").arg(cpuShare)));
            QCOMPARE(panel(window), OPEN);
            if (streaming) {
                // Refused, not hung; configuring again finds no device and the
                // reader it starts ends by itself instead of polling a dead port.
                QVERIFY(MainWindowProbe::serial(window).writeData(QByteArray::fromHex("aa55100010")) < 0);
                const int threads = threadCount();
                configure(window);
                QTRY_COMPARE(threadCount(), threads);
            }
            press(window, "pb_close");
            QCOMPARE(panel(window), CLOSED);
        }
        FakeAdapter replacement;
        QVERIFY(openFake(window, replacement));
        configure(window);
        QVERIFY(replacement.sendFrame(0x123, true, QByteArray("\x01\x02", 2)));
        QTRY_VERIFY(tableHas(window, "123"));
    }
};

QTEST_MAIN(TestLink)
#include "test_link.moc"
