#include "report/htmlreport.h"

#include "j1939/names.h"
#include "report/axis.h"
#include "report/markup.h"
#include "report/reportstyle.h"
#include "report/svgchart.h"

#include <QDateTime>
#include <QHash>

#include <cmath>

namespace report {

namespace {

// How each charted value is shown. Colours from a palette that stays apart
// for colour-blind readers and in grey print.
struct ChartKind {
    fms::Parameter parameter;
    const char *title;
    const char *unit;
    const char *colour;
    enum Range { FromZero, Percent, Data } range;
    int decimals; // of the smallest and largest value in the caption
};
const ChartKind CHARTS[] = {
    {fms::Parameter::WheelBasedVehicleSpeed, "Vehicle speed (wheel-based)", "km/h", "#1f6fb4", ChartKind::FromZero, 1},
    {fms::Parameter::EngineSpeed, "Engine speed", "rpm", "#d4561b", ChartKind::FromZero, 0},
    {fms::Parameter::FuelRate, "Fuel rate", "L/h", "#2a9d5c", ChartKind::FromZero, 1},
    {fms::Parameter::ThrottlePosition, "Throttle position", "%", "#8e4fa8", ChartKind::Percent, 1},
    {fms::Parameter::EngineCoolantTemperature, "Engine coolant temperature", "\u00B0C", "#c8323c", ChartKind::Data, 0},
    {fms::Parameter::FuelLevel, "Fuel level", "%", "#b8860b", ChartKind::Percent, 1},
    {fms::Parameter::AmbientAirTemperature, "Ambient air temperature", "\u00B0C", "#17869e", ChartKind::Data, 1},
    {fms::Parameter::AirInletTemperature, "Air inlet temperature", "\u00B0C", "#5a6b7d", ChartKind::Data, 0},
};

// Bars of the fault timeline, one colour per sender.
const char *const SENDER_COLOURS[] = {"#c8323c", "#1f6fb4", "#d4561b", "#2a9d5c", "#8e4fa8", "#b8860b", "#17869e"};

// The most bars the timeline draws; the table below it lists every code.
constexpr int MAX_BARS = 100;

QString senderName(quint8 address)
{
    const QString name = j1939::sourceAddressName(address);
    return name.isEmpty() ? QString::number(address) : QStringLiteral("%1 %2").arg(address).arg(name);
}

struct Clock {
    QTimeZone zone;
    QString at(qint64 us, const QString &format = QStringLiteral("yyyy-MM-dd HH:mm:ss")) const
    {
        return QDateTime::fromMSecsSinceEpoch(us / 1000, zone).toString(format);
    }
    // Clock time only, with the date where it is another day than `day`'s.
    QString time(qint64 us, qint64 dayUs) const
    {
        const bool sameDay = QDateTime::fromMSecsSinceEpoch(us / 1000, zone).date()
                             == QDateTime::fromMSecsSinceEpoch(dayUs / 1000, zone).date();
        return at(us, sameDay ? QStringLiteral("HH:mm:ss") : QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    }
};

// "5 min 16 s", "2 h 03 min", "3 d 4 h", "0.8 s".
QString duration(qint64 us)
{
    if (us < 10 * 1000000LL)
        return QStringLiteral("%1 s").arg(double(us) / 1e6, 0, 'f', 1);
    const qint64 s = us / 1000000;
    if (s < 3600)
        return QStringLiteral("%1 min %2 s").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
    if (s < 86400)
        return QStringLiteral("%1 h %2 min").arg(s / 3600).arg((s / 60) % 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1 d %2 h").arg(s / 86400).arg((s / 3600) % 24);
}

QString row(const QString &term, const QString &description)
{
    return QStringLiteral("<dt>%1</dt><dd>%2</dd>\n").arg(term, description);
}

// The vehicle: VIN and the engine's component identification, or every
// component identification when the engine sent none.
QString vehicleCard(const j1939::BusSummary &identification)
{
    QString rows;
    QStringList vins;
    for (const auto &vin : identification.vins()) {
        const QString text = QStringLiteral("<span class=\"vin big\">%1</span>").arg(escaped(vin.value));
        vins << (identification.vins().size() > 1
                     ? text + QStringLiteral(" <span class=\"small\">from %1</span>").arg(escaped(senderName(vin.address)))
                     : text);
    }
    rows += row(QStringLiteral("VIN"), vins.isEmpty() ? QStringLiteral("<span class=\"small\">not sent</span>")
                                                      : vins.join(QStringLiteral("<br/>")));
    QVector<j1939::PerSource<j1939::ComponentIdentification>> components;
    for (const auto &c : identification.components()) {
        if (c.address == ENGINE_ADDRESS)
            components.append(c);
    }
    const bool engineOnly = !components.isEmpty();
    if (!engineOnly)
        components = identification.components();
    for (const auto &c : components) {
        QStringList parts;
        const QString makeModel = QStringList({c.value.make, c.value.model}).join(QLatin1Char(' ')).trimmed();
        if (!makeModel.isEmpty())
            parts << QStringLiteral("<span class=\"big\">%1</span>").arg(escaped(makeModel));
        if (!c.value.serial.isEmpty())
            parts << QStringLiteral("serial %1").arg(escaped(c.value.serial));
        if (!c.value.unit.isEmpty())
            parts << QStringLiteral("unit %1").arg(escaped(c.value.unit));
        const QString term = engineOnly ? QStringLiteral("Engine") : QStringLiteral("Component");
        rows += row(term, parts.join(QStringLiteral(", "))
                              + QStringLiteral("<br/><span class=\"small\">from %1</span>").arg(escaped(senderName(c.address))));
    }
    if (components.isEmpty())
        rows += row(QStringLiteral("Components"), QStringLiteral("<span class=\"small\">no identification sent</span>"));
    return QStringLiteral("<div class=\"card\"><h2>Vehicle</h2><dl>\n%1</dl></div>\n").arg(rows);
}

QString recordingCard(const TripRecorder &trip, const ReportOptions &options, const Clock &clock)
{
    const j1939::BusSummary &bus = trip.bus();
    QString rows;
    if (bus.frames() > 0) {
        rows += row(QStringLiteral("Start"), escaped(clock.at(bus.firstUs())));
        rows += row(QStringLiteral("End"), escaped(clock.at(bus.lastUs())));
        rows += row(QStringLiteral("Duration"), escaped(duration(bus.lastUs() - bus.firstUs())));
    }
    if (!options.window.isEmpty())
        rows += row(QStringLiteral("Window"), escaped(options.window));
    rows += row(QStringLiteral("Frames"), grouped(bus.frames()));
    rows += row(QStringLiteral("Identifiers"), grouped(qint64(trip.identifiers())));
    rows += row(QStringLiteral("Control units"), grouped(qint64(bus.sources().size())));
    rows += row(QStringLiteral("Fault codes"), grouped(qint64(bus.faults().size())));
    if (!options.inputName.isEmpty())
        rows += row(QStringLiteral("File"), escaped(options.inputName)
                                                + (options.inputFormat.isEmpty()
                                                       ? QString()
                                                       : QStringLiteral(" <span class=\"small\">(%1)</span>")
                                                             .arg(escaped(options.inputFormat))));
    return QStringLiteral("<div class=\"card\"><h2>Recording</h2><dl>\n%1</dl></div>\n").arg(rows);
}

// The start and end of a counter, or nullptr when no sender sent it.
const CounterReading *chosenReading(const TripRecorder &trip, Counter which)
{
    const CounterSeries &series = trip.counter(which);
    const int index = series.chosen();
    return index < 0 ? nullptr : &series.senders.at(index);
}

QString tripCard(const TripRecorder &trip)
{
    const CounterReading *distance = chosenReading(trip, Counter::HighResolutionDistance);
    if (!distance)
        distance = chosenReading(trip, Counter::VehicleDistance);
    const CounterReading *hours = chosenReading(trip, Counter::EngineHours);
    const CounterReading *fuel = chosenReading(trip, Counter::FuelUsed);
    const QString notSent = QStringLiteral("<span class=\"small\">not sent</span>");
    const auto from = [](const CounterReading *r) {
        return QStringLiteral("<br/><span class=\"small\">from %1</span>").arg(escaped(senderName(r->address)));
    };
    const auto span = [](const CounterReading *r, int decimals, const QString &unit) {
        return QStringLiteral("<span class=\"nowrap\">%1 %3 \u2192</span> <span class=\"nowrap\">%2 %3</span>")
            .arg(grouped(r->first, decimals), grouped(r->last, decimals), unit);
    };
    QString rows;
    double km = 0;
    if (distance) {
        km = distance->last - distance->first;
        rows += row(QStringLiteral("Distance"),
                    QStringLiteral("<span class=\"big\">%1 km</span>").arg(grouped(km, km < 100 ? 2 : 1)));
        rows += row(QStringLiteral("Odometer"), span(distance, 1, QStringLiteral("km")) + from(distance));
    } else {
        rows += row(QStringLiteral("Odometer"), notSent);
    }
    if (fuel) {
        const double litres = fuel->last - fuel->first;
        QString text = QStringLiteral("<span class=\"big\">%1 L</span>").arg(grouped(litres, 1));
        if (km >= 1)
            text += QStringLiteral(" <span class=\"small\">(%1 L/100 km)</span>").arg(grouped(100 * litres / km, 1));
        rows += row(QStringLiteral("Fuel used"), text);
        rows += row(QStringLiteral("Total fuel"), span(fuel, 1, QStringLiteral("L")) + from(fuel));
    } else {
        rows += row(QStringLiteral("Fuel used"), notSent);
    }
    if (hours) {
        rows += row(QStringLiteral("Engine hours"), span(hours, 2, QStringLiteral("h")) + from(hours));
    } else {
        rows += row(QStringLiteral("Engine hours"), notSent);
    }
    return QStringLiteral("<div class=\"card\"><h2>Trip</h2><dl>\n%1</dl></div>\n").arg(rows);
}

const ChartKind &kindOf(fms::Parameter parameter)
{
    for (const ChartKind &kind : CHARTS) {
        if (kind.parameter == parameter)
            return kind;
    }
    return CHARTS[0];
}

// One chart for each charted value with a measurement; those sent only as
// "not available" or "error", and those not sent, are named in notes (the
// second text).
QPair<QString, QString> valueCharts(const TripRecorder &trip, const TimeAxis &time, const ReportOptions &options, qint64 *columnUs)
{
    QString out;
    QStringList invalidOnly, missing;
    for (const ValueSeries &series : trip.values()) {
        const ChartKind &kind = kindOf(series.parameter);
        const QString title = QString::fromUtf8(kind.title);
        const int index = series.chosen();
        if (index < 0) {
            if (series.senders.isEmpty())
                missing << title;
            else
                invalidOnly << title;
            continue;
        }
        const SenderSeries &shown = series.senders.at(index);
        const ColumnReducer &columns = shown.columns;
        *columnUs = qMax(*columnUs, columns.columnWidthUs());
        const QString unit = QString::fromUtf8(kind.unit);

        LineChart chart;
        chart.label = QStringLiteral("%1 in %2").arg(title, unit);
        chart.unit = unit;
        chart.colour = QLatin1String(kind.colour);
        chart.line = columns.line(options.silenceUs, &chart.gapSpans);
        double low = columns.min(), high = columns.max();
        if (kind.range == ChartKind::FromZero || kind.range == ChartKind::Percent)
            low = qMin(low, 0.0);
        if (kind.range == ChartKind::Percent)
            high = qMax(high, 100.0);
        if (kind.range == ChartKind::FromZero && high <= 0)
            high = 1;
        chart.axis = valueAxis(low, high, 4);

        QStringList others;
        for (const SenderSeries &s : series.senders) {
            if (&s != &shown)
                others << escaped(senderName(s.address));
        }
        if (series.droppedSenders > 0)
            others << QStringLiteral("more");
        QString source = QStringLiteral("From %1").arg(escaped(senderName(shown.address)));
        if (!others.isEmpty())
            source += QStringLiteral(" \u00B7 also sent by %1, not drawn").arg(others.join(QStringLiteral(", ")));
        if (columns.gaps() > 0)
            source += QStringLiteral("<br/><span class=\"swatch\"></span> %1 of %2 values not available or error")
                          .arg(grouped(columns.gaps()), grouped(columns.gaps() + columns.measurements()));

        const QString smallest = grouped(columns.min(), kind.decimals), largest = grouped(columns.max(), kind.decimals);
        out += QStringLiteral("<section class=\"panel\">\n<div class=\"head\"><h3>%1</h3><span class=\"range\">%2 %3</span></div>\n")
                   .arg(escaped(title), smallest == largest ? smallest : QStringLiteral("%1 \u2013 %2").arg(smallest, largest), escaped(unit));
        out += QStringLiteral("<p class=\"source\">%1</p>\n<div class=\"figure\">\n").arg(source);
        out += lineChartSvg(chart, time);
        out += QLatin1String("</div>\n</section>\n");
    }
    QString notes;
    if (!invalidOnly.isEmpty())
        notes += QStringLiteral("<p class=\"note\">Sent only as \u201Cnot available\u201D or \u201Cerror\u201D: %1.</p>\n")
                     .arg(escaped(invalidOnly.join(QStringLiteral(", "))));
    if (!missing.isEmpty())
        notes += QStringLiteral("<p class=\"note\">Not in this recording: %1.</p>\n")
                     .arg(escaped(missing.join(QStringLiteral(", "))));
    return {out, notes};
}

QString faultSection(const TripRecorder &trip, const TimeAxis &time, const Clock &clock)
{
    const QVector<j1939::FaultSummary> faults = trip.bus().faults(); // by sender, SPN, FMI
    if (faults.isEmpty())
        return QStringLiteral("<p class=\"note\">No active fault codes (DM1) in this recording.</p>\n");
    const qint64 day = trip.bus().firstUs();
    QVector<TimelineRow> timeline;
    int bars = 0;
    QString rows;
    int senders = 0;
    for (int i = 0; i < faults.size(); ++i) {
        const j1939::FaultSummary &f = faults.at(i);
        const bool firstOfSender = i == 0 || faults.at(i - 1).address != f.address;
        if (firstOfSender)
            ++senders;
        const QString colour =
            QLatin1String(SENDER_COLOURS[(senders - 1) % int(sizeof(SENDER_COLOURS) / sizeof(SENDER_COLOURS[0]))]);
        const QString sender = senderName(f.address);
        if (firstOfSender) {
            if (bars < MAX_BARS)
                timeline.append({true, sender, QString(), colour, 0, 0});
            rows += QStringLiteral("<tr class=\"group\"><th colspan=\"6\"><span class=\"dot\" style=\"background:%1\"></span>%2</th></tr>\n")
                        .arg(colour, escaped(sender));
        }
        const QString code = QStringLiteral("SPN %1 \u00B7 FMI %2 \u00B7 OC %3").arg(f.spn).arg(f.fmi).arg(f.occurrences);
        if (bars++ < MAX_BARS)
            timeline.append({false, code,
                             QStringLiteral("%1, %2: seen %3 to %4 in %5 DM1 message(s)")
                                 .arg(code, sender, clock.time(f.firstUs, day), clock.time(f.lastUs, day))
                                 .arg(f.messages),
                             colour, f.firstUs, f.lastUs});
        rows += QStringLiteral("<tr><td class=\"num\">%1</td><td class=\"num\">%2</td><td class=\"num\">%3</td>"
                               "<td class=\"num\">%4</td><td class=\"num\">%5</td><td class=\"num\">%6</td></tr>\n")
                    .arg(f.spn)
                    .arg(f.fmi)
                    .arg(f.occurrences)
                    .arg(escaped(clock.time(f.firstUs, day)), escaped(clock.time(f.lastUs, day)), grouped(f.messages));
    }
    QString out = QStringLiteral("<section class=\"panel timeline\">\n<div class=\"head\"><h3>Active fault codes</h3>"
                                 "<span class=\"range\">%1 code(s)</span></div>\n"
                                 "<p class=\"source\">One bar per code, from the first to the last DM1 message "
                                 "that carried it. SPN: suspect parameter, FMI: failure mode, OC: occurrence count "
                                 "(the last one sent).</p>\n<div class=\"figure\">\n")
                      .arg(faults.size());
    out += timelineSvg(timeline, time);
    out += QLatin1String("</div>\n</section>\n");
    if (faults.size() > MAX_BARS)
        out += QStringLiteral("<p class=\"note\">The timeline shows the first %1 codes; the table lists all.</p>\n")
                   .arg(MAX_BARS);
    out += QStringLiteral("<div class=\"panel table\"><table>\n<thead><tr><th class=\"num\">SPN</th><th class=\"num\">FMI</th>"
                          "<th class=\"num\">OC</th><th class=\"num\">First seen</th><th class=\"num\">Last seen</th>"
                          "<th class=\"num\">Messages</th></tr></thead>\n<tbody>\n%1</tbody></table></div>\n")
               .arg(rows);
    return out;
}

QString nameHex(quint64 value)
{
    return QString::number(value, 16).toUpper().rightJustified(16, QLatin1Char('0'));
}

QString controlUnits(const j1939::BusSummary &bus)
{
    const QVector<j1939::AddressClaimSummary> claims = bus.addressClaims();
    QString rows;
    for (const j1939::SourceSummary &source : bus.sources()) {
        QString name = escaped(j1939::sourceAddressName(source.address));
        for (const j1939::AddressClaimSummary &claim : claims) {
            if (claim.address == source.address)
                name += QStringLiteral("<br/><span class=\"small\">NAME <span class=\"hex\">%1</span> (function %2, manufacturer %3)</span>")
                            .arg(nameHex(claim.name.value))
                            .arg(claim.name.function)
                            .arg(claim.name.manufacturerCode);
        }
        // Groups by their acronym, with the number where several share one
        // (the proprietary ones) or it has none.
        QHash<QString, int> acronyms;
        for (auto it = source.pgnFrames.cbegin(); it != source.pgnFrames.cend(); ++it) {
            if (const j1939::ParameterGroupName *group = j1939::parameterGroupName(it.key()))
                ++acronyms[QLatin1String(group->acronym)];
        }
        QStringList groups;
        for (auto it = source.pgnFrames.cbegin(); it != source.pgnFrames.cend(); ++it) {
            const j1939::ParameterGroupName *group = j1939::parameterGroupName(it.key());
            const QString acronym = group ? QLatin1String(group->acronym) : QString();
            const QString shown = acronym.isEmpty() ? QString::number(it.key())
                                  : acronyms.value(acronym) > 1 ? QStringLiteral("%1 %2").arg(acronym).arg(it.key())
                                                                : acronym;
            const QString full = group ? QStringLiteral("%1 %2").arg(it.key()).arg(QLatin1String(group->name))
                                       : QStringLiteral("PGN %1").arg(it.key());
            groups << QStringLiteral("<span title=\"%1: %2 frames\">%3</span>")
                          .arg(escaped(full), grouped(it.value()), escaped(shown));
        }
        rows += QStringLiteral("<tr class=\"unit\"><td class=\"num\">%1 <span class=\"small hex\">0x%2</span></td><td>%3</td>"
                               "<td class=\"num\">%4</td><td class=\"num\">%5</td></tr>\n"
                               "<tr class=\"pgns\"><td></td><td colspan=\"3\">%6</td></tr>\n")
                    .arg(source.address)
                    .arg(QString::number(source.address, 16).toUpper().rightJustified(2, QLatin1Char('0')))
                    .arg(name.isEmpty() ? QStringLiteral("<span class=\"small\">\u2014</span>") : name)
                    .arg(grouped(source.frames))
                    .arg(source.pgnFrames.size())
                    .arg(groups.join(QStringLiteral(", ")));
    }
    if (rows.isEmpty())
        return QStringLiteral("<p class=\"note\">No J1939 frames in this recording.</p>\n");
    return QStringLiteral("<div class=\"panel table\"><table>\n<thead><tr><th class=\"num\">Address</th><th>Name</th>"
                          "<th class=\"num\">Frames</th><th class=\"num\">Groups</th></tr></thead>\n<tbody>\n%1"
                          "</tbody></table></div>\n")
        .arg(rows);
}

} // namespace

QByteArray htmlReport(const TripRecorder &trip, const ReportOptions &options)
{
    const j1939::BusSummary &bus = trip.bus();
    const Clock clock{options.zone};
    const QString title = options.title.isEmpty() ? QStringLiteral("Trip report") : options.title;

    TimeAxis time;
    time.startUs = bus.firstUs();
    time.endUs = qMax(bus.lastUs(), bus.firstUs() + 1000000);
    time.ticks = timeTicks(time.startUs, time.endUs, options.zone);
    time.title = QStringLiteral("Time (%1)").arg(zoneLabel(options.zone, time.startUs));

    QString meta;
    if (bus.frames() > 0)
        meta = QStringLiteral("%1 \u2013 %2 (%3) \u00B7 %4")
                   .arg(clock.at(bus.firstUs()), clock.time(bus.lastUs(), bus.firstUs()), zoneLabel(options.zone, bus.firstUs()),
                        duration(bus.lastUs() - bus.firstUs()));
    else
        meta = QStringLiteral("No frames");
    if (!options.inputName.isEmpty())
        meta += QStringLiteral(" \u00B7 ") + options.inputName;

    QString html;
    html.reserve(256 * 1024);
    html += QStringLiteral("<!DOCTYPE html>\n<html xmlns=\"http://www.w3.org/1999/xhtml\" lang=\"en\" xml:lang=\"en\">\n"
                           "<head>\n<meta charset=\"utf-8\"/>\n"
                           "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\"/>\n"
                           "<meta name=\"generator\" content=\"vornix-dump %1\"/>\n<title>%2</title>\n<style>%3</style>\n"
                           "</head>\n<body>\n")
                .arg(QStringLiteral(VORNIX_VERSION),
                     escaped(options.title.isEmpty() && !options.inputName.isEmpty()
                                 ? QStringLiteral("%1 \u2013 %2").arg(title, options.inputName)
                                 : title),
                     QLatin1String(reportStyle()));
    html += QStringLiteral("<header class=\"banner\"><div class=\"wrap\">\n<p class=\"kicker\">Vornix Can Analyzer</p>\n"
                           "<h1>%1</h1>\n<p class=\"meta\">%2</p>\n</div></header>\n<main class=\"wrap\">\n")
                .arg(escaped(title), escaped(meta));
    html += QLatin1String("<div class=\"cards\">\n");
    html += vehicleCard(trip.identification());
    html += recordingCard(trip, options, clock);
    html += tripCard(trip);
    html += QLatin1String("</div>\n");

    qint64 columnUs = 0;
    html += QLatin1String("<h2>Values over time</h2>\n");
    const QPair<QString, QString> charts = valueCharts(trip, time, options, &columnUs);
    html += QLatin1String("<div class=\"charts\">\n") + charts.first + QLatin1String("</div>\n") + charts.second;
    html += QLatin1String("<h2>Fault codes (DM1)</h2>\n");
    html += faultSection(trip, time, clock);
    html += QLatin1String("<h2>Control units</h2>\n");
    html += controlUnits(bus);

    QString footer = QStringLiteral("Made by vornix-dump %1. Values are those of the J1939 FMS parameter groups; "
                                    "\u201Cnot available\u201D and \u201Cerror\u201D values are not drawn, and a line "
                                    "also breaks where a value did not come for more than %2 s.")
                         .arg(QStringLiteral(VORNIX_VERSION))
                         .arg(options.silenceUs / 1000000);
    if (columnUs > 1)
        footer += QStringLiteral(" Each chart keeps the smallest and the largest value of every %1 of the trip.")
                      .arg(columnUs >= 1000000 ? QStringLiteral("%1 s").arg(double(columnUs) / 1e6, 0, 'f', 1)
                                               : QStringLiteral("%1 ms").arg(double(columnUs) / 1e3, 0, 'f', 1));
    if (bus.dropped() > 0)
        footer += QStringLiteral(" %1 entries beyond the summary's limits were left out of the tables.").arg(bus.dropped());
    html += QStringLiteral("</main>\n<footer class=\"wrap\">%1</footer>\n</body>\n</html>\n").arg(escaped(footer));
    return html.toUtf8();
}

} // namespace report
