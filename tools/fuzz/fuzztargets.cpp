#include "tools/fuzz/fuzzcheck.h"

#include "tools/fuzz/framescheck.h"

#include <QByteArray>
#include <QHash>

#include <cstdlib>
#include <cstring>
#include <ctime>

namespace fuzz {

const std::vector<Target> &targets()
{
    static const std::vector<Target> table{
        {"frames", checkFrames}, {"candump", checkCandump}, {"asc", checkAsc},       {"csv", checkCsv},
        {"blf", checkBlf},       {"j1939", checkJ1939},     {"slcan", checkSlcan},   {"replay", checkReplay},
    };
    return table;
}

Check findCheck(const char *name)
{
    for (const Target &target : targets()) {
        if (std::strcmp(target.name, name) == 0)
            return target.check;
    }
    return nullptr;
}

namespace {

Share chosenShare = Share::Whole;

} // namespace

bool takesQuarter(const QByteArray &input, uint quarter)
{
    return chosenShare == Share::Whole || qHash(input) % 4 == quarter;
}

void prepare(Share share)
{
    chosenShare = share;
    qputenv("TZ", "Europe/Berlin");
    tzset();
}

const char *failure(const QString &text)
{
    static QByteArray kept;
    kept = text.toUtf8();
    return kept.constData();
}

const char *checkFrames(const uint8_t *data, size_t size)
{
    return fuzzframes::checkInput(data, size);
}

} // namespace fuzz
