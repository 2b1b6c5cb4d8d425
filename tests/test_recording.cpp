// Recording of received traffic to CSV dump files, driven through the main
// window's recording button with a fake adapter on a pseudo-terminal.

#include "fakeadapter.h"
#include "mainwindowprobe.h"
#include "windowdriver.h"

#include "dumpformat.h"
#include "serialmanager.h"

#include <QAbstractButton>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <csignal>
#include <memory>
#include <sys/resource.h>

using namespace WindowDriver;

namespace {

const QByteArray header = QByteArrayLiteral("Timestamp;ID;Payload\n");

// One dump line without its line feed: time;id;payload (payload bytes each
// followed by a blank, or nothing).
const QRegularExpression lineFormat(
    QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d;[0-9A-F]{3,8};([0-9A-F]{2} )*$"));
const QRegularExpression nameFormat(
    QStringLiteral("^dump_\\d{4}-\\d\\d-\\d\\d_\\d\\d-\\d\\d-\\d\\d(_\\d+)?\\.csv$"));

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Absolute paths of the dump files, in name order.
QStringList dumpFiles()
{
    QDir dir(QStringLiteral("dumps"));
    QStringList paths;
    const QStringList names =
        dir.entryList({QStringLiteral("*")}, QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString &name : names)
        paths << dir.absoluteFilePath(name);
    return paths;
}

// Number of complete data lines (the header not counted) in a dump file.
int dataLines(const QString &path)
{
    return qMax(0, contents(path).count('\n') - 1);
}

// Checks that a dump consists of the header and whole, well-formed lines
// only; returns the data lines without their line feeds.
QList<QByteArray> checkedLines(const QString &path, bool *ok)
{
    *ok = false;
    const QByteArray all = contents(path);
    if (!all.startsWith(header)) {
        qWarning() << path << "does not start with the header";
        return {};
    }
    if (!all.endsWith('\n')) {
        qWarning() << path << "ends in a torn line:" << all.right(40);
        return {};
    }
    QList<QByteArray> lines = all.mid(header.size()).split('\n');
    lines.removeLast(); // empty piece after the final line feed
    for (const QByteArray &line : qAsConst(lines)) {
        if (!lineFormat.match(QString::fromLatin1(line)).hasMatch()) {
            qWarning() << path << "has a malformed line:" << line;
            return {};
        }
    }
    *ok = true;
    return lines;
}

bool tableShows(MainWindow &window, const QString &idText)
{
    auto *table = child<QTableWidget>(window, "tv_messages");
    for (int row = 0; row < table->rowCount(); ++row) {
        const QTableWidgetItem *item = table->item(row, 1);
        if (item && item->text().trimmed() == idText) // cells carry padding blanks
            return true;
    }
    return false;
}

QAbstractButton *recordButton(MainWindow &window)
{
    return child<QAbstractButton>(window, "pb_dumpFile");
}

// Stream frames carry their index: extended identifier 0x100000 + index and
// the index big-endian in four data bytes, so order and loss can be checked.
QByteArray sequencedFrame(int index)
{
    QByteArray data(4, '\0');
    qToBigEndian<quint32>(quint32(index), data.data());
    return FakeAdapter::frame(0x100000u + quint32(index % 64), false, data);
}

// The index carried by a stream frame's dump line, -1 for any other line.
int sequenceOf(const QByteArray &line)
{
    QByteArray digits = line.mid(line.lastIndexOf(';') + 1);
    digits.replace(' ', "");
    bool ok = false;
    const uint value = digits.toUInt(&ok, 16);
    return ok && digits.size() == 8 ? int(value) : -1;
}

// Restores the file-size limit and the SIGXFSZ disposition on leaving a test.
struct FileSizeLimit {
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &saved);
        oldHandler = std::signal(SIGXFSZ, SIG_IGN); // a failed write, not a killed process
        rlimit small = saved;
        small.rlim_cur = bytes;
        active = setrlimit(RLIMIT_FSIZE, &small) == 0;
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, oldHandler);
    }
    rlimit saved{};
    void (*oldHandler)(int) = nullptr;
    bool active = false;
};

// Open file descriptors of this process that refer to `path`.
int openDescriptorsOf(const QString &path)
{
    const QString target = QFileInfo(path).canonicalFilePath();
    int count = 0;
    const QDir fds(QStringLiteral("/proc/self/fd"));
    const QStringList entries = fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    for (const QString &fd : entries) {
        if (QFileInfo(fds.absoluteFilePath(fd)).symLinkTarget() == target)
            ++count;
    }
    return count;
}

} // namespace

class TestRecording : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void recordsEveryValidFrameAsOneLine();
    void eachRecordingGetsANewFile();
    void recordingContinuesAcrossReconnect();
    void failedStartLeavesTheButtonUnchecked();
    void writeFailuresDoNotHoldUpReception();
    void destroyingTheWindowClosesTheDump();
    void stopAndStartDuringAStreamLeaveWholeLines();

