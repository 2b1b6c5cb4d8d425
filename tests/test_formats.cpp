// Recording formats: the program's dump files, candump -L logs and Vector ASC
// logs, read and written one frame at a time; round trips between them,
// files written and read by can-utils (log2asc, asc2log) and python-can, the
// real truck logs, bad input, and the table of the formats.

#include "tests/support/recording.h"
#include "tests/support/runprogram.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <QtTest>

#include <vector>

using formats::CanFrame;
using formats::Format;

namespace {

Recording readAll(Format format, const QByteArray &text, const QString &fileName = {}, bool skipBad = false)
{
    formats::ReadOptions options;
    options.fileName = fileName;
    options.skipBad = skipBad;
    options.fallbackDate = QDate(2020, 1, 1);
    return readRecording(text, format, options);
}

struct WriteResult {
    QByteArray text;
    qint64 truncated = 0, unsupported = 0;
};

WriteResult writeAll(Format format, const std::vector<CanFrame> &frames)
{
    WriteResult result;
    QBuffer buffer(&result.text);
    buffer.open(QIODevice::WriteOnly);
    auto writer = formats::openWriter(format, &buffer);
    for (const CanFrame &frame : frames)
        writer->write(frame);
    writer->finish();
    result.truncated = writer->truncated();
    result.unsupported = writer->unsupported();
    return result;
}

// A frame as a line of text: kind, identifier, data, time (microseconds, or
// milliseconds of the day when `timeOfDay`).
QString describe(const CanFrame &f, bool timeOfDay = false)
{
    QString kind = f.extended ? "ext" : "std";
    if (f.remote)
        kind += QStringLiteral(" remote %1").arg(f.remoteLength);
    if (f.fd)
        kind += QStringLiteral(" fd %1").arg(f.fdFlags);
    const QString time = timeOfDay
        ? QDateTime::fromMSecsSinceEpoch(f.timeUs / 1000).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"))
        : QString::number(f.timeUs);
    return QStringLiteral("%1 %2 %3 [%4]").arg(time, kind, QString::number(f.id, 16), QString(f.data.toHex(' ')));
}

QStringList describeAll(const std::vector<CanFrame> &frames, bool timeOfDay = false)
{
    QStringList out;
    for (const CanFrame &f : frames)
        out << describe(f, timeOfDay);
    return out;
}

// The same frames apart from their times, whose steps from frame to frame agree.
QStringList withRelativeTimes(const std::vector<CanFrame> &frames)
{
    QStringList out;
    for (size_t i = 0; i < frames.size(); ++i) {
        CanFrame f = frames[i];
        f.timeUs = i == 0 ? 0 : frames[i].timeUs - frames[i - 1].timeUs;
        out << describe(f);
    }
    return out;
}

qint64 localUs(const char *when)
{
    return QDateTime::fromString(QString::fromLatin1(when), QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"))
               .toMSecsSinceEpoch()
        * 1000;
}

CanFrame frame(qint64 timeUs, quint32 id, bool extended, const char *hexData)
{
    CanFrame f;
    f.timeUs = timeUs;
    f.id = id;
    f.extended = extended;
    f.data = QByteArray::fromHex(hexData);
    return f;
}


} // namespace

class TestFormats : public QObject
{
    Q_OBJECT

private slots:
    void dumpFileDates_data();
    void dumpFileDates();
    void dumpAcrossMidnight();
    void roundTripsThroughDump_data();
    void roundTripsThroughDump();
    void candumpLines_data();
    void candumpLines();
    void ascLines_data();
    void ascLines();
    void badInput_data();
    void badInput();
    void cutLastLine_data();
    void cutLastLine();
    void limits_data();
    void limits();
    void ourCandumpThroughLog2asc();
    void ascFromPythonCan();
    void ourAscThroughAsc2log();
    void realTruckLogs_data();
    void realTruckLogs();
    void formatTable();
};

void TestFormats::dumpFileDates_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("firstFrame");
    QTest::addColumn<bool>("warned");
    const QByteArray line = "Timestamp;ID;Payload\n10:00:01.250;123;01 \n";
    QTest::newRow("plain name") << "dump_2026-12-07_10-00-00.csv" << "2026-12-07 10:00:01.250" << false;
    QTest::newRow("second in the same second") << "/some/dir/dump_2026-12-07_10-00-00_2.csv"
                                               << "2026-12-07 10:00:01.250" << false;
    QTest::newRow("_12") << "dump_2026-03-01_10-00-00_12.csv" << "2026-03-01 10:00:01.250" << false;
    QTest::newRow("_1 is not made") << "dump_2026-12-07_10-00-00_1.csv" << "2020-01-01 10:00:01.250" << true;
    QTest::newRow("other name") << "recording.csv" << "2020-01-01 10:00:01.250" << true;
    QTest::newRow("standard input") << "" << "2020-01-01 10:00:01.250" << true;
}

