// Recording of received traffic to CSV dump files, driven through the main
// window's recording button with a fake adapter on a pseudo-terminal.

#include "tests/support/fakeadapter.h"
#include "tests/support/recording.h"
#include "tests/support/windowdriver.h"

#include <QRegularExpression>
#include <QScopeGuard>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <memory>
#include <sys/resource.h>

using namespace WindowDriver;

namespace {

const QByteArray header = QByteArrayLiteral("Timestamp;ID;Payload\n");

QStringList dumpFiles() { return QDir(QStringLiteral("dumps")).entryList(QDir::Files); }

QByteArray contents(const QString &name) { return readFile(QStringLiteral("dumps/") + name); }

int dataLines(const QString &name) { return qMax(0, contents(name).count('\n') - 1); }

// Whether a dump holds the header and whole, well-formed lines only
// ("time;id;payload", each payload byte followed by a blank); gives the data
// lines from the ';' after the time up to, not including, the line feed.
bool wellFormed(const QString &name, QList<QByteArray> &lines)
{
    static const QRegularExpression format(
        QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d{3};[0-9A-F]{3,8};([0-9A-F]{2} )*$"));
    const QByteArray all = contents(name);
    QList<QByteArray> found = all.mid(header.size()).split('\n');
    found.removeLast(); // the piece after the last line feed
    for (const QByteArray &line : qAsConst(found)) {
        if (!format.match(QString::fromLatin1(line)).hasMatch())
            return false;
        lines << line.mid(12);
    }
    return all.startsWith(header) && all.endsWith('\n');
}

// Stream frames carry their index in four data bytes.
QByteArray sequencedFrame(int index)
{
    const QByteArray data = QByteArray::fromHex(QByteArray::number(index, 16).rightJustified(8, '0'));
    return FakeAdapter::frame(0x100000u + quint32(index % 64), false, data);
}

int sequenceOf(const QByteArray &line) { return line.mid(line.lastIndexOf(';') + 1).replace(' ', "").toInt(nullptr, 16); }

} // namespace

class TestRecording : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> workDir;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<FakeAdapter> adapter;
    QAbstractButton *button = nullptr;
    int tableRows() { return child<QTableWidget>(*window, "tv_messages")->rowCount(); }

private slots:
    // Every test runs in a fresh working directory, with a window receiving
    // from a fake adapter (the previous test's window and adapter go here).
    void init()
    {
        workDir = std::make_unique<QTemporaryDir>();
        QVERIFY(workDir->isValid() && QDir::setCurrent(workDir->path()));
        window = std::make_unique<MainWindow>();
        adapter = std::make_unique<FakeAdapter>();
        QVERIFY(openFake(*window, *adapter));
        configure(*window);
        button = child<QAbstractButton>(*window, "pb_dumpFile");
    }

    // One line per valid frame, into the same file across CLOSE and OPEN;
    // nothing once stopped.
    void recordsEveryValidFrameAsOneLine()
    {
        QVERIFY(!QFileInfo::exists(QStringLiteral("dumps")));
        press(*window, "pb_dumpFile");
        QVERIFY(button->isChecked());
        QCOMPARE(button->text(), QStringLiteral("STOP RECORDING"));
        const QString name = dumpFiles().value(0);
        const QDateTime started = QDateTime::fromString(name, QStringLiteral("'dump_'yyyy-MM-dd_HH-mm-ss'.csv'"));
        QVERIFY2(started.isValid() && started.secsTo(QDateTime::currentDateTime()) <= 2, qPrintable(name));
        QCOMPARE(contents(name), header);

        QByteArray badChecksum = FakeAdapter::frame(0x555, true, QByteArray::fromHex("0102"));
        badChecksum[19] = char(badChecksum[19] + 1);
        QVERIFY(adapter->sendFrame(0x123, true, QByteArray()));
        QVERIFY(adapter->sendRaw(badChecksum));
        QVERIFY(adapter->sendFrame(0x18FEF100, false, QByteArray::fromHex("01A2FF")));
        QTRY_COMPARE(dataLines(name), 2);
        press(*window, "pb_close");
        press(*window, "pb_open");
        configure(*window);
        QVERIFY(button->isChecked());
        QVERIFY(adapter->sendFrame(0x7FF, true, QByteArray::fromHex("1122334455667788")));
        QTRY_COMPARE(dataLines(name), 3);

        press(*window, "pb_dumpFile");
        QVERIFY(!button->isChecked());
        QCOMPARE(button->text(), QStringLiteral("START RECORDING"));
        QVERIFY(adapter->sendFrame(0x456, true, QByteArray::fromHex("AB")));
        QTRY_COMPARE(tableRows(), 2); // CLOSE emptied the table
        QCOMPARE(dumpFiles(), QStringList{name});
        QList<QByteArray> lines;
        QVERIFY(wellFormed(name, lines));
        // Up to the line feed: no carriage return; an empty payload ends with ';'.
        QCOMPARE(lines, (QList<QByteArray>{";123;", ";18FEF100;01 A2 FF ", ";7FF;11 22 33 44 55 66 77 88 "}));
    }

