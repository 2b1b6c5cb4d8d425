// Identifier filter list and identifier input rules: normalisation logic,
// what the validators let a user type, adding and removing entries through
// the widgets, and the filter-list commands as they reach the adapter.

#include "fakeadapter.h"
#include "filterlogic.h"
#include "mainwindow.h"
#include "mainwindowprobe.h"
#include "windowdriver.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QFrame>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QTableWidget>
#include <QToolButton>
#include <QtTest>

namespace {

template <typename T>
T *child(MainWindow &w, const char *name)
{
    T *widget = w.findChild<T *>(QLatin1String(name));
    if (!widget)
        qFatal("widget %s not found", name);
    return widget;
}

QStringList listTexts(QListWidget *list)
{
    QStringList texts;
    for (int row = 0; row < list->count(); ++row)
        texts << list->item(row)->text();
    return texts;
}

// Replaces the field's text the way a user does: select all, type, Return.
void typeAndReturn(QLineEdit *field, const QString &text)
{
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Backspace);
    QTest::keyClicks(field, text);
    QTest::keyClick(field, Qt::Key_Return);
}

void typeInto(QLineEdit *field, const QString &text)
{
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Backspace);
    QTest::keyClicks(field, text);
}

// The panels are enabled only while a port is open; the widget tests that
// send nothing enable them directly.
void enablePanels(MainWindow &w)
{
    child<QFrame>(w, "fl_canbusConfig")->setEnabled(true);
    child<QFrame>(w, "tableFrame")->setEnabled(true);
}

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out.append(char(v));
    return out;
}

// Lists one identifier through the entry field, as typed and confirmed with Return.
void listIdentifier(MainWindow &w, const QString &text)
{
    auto *entry = child<QLineEdit>(w, "le_filterID2");
    entry->setText(text);
    QTest::keyClick(entry, Qt::Key_Return);
}

bool isChecked(MainWindow &w) { return child<QPushButton>(w, "pb_enableFilters")->isChecked(); }
QString buttonText(MainWindow &w) { return child<QPushButton>(w, "pb_enableFilters")->text(); }

} // namespace

class TestFilter : public QObject
{
    Q_OBJECT

private slots:
    void normalisationRules();
    void validatorsLimitTyping();
    void addingStandardIdentifiers();
    void extendedWidthAndSwitching();
    void removingSelectedEntries();
    void acceptanceFieldsNormalised();
    void commandsReachAdapter();
    void longListAndEscapedBytes();
    void failedWriteRestoresButton();
    void commandsWhileReceiving();
};

void TestFilter::normalisationRules()
{
    using namespace filterlogic;
    // List field: in range gives the padded lower-case text, beyond the width the reset text.
    QCOMPARE(normaliseListIdentifier("7FF", false).text, QString("7ff"));
    QVERIFY(normaliseListIdentifier("7FF", false).inRange);
    QCOMPARE(normaliseListIdentifier("800", false).text, QString("000"));
    QVERIFY(!normaliseListIdentifier("800", false).inRange);
    QCOMPARE(normaliseListIdentifier("", false).text, QString("000"));
    QVERIFY(normaliseListIdentifier("", false).inRange);
    QCOMPARE(normaliseListIdentifier("1", false).text, QString("001"));
    QCOMPARE(normaliseListIdentifier("1A3", false).text, QString("1a3"));
    QCOMPARE(normaliseListIdentifier("1", true).text, QString("00000001"));
    QCOMPARE(normaliseListIdentifier("18FEF100", true).text, QString("18fef100"));
    QCOMPARE(normaliseListIdentifier("1FFFFFFF", true).text, QString("1fffffff"));
    QVERIFY(normaliseListIdentifier("1FFFFFFF", true).inRange);
    QCOMPARE(normaliseListIdentifier("20000000", true).text, QString("00000000"));
    QVERIFY(!normaliseListIdentifier("20000000", true).inRange);
    QVERIFY(!normaliseListIdentifier("FFFFFFFF", true).inRange);
    // An extended-width identifier left in the field while the width is standard.
    QCOMPARE(normaliseListIdentifier("000001a3", false).text, QString("1a3"));
    QVERIFY(!normaliseListIdentifier("00000800", false).inRange);
    // Not parsable (beyond 32 bits, or not hexadecimal) counts as 0.
    QCOMPARE(normaliseListIdentifier("123456789", true).text, QString("00000000"));
    QVERIFY(normaliseListIdentifier("123456789", true).inRange);
    QCOMPARE(normaliseListIdentifier("xyz", false).text, QString("000"));

    // Acceptance filter and mask: out of range becomes 0, never an early stop.
    QCOMPARE(normaliseAcceptanceField("800", false), QString("000"));
    QCOMPARE(normaliseAcceptanceField("7fF", false), QString("7ff"));
    QCOMPARE(normaliseAcceptanceField("", false), QString("000"));
    QCOMPARE(normaliseAcceptanceField("1FFFFFFF", true), QString("1fffffff"));
    QCOMPARE(normaliseAcceptanceField("20000000", true), QString("00000000"));
    QCOMPARE(normaliseAcceptanceField("abc", true), QString("00000abc"));

    QCOMPARE(identifierPattern(false), QString("^[0-9a-fA-F]{0,3}$"));
    QCOMPARE(identifierPattern(true), QString("^[0-9a-fA-F]{0,8}$"));
    QCOMPARE(searchPattern(), QString("[0-9a-fA-F]{0,8}"));
}