void TestFormats::dumpFileDates()
{
    QFETCH(QString, name);
    QFETCH(QString, firstFrame);
    const Recording r = readAll(Format::DumpCsv, "Timestamp;ID;Payload\n10:00:01.250;123;01 \n", name);
    QVERIFY2(r.error.isEmpty(), qPrintable(r.error));
    QCOMPARE(int(r.frames.size()), 1);
    QCOMPARE(r.frames[0].timeUs, localUs(qPrintable(firstFrame)));
    QTEST(!r.warning.isEmpty(), "warned");
}

void TestFormats::dumpAcrossMidnight()
{
    const Recording r = readAll(Format::DumpCsv, DUMP, DUMP_NAME);
    QVERIFY2(r.error.isEmpty() && r.warning.isEmpty(), qPrintable(r.error + r.warning));
    QCOMPARE(describeAll(r.frames, true),
             QStringList({"2026-12-07 23:59:59.900 ext 18fef100 [01 a2 ff]", "2026-12-07 23:59:59.950 std 123 []",
                          "2026-12-08 00:00:00.010 std 1abc [11 22]",
                          "2026-12-08 00:00:00.020 std 7ff [01 02 03 04 05 06 07 08 09 0a]",
                          "2026-12-08 00:00:01.900 ext 123 [ab]"}));
    // A recording that starts after midnight of its file name's day.
    const Recording late = readAll(Format::DumpCsv, "Timestamp;ID;Payload\n00:00:02.000;100;\n",
                                    "dump_2026-12-07_23-59-59.csv");
    QCOMPARE(describeAll(late.frames, true), QStringList({"2026-12-08 00:00:02.000 std 100 []"}));
    // A clock set back by a second stays on its day.
    const Recording back = readAll(Format::DumpCsv, "Timestamp;ID;Payload\n12:00:05.000;100;\n12:00:04.000;100;\n",
                                    "dump_2026-12-07_12-00-00.csv");
    QCOMPARE(describeAll(back.frames, true),
             QStringList({"2026-12-07 12:00:05.000 std 100 []", "2026-12-07 12:00:04.000 std 100 []"}));
    // The writer gives back the program's own lines.
    QCOMPARE(writeAll(Format::DumpCsv, r.frames).text, DUMP);
}

void TestFormats::roundTripsThroughDump_data()
{
    QTest::addColumn<int>("via");
    QTest::addColumn<int>("truncated");
    QTest::addColumn<int>("unsupported");
    // The 4-digit standard identifier has no form in either; the 10-byte payload loses 2 bytes.
    QTest::newRow("csv -> candump -> csv") << int(Format::Candump) << 1 << 1;
    QTest::newRow("csv -> asc -> csv") << int(Format::Asc) << 1 << 1;
}

