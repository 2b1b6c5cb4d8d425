// The serial link: the manager's reader thread and port hand-over under load,
// and the connection panel of the window driven against a fake adapter on a
// pseudo-terminal.

#include "extraports.h"
#include "fakeadapter.h"
#include "linesettings.h"
#include "mainwindowprobe.h"
#include "protocol.h"
#include "serialmanager.h"
#include "windowdriver.h"

#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFrame>
#include <QPushButton>
#include <QSerialPortInfo>
#include <QTableWidget>
#include <QTimer>
#include <QtTest>

#include <ctime>
#include <unistd.h>
#include <memory>
#include <mutex>
#include <vector>

using namespace WindowDriver;

namespace {

// Eight data bytes that identify frame number seq: its number and its complement.
QByteArray sequenceData(quint32 seq)
{
    QByteArray data(8, '\0');
    for (int i = 0; i < 4; ++i) {
        data[i] = char((seq >> (8 * i)) & 0xFF);
        data[4 + i] = char((~seq >> (8 * i)) & 0xFF);
    }
    return data;
}

QString payloadTextOf(const QByteArray &data)
{
    QString text;
    for (char byte : data)
        text += QString::asprintf("%02X ", unsigned(quint8(byte)));
    return text;
}

QByteArray sequenceFrame(quint32 seq)
{
    return FakeAdapter::frame(seq, false, sequenceData(seq));
}

double processCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

int processThreadCount()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> lines = status.readAll().split('\n');
    for (const QByteArray &line : lines) {
        if (line.startsWith("Threads:"))
            return line.mid(8).trimmed().toInt();
    }
    return -1;
}

// Collects drains of a manager's store and checks them against a numbered stream.
struct DrainLog {
    std::vector<MessageMap> drains;
    int received = 0;

    void drain(serialManager &manager)
    {
        MessageMap taken = manager.takeMessages();
        if (taken.isEmpty())
            return;
        received += taken.size();
        drains.push_back(std::move(taken));
    }

    // Every frame 0..count-1 exactly once, drains in ascending order across
    // drains, every record intact. Returns an empty string when all is well.
    QString check(int count) const
    {
        qint64 last = -1;
        int seen = 0;
        for (const MessageMap &map : drains) {
            for (auto it = map.cbegin(); it != map.cend(); ++it) {
                if (qint64(it.key()) <= last)
                    return QStringLiteral("identifier %1 after %2: duplicated or out of order")
                        .arg(it.key()).arg(last);
                if (qint64(it.key()) != last + 1)
                    return QStringLiteral("identifiers %1 to %2 missing").arg(last + 1).arg(it.key() - 1);
                last = it.key();
                ++seen;
                const MessageRecord &record = it.value();
                if (record.size() != 3 || record.at(1) != QString::asprintf("%08X", it.key())
                    || record.at(2) != payloadTextOf(sequenceData(it.key())))
                    return QStringLiteral("record of %1 damaged: %2").arg(it.key()).arg(record.join('|'));
            }
        }
        if (seen != count)
            return QStringLiteral("received %1 of %2 frames").arg(seen).arg(count);
        return QString();
    }
};

// A filter-list-like command that differs for every k (identifiers with a 0x0D
// byte among them, so some commands carry the escape).
QByteArray numberedCommand(int k)
{
    QStringList entries;
    for (int i = 0; i <= k % 4; ++i)
        entries << QString::number(quint32(k) * 16 + 0x0D + quint32(i) * 0x100, 16);
    return wire::buildFilterListCommand(k % 2 == 1, true, entries);
}

// What the window has received: rows of the table, and the records of the
// store that the table refresh has not drained yet (collected here). The
// answers stay true once true, so they can be polled with QTRY_VERIFY.
class Reception
{
public:
    explicit Reception(MainWindow &window) : window_(window) {}
    void reset() { collected_.clear(); }
    bool any()
    {
        collect();
        return !collected_.isEmpty() || table()->rowCount() > 0;
    }
    bool has(quint32 id, const QString &idText)
    {
        collect();
        if (collected_.contains(id))
            return true;
        for (int row = 0; row < table()->rowCount(); ++row) {
            const QTableWidgetItem *item = table()->item(row, 1);
            if (item && item->text().trimmed() == idText) // cells carry padding blanks
                return true;
        }
        return false;
    }

private:
    QTableWidget *table() { return child<QTableWidget>(window_, "tv_messages"); }
    void collect()
    {
        const MessageMap more = MainWindowProbe::serial(window_).takeMessages();
        for (auto it = more.cbegin(); it != more.cend(); ++it)
            collected_.insert(it.key(), it.value());
    }