void TestFilter::validatorsLimitTyping()
{
    MainWindow w;
    enablePanels(w);
    auto *entry = child<QLineEdit>(w, "le_filterID2");
    auto *search = child<QLineEdit>(w, "le_highlight");
    auto *extended = child<QCheckBox>(w, "cb_extID");

    // Start: standard width, all three identifier fields read 000, one shared rule.
    QCOMPARE(entry->text(), QString("000"));
    QCOMPARE(child<QLineEdit>(w, "le_filterID")->text(), QString("000"));
    QCOMPARE(child<QLineEdit>(w, "le_maskID")->text(), QString("000"));
    QVERIFY(entry->validator());
    QCOMPARE(entry->validator(), child<QLineEdit>(w, "le_filterID")->validator());
    QCOMPARE(entry->validator(), child<QLineEdit>(w, "le_maskID")->validator());
    QVERIFY(search->validator());
    QVERIFY(search->validator() != entry->validator());

    // Non-hexadecimal characters are refused, a fourth digit as well.
    typeInto(entry, "g1z-A 2b");
    QCOMPARE(entry->text(), QString("1A2"));
    entry->clear();
    QTest::keyClicks(entry, "7ff3");
    QCOMPARE(entry->text(), QString("7ff"));

    // The search field takes 8 digits whatever the width, and nothing else.
    QTest::keyClicks(search, "18fEf1x00Z99");
    QCOMPARE(search->text(), QString("18fEf100"));

    // Extended width: 8 digits, the ninth refused; the search field keeps its rule.
    const auto *oldRule = entry->validator();
    QPointer<const QValidator> oldRuleGuard(oldRule);
    QPointer<const QValidator> oldSearchRule(search->validator());
    extended->setChecked(true);
    QVERIFY(oldRuleGuard.isNull()); // the previous shared rule was deleted, not left behind
    QVERIFY(oldSearchRule.isNull());
    QCOMPARE(entry->validator(), child<QLineEdit>(w, "le_filterID")->validator());
    QCOMPARE(entry->validator(), child<QLineEdit>(w, "le_maskID")->validator());
    QCOMPARE(entry->validator()->parent(), static_cast<QObject *>(&w));
    QCOMPARE(search->validator()->parent(), static_cast<QObject *>(&w));
    typeInto(entry, "18FEF100F");
    QCOMPARE(entry->text(), QString("18FEF100"));
    search->clear();
    QTest::keyClicks(search, "123456789");
    QCOMPARE(search->text(), QString("12345678"));

    // Back to standard width: 3 digits again.
    extended->setChecked(false);
    QCOMPARE(entry->text(), QString("000"));
    typeInto(entry, "1234");
    QCOMPARE(entry->text(), QString("123"));

    // Switching back and forth leaves no validators piling up in the window.
    const int validators = w.findChildren<QValidator *>().size();
    for (int i = 0; i < 10; ++i)
        extended->setChecked(!extended->isChecked());
    QCOMPARE(w.findChildren<QValidator *>().size(), validators);
}

