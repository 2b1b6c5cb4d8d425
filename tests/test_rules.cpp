// The widget-free rules below the window and the tools, each with worked
// examples: hexadecimal numbers, seconds with a fraction, identifiers as typed
// and listed, the identifier fields' normalisation and patterns, and the
// message table's cells, all-zero payloads, row ages and ordered placement.

#include "core/hex.h"
#include "core/identry.h"
#include "core/seconds.h"
#include "monitor/filterlogic.h"
#include "monitor/tablelogic.h"

#include <QRegularExpression>
#include <QtTest>

using core::TypedIdError;

class TestRules : public QObject
{
    Q_OBJECT

private slots:
    void hexNumbers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<quint64>("value");
        QTest::newRow("one digit") << "7" << true << quint64(7);
        QTest::newRow("either case") << "aBcD" << true << quint64(0xABCD);
        QTest::newRow("64 bits") << "FFFFFFFFFFFFFFFF" << true << ~quint64(0);
        QTest::newRow("leading zeros beyond 16 digits") << "000000000000000000001" << true << quint64(1);
        QTest::newRow("beyond 64 bits") << "10000000000000000" << false << quint64(0);
        QTest::newRow("empty") << "" << false << quint64(0);
        QTest::newRow("other character") << "1G" << false << quint64(0);
        QTest::newRow("blank") << " 1" << false << quint64(0);
    }

    void hexNumbers()
    {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        quint64 value = 0;
        QCOMPARE(core::parseHex(text, value), ok);
        const QByteArray latin = text.toLatin1();
        quint64 fromBytes = 0;
        QCOMPARE(core::parseHex(latin.constData(), latin.size(), fromBytes), ok);
        if (ok) {
            QTEST(value, "value");
            QTEST(fromBytes, "value");
        }
    }

    void seconds_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<qint64>("micros");
        QTest::addColumn<int>("fractionDigits");
        QTest::newRow("candump") << QByteArray("1496841006.123456") << true << qint64(1496841006123456) << 6;
        QTest::newRow("short fraction") << QByteArray("1.5") << true << qint64(1500000) << 1;
        QTest::newRow("no point") << QByteArray("12") << true << qint64(12000000) << -1;
        QTest::newRow("point, no digits") << QByteArray("1.") << true << qint64(1000000) << 0;
        QTest::newRow("nine digits, the last three dropped") << QByteArray("1.123456789") << true << qint64(1123456) << 9;
        QTest::newRow("ten digits") << QByteArray("1.1234567890") << false << qint64(0) << 0;
        QTest::newRow("13 digits of seconds") << QByteArray("1234567890123") << false << qint64(0) << 0;
        QTest::newRow("no seconds") << QByteArray(".5") << false << qint64(0) << 0;
        QTest::newRow("comma") << QByteArray("1,5") << false << qint64(0) << 0;
        QTest::newRow("sign") << QByteArray("-1") << false << qint64(0) << 0;
        QTest::newRow("empty") << QByteArray() << false << qint64(0) << 0;
    }

    void seconds()
    {
        QFETCH(QByteArray, text);
        qint64 micros = -1;
        int digits = -2;
        QTEST(core::parseSeconds(text.constData(), text.size(), micros, &digits), "ok");
        QFETCH(bool, ok);
        if (ok) {
            QTEST(micros, "micros");
            QTEST(digits, "fractionDigits");
        }
    }

    void typedIdentifiers_data()
    {
        QTest::addColumn<QString>("digits");
        QTest::addColumn<int>("error");
        QTest::addColumn<quint32>("id");
        QTest::addColumn<bool>("extended");
        QTest::newRow("3 digits: standard") << "7fF" << int(TypedIdError::None) << 0x7FFu << false;
        QTest::newRow("4 digits: extended, leading zeros count") << "0001" << int(TypedIdError::None) << 1u << true;
        QTest::newRow("largest extended") << "1FFFFFFF" << int(TypedIdError::None) << 0x1FFFFFFFu << true;
        QTest::newRow("standard above 7FF") << "800" << int(TypedIdError::OutOfRange) << 0u << false;
        QTest::newRow("extended above 1FFFFFFF") << "20000000" << int(TypedIdError::OutOfRange) << 0u << true;
        QTest::newRow("nine digits") << "000000001" << int(TypedIdError::NotAnIdentifier) << 0u << false;
        QTest::newRow("empty") << "" << int(TypedIdError::NotAnIdentifier) << 0u << false;
        QTest::newRow("blank") << " 12" << int(TypedIdError::NotAnIdentifier) << 0u << false;
    }

    void typedIdentifiers()
    {
        QFETCH(QString, digits);
        QFETCH(int, error);
        core::TypedId typed;
        QCOMPARE(int(core::readTypedId(digits, typed)), error);
        if (error == int(TypedIdError::None)) {
            QTEST(typed.id, "id");
            QTEST(typed.extended, "extended");
        }
    }

    void identifierFields_data()
    {
        // What the filter list's entry field and the acceptance filter and mask
        // fields make of a text: the list's text and whether it is in range, and
        // the acceptance field's text.
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("extended");
        QTest::addColumn<QString>("listed");
        QTest::addColumn<bool>("inRange");
        QTest::addColumn<QString>("acceptance");
        QTest::newRow("lower case, padded") << "A2" << false << "0a2" << true << "0a2";
        QTest::newRow("blanks around") << " 7FF " << false << "7ff" << true << "7ff";
        QTest::newRow("empty is 0") << "" << false << "000" << true << "000";
        QTest::newRow("not a number is 0") << "xyz" << false << "000" << true << "000";
        QTest::newRow("standard above 7FF") << "800" << false << "000" << false << "000";
        QTest::newRow("extended, padded") << "1a3" << true << "000001a3" << true << "000001a3";
        QTest::newRow("largest extended") << "1FFFFFFF" << true << "1fffffff" << true << "1fffffff";
        QTest::newRow("extended above 1FFFFFFF") << "20000000" << true << "00000000" << false << "00000000";
        QTest::newRow("beyond 32 bits is 0") << "100000000" << true << "00000000" << true << "00000000";
    }

    void identifierFields()
    {
        QFETCH(QString, text);
        QFETCH(bool, extended);
        const filterlogic::ListIdentifier listed = filterlogic::normaliseListIdentifier(text, extended);
        QTEST(listed.text, "listed");
        QTEST(listed.inRange, "inRange");
        QTEST(filterlogic::normaliseAcceptanceField(text, extended), "acceptance");
    }

    void fieldPatterns_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("accepted");
        const QString standard = filterlogic::identifierPattern(false), extended = filterlogic::identifierPattern(true),
                      search = filterlogic::searchPattern();
        QTest::newRow("standard, empty") << standard << "" << true;
        QTest::newRow("standard, 3 digits of either case") << standard << "7fF" << true;
        QTest::newRow("standard, 4 digits") << standard << "7FF3" << false;
        QTest::newRow("standard, not hexadecimal") << standard << "1g" << false;
        QTest::newRow("extended, 8 digits") << extended << "18fEf100" << true;
        QTest::newRow("extended, 9 digits") << extended << "18FEF100F" << false;
        QTest::newRow("search, 8 digits") << search << "18FEF100" << true;
        QTest::newRow("search, 9 digits") << search << "123456789" << false;
    }

    void fieldPatterns()
    {
        QFETCH(QString, pattern);
        QFETCH(QString, text);
        // A validator matches its pattern against the whole text.
        QTEST(QRegularExpression(QRegularExpression::anchoredPattern(pattern)).match(text).hasMatch(), "accepted");
    }

    void cellFields_data()
    {
        QTest::addColumn<QStringList>("record");
        QTest::addColumn<QString>("fields"); // joined by '|'
        QTest::addColumn<int>("count");
        QTest::newRow("no data: an empty third field") << QStringList{"t", "123", ""} << "t|123|" << 3;
        QTest::newRow("trimmed, split at blanks") << QStringList{"t", "123", " 01 02 "} << "t|123|01|02" << 4;
        QTest::newRow("empty parts kept") << QStringList{"t", "123", "01  02"} << "t|123|01||02" << 5;
        QTest::newRow("more than the table's columns") << QStringList{"t", "1", "0 1 2 3 4 5 6 7 8 9"}
                                                      << "t|1|0|1|2|3|4|5|6|7" << 12;
        QTest::newRow("short record") << QStringList{"t"} << "t||" << 3;
    }

    void cellFields()
    {
        QFETCH(QStringList, record);
        QStringView views[tablelogic::COLUMN_COUNT];
        const int count = tablelogic::fieldViews(record, views, tablelogic::COLUMN_COUNT);
        QTEST(count, "count");
        QStringList fields;
        for (int i = 0; i < qMin(count, tablelogic::COLUMN_COUNT); ++i)
            fields << views[i].toString();
        QTEST(fields.join('|'), "fields");
        // A cell shows its field with two blanks on either side.
        const QString cell = tablelogic::cellText(views[1]);
        QCOMPARE(cell, "  " + record.value(1) + "  ");
        QVERIFY(tablelogic::cellTextEquals(cell, views[1]));
        QVERIFY(!tablelogic::cellTextEquals(cell.trimmed(), views[1]) && !tablelogic::cellTextEquals(cell + ' ', views[1]));
        QVERIFY(!tablelogic::cellTextEquals(QStringLiteral("  x  "), views[1]));
    }

    void zeroPayloads_data()
    {
        QTest::addColumn<QString>("payload");
        QTest::addColumn<bool>("zero");
        QTest::newRow("empty") << "" << true;
        QTest::newRow("zeros") << "00 00 00 00 " << true;
        QTest::newRow("unreadable counts as zero") << "ZZ " << true;
        QTest::newRow("more than 16 digits count as zero") << "00 00 00 00 00 00 00 00 01 " << true;
        QTest::newRow("a one") << "00 01 " << false;
        QTest::newRow("16 digits") << "FF FF FF FF FF FF FF FF " << false;
    }

    void zeroPayloads()
    {
        QFETCH(QString, payload);
        QTEST(tablelogic::payloadIsZero(payload), "zero");
    }

    void rowAges_data()
    {
        QTest::addColumn<QString>("stamp");
        QTest::addColumn<QTime>("now");
        QTest::addColumn<int>("age");
        // Both times are cut to whole seconds first.
        QTest::newRow("whole seconds") << "12:00:00.999" << QTime(12, 0, 11, 1) << 11;
        QTest::newRow("negative across midnight") << "  23:59:58.000  " << QTime(0, 0, 3) << 3 - 86398;
        QTest::newRow("in the future") << "12:00:10.000" << QTime(12, 0, 5) << -5;
        QTest::newRow("not a time") << "garbage" << QTime(12, 0) << 0;
    }

    void rowAges()
    {
        QFETCH(QString, stamp);
        QFETCH(QTime, now);
        QTEST(tablelogic::rowAgeSeconds(stamp, now), "age");
    }

    void sharedCellTexts_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("cell");
        QTest::newRow("byte 00") << "00" << "  00  ";
        QTest::newRow("byte FF") << "FF" << "  FF  ";
        QTest::newRow("byte 0A") << "0A" << "  0A  ";
        QTest::newRow("lower-case digits are no byte text") << "0a" << "  0a  ";
        QTest::newRow("extended identifier") << "18FEF100" << "  18FEF100  ";
        QTest::newRow("timestamp") << "23:59:59.999" << "  23:59:59.999  ";
        QTest::newRow("empty payload") << "" << "    ";
    }

    void sharedCellTexts()
    {
        QFETCH(QString, field);
        QFETCH(QString, cell);
        tablelogic::SharedCellTexts texts;
        const QString first = texts.cellFor(field);
        const QString again = texts.cellFor(QString(field)); // another string, same text
        QCOMPARE(first, cell);
        QCOMPARE(again, cell);
        QCOMPARE(first.constData(), again.constData());
        // Other texts in between do not disturb it.
        for (int i = 0; i < 300; ++i)
            QCOMPARE(texts.cellFor(QString::number(i * 7919)), "  " + QString::number(i * 7919) + "  ");
        QCOMPARE(texts.cellFor(field).constData(), first.constData());
    }

    void orderedPlacementAtOnce_data()
    {
        QTest::addColumn<QList<quint32>>("existing");
        QTest::addColumn<QVector<quint32>>("added");
        QTest::addColumn<QVector<int>>("rows");
        QTest::addColumn<QList<quint32>>("order");
        QTest::newRow("empty table") << QList<quint32>{} << QVector<quint32>{0x300, 0x400}
                                     << QVector<int>{0, 1} << QList<quint32>{0x300, 0x400};
        QTest::newRow("around 150") << QList<quint32>{0x150} << QVector<quint32>{0x100, 0x200}
                                    << QVector<int>{0, 2} << QList<quint32>{0x100, 0x150, 0x200};
        QTest::newRow("between and after") << QList<quint32>{10, 20, 30} << QVector<quint32>{5, 25, 40}
                                           << QVector<int>{0, 3, 5} << QList<quint32>{5, 10, 20, 25, 30, 40};
        QTest::newRow("all below") << QList<quint32>{1, 2} << QVector<quint32>{7, 8, 9}
                                   << QVector<int>{2, 3, 4} << QList<quint32>{1, 2, 7, 8, 9};
        QTest::newRow("unsigned order") << QList<quint32>{0x7FFFFFFFu} << QVector<quint32>{0x80000000u, 0xFFFFFFFFu}
                                        << QVector<int>{1, 2} << QList<quint32>{0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu};
    }

    void orderedPlacementAtOnce()
    {
        QFETCH(QList<quint32>, existing);
        QFETCH(QVector<quint32>, added);
        QFETCH(QVector<int>, rows);
        QFETCH(QList<quint32>, order);
        // All at once, and one after the other: the same rows and the same maps.
        for (const bool atOnce : {true, false}) {
            QMap<quint32, int> rowOfId;
            for (int i = 0; i < existing.size(); ++i)
                rowOfId.insert(existing.at(i), i);
            QList<quint32> orderedIds{0xDEAD};
            QVector<int> placed;
            if (atOnce)
                placed = tablelogic::placeOrderedAll(rowOfId, orderedIds, added);
            else
                for (quint32 id : added)
                    placed << tablelogic::placeOrdered(rowOfId, orderedIds, id);
            QCOMPARE(placed, rows);
            QCOMPARE(orderedIds, order);
            for (int i = 0; i < order.size(); ++i)
                QCOMPARE(rowOfId.value(order.at(i), -1), i);
            QCOMPARE(rowOfId.size(), order.size());
        }
    }
};

QTEST_GUILESS_MAIN(TestRules)
#include "test_rules.moc"
