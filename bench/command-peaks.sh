#!/usr/bin/env bash
# Opens and pastes each shape of input that once passed its bounds, each command in a fresh
# process (benchCommandPeaks, from a Release build without sanitizers), and prints a table of the
# process's peak against the budget + the input + 300 MiB, with the outcome; then runs every
# command again under `ulimit -v 4000000` and `ulimit -v 600000` and notes any that ended the
# process instead of reading or refusing. The inputs are made in a temporary folder and removed.
#   bench/command-peaks.sh build/rel/bench/benchCommandPeaks [SHAPE...]
set -uo pipefail
tool=${1:?the path of benchCommandPeaks}
shift
wait=${PEAK_TIMEOUT:-600}  # seconds a command may take before it counts as hung
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch"/{home,config,data,state,cache,runtime}
chmod 700 "$scratch/runtime"
export HOME="$scratch/home" XDG_CONFIG_HOME="$scratch/config" XDG_DATA_HOME="$scratch/data"
export XDG_STATE_HOME="$scratch/state" XDG_CACHE_HOME="$scratch/cache" XDG_RUNTIME_DIR="$scratch/runtime"
export QT_QPA_PLATFORM=offscreen LANG=C.UTF-8 LC_ALL=C.UTF-8 TZ=UTC

# name, file, paste type, times pasted, what the issue filed
shapes=(
  "pre-tabs|pre.html|html|2|<pre> of 100,000 lines x 100 tab-separated numbers, pasted twice"
  "tab-text|tabs.txt|text|2|the same as tab-separated plain text, pasted twice"
  "empty-rows|empty-rows.html|html|1|45,000 empty <tr> + one row of 120 cells"
  "class-names|classes.html|html|1|32,000 rules .nameN{color:red}, 50 <p> listing every name"
  "rtf-table|table.rtf|rtf|1|RTF table of 101 columns x 40,000 rows"
  "rtf-styles|styles.rtf|rtf|1|RTF of 4,000 styles, each used by one paragraph"
  "csv-cells|cells.csv|text|1|CSV of 24 million cells \"x\""
  "csv-row|row.csv|text|1|CSV of one row of 12 million fields"
  "plain-table|numbers.html|html|1|<table> of 10^6 numbers (100,000 rows x 10)"
  "chat-log|chat.html|html|1|alternating unclosed <font> colours x 120,000 lines"
  "open-fonts|fonts.html|html|1|65,536 lines of <font> left open"
  "rtf-paragraph|paragraph.rtf|rtf|1|RTF paragraph of 2.1 million letters"
  "long-cell|cell.html|html|1|one <td> of 10^8 letters"
  "utf16|utf16.html|html|1|<pre> of 10,000 lines x 100 numbers in UTF-16 with a byte-order mark"
  "textareas|textareas.html|html|1|3,000 x <textarea>line\\tx</textarea>"
  "far-picture|picture.html|html|1|<pre> of 12,356,629 tabs, then words <img src=pic.png>"
  "long-lines|long.txt|text|1|125,000 lines of 2,000 letters, each overflowing its cell"
)

