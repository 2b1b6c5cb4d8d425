// Vector BLF files: read when python-can wrote them (or when built object by
// object from the published layout), written here and read by python-can
// frame for frame on both truck logs, damaged files that stop with the byte
// of the damage and the frames before it, and vornix-dump on them.

#include "core/littleendian.h"
#include "formats/blfdecoder.h"
#include "formats/frameio.h"
#include "tests/support/runprogram.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <QtTest>

#include <vector>

using formats::CanFrame;

namespace {

const QString PYTHON = QStringLiteral("/usr/bin/python3");
const QString REALDATA = QStringLiteral(VORNIX_REALDATA_DIR "/");

// A frame and its channel as one line: time, channel, kind, identifier, data.
QString describe(const CanFrame &f, int channel)
{
    QString kind = f.extended ? "ext" : "std";
    if (f.remote)
        kind += QStringLiteral(" remote %1").arg(f.remoteLength);
    if (f.fd)
        kind += QStringLiteral(" fd %1").arg(f.fdFlags);
    return QStringLiteral("%1 %2 %3 %4 [%5]")
        .arg(f.timeUs)
        .arg(channel)
        .arg(kind, QString::number(f.id, 16), QString(f.data.toHex(' ')));
}

// What the decoder makes of a file, channels included.
struct Decoded {
    QStringList frames;
    QString problems;
    qint64 unsupported = 0, skipped = 0, objectCount = 0;
};

Decoded decode(const QByteArray &bytes)
{
    QByteArray copy = bytes;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    formats::BlfDecoder decoder(&buffer);
    using Object = formats::BlfDecoder::Object;
    Decoded d;
    CanFrame frame;
    QString why;
    for (Object object; (object = decoder.read(frame, &why)) != Object::End;) {
        if (object == Object::Frame)
            d.frames << describe(frame, decoder.channel());
        d.unsupported += object == Object::Unsupported;
        if (object == Object::Bad)
            d.problems += why;
    }
    d.problems += decoder.error() + decoder.warning();
    d.skipped = decoder.skipped();
    d.objectCount = decoder.statistics().objectCount;
    return d;
}

// What the format's reader makes of a file, as the tools read it.
struct Read {
    QStringList frames;
    QString error, warning;
    qint64 errorOffset = -1;
};

Read readBlf(const QByteArray &bytes, int channel = 1)
{
    QByteArray copy = bytes;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    const auto reader = formats::openReader(formats::Format::Blf, &buffer);
    Read r;
    CanFrame frame;
    while (reader->next(frame))
        r.frames << describe(frame, channel);
    r.error = reader->error();
    r.errorOffset = reader->errorOffset();
    r.warning = reader->warning();
    return r;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray truckLog(const QString &log)
{
    return runProgram(QStringLiteral("gzip"), {QStringLiteral("-dc"), REALDATA + log}).out.toLatin1();
}

std::vector<CanFrame> candumpFrames(QByteArray text)
{
    QBuffer buffer(&text);
    buffer.open(QIODevice::ReadOnly);
    const auto reader = formats::openReader(formats::Format::Candump, &buffer);
    std::vector<CanFrame> frames;
    CanFrame frame;
    while (reader->next(frame))
        frames.push_back(frame);
    return frames;
}

// The start of each container of a file, and where the last one ends.
std::vector<qint64> containerStarts(const QByteArray &file)
{
    std::vector<qint64> starts;
    qint64 at = 144;
    while (at + 16 <= file.size()) {
        starts.push_back(at);
        const qint64 size = qint64(core::littleEndian(file.constData() + at + 8, 4));
        at += size + size % 4;
    }
    starts.push_back(at);
    return starts;
}

// "00 01 02 ..." up to n - 1.
QString countingBytes(int n)
{
    QByteArray bytes;
    for (int i = 0; i < n; ++i)
        bytes += char(i);
    return QString(bytes.toHex(' '));
}

} // namespace

class TestBlf : public QObject
{
    Q_OBJECT

private slots:
    void readsForeignFiles_data();
    void readsForeignFiles();
    void pythonCanReadsOurs_data();
    void pythonCanReadsOurs();
    void damagedFiles_data();
    void damagedFiles();
    void dumpTool();
};

void TestBlf::readsForeignFiles_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QStringList>("frames");
    QTest::addColumn<int>("unsupported");
    QTest::addColumn<int>("skipped");
    QTest::addColumn<int>("objectCount");

