#include "audit/ReportStyle.h"

#include <string>

namespace ornr::audit {

namespace {

// Colours as custom properties, so that bars, swatches and badges follow the scheme and print.
constexpr std::string_view kStyle = R"css(
:root {
  color-scheme: light dark;
  --bg: #ffffff; --fg: #1d232a; --muted: #56616d; --line: #d5dbe1; --panel: #f4f6f8;
  --accent: #1f5fa8; --good-bg: #e4f4e9; --good-fg: #1b5530; --warn-bg: #fff4d6; --warn-fg: #6b4a00; --bad-bg: #fde8e8; --bad-fg: #8a1c1c;
  --s-in-step: #3a9a5b; --s-library-newer: #2f6fd0; --s-changed-here: #d98a1c;
  --s-both-changed: #c8383b; --s-library-gone: #7a4fb3; --s-same-name-differs: #1e9aa6;
  --s-same-name-equal: #9fcfb0; --s-not-from-library: #c3c9d0; --s-unreadable: #3b3f45;
  --font: system-ui, -apple-system, "Segoe UI", Roboto, "Noto Sans", sans-serif;
  --mono: ui-monospace, "SFMono-Regular", "DejaVu Sans Mono", Menlo, Consolas, monospace;
}
@media (prefers-color-scheme: dark) {
  :root {
    --bg: #15191e; --fg: #e3e7eb; --muted: #a3adb8; --line: #343c45; --panel: #1d2329;
    --accent: #7fb0f0; --good-bg: #18321f; --good-fg: #a8e0b9; --warn-bg: #3b3116; --warn-fg: #f3d58b; --bad-bg: #401d1f; --bad-fg: #f6b3b3;
    --s-in-step: #4fb874; --s-library-newer: #5b93ec; --s-changed-here: #e9a23b;
    --s-both-changed: #e5595b; --s-library-gone: #a07ad6; --s-same-name-differs: #33b7c2;
    --s-same-name-equal: #6f9f80; --s-not-from-library: #5d6670; --s-unreadable: #c9ced4;
  }
}
* { box-sizing: border-box; }
html { background: var(--bg); color: var(--fg); font: 15px/1.45 var(--font); }
body { margin: 0 auto; max-width: 1180px; padding: 24px 28px 40px; }
h1 { font-size: 1.6rem; margin: 0 0 4px; }
h2 { font-size: 1.2rem; margin: 32px 0 10px; padding-bottom: 4px; border-bottom: 1px solid var(--line); }
h3 { font-size: 1rem; margin: 0; overflow-wrap: anywhere; }
p { margin: 6px 0; }
a { color: var(--accent); }
code, .mono { font-family: var(--mono); font-size: 0.9em; }
.meta { color: var(--muted); margin: 0; }
.banner { margin: 14px 0 0; padding: 10px 14px; border-radius: 6px; background: var(--warn-bg); color: var(--warn-fg); font-weight: 600; }
.verdict { margin: 14px 0 0; padding: 10px 14px; border-radius: 6px; font-size: 1.05rem; font-weight: 600; border-left: 5px solid; }
.verdict.good { background: var(--good-bg); color: var(--good-fg); }
.verdict.warn { background: var(--warn-bg); color: var(--warn-fg); }
.verdict.bad { background: var(--bad-bg); color: var(--bad-fg); }
.cards { display: grid; grid-template-columns: repeat(auto-fit, minmax(180px, 1fr)); gap: 12px; margin: 12px 0 16px; }
.card { background: var(--panel); border: 1px solid var(--line); border-radius: 8px; padding: 10px 14px; }
.card .figure { font-size: 1.7rem; font-weight: 650; line-height: 1.2; }
.card .label { color: var(--muted); }
.bar { display: block; width: 100%; height: 18px; border-radius: 3px; }
.bar rect { shape-rendering: crispEdges; }
.legend { display: flex; flex-wrap: wrap; gap: 6px 18px; list-style: none; margin: 8px 0 0; padding: 0; }
.legend li { display: flex; align-items: center; gap: 6px; }
.swatch { display: inline-block; width: 12px; height: 12px; border-radius: 2px; flex: none; }
.s-in-step { fill: var(--s-in-step); background: var(--s-in-step); }
.s-library-newer { fill: var(--s-library-newer); background: var(--s-library-newer); }
.s-changed-here { fill: var(--s-changed-here); background: var(--s-changed-here); }
.s-both-changed { fill: var(--s-both-changed); background: var(--s-both-changed); }
.s-library-gone { fill: var(--s-library-gone); background: var(--s-library-gone); }
.s-same-name-differs { fill: var(--s-same-name-differs); background: var(--s-same-name-differs); }
.s-same-name-equal { fill: var(--s-same-name-equal); background: var(--s-same-name-equal); }
.s-not-from-library { fill: var(--s-not-from-library); background: var(--s-not-from-library); }
.s-unreadable { fill: var(--s-unreadable); background: var(--s-unreadable); }
.chart { display: grid; grid-template-columns: minmax(120px, 32%) 1fr auto; gap: 5px 12px; align-items: center; margin: 0; }
.chart dt { overflow-wrap: anywhere; font-family: var(--mono); font-size: 0.85rem; }
.chart dd { margin: 0; display: contents; }
.chart .count { color: var(--muted); font-variant-numeric: tabular-nums; text-align: right; }
.note { color: var(--muted); font-size: 0.9rem; }
.table-wrap { overflow-x: auto; position: relative; }
.table-wrap:focus-visible { outline: 2px solid var(--accent); outline-offset: 2px; }
table { border-collapse: collapse; width: 100%; }
th, td { text-align: left; vertical-align: top; padding: 6px 10px; border-bottom: 1px solid var(--line); }
th { font-weight: 600; color: var(--muted); font-size: 0.85rem; white-space: nowrap; }
tbody th { color: var(--fg); font-size: 1rem; white-space: normal; overflow-wrap: anywhere; }
td.num, th.num { text-align: right; font-variant-numeric: tabular-nums; }
.barcell { width: 40%; min-width: 140px; }
table.drift code { white-space: nowrap; }
.drawing { border: 1px solid var(--line); border-radius: 8px; margin: 14px 0; padding: 12px 14px; break-inside: avoid; }
.drawing header { display: flex; flex-wrap: wrap; gap: 6px 12px; align-items: baseline; justify-content: space-between; }
.drawing .status { font-size: 0.85rem; font-weight: 600; padding: 1px 8px; border-radius: 10px; background: var(--panel); border: 1px solid var(--line); }
.drawing .status.bad { background: var(--bad-bg); color: var(--bad-fg); border-color: transparent; }
.drawing .status.warn { background: var(--warn-bg); color: var(--warn-fg); border-color: transparent; }
.drawing .reason { margin: 8px 0 0; padding: 6px 10px; border-radius: 6px; background: var(--bad-bg); color: var(--bad-fg); overflow-wrap: anywhere; }
.drawing .reason.warn { background: var(--warn-bg); color: var(--warn-fg); }
.state { display: inline-flex; align-items: center; gap: 6px; white-space: nowrap; }
ul.props { list-style: none; margin: 0; padding: 0; }
ul.props li { margin: 0 0 2px; overflow-wrap: anywhere; }
.was { color: var(--muted); }
.side { color: var(--muted); font-size: 0.85rem; }
.fixcell { color: var(--muted); font-size: 0.9rem; }
footer { margin-top: 36px; padding-top: 12px; border-top: 1px solid var(--line); color: var(--muted); font-size: 0.9rem; }
footer pre { margin: 6px 0 10px; padding: 10px 12px; background: var(--panel); border: 1px solid var(--line); border-radius: 6px; color: var(--fg); white-space: pre-wrap; overflow-wrap: anywhere; }
.sr-only { position: absolute; width: 1px; height: 1px; overflow: hidden; clip: rect(0 0 0 0); white-space: nowrap; }
@media (max-width: 700px) {
  body { padding: 14px 12px 28px; }
  .chart { grid-template-columns: 1fr auto; }
  .chart dt { grid-column: 1 / -1; margin-top: 4px; }
  th, td { padding: 5px 6px; }
}
/* A drawing's setups stack, one labelled block each, rather than scroll sideways. */
@media screen and (max-width: 700px) {
  table.drift .barcell { display: none; }
  table.drift thead th { white-space: normal; }
  table.setups td:empty { display: none; }
  table.setups, table.setups tbody, table.setups tr, table.setups th, table.setups td { display: block; }
  table.setups thead { position: absolute; width: 1px; height: 1px; overflow: hidden; clip: rect(0 0 0 0); }
  table.setups tr { border-bottom: 1px solid var(--line); padding: 8px 0; }
  table.setups th, table.setups td { border: 0; padding: 2px 0; }
  table.setups td::before { content: attr(data-label); display: block; color: var(--muted); font-size: 0.8rem; font-weight: 600; }
}
@media print {
  :root { --bg: #fff; --fg: #000; --muted: #444; --line: #bbb; --panel: #f3f3f3; }
  html { font-size: 10pt; }
  body { max-width: none; padding: 0; }
  * { -webkit-print-color-adjust: exact; print-color-adjust: exact; }
  h2 { break-after: avoid; }
  .drawing, tr, .card { break-inside: avoid; }
  .table-wrap { overflow: visible; }
  a { color: inherit; text-decoration: none; }
}
)css";

}  // namespace

std::string_view ReportStyleSheet() {
  return kStyle;
}

std::string StateClass(SetupState state) {
  return std::string("s-") + StateKey(state);
}

}  // namespace ornr::audit
