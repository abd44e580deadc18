// SPDX-License-Identifier: MIT
#include "suite/ReportStyle.h"

namespace ostrella {

std::string_view reportStyle()
{
    return R"css(:root { color-scheme: light; }
* { box-sizing: border-box; }
body { margin: 0; background: #f6f8fa; color: #1f2328;
  font: 15px/1.45 system-ui, -apple-system, "Segoe UI", "DejaVu Sans", Arial, sans-serif; }
header { background: #24292f; color: #ffffff; padding: 18px 32px 14px; }
header h1 { margin: 0; font-size: 24px; font-weight: 600; }
header .meta { margin: 4px 0 0; color: #c9d1d9; font-size: 14px; }
main { max-width: 1240px; margin: 0 auto; padding: 8px 24px 40px; }
section#summary, section.case, section.call { background: #ffffff; border: 1px solid #d0d7de;
  border-radius: 8px; padding: 4px 22px 16px; margin: 20px 0; }
section.case section.call { border-color: #e4e8ec; background: #fbfcfd; margin: 16px 0; }
h2 { font-size: 20px; margin: 14px 0 10px; }
h3 { font-size: 17px; margin: 12px 0 8px; }
h2 .case-id { color: #57606a; font-variant-numeric: tabular-nums; margin-right: 4px; }
table { border-collapse: collapse; width: 100%; font-size: 14px; margin: 8px 0 12px; }
th { text-align: left; font-weight: 600; color: #57606a; border-bottom: 2px solid #d0d7de;
  padding: 6px 8px; white-space: nowrap; }
td { border-bottom: 1px solid #eaeef2; padding: 6px 8px; vertical-align: top; }
tbody tr:hover { background: #f6f8fa; }
a { color: #0969da; text-decoration: none; }
a:hover { text-decoration: underline; }
code { font: 13px "DejaVu Sans Mono", Menlo, Consolas, monospace; background: #eff2f5;
  padding: 1px 4px; border-radius: 4px; }
.verdict { display: inline-block; min-width: 5.2em; text-align: center; padding: 1px 9px;
  border-radius: 12px; border: 1px solid; font-size: 13px; font-weight: 600; white-space: nowrap;
  vertical-align: 2px; }
.verdict.pass { background: #dafbe1; color: #116329; border-color: #4ac26b; }
.verdict.non-strict { background: #fff8c5; color: #7d4e00; border-color: #d4a72c; }
.verdict.info { background: #ddf4ff; color: #0550ae; border-color: #54aeff; }
.verdict.fail { background: #ffebe9; color: #a40e26; border-color: #ff8182; }
.verdict.no-show { background: #eaeef2; color: #57606a; border-color: #afb8c1; }
.verdict.pending { background: #ffffff; color: #6e7781; border-color: #d0d7de;
  border-style: dashed; }
.verdict.running { background: #fbefff; color: #6e40c9; border-color: #c297ff; }
.totals .verdict { margin-right: 4px; }
.level { font-weight: 600; margin-right: 6px; white-space: nowrap; }
.level.error { color: #d1242f; }
.level.warning { color: #bc4c00; }
.level.note { color: #6e7781; }
.quiet { color: #6e7781; }
.ended { font-size: 13px; font-weight: 500; color: #57606a; background: #eaeef2;
  padding: 1px 8px; border-radius: 10px; vertical-align: 2px; }
dl { margin: 6px 0 10px; display: grid; grid-template-columns: max-content 1fr; gap: 4px 16px; }
dt { color: #57606a; font-weight: 600; }
dd { margin: 0; }
dl.grid { grid-template-columns: repeat(auto-fill, minmax(200px, 1fr)); gap: 8px 18px; }
dl.grid dt { font-size: 12px; text-transform: uppercase; letter-spacing: 0.03em; }
table.findings { max-width: 980px; }
.timeline-box { overflow-x: auto; border: 1px solid #e4e8ec; border-radius: 6px;
  background: #ffffff; margin: 10px 0 6px; }
.timeline-box svg { display: block; }
.cut-note { background: #fff8c5; border: 1px solid #d4a72c; border-radius: 6px; padding: 6px 10px; }
.back { font-size: 13px; margin: 8px 0 0; }
footer { text-align: center; color: #6e7781; font-size: 13px; padding: 0 0 28px; }
)css";
}

} // namespace ostrella
