// Recordings replayed into the real window through the simulated adapter on a
// pseudo-terminal, as --replay does: each file format and a real truck log,
// recorded again while they play and compared frame by frame with the input;
// looping; an exclude filter applied by the simulated adapter.

#include "formats/frameio.h"
#include "sim/emulator.h"
#include "sim/replaytraffic.h"
#include "tests/support/mainwindowprobe.h"
#include "tests/support/windowdriver.h"

#include <QProcess>
#include <QRegularExpression>
#include <QtTest>
#include <QtWidgets>

using namespace WindowDriver;

namespace {

QString writeFile(const QString &path, const QByteArray &text)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size() ? path : QString();
}

// The data lines of the one dump in dumps/ below dir, without their time stamps.
QStringList recorded(const QString &dir)
{
    const QFileInfoList dumps = QDir(dir + "/dumps").entryInfoList({"*.csv"}, QDir::Files);
    if (dumps.size() != 1)
        return {QStringLiteral("%1 dump files").arg(dumps.size())};
    QFile file(dumps.first().filePath());
    if (!file.open(QIODevice::ReadOnly))
        return {QStringLiteral("unreadable dump")};
    QStringList lines;
    const QList<QByteArray> all = file.readAll().split('\n');
    for (int i = 1; i < all.size(); ++i) {
        if (!all[i].isEmpty())
            lines << QString::fromLatin1(all[i].mid(all[i].indexOf(';') + 1));
    }
    return lines;
}

// candump -L lines as the dump writes them: "ID;BB BB ", read by a pattern of
// the test's own.
QStringList expectedFromCandump(const QByteArray &log)
{
    static const QRegularExpression line(QStringLiteral("^\\(\\d+\\.\\d+\\) \\S+ ([0-9A-F]{3}|[0-9A-F]{8})#([0-9A-F]*)$"));
    QStringList out;
    for (const QByteArray &text : log.split('\n')) {
        const QRegularExpressionMatch m = line.match(QString::fromLatin1(text));
        if (!m.hasMatch())
            continue;
        QString bytes;
        for (int i = 0; i < m.captured(2).size(); i += 2)
            bytes += m.captured(2).mid(i, 2) + ' ';
        out << m.captured(1) + ';' + bytes;
    }
    return out;
}

// One window, one simulated adapter replaying a file, recording into a scratch
// working directory.
struct Replay {
    QTemporaryDir scratch;
    QString home = QDir::currentPath();
    std::unique_ptr<sim::AdapterEmulator> adapter;
    MainWindow window;
    QString error;

    explicit Replay(const sim::ReplaySettings &settings)
    {
        QDir::setCurrent(scratch.path());
        auto traffic = sim::ReplayTraffic::open(settings, &error);
        if (!traffic)
            return;
        adapter = std::make_unique<sim::AdapterEmulator>(std::move(traffic));
        if (!adapter->start(&error)) {
            adapter.reset();
            return;
        }
        selectPort(window, adapter->devicePath(), QStringLiteral("replay"));
        press(window, "pb_open");
    }
    ~Replay() { QDir::setCurrent(home); }
    bool ready() const { return adapter && error.isEmpty(); }
    void startRecording() { press(window, "pb_dumpFile"); }
    void play(const QString &canRate = QStringLiteral("125 kbps")) { configure(window, canRate); }
};

} // namespace

class TestReplay : public QObject
{
    Q_OBJECT

private slots:
    void eachFormatRecordsTheSameFrames_data();
    void eachFormatRecordsTheSameFrames();
    void realTruckLog();
    void loops();
    void excludeFilterStopsAnIdentifier();
};

void TestReplay::eachFormatRecordsTheSameFrames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QStringList>("lines");
    const QStringList lines = {"18FEF100;11 22 33 44 55 66 77 88 ", "123;", "7FF;01 A2 FF ", "00000123;AB ",
                               "0CF00400;FF FF FF 40 1F FF FF FF "};
    QTest::newRow("dump file") << "dump_2026-12-07_10-00-00.csv"
                               << QByteArray("Timestamp;ID;Payload\n10:00:00.100;18FEF100;11 22 33 44 55 66 77 88 \n"
                                             "10:00:00.150;123;\n10:00:00.200;7FF;01 A2 FF \n"
                                             "10:00:00.250;00000123;AB \n10:00:00.300;0CF00400;FF FF FF 40 1F FF FF FF \n")
                               << lines;
    QByteArray log("(1496841006.100000) can0 18FEF100#1122334455667788\n"
                   "(1496841006.150000) can0 123#\n(1496841006.200000) can0 7FF#01A2FF\n"
                   "(1496841006.250000) can0 00000123#AB\n"
                   "(1496841006.300000) can0 0CF00400#FFFFFF401FFFFFFF\n");
    QTest::newRow("candump log") << "colleague.log" << log << lines;
    // The same frames in a BLF file.
    QByteArray blf;
    {
        QBuffer in(&log), out(&blf);
        in.open(QIODevice::ReadOnly);
        out.open(QIODevice::WriteOnly);
        const auto reader = formats::openReader(formats::Format::Candump, &in);
        const auto writer = formats::openWriter(formats::Format::Blf, &out);
        formats::CanFrame frame;
        while (reader->next(frame))
            writer->write(frame);
        writer->finish();
    }
    QTest::newRow("BLF log") << "colleague.blf" << blf << lines;
    QTest::newRow("ASC log") << "colleague.asc"
                             << QByteArray("date Wed Jun  7 13:10:06 2017\nbase hex  timestamps absolute\n"
                                           "   0.100000 1  18FEF100x       Rx   d 8 11 22 33 44 55 66 77 88\n"
                                           "   0.150000 1  123             Rx   d 0\n"
                                           "   0.200000 1  7FF             Rx   d 3 01 A2 FF\n"
                                           "   0.250000 1  123x            Rx   d 1 AB\n"
                                           "   0.300000 1  CF00400x        Rx   d 8 FF FF FF 40 1F FF FF FF\n")
                             << lines;
}

