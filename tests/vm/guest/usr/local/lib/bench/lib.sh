# SPDX-License-Identifier: GPL-3.0-or-later
# What a scenario can do in the guest. A scenario starts with
#   . /usr/local/lib/bench/lib.sh
# runs its checks (each says "ok: ..." or "FAIL: ..." and goes on), and ends with bench_end.
# BENCH_BOOT is 1 on the first boot of the scenario's disk, 2 after the first reset, ...
# The bench disk is /bench (the test package is /bench/tarvento.deb).
. /usr/local/lib/bench/card.sh
BENCH_BOOT=${BENCH_BOOT:-1}
RESOURCE0=$(card_resource0) || { echo "FAIL: no emulated card"; exit 1; }
CORE=0x680500
MEMORY=0x680504
STRAP=0x101000
SELECT=0x68050C
# The PLL select word the seed wrote (bench.pllselect=VALUE on the kernel command line, or
# the word a driver leaves): the program never writes it, so it stays until a scenario
# changes it itself (and then sets BENCH_SELECT to its word).
BENCH_SELECT=0x10000700
for word in $(cat /proc/cmdline); do
  case "$word" in bench.pllselect=*) BENCH_SELECT=$(printf '0x%08X' "${word#bench.pllselect=}") ;; esac
done
bench_failures=0

pass() { echo "ok: $*"; }
fail() { echo "FAIL: $*"; bench_failures=$((bench_failures + 1)); }
bench_end() {
  if [ "$bench_failures" -eq 0 ]; then echo "bench: boot $BENCH_BOOT: every check passed"; exit 0; fi
  echo "bench: boot $BENCH_BOOT: $bench_failures checks failed"
  exit 1
}

expect_word() {  # expect_word OFFSET VALUE WHAT: the card's word, read by root
  local got
  got=$(card_word "$1")
  if [ "$got" = "$2" ]; then pass "$3: word $1 is $got"; else fail "$3: word $1 is $got, expected $2"; fi
}
expect_clocks_words() {  # expect_clocks_words CORE_WORD MEMORY_WORD WHAT
  expect_word "$CORE" "$1" "$3"
  expect_word "$MEMORY" "$2" "$3"
  expect_word "$STRAP" 0x00000040 "$3"
  expect_word "$SELECT" "$BENCH_SELECT" "$3 (the PLL select word is never written)"
}
expect_access() {  # expect_access OWNER:GROUP MODE WHAT: the card's resource0
  local got
  got=$(stat -c '%U:%G %a' "$RESOURCE0")
  if [ "$got" = "$1 $2" ]; then pass "$3: resource0 is $got"; else fail "$3: resource0 is $got, expected $1 $2"; fi
}

# run USER [--window] ARGS...: the installed program as USER (as a login would set the
# groups), without a display or, with --window, on Qt's offscreen platform. Standard output
# and error land in $OUT and $ERR; the status in $STATUS. RUN_LIMIT (90) seconds at most: a
# window that waits for the user is stopped then, with status 124.
OUT=/tmp/bench.out
ERR=/tmp/bench.err
run() {
  local user=$1 window=""
  shift
  if [ "${1:-}" = --window ]; then window=QT_QPA_PLATFORM=offscreen; shift; fi
  local runtime=/tmp/runtime-$user
  install -d -m 0700 -o "$user" -g "$user" "$runtime"
  STATUS=0
  timeout "${RUN_LIMIT:-90}" runuser -u "$user" -- env -i PATH=/usr/bin:/bin HOME="/home/$user" LANG=C.UTF-8 \
    XDG_RUNTIME_DIR="$runtime" $window tarvento "$@" >"$OUT" 2>"$ERR" || STATUS=$?
  echo "  $user: tarvento $* ${window:+(offscreen window) }-> status $STATUS"
  sed 's/^/    out: /' "$OUT"
  sed 's/^/    err: /' "$ERR"
}
expect_status() {  # expect_status STATUS WHAT
  if [ "$STATUS" = "$1" ]; then pass "$2: status $STATUS"; else fail "$2: status $STATUS, expected $1"; fi
}
expect_out() {  # expect_out TEXT WHAT: standard output has the line TEXT
  if grep -qxF -- "$1" "$OUT"; then pass "$2: says \"$1\""; else fail "$2: does not say \"$1\""; fi
}
expect_out_has() {  # expect_out_has TEXT WHAT: standard output has TEXT in a line
  if grep -qF -- "$1" "$OUT"; then pass "$2: says \"$1\""; else fail "$2: does not say \"$1\""; fi
}
expect_err() {  # expect_err TEXT WHAT: standard error has TEXT
  if grep -qF -- "$1" "$ERR"; then pass "$2: says \"$1\""; else fail "$2: does not say \"$1\""; fi
}

# Sleep: the words the card is to hold when the guest wakes, as a firmware that resets the
# card would leave them. WHEN is "pre" (written as the guest goes to sleep) or "post"
# (written as it wakes, before anything else resumes).
bench_sleep_word() {  # bench_sleep_word pre|post OFFSET VALUE
  bench_sleep_hook
  echo "$2 $3" >>"/run/bench/sleep-words-$1"
}
bench_sleep_hook() {
  mkdir -p /run/bench /usr/lib/systemd/system-sleep
  [ -e /usr/lib/systemd/system-sleep/00-bench ] ||
    install -m 0755 /usr/local/lib/bench/sleep-hook /usr/lib/systemd/system-sleep/00-bench
}

