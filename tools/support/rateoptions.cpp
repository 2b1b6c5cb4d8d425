#include "tools/support/rateoptions.h"

#include <QCommandLineParser>
#include <QStringList>

#include <algorithm>
#include <iterator>

namespace tool {

namespace {

const QString BAUD = QStringLiteral("baud");
const QString CAN_RATE = QStringLiteral("can-rate");

} // namespace

QCommandLineOption comRateOption()
{
    return {{QStringLiteral("b"), BAUD},
            QStringLiteral("COM bit rate: %1 (default %2).").arg(comRateList()).arg(DEFAULT_COM_RATE),
            QStringLiteral("BAUD")};
}

QCommandLineOption canRateOption(bool required)
{
    return {{QStringLiteral("r"), CAN_RATE},
            QStringLiteral("CAN bit rate%1: %2, or short as 500k, 83.333k.")
                .arg(required ? QStringLiteral(" (required)") : QString(), canRateList()),
            QStringLiteral("RATE")};
}

bool readComRate(const QCommandLineParser &parser, quint32 &baud, QString *error)
{
    baud = DEFAULT_COM_RATE;
    if (!parser.isSet(BAUD))
        return true;
    bool ok = false;
    baud = parser.value(BAUD).toUInt(&ok);
    if (ok && std::find(std::begin(wire::COM_RATES), std::end(wire::COM_RATES), baud) != std::end(wire::COM_RATES))
        return true;
    *error = QStringLiteral("--baud %1 is not one of the COM rates %2").arg(parser.value(BAUD), comRateList());
    return false;
}

bool readCanRate(const QCommandLineParser &parser, bool required, const wire::CanRate *&rate, QString *error)
{
    rate = nullptr;
    if (!parser.isSet(CAN_RATE)) {
        if (required)
            *error = QStringLiteral("give the CAN bit rate with -r (%1)").arg(canRateList());
        return !required;
    }
    rate = canRateOf(parser.value(CAN_RATE));
    if (rate)
        return true;
    *error = QStringLiteral("--can-rate \"%1\" is not a CAN bit rate of the adapter (%2, or 500k, 83.333k, ...)")
                 .arg(parser.value(CAN_RATE), canRateList());
    return false;
}

const wire::CanRate *canRateOf(const QString &text)
{
    if (const wire::CanRate *exact = wire::findCanRate(text))
        return exact;
    QString wanted = text.trimmed().toLower().remove(QLatin1Char(' '));
    if (wanted.endsWith(QLatin1String("kbps")))
        wanted.chop(3);
    for (const wire::CanRate &rate : wire::CAN_RATES) {
        QString name = QString::fromLatin1(rate.name).remove(QLatin1Char(' ')); // "500kbps"
        name.chop(3);                                                            // "500k"
        if (wanted == name)
            return &rate;
    }
    return nullptr;
}

QString canRateList()
{
    QStringList names;
    for (const wire::CanRate &rate : wire::CAN_RATES)
        names << QStringLiteral("\"%1\"").arg(QLatin1String(rate.name));
    return names.join(QStringLiteral(", "));
}

QString comRateList()
{
    QStringList rates;
    for (const quint32 rate : wire::COM_RATES)
        rates << QString::number(rate);
    return rates.join(QStringLiteral(", "));
}

} // namespace tool
