// The Debian package that cpack builds (the "deb" fixture, into a folder of
// the build tree): its file list, its control fields, lintian, and the program
// taken out of it with dpkg-deb -x and started from another working directory,
// where it shows its logo and ends with status 0.

#include "tests/support/runprogram.h"

#include <QCryptographicHash>
#include <QtTest>

namespace {

const QString packageDir = QStringLiteral(VORNIX_DEB_DIR);
const QString appId = QStringLiteral(VORNIX_APP_ID);

QStringList installedPrograms()
{
    return QString::fromLatin1(VORNIX_INSTALLED_PROGRAMS).split(QLatin1Char(','), Qt::SkipEmptyParts);
}

// What the logo probe prints for a picture: "logo WIDTHxHEIGHT SHA1".
QString probeLine(const QImage &picture)
{
    const QImage image = picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QCryptographicHash hash(QCryptographicHash::Sha1);
    for (int y = 0; y < image.height(); ++y)
        hash.addData(reinterpret_cast<const char *>(image.constScanLine(y)), image.width() * 4);
    return QStringLiteral("logo %1x%2 %3")
        .arg(image.width())
        .arg(image.height())
        .arg(QString::fromLatin1(hash.result().toHex()));
}

QImage ownPicture()
{
    QImage image(20, 10, QImage::Format_ARGB32);
    image.fill(QColor(30, 160, 90));
    return image;
}

} // namespace

class TestDeb : public QObject
{
    Q_OBJECT

    QString deb;
    QString fileList; // dpkg-deb -c
    QTemporaryDir extracted;

private slots:
    void initTestCase()
    {
        const QStringList debs = QDir(packageDir).entryList({QStringLiteral("*.deb")}, QDir::Files);
        QVERIFY2(debs.size() == 1, qPrintable(QStringLiteral("one .deb in %1: %2").arg(packageDir, debs.join(' '))));
        deb = QDir(packageDir).filePath(debs.first());
        QCOMPARE(debs.first(), QStringLiteral("vornix-can-analyzer_" VORNIX_VERSION "_%1.deb")
                                   .arg(runProgram(QStringLiteral("dpkg"), {QStringLiteral("--print-architecture")})
                                            .out.trimmed()));
        const ProgramRun list = runProgram(QStringLiteral("dpkg-deb"), {QStringLiteral("-c"), deb});
        QVERIFY2(list.status == 0, qPrintable(list.summary()));
        fileList = list.out;
        qInfo("dpkg-deb -c %s\n%s", qPrintable(debs.first()), qPrintable(fileList.trimmed()));

        QVERIFY(extracted.isValid());
        const ProgramRun unpack = runProgram(QStringLiteral("dpkg-deb"), {QStringLiteral("-x"), deb, extracted.path()});
        QVERIFY2(unpack.status == 0, qPrintable(unpack.summary()));
    }

