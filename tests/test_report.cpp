// Trip reports: "vornix-dump report" of a short log written by hand (its
// charts, axis labels, the gap a "not available" value leaves, the fault bar,
// the VIN and the trip's counters; well-formed XML by xmllint; no resource
// from outside the file; no overwriting without --force), and the reduction
// of a long series keeping a spike's extremes.

#include "report/columnreducer.h"
#include "tests/support/recording.h"
#include "tests/support/runprogram.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

namespace {

// Seven seconds of a truck from 2013-11-29 17:41:14 UTC. The engine (0x00)
// sends every FMS value; its wheel-based speed goes 50, 60, "not available"
// (FFFF), 70, 80 km/h while the instrument cluster (0x17) says 10 km/h. The
// engine's VIN comes in a broadcast of three packets, its DM1 carries SPN 102
// FMI 3 OC 1 from the 1st to the 4th second. Odometer 100 000 km to
// 100 002.5 km (5 m a bit), engine hours 1000 to 1000.1 h (0.05 h a bit),
// total fuel 5000 to 5001 L (0.5 L a bit).
const char LOG[] = "(1385746874.000000) can0 18FEC100#002D3101FFFFFFFF\n"
                   "(1385746874.000000) can0 18FEE500#204E0000FFFFFFFF\n"
                   "(1385746874.000000) can0 18FEE900#FFFFFFFF10270000\n"
                   "(1385746874.010000) can0 0CF00400#F87D7D001900F07D\n"
                   "(1385746874.020000) can0 18FEF100#F30032FFFF001FC0\n"
                   "(1385746874.030000) can0 18FEF117#F3000AFFFF001FC0\n"
                   "(1385746874.040000) can0 18FEF200#9001FFFFFFFF7DFF\n"
                   "(1385746874.050000) can0 18FEEE00#7DFFFFFFFFFFFFFF\n"
                   "(1385746874.060000) can0 18FEFC00#FF96FFFFFFFFFFFF\n"
                   "(1385746874.070000) can0 18FEF500#FFFFFFA02446FFFF\n"
                   "(1385746874.500000) can0 1CECFF00#20120003FFECFE00\n"
                   "(1385746874.550000) can0 1CEBFF00#0131584B5A445039\n"
                   "(1385746874.600000) can0 1CEBFF00#025836464A343634\n"
                   "(1385746874.650000) can0 1CEBFF00#033034382AFFFFFF\n"
                   "(1385746875.000000) can0 18FECA00#40FF66000301FFFF\n"
                   "(1385746875.010000) can0 0CF00400#F87D7D002500F07D\n"
                   "(1385746875.020000) can0 18FEF100#F3003CFFFF001FC0\n"
                   "(1385746876.020000) can0 18FEF100#F3FFFFFFFF001FC0\n"
                   "(1385746876.030000) can0 18FEF117#F3000AFFFF001FC0\n"
                   "(1385746877.010000) can0 0CF00400#F87D7D001900F07D\n"
                   "(1385746877.020000) can0 18FEF100#F30046FFFF001FC0\n"
                   "(1385746878.000000) can0 18FECA00#40FF66000301FFFF\n"
                   "(1385746878.020000) can0 18FEF100#F30050FFFF001FC0\n"
                   "(1385746880.000000) can0 18FEC100#F42E3101FFFFFFFF\n"
                   "(1385746880.000000) can0 18FEE500#224E0000FFFFFFFF\n"
                   "(1385746880.000000) can0 18FEE900#FFFFFFFF12270000\n"
                   "(1385746881.000000) can0 18FEF200#9001FFFFFFFF7DFF\n";

// Clock times of the page in UTC.
ProgramRun run(const QString &program, const QStringList &arguments)
{
    return runProgram(program, arguments, {}, {QStringLiteral("TZ=UTC")});
}

// What the test looks at in the page.
struct Page {
    int pictures = 0;            // top-level <svg> elements
    QStringList texts;           // every text node, trimmed
    QMap<QString, QString> speedLines; // class -> d of the paths in the speed chart
    int speedGaps = 0;           // gap rectangles in it
    QStringList bars;            // "x1 x2" of the timeline's bars
};

Page read(const QByteArray &html)
{
    Page page;
    QXmlStreamReader xml(html);
    int svgDepth = 0;
    bool inSpeed = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            const QXmlStreamAttributes a = xml.attributes();
            if (xml.name() == QLatin1String("svg")) {
                if (svgDepth++ == 0) {
                    ++page.pictures;
                    inSpeed = a.value(QLatin1String("aria-label")).startsWith(QLatin1String("Vehicle speed"));
                }
            } else if (inSpeed && xml.name() == QLatin1String("path")) {
                page.speedLines.insert(a.value(QLatin1String("class")).toString(), a.value(QLatin1String("d")).toString());
            } else if (inSpeed && xml.name() == QLatin1String("rect") && a.value(QLatin1String("class")) == QLatin1String("gap")) {
                ++page.speedGaps;
            } else if (xml.name() == QLatin1String("line") && a.value(QLatin1String("class")) == QLatin1String("bar")) {
                page.bars << a.value(QLatin1String("x1")).toString() + QLatin1Char(' ') + a.value(QLatin1String("x2")).toString();
            }
        } else if (xml.isEndElement() && xml.name() == QLatin1String("svg")) {
            --svgDepth;
        } else if (xml.isCharacters() && !xml.isWhitespace()) {
            page.texts << xml.text().toString().trimmed();
        }
    }
    if (xml.hasError())
        qWarning("not XML: %s at line %lld", qPrintable(xml.errorString()), xml.lineNumber());
    return page;
}

} // namespace

