// The files the install rules put in place (cmake --install into a folder of
// the build tree, the "installed" fixture): every program's manual page lists
// each option its --help prints, the menu entry and the AppStream metadata pass
// their validators and point at installed files, and the icons are the logo's
// mark at their sizes.

#include "tests/support/runprogram.h"

#include <QtTest>

#include <algorithm>

namespace {

const QString prefix = QStringLiteral(VORNIX_STAGE_DIR "/usr");
const QString appId = QStringLiteral(VORNIX_APP_ID);

QStringList installedPrograms()
{
    return QString::fromLatin1(VORNIX_INSTALLED_PROGRAMS).split(QLatin1Char(','), Qt::SkipEmptyParts);
}

struct OptionEntry {
    QString names;       // "-h, --help", "--demo <truck|load>"
    QString description; // the help text, its lines joined
};

// The entries under "Options:" in QCommandLineParser's help: a line indented by
// two blanks that starts with a dash opens an entry; lines indented further
// continue its description.
QList<OptionEntry> optionEntries(const QString &help)
{
    static const QRegularExpression entryLine(QStringLiteral("^  (-\\S(?:\\S| (?! ))*)(?: {2,}(\\S.*))?$"));
    QList<OptionEntry> entries;
    bool inOptions = false;
    for (const QString &line : help.split(QLatin1Char('\n'))) {
        if (!line.startsWith(QLatin1Char(' '))) {
            inOptions = line == QLatin1String("Options:");
            continue;
        }
        if (!inOptions)
            continue;
        const QRegularExpressionMatch match = entryLine.match(line);
        if (match.hasMatch())
            entries.append({match.captured(1), match.captured(2)});
        else if (!entries.isEmpty())
            entries.last().description += QLatin1Char(' ') + line.trimmed();
    }
    for (OptionEntry &entry : entries)
        entry.description = entry.description.simplified();
    return entries;
}

// The running text of a manual page: requests (lines starting with a dot)
// dropped, font changes and escapes undone, white space simplified.
QString manualText(const QString &roff)
{
    QStringList text;
    for (const QString &line : roff.split(QLatin1Char('\n')))
        if (!line.startsWith(QLatin1Char('.')) && !line.startsWith(QLatin1Char('\'')))
            text << line;
    QString joined = text.join(QLatin1Char(' '));
    joined.remove(QRegularExpression(QStringLiteral("\\\\f[BIRP]")));
    joined.remove(QStringLiteral("\\/"));
    joined.remove(QStringLiteral("\\,"));
    joined.replace(QStringLiteral("\\-"), QStringLiteral("-"));
    joined.replace(QStringLiteral("\\(aq"), QStringLiteral("'"));
    joined.replace(QStringLiteral("\\e"), QStringLiteral("\\"));
    return joined.simplified();
}

QMap<QString, QString> desktopEntry(const QString &path)
{
    QMap<QString, QString> keys;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return keys;
    for (const QString &line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        const int equals = line.indexOf(QLatin1Char('='));
        if (equals > 0 && !line.startsWith(QLatin1Char('#')))
            keys.insert(line.left(equals).trimmed(), line.mid(equals + 1).trimmed());
    }
    return keys;
}

} // namespace