    // python-can: standard, extended, remote and CAN FD frames on two
    // channels, an error frame and a marker; the first frame on a whole
    // millisecond, as python-can dates the file to the millisecond.
    const QString pythonCan = QStringLiteral(
        "import can, sys\n"
        "w = can.BLFWriter(sys.argv[1], compression_level=%1, max_container_size=%2)\n"
        "M = can.Message\n"
        "for m in [M(timestamp=1496841006.125, channel=0, arbitration_id=0x18FEF100, is_extended_id=True,\n"
        "            data=bytes.fromhex('1122334455667788')),\n"
        "          M(timestamp=1496841006.250001, channel=1, arbitration_id=0x123, is_extended_id=False),\n"
        "          M(timestamp=1496841006.5, channel=0, arbitration_id=0x7FF, is_extended_id=False,\n"
        "            is_remote_frame=True, dlc=3),\n"
        "          M(timestamp=1496841007.75, channel=1, arbitration_id=0x12345678, is_extended_id=True,\n"
        "            is_fd=True, bitrate_switch=True, data=bytes(range(12))),\n"
        "          M(timestamp=1496841007.8, channel=0, arbitration_id=0x100, is_extended_id=False,\n"
        "            is_fd=True, error_state_indicator=True, data=bytes(range(64))),\n"
        "          M(timestamp=1496841008.0, channel=1, is_error_frame=True)]:\n"
        "    w.on_message_received(m)\n"
        "w.log_event('marker', 1496841008.5)\n"
        "w.stop()\n");
    const qint64 start = QDateTime::fromMSecsSinceEpoch(1496841006125).toMSecsSinceEpoch() * 1000;
    const QStringList fromPythonCan = {
        QStringLiteral("%1 1 ext 18fef100 [11 22 33 44 55 66 77 88]").arg(start),
        QStringLiteral("%1 2 std 123 []").arg(start + 125001),
        QStringLiteral("%1 1 std remote 3 7ff []").arg(start + 375000),
        QStringLiteral("%1 2 ext fd 1 12345678 [00 01 02 03 04 05 06 07 08 09 0a 0b]").arg(start + 1625000),
        QStringLiteral("%1 1 std fd 2 100 [%2]").arg(start + 1675000).arg(countingBytes(64))};
    QTest::newRow("python-can, zlib") << pythonCan.arg(-1).arg(128 * 1024) << fromPythonCan << 1 << 1 << 7;
    // Stored containers of 100 bytes: objects go on from one to the next.
    QTest::newRow("python-can, stored, objects across containers")
        << pythonCan.arg(0).arg(100) << fromPythonCan << 1 << 1 << 7;

