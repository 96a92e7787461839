# shellcheck shell=sh
# What the whole-process figure scripts share; sourced by them once $runs is set. Leaves
# $scratch (a folder removed at exit), $have_ssconvert and $have_soffice (LibreOffice, looked for
# only by scripts that call use_soffice), and exits quietly without /usr/bin/time.
[ -x /usr/bin/time ] || { echo "/usr/bin/time is not installed: no whole-process figures" >&2; exit 0; }
have_ssconvert=0
command -v ssconvert >/dev/null 2>&1 && have_ssconvert=1
[ "$have_ssconvert" = 1 ] || echo "ssconvert is not installed: this program's figures alone" >&2
have_soffice=0
peer_runs=${PEER_RUNS:-$runs}
[ "$peer_runs" -ge 1 ] 2>/dev/null && [ "$peer_runs" -le "$runs" ] || peer_runs=$runs
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# LibreOffice, when installed, with a profile of its own in $scratch (so that it neither meets a
# running instance nor the user's settings), made by one untimed conversion: $soffice is the
# command to which the conversion's arguments are added.
use_soffice() {
  command -v soffice >/dev/null 2>&1 || { echo "soffice is not installed: no LibreOffice figures" >&2; return 0; }
  soffice="soffice -env:UserInstallation=file://$scratch/lo-profile --headless --norestore"
  echo "x" >"$scratch/warm.csv"
  # shellcheck disable=SC2086
  $soffice --convert-to ods --outdir "$scratch/warm" "$scratch/warm.csv" >/dev/null 2>&1
  if [ -f "$scratch/warm/warm.ods" ]; then
    have_soffice=1
  else
    echo "soffice does not convert: no LibreOffice figures" >&2
  fi
}

# The middle of the sorted figures.
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# Runs a command under /usr/bin/time, adding its seconds and KiB to the files named by $1. The
# other programs are stopped after $PEER_TIMEOUT seconds when that is set: their figures are then
# lower bounds, noted in $scratch/TAG.stopped.
timed() {
  tag=$1
  shift
  if [ "$tag" != ours ] && [ -n "${PEER_TIMEOUT-}" ]; then
    set -- timeout "$PEER_TIMEOUT" "$@"
  fi
  status=0
  /usr/bin/time -f "%e %M" -o "$scratch/run" "$@" >/dev/null 2>&1 || status=$?
  if [ "$status" = 124 ] && [ "$1" = timeout ]; then
    : >"$scratch/$tag.stopped"
  elif [ "$status" != 0 ]; then
    echo "failed: $*" >&2
    return 1
  fi
  # A failing command's status comes on a line of its own before the figures.
  last=$(tail -n 1 "$scratch/run")
  echo "${last% *}" >>"$scratch/$tag.seconds"
  echo "${last#* }" >>"$scratch/$tag.kib"
}

# The figures of one program in compare's line, "at least" where it was stopped.
figures() {
  if [ -f "$scratch/$1.stopped" ]; then
    echo "stopped after $(median <"$scratch/$1.seconds") s, peak at least $(($(median <"$scratch/$1.kib") / 1024)) MiB"
  else
    echo "$(median <"$scratch/$1.seconds") s, peak $(($(median <"$scratch/$1.kib") / 1024)) MiB"
  fi
}

# compare LABEL OURS THEIRS [LIBREOFFICE]: runs the commands (split at spaces; their outputs are
# $scratch/out.Numlet, $scratch/out.gnumeric and the folder $scratch/lo) in turn $runs times,
# the second only with ssconvert, the third only when given and with soffice (the other programs
# only in the first $PEER_RUNS runs when that is fewer, and no more once one was stopped), and
# prints the medians and how many times as fast this program is.
compare() {
  for tag in ours gnumeric libreoffice; do
    : >"$scratch/$tag.seconds"
    : >"$scratch/$tag.kib"
    rm -f "$scratch/$tag.stopped"
  done
  i=0
  while [ "$i" -lt "$runs" ]; do
    # Each output goes just before its program runs again: the last ones stay for checking.
    rm -rf "$scratch/out.Numlet"
    # shellcheck disable=SC2086
    timed ours $2 || exit 1
    if [ "$have_ssconvert" = 1 ] && [ "$i" -lt "$peer_runs" ] && [ ! -f "$scratch/gnumeric.stopped" ]; then
      rm -rf "$scratch/out.gnumeric"
      # shellcheck disable=SC2086
      timed gnumeric $3 || exit 1
    fi
    if [ "$have_soffice" = 1 ] && [ -n "${4-}" ] && [ "$i" -lt "$peer_runs" ] && [ ! -f "$scratch/libreoffice.stopped" ]; then
      rm -rf "$scratch/lo"
      # shellcheck disable=SC2086
      timed libreoffice $4 || exit 1
    fi
    i=$((i + 1))
  done
  ours=$(median <"$scratch/ours.seconds")
  line="$1: $(figures ours)"
  if [ "$have_ssconvert" = 1 ]; then
    theirs=$(median <"$scratch/gnumeric.seconds")
    line="$line; ssconvert $(figures gnumeric);"
    line="$line $(awk -v a="$ours" -v b="$theirs" 'BEGIN { printf "%.2f", (a > 0 ? b / a : 0) }')x as fast"
  fi
  if [ "$have_soffice" = 1 ] && [ -n "${4-}" ]; then
    theirs=$(median <"$scratch/libreoffice.seconds")
    line="$line; LibreOffice $(figures libreoffice);"
    line="$line $(awk -v a="$ours" -v b="$theirs" 'BEGIN { printf "%.2f", (a > 0 ? b / a : 0) }')x as fast"
  fi
  if [ "$peer_runs" -lt "$runs" ]; then
    echo "$line (whole processes, medians of $runs runs, the other programs' of $peer_runs)"
  else
    echo "$line (whole processes, median of $runs)"
  fi
}