    MainWindow &window_;
    MessageMap collected_;
};

// CPU time (user + system, seconds) used so far by the threads of this process
// other than the main (GUI) thread, and by the main thread.
struct ThreadCpu {
    double others = 0;
    double main = 0;
};

ThreadCpu threadCpu()
{
    ThreadCpu cpu;
    const double tick = double(sysconf(_SC_CLK_TCK));
    const QString self = QString::number(getpid());
    const QStringList tasks = QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &tid : tasks) {
        QFile stat(QStringLiteral("/proc/self/task/") + tid + QStringLiteral("/stat"));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        // Fields after the command name (which is in parentheses): state is
        // field 3, utime field 14, stime field 15.
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() < 13)
            continue;
        const double seconds = (fields.at(11).toDouble() + fields.at(12).toDouble()) / tick;
        (tid == self ? cpu.main : cpu.others) += seconds;
    }
    return cpu;
}

struct LinkWidgets {
    bool open, close, refresh, config, table, selectSerial, baudCom;
    bool operator==(const LinkWidgets &o) const
    {
        return open == o.open && close == o.close && refresh == o.refresh && config == o.config
            && table == o.table && selectSerial == o.selectSerial && baudCom == o.baudCom;
    }
};

LinkWidgets linkWidgets(MainWindow &w)
{
    return {child<QWidget>(w, "pb_open")->isEnabled(),
            child<QWidget>(w, "pb_close")->isEnabled(),
            child<QWidget>(w, "pb_refresh")->isEnabled(),
            child<QWidget>(w, "fl_canbusConfig")->isEnabled(),
            child<QWidget>(w, "tableFrame")->isEnabled(),
            child<QWidget>(w, "cb_selectSerial")->isEnabled(),
            child<QWidget>(w, "cb_baudRateCOM")->isEnabled()};
}

const LinkWidgets OPEN_STATE{false, true, false, true, true, false, false};
const LinkWidgets CLOSED_STATE{true, false, true, false, false, true, true};

// Warnings of Qt about objects used from the wrong thread (socket notifiers
// enabled from another thread, children created across threads ...): the
// port's hand-over must never cause one.
std::mutex threadWarningsMutex;
QStringList threadWarnings;
QtMessageHandler previousHandler = nullptr;

void watchThreadWarnings(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type != QtDebugMsg && type != QtInfoMsg
        && (message.contains(QLatin1String("thread"), Qt::CaseInsensitive)
            || message.contains(QLatin1String("QSocketNotifier")))) {
        std::lock_guard<std::mutex> lock(threadWarningsMutex);
        threadWarnings << message;
    }
    if (previousHandler)
        previousHandler(type, context, message);
}

const QByteArray CONFIG_500K = QByteArray::fromHex("aa55020301000000000000000002000000000008");

} // namespace

class TestLink : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { previousHandler = qInstallMessageHandler(watchThreadWarnings); }
    void init() { clearExtraPorts(); }
    void cleanup()
    {
        std::lock_guard<std::mutex> lock(threadWarningsMutex);
        const QString warnings = threadWarnings.join(QLatin1Char('\n'));
        threadWarnings.clear();
        QVERIFY2(warnings.isEmpty(), qPrintable(warnings));
    }

    // ---- the manager on its own ----
    void streamArrivesOnceAndInOrderWhileCommandsGoOut();
    void framesSplitAcrossReadsArrive();
    void writesWithoutReader();

    // ---- the window's connection panel ----
    void portListing();
    void openAndOpenFailures();
    void comRateAndLineSettingsReachThePort();
    void configureAndStart();
    void closeIdleAndWhileReceiving();
    void deviceGoneMidStream();
    void destroyWindowWhileReceiving();
};

