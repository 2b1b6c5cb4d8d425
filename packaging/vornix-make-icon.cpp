// Build helper: cuts the logo's mark (the rounded square at its left, before
// the lettering) out of the logo and writes it as a square icon of the size
// asked for, with a transparent margin of a sixteenth of the size.

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QImage>
#include <QPainter>

#include <cstdio>

namespace {

bool columnIsVisible(const QImage &image, int x)
{
    for (int y = 0; y < image.height(); ++y)
        if (qAlpha(image.pixel(x, y)) > 0)
            return true;
    return false;
}

// The first run of columns from the left that hold a visible pixel, and the
// rows those columns use. Empty when the picture is all transparent.
QRect markOf(const QImage &image)
{
    int left = 0;
    while (left < image.width() && !columnIsVisible(image, left))
        ++left;
    int right = left;
    while (right < image.width() && columnIsVisible(image, right))
        ++right;
    int top = image.height();
    int bottom = -1;
    for (int x = left; x < right; ++x)
        for (int y = 0; y < image.height(); ++y)
            if (qAlpha(image.pixel(x, y)) > 0) {
                top = qMin(top, y);
                bottom = qMax(bottom, y);
            }
    return bottom < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right - 1, bottom));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(VORNIX_VERSION));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Makes a square icon of the logo's mark."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("logo"), QStringLiteral("The logo (PNG with transparency)."));
    parser.addPositionalArgument(QStringLiteral("size"), QStringLiteral("Width and height of the icon in pixels."));
    parser.addPositionalArgument(QStringLiteral("output"), QStringLiteral("The icon file to write (PNG)."));
    parser.process(app);
    const QStringList arguments = parser.positionalArguments();
    if (arguments.size() != 3)
        parser.showHelp(2);

    bool ok = false;
    const int size = arguments.at(1).toInt(&ok);
    if (!ok || size < 16 || size > 1024) {
        std::fprintf(stderr, "vornix-make-icon: the size is a number of pixels from 16 to 1024\n");
        return 2;
    }
    const QImage logo = QImage(arguments.at(0)).convertToFormat(QImage::Format_ARGB32);
    if (logo.isNull()) {
        std::fprintf(stderr, "vornix-make-icon: cannot read %s\n", qPrintable(arguments.at(0)));
        return 1;
    }
    const QRect mark = markOf(logo);
    if (mark.isEmpty()) {
        std::fprintf(stderr, "vornix-make-icon: %s has no visible mark\n", qPrintable(arguments.at(0)));
        return 1;
    }

    // The mark, centred on a transparent square, scaled into the icon's margin.
    const int side = qMax(mark.width(), mark.height());
    QImage square(side, side, QImage::Format_ARGB32);
    square.fill(Qt::transparent);
    {
        QPainter painter(&square);
        painter.drawImage(QPoint((side - mark.width()) / 2, (side - mark.height()) / 2), logo, mark);
    }
    const int margin = size / 16;
    const QImage scaled = square.scaled(size - 2 * margin, size - 2 * margin, Qt::KeepAspectRatio,
                                        Qt::SmoothTransformation);
    QImage icon(size, size, QImage::Format_ARGB32);
    icon.fill(Qt::transparent);
    {
        QPainter painter(&icon);
        painter.drawImage(QPoint(margin, margin), scaled);
    }
    if (!icon.save(arguments.at(2), "PNG")) {
        std::fprintf(stderr, "vornix-make-icon: cannot write %s\n", qPrintable(arguments.at(2)));
        return 1;
    }
    std::printf("%s: mark %dx%d at %d,%d of %s\n", qPrintable(arguments.at(2)), mark.width(), mark.height(),
                mark.x(), mark.y(), qPrintable(arguments.at(0)));
    return 0;
}