void TestFormats::roundTripsThroughDump()
{
    QFETCH(int, via);
    const Recording original = readAll(Format::DumpCsv, DUMP, DUMP_NAME);
    const WriteResult middle = writeAll(Format(via), original.frames);
    QTEST(int(middle.truncated), "truncated");
    QTEST(int(middle.unsupported), "unsupported");
    const Recording back = readAll(Format(via), middle.text);
    QVERIFY2(back.error.isEmpty(), qPrintable(back.error));
    // The 1ABC frame left out, the 7FF frame cut to its first 8 bytes.
    QCOMPARE(describeAll(back.frames, true),
             QStringList({"2026-12-07 23:59:59.900 ext 18fef100 [01 a2 ff]", "2026-12-07 23:59:59.950 std 123 []",
                          "2026-12-08 00:00:00.020 std 7ff [01 02 03 04 05 06 07 08]",
                          "2026-12-08 00:00:01.900 ext 123 [ab]"}));
    // And back into a dump file: the same lines less those two changes.
    QCOMPARE(writeAll(Format::DumpCsv, back.frames).text,
             QByteArray("Timestamp;ID;Payload\n23:59:59.900;18FEF100;01 A2 FF \n23:59:59.950;123;\n"
                        "00:00:00.020;7FF;01 02 03 04 05 06 07 08 \n00:00:01.900;00000123;AB \n"));
}

void TestFormats::candumpLines_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("frame");     // as describe() gives it, empty: unsupported
    QTest::addColumn<QByteArray>("written"); // what the writer makes of it
    QTest::newRow("extended") << QByteArray("(1496841006.123456) can0 18FEF100#1122334455667788")
                              << "1496841006123456 ext 18fef100 [11 22 33 44 55 66 77 88]"
                              << QByteArray("(1496841006.123456) can0 18FEF100#1122334455667788\n");
    QTest::newRow("standard, no data") << QByteArray("(0000000001.000001) vcan1 123#") << "1000001 std 123 []"
                                       << QByteArray("(0000000001.000001) can0 123#\n");
    QTest::newRow("8 digits are extended") << QByteArray("(1.5) can0 00000123#AB") << "1500000 ext 123 [ab]"
                                           << QByteArray("(0000000001.500000) can0 00000123#AB\n");
    QTest::newRow("dots between bytes, lower case") << QByteArray("(2.000000) can0 7ff#01.a2.ff")
                                                    << "2000000 std 7ff [01 a2 ff]"
                                                    << QByteArray("(0000000002.000000) can0 7FF#01A2FF\n");
    QTest::newRow("remote") << QByteArray("(3.000000) can0 7FF#R") << "3000000 std remote 0 7ff []"
                            << QByteArray("(0000000003.000000) can0 7FF#R\n");
    QTest::newRow("remote with length") << QByteArray("(3.000000) can0 123#R3") << "3000000 std remote 3 123 []"
                                        << QByteArray("(0000000003.000000) can0 123#R3\n");
    QTest::newRow("CAN FD") << QByteArray("(4.000000) can0 12345678##1112233445566778899AABBCC")
                            << "4000000 ext fd 1 12345678 [11 22 33 44 55 66 77 88 99 aa bb cc]"
                            << QByteArray("(0000000004.000000) can0 12345678##1112233445566778899AABBCC\n");
    QTest::newRow("direction at the end") << QByteArray("(5.000000) can0 100#01 R") << "5000000 std 100 [01]"
                                          << QByteArray("(0000000005.000000) can0 100#01\n");
    QTest::newRow("error frame") << QByteArray("(6.000000) can0 20000080#0000000000000000") << "" << QByteArray();
}

void TestFormats::candumpLines()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, frame);
    QFETCH(QByteArray, written);
    const Recording r = readAll(Format::Candump, line + '\n');
    QVERIFY2(r.error.isEmpty(), qPrintable(r.error));
    QCOMPARE(describeAll(r.frames), frame.isEmpty() ? QStringList() : QStringList{frame});
    QCOMPARE(r.unsupported, frame.isEmpty() ? 1 : 0);
    QCOMPARE(writeAll(Format::Candump, r.frames).text, written);
}

