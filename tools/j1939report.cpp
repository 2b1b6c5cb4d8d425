#include "tools/j1939report.h"

#include "j1939/bussummary.h"
#include "j1939/identifier.h"
#include "j1939/names.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <utility>

namespace j1939report {

namespace {

double secondsFrom(qint64 firstUs, qint64 us)
{
    return double(us - firstUs) / 1e6;
}

QString nameHex(quint64 value)
{
    return QString::number(value, 16).toUpper().rightJustified(16, QLatin1Char('0'));
}

QString addressText(quint8 address)
{
    const QString name = j1939::sourceAddressName(address);
    return name.isEmpty() ? QString::number(address) : QStringLiteral("%1 %2").arg(address).arg(name);
}

QString acronym(quint32 pgn)
{
    const j1939::ParameterGroupName *group = j1939::parameterGroupName(pgn);
    return group ? QLatin1String(group->acronym) : QStringLiteral("-");
}

QString groupName(quint32 pgn)
{
    const j1939::ParameterGroupName *group = j1939::parameterGroupName(pgn);
    return group ? QLatin1String(group->name) : QString();
}

QString quoted(const QString &text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

QString nameFields(const j1939::ControlUnitName &n)
{
    return QStringLiteral("identity %1, manufacturer %2, ECU instance %3, function instance %4, function %5, "
                          "vehicle system %6, vehicle system instance %7, industry group %8, %9")
        .arg(n.identityNumber)
        .arg(n.manufacturerCode)
        .arg(n.ecuInstance)
        .arg(n.functionInstance)
        .arg(n.function)
        .arg(n.vehicleSystem)
        .arg(n.vehicleSystemInstance)
        .arg(n.industryGroup)
        .arg(n.arbitraryAddressCapable ? QStringLiteral("arbitrary address capable")
                                       : QStringLiteral("not arbitrary address capable"));
}

} // namespace

QByteArray text(const j1939::BusSummary &summary)
{
    QString out;
    const double duration = secondsFrom(summary.firstUs(), summary.lastUs());
    const auto rate = [duration](qint64 frames) {
        return duration > 0 ? QString::number(double(frames) / duration, 'f', 2) : QStringLiteral("-");
    };
    out += QStringLiteral("frames:       %1 (%2 extended), %3 s\n")
               .arg(summary.frames())
               .arg(summary.extendedFrames())
               .arg(duration, 0, 'f', 3);

    const QVector<j1939::SourceSummary> sources = summary.sources();
    const QVector<j1939::AddressClaimSummary> claims = summary.addressClaims();
    out += QStringLiteral("\ncontrol units: %1\n").arg(sources.size());
    for (const j1939::SourceSummary &source : sources) {
        out += QStringLiteral("  %1: %2 frames, %3 parameter groups\n")
                   .arg(addressText(source.address))
                   .arg(source.frames)
                   .arg(source.pgnFrames.size());
        for (const j1939::AddressClaimSummary &claim : claims) {
            if (claim.address == source.address)
                out += QStringLiteral("    NAME %1: %2\n").arg(nameHex(claim.name.value), nameFields(claim.name));
        }
        for (auto it = source.pgnFrames.cbegin(); it != source.pgnFrames.cend(); ++it)
            out += QStringLiteral("    %1 %2 %3 frames %4/s  %5")
                       .arg(it.key(), 6)
                       .arg(acronym(it.key()), -7)
                       .arg(it.value(), 8)
                       .arg(rate(it.value()), 9)
                       .arg(groupName(it.key()))
                       .trimmed()
                       .prepend(QStringLiteral("    "))
                   + QLatin1Char('\n');
    }

    const auto section = [&out](const QString &title, const QStringList &lines) {
        out += QStringLiteral("\n%1: %2\n").arg(title, lines.isEmpty() ? QStringLiteral("none") : QString::number(lines.size()));
        for (const QString &line : lines)
            out += QStringLiteral("  ") + line + QLatin1Char('\n');
    };
    QStringList lines;
    for (const auto &vin : summary.vins())
        lines << QStringLiteral("%1: %2").arg(addressText(vin.address), vin.value);
    section(QStringLiteral("vehicle identification"), lines);
    lines.clear();
    for (const auto &c : summary.components())
        lines << QStringLiteral("%1: make %2, model %3, serial %4, unit %5")
                     .arg(addressText(c.address), quoted(c.value.make), quoted(c.value.model), quoted(c.value.serial),
                          quoted(c.value.unit));
    section(QStringLiteral("component identification"), lines);
    lines.clear();
    for (const auto &s : summary.software()) {
        QStringList ids;
        for (const QString &id : s.value)
            ids << quoted(id);
        lines << QStringLiteral("%1: %2").arg(addressText(s.address), ids.join(QStringLiteral(", ")));
    }
    section(QStringLiteral("software identification"), lines);

    const QVector<j1939::FaultSummary> faults = summary.faults();
    out += QStringLiteral("\nfault codes (DM1): %1\n").arg(faults.isEmpty() ? QStringLiteral("none") : QString::number(faults.size()));
    if (!faults.isEmpty())
        out += QStringLiteral("  %1 %2 %3 %4 %5 %6 %7\n")
                   .arg(QStringLiteral("SA"), 3)
                   .arg(QStringLiteral("SPN"), 7)
                   .arg(QStringLiteral("FMI"), 3)
                   .arg(QStringLiteral("OC"), 3)
                   .arg(QStringLiteral("first s"), 10)
                   .arg(QStringLiteral("last s"), 10)
                   .arg(QStringLiteral("DM1 messages"), 12);
    for (const j1939::FaultSummary &f : faults)
        out += QStringLiteral("  %1 %2 %3 %4 %5 %6 %7  %8\n")
                   .arg(f.address, 3)
                   .arg(f.spn, 7)
                   .arg(f.fmi, 3)
                   .arg(f.occurrences, 3)
                   .arg(secondsFrom(summary.firstUs(), f.firstUs), 10, 'f', 3)
                   .arg(secondsFrom(summary.firstUs(), f.lastUs), 10, 'f', 3)
                   .arg(f.messages, 12)
                   .arg(j1939::sourceAddressName(f.address));

    const j1939::TransportCounts &t = summary.transport();
    out += QStringLiteral("\ntransport: %1 BAM, %2 RTS; %3 complete, %4 aborted, %5 incomplete\n")
               .arg(t.bam)
               .arg(t.rts)
               .arg(t.complete)
               .arg(t.aborted)
               .arg(t.incomplete);
    for (const j1939::MessageSummary &m : summary.messages())
        out += QStringLiteral("  %1 %2 %3 %4 message(s), up to %5 bytes\n")
                   .arg(m.address, 3)
                   .arg(m.pgn, 6)
                   .arg(acronym(m.pgn), -7)
                   .arg(m.count, 6)
                   .arg(m.maxLength);
    if (summary.dropped() > 0)
        out += QStringLiteral("\n%1 distinct value(s) beyond the summary's tables not kept\n").arg(summary.dropped());
    return out.toUtf8();
}

namespace {

// JSON written with its keys in a fixed order; numbers and strings as
// QJsonDocument writes them.
using Member = std::pair<const char *, QByteArray>;

QByteArray value(const QJsonValue &v)
{
    const QByteArray text = QJsonDocument(QJsonArray{v}).toJson(QJsonDocument::Compact);
    return text.mid(1, text.size() - 2);
}

QByteArray object(std::initializer_list<Member> members, const char *separator = ", ")
{
    QByteArray out = "{";
    for (const Member &m : members) {
        if (out.size() > 1)
            out += separator;
        out += '"' + QByteArray(m.first) + "\": " + m.second;
    }
    return out + '}';
}

QByteArray array(const QList<QByteArray> &items)
{
    return '[' + items.join(", ") + ']';
}

} // namespace

QByteArray json(const j1939::BusSummary &summary)
{
    QList<QByteArray> sources;
    for (const j1939::SourceSummary &source : summary.sources()) {
        QList<QByteArray> pgns;
        for (auto it = source.pgnFrames.cbegin(); it != source.pgnFrames.cend(); ++it)
            pgns << QByteArray::number(it.key());
        sources << object({{"sa", value(source.address)},
                           {"name", value(j1939::sourceAddressName(source.address))},
                           {"frames", value(source.frames)},
                           {"pgns", array(pgns)}});
    }

    QList<QByteArray> claims;
    for (const j1939::AddressClaimSummary &claim : summary.addressClaims()) {
        const j1939::ControlUnitName &n = claim.name;
        claims << object({{"sa", value(claim.address)},
                          {"name_hex", value(nameHex(n.value))},
                          {"manufacturer", value(n.manufacturerCode)},
                          {"function", value(n.function)},
                          {"industry_group", value(n.industryGroup)},
                          {"identity", value(qint64(n.identityNumber))},
                          {"ecu_instance", value(n.ecuInstance)},
                          {"function_instance", value(n.functionInstance)},
                          {"vehicle_system", value(n.vehicleSystem)},
                          {"vehicle_system_instance", value(n.vehicleSystemInstance)},
                          {"arbitrary_address_capable", value(n.arbitraryAddressCapable)}});
    }

    const j1939::TransportCounts &t = summary.transport();
    const QByteArray transport = object({{"bam", value(t.bam)},
                                         {"rts", value(t.rts)},
                                         {"complete", value(t.complete)},
                                         {"aborted", value(t.aborted)},
                                         {"incomplete", value(t.incomplete)}});

    QList<QByteArray> messages;
    for (const j1939::MessageSummary &m : summary.messages())
        messages << object({{"sa", value(m.address)},
                            {"pgn", value(qint64(m.pgn))},
                            {"count", value(m.count)},
                            {"max_length", value(m.maxLength)}});

    QList<QByteArray> vins;
    for (const auto &vin : summary.vins())
        vins << object({{"sa", value(vin.address)}, {"vin", value(vin.value)}});

    QList<QByteArray> components;
    for (const auto &c : summary.components())
        components << object({{"sa", value(c.address)},
                              {"make", value(c.value.make)},
                              {"model", value(c.value.model)},
                              {"serial", value(c.value.serial)},
                              {"unit", value(c.value.unit)}});

    QList<QByteArray> software;
    for (const auto &s : summary.software()) {
        QList<QByteArray> ids;
        for (const QString &id : s.value)
            ids << value(id);
        software << object({{"sa", value(s.address)}, {"ids", array(ids)}});
    }

    QList<QByteArray> faults;
    for (const j1939::FaultSummary &f : summary.faults())
        faults << object({{"sa", value(f.address)},
                          {"spn", value(qint64(f.spn))},
                          {"fmi", value(f.fmi)},
                          {"oc", value(f.occurrences)},
                          {"first_s", value(secondsFrom(summary.firstUs(), f.firstUs))},
                          {"last_s", value(secondsFrom(summary.firstUs(), f.lastUs))},
                          {"messages", value(f.messages)}});

    // One line for each member.
    return object({{"frames", value(summary.frames())},
                   {"extended_frames", value(summary.extendedFrames())},
                   {"sources", array(sources)},
                   {"address_claims", array(claims)},
                   {"transport", transport},
                   {"messages", array(messages)},
                   {"vin", array(vins)},
                   {"components", array(components)},
                   {"software", array(software)},
                   {"faults", array(faults)}},
                  ",\n ")
           + '\n';
}

QString identifierHeading()
{
    return QStringLiteral("%1 %2 %3 %4").arg(QStringLiteral("PGN"), 6).arg(QStringLiteral("group"), -7).arg(QStringLiteral("SA"), 3).arg(QStringLiteral("sender"));
}

QString identifierColumns(quint32 id)
{
    const quint32 pgn = j1939::pgn(id);
    const quint8 source = j1939::sourceAddress(id);
    return QStringLiteral("%1 %2 %3 %4").arg(pgn, 6).arg(acronym(pgn), -7).arg(source, 3).arg(j1939::sourceAddressName(source)).trimmed();
}

} // namespace j1939report
