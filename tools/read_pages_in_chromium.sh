#!/bin/sh
# A browser's reading of the ordinary pages of tests/data/html (and of the small pages in
# sources/probes), saved as data in tests/data/html/browser/<name>.txt: the text a browser shows,
# each table's rows in the order they are laid out with each cell's alignment, colour, weight and
# the background painted behind it (and, where a cell spans rows, the column each shown cell
# stands in), and each paragraph's looks. The tests' expected cells are
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
  lines.push('BLOCKS');
  for (const el of document.querySelectorAll('p,h1,h2,h3,li,dt'))
    if (el.innerText.trim()) lines.push(`  ${el.tagName} ${el.innerText.trim()} {${css(el)}}`);
  const pre = document.createElement('pre');
  pre.id = 'browser-reading';
  pre.textContent = lines.join('\n');
  document.body.replaceChildren(pre);
});
SCRIPT
for page in "$data"/pandoc-manual.html "$data"/writer-report.html "$data"/wiki-places.html \
            "$data"/generator-sales.html "$data"/sources/probes/*.html; do
  name=$(basename "$page" .html)
  case "$page" in */probes/*) name="probe-$name" ;; esac
  cp "$page" "$work/$name.html"
  cp "$data/logo.png" "$work/"
  { printf '<script>'; cat "$work/probe.js"; printf '</script>\n'; } >> "$work/$name.html"
  chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run --disable-background-networking \
    --disable-component-update --disable-sync --user-data-dir="$work/profile" --dump-dom "file://$work/$name.html" \
    2>/dev/null | python3 -c '
import html, re, sys
found = re.search(r"<pre id=\"browser-reading\">(.*?)</pre>", sys.stdin.read(), re.S)
sys.stdout.write(html.unescape(found.group(1)) + "\n" if found else "")' > "$data/browser/$name.txt"
done