void TestFormats::ascLines_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QStringList>("frames");
    const QByteArray head = "date Wed Jun  7 13:10:06 2017\nbase hex  timestamps absolute\nno internal events logged\n";
    const qint64 base = localUs("2017-06-07 13:10:06.000");
    const auto at = [base](qint64 us) { return QString::number(base + us); };
    QTest::newRow("log2asc lines")
        << head + "   0.000000 1  18FEF100x       Rx   d 8 11 22 33 44 55 66 77 88\n"
                  "   0.100000 1  123             Rx   d 0\n"
                  "   0.200000 1  7FF             Rx   r 0\n"
                  "   0.300000 1  123             Rx   r 3\n"
                  "   1.876549 CANFD   1 Rx   12345678x                                  1 0 9 12 11 22 33 44 55 "
                  "66 77 88 99 AA BB CC   130000  130     3000 0 0 0 0 0\n"
        << QStringList{at(0) + " ext 18fef100 [11 22 33 44 55 66 77 88]", at(100000) + " std 123 []",
                       at(200000) + " std remote 0 7ff []", at(300000) + " std remote 3 123 []",
                       at(1876549) + " ext fd 1 12345678 [11 22 33 44 55 66 77 88 99 aa bb cc]"};
    QTest::newRow("relative times, decimal, Vector's extra fields, events")
        << QByteArray("date Thu Nov 29 03:45:12.250 pm 2013\nbase dec  timestamps relative\n"
                      "// version 7.0.0\nBegin Triggerblock\n   0.000000 Start of measurement\n"
                      "   0.500000 1  291             Tx   d 2 1 255  Length = 228000 BitCount = 118 ID = 291\n"
                      "   0.250000 1  419364864x      Rx   d 1 16\n"
                      "   0.250000 1  Statistic: D 0 R 0 XD 0 XR 0 E 0 O 0 B 0.00%\n"
                      "   0.250000 1  ErrorFrame\n"
                      "End TriggerBlock\n")
        << QStringList{QString::number(localUs("2013-11-29 15:45:12.250") + 500000) + " std 123 [01 ff]",
                       QString::number(localUs("2013-11-29 15:45:12.250") + 750000) + " ext 18ff0000 [10]"};
}

void TestFormats::ascLines()
{
    QFETCH(QByteArray, text);
    QFETCH(QStringList, frames);
    const Recording r = readAll(Format::Asc, text);
    QVERIFY2(r.error.isEmpty(), qPrintable(QStringLiteral("line %1: %2").arg(r.errorLine).arg(r.error)));
    QCOMPARE(describeAll(r.frames), frames);
    // Written and read again: the same frames, to the microsecond.
    const WriteResult again = writeAll(Format::Asc, r.frames);
    QCOMPARE(again.unsupported + again.truncated, 0);
    QCOMPARE(describeAll(readAll(Format::Asc, again.text).frames), frames);
}