// 10,000 frames per second (200,000 bytes/s, the most a 2,000,000-baud link
// carries) for 3 s, while the GUI thread writes a command every few
// milliseconds through the same port.
void TestLink::streamArrivesOnceAndInOrderWhileCommandsGoOut()
{
    FakeAdapter adapter;
    QVERIFY(adapter.isOpen());
    serialManager manager;
    manager.setBaudRate(2000000);
    QVERIFY(manager.openPort(adapter.devicePath()));
    manager.startReading();

    const int frames = 30000;
    const double framesPerSecond = 10000;
    DrainLog log;
    QByteArray commandsSent;
    int commands = 0;
    bool writeCountsRight = true;

    QTimer drainTimer;
    connect(&drainTimer, &QTimer::timeout, [&] { log.drain(manager); });
    QTimer commandTimer;
    connect(&commandTimer, &QTimer::timeout, [&] {
        const QByteArray command = numberedCommand(commands++);
        commandsSent += command;
        if (manager.writeData(command) != command.size())
            writeCountsRight = false;
    });

    QElapsedTimer clock;
    clock.start();
    adapter.startStream([](int i) { return sequenceFrame(quint32(i)); }, framesPerSecond, frames);
    drainTimer.start(5);
    commandTimer.start(3);

    QTRY_VERIFY_WITH_TIMEOUT(adapter.streamFinished(), 60000);
    const qint64 streamMs = clock.elapsed();
    commandTimer.stop();
    QTRY_VERIFY_WITH_TIMEOUT(log.received >= frames, 10000);
    drainTimer.stop();
    manager.stopReading();
    log.drain(manager);

    qInfo("stream: %d frames sent in %lld ms, %d received in %zu drains; %d commands (%d bytes)",
          adapter.streamSent(), streamMs, log.received, log.drains.size(), commands,
          int(commandsSent.size()));
    QVERIFY(!adapter.streamFailed());
    QCOMPARE(adapter.streamSent(), frames);
    const QString problem = log.check(frames);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    QVERIFY2(log.drains.size() > 10, "the store was drained while the stream ran");

    QVERIFY(commands > 100);
    QVERIFY(writeCountsRight);
    QTRY_COMPARE_WITH_TIMEOUT(adapter.written().size(), commandsSent.size(), 5000);
    QVERIFY2(adapter.written() == commandsSent, "commands arrived damaged or reordered");
}

// Frames delivered in pieces at low traffic: 7 bytes, then the other 13; and
// two whole frames with the first 7 bytes of a third, then its other 13.
void TestLink::framesSplitAcrossReadsArrive()
{
    FakeAdapter adapter;
    serialManager manager;
    manager.setBaudRate(115200);
    QVERIFY(manager.openPort(adapter.devicePath()));
    manager.startReading();

    // 7 + 13
    const int pairs = 30;
    adapter.startStream(
        [](int i) {
            const QByteArray frame = sequenceFrame(quint32(i / 2));
            return i % 2 == 0 ? frame.left(7) : frame.mid(7);
        },
        400, pairs * 2);
    DrainLog log;
    QTRY_VERIFY_WITH_TIMEOUT((log.drain(manager), log.received >= pairs), 10000);
    QVERIFY(adapter.streamFinished());
    QString problem = log.check(pairs);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));

    // 20 + 20 + 7, then 13
    const int triples = 20;
    adapter.startStream(
        [](int i) {
            const quint32 base = quint32(pairs + 3 * (i / 2));
            const QByteArray third = sequenceFrame(base + 2);
            if (i % 2 == 1)
                return third.mid(7);
            return sequenceFrame(base) + sequenceFrame(base + 1) + third.left(7);
        },
        400, triples * 2);
    QTRY_VERIFY_WITH_TIMEOUT((log.drain(manager), log.received >= pairs + 3 * triples), 10000);
    problem = log.check(pairs + 3 * triples);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    manager.stopReading();
}