private:
    // Opens the fake adapter in the window and starts reception.
    bool startReceiving(MainWindow &window, FakeAdapter &adapter);

    std::unique_ptr<QTemporaryDir> workDir;
    QString previousDir;
};

void TestRecording::init()
{
    previousDir = QDir::currentPath();
    workDir = std::make_unique<QTemporaryDir>();
    QVERIFY(workDir->isValid());
    QVERIFY(QDir::setCurrent(workDir->path()));
}

void TestRecording::cleanup()
{
    QDir::setCurrent(previousDir);
    workDir.reset();
}

bool TestRecording::startReceiving(MainWindow &window, FakeAdapter &adapter)
{
    if (!adapter.isOpen() || !openFake(window, adapter))
        return false;
    configure(window);
    return true;
}

void TestRecording::recordsEveryValidFrameAsOneLine()
{
    QVERIFY(!QFileInfo::exists(QStringLiteral("dumps")));
    MainWindow window;
    FakeAdapter adapter;
    QVERIFY(startReceiving(window, adapter));

    QAbstractButton *button = recordButton(window);
    QCOMPARE(button->text(), QStringLiteral("START RECORDING"));
    press(window, "pb_dumpFile");
    QVERIFY(button->isChecked());
    QCOMPARE(button->text(), QStringLiteral("STOP RECORDING"));

    // The directory is created and the new file holds just the header.
    QVERIFY(QFileInfo(QStringLiteral("dumps")).isDir());
    QStringList files = dumpFiles();
    QCOMPARE(files.size(), 1);
    QVERIFY2(nameFormat.match(QFileInfo(files[0]).fileName()).hasMatch(), qPrintable(files[0]));
    QVERIFY(QFileInfo(files[0]).fileName().startsWith(
        QStringLiteral("dump_") + QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"))));
    QCOMPARE(contents(files[0]), header);

    QByteArray badChecksum = FakeAdapter::frame(0x555, true, QByteArray::fromHex("0102"));
    badChecksum[19] = char(badChecksum[19] + 1);
    QVERIFY(adapter.sendFrame(0x123, true, QByteArray()));
    QVERIFY(adapter.sendFrame(0x18FEF100, false, QByteArray::fromHex("01A2FF")));
    QVERIFY(adapter.sendRaw(badChecksum));
    QVERIFY(adapter.sendFrame(0x7FF, true, QByteArray::fromHex("1122334455667788")));
    QTRY_COMPARE(dataLines(files[0]), 3);

    bool ok = false;
    const QList<QByteArray> lines = checkedLines(files[0], &ok);
    QVERIFY(ok);
    const QByteArray all = contents(files[0]);
    // Exact texts after the timestamp: an empty payload ends with ';' right
    // before the line feed, a data payload with a blank.
    QCOMPARE(lines[0].mid(12), QByteArray(";123;"));
    QCOMPARE(lines[1].mid(12), QByteArray(";18FEF100;01 A2 FF "));
    QCOMPARE(lines[2].mid(12), QByteArray(";7FF;11 22 33 44 55 66 77 88 "));
    QVERIFY(all.contains(";123;\n"));
    QVERIFY(!all.contains("555"));
    QVERIFY(!all.contains('\r'));

    // Stopped: the caption returns and later frames reach the table only.
    press(window, "pb_dumpFile");
    QVERIFY(!button->isChecked());
    QCOMPARE(button->text(), QStringLiteral("START RECORDING"));
    QVERIFY(adapter.sendFrame(0x456, true, QByteArray::fromHex("AB")));
    QTRY_VERIFY(tableShows(window, QStringLiteral("456")));
    QCOMPARE(contents(files[0]), all);
    QCOMPARE(dumpFiles().size(), 1);
}

void TestRecording::eachRecordingGetsANewFile()
{
    MainWindow window;
    FakeAdapter adapter;
    QVERIFY(startReceiving(window, adapter));

    // Start, stop, start, stop: two files, each with its own header, even
    // when both starts fall within the same second.
    press(window, "pb_dumpFile");
    QVERIFY(adapter.sendFrame(0x100, true, QByteArray::fromHex("01")));
    QTRY_COMPARE(dataLines(dumpFiles().value(0)), 1);
    press(window, "pb_dumpFile");
    press(window, "pb_dumpFile");
    QCOMPARE(recordButton(window)->text(), QStringLiteral("STOP RECORDING"));
    QVERIFY(adapter.sendFrame(0x200, true, QByteArray::fromHex("02")));
    QStringList files = dumpFiles();
    QCOMPARE(files.size(), 2);
    const QString second = contents(files[0]).contains(";100;") ? files[1] : files[0];
    QTRY_COMPARE(dataLines(second), 1);
    press(window, "pb_dumpFile");
    for (const QString &path : files) {
        bool ok = false;
        QCOMPARE(checkedLines(path, &ok).size(), 1);
        QVERIFY(ok);
    }
    QVERIFY(contents(files[0]) != contents(files[1]));

    // Files of earlier recordings that carry the name of this second (and of
    // the next two, should the clock tick meanwhile) are left untouched; the
    // new recording takes a name of its own.
    const QDateTime now = QDateTime::currentDateTime();
    const QByteArray earlier = QByteArrayLiteral("Timestamp;ID;Payload\nEARLIER DUMP\n");
    QStringList taken;
    for (int s = 0; s < 3; ++s) {
        for (int sequence = 1; sequence <= 2; ++sequence) {
            QFile file(QStringLiteral("dumps/") + dump::fileName(now.addSecs(s), sequence));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(earlier);
            taken << QFileInfo(file).absoluteFilePath();
        }
    }
    press(window, "pb_dumpFile");
    QCOMPARE(recordButton(window)->text(), QStringLiteral("STOP RECORDING"));
    QVERIFY(adapter.sendFrame(0x300, true, QByteArray::fromHex("03")));
    const QStringList before = files + taken;
    QStringList added;
    for (const QString &path : dumpFiles()) {
        if (!before.contains(path))
            added << path;
    }
    QCOMPARE(added.size(), 1);
    QTRY_COMPARE(dataLines(added[0]), 1);
    press(window, "pb_dumpFile");
    QVERIFY(nameFormat.match(QFileInfo(added[0]).fileName()).hasMatch());
    for (const QString &path : qAsConst(taken))
        QCOMPARE(contents(path), earlier);

    // Rapid starts straight on the manager: every one a distinct, complete file.
    serialManager manager;
    const int already = dumpFiles().size();
    for (int i = 0; i < 5; ++i) {
        QVERIFY(manager.startRecording());
        manager.stopRecording();
    }
    files = dumpFiles();
    QCOMPARE(files.size(), already + 5);
    for (const QString &path : files)
        QVERIFY2(nameFormat.match(QFileInfo(path).fileName()).hasMatch(), qPrintable(path));
}

void TestRecording::recordingContinuesAcrossReconnect()
{
    MainWindow window;
    FakeAdapter adapter;
    QVERIFY(startReceiving(window, adapter));
    press(window, "pb_dumpFile");
    QVERIFY(adapter.sendFrame(0x111, true, QByteArray::fromHex("11")));
    const QString path = dumpFiles().value(0);
    QTRY_COMPARE(dataLines(path), 1);

    press(window, "pb_close");
    QVERIFY(!recordButton(window)->isEnabled());
    press(window, "pb_open");
    QVERIFY(child<QAbstractButton>(window, "pb_close")->isEnabled());
    QVERIFY(recordButton(window)->isChecked());
    QCOMPARE(recordButton(window)->text(), QStringLiteral("STOP RECORDING"));

    // Nothing is received until the configuration is sent again.
    configure(window);
    QVERIFY(adapter.sendFrame(0x222, true, QByteArray::fromHex("22")));
    QTRY_COMPARE(dataLines(path), 2);
    press(window, "pb_dumpFile");

    QCOMPARE(dumpFiles(), QStringList{path});
    bool ok = false;
    const QList<QByteArray> lines = checkedLines(path, &ok);
    QVERIFY(ok);
    QCOMPARE(lines[0].mid(12), QByteArray(";111;11 "));
    QCOMPARE(lines[1].mid(12), QByteArray(";222;22 "));
}

void TestRecording::failedStartLeavesTheButtonUnchecked()
{
    MainWindow window;
    FakeAdapter adapter;
    QVERIFY(startReceiving(window, adapter));
    QAbstractButton *button = recordButton(window);

    // A regular file named "dumps" keeps the directory from being made.
    {
        QFile blocker(QStringLiteral("dumps"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.write("not a directory\n");
    }
    press(window, "pb_dumpFile");
    QVERIFY(!button->isChecked());
    QCOMPARE(button->text(), QStringLiteral("START RECORDING"));
    QCOMPARE(contents(QStringLiteral("dumps")), QByteArray("not a directory\n"));
    QVERIFY(QFile::remove(QStringLiteral("dumps")));

    // "dumps" leads to a directory in which no file can be created, not
    // even by root (the process's own entry of /proc).
    QVERIFY(QFile::link(QStringLiteral("/proc/self"), QStringLiteral("dumps")));
    QVERIFY(QFileInfo(QStringLiteral("dumps")).isDir());
    press(window, "pb_dumpFile");
    QVERIFY(!button->isChecked());
    QCOMPARE(button->text(), QStringLiteral("START RECORDING"));
    QVERIFY(QDir(QStringLiteral("dumps")).entryList({QStringLiteral("dump_*")}).isEmpty());

    // Reception goes on; a later start in a usable directory works.
    QVERIFY(adapter.sendFrame(0x321, true, QByteArray::fromHex("01")));
    QTRY_VERIFY(tableShows(window, QStringLiteral("321")));
    QVERIFY(QFile::remove(QStringLiteral("dumps")));
    press(window, "pb_dumpFile");
    QVERIFY(button->isChecked());
    QCOMPARE(dumpFiles().size(), 1);
    press(window, "pb_dumpFile");
}

void TestRecording::writeFailuresDoNotHoldUpReception()
{
    MainWindow window;
    FakeAdapter adapter;
    QVERIFY(startReceiving(window, adapter));

    // A file-size limit plays the full disk: writes past it fail (EFBIG).
    const rlim_t limit = rlim_t(header.size()) + 100;
    FileSizeLimit fullDisk(limit);
    QVERIFY(fullDisk.active);
    press(window, "pb_dumpFile");
    QVERIFY(recordButton(window)->isChecked());

    // Forty frames of 20 identifiers, far more than the file can take: every
    // identifier still reaches the table.
    for (int i = 0; i < 40; ++i)
        QVERIFY(adapter.sendFrame(0x500 + quint32(i % 20), true,
                                  QByteArray::fromHex("0102030405060708")));
    for (int i = 0; i < 20; ++i)
        QTRY_VERIFY(tableShows(window, QString::number(0x500 + i, 16).toUpper()));
    press(window, "pb_dumpFile"); // returns: the reader is not stuck in a write
    QCOMPARE(recordButton(window)->text(), QStringLiteral("START RECORDING"));

    const QStringList files = dumpFiles();
    QCOMPARE(files.size(), 1);
    const QByteArray all = contents(files[0]);
    QVERIFY(all.startsWith(header));
    QCOMPARE(qint64(all.size()), qint64(limit));
}

void TestRecording::destroyingTheWindowClosesTheDump()
{
    auto window = std::make_unique<MainWindow>();
    FakeAdapter adapter;
    QVERIFY(startReceiving(*window, adapter));
    press(*window, "pb_dumpFile");
    const QString path = dumpFiles().value(0);
    QCOMPARE(openDescriptorsOf(path), 1);

    adapter.startStream(sequencedFrame, 5000, 1000000);
    QTRY_VERIFY(dataLines(path) >= 500);
    window.reset(); // frames still arriving
    adapter.stopStream();

    QCOMPARE(openDescriptorsOf(path), 0);
    bool ok = false;
    const QList<QByteArray> lines = checkedLines(path, &ok);
    QVERIFY(ok);
    QVERIFY(lines.size() >= 500);
    for (int i = 0; i < lines.size(); ++i)
        QCOMPARE(sequenceOf(lines[i]), i);
}

void TestRecording::stopAndStartDuringAStreamLeaveWholeLines()
{
    MainWindow window;
    FakeAdapter adapter;
    QVERIFY(startReceiving(window, adapter));

    constexpr int recordings = 20;
    adapter.startStream(sequencedFrame, 5000, 1000000);
    QMap<QString, qint64> sizeAtStop;
    QStringList startOrder;
    for (int r = 0; r < recordings; ++r) {
        const QStringList before = dumpFiles();
        press(window, "pb_dumpFile");
        QVERIFY(recordButton(window)->isChecked());
        QString path;
        for (const QString &p : dumpFiles()) {
            if (!before.contains(p))
                path = p;
        }
        QVERIFY(!path.isEmpty());
        startOrder << path;
        QTRY_VERIFY(dataLines(path) >= 20 + r * 5); // recordings of varying length
        press(window, "pb_dumpFile");
        QVERIFY(!recordButton(window)->isChecked());
        sizeAtStop[path] = QFileInfo(path).size();
    }
    QTest::qWait(50); // the stream goes on: stopped files must not grow
    adapter.stopStream();
    QVERIFY(!adapter.streamFailed());

    QCOMPARE(dumpFiles().size(), recordings);
    int previousLast = -1;
    for (const QString &path : qAsConst(startOrder)) {
        QCOMPARE(QFileInfo(path).size(), sizeAtStop.value(path));
        bool ok = false;
        const QList<QByteArray> lines = checkedLines(path, &ok);
        QVERIFY2(ok, qPrintable(path));
        // Consecutive frames, later than everything in the previous file.
        for (int i = 1; i < lines.size(); ++i)
            QCOMPARE(sequenceOf(lines[i]), sequenceOf(lines[0]) + i);
        QVERIFY(sequenceOf(lines[0]) > previousLast);
        previousLast = sequenceOf(lines.last());
    }
}

QTEST_MAIN(TestRecording)
#include "test_recording.moc"
