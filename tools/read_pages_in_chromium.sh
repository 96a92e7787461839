#!/bin/sh
# A browser's reading of the ordinary pages of tests/data/html (and of the small pages in
# sources/probes), saved as data in tests/data/html/browser/<name>.txt: the text a browser shows,
# each table's rows in the order they are laid out with each cell's alignment, colour, weight and
# the background painted behind it (and, where a cell spans rows, the column each shown cell
# stands in), and each paragraph's looks; for the pages of sources/pages, also the page as a
# sheet would lay it out (SHEET): each line of text outside a table, and each row of a table that
# stands in no other, its cells at the columns the table's grid gives them (spans taken into
# account), a cell holding a table with that table's text. Pages may be named on the command
# line; the default is all of them. The tests' expected cells are
# written out by hand from these readings; no test runs a browser. Needs Debian's chromium.
set -e
here=$(cd "$(dirname "$0")/.." && pwd)
data="$here/tests/data/html"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$data/browser"
cat > "$work/probe.js" <<'SCRIPT'
addEventListener('load', () => {
  const lines = [];
  const css = (el) => {
    const s = getComputedStyle(el);
    return `align=${s.textAlign} color=${s.color} weight=${s.fontWeight}`;
  };
  const painted = (el) => {
    for (let e = el; e && e !== document.body; e = e.parentElement) {
      const b = getComputedStyle(e).backgroundColor;
      if (b !== 'rgba(0, 0, 0, 0)' && b !== 'transparent') return b;
      if (e.tagName === 'TABLE') break;
    }
    return 'none';
  };
  lines.push('TEXT');
  for (const line of document.body.innerText.split('\n')) lines.push('  ' + line);
  for (const table of document.querySelectorAll('table')) {
    const rows = [...table.rows].sort((a, b) => a.getBoundingClientRect().top - b.getBoundingClientRect().top);
    lines.push('TABLE (rows as laid out)');
    for (const row of rows)
      lines.push('  ' + [...row.cells].map(c => `${c.innerText.trim()} {${css(c)} painted=${painted(c)}}`).join(' | '));
    // Where a cell spans rows, the column each shown cell stands in, told by its left edge.
    if ([...table.querySelectorAll('td,th')].some(c => c.rowSpan > 1)) {
      const shown = rows.filter(r => getComputedStyle(r).display !== 'none');
      const cells = shown.flatMap(r => [...r.cells].filter(c => getComputedStyle(c).display !== 'none'));
      const edges = [...new Set(cells.map(c => Math.round(c.getBoundingClientRect().left)))].sort((a, b) => a - b);
      lines.push('GRID (shown rows, each cell at its column)');
      for (const row of shown)
        lines.push('  ' + [...row.cells].filter(c => getComputedStyle(c).display !== 'none')
          .map(c => `${c.innerText.trim()}@${edges.indexOf(Math.round(c.getBoundingClientRect().left))}`).join(' | '));
    }
  }
  if (document.body.dataset.sheet) {
    // Each table that stands in no other is replaced by a marker line, so that the text around it
    // reads as the browser lays it out, and its rows are put at the marker.
    const tops = [...document.querySelectorAll('table')].filter(t => !t.parentElement.closest('table'));
    const rowsOf = tops.map(table => {
      const taken = [];  // taken[y][x]: a span from a row above reaches here
      const rows = [...table.rows].sort((a, b) => a.getBoundingClientRect().top - b.getBoundingClientRect().top);
      return rows.filter(r => getComputedStyle(r).display !== 'none').map((row, y) => {
        taken[y] = taken[y] || [];
        let x = 0;
        const cells = [];
        for (const cell of row.cells) {
          if (getComputedStyle(cell).display === 'none') continue;
          while (taken[y][x]) ++x;
          const text = cell.innerText.trim().replace(/\n/g, '\\n');
          if (text) cells.push(`${x}=${text}`);
          for (let dy = 0; dy < Math.max(1, cell.rowSpan); ++dy)
            for (let dx = 0; dx < Math.max(1, cell.colSpan); ++dx) (taken[y + dy] = taken[y + dy] || [])[x + dx] = true;
          x += Math.max(1, cell.colSpan);
        }
        return '  R ' + cells.join(' | ');
      });
    });
    tops.forEach((table, n) => {
      const marker = document.createElement('div');
      marker.textContent = `@@TABLE${n}@@`;
      table.replaceWith(marker);
    });
    lines.push('SHEET');
    for (const line of document.body.innerText.split('\n')) {
      const found = line.match(/^@@TABLE(\d+)@@$/);
      if (found) lines.push(...rowsOf[Number(found[1])]);
      else if (line.trim()) lines.push('  P ' + line);
    }
  }
  lines.push('BLOCKS');
  for (const el of document.querySelectorAll('p,h1,h2,h3,li,dt'))
    if (el.innerText.trim()) lines.push(`  ${el.tagName} ${el.innerText.trim()} {${css(el)}}`);
  const pre = document.createElement('pre');
  pre.id = 'browser-reading';
  pre.textContent = lines.join('\n');
  document.body.replaceChildren(pre);
});
SCRIPT
[ $# -gt 0 ] || set -- "$data"/pandoc-manual.html "$data"/writer-report.html "$data"/wiki-places.html \
                       "$data"/generator-sales.html "$data"/sources/probes/*.html "$data"/sources/pages/*.html
for page in "$@"; do
  name=$(basename "$page" .html)
  case "$page" in */probes/*) name="probe-$name" ;; esac
  cp "$data/logo.png" "$work/"
  # The probe goes at the end of the page in the page's own character set; the SHEET reading is
  # asked for by the body's data-sheet attribute, which the probe sets before the page loads.
  case "$page" in
    */pages/*) printf 'document.addEventListener("DOMContentLoaded", () => document.body.dataset.sheet = 1);\n' \
                 > "$work/sheet.js" ;;
    *) : > "$work/sheet.js" ;;
  esac
  python3 - "$page" "$work/$name.html" "$work/sheet.js" "$work/probe.js" <<'ADD'
import codecs, sys
page = open(sys.argv[1], 'rb').read()
script = ('<script>' + open(sys.argv[3]).read() + open(sys.argv[4]).read() + '</script>\n')
bom = page.startswith(codecs.BOM_UTF16_LE) and 'utf-16-le' or page.startswith(codecs.BOM_UTF16_BE) and 'utf-16-be'
open(sys.argv[2], 'wb').write(page + (script.encode(bom) if bom else script.encode('ascii')))
ADD
  chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run --disable-background-networking \
    --disable-component-update --disable-sync --user-data-dir="$work/profile" --dump-dom "file://$work/$name.html" \
    2>/dev/null | python3 -c '
import html, re, sys
found = re.search(r"<pre id=\"browser-reading\">(.*?)</pre>", sys.stdin.read(), re.S)
sys.stdout.write(html.unescape(found.group(1)) + "\n" if found else "")' > "$data/browser/$name.txt"
done