void TestFormats::badInput_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("framesBefore");
    const QByteArray ascHead = "date Wed Jun  7 13:10:06 2017\nbase hex  timestamps absolute\n";
    const QByteArray good = "   0.000000 1  100             Rx   d 1 01\n";
    QTest::newRow("csv missing header") << int(Format::DumpCsv) << QByteArray("10:00:00.000;123;01 \n") << 1
                                        << "missing header line" << 0;
    QTest::newRow("csv empty file") << int(Format::DumpCsv) << QByteArray() << 1 << "missing header line" << 0;
    QTest::newRow("csv truncated line") << int(Format::DumpCsv)
                                        << QByteArray("Timestamp;ID;Payload\n10:00:00.000;123;01 \n10:00:0\n") << 3
                                        << "not a dump line" << 1;
    QTest::newRow("csv non-hex byte") << int(Format::DumpCsv)
                                      << QByteArray("Timestamp;ID;Payload\n10:00:00.000;123;0G \n") << 2
                                      << "not a dump line" << 0;
    QTest::newRow("candump truncated") << int(Format::Candump)
                                       << QByteArray("(1.000000) can0 100#01\n(2.000000) can0 10\n") << 2
                                       << "an identifier has 3 or 8" << 1;
    QTest::newRow("candump odd digit") << int(Format::Candump) << QByteArray("(1.000000) can0 100#012\n") << 1
                                       << "data bytes are pairs" << 0;
    QTest::newRow("candump nine bytes") << int(Format::Candump)
                                        << QByteArray("(1.000000) can0 100#010203040506070809\n") << 1
                                        << "more than 8 data bytes" << 0;
    QTest::newRow("asc missing header") << int(Format::Asc) << QByteArray(good) << 1 << "no \"base" << 0;
    QTest::newRow("asc DLC says more") << int(Format::Asc)
                                       << ascHead + good + "   0.100000 1  123             Rx   d 8 11 22\n" << 4
                                       << "says 8 bytes, the line has 2" << 1;
    QTest::newRow("asc DLC says less") << int(Format::Asc)
                                       << ascHead + good + "   0.100000 1  123             Rx   d 1 11 22\n" << 4
                                       << "says 1 bytes, the line has more" << 1;
    QTest::newRow("asc non-hex byte") << int(Format::Asc)
                                      << ascHead + "   0.100000 1  123             Rx   d 2 11 2X\n" << 3
                                      << "bad data byte \"2X\"" << 0;
    QTest::newRow("asc truncated") << int(Format::Asc) << ascHead + good + "   0.100000 1  123\n" << 4
                                   << "a frame line reads" << 1;
    // Lines of a frame's shape whose channel or identifier do not read are
    // bad lines, not events of the measurement.
    const struct {
        const char *name, *line, *message;
    } frameShaped[] = {
        {"asc identifier 12G", "   0.100000 1  12G             Rx   d 1 01\n", "bad identifier \"12G\""},
        {"asc identifier -1", "   0.100000 1  -1              Rx   d 1 01\n", "bad identifier \"-1\""},
        {"asc 9-digit extended identifier", "   0.100000 1  123456789x      Rx   d 1 01\n",
         "bad identifier \"123456789x\""},
        {"asc channel 99999999999", "   0.100000 99999999999  123  Rx   d 1 01\n", "bad channel \"99999999999\""},
        {"asc channel -1", "   0.100000 -1  123            Rx   d 1 01\n", "bad channel \"-1\""},
    };
    for (const auto &row : frameShaped)
        QTest::newRow(row.name) << int(Format::Asc) << ascHead + good + row.line << 4 << row.message << 1;
}

void TestFormats::badInput()
{
    QFETCH(int, format);
    QFETCH(QByteArray, text);
    QFETCH(int, line);
    QFETCH(QString, message);
    QFETCH(int, framesBefore);
    // Stops at the bad line; only the frames before it come out.
    const Recording r = readAll(Format(format), text, DUMP_NAME);
    QCOMPARE(int(r.errorLine), line);
    QVERIFY2(r.error.contains(message), qPrintable(r.error));
    QCOMPARE(int(r.frames.size()), framesBefore);
    // Skipping: counted with the first line's number, the rest still read.
    const QByteArray more = format == int(Format::DumpCsv) ? "10:00:05.000;7FF;\n"
                            : format == int(Format::Candump) ? "(9.000000) can0 7FF#\n"
                                                             : "   9.000000 1  7FF             Rx   d 0\n";
    const Recording skipped = readAll(Format(format), text + "\n" + more, DUMP_NAME, true);
    QVERIFY(skipped.error.isEmpty());
    QVERIFY(skipped.badLines >= 1);
    QCOMPARE(int(skipped.firstBadLine), line);
    QCOMPARE(describe(skipped.frames.back()).section(' ', 1), QStringLiteral("std 7ff []"));
}

