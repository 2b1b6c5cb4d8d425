#include "report/reportstyle.h"

namespace report {

const char *reportStyle()
{
    static const char style[] = R"(
:root { --ink: #1b2430; --muted: #5d6b7a; --line: #dde3ea; --page: #f3f5f8; --card: #ffffff; --accent: #16385c; }
* { box-sizing: border-box; }
html { -webkit-text-size-adjust: 100%; }
body { margin: 0; background: var(--page); color: var(--ink);
  font: 15px/1.45 Inter, "Noto Sans", "DejaVu Sans", system-ui, -apple-system, "Segoe UI", Roboto, Helvetica, Arial, sans-serif;
  font-variant-numeric: tabular-nums; }
.wrap { max-width: 1120px; margin: 0 auto; padding: 0 20px; }
header.banner { background: var(--accent); color: #fff; padding: 22px 0 20px; }
header.banner .kicker { margin: 0; font-size: 12px; letter-spacing: 0.12em; text-transform: uppercase; opacity: 0.75; }
header.banner h1 { margin: 2px 0 4px; font-size: 26px; line-height: 1.2; font-weight: 650; }
header.banner .meta { margin: 0; opacity: 0.85; }
main.wrap { padding-top: 18px; padding-bottom: 28px; }
h2 { font-size: 18px; margin: 28px 0 10px; font-weight: 650; }
.cards { display: grid; grid-template-columns: repeat(auto-fit, minmax(290px, 1fr)); gap: 14px; }
.card, .panel { background: var(--card); border: 1px solid var(--line); border-radius: 10px; }
.card { padding: 14px 18px 16px; }
.card h2 { margin: 0 0 10px; font-size: 13px; letter-spacing: 0.08em; text-transform: uppercase; color: var(--muted); }
dl { display: grid; grid-template-columns: max-content 1fr; gap: 5px 16px; margin: 0; }
dt { color: var(--muted); }
dd { margin: 0; overflow-wrap: anywhere; }
.nowrap { white-space: nowrap; }
.big { font-size: 17px; font-weight: 600; }
.vin, .hex { font-family: "JetBrains Mono", "DejaVu Sans Mono", monospace; letter-spacing: 0.03em; }
.small, .source { color: var(--muted); font-size: 13px; }
.note { color: var(--muted); font-size: 13px; margin: 0 0 12px; }
.panel { padding: 14px 18px 8px; margin: 0 0 14px; break-inside: avoid; page-break-inside: avoid; }
.charts .panel { margin: 0; display: flex; flex-direction: column; }
.charts .figure { margin-top: auto; }
.charts { display: grid; grid-template-columns: 1fr; gap: 14px; margin-bottom: 14px; }
@media screen and (min-width: 1000px) { .charts { grid-template-columns: 1fr 1fr; } }
.panel h3 { margin: 0; font-size: 16px; font-weight: 650; }
.panel .head { display: flex; flex-wrap: wrap; align-items: baseline; justify-content: space-between; gap: 2px 16px; }
.panel .range { font-size: 14px; color: var(--ink); }
.panel .source { margin: 2px 0 6px; }
.swatch { display: inline-block; width: 10px; height: 10px; border-radius: 2px; background: #e4e8ee; border: 1px solid #c9d1da; vertical-align: -1px; }
.figure { padding: 6px 30px 0 58px; }
svg.picture { display: block; width: 100%; overflow: visible; font-size: 11.5px; }
svg.picture text { fill: var(--muted); }
svg.picture text.title { fill: var(--ink); font-weight: 600; }
svg.picture text.bar-label { fill: var(--ink); font-size: 12px; }
svg.picture text.heading { fill: var(--ink); font-size: 13px; font-weight: 600; }
svg.picture .plot { fill: #fbfcfd; }
svg.picture .grid { stroke: #e6eaef; stroke-width: 1; shape-rendering: crispEdges; }
svg.picture .axis { stroke: #9aa6b2; stroke-width: 1; shape-rendering: crispEdges; }
svg.picture .line { fill: none; stroke-width: 1.6; stroke-linejoin: round; stroke-linecap: round; vector-effect: non-scaling-stroke; }
svg.picture .dots { fill: none; stroke-width: 5; stroke-linecap: round; vector-effect: non-scaling-stroke; }
svg.picture .gap { fill: #e4e8ee; opacity: 0.8; }
svg.picture .bar { stroke-width: 9; stroke-linecap: round; }
.timeline .figure { padding-left: 12px; padding-right: 12px; }
.table { overflow-x: auto; }
table { border-collapse: collapse; width: 100%; font-size: 14px; }
th, td { text-align: left; vertical-align: top; padding: 7px 10px; border-bottom: 1px solid var(--line); }
th { font-size: 12px; letter-spacing: 0.06em; text-transform: uppercase; color: var(--muted); font-weight: 600; }
td.num, th.num { text-align: right; white-space: nowrap; }
tr:last-child td { border-bottom: none; }
tr.unit td { border-bottom: none; padding-bottom: 2px; }
tr.pgns td { font-size: 12.5px; color: var(--muted); line-height: 1.5; padding-top: 0; }
tr.group th { text-transform: none; letter-spacing: 0; font-size: 14px; color: var(--ink); padding-top: 12px; }
.dot { display: inline-block; width: 9px; height: 9px; border-radius: 50%; margin-right: 6px; }
footer { color: var(--muted); font-size: 12.5px; padding: 4px 0 28px; }
@media (max-width: 600px) {
  body { font-size: 14px; }
  .wrap { padding: 0 10px; }
  header.banner h1 { font-size: 21px; }
  .card, .panel { padding-left: 12px; padding-right: 12px; }
  .figure { padding-left: 50px; padding-right: 20px; }
  table { font-size: 13px; }
  th { font-size: 10.5px; letter-spacing: 0.03em; }
  th, td { padding: 6px 4px; }
}
@media print {
  body { background: #fff; font-size: 11pt; }
  header.banner { background: #fff; color: var(--ink); border-bottom: 2px solid var(--ink); padding: 0 0 8px; }
  .wrap { max-width: none; padding: 0; }
  .card, .panel { border-color: #c4ccd5; }
  .panel, tr { break-inside: avoid; page-break-inside: avoid; }
  .table { overflow: visible; }
}
@page { margin: 14mm 12mm; }
)";
    return style;
}

} // namespace report