void TestFilter::addingStandardIdentifiers()
{
    MainWindow w;
    enablePanels(w);
    w.show();
    QApplication::setActiveWindow(&w);
    QVERIFY(QTest::qWaitForWindowActive(&w));
    auto *entry = child<QLineEdit>(w, "le_filterID2");
    auto *list = child<QListWidget>(w, "lv_filters");
    auto *add = child<QToolButton>(w, "tb_add");
    QStringList &ids = MainWindowProbe::filterIds(w);

    // The start text 000 and the focus leaving the field: 000 is listed.
    entry->setFocus();
    QTRY_VERIFY(entry->hasFocus());
    list->setFocus();
    QTRY_VERIFY(!entry->hasFocus());
    QCOMPARE(listTexts(list), QStringList{"000"});
    delete list->takeItem(0);
    ids.clear();

    typeAndReturn(entry, "7FF");
    QCOMPARE(entry->text(), QString("7ff"));
    QCOMPARE(listTexts(list), QStringList{"7ff"});
    QTest::keyClick(entry, Qt::Key_Return); // again: a duplicate
    QCOMPARE(listTexts(list), QStringList{"7ff"});

    // Beyond 7FF: the field is reset, nothing is added.
    typeInto(entry, "800");
    QTest::mouseClick(add, Qt::LeftButton);
    QCOMPARE(entry->text(), QString("000"));
    QCOMPARE(listTexts(list), QStringList{"7ff"});

    // An emptied field confirmed with Return shows and adds 000, once.
    typeAndReturn(entry, "");
    QCOMPARE(entry->text(), QString("000"));
    QCOMPARE(listTexts(list), (QStringList{"7ff", "000"}));
    typeAndReturn(entry, "");
    QCOMPARE(listTexts(list), (QStringList{"7ff", "000"}));

    // Either case gives the same entry.
    typeAndReturn(entry, "1a3");
    typeAndReturn(entry, "1A3");
    QTest::mouseClick(add, Qt::LeftButton);
    QCOMPARE(entry->text(), QString("1a3"));
    QCOMPARE(listTexts(list), (QStringList{"7ff", "000", "1a3"}));

    // Short numbers are padded.
    typeInto(entry, "5");
    QTest::mouseClick(add, Qt::LeftButton);
    QCOMPARE(listTexts(list), (QStringList{"7ff", "000", "1a3", "005"}));
    QCOMPARE(ids, listTexts(list));
}

void TestFilter::extendedWidthAndSwitching()
{
    MainWindow w;
    enablePanels(w);
    auto *entry = child<QLineEdit>(w, "le_filterID2");
    auto *list = child<QListWidget>(w, "lv_filters");
    auto *add = child<QToolButton>(w, "tb_add");
    auto *extended = child<QCheckBox>(w, "cb_extID");

    typeAndReturn(entry, "1A3");
    QCOMPARE(listTexts(list), QStringList{"1a3"});

    // Switching on: every identifier field reads 8 zeros; the entry keeps its text.
    extended->setChecked(true);
    QCOMPARE(entry->text(), QString("00000000"));
    QCOMPARE(child<QLineEdit>(w, "le_filterID")->text(), QString("00000000"));
    QCOMPARE(child<QLineEdit>(w, "le_maskID")->text(), QString("00000000"));
    QCOMPARE(listTexts(list), QStringList{"1a3"});

    typeAndReturn(entry, "18FEF100");
    QCOMPARE(entry->text(), QString("18fef100"));
    typeAndReturn(entry, "1");
    QCOMPARE(entry->text(), QString("00000001"));
    typeAndReturn(entry, "1FFFFFFF");
    QCOMPARE(entry->text(), QString("1fffffff"));
    // The same identifier in the other width is a different text, so it is listed again.
    typeAndReturn(entry, "1a3");
    QCOMPARE(entry->text(), QString("000001a3"));
    QCOMPARE(listTexts(list), (QStringList{"1a3", "18fef100", "00000001", "1fffffff", "000001a3"}));

    // Beyond 29 bits: reset, nothing added.
    typeInto(entry, "20000000");
    QTest::mouseClick(add, Qt::LeftButton);
    QCOMPARE(entry->text(), QString("00000000"));
    QCOMPARE(list->count(), 5);
    QCOMPARE(MainWindowProbe::filterIds(w), listTexts(list));

    // Switching back: the 3-digit reset, the list untouched.
    extended->setChecked(false);
    QCOMPARE(entry->text(), QString("000"));
    QCOMPARE(list->count(), 5);
}