// A last line without its line end (a recording cut while it was written)
// is left out and its number told, never read as a shorter frame; the
// frames before it stand, with or without skipping.
void TestFormats::cutLastLine_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("frames");
    QTest::addColumn<int>("cutLine");
    const QByteArray candump = "(1.000000) can0 100#01\n";
    QTest::newRow("candump cut in the data") << int(Format::Candump) << candump + "(2.000000) can0 18FEF131#F7FFFF"
                                             << 1 << 2;
    QTest::newRow("candump cut after #") << int(Format::Candump) << candump + "(2.000000) can0 18FEF131#" << 1 << 2;
    QTest::newRow("csv cut in the data") << int(Format::DumpCsv)
                                         << QByteArray("Timestamp;ID;Payload\n10:00:00.000;123;01 \n10:00:00.010;123;01 0")
                                         << 1 << 3;
    QTest::newRow("asc cut in the data") << int(Format::Asc)
                                         << QByteArray("date Wed Jun  7 13:10:06 2017\nbase hex  timestamps absolute\n"
                                                       "   0.000000 1  100             Rx   d 1 01\n"
                                                       "   0.100000 1  123             Rx   d 2 11")
                                         << 1 << 4;
    QTest::newRow("blanks after the last line end") << int(Format::Candump) << candump + "  " << 1 << 0;
    QTest::newRow("whole last line") << int(Format::Candump) << candump + "(2.000000) can0 123#02\n" << 2 << 0;
}

void TestFormats::cutLastLine()
{
    QFETCH(int, format);
    QFETCH(QByteArray, text);
    QFETCH(int, frames);
    QFETCH(int, cutLine);
    for (const bool skipBad : {false, true}) {
        const Recording r = readAll(Format(format), text, DUMP_NAME, skipBad);
        QVERIFY2(r.error.isEmpty(), qPrintable(r.error));
        QCOMPARE(int(r.badLines), 0);
        QCOMPARE(int(r.frames.size()), frames);
        QCOMPARE(int(r.cutPosition), cutLine);
    }
}

// What a stranger's file cannot get past. One line is one line whatever its
// length: a line over 64 KiB is one bad line at its own number, and the
// lines after it keep theirs. An ASC header that does not end stops the
// reading after 1000 lines.
void TestFormats::limits_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("errorLine"); // where reading stops without skipping
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("bad");       // skipping: the bad lines, the first one, the frames, the lines
    QTest::addColumn<int>("firstBad");
    QTest::addColumn<int>("frames");
    QTest::addColumn<int>("lines");
    const QByteArray head = "date Wed Jun  7 13:10:06 2017\nbase hex  timestamps absolute\n";
    const QByteArray good = "   0.000000 1  100             Rx   d 1 01\n";
    const QByteArray bad = "   0.100000 1  123             Rx   d 1 0X\n";
    const QByteArray tooLong = "// " + QByteArray(300 * 1024, 'x') + "\n"; // over the reader's 256 KiB pieces
    QTest::newRow("ASC comment of 300 KiB") << int(Format::Asc) << head + tooLong + good + bad << 3
                                            << "a line longer than 65536 bytes" << 2 << 3 << 1 << 5;
    const QByteArray longest = "// " + QByteArray(65536 - 3, 'x') + "\n";
    QTest::newRow("ASC comment of 64 KiB") << int(Format::Asc) << head + longest + good + bad << 5
                                           << "bad data byte" << 1 << 5 << 1 << 5;
    QTest::newRow("2 MB without a line end") << int(Format::Candump) << QByteArray(2 * 1024 * 1024, 'A') << 1
                                             << "a line longer than 65536 bytes" << 1 << 1 << 0 << 1;
    QTest::newRow("2 MB line, then a frame") << int(Format::Candump)
                                             << QByteArray(2 * 1024 * 1024, 'A') + "\n(1.000000) can0 100#01\n" << 1
                                             << "a line longer than 65536 bytes" << 1 << 1 << 1 << 2;
    QByteArray comments;
    for (int i = 0; i < 5000; ++i)
        comments += "// nothing but comments\n";
    QTest::newRow("ASC header that does not end") << int(Format::Asc) << head + comments + good << 1001
                                                  << "the header does not end" << 1 << 1001 << 0 << 1001;
}