// Without a reader the GUI thread writes itself; a closed port accepts nothing.
// Restarting and stopping the reader hands the port back and forth each time.
void TestLink::writesWithoutReader()
{
    FakeAdapter adapter;
    serialManager manager;
    QCOMPARE(manager.writeData(QByteArray("\xAA\x55\x10\x00\x10", 5)), qint64(-1)); // not open
    QVERIFY(manager.openPort(adapter.devicePath()));

    const QByteArray first = QByteArray::fromHex("aa55100010");
    QCOMPARE(manager.writeData(first), qint64(first.size()));
    QTRY_COMPARE(adapter.written(), first);

    for (int round = 0; round < 3; ++round) {
        manager.startReading();
        const quint32 id = 0x100 + quint32(round);
        QVERIFY(adapter.sendFrame(id, true, QByteArray("\x01", 1)));
        MessageMap taken;
        const auto arrived = [&] {
            const MessageMap more = manager.takeMessages();
            for (auto it = more.cbegin(); it != more.cend(); ++it)
                taken.insert(it.key(), it.value());
            return taken.contains(id);
        };
        QTRY_VERIFY(arrived());
        QCOMPARE(taken.size(), 1);
        QCOMPARE(taken.value(id).mid(1), (QStringList{QString::number(id, 16).toUpper(), "01 "}));
        manager.stopReading();
        // Back with the GUI thread: a direct write.
        const QByteArray command = numberedCommand(round);
        QCOMPARE(manager.writeData(command), qint64(command.size()));
    }
    manager.stopReading(); // no reader: nothing to do
    manager.closePort();
    QCOMPARE(manager.writeData(first), qint64(-1));
}

void TestLink::portListing()
{
    MainWindow window;
    auto *combo = child<QComboBox>(window, "cb_selectSerial");
    auto *open = child<QPushButton>(window, "pb_open");

    QStringList system;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        system << info.portName() + QStringLiteral(" (") + info.description() + QLatin1Char(')');

    registerExtraPort(QStringLiteral("/tmp/vornix-emulated-0"), QStringLiteral("emulated adapter"));
    registerExtraPort(QStringLiteral("/tmp/vornix-emulated-1"), QStringLiteral("second one"));
    combo->addItem(QStringLiteral("stale entry"));
    press(window, "pb_refresh");
    QStringList listed;
    for (int i = 0; i < combo->count(); ++i)
        listed << combo->itemText(i);
    const QStringList expected = system
        + QStringList{QStringLiteral("/tmp/vornix-emulated-0 (emulated adapter)"),
                      QStringLiteral("/tmp/vornix-emulated-1 (second one)")};
    QCOMPARE(listed, expected);
    QVERIFY(open->isEnabled());

    clearExtraPorts();
    press(window, "pb_refresh");
    QCOMPARE(combo->count(), system.size());
    QCOMPARE(open->isEnabled(), !system.isEmpty());
}

void TestLink::openAndOpenFailures()
{
    FakeAdapter adapter;
    MainWindow window;
    QVERIFY(openFake(window, adapter));
    QCOMPARE(linkWidgets(window), OPEN_STATE);

    // A port that does not exist: the port's own error text, nothing changes.
    {
        MainWindow other;
        selectPort(other, QStringLiteral("/nonexistent/tty"), QStringLiteral("missing"));
        QVERIFY(chooseComRate(other, QStringLiteral("115200")));
        const LinkWidgets before = linkWidgets(other);
        MessageBoxCatcher box;
        box.arm();
        press(other, "pb_open");
        QVERIFY(box.caught());
        QCOMPARE(box.title(), QStringLiteral("Error"));
        QVERIFY(box.critical());
        QCOMPARE(box.buttonCount(), 1);
        QVERIFY(!box.text().isEmpty());
        QCOMPARE(box.text(), MainWindowProbe::serial(other).errorString());
        QCOMPARE(linkWidgets(other), before);
    }
    // The fake adapter's port is already in use by the first window.
    {
        MainWindow other;
        selectPort(other, adapter.devicePath());
        const LinkWidgets before = linkWidgets(other);
        MessageBoxCatcher box;
        box.arm();
        press(other, "pb_open");
        QVERIFY(box.caught());
        QCOMPARE(box.title(), QStringLiteral("Error"));
        QVERIFY(!box.text().isEmpty());
        QCOMPARE(linkWidgets(other), before);
    }
    QCOMPARE(adapter.written(), QByteArray()); // opening sends nothing
}

void TestLink::comRateAndLineSettingsReachThePort()
{
    FakeAdapter adapter;
    for (const char *rate : {"1228800", "9600", "2000000"}) {
        MainWindow window;
        QVERIFY(openFake(window, adapter, QString::fromLatin1(rate)));
        const LineSettings line = readLineSettings(adapter.masterFd());
        QVERIFY(line.ok);
        QCOMPARE(line.outputSpeed, QByteArray(rate).toUInt());
        QCOMPARE(line.inputSpeed, QByteArray(rate).toUInt());
        QCOMPARE(line.dataBits, 8);
        QVERIFY(!line.parity);
        QVERIFY(!line.twoStopBits);
        QVERIFY(!line.hardwareFlowControl);
        press(window, "pb_close");
        QCOMPARE(linkWidgets(window), CLOSED_STATE);
    }
}

