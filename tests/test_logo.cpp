// Where the window's logo comes from: the working directory's
// image/quellmarkPowered_meta.png when it loads, otherwise the copy built into
// the program. Each row builds a window in a fresh working directory.

#include "app/mainwindow.h"

#include <QtTest>
#include <QtWidgets>

#include <memory>

namespace {

// Pixels as a pixmap holds them (premultiplied), so that a shown pixmap and
// a file's image compare equal when they are the same picture.
QImage pixels(const QImage &image)
{
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

QImage ownPicture()
{
    QImage image(12, 7, QImage::Format_ARGB32);
    image.fill(QColor(200, 30, 40));
    return image;
}

} // namespace

class TestLogo : public QObject
{
    Q_OBJECT

private slots:
    void logoSource_data()
    {
        // What the working directory holds at image/quellmarkPowered_meta.png,
        // and whether the window shows that file (or else the built-in logo).
        QTest::addColumn<QString>("content");
        QTest::addColumn<bool>("showsOwnFile");
        QTest::newRow("own picture") << "picture" << true;
        QTest::newRow("no image folder") << "" << false;
        QTest::newRow("empty image folder") << "folder" << false;
        QTest::newRow("file that is no picture") << "text" << false;
    }

    void logoSource()
    {
        QFETCH(QString, content);
        QFETCH(bool, showsOwnFile);
        QTemporaryDir workingDirectory;
        QVERIFY(workingDirectory.isValid());
        const QDir dir(workingDirectory.path());
        const QString file = dir.filePath(QStringLiteral("image/quellmarkPowered_meta.png"));
        if (!content.isEmpty())
            QVERIFY(dir.mkdir(QStringLiteral("image")));
        if (content == QLatin1String("picture"))
            QVERIFY(ownPicture().save(file));
        if (content == QLatin1String("text")) {
            QFile text(file);
            QVERIFY(text.open(QIODevice::WriteOnly));
            QVERIFY(text.write("not a PNG\n") > 0);
        }

        const QString previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(workingDirectory.path()));
        auto window = std::make_unique<MainWindow>();
        QVERIFY(QDir::setCurrent(previous));

        auto *label = window->findChild<QLabel *>(QStringLiteral("labelImage"));
        QVERIFY(label);
        const QPixmap shown = label->pixmap(Qt::ReturnByValue);
        QVERIFY(!shown.isNull());
        const QImage expected = showsOwnFile ? ownPicture() : QImage(QStringLiteral(VORNIX_LOGO_FILE));
        QVERIFY(!expected.isNull());
        QCOMPARE(shown.size(), expected.size());
        QVERIFY(pixels(shown.toImage()) == pixels(expected));
    }
};

QTEST_MAIN(TestLogo)
#include "test_logo.moc"