void TestFormats::limits()
{
    QFETCH(int, format);
    QFETCH(QByteArray, text);
    QFETCH(int, errorLine);
    QFETCH(QString, message);
    QFETCH(int, bad);
    QFETCH(int, firstBad);
    QFETCH(int, frames);
    QFETCH(int, lines);
    const Recording stopped = readAll(Format(format), text);
    QCOMPARE(int(stopped.errorLine), errorLine);
    QVERIFY2(stopped.error.contains(message), qPrintable(stopped.error));
    const Recording skipped = readAll(Format(format), text, {}, true);
    QCOMPARE(int(skipped.badLines), bad);
    QCOMPARE(int(skipped.firstBadLine), firstBad);
    QCOMPARE(int(skipped.frames.size()), frames);
    QCOMPARE(int(skipped.linesRead), lines);
}

void TestFormats::ourCandumpThroughLog2asc()
{
    // Frames with every feature both tools share; log2asc converts our log,
    // and our ASC reader gives the frames back.
    const std::vector<CanFrame> frames = {
        frame(1496841006123456, 0x18FEF100, true, "1122334455667788"), frame(1496841006223456, 0x123, false, ""),
        frame(1496841006323456, 0x7FF, false, "01A2FF"), frame(1496841007000001, 0x123, true, "AB")};
    std::vector<CanFrame> withRemote = frames;
    CanFrame remote = frame(1496841007500000, 0x456, false, "");
    remote.remote = true;
    remote.remoteLength = 2;
    withRemote.push_back(remote);
    const WriteResult ours = writeAll(Format::Candump, withRemote);
    QTemporaryDir dir;
    const QString log = writeFile(dir.filePath("ours.log"), ours.text);
    const ProgramRun log2asc = runProgram(QStringLiteral("log2asc"), {"-I", log, "-O", dir.filePath("log2asc.asc"), "can0"});
    QVERIFY2(log2asc.status == 0, qPrintable(log2asc.summary()));
    const Recording back = readAll(Format::Asc, readFile(dir.filePath("log2asc.asc")));
    QVERIFY2(back.error.isEmpty(), qPrintable(back.error));
    // log2asc counts from the first frame's whole second: the steps agree.
    QCOMPARE(withRelativeTimes(back.frames), withRelativeTimes(withRemote));
}

void TestFormats::ascFromPythonCan()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("python.asc");
    const ProgramRun python = runProgram(QStringLiteral("/usr/bin/python3"),
        {"-c", "import can, sys\n"
               "w = can.ASCWriter(sys.argv[1])\n"
               "w.on_message_received(can.Message(timestamp=1496841006.125, arbitration_id=0x18FEF100, "
               "is_extended_id=True, data=bytes.fromhex('1122334455667788')))\n"
               "w.on_message_received(can.Message(timestamp=1496841006.25, arbitration_id=0x123, "
               "is_extended_id=False, data=b''))\n"
               "w.on_message_received(can.Message(timestamp=1496841006.5, arbitration_id=0x7FF, "
               "is_extended_id=False, is_remote_frame=True, dlc=0))\n"
               "w.on_message_received(can.Message(timestamp=1496841007.75, arbitration_id=0x12345678, "
               "is_extended_id=True, is_fd=True, bitrate_switch=True, data=bytes(range(12))))\n"
               "w.stop()\n",
         path});
    QVERIFY2(python.status == 0, qPrintable(python.summary()));
    const Recording r = readAll(Format::Asc, readFile(path));
    QVERIFY2(r.error.isEmpty(), qPrintable(QStringLiteral("line %1: %2").arg(r.errorLine).arg(r.error)));
    // python-can dates its trigger block to the millisecond of the first frame.
    const qint64 first = QDateTime::fromMSecsSinceEpoch(1496841006125).toMSecsSinceEpoch() * 1000;
    QCOMPARE(describeAll(r.frames),
             QStringList({QString::number(first) + " ext 18fef100 [11 22 33 44 55 66 77 88]",
                          QString::number(first + 125000) + " std 123 []",
                          QString::number(first + 375000) + " std remote 0 7ff []",
                          QString::number(first + 1625000) + " ext fd 1 12345678 [00 01 02 03 04 05 06 07 08 09 0a 0b]"}));
}