void TestLink::configureAndStart()
{
    FakeAdapter adapter;
    MainWindow window;
    QVERIFY(openFake(window, adapter));
    QTimer &refreshTimer = MainWindowProbe::refreshTimer(window);
    QTimer &fmsTimer = MainWindowProbe::fmsTimer(window);

    // The empty entry: the box, nothing written, no reader, no refresh.
    {
        MessageBoxCatcher box;
        box.arm();
        configure(window, QString());
        QVERIFY(box.caught());
        QCOMPARE(box.title(), QStringLiteral("Error"));
        QCOMPARE(box.text(), QStringLiteral("Canbus baudrate can not be empty"));
        QCOMPARE(box.buttonCount(), 1);
        QVERIFY(!refreshTimer.isActive());
        QVERIFY(fmsTimer.isActive());
        QCOMPARE(fmsTimer.interval(), 2000);
        QCOMPARE(linkWidgets(window), OPEN_STATE);
    }

    // "500 kbps": exactly the 20 command bytes. Anything the failed attempt had
    // written would stand before them in the byte stream.
    configure(window, QStringLiteral("500 kbps"));
    QVERIFY(refreshTimer.isActive());
    QCOMPARE(refreshTimer.interval(), 10);
    QVERIFY(fmsTimer.isActive());
    QTRY_COMPARE(adapter.written(), CONFIG_500K);

    // Reception runs.
    Reception reception(window);
    QVERIFY(adapter.sendFrame(0x18FEF100, false, QByteArray::fromHex("1122334455667788")));
    QTRY_VERIFY(reception.has(0x18FEF100, QStringLiteral("18FEF100")));

    // Configuring again while frames stream in: the second command follows the
    // first intact, and reception goes on afterwards.
    adapter.startStream([](int i) { return sequenceFrame(quint32(i % 200)); }, 2000, 1000000);
    QTRY_VERIFY(reception.has(150, QStringLiteral("00000096")));
    configure(window, QStringLiteral("33.333 kbps"));
    const QByteArray both =
        CONFIG_500K + QByteArray::fromHex("aa5503000100000000000000000205045a000069");
    QTRY_COMPARE(adapter.written(), both);
    QVERIFY(adapter.sendFrame(0x7AB, true, QByteArray::fromHex("01")));
    QTRY_VERIFY(reception.has(0x7AB, QStringLiteral("7AB")));
    adapter.stopStream();
}

void TestLink::closeIdleAndWhileReceiving()
{
    FakeAdapter adapter;
    MainWindow window;
    auto *table = child<QTableWidget>(window, "tv_messages");

    // Opened, never configured: CLOSE just closes.
    QVERIFY(openFake(window, adapter));
    press(window, "pb_close");
    QCOMPARE(linkWidgets(window), CLOSED_STATE);

    // Receiving: CLOSE stops the reader, empties the store and the table.
    QVERIFY(openFake(window, adapter));
    configure(window);
    adapter.startStream([](int i) { return sequenceFrame(quint32(i % 500)); }, 3000, 1000000);
    Reception reception(window);
    QTRY_VERIFY(reception.any());
    MainWindowProbe::serial(window).storeMessage(0xABC, {"00:00:00.000", "ABC", ""});
    press(window, "pb_close");
    QCOMPARE(linkWidgets(window), CLOSED_STATE);
    QCOMPARE(table->rowCount(), 0);
    QVERIFY(MainWindowProbe::rowOfId(window).isEmpty());
    QVERIFY(MainWindowProbe::serial(window).takeMessages().isEmpty());
    QVERIFY(adapter.streamSent() > 0);

    // Open and configure again: reception resumes.
    QVERIFY(openFake(window, adapter));
    configure(window);
    reception.reset();
    QTRY_VERIFY(reception.any());
    adapter.stopStream();
}

// CPU shares of the process, of the GUI thread and of the other threads during
// a window of the given length in which the GUI thread handles its events.
struct CpuShares {
    double process, gui, others;
};

