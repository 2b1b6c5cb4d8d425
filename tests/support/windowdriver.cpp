#include "tests/support/windowdriver.h"

#include "tests/support/fakeadapter.h"

#include <QApplication>
#include <QDateTime>
#include <QMessageBox>
#include <QPushButton>

namespace WindowDriver {

void press(MainWindow &window, const char *buttonName)
{
    if (auto *button = child<QAbstractButton>(window, buttonName))
        button->click(); // pressed, released, clicked; nothing when disabled
}

void selectPort(MainWindow &window, const QString &path, const QString &description)
{
    auto *combo = child<QComboBox>(window, "cb_selectSerial");
    combo->addItem(path + QStringLiteral(" (") + description + QLatin1Char(')'));
    combo->setCurrentIndex(combo->count() - 1);
}

static bool chooseExact(QComboBox *combo, const QString &text)
{
    const int index = combo->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index < 0)
        return false;
    combo->setCurrentIndex(index);
    return true;
}

bool chooseComRate(MainWindow &window, const QString &rate)
{
    return chooseExact(child<QComboBox>(window, "cb_baudRateCOM"), rate);
}

bool chooseCanRate(MainWindow &window, const QString &rate)
{
    return chooseExact(child<QComboBox>(window, "cb_selectCanBaud"), rate);
}

bool openFake(MainWindow &window, const FakeAdapter &adapter, const QString &comRate)
{
    selectPort(window, adapter.devicePath());
    if (!chooseComRate(window, comRate))
        return false;
    press(window, "pb_open");
    return child<QAbstractButton>(window, "pb_close")->isEnabled();
}

void configure(MainWindow &window, const QString &canRate)
{
    chooseCanRate(window, canRate);
    press(window, "pb_sendConfiguration");
}

} // namespace WindowDriver

MessageBoxCatcher::MessageBoxCatcher(int timeoutMs, QObject *parent)
    : QObject(parent)
    , timeoutMs_(timeoutMs)
{
    timer_.setInterval(5);
    connect(&timer_, &QTimer::timeout, this, &MessageBoxCatcher::poll);
}

void MessageBoxCatcher::arm()
{
    caught_ = false;
    critical_ = false;
    title_.clear();
    text_.clear();
    buttons_ = 0;
    deadline_ = QDateTime::currentMSecsSinceEpoch() + timeoutMs_;
    timer_.start();
}

void MessageBoxCatcher::poll()
{
    QWidget *modal = QApplication::activeModalWidget();
    if (!modal) {
        if (QDateTime::currentMSecsSinceEpoch() > deadline_)
            timer_.stop();
        return;
    }
    timer_.stop();
    if (auto *box = qobject_cast<QMessageBox *>(modal)) {
        caught_ = true;
        title_ = box->windowTitle();
        text_ = box->text();
        critical_ = box->icon() == QMessageBox::Critical;
        buttons_ = box->buttons().size();
        box->done(QMessageBox::Ok);
    } else {
        modal->close();
    }
}