void TestFormats::ourAscThroughAsc2log()
{
    const std::vector<CanFrame> frames = {
        frame(1496841006123456, 0x18FEF100, true, "1122334455667788"), frame(1496841006223456, 0x123, false, ""),
        frame(1496841006323456, 0x7FF, false, "01A2FF"), frame(1496841009000001, 0x123, true, "AB")};
    const WriteResult ours = writeAll(Format::Asc, frames);
    QTemporaryDir dir;
    const ProgramRun asc2log = runProgram(QStringLiteral("asc2log"), {"-I", writeFile(dir.filePath("ours.asc"), ours.text)});
    QVERIFY2(asc2log.status == 0, qPrintable(asc2log.summary()));
    const Recording back = readAll(Format::Candump, asc2log.out.toLatin1());
    QVERIFY2(back.error.isEmpty(), qPrintable(back.error));
    // asc2log dates the log by its own clock where it cannot read the date line's
    // locale: the steps from frame to frame agree.
    QCOMPARE(withRelativeTimes(back.frames), withRelativeTimes(frames));
}

void TestFormats::realTruckLogs_data()
{
    QTest::addColumn<QString>("log");
    QTest::addColumn<int>("frames");
    QTest::newRow("sample truck") << "sampletruck" << 145278;
    QTest::newRow("decoding GUI") << "decodinggui" << 78582;
}

void TestFormats::realTruckLogs()
{
    QFETCH(QString, log);
    QFETCH(int, frames);
    const QByteArray text = truckLog(log);
    const Recording original = readAll(Format::Candump, text);
    QVERIFY2(original.problem().isEmpty(), qPrintable(original.problem()));
    QCOMPARE(int(original.frames.size()), frames);

    // Into a dump file named for the second of its first line, and back into
    // candump: the lines of the log, their times cut to the millisecond.
    const QString name = QStringLiteral("dump_%1.csv")
            .arg(QDateTime::fromSecsSinceEpoch(text.mid(1, 10).toLongLong()).toString("yyyy-MM-dd_HH-mm-ss"));
    const WriteResult dump = writeAll(Format::DumpCsv, original.frames);
    QCOMPARE(dump.unsupported + dump.truncated, 0);
    const Recording back = readAll(Format::DumpCsv, dump.text, name);
    QVERIFY2(back.error.isEmpty() && back.warning.isEmpty(), qPrintable(back.error + back.warning));
    const QString milliseconds = QString::fromLatin1(text).replace(QRegularExpression("(\\.\\d{3})\\d{3}\\)"), "\\1000)");
    QCOMPARE(QString::fromLatin1(writeAll(Format::Candump, back.frames).text), milliseconds);
    // Through ASC: to the microsecond, the very lines of the log.
    const Recording viaAsc = readAll(Format::Asc, writeAll(Format::Asc, original.frames).text);
    QCOMPARE(writeAll(Format::Candump, viaAsc.frames).text, text);
}

// Every format of the table is found by its names and extensions, and what its
// writer writes is told by its content and read back by its reader.
void TestFormats::formatTable()
{
    const CanFrame sent = frame(localUs("2026-12-07 10:00:01.250"), 0x18FEF100, true, "01a2ff");
    for (const formats::FormatInfo &info : formats::formatTable()) {
        Format found = Format(-1);
        const QStringList names = QStringList(info.otherNames) << info.name.toUpper();
        for (const QString &name : names)
            QVERIFY2(formats::formatFromName(name, found) && found == info.format, qPrintable(name));
        for (const QString &extension : info.extensions)
            QVERIFY2(formats::formatFromPath("/rec.d/trip." + extension.toUpper(), found) && found == info.format,
                     qPrintable(extension));
        const QByteArray written = writeAll(info.format, {sent}).text;
        QVERIFY2(formats::formatFromContent(written, found) && found == info.format, qPrintable(info.name));
        QCOMPARE(describeAll(readAll(info.format, written, "dump_2026-12-07_10-00-00.csv").frames, true),
                 describeAll({sent}, true));
    }
}

QTEST_GUILESS_MAIN(TestFormats)
#include "test_formats.moc"