    // Objects python-can does not write, built from the published layout: a
    // version 2 header counting in 10 microseconds (CAN_MESSAGE2),
    // CAN_FD_MESSAGE_64 (an FD frame and a remote frame, time stamps in
    // nanoseconds rounded either way), a text object (type 65) with padding,
    // and a CAN_MESSAGE outside any container.
    const QString handMade = QStringLiteral(
        "import struct, sys, zlib\n"
        "def obj(kind, body, version=1, unit=2, ts=0):\n"
        "    if version == 1:\n"
        "        o = struct.pack('<4sHHLLLHHQ', b'LOBJ', 32, 1, 32 + len(body), kind, unit, 0, 0, ts) + body\n"
        "    else:\n"
        "        o = struct.pack('<4sHHLLLBxHQQ', b'LOBJ', 40, 2, 40 + len(body), kind, unit, 0, 0, ts, 0) + body\n"
        "    return o + bytes(len(o) % 4)\n"
        "def container(content, method):\n"
        "    data = zlib.compress(content) if method == 2 else content\n"
        "    o = struct.pack('<4sHHLLH6xL4x', b'LOBJ', 16, 1, 32 + len(data), 10, method, len(content)) + data\n"
        "    return o + bytes(len(o) % 4)\n"
        "def fd64(ts, flags, dlc, data):\n"
        "    return obj(101, struct.pack('<BBBBLLLLLLLHBBL', 2, dlc, len(data), 0, 0x100, 0, flags,\n"
        "                                0, 0, 0, 0, 0, 0, 0, 0) + data, ts=ts)\n"
        "can2 = obj(86, struct.pack('<HBBL8sLBBH', 3, 0, 8, 0x98FEF100, bytes(range(1, 9)), 0, 0, 0, 0),\n"
        "           version=2, unit=1, ts=12345)\n"
        "fd = fd64(1000000499, 0x7000, 11, bytes(range(20)))\n"
        "remote = fd64(1000000500, 0x10, 5, b'')\n"
        "text = obj(65, b'comment')\n"
        "outside = obj(1, struct.pack('<HBBL8s', 1, 0, 2, 0x7FF, b'\\xaa\\xbb'), ts=2000000000)\n"
        "objects = container(can2 + fd, 2) + container(remote + text, 0) + outside\n"
        "header = struct.pack('<4sLBBBBBBBBQQLL8H8H', b'LOGG', 144, 0, 0, 0, 0, 2, 6, 8, 1, 144 + len(objects), 0,\n"
        "                     5, 0, 2013, 11, 5, 29, 15, 45, 12, 250, 2013, 11, 5, 29, 15, 45, 14, 250)\n"
        "open(sys.argv[1], 'wb').write(header + bytes(144 - len(header)) + objects)\n");
    const qint64 base = QDateTime(QDate(2013, 11, 29), QTime(15, 45, 12, 250)).toMSecsSinceEpoch() * 1000;
    QTest::newRow("hand-made objects")
        << handMade
        << QStringList{QStringLiteral("%1 3 ext 18fef100 [01 02 03 04 05 06 07 08]").arg(base + 123450),
                       QStringLiteral("%1 2 std fd 3 100 [%2]").arg(base + 1000000).arg(countingBytes(20)),
                       QStringLiteral("%1 2 std remote 5 100 []").arg(base + 1000001),
                       QStringLiteral("%1 1 std 7ff [aa bb]").arg(base + 2000000)}
        << 0 << 1 << 5;
}

void TestBlf::readsForeignFiles()
{
    QFETCH(QString, script);
    QTemporaryDir dir;
    const QString path = dir.filePath("foreign.blf");
    const ProgramRun run = runProgram(PYTHON, {"-c", script, path});
    QVERIFY2(run.status == 0, qPrintable(run.summary()));
    const QByteArray file = readFile(path);
    const Decoded d = decode(file);
    QVERIFY2(d.problems.isEmpty(), qPrintable(d.problems));
    QTEST(d.frames, "frames");
    // Detected by its content, as the tools find a file without its extension.
    formats::Format format = formats::Format::Candump;
    QVERIFY(formats::formatFromContent(file.left(4096), format) && format == formats::Format::Blf);
    QTEST(int(d.unsupported), "unsupported");
    QTEST(int(d.skipped), "skipped");
    QTEST(int(d.objectCount), "objectCount");
}

void TestBlf::pythonCanReadsOurs_data()
{
    QTest::addColumn<QString>("log");
    QTest::addColumn<int>("frames");
    QTest::newRow("sample truck") << "sampletruck.candump.log.gz" << 145278;
    QTest::newRow("decoding GUI") << "decodinggui.candump.log.gz" << 78582;
}

