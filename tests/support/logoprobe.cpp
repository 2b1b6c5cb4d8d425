// Preloaded into an unmodified, installed vornix-can-analyzer (LD_PRELOAD) by
// test_deb. Once the main window is shown it prints what the logo label holds
// on stdout,
//     logo WIDTHxHEIGHT SHA1        (SHA1 of the premultiplied ARGB32 pixels)
//     logo none
// and closes the window, so that the program ends through its own event loop
// and exit status. The program itself has no option or hook for this.

#include <QApplication>
#include <QCryptographicHash>
#include <QEvent>
#include <QLabel>
#include <QTimer>
#include <QWidget>

#include <cstdio>

namespace {

QByteArray describe(const QPixmap &pixmap)
{
    if (pixmap.isNull())
        return QByteArrayLiteral("logo none");
    const QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QCryptographicHash hash(QCryptographicHash::Sha1);
    for (int y = 0; y < image.height(); ++y)
        hash.addData(reinterpret_cast<const char *>(image.constScanLine(y)), image.width() * 4);
    return "logo " + QByteArray::number(image.width()) + 'x' + QByteArray::number(image.height()) + ' '
           + hash.result().toHex();
}

class WindowWatcher : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *widget = qobject_cast<QWidget *>(watched);
        if (!done && event->type() == QEvent::Show && widget && widget->isWindow()
            && qstrcmp(widget->metaObject()->className(), "MainWindow") == 0) {
            done = true;
            // Report and close once the show has been handled.
            QTimer::singleShot(0, widget, [widget] {
                auto *label = widget->findChild<QLabel *>(QStringLiteral("labelImage"));
                const QByteArray line = label ? describe(label->pixmap(Qt::ReturnByValue))
                                              : QByteArrayLiteral("logo no label");
                std::printf("%s\n", line.constData());
                std::fflush(stdout);
                widget->close();
            });
        }
        return false;
    }

private:
    bool done = false;
};

// Runs inside the application object's constructor.
void watchForTheMainWindow()
{
    QCoreApplication *app = QCoreApplication::instance();
    app->installEventFilter(new WindowWatcher(app));
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(watchForTheMainWindow)