make_input() {
  python3 - "$1" "$2" <<'EOF'
import sys
name, path = sys.argv[1], sys.argv[2]
def write(data):
    with open(path, 'wb') as f:
        f.write(data if isinstance(data, bytes) else data.encode())
def numbers(rows, cols):
    return '\n'.join('\t'.join(str((r * 7 + c) % 100) for c in range(cols)) for r in range(rows))
if name == 'pre-tabs':
    write('<pre>' + numbers(100000, 100) + '</pre>')
elif name == 'tab-text':
    write(numbers(100000, 100) + '\n')
elif name == 'empty-rows':
    write('<table>' + '<tr></tr>\n' * 45000 + '<tr>' + ''.join('<td>%d</td>' % k for k in range(120)) + '</tr></table>')
elif name == 'class-names':
    names = ['name%d' % k for k in range(32000)]
    write('<style>' + ''.join('.%s{color:red}\n' % n for n in names) + '</style>' +
          ('<p class="%s">x</p>\n' % ' '.join(names)) * 50)
elif name == 'rtf-table':
    row = '\\intbl ' + 'x\\cell ' * 101 + '\\row '
    write('{\\rtf1\\ansi \\trowd' + ''.join('\\cellx%d' % (100 * k) for k in range(1, 102)) + ' ' + row * 40000 + '}')
elif name == 'rtf-styles':
    write('{\\rtf1\\ansi {\\stylesheet' + ''.join('{\\s%d Style %d;}' % (k, k) for k in range(1, 4001)) + '}' +
          ''.join('\\pard\\s%d paragraph %d\\par ' % (k, k) for k in range(1, 4001)) + '}')
elif name == 'csv-cells':
    write(('x,' * 99 + 'x\n') * 240000)
elif name == 'csv-row':
    write('x,' * 11999999 + 'x\n')
elif name == 'plain-table':
    write('<table>' + ''.join('<tr>' + ''.join('<td>%d</td>' % (r * 10 + c) for c in range(10)) + '</tr>\n'
                              for r in range(100000)) + '</table>')
elif name == 'chat-log':
    write(''.join('<font color=red>Alice: line %d<br>\n<font color=blue>Bob: line %d<br>\n' % (k, k) for k in range(60000)))
elif name == 'open-fonts':
    write(''.join('<font>line %d<br>\n' % k for k in range(65536)))
elif name == 'rtf-paragraph':
    write('{\\rtf1\\ansi ' + 'x' * 2100000 + '\\par }')
elif name == 'long-cell':
    write('<table><tr><td>' + 'a' * 100000000 + '</td></tr></table>')
elif name == 'utf16':
    write(b'\xff\xfe' + ('<pre>' + numbers(10000, 100) + '</pre>').encode('utf-16-le'))
elif name == 'textareas':
    write('<textarea>line\tx</textarea>' * 3000)
elif name == 'long-lines':
    write(('a' * 2000 + '\n') * 125000)
elif name == 'far-picture':
    write('<pre>' + '\t' * 12356629 + 'words <img src=pic.png></pre>')
EOF
}

# Runs one command under an address-space limit (none when empty); its line, or how it ended.
run() {
  local limit=$1
  shift
  local out status
  out=$( ( [ -n "$limit" ] && ulimit -v "$limit"; exec timeout -s KILL "$wait" "$tool" "$@" ) 2>/dev/null)
  status=$?
  if [ $status -ne 0 ]; then
    if [ $status = 137 ]; then
      echo "HUNG, stopped after $wait s"
    elif [ $status -gt 128 ]; then
      echo "ENDED by signal $((status - 128))"
    else
      echo "ENDED with status $status"
    fi
  else
    echo "$out"
  fi
}

echo "| shape | input MiB | command | outcome | peak MiB | budget + input + 300 | time | ulimit -v 4000000 | ulimit -v 600000 |"
echo "|---|---|---|---|---|---|---|---|---|"
for entry in "${shapes[@]}"; do
  IFS='|' read -r name file type times filed <<<"$entry"
  if [ $# -gt 0 ] && ! printf '%s\n' "$@" | grep -qx "$name"; then continue; fi
  make_input "$name" "$scratch/$file"
  for command in open paste; do
    if [ "$command" = open ]; then args=(open "$scratch/$file"); else args=(paste "$scratch/$file" "$type" "$times"); fi
    line=$(run "" "${args[@]}")
    limited=()
    for limit in 4000000 600000; do
      l=$(run "$limit" "${args[@]}")
      case $l in
        ENDED* | HUNG*) limited+=("**$l**") ;;
        *) o=$(cut -f2 <<<"$l"); limited+=("${o:0:60}, $(cut -f3 <<<"$l") MiB") ;;
      esac
    done
    case $line in
      ENDED* | HUNG*) echo "| $name | | $command | **$line** | | | | ${limited[0]} | ${limited[1]} |" ;;
      *)
        IFS=$'\t' read -r cmd outcome peak base budget room input seconds <<<"$line"
        bound=$(awk -v b="$budget" -v i="$input" 'BEGIN { printf "%.0f", b + i + 300 }')
        mark=$(awk -v p="$peak" -v b="$bound" 'BEGIN { print (p <= b) ? "within" : "**OVER**" }')
        echo "| $name | $input | $cmd | ${outcome:0:90} | $peak (from $base) | $bound, $mark | ${seconds} s | ${limited[0]} | ${limited[1]} |"
        ;;
    esac
  done
  rm -f "$scratch/$file"
done