# bench_request suspend: suspends to RAM and returns once the host has woken the guest
#   (fails the check if the host did not see the guest in S3, or no wake within 5 minutes).
# bench_request reset-in SECONDS: the host resets the machine that many seconds from now;
#   the scenario may go on meanwhile, and the runner waits for the reset once it ended.
bench_request() {
  case "$1" in
    suspend)
      bench_sleep_hook
      local before waited=0
      before=$(cat /sys/power/suspend_stats/success)
      rm -f /run/bench/resumed
      echo "bench: suspending to RAM ($(cat /sys/power/mem_sleep))"
      systemctl suspend || { fail "systemctl suspend"; return 1; }
      while [ ! -e /run/bench/resumed ] && [ $waited -lt 300 ]; do sleep 1; waited=$((waited + 1)); done
      if [ ! -e /run/bench/resumed ]; then fail "the guest did not wake within 300 s"; return 1; fi
      # The host wakes the guest only from a suspend it saw; "deep" is suspend to RAM.
      if [ "$(cat /sys/power/suspend_stats/success)" -gt "$before" ] &&
         grep -q '\[deep\]' /sys/power/mem_sleep; then
        pass "the guest suspended to RAM and the host woke it"
      else
        fail "no suspend to RAM: $(cat /sys/power/mem_sleep), $(cat /sys/power/suspend_stats/success) suspends"
      fi
      ;;
    reset-in)
      mkdir -p /run/bench
      touch /run/bench/awaiting-reset
      echo "reset-in $2" >/dev/ttyS1
      echo "bench: asked the host for a reset in $2 s"
      ;;
    *) fail "bench_request: unknown request $1"; return 1 ;;
  esac
}

# as_root ARGS...: the installed program as root, without a display ($OUT, $ERR, $STATUS).
as_root() {
  STATUS=0
  env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 tarvento "$@" >"$OUT" 2>"$ERR" || STATUS=$?
  echo "  root: tarvento $* -> status $STATUS"
  sed 's/^/    out: /' "$OUT"
  sed 's/^/    err: /' "$ERR"
}
# The journal of a unit during this boot.
expect_journal() {  # expect_journal UNIT TEXT WHAT
  if journalctl -b -u "$1" --no-pager -o cat | grep -qF -- "$2"; then pass "$3: says \"$2\""
  else fail "$3: does not say \"$2\": $(journalctl -b -u "$1" --no-pager -o cat | tail -n 5)"; fi
}
expect_no_journal() {  # expect_no_journal UNIT TEXT WHAT
  if journalctl -b -u "$1" --no-pager -o cat | grep -qF -- "$2"; then fail "$3: says \"$2\""
  else pass "$3: does not say \"$2\""; fi
}
# The user the unit's program ran as, from the journal's own record of its messages.
expect_unit_user() {  # expect_unit_user UNIT USER
  local uid want
  uid=$(journalctl -b "_SYSTEMD_UNIT=$1" _COMM=tarvento --no-pager -o verbose 2>/dev/null | sed -n 's/^ *_UID=//p' | sort -u | tr '\n' ' ')
  want="$(id -u "$2") "
  if [ "$uid" = "$want" ]; then pass "$1 ran as $2 (uid $uid)"; else fail "$1 ran as uid '$uid', expected $2 ($want)"; fi
}
# The state of an apply record: pending or survived.
expect_record() {  # expect_record FILE STATE WHAT
  local got
  got=$(sed -n 's/^state=//p' "$1" 2>/dev/null)
  if [ "$got" = "$2" ]; then pass "$3: recorded $got"; else fail "$3: recorded '${got:-nothing}', expected $2"; fi
}
wait_record() {  # wait_record FILE STATE SECONDS
  local waited=0
  while [ "$(sed -n 's/^state=//p' "$1" 2>/dev/null)" != "$2" ] && [ "$waited" -lt "$3" ]; do
    sleep 5; waited=$((waited + 5))
  done
  expect_record "$1" "$2" "after $waited s"
}
# After a wake, the sleep service writes its words when it is stopped: wait for that.
wait_sleep_service() {
  local waited=0
  while systemctl is-active -q tarvento-sleep.service && [ "$waited" -lt 60 ]; do
    sleep 1; waited=$((waited + 1))
  done
  if systemctl is-active -q tarvento-sleep.service; then fail "the sleep service did not stop after the wake"; fi
}
# Waits until the card holds the words (a service applies them in its own time).
wait_words() {  # wait_words CORE_WORD MEMORY_WORD SECONDS
  local waited=0
  while { [ "$(card_word "$CORE")" != "$1" ] || [ "$(card_word "$MEMORY")" != "$2" ]; } &&
        [ "$waited" -lt "$3" ]; do
    sleep 1; waited=$((waited + 1))
  done
}
