#!/usr/bin/env bash
# Kills the backup, the restore and the repair helper with SIGKILL at a
# random moment, round after round, and checks what is left each time:
#   - the data file is there (never only its copies) and passes
#     PRAGMA integrity_check;
#   - no committed row is lost (the writer's rows run 1..n without a gap,
#     and n is at least what the writer had committed);
#   - an archive left behind is a whole archive (unzip -t);
#   - after the next start of VXWBack no work copy is left
#     (".vxwcopy-*", "<archive>.XXXXXX", ".vxwrestore-*", "*.tpsfix-new" and its journal,
#     "*.tpsfix-pages");
#   - a report's work file build and an export, killed, leave nothing after
#     the next start of KR98 or VXWBack ("<clock>.TPS" and its journal,
#     "<target>.XXXXXX" beside the export's target, ".krtemp-*"), no work
#     file goes into the backup made next, and the export's target is
#     either the one before or a whole new one;
#   - a backup to an archive in another folder (the backup medium), killed,
#     leaves nothing there once the next backup to it has run, and that
#     backup's archive is whole;
#   - in both archive places every other round is a first backup (no archive
#     before it): a kill leaves no empty file at the archive's name, and the
#     next backup makes a whole archive.
# scripts/test (and so CI) runs 3 rounds of every section, as the CTest test
# killloop_short; by hand, after a build, 40 or more:
#   tests/killloop/kill9-loop.sh [build/bin] [rounds]
# Needs sqlcipher, unzip and python3 (for the random delays).
set -uo pipefail
here="$(cd "$(dirname "$0")/../.." && pwd)"
bin="$(cd "${1:-$here/build/bin}" && pwd)"
rounds="${2:-100}"
# The rounds of the work file and export sections (KR_KILL_EXCHANGE_ROUNDS).
exrounds="${KR_KILL_EXCHANGE_ROUNDS:-$rounds}"
key="$(sed -n 's/.*kOwnerPassword = "\(.*\)";.*/\1/p' "$here/dictionary/SchedulingTables.h")"
work="$(mktemp -d /tmp/kr-kill9-XXXXXX)"
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$work"' EXIT
export HOME="$work/home" XDG_DATA_HOME="$work/xdg" XDG_CONFIG_HOME="$work/config" QT_QPA_PLATFORM=offscreen
unset DISPLAY
mkdir -p "$HOME"
data="$work/data"
media="$work/media"
mkdir -p "$data" "$media"
cd "$data" || exit 2

sql() { sqlcipher "$1" "PRAGMA key='$key';" ".timeout 20000" "$2" 2>&1 | grep -v '^ok$'; }
# rows of t and the highest id: "count|max"
rows() { sqlcipher "$1" "PRAGMA key='$key';" ".timeout 20000" "SELECT count(*) || '|' || coalesce(max(id),0) FROM t;" 2>/dev/null | tail -1; }
integrity() { sqlcipher "$1" "PRAGMA key='$key';" ".timeout 20000" "PRAGMA integrity_check;" 2>&1 | tail -1; }
delay() { python3 -c "import random; print(random.uniform(0, $1))"; }
# Runs a command and kills it with SIGKILL at a random moment within $1 seconds.
kill_at_random() {
    local most="$1"; shift
    "$@" >/dev/null 2>&1 &
    local victim=$!
    sleep "$(delay "$most")"
    kill -9 "$victim" 2>/dev/null; wait "$victim" 2>/dev/null
}

printf 'button 1\n' > "$work/ok.txt"

# The data file, made by KR98 itself, with a table t the writer commits to.
printf 'folder %s\n' "$data" > "$work/answers.txt"
KR_TEST_RESPONSES="$work/answers.txt" KR_TEST_EXIT_AFTER_STARTUP=1 "$bin/KR98" >/dev/null 2>&1
[ -f KR97.TPS ] || { echo "KR98 made no data file"; exit 2; }
sql KR97.TPS "PRAGMA journal_mode = DELETE; CREATE TABLE IF NOT EXISTS t(id INTEGER PRIMARY KEY, v TEXT);
              WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 20000)
              INSERT INTO t(v) SELECT hex(randomblob(200)) FROM n;" >/dev/null