    // A start that cannot create its file leaves the button unchecked and
    // writes nothing; writes that fail midway (full disk) hold nothing up.
    void fileProblemsNeverHoldUpReception()
    {
        const auto pressedOff = [this] {
            press(*window, "pb_dumpFile");
            return !button->isChecked() && button->text() == QStringLiteral("START RECORDING");
        };
        QFile blocker(QStringLiteral("dumps")); // no directory can be made
        QVERIFY(blocker.open(QIODevice::WriteOnly) && blocker.write("not a directory\n") == 16);
        blocker.close();
        QVERIFY(pressedOff());
        QCOMPARE(QFileInfo(blocker).size(), qint64(16));
        // A directory in which no file can be created, not even by root.
        QVERIFY(blocker.remove() && QFile::link(QStringLiteral("/proc/self"), QStringLiteral("dumps")));
        QVERIFY(pressedOff());
        QVERIFY(QDir(QStringLiteral("dumps")).entryList({QStringLiteral("dump_*")}).isEmpty());
        QVERIFY(QFile::remove(QStringLiteral("dumps")));

        // A file-size limit plays the full disk (a failed write, the signal ignored).
        rlimit saved{};
        getrlimit(RLIMIT_FSIZE, &saved);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        const auto restore = qScopeGuard([&] { setrlimit(RLIMIT_FSIZE, &saved); std::signal(SIGXFSZ, oldHandler); });
        rlimit full = saved;
        full.rlim_cur = rlim_t(header.size()) + 100;
        QVERIFY(setrlimit(RLIMIT_FSIZE, &full) == 0);
        press(*window, "pb_dumpFile");
        QVERIFY(button->isChecked());
        for (int i = 0; i < 40; ++i)
            QVERIFY(adapter->sendFrame(0x500 + quint32(i % 20), true, QByteArray::fromHex("0102030405060708")));
        QTRY_COMPARE(tableRows(), 20);
        QVERIFY(pressedOff()); // stops: the reader is not stuck in a write
        const QByteArray all = contents(dumpFiles().value(0));
        QVERIFY(all.startsWith(header));
        QCOMPARE(quint64(all.size()), quint64(full.rlim_cur));
    }

    // Recordings of varying length during a stream, many within the same
    // second, the last ended by destroying the window: a file of its own each,
    // with the header and whole lines only, not growing once stopped, holding
    // consecutive frames later than those of the file before.
    void stopStartAndDestroyDuringAStream()
    {
        adapter->startStream(sequencedFrame, 5000, 1000000);
        QStringList files;
        QList<qint64> sizeAtStop;
        for (int r = 0; r <= 20; ++r) {
            press(*window, "pb_dumpFile");
            QStringList added = dumpFiles();
            for (const QString &name : qAsConst(files))
                added.removeOne(name);
            QCOMPARE(added.size(), 1);
            files << added[0];
            QTRY_VERIFY(dataLines(files.last()) >= 20 + r * 5);
            if (r < 20)
                press(*window, "pb_dumpFile");
            else
                window.reset(); // frames still arriving
            sizeAtStop << QFileInfo(QStringLiteral("dumps/") + files.last()).size();
        }
        // The stream goes on (50 ms of it): stopped files must not grow.
        const int sent = adapter->streamSent();
        QTRY_VERIFY(adapter->streamSent() >= sent + 250);
        adapter->stopStream();
        QVERIFY(!files.filter(QRegularExpression(QStringLiteral("_\\d+\\.csv$"))).isEmpty()); // same-second starts
        int previousLast = -1;
        for (const QString &name : qAsConst(files)) {
            QCOMPARE(QFileInfo(QStringLiteral("dumps/") + name).size(), sizeAtStop.takeFirst());
            QList<QByteArray> lines;
            QVERIFY2(wellFormed(name, lines), qPrintable(name));
            for (int i = 1; i < lines.size(); ++i)
                QCOMPARE(sequenceOf(lines[i]), sequenceOf(lines[0]) + i);
            QVERIFY(sequenceOf(lines[0]) > previousLast);
            previousLast = sequenceOf(lines.last());
        }
    }
};

QTEST_MAIN(TestRecording)
#include "test_recording.moc"
