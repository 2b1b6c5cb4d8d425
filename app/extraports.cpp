#include "app/extraports.h"

#include <QMutex>
#include <QMutexLocker>

namespace {

QMutex registryMutex;
QList<QPair<QString, QString>> registry;

} // namespace

void registerExtraPort(const QString &path, const QString &description)
{
    QMutexLocker lock(&registryMutex);
    for (auto &entry : registry) {
        if (entry.first == path) {
            entry.second = description;
            return;
        }
    }
    registry.append(qMakePair(path, description));
}

void clearExtraPorts()
{
    QMutexLocker lock(&registryMutex);
    registry.clear();
}

QList<QPair<QString, QString>> extraPorts()
{
    QMutexLocker lock(&registryMutex);
    return registry;
}
