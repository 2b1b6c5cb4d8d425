#pragma once

// Helpers that drive the real main window through its widgets, as a user
// would: pick a port and rates in the combo boxes, press the buttons, answer
// message boxes.

#include "app/mainwindow.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QObject>
#include <QString>
#include <QTimer>

class FakeAdapter;

namespace WindowDriver {

// The window's child widget of the given object name (nullptr when missing).
template <typename T>
T *child(MainWindow &window, const char *name)
{
    return window.findChild<T *>(QString::fromLatin1(name));
}

// Presses a button (only has an effect when it is enabled, as for a user).
void press(MainWindow &window, const char *buttonName);

// Adds "PATH (DESCRIPTION)" to the port list and makes it current.
void selectPort(MainWindow &window, const QString &path,
                const QString &description = QStringLiteral("fake adapter"));
// Makes the entry with exactly this text current; false when there is none.
bool chooseComRate(MainWindow &window, const QString &rate);
bool chooseCanRate(MainWindow &window, const QString &rate);

// Selects the fake adapter, chooses the COM rate and presses OPEN. Returns
// whether the window went to the open state (CLOSE enabled).
bool openFake(MainWindow &window, const FakeAdapter &adapter,
              const QString &comRate = QStringLiteral("2000000"));
// Chooses the CAN rate and presses "Configure and start".
void configure(MainWindow &window, const QString &canRate = QStringLiteral("500 kbps"));

} // namespace WindowDriver

// Answers the next modal message box: polls for QApplication::activeModalWidget()
// while armed, records the box's title, text and number of buttons, then
// closes it. Gives up after timeoutMs so that a test never hangs on a box
// that does not come (caught() stays false then).
class MessageBoxCatcher : public QObject
{
    Q_OBJECT
public:
    explicit MessageBoxCatcher(int timeoutMs = 5000, QObject *parent = nullptr);
    void arm();

    bool caught() const { return caught_; }
    QString title() const { return title_; }
    QString text() const { return text_; }
    int buttonCount() const { return buttons_; }
    bool critical() const { return critical_; }

private:
    void poll();

    QTimer timer_;
    int timeoutMs_;
    qint64 deadline_ = 0;
    bool caught_ = false;
    bool critical_ = false;
    QString title_;
    QString text_;
    int buttons_ = 0;
};