lost=0; bad=0; missing=0; stray=0; halfzip=0
# After a killed backup: the archive is whole, or not there at all (never an
# empty or half file at its name); then the next backup must make a whole one.
after_killed_backup() {  # $1: what was killed; $2: the archive
    local what="$1" z="$2"
    if [ -f "$z" ] && [ ! -s "$z" ]; then halfzip=$((halfzip + 1)); echo "[$what] an empty file at the archive's name"; fi
    KR_TEST_RESPONSES="$work/ok.txt" "$bin/VXWBack" BACKUP="${z%.ZIP}" >/dev/null 2>&1 ||
        { halfzip=$((halfzip + 1)); echo "[$what] the next backup failed"; }
    unzip -tqq "$z" >/dev/null 2>&1 || { halfzip=$((halfzip + 1)); echo "[$what] the next backup's archive is not whole"; }
}
strays() { ls -a | grep -E '^\.vxwcopy-|^\.vxwrestore-|\.[Zz][Ii][Pp]\.[A-Za-z0-9]{6}$|\.tpsfix-(new|new-journal|pages)$|\.vxw[A-Za-z0-9]{6}$' ; }
check() {  # $1: what was killed; $2: rows committed before
    local what="$1" before="$2"
    if [ ! -f KR97.TPS ]; then missing=$((missing + 1)); echo "[$what] no data file: $(ls)"; return; fi
    local ic; ic="$(integrity KR97.TPS)"
    [ "$ic" = ok ] || { bad=$((bad + 1)); echo "[$what] integrity: $ic"; }
    local r; r="$(rows KR97.TPS)"
    local n="${r%%|*}" m="${r##*|}"
    if [ "$n" != "$m" ] || [ "${n:-0}" -lt "$before" ]; then lost=$((lost + 1)); echo "[$what] rows $r, committed $before"; fi
    for z in *.ZIP *.zip; do
        [ -f "$z" ] || continue
        unzip -tqq "$z" >/dev/null 2>&1 || { halfzip=$((halfzip + 1)); echo "[$what] half archive $z"; rm -f "$z"; }
    done
    # The next start clears what the killed run left (its message about the
    # missing archive answered at once, not left to time out).
    KR_TEST_RESPONSES="$work/ok.txt" "$bin/VXWBack" RESTORE=no-such-archive.zip >/dev/null 2>&1
    local left; left="$(strays)"
    [ -z "$left" ] || { stray=$((stray + 1)); echo "[$what] left after the next start: $left"; }
    rm -f KR97.TPS.damaged* KR97.TPS.fix.txt KR97.TPS.old
}

# Starts a second process committing 400 rows to t, one transaction each,
# in the background; its PID goes to $writer. The shell reads its commands
# from the pipe (given on its command line it would run those and ignore
# the pipe).
start_writer() {
    ( echo "PRAGMA key='$key';"; echo ".timeout 20000"
      for ((k = 0; k < 400; k++)); do
        echo "BEGIN IMMEDIATE; INSERT INTO t(v) VALUES (hex(randomblob(300))); COMMIT;"
      done ) | sqlcipher KR97.TPS >/dev/null 2>&1 &
    writer=$!
}

# 1. Backup while another process commits; odd rounds are first backups.
for ((i = 1; i <= rounds; i++)); do
    start="$(rows KR97.TPS)"; start="${start%%|*}"
    [ $((i % 2)) -eq 1 ] && rm -f Nightly.ZIP
    start_writer
    sleep 0.05
    kill_at_random 1.5 "$bin/VXWBack" BACKUP=Nightly
    wait "$writer"
    after_killed_backup backup "$data/Nightly.ZIP"
    # Every one of the writer's 400 commits is there.
    check backup "$((start + 400))"
done
echo "backup: $rounds rounds"

# 1b. Backup to an archive on another medium while another process commits;
# the next backup to it clears what the killed one left beside the archive.
# Odd rounds are first backups.
for ((i = 1; i <= rounds; i++)); do
    start="$(rows KR97.TPS)"; start="${start%%|*}"
    [ $((i % 2)) -eq 1 ] && rm -f "$media/Nightly.ZIP"
    start_writer
    sleep 0.05
    kill_at_random 1.5 "$bin/VXWBack" BACKUP="$media/Nightly"
    wait "$writer"
    after_killed_backup "backup elsewhere" "$media/Nightly.ZIP"
    left="$(cd "$media" && strays)"
    [ -z "$left" ] || { stray=$((stray + 1)); echo "[backup elsewhere] left beside the archive after the next backup: $left"; }
    check "backup elsewhere" "$((start + 400))"
done
echo "backup elsewhere: $rounds rounds"

# 2. Restore of a good archive over the data file.
"$bin/VXWBack" BACKUP=Good >/dev/null 2>&1 || { echo "no good archive"; exit 2; }
good="$(rows KR97.TPS)"; good="${good%%|*}"
for ((i = 1; i <= rounds; i++)); do
    sql KR97.TPS "INSERT INTO t(v) VALUES ('after the backup');" >/dev/null
    kill_at_random 1.0 "$bin/VXWBack" RESTORE=Good.ZIP
    # Either the restored file or the one before it: both hold the rows of the archive.
    check restore "$good"