void TestFilter::removingSelectedEntries()
{
    MainWindow w;
    enablePanels(w);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    auto *entry = child<QLineEdit>(w, "le_filterID2");
    auto *list = child<QListWidget>(w, "lv_filters");
    auto *remove = child<QToolButton>(w, "tb_remove");
    QStringList &ids = MainWindowProbe::filterIds(w);

    for (const char *id : {"100", "200", "300", "400"})
        typeAndReturn(entry, id);
    QCOMPARE(listTexts(list), (QStringList{"100", "200", "300", "400"}));

    // Nothing selected: "-" changes nothing (but normalises the field).
    typeInto(entry, "2");
    QTest::mouseClick(remove, Qt::LeftButton);
    QCOMPARE(entry->text(), QString("002"));
    QCOMPARE(listTexts(list), (QStringList{"100", "200", "300", "400"}));

    // Each click toggles an entry's selection.
    auto clickRow = [list](int row) {
        const QRect rect = list->visualItemRect(list->item(row));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
    };
    clickRow(0);
    clickRow(2);
    clickRow(3);
    clickRow(3); // deselected again
    QCOMPARE(list->selectedItems().size(), 2);

    QTest::mouseClick(remove, Qt::LeftButton);
    QCOMPARE(listTexts(list), (QStringList{"200", "400"}));
    QCOMPARE(ids, (QStringList{"200", "400"}));
    QVERIFY(list->selectedItems().isEmpty());

    // An out-of-range field makes "-" do nothing but the reset, even with a selection.
    clickRow(0);
    typeInto(entry, "900");
    QTest::mouseClick(remove, Qt::LeftButton);
    QCOMPARE(entry->text(), QString("000"));
    QCOMPARE(listTexts(list), (QStringList{"200", "400"}));
    QCOMPARE(list->selectedItems().size(), 1);

    // Removing every entry; a later add starts the list afresh.
    clickRow(1);
    QTest::mouseClick(remove, Qt::LeftButton);
    QCOMPARE(list->count(), 0);
    QVERIFY(ids.isEmpty());
    typeAndReturn(entry, "200");
    QCOMPARE(listTexts(list), QStringList{"200"});
    QCOMPARE(ids, QStringList{"200"});
}

void TestFilter::acceptanceFieldsNormalised()
{
    MainWindow w;
    enablePanels(w);
    auto *filter = child<QLineEdit>(w, "le_filterID");
    auto *mask = child<QLineEdit>(w, "le_maskID");
    auto *extended = child<QCheckBox>(w, "cb_extID");
    // The fields are hidden, yet a program (or a future form) may fill them.
    filter->show();
    mask->show();

    typeAndReturn(filter, "800");
    QCOMPARE(filter->text(), QString("000"));
    typeAndReturn(mask, "7Ff");
    QCOMPARE(mask->text(), QString("7ff"));
    typeAndReturn(filter, "");
    QCOMPARE(filter->text(), QString("000"));
    typeAndReturn(filter, "a");
    QCOMPARE(filter->text(), QString("00a"));

    extended->setChecked(true);
    typeAndReturn(filter, "1FFFFFFF");
    QCOMPARE(filter->text(), QString("1fffffff"));
    typeAndReturn(mask, "20000000");
    QCOMPARE(mask->text(), QString("00000000"));
    typeAndReturn(mask, "ABC");
    QCOMPARE(mask->text(), QString("00000abc"));
    // Nothing of this touches the filter list.
    QCOMPARE(child<QListWidget>(w, "lv_filters")->count(), 0);
}