    void contents_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("mode");
        for (const QString &program : installedPrograms()) {
            QTest::addRow("%s", qPrintable(program)) << QStringLiteral("./usr/bin/") + program << "-rwxr-xr-x";
            QTest::addRow("manual page of %s", qPrintable(program))
                << QStringLiteral("./usr/share/man/man1/%1.1.gz").arg(program) << "-rw-r--r--";
        }
        QTest::newRow("desktop entry") << QStringLiteral("./usr/share/applications/%1.desktop").arg(appId)
                                       << "-rw-r--r--";
        for (int size : {48, 128, 256})
            QTest::addRow("icon %d px", size)
                << QStringLiteral("./usr/share/icons/hicolor/%1x%1/apps/%2.png").arg(size).arg(appId) << "-rw-r--r--";
        QTest::newRow("AppStream metadata") << QStringLiteral("./usr/share/metainfo/%1.metainfo.xml").arg(appId)
                                            << "-rw-r--r--";
        QTest::newRow("copyright") << "./usr/share/doc/vornix-can-analyzer/copyright" << "-rw-r--r--";
        QTest::newRow("changelog") << "./usr/share/doc/vornix-can-analyzer/changelog.gz" << "-rw-r--r--";
    }

    void contents()
    {
        QFETCH(QString, path);
        QFETCH(QString, mode);
        const QRegularExpression line(QStringLiteral("^%1 root/root .* %2$")
                                          .arg(QRegularExpression::escape(mode), QRegularExpression::escape(path)),
                                      QRegularExpression::MultilineOption);
        QVERIFY2(line.match(fileList).hasMatch(), qPrintable(path));
    }

    void installsOnlyBelowUsr()
    {
        for (const QString &line : fileList.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            QVERIFY2(line.contains(QLatin1String(" ./usr/")), qPrintable(line));
    }

    void controlFields_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("pattern");
        QTest::newRow("name") << "Package" << "^vornix-can-analyzer$";
        QTest::newRow("version") << "Version" << "^" VORNIX_VERSION "$";
        QTest::newRow("section") << "Section" << "^electronics$";
        QTest::newRow("maintainer") << "Maintainer" << "^[^<>]+ <[^<>@ ]+@[^<>@ ]+>$";
        QTest::newRow("window fonts") << "Depends" << "(^|, )fonts-inter, fonts-jetbrains-mono(,|$)";
        QTest::newRow("Qt widgets from the libraries") << "Depends" << "(^|, )libqt5widgets5( \\([^)]*\\))?(,|$)";
        QTest::newRow("Qt serial port from the libraries") << "Depends" << "(^|, )libqt5serialport5( \\([^)]*\\))?(,|$)";
        QTest::newRow("C library from the libraries") << "Depends" << "(^|, )libc6 \\(>= [0-9.]+\\)(,|$)";
        QTest::newRow("installed size") << "Installed-Size" << "^[1-9][0-9]*$";
        QTest::newRow("synopsis and description") << "Description" << "^CAN-bus monitor for serial CAN adapters\n .{20,}";
    }

    void controlFields()
    {
        QFETCH(QString, field);
        QFETCH(QString, pattern);
        const ProgramRun value = runProgram(QStringLiteral("dpkg-deb"), {QStringLiteral("-f"), deb, field});
        QVERIFY2(value.status == 0, qPrintable(value.summary()));
        const QString text = value.out.trimmed();
        qInfo("%s: %s", qPrintable(field), qPrintable(text));
        QVERIFY2(QRegularExpression(pattern).match(text).hasMatch(), qPrintable(text));
    }

    void lintianReportsNoError()
    {
        QElapsedTimer clock;
        clock.start();
        const ProgramRun run = runProgram(QStringLiteral("lintian"), {QStringLiteral("--fail-on"), QStringLiteral("error"),
                                                                       QStringLiteral("--display-info"), deb},
                                          {}, {}, QString(), 240000);
        const QStringList tags = run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        qInfo("lintian (%lld ms): exit %d, %d tag(s)%s%s", clock.elapsed(), run.status, int(tags.size()),
              tags.isEmpty() ? "" : "\n", qPrintable(tags.join(QLatin1Char('\n'))));
        QVERIFY2(run.status == 0, qPrintable(run.summary()));
        for (const QString &tag : tags)
            QVERIFY2(!tag.startsWith(QLatin1String("E:")), qPrintable(tag));
    }

    void extractedProgram_data()
    {
        // The working directory: empty, or holding image/quellmarkPowered_meta.png
        // of its own; whether the logo probe is preloaded (the window opens).
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("ownLogo");
        QTest::addColumn<bool>("window");
        QTest::newRow("version") << QStringList{QStringLiteral("--version")} << false << false;
        QTest::newRow("window, no logo in the working directory") << QStringList() << false << true;
        QTest::newRow("window, a logo in the working directory") << QStringList() << true << true;
    }

    void extractedProgram()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, ownLogo);
        QFETCH(bool, window);
        const QString program = extracted.filePath(QStringLiteral("usr/bin/vornix-can-analyzer"));
        QVERIFY(QFileInfo(program).isExecutable());
        QTemporaryDir workingDirectory;
        QVERIFY(workingDirectory.isValid());
        if (ownLogo) {
            QVERIFY(QDir(workingDirectory.path()).mkdir(QStringLiteral("image")));
            QVERIFY(ownPicture().save(workingDirectory.filePath(QStringLiteral("image/quellmarkPowered_meta.png"))));
        }
        QStringList environment;
        if (window)
            environment << QStringLiteral("LD_PRELOAD=" VORNIX_LOGO_PROBE);

        const ProgramRun run = runProgram(program, arguments, {}, environment, workingDirectory.path());
        QVERIFY2(run.status == 0, qPrintable(run.summary()));
        if (!window) {
            QCOMPARE(run.out, QStringLiteral("Vornix Can Analyzer " VORNIX_VERSION "\n"));
            return;
        }
        const QImage expected = ownLogo ? ownPicture() : QImage(QStringLiteral(VORNIX_LOGO_FILE));
        QVERIFY(!expected.isNull());
        QCOMPARE(run.out.trimmed(), probeLine(expected));
        // Started in a folder of its own, the program made nothing there.
        QCOMPARE(QDir(workingDirectory.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 ownLogo ? QStringList{QStringLiteral("image")} : QStringList());
    }
};

QTEST_MAIN(TestDeb)
#include "test_deb.moc"
