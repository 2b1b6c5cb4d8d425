#include "formats/formattable.h"

#include "formats/asc.h"
#include "formats/blf.h"
#include "formats/candump.h"
#include "formats/dumpcsv.h"

#include <QFileInfo>
#include <QIODevice>

namespace formats {

namespace {

// The first bytes detection looks at.
constexpr int HEAD_BYTES = 4096;

// "a, b or c"
QString listed(const QStringList &items)
{
    if (items.size() < 2)
        return items.join(QString());
    return QStringList(items.mid(0, items.size() - 1)).join(QStringLiteral(", ")) + QStringLiteral(" or ")
           + items.last();
}

QStringList column(QString (*of)(const FormatInfo &))
{
    QStringList items;
    for (const FormatInfo &info : formatTable())
        items << of(info);
    return items;
}

QString dottedExtensions(const FormatInfo &info)
{
    QStringList dotted;
    for (const QString &extension : info.extensions)
        dotted << QLatin1Char('.') + extension;
    return dotted.join(QStringLiteral(", "));
}

} // namespace

const std::vector<FormatInfo> &formatTable()
{
    // Detection tries the rows in this order; a text's first line that is not
    // blank tells the text formats apart, BLF's "LOGG" its binary files.
    static const std::vector<FormatInfo> table{
        {Format::DumpCsv, QStringLiteral("csv"), {QStringLiteral("dump")}, {QStringLiteral("csv")},
         QStringLiteral("a dump file"), parts::looksLikeDump, parts::makeDumpReader, parts::makeDumpWriter},
        {Format::Candump, QStringLiteral("candump"), {QStringLiteral("log")}, {QStringLiteral("log")},
         QStringLiteral("a candump -L log"), parts::looksLikeCandump, parts::makeCandumpReader,
         parts::makeCandumpWriter},
        {Format::Asc, QStringLiteral("asc"), {}, {QStringLiteral("asc")}, QStringLiteral("a Vector ASC log"),
         parts::looksLikeAsc, parts::makeAscReader, parts::makeAscWriter},
        {Format::Blf, QStringLiteral("blf"), {}, {QStringLiteral("blf")}, QStringLiteral("a Vector BLF log"),
         parts::looksLikeBlf, parts::makeBlfReader, parts::makeBlfWriter, true},
    };
    return table;
}

const FormatInfo &formatInfo(Format format)
{
    for (const FormatInfo &info : formatTable()) {
        if (info.format == format)
            return info;
    }
    Q_UNREACHABLE();
}

QString formatName(Format format)
{
    return formatInfo(format).name;
}

bool formatFromName(const QString &name, Format &format)
{
    for (const FormatInfo &info : formatTable()) {
        if (name.compare(info.name, Qt::CaseInsensitive) == 0
            || info.otherNames.contains(name, Qt::CaseInsensitive)) {
            format = info.format;
            return true;
        }
    }
    return false;
}

bool formatFromPath(const QString &path, Format &format)
{
    const QString suffix = QFileInfo(path).suffix();
    for (const FormatInfo &info : formatTable()) {
        if (info.extensions.contains(suffix, Qt::CaseInsensitive)) {
            format = info.format;
            return true;
        }
    }
    return false;
}

bool formatFromContent(const QByteArray &head, Format &format)
{
    for (const FormatInfo &info : formatTable()) {
        if (info.looksLike(head)) {
            format = info.format;
            return true;
        }
    }
    return false;
}

bool detectFormat(const QString &path, QIODevice *device, Format &format)
{
    return (!path.isEmpty() && formatFromPath(path, format)) || formatFromContent(device->peek(HEAD_BYTES), format);
}

QString formatNameList()
{
    return listed(column([](const FormatInfo &info) { return info.name; }));
}

QString formatNameChoices()
{
    return column([](const FormatInfo &info) { return info.name; }).join(QLatin1Char('|'));
}

QString formatExtensionList()
{
    return listed(column(dottedExtensions));
}

QString formatDescriptionList()
{
    return listed(column([](const FormatInfo &info) {
        return QStringLiteral("%1 (%2)").arg(info.description, dottedExtensions(info));
    }));
}

std::unique_ptr<FrameReader> openReader(Format format, QIODevice *device, const ReadOptions &options)
{
    return formatInfo(format).makeReader(device, options);
}

std::unique_ptr<FrameWriter> openWriter(Format format, QIODevice *device, const WriteOptions &options)
{
    return formatInfo(format).makeWriter(device, options);
}

} // namespace formats