void TestBlf::pythonCanReadsOurs()
{
    QFETCH(QString, log);
    QFETCH(int, frames);
    // The truck's frames, then the kinds it does not send, written for can1:
    // BLF's channel 2.
    std::vector<CanFrame> input = candumpFrames(truckLog(log));
    QCOMPARE(int(input.size()), frames);
    const qint64 end = input.back().timeUs;
    for (CanFrame &f : candumpFrames("(0.000001) can0 7FF#R2\n"
                                     "(0.001001) can0 1ABCDEF0##300112233445566778899AABBCCDDEEFF0011223344556677\n"
                                     "(0.001002) can0 123##00102\n(1.500000) can0 456#C0FFEE\n")) {
        f.timeUs += end;
        input.push_back(f);
    }
    QStringList expected;
    for (const CanFrame &f : input)
        expected << describe(f, 2);

    QTemporaryDir dir;
    const QString path = dir.filePath("ours.blf");
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        formats::WriteOptions options;
        options.channel = QStringLiteral("can1");
        const auto writer = formats::openWriter(formats::Format::Blf, &file, options);
        for (const CanFrame &f : input)
            QVERIFY(writer->write(f) == formats::FrameWriter::Outcome::Written);
        QVERIFY2(writer->finish(), qPrintable(writer->ioError()));
    }
    const ProgramRun run = runProgram(
        PYTHON,
        {"-c",
         // The line describe() gives, from python-can's messages.
         "import can, sys\n"
         "def describe(m):\n"
         "    kind = 'ext' if m.is_extended_id else 'std'\n"
         "    if m.is_remote_frame: kind += ' remote %d' % m.dlc\n"
         "    if m.is_fd: kind += ' fd %d' % (int(m.bitrate_switch) | int(m.error_state_indicator) << 1)\n"
         "    return '%d %d %s %x [%s]' % (round(m.timestamp * 1e6), m.channel + 1, kind, m.arbitration_id, "
         "bytes(m.data).hex(' '))\n"
         "r = can.BLFReader(sys.argv[1])\n"
               "lines = ['%d %d %d' % (r.object_count, round(r.start_timestamp * 1000), round(r.stop_timestamp * 1000))]\n"
               "lines += [describe(m) for m in r]\n"
               "print('\\n'.join(lines))\n",
         path},
        QString(), {}, 120000);
    QVERIFY2(run.status == 0, qPrintable(run.summary()));
    QStringList lines = run.out.split('\n', Qt::SkipEmptyParts);
    QVERIFY(!lines.isEmpty());
    // The header's statistics: objects, first and last time stamps (to the millisecond).
    const QString statistics = lines.takeFirst();
    QCOMPARE(statistics, QStringLiteral("%1 %2 %3")
                             .arg(expected.size())
                             .arg(input.front().timeUs / 1000)
                             .arg(input.back().timeUs / 1000));
    QCOMPARE(lines.size(), expected.size());
    for (int i = 0; i < lines.size(); ++i)
        QVERIFY2(lines[i] == expected[i], qPrintable(QStringLiteral("frame %1: python-can %2, written %3")
                                                         .arg(i).arg(lines[i], expected[i])));
    // And read here again.
    const Read r = readBlf(readFile(path), 2);
    QVERIFY2(r.error.isEmpty() && r.warning.isEmpty(), qPrintable(r.error + r.warning));
    QCOMPARE(r.frames, expected);
}

void TestBlf::damagedFiles_data()
{
    QTest::addColumn<QString>("damage");
    QTest::addColumn<int>("container");  // 1-based: where the damage is
    QTest::addColumn<QString>("message"); // empty: no error
    QTest::addColumn<int>("framesBefore");
    // 48-byte objects in containers of 131072 bytes: 2730 frames lie wholly in
    // the first, 5461 in the first two; the fourth was closed early by a
    // flush after frame 10000.
    QTest::newRow("header cut") << "cut" << 0 << "the file ends inside its header" << 0;
    QTest::newRow("cut inside a container") << "cut" << 3 << "the file ends inside a container" << 5461;
    QTest::newRow("cut after a container, inside an object")
        << "cut end" << 2 << "the file ends inside the object at byte 131056 of the container's content" << 5461;
    QTest::newRow("cut after a flushed container") << "cut end" << 4 << "the file ends here; its header gives it"
                                                   << 10000;
    QTest::newRow("killed after a flush") << "unfinished" << 4 << "" << 10000;
    QTest::newRow("bit flipped") << "flip" << 2 << "container" << 2730;
    QTest::newRow("container runs past the end")
        << "size" << 3 << "the file ends inside a container" << 5461;
    QTest::newRow("container states 4 GiB") << "content" << 3 << "a container holding 4294967295 bytes, more than "
                                                              "the 16 MiB" << 5461;
}