void TestReplay::eachFormatRecordsTheSameFrames()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, text);
    QFETCH(QStringList, lines);
    QTemporaryDir input;
    const QString path = writeFile(input.filePath(name), text);
    Replay r({path});
    QVERIFY2(r.ready(), qPrintable(r.error));
    r.startRecording();
    r.play();
    QTRY_COMPARE(recorded(r.scratch.path()), lines);
    // The table shows the newest frame of each identifier.
    QTRY_COMPARE(MainWindowProbe::rowOfId(r.window).size(), 4);
}

void TestReplay::realTruckLog()
{
    // The engine-idling truck, 127 s played at 20 times its speed.
    QProcess gzip;
    gzip.start(QStringLiteral("gzip"), {QStringLiteral("-dc"), QStringLiteral(VORNIX_REALDATA_DIR "/decodinggui.candump.log.gz")});
    QVERIFY(gzip.waitForFinished(30000));
    const QByteArray log = gzip.readAllStandardOutput();
    const QStringList expected = expectedFromCandump(log);
    QCOMPARE(expected.size(), 78582);
    QTemporaryDir input;
    const QString path = writeFile(input.filePath("truck.log"), log);
    Replay r({path, false, 20});
    QVERIFY2(r.ready(), qPrintable(r.error));
    r.startRecording();
    r.play(QStringLiteral("250 kbps"));
    QTRY_VERIFY_WITH_TIMEOUT(recorded(r.scratch.path()).size() >= expected.size()
                                 || r.adapter->stats().framesDropped > 0,
                             60000);
    QCOMPARE(r.adapter->stats().framesDropped, quint64(0));
    const QStringList got = recorded(r.scratch.path());
    QCOMPARE(got.size(), expected.size());
    for (int i = 0; i < got.size(); ++i)
        QVERIFY2(got[i] == expected[i], qPrintable(QStringLiteral("frame %1: %2, expected %3").arg(i).arg(got[i], expected[i])));
    QTRY_COMPARE(MainWindowProbe::rowOfId(r.window).size(), 101);
}

void TestReplay::loops()
{
    QTemporaryDir input;
    const QString path = writeFile(input.filePath("three.log"), "(10.000000) can0 100#01\n(10.010000) can0 200#02\n"
                                                                "(10.020000) can0 300#03\n");
    Replay r({path, true, 10});
    QVERIFY2(r.ready(), qPrintable(r.error));
    r.startRecording();
    r.play();
    QTRY_VERIFY(recorded(r.scratch.path()).size() >= 12);
    const QStringList got = recorded(r.scratch.path());
    const QStringList round = {"100;01 ", "200;02 ", "300;03 "};
    for (int i = 0; i < got.size(); ++i)
        QCOMPARE(got[i], round[i % 3]);
}

void TestReplay::excludeFilterStopsAnIdentifier()
{
    QTemporaryDir input;
    const QString path = writeFile(input.filePath("two.log"), "(10.000000) can0 100#01\n(10.005000) can0 200#02\n");
    Replay r({path, true, 1});
    QVERIFY2(r.ready(), qPrintable(r.error));
    r.play();
    QTRY_VERIFY(MainWindowProbe::rowOfId(r.window).contains(0x200));
    child<QLineEdit>(r.window, "le_filterID2")->setText("200");
    press(r.window, "tb_add");
    child<QRadioButton>(r.window, "rb_exclude")->setChecked(true);
    press(r.window, "pb_enableFilters");
    QTRY_VERIFY(r.adapter->filterState().enabled && r.adapter->filterState().exclude);
    // Frames already on their way still arrive; record from a little later.
    const quint64 sent = r.adapter->stats().framesSent;
    QTRY_VERIFY(r.adapter->stats().framesSent >= sent + 5);
    r.startRecording();
    QTRY_VERIFY(recorded(r.scratch.path()).size() >= 10);
    QCOMPARE(recorded(r.scratch.path()).filter("200;").size(), 0);
    QVERIFY(r.adapter->stats().framesFiltered > 0);
}

QTEST_MAIN(TestReplay)
#include "test_replay.moc"