void TestFilter::commandsReachAdapter()
{
    FakeAdapter adapter;
    QVERIFY(adapter.isOpen());
    MainWindow w;
    QVERIFY(WindowDriver::openFake(w, adapter));

    // Show listed, 123 and 7ff.
    listIdentifier(w, "123");
    listIdentifier(w, "7FF");
    WindowDriver::press(w, "pb_enableFilters");
    const QByteArray showTwo = bytes({0xAA, 0x55, 0x10, 0x02, 0x23, 0x01, 0x00, 0x00,
                                      0xFF, 0x07, 0x00, 0x00, 0x3C});
    QTRY_COMPARE(adapter.written(), showTwo);
    QVERIFY(isChecked(w));
    QCOMPARE(buttonText(w), QString("DISABLE"));

    // Switched off: count 0, no identifiers.
    WindowDriver::press(w, "pb_enableFilters");
    const QByteArray showOff = bytes({0xAA, 0x55, 0x10, 0x00, 0x10});
    QTRY_COMPARE(adapter.written(), showTwo + showOff);
    QVERIFY(!isChecked(w));
    QCOMPARE(buttonText(w), QString("ENABLE"));

    // Adding and removing entries sends nothing.
    listIdentifier(w, "456");
    auto *list = child<QListWidget>(w, "lv_filters");
    list->item(0)->setSelected(true);
    list->item(1)->setSelected(true);
    QTest::mouseClick(child<QToolButton>(w, "tb_remove"), Qt::LeftButton);
    QCOMPARE(listTexts(list), QStringList{"456"});
    delete list->takeItem(0);
    MainWindowProbe::filterIds(w).clear();

    // Extended identifier 18FEF100, excluded; the mode byte goes out when switching off too.
    adapter.clearWritten();
    child<QCheckBox>(w, "cb_extID")->setChecked(true);
    child<QRadioButton>(w, "rb_exclude")->setChecked(true);
    listIdentifier(w, "18FEF100");
    QCOMPARE(listTexts(list), QStringList{"18fef100"});
    WindowDriver::press(w, "pb_enableFilters");
    const QByteArray excludeOne = bytes({0xAA, 0x55, 0x11, 0x01, 0x00, 0xF1, 0xFE, 0x18, 0x19});
    QTRY_COMPARE(adapter.written(), excludeOne);
    QCOMPARE(buttonText(w), QString("DISABLE"));
    WindowDriver::press(w, "pb_enableFilters");
    QTRY_COMPARE(adapter.written(), excludeOne + bytes({0xAA, 0x55, 0x11, 0x00, 0x11}));
    QCOMPARE(buttonText(w), QString("ENABLE"));

    // An empty list switched on: count 0 as well, and the button reads DISABLE.
    adapter.clearWritten();
    delete list->takeItem(0);
    MainWindowProbe::filterIds(w).clear();
    WindowDriver::press(w, "pb_enableFilters");
    QTRY_COMPARE(adapter.written(), bytes({0xAA, 0x55, 0x11, 0x00, 0x11}));
    QVERIFY(isChecked(w));
    QCOMPARE(buttonText(w), QString("DISABLE"));
}

void TestFilter::longListAndEscapedBytes()
{
    FakeAdapter adapter;
    MainWindow w;
    QVERIFY(WindowDriver::openFake(w, adapter));

    // An identifier byte 0x0D goes out as the ten-byte escape; the checksum covers
    // offsets 2 to 18 as sent, so it includes FF 07 of the second entry but not
    // the bytes after them.
    listIdentifier(w, "00D");
    listIdentifier(w, "7ff");
    WindowDriver::press(w, "pb_enableFilters");
    const QByteArray escaped = bytes({0xAA, 0x55, 0x10, 0x02, 0x0D, 0x0D, 0x0A, 0x45, 0x52, 0x52,
                                      0x4F, 0x52, 0x0D, 0x0A, 0x00, 0x00, 0x00, 0xFF, 0x07, 0x00,
                                      0x00, 0xDD});
    QTRY_COMPARE(adapter.written(), escaped);
    QCOMPARE(buttonText(w), QString("DISABLE"));
    WindowDriver::press(w, "pb_enableFilters");
    QTRY_COMPARE(adapter.written().size(), escaped.size() + 5);

    // 300 entries: the count byte wraps to 44, yet every identifier is sent.
    auto *list = child<QListWidget>(w, "lv_filters");
    list->clear();
    MainWindowProbe::filterIds(w).clear();
    adapter.clearWritten();
    QList<quint32> ids;
    for (quint32 id = 0x100; ids.size() < 300; ++id) {
        if ((id & 0xFF) != 0x0D)
            ids << id;
    }
    for (quint32 id : ids)
        listIdentifier(w, QString::number(id, 16));
    QCOMPARE(list->count(), 300);

    QByteArray expected = bytes({0xAA, 0x55, 0x10, 300 & 0xFF});
    for (quint32 id : ids)
        expected += bytes({int(id & 0xFF), int(id >> 8), 0, 0});
    int sum = 0;
    for (int i = 2; i <= 18; ++i)
        sum += quint8(expected[i]);
    expected.append(char(sum & 0xFF));
    WindowDriver::press(w, "pb_enableFilters");
    QTRY_COMPARE(adapter.written().size(), expected.size());
    QCOMPARE(adapter.written(), expected);
    QVERIFY(isChecked(w));
    QCOMPARE(buttonText(w), QString("DISABLE"));
}