done
echo "restore: $rounds rounds"

# 3. The repair helper on the data file.
for ((i = 1; i <= rounds; i++)); do
    before="$(rows KR97.TPS)"; before="${before%%|*}"
    kill_at_random 2.0 "$bin/tpsfix" "KR97.TPS?$key" "?$key" /K
    check tpsfix "$before"
done
echo "tpsfix: $rounds rounds"

# 4. A report's work file build and an export of the schedule (made by
# bench_workfile, which runs them without a window); the next start is
# KR98 in odd rounds and a backup in even ones.
exchange_strays() { ls -a | grep -E '^[0-9]+\.TPS(-journal)?$|^\.krtemp-' ; }
if [ "$exrounds" -gt 0 ] && [ -x "$bin/bench_workfile" ]; then
    "$bin/bench_workfile" seed 3000 >/dev/null 2>&1 || { echo "no tasks for the work file"; exit 2; }
    out="$work/exports"; mkdir -p "$out"
    "$bin/bench_workfile" export "$out/schedule.csv" >/dev/null 2>&1 || { echo "no first export"; exit 2; }
    whole="$(wc -l < "$out/schedule.csv")"
    workleft=0; workbacked=0; exportleft=0; halfexport=0; workkilled=0; exportkilled=0
    next_start() {  # $1: round
        if [ $(($1 % 2)) -eq 1 ]; then
            KR_TEST_RESPONSES="$work/ok.txt" KR_TEST_EXIT_AFTER_STARTUP=1 "$bin/KR98" >/dev/null 2>&1
        else
            rm -f Round.ZIP
            KR_TEST_RESPONSES="$work/ok.txt" "$bin/VXWBack" BACKUP=Round >/dev/null 2>&1
            if unzip -Z1 Round.ZIP 2>/dev/null | grep -qE '^[0-9]+\.TPS'; then
                workbacked=$((workbacked + 1)); echo "[work file] in the backup: $(unzip -Z1 Round.ZIP)"
            fi
            rm -f Round.ZIP
        fi
    }
    for ((i = 1; i <= exrounds; i++)); do
        before="$(rows KR97.TPS)"; before="${before%%|*}"
        kill_at_random 3.0 "$bin/bench_workfile" build
        [ -z "$(exchange_strays)" ] || workkilled=$((workkilled + 1))
        next_start "$i"
        left="$(exchange_strays)"
        [ -z "$left" ] || { workleft=$((workleft + 1)); echo "[work file] left after the next start: $left"; }
        check "work file" "$before"
    done
    echo "work file: $exrounds rounds"
    # Enough tasks that an export takes a second or two, so kills land in it
    # (KR_KILL_EXPORT_TASKS: fewer for a short run, where seeding them would
    # take longer than the rounds).
    "$bin/bench_workfile" seed "${KR_KILL_EXPORT_TASKS:-60000}" >/dev/null 2>&1
    "$bin/bench_workfile" export "$out/schedule.csv" >/dev/null 2>&1 || { echo "no second export"; exit 2; }
    whole="$(wc -l < "$out/schedule.csv")"
    for ((i = 1; i <= exrounds; i++)); do
        before="$(rows KR97.TPS)"; before="${before%%|*}"
        kill_at_random 2.0 "$bin/bench_workfile" export "$out/schedule.csv"
        [ -z "$(cd "$out" && ls -a | grep -E '^schedule\.csv\.[A-Za-z0-9]{6}$')" ] || exportkilled=$((exportkilled + 1))
        next_start "$i"
        left="$(exchange_strays; cd "$out" && ls -a | grep -E '^schedule\.csv\.[A-Za-z0-9]{6}$')"
        [ -z "$left" ] || { exportleft=$((exportleft + 1)); echo "[export] left after the next start: $left"; }
        [ "$(wc -l < "$out/schedule.csv")" = "$whole" ] || { halfexport=$((halfexport + 1)); echo "[export] target not whole"; }
        check export "$before"
    done
    echo "export: $exrounds rounds"
    echo "killed with files on disk: work file $workkilled, export $exportkilled"
    echo "work files left: $workleft, work files backed up: $workbacked, exports left: $exportleft, half exports: $halfexport"
    stray=$((stray + workleft + exportleft)); halfzip=$((halfzip + workbacked + halfexport))
fi

echo "rows lost: $lost, failed integrity checks: $bad, no data file: $missing, half archives: $halfzip, strays after the next start: $stray"
[ $((lost + bad + missing + halfzip + stray)) -eq 0 ]
