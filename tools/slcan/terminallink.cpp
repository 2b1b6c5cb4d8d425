#include "tools/slcan/terminallink.h"

#include "tools/support/messages.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace slcantool {

TerminalLink::~TerminalLink()
{
    remove();
}

bool TerminalLink::make(const QString &where, const QString &to, QString *error)
{
    remove();
    const QByteArray name = QFile::encodeName(where);
    struct stat st{};
    if (::lstat(name.constData(), &st) == 0 && !S_ISLNK(st.st_mode)) {
        *error = QStringLiteral("--link %1 exists and is not a symbolic link; it is left alone").arg(where);
        return false;
    }
    const QByteArray temporary = name + ".vornix-slcan-" + QByteArray::number(qint64(::getpid()));
    ::unlink(temporary.constData());
    if (::symlink(QFile::encodeName(to).constData(), temporary.constData()) != 0
        || ::rename(temporary.constData(), name.constData()) != 0) {
        *error = QStringLiteral("cannot make the link %1: %2").arg(where, tool::errorText(errno));
        ::unlink(temporary.constData());
        return false;
    }
    path = where;
    target = to;
    return true;
}

void TerminalLink::remove()
{
    if (path.isEmpty())
        return;
    if (QFileInfo(path).isSymLink() && QFile::symLinkTarget(path) == QFileInfo(target).absoluteFilePath())
        QFile::remove(path);
    path.clear();
    target.clear();
}

} // namespace slcantool