void TestFilter::failedWriteRestoresButton()
{
    {
        // The port closed underneath the window: switching on fails.
        FakeAdapter adapter;
        MainWindow w;
        QVERIFY(WindowDriver::openFake(w, adapter));
        listIdentifier(w, "123");
        MainWindowProbe::serial(w).closePort();
        WindowDriver::press(w, "pb_enableFilters");
        QVERIFY(!isChecked(w));
        QCOMPARE(buttonText(w), QString("ENABLE"));
    }
    {
        // Switched on, then the adapter disappears while receiving: switching off
        // fails and the button stays on.
        FakeAdapter adapter;
        MainWindow w;
        QVERIFY(WindowDriver::openFake(w, adapter));
        WindowDriver::configure(w);
        listIdentifier(w, "123");
        adapter.clearWritten();
        WindowDriver::press(w, "pb_enableFilters");
        QCOMPARE(buttonText(w), QString("DISABLE"));
        QTRY_COMPARE(adapter.written().size(), 9);

        adapter.closeMaster();
        WindowDriver::press(w, "pb_enableFilters");
        QVERIFY(isChecked(w));
        QCOMPARE(buttonText(w), QString("DISABLE"));
        // And once more: still nothing goes out, the button keeps its state.
        WindowDriver::press(w, "pb_enableFilters");
        QVERIFY(isChecked(w));
        QCOMPARE(buttonText(w), QString("DISABLE"));
    }
}

void TestFilter::commandsWhileReceiving()
{
    FakeAdapter adapter;
    MainWindow w;
    QVERIFY(WindowDriver::openFake(w, adapter));
    listIdentifier(w, "123");
    listIdentifier(w, "00d"); // escaped bytes in the middle of the command
    listIdentifier(w, "7ff");
    WindowDriver::configure(w);
    QTRY_COMPARE(adapter.written().size(), 20); // the configuration command
    adapter.clearWritten();

    const QByteArray on = bytes({0xAA, 0x55, 0x10, 0x03, 0x23, 0x01, 0x00, 0x00, 0x0D, 0x0D, 0x0A,
                                 0x45, 0x52, 0x52, 0x4F, 0x52, 0x0D, 0x0A, 0x00, 0x00, 0x00, 0xFF,
                                 0x07, 0x00, 0x00, 0x00});
    int onSum = 0;
    for (int i = 2; i <= 18; ++i)
        onSum += quint8(on[i]);
    QByteArray onCommand = on.left(on.size() - 1);
    onCommand.append(char(onSum & 0xFF));
    const QByteArray offCommand = bytes({0xAA, 0x55, 0x10, 0x00, 0x10});

    // Frames of 64 identifiers at 10,000 frames per second, for up to 4 s.
    const int frameCount = 40000;
    adapter.startStream(
        [](int i) {
            return FakeAdapter::frame(0x100 + quint32(i % 64), true,
                                      bytes({i & 0xFF, (i >> 8) & 0xFF, 1, 2, 3, 4, 5, 6}));
        },
        10000.0, frameCount);
    auto *table = child<QTableWidget>(w, "tv_messages");
    QTRY_VERIFY(table->rowCount() > 0); // the reader is receiving

    QByteArray expected;
    QElapsedTimer clock;
    clock.start();
    const int firstSent = adapter.streamSent();
    int lastSent = firstSent;
    for (int click = 0; click < 12; ++click) {
        // Let a stretch of frames pass between two commands.
        QTRY_VERIFY(adapter.streamSent() >= lastSent + 1000);
        lastSent = adapter.streamSent();
        WindowDriver::press(w, "pb_enableFilters");
        const bool on = click % 2 == 0;
        expected += on ? onCommand : offCommand;
        QCOMPARE(buttonText(w), on ? QString("DISABLE") : QString("ENABLE"));
        QTRY_COMPARE(adapter.written().size(), expected.size());
        QCOMPARE(adapter.written(), expected);
    }
    // The commands overlapped the stream: it was still going after the last one.
    QVERIFY(!adapter.streamFinished());
    QVERIFY(!adapter.streamFailed());
    qInfo("12 commands sent while %d frames streamed in %lld ms",
          adapter.streamSent() - firstSent, clock.elapsed());
    adapter.stopStream();
    QVERIFY(!isChecked(w));
    QCOMPARE(table->rowCount(), 64);
}

QTEST_MAIN(TestFilter)
#include "test_filter.moc"
