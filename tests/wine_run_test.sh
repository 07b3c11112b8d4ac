#!/usr/bin/env bash
# windows/wine-run against a stand-in for Wine's loader (WINELOADER), which
# starts the way a table row says: a failed start as Wine reports it, or a
# program that runs. Checks that only the failed starts are made again and
# that the program's streams, input and exit status are its own.
#
#   wine_run_test.sh <windows/wine-run>
set -uo pipefail

wine_run=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAILED: $*"
  failures=$((failures + 1))
}

# The stand-in: start number n does the nth word of $FAKE_STARTS.
cat >"$work/loader" <<'LOADER'
#!/usr/bin/env bash
echo start >>"$FAKE_DIR/starts"
n=$(wc -l <"$FAKE_DIR/starts")
read -ra plan <<<"$FAKE_STARTS"
case ${plan[n - 1]} in
  kernel32) echo 'wine: could not load kernel32.dll, status c0000135' >&2; exit 53 ;;
  server)
    printf '%s\n' 'wine: a wine server seems to be running, but I cannot connect to it.' \
      '   You probably need to kill that process (it might be pid 4242).' >&2
    exit 1 ;;
  client) echo 'wine client error:0: pipe: Too many open files' >&2; exit 1 ;;
  assert)
    echo "wine64: dlls/ntdll/unix/virtual.c:2715: virtual_init: Assertion \`alloc_views.base != MAP_FAILED' failed." >&2
    kill -s ABRT $$ ;;
  # A program that ran: it reads all its input and fails.
  ran) printf 'read:'; cat; printf 'wi\0de\n' >&2; exit 3 ;;
  silent) exit 1 ;;
  crash)
    echo 'wine: Unhandled page fault on read access to 0000000000000000 at address 0000000140001000 (thread 0024), starting debugger...' >&2
    exit 5 ;;
  killed) kill -s TERM $$ ;;
  # Standard error must reach the caller while the program still runs.
  stream)
    printf 'wine: 10%%' >&2
    for _ in $(seq 50); do [ -e "$FAKE_DIR/go" ] && exit 0; sleep 0.1; done
    exit 9 ;;
esac
LOADER
chmod +x "$work/loader"

input=$'line one\nline two\n'
kernel32='wine: could not load kernel32.dll, status c0000135'
# starts | how many start | exit status | stdout | stderr (printf %b) | log
# entries. A program that ran, silent, crashed or killed, never starts again.
rows=(
  "kernel32 ran|2|3|read:line one\nline two\n|wi\0de\n|1"
  "server client assert ran|4|3|read:line one\nline two\n|wi\0de\n|3"
  "kernel32 kernel32 kernel32 kernel32 ran|4|53||$kernel32\nwine-run: Wine failed to start program.exe 4 times, see $work/prefix/wine-run.log\n|4"
  "silent kernel32|1|1|||0"
  "crash kernel32|1|5||wine: Unhandled page fault on read access to 0000000000000000 at address 0000000140001000 (thread 0024), starting debugger...\n|0"
  "killed kernel32|1|143|||0"
)
for row in "${rows[@]}"; do
  IFS='|' read -r starts count status out err entries <<<"$row"
  rm -rf "$work/prefix" "$work/starts"
  mkdir "$work/prefix"
  printf '%s' "$input" >"$work/input"
  got=0
  # The outer redirection takes the shell's notice of a run ended by a signal.
  { FAKE_DIR=$work FAKE_STARTS=$starts WINELOADER=$work/loader \
    "$wine_run" "$work/prefix" program.exe <"$work/input" >"$work/out" 2>"$work/err"; } 2>/dev/null || got=$?
  [ "$got" = "$status" ] || fail "$starts: exit status $got, not $status"
  [ "$(wc -l <"$work/starts")" = "$count" ] || fail "$starts: $(wc -l <"$work/starts") starts, not $count"
  printf %b "$out" | cmp -s - "$work/out" || fail "$starts: stdout $(od -c "$work/out")"
  printf %b "$err" | cmp -s - "$work/err" || fail "$starts: stderr $(od -c "$work/err")"
  logged=$(grep -c '^20.* wine-run: Wine failed to start program.exe (start ' "$work/prefix/wine-run.log" 2>/dev/null)
  [ "${logged:-0}" = "$entries" ] || fail "$starts: ${logged:-0} log entries, not $entries"
done

rm -rf "$work/starts" "$work/go"
FAKE_DIR=$work FAKE_STARTS=stream WINELOADER=$work/loader \
  "$wine_run" "$work/prefix" program.exe </dev/null >/dev/null 2>"$work/err" &
runner=$!
for _ in $(seq 50); do [ "$(cat "$work/err")" = "wine: 10%" ] && break; sleep 0.1; done
touch "$work/go"
wait "$runner" || fail "stream: standard error came only at the end: $(od -c "$work/err")"

[ "$failures" -eq 0 ] || exit 1
echo "all passed"