CpuShares measureCpu(int windowMs)
{
    QElapsedTimer wall;
    wall.start();
    const ThreadCpu threadsBefore = threadCpu();
    const double processBefore = processCpuSeconds();
    QTest::qWait(windowMs); // the measurement window
    const double seconds = double(wall.elapsed()) / 1000.0;
    const ThreadCpu threadsAfter = threadCpu();
    return {(processCpuSeconds() - processBefore) / seconds,
            (threadsAfter.main - threadsBefore.main) / seconds,
            (threadsAfter.others - threadsBefore.others) / seconds};
}

// The adapter disappears, once while the port is merely open and once while
// frames stream in: nothing may spin or crash, the window stays usable, CLOSE
// works and a new adapter can be used.
void TestLink::deviceGoneMidStream()
{
    MainWindow window;
    Reception reception(window);
    {
        FakeAdapter adapter;
        QVERIFY(openFake(window, adapter));
        adapter.closeMaster();
        const CpuShares cpu = measureCpu(700);
        qInfo("CPU after the device went away (port open, no reader): process %.1f %%, "
              "GUI thread %.1f %%, other threads %.1f %%",
              cpu.process * 100.0, cpu.gui * 100.0, cpu.others * 100.0);
        QVERIFY2(cpu.process < 0.25, qPrintable(QStringLiteral("process CPU share %1").arg(cpu.process)));
        press(window, "pb_close");
        QCOMPARE(linkWidgets(window), CLOSED_STATE);
    }
    {
        FakeAdapter adapter;
        QVERIFY(openFake(window, adapter));
        configure(window);
        adapter.startStream([](int i) { return sequenceFrame(quint32(i % 1000)); }, 5000, 10000000);
        QTRY_VERIFY(reception.any());
        adapter.closeMaster();

        // Measured with the table refresh (which runs back to back by design)
        // stopped, so that only the link's own work is seen.
        MainWindowProbe::refreshTimer(window).stop();
        const CpuShares cpu = measureCpu(1000);
        qInfo("CPU after the device went away mid-stream: process %.1f %%, GUI thread %.1f %%, "
              "other threads %.1f %%", cpu.process * 100.0, cpu.gui * 100.0, cpu.others * 100.0);
        QVERIFY2(cpu.process < 0.25, qPrintable(QStringLiteral("process CPU share %1").arg(cpu.process)));
        QVERIFY2(cpu.others < 0.10, qPrintable(QStringLiteral("reader CPU share %1").arg(cpu.others)));

        // A command to a device that is gone is refused, not hung.
        QVERIFY(MainWindowProbe::serial(window).writeData(QByteArray::fromHex("aa55100010")) < 0);
        QCOMPARE(linkWidgets(window), OPEN_STATE);
        // Configuring again finds no device: no hang, still open, and the
        // reader it starts ends by itself instead of polling a dead port.
        const int threadsIdle = processThreadCount();
        configure(window);
        QCOMPARE(linkWidgets(window), OPEN_STATE);
        QTRY_COMPARE(processThreadCount(), threadsIdle);
        press(window, "pb_close");
        QCOMPARE(linkWidgets(window), CLOSED_STATE);
    }
    FakeAdapter replacement;
    QVERIFY(openFake(window, replacement));
    configure(window);
    QTRY_COMPARE(replacement.written(), CONFIG_500K);
    QVERIFY(replacement.sendFrame(0x123, true, QByteArray("\x01\x02", 2)));
    QTRY_VERIFY(reception.has(0x123, QStringLiteral("123")));
}

void TestLink::destroyWindowWhileReceiving()
{
    FakeAdapter adapter;
    adapter.startStream([](int i) { return sequenceFrame(quint32(i % 300)); }, 5000, 10000000);
    auto window = std::make_unique<MainWindow>();
    QVERIFY(openFake(*window, adapter));
    const int threadsBefore = processThreadCount();
    QVERIFY(threadsBefore > 0);
    configure(*window);
    QCOMPARE(processThreadCount(), threadsBefore + 1); // the reader
    Reception reception(*window);
    QTRY_VERIFY(reception.any());
    window.reset();
    QCOMPARE(processThreadCount(), threadsBefore); // joined with the window
    QVERIFY(!adapter.streamFailed());
    adapter.stopStream();
}

QTEST_MAIN(TestLink)
#include "test_link.moc"