class TestInstall : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(QFileInfo(prefix).isDir(), "the install fixture did not run");
        QVERIFY(!installedPrograms().isEmpty());
    }

    void manualPageListsEveryOption_data()
    {
        QTest::addColumn<QString>("program");
        for (const QString &program : installedPrograms())
            QTest::newRow(qPrintable(program)) << program;
    }

    void manualPageListsEveryOption()
    {
        QFETCH(QString, program);
        const ProgramRun help = runProgram(prefix + QStringLiteral("/bin/") + program, {QStringLiteral("--help")});
        QVERIFY2(help.status == 0, qPrintable(help.summary()));
        const ProgramRun version = runProgram(prefix + QStringLiteral("/bin/") + program, {QStringLiteral("--version")});
        QVERIFY2(version.status == 0, qPrintable(version.summary()));
        const ProgramRun page = runProgram(QStringLiteral("gzip"),
                                           {QStringLiteral("-dc"), prefix + QStringLiteral("/share/man/man1/")
                                                                       + program + QStringLiteral(".1.gz")});
        QVERIFY2(page.status == 0, qPrintable(page.summary()));

        // The page is the program's, of the version the program says.
        QVERIFY2(page.out.contains(QStringLiteral(".TH ") + program.toUpper() + QStringLiteral(" \"1\"")),
                 qPrintable(page.out.left(300)));
        const QString versionNumber = version.out.trimmed().section(QLatin1Char(' '), -1);
        QVERIFY2(page.out.section(QLatin1Char('\n'), 1, 1).contains(versionNumber), qPrintable(versionNumber));

        const QList<OptionEntry> entries = optionEntries(help.out);
        QVERIFY2(entries.size() >= 3, qPrintable(help.out)); // --help, --help-all, --version at least
        const QString text = manualText(page.out);
        for (const OptionEntry &entry : entries) {
            QVERIFY2(text.contains(entry.names), qPrintable(entry.names));
            QVERIFY2(text.contains(entry.names + QLatin1Char(' ') + entry.description),
                     qPrintable(entry.names + QStringLiteral(": ") + entry.description));
        }
    }

    void validators_data()
    {
        QTest::addColumn<QString>("validator");
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("desktop entry")
            << "desktop-file-validate"
            << QStringList{prefix + QStringLiteral("/share/applications/") + appId + QStringLiteral(".desktop")};
        QTest::newRow("AppStream metadata")
            << "appstreamcli"
            << QStringList{QStringLiteral("validate"), QStringLiteral("--no-net"),
                           prefix + QStringLiteral("/share/metainfo/") + appId + QStringLiteral(".metainfo.xml")};
    }

    void validators()
    {
        QFETCH(QString, validator);
        QFETCH(QStringList, arguments);
        QVERIFY2(QFile::exists(arguments.last()), qPrintable(arguments.last()));
        const ProgramRun run = runProgram(validator, arguments);
        const QString output = (run.out + run.err).trimmed();
        qInfo("%s %s: exit %d%s%s", qPrintable(validator), qPrintable(arguments.join(QLatin1Char(' '))), run.status,
              output.isEmpty() ? "" : "\n", qPrintable(output));
        QCOMPARE(run.status, 0);
        for (const QString &line : output.split(QLatin1Char('\n'))) {
            QVERIFY2(!line.startsWith(QLatin1String("E:")), qPrintable(line));
            QVERIFY2(!line.contains(QLatin1String("error:")), qPrintable(line));
        }
    }

    void desktopEntryPointsAtInstalledFiles_data()
    {
        QTest::addColumn<QString>("key");
        QTest::newRow("Exec") << "Exec";
        QTest::newRow("Icon") << "Icon";
        QTest::newRow("Categories") << "Categories";
    }

    void desktopEntryPointsAtInstalledFiles()
    {
        QFETCH(QString, key);
        const QMap<QString, QString> entry =
            desktopEntry(prefix + QStringLiteral("/share/applications/") + appId + QStringLiteral(".desktop"));
        QVERIFY2(entry.contains(key), qPrintable(key));
        const QString value = entry.value(key);
        if (key == QLatin1String("Exec")) {
            QCOMPARE(value, QStringLiteral("vornix-can-analyzer"));
            QVERIFY(QFileInfo(prefix + QStringLiteral("/bin/") + value).isExecutable());
        } else if (key == QLatin1String("Icon")) {
            QCOMPARE(value, appId);
            for (int size : {48, 128, 256})
                QVERIFY(QFile::exists(QStringLiteral("%1/share/icons/hicolor/%2x%2/apps/%3.png").arg(prefix).arg(size).arg(value)));
        } else {
            const QStringList categories = value.split(QLatin1Char(';'), Qt::SkipEmptyParts);
            QVERIFY2(categories.contains(QLatin1String("Development")), qPrintable(value));
            QVERIFY2(categories.contains(QLatin1String("Engineering")), qPrintable(value));
        }
    }

    void icons_data()
    {
        QTest::addColumn<int>("size");
        QTest::newRow("48 px") << 48;
        QTest::newRow("128 px") << 128;
        QTest::newRow("256 px") << 256;
    }

    // The mark of the logo (the rounded square at its left, 76 px on each side
    // at 2,2), scaled into the icon with a transparent margin of size / 16.
    void icons()
    {
        QFETCH(int, size);
        const QImage icon =
            QImage(QStringLiteral("%1/share/icons/hicolor/%2x%2/apps/%3.png").arg(prefix).arg(size).arg(appId))
                .convertToFormat(QImage::Format_ARGB32_Premultiplied);
        QCOMPARE(icon.size(), QSize(size, size));
        QRect visible;
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x)
                if (qAlpha(icon.pixel(x, y)) > 0)
                    visible |= QRect(x, y, 1, 1);
        const int margin = size / 16;
        QCOMPARE(visible, QRect(margin, margin, size - 2 * margin, size - 2 * margin));

        // Its pixels are the mark's: compare with the mark cut from the logo and
        // scaled the same way (premultiplied, so that the colour of transparent
        // pixels does not count), allowing for rounding of the smoothing.
        const QImage mark = QImage(QStringLiteral(VORNIX_LOGO_FILE))
                                .convertToFormat(QImage::Format_ARGB32_Premultiplied)
                                .copy(2, 2, 76, 76)
                                .scaled(visible.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        int worst = 0;
        for (int y = 0; y < mark.height(); ++y)
            for (int x = 0; x < mark.width(); ++x) {
                const QRgb a = icon.pixel(margin + x, margin + y), b = mark.pixel(x, y);
                worst = std::max({worst, qAbs(qRed(a) - qRed(b)), qAbs(qGreen(a) - qGreen(b)),
                              qAbs(qBlue(a) - qBlue(b)), qAbs(qAlpha(a) - qAlpha(b))});
            }
        QVERIFY2(worst <= 8, qPrintable(QString::number(worst)));
    }
};

QTEST_MAIN(TestInstall)
#include "test_install.moc"