void TestBlf::damagedFiles()
{
    QFETCH(QString, damage);
    QFETCH(int, container);
    QFETCH(QString, message);
    QFETCH(int, framesBefore);
    const std::vector<CanFrame> input = candumpFrames(truckLog("decodinggui.candump.log.gz"));
    QByteArray file, flushed;
    QStringList written;
    {
        QBuffer buffer(&file);
        buffer.open(QIODevice::WriteOnly);
        const auto writer = formats::openWriter(formats::Format::Blf, &buffer);
        for (size_t i = 0; i < input.size(); ++i) {
            writer->write(input[i]);
            written << describe(input[i], 1);
            if (i + 1 == 10000) {
                QVERIFY(writer->flush());
                flushed = file; // what a writer that dies now leaves
            }
        }
        QVERIFY(writer->finish());
    }
    const std::vector<qint64> starts = containerStarts(file);
    QVERIFY(starts.size() > 6);
    const qint64 at = container > 0 ? starts[size_t(container - 1)] : 0;
    const qint64 next = container > 0 ? starts[size_t(container)] : 0;
    if (damage == "cut")
        file.truncate(container > 0 ? int(at + 100) : 100);
    else if (damage == "cut end")
        file.truncate(int(next));
    else if (damage == "unfinished")
        file = flushed;
    else if (damage == "flip")
        file[int((at + next) / 2)] = char(file[int((at + next) / 2)] ^ 0x10);
    else if (damage == "size")
        core::putLittleEndian(file.data() + at + 8, 0x7FFFFFF0, 4);
    else if (damage == "content")
        core::putLittleEndian(file.data() + at + 24, 0xFFFFFFFF, 4);

    const Read r = readBlf(file);
    QCOMPARE(r.frames, written.mid(0, framesBefore));
    if (message.isEmpty()) {
        QVERIFY2(r.error.isEmpty(), qPrintable(r.error));
        QVERIFY2(r.warning.contains("never finished"), qPrintable(r.warning));
        return;
    }
    QVERIFY2(r.error.contains(message), qPrintable(r.error + " / expected: " + message));
    QCOMPARE(r.errorOffset, damage == "cut end" && container == 4 ? next : at);
}

void TestBlf::dumpTool()
{
    // A truck log into BLF and back: the very lines; a BLF cut short: the
    // byte offset, status 1, the frames before it.
    const QString tool = QStringLiteral(VORNIX_DUMP_TOOL);
    QTemporaryDir dir;
    const QString log = dir.filePath("truck.log"), blf = dir.filePath("truck.blf");
    const QByteArray text = truckLog("decodinggui.candump.log.gz");
    QFile file(log);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(text) == text.size());
    file.close();
    ProgramRun run = runProgram(tool, {"convert", log, blf});
    QVERIFY2(run.status == 0, qPrintable(run.summary()));
    run = runProgram(tool, {"info", blf});
    QVERIFY2(run.status == 0 && run.out.contains("(blf)") && run.out.contains("frames:       78582\n"),
             qPrintable(run.out + run.summary()));
    run = runProgram(tool, {"convert", blf, "-", "--to", "candump"});
    QVERIFY2(run.status == 0 && run.out.toLatin1() == text, qPrintable(run.summary()));

    QByteArray bytes = readFile(blf);
    const std::vector<qint64> starts = containerStarts(bytes);
    bytes.truncate(int(starts[2] + 100));
    const QString cut = dir.filePath("cut.blf");
    QFile cutFile(cut);
    QVERIFY(cutFile.open(QIODevice::WriteOnly) && cutFile.write(bytes) == bytes.size());
    cutFile.close();
    run = runProgram(tool, {"convert", cut, dir.filePath("cut.log")});
    QCOMPARE(run.status, 1);
    QVERIFY2(run.err.contains(QStringLiteral("%1: at byte offset %2: the file ends inside a container").arg(cut).arg(starts[2])),
             qPrintable(run.err));
    QCOMPARE(readFile(dir.filePath("cut.log")).count('\n'), 5461);
}

QTEST_GUILESS_MAIN(TestBlf)
#include "test_blf.moc"