class TestReport : public QObject
{
    Q_OBJECT

private slots:
    void reportOfAShortLog();
    void reductionKeepsASpike();
};

void TestReport::reportOfAShortLog()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString log = dir.filePath(QStringLiteral("trip.log"));
    const QString html = dir.filePath(QStringLiteral("trip.html"));
    QVERIFY(!writeFile(log, LOG).isEmpty());

    const QStringList arguments = {QStringLiteral("report"), log, QStringLiteral("-o"), html,
                                   QStringLiteral("--title"), QStringLiteral("Trip <A&B>")};
    const ProgramRun made = run(QStringLiteral(VORNIX_DUMP_TOOL), arguments);
    QVERIFY2(made.status == 0, qPrintable(made.err));
    const QByteArray page = readFile(html);

    // Well-formed XML, as another program reads it.
    const ProgramRun lint = run(QStringLiteral("xmllint"), {QStringLiteral("--noout"), html});
    QVERIFY2(lint.status == 0, qPrintable(lint.status == -1 ? lint.err + QStringLiteral(" (Debian: libxml2-utils)") : lint.err));

    // Nothing from outside the file: the only addresses are the namespaces.
    const QString text = QString::fromUtf8(page);
    QVERIFY(!text.contains(QLatin1String("src=")) && !text.contains(QLatin1String("href=")));
    QVERIFY(!text.contains(QLatin1String("url(")) && !text.contains(QLatin1String("@import")));
    QCOMPARE(text.count(QRegularExpression(QStringLiteral("https?:"))),
             text.count(QRegularExpression(QStringLiteral("xmlns=\"http://www\\.w3\\.org/(1999/xhtml|2000/svg)\""))));

    const Page p = read(page);
    // Eight values charted and the fault timeline.
    QCOMPARE(p.pictures, 9);
    for (const char *label : {"km/h", "rpm", "L/h", "%", "\u00B0C", "Time (UTC)", "17:41:16", "17:41:20"})
        QVERIFY2(p.texts.contains(QString::fromUtf8(label)), label);
    QVERIFY(p.texts.contains(QStringLiteral("Trip <A&B>")));
    QVERIFY(p.texts.contains(QStringLiteral("1XKZDP9X6FJ464048")));

    // The engine's speed, in two pieces around the gap of its "not
    // available" value (255.996 km/h is never drawn); the cluster's is named.
    QVERIFY(p.texts.contains(QStringLiteral("50.0 \u2013 80.0 km/h")));
    QVERIFY(p.texts.contains(QStringLiteral("From 0 Engine #1 \u00B7 also sent by 23 Instrument Cluster #1, not drawn")));
    QCOMPARE(p.speedLines.value(QStringLiteral("line")).count(QLatin1Char('M')), 2);
    QCOMPARE(p.speedGaps, 1);

    // One fault bar, from the 1st to the 4th second of the 7.
    QVERIFY(p.texts.contains(QStringLiteral("SPN 102 \u00B7 FMI 3 \u00B7 OC 1")));
    QCOMPARE(p.bars, QStringList{QStringLiteral("14.29% 57.14%")});

    QVERIFY(p.texts.contains(QStringLiteral("2.50 km")));
    QVERIFY(p.texts.contains(QStringLiteral("1.0 L")));
    QVERIFY(p.texts.contains(QStringLiteral("1\u202F000.00 h \u2192")) && p.texts.contains(QStringLiteral("1\u202F000.10 h")));

    // An existing report stays as it is without --force.
    const ProgramRun again = run(QStringLiteral(VORNIX_DUMP_TOOL), arguments);
    QVERIFY2(again.status == 1 && again.err.contains(QLatin1String("--force")), qPrintable(again.err));
    QCOMPARE(readFile(html), page);
}

void TestReport::reductionKeepsASpike()
{
    // A million values a millisecond apart at 10, one of them 500 and one -300.
    const qint64 origin = 1385746874000000;
    report::ColumnReducer reducer(origin);
    for (qint64 i = 0; i < 1000000; ++i)
        reducer.add(origin + i * 1000, i == 500000 ? 500.0 : i == 700001 ? -300.0 : 10.0);
    const QVector<report::LinePoint> line = reducer.line(10 * 1000000);
    QVERIFY2(line.size() <= 2 * report::ColumnReducer::DEFAULT_COLUMNS, qPrintable(QString::number(line.size())));
    QVERIFY(reducer.columns().size() >= report::ColumnReducer::DEFAULT_COLUMNS / 2);
    int spikes = 0;
    for (const report::LinePoint &point : line) {
        if (point.value == 500.0) {
            QCOMPARE(point.timeUs, origin + 500000 * 1000);
            ++spikes;
        } else if (point.value == -300.0) {
            QCOMPARE(point.timeUs, origin + 700001 * 1000);
            ++spikes;
        } else {
            QCOMPARE(point.value, 10.0);
        }
        QVERIFY(point.breakBefore == (&point == &line.first()));
    }
    QCOMPARE(spikes, 2);
}

QTEST_GUILESS_MAIN(TestReport)
#include "test_report.moc"
