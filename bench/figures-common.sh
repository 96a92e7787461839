# What the whole-process figure scripts share; sourced by them once $runs is set. Leaves
# $scratch (a folder removed at exit) and $have_ssconvert, and exits quietly without /usr/bin/time.
[ -x /usr/bin/time ] || { echo "/usr/bin/time is not installed: no whole-process figures" >&2; exit 0; }
have_ssconvert=0
command -v ssconvert >/dev/null 2>&1 && have_ssconvert=1
[ "$have_ssconvert" = 1 ] || echo "ssconvert is not installed: this program's figures alone" >&2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# The middle of the sorted figures.
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# Runs a command under /usr/bin/time, adding its seconds and KiB to the files named by $1.
timed() {
  tag=$1
  shift
  /usr/bin/time -f "%e %M" -o "$scratch/run" "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; return 1; }
  read -r seconds kib <"$scratch/run"
  echo "$seconds" >>"$scratch/$tag.seconds"
  echo "$kib" >>"$scratch/$tag.kib"
}

# compare LABEL OURS THEIRS: runs the two commands (split at spaces; their outputs are
# $scratch/out.Numlet and $scratch/out.gnumeric) in turn $runs times, the second only with
# ssconvert, and prints the medians and how many times as fast this program is.
compare() {
  for tag in ours gnumeric; do
    : >"$scratch/$tag.seconds"
    : >"$scratch/$tag.kib"
  done
  i=0
  while [ "$i" -lt "$runs" ]; do
    rm -rf "$scratch/out.Numlet" "$scratch/out.gnumeric"
    # shellcheck disable=SC2086
    timed ours $2 || exit 1
    if [ "$have_ssconvert" = 1 ]; then
      # shellcheck disable=SC2086
      timed gnumeric $3 || exit 1
    fi
    i=$((i + 1))
  done
  ours=$(median <"$scratch/ours.seconds")
  line="$1: $ours s, peak $(($(median <"$scratch/ours.kib") / 1024)) MiB"
  if [ "$have_ssconvert" = 1 ]; then
    theirs=$(median <"$scratch/gnumeric.seconds")
    line="$line; ssconvert $theirs s, peak $(($(median <"$scratch/gnumeric.kib") / 1024)) MiB;"
    line="$line $(awk -v a="$ours" -v b="$theirs" 'BEGIN { printf "%.2f", (a > 0 ? b / a : 0) }')x as fast"
  fi
  echo "$line (whole processes, median of $runs)"
}
