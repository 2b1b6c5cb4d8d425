#include "tools/candump/rotation.h"

#include "tools/support/messages.h"

#include <cerrno>

namespace capture {

namespace {

// Numbers tried for a free name of a rotated file before giving up.
constexpr int MAX_NAME_TRIES = 100000;

} // namespace

QString numberedName(const QString &path, int number)
{
    const int slash = path.lastIndexOf(QLatin1Char('/'));
    int dot = path.lastIndexOf(QLatin1Char('.'));
    if (dot <= slash + 1) // no extension (or a name that is all extension)
        dot = path.size();
    return path.left(dot) + QStringLiteral("_%1").arg(number, 4, 10, QLatin1Char('0')) + path.mid(dot);
}

Rotation::Rotation(const QString &file, qint64 bytes, qint64 us)
    : path(file)
    , rotateBytes(bytes)
    , rotateUs(us)
{
}

std::unique_ptr<OutputDevice> Rotation::createNext(QString *error)
{
    fileStartUs = -1;
    std::unique_ptr<OutputDevice> created;
    if (!rotating()) {
        created = OutputDevice::create(path);
        if (!created)
            *error = errno == EEXIST ? QStringLiteral("%1 exists; choose another name (nothing is overwritten)").arg(path)
                                     : QStringLiteral("cannot create %1: %2").arg(path, tool::errorText(errno));
        return created;
    }
    for (int tries = 0; !created && tries < MAX_NAME_TRIES; ++tries) {
        const QString name = numberedName(path, ++fileNumber);
        created = OutputDevice::create(name);
        if (!created && errno != EEXIST) {
            *error = QStringLiteral("cannot create %1: %2").arg(name, tool::errorText(errno));
            return nullptr;
        }
    }
    if (!created)
        *error = QStringLiteral("no free name left for %1").arg(numberedName(path, fileNumber));
    return created;
}

} // namespace capture
