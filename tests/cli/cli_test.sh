#!/usr/bin/env bash
# The command line on a fresh simulated PC: list, apply, revert, and refusals that change nothing.
# Usage: cli_test.sh PATH_TO_VEXLO
set -uo pipefail
vexlo="$1"
source "$(dirname "$0")/harness.sh"
run() { out="$("$vexlo" --machine "$dir/pc" "$@" 2>&1)"; rc=$?; }
contains() { [[ "$out" == *"$1"* ]]; }

run list --json
check "list --json works" [ "$rc" -eq 0 ]
check "list --json has every field" python3 -c '
import json, sys
rows = json.loads(sys.argv[1])
t = {r["id"]: r for r in rows}["pthrottle"]
assert set(t) >= {"id", "page", "group", "kind", "available", "reason", "state"}, t
assert t == {**t, "page": "System", "group": "Power & CPU", "kind": "reg", "available": True, "state": False}, t
' "$out"

run apply pthrottle
check "apply succeeds" [ "$rc" -eq 0 ]
check "apply reports" contains "Applied: Disable power throttling"
run list
check "list shows it on" contains "[on ] pthrottle"
run apply pthrottle
check "apply again is a no-op" contains "Already on: Disable power throttling"

cp "$dir/pc/registry.json" "$dir/before.json"
cp "$dir/pc/files/C/Users/Player/AppData/Local/VexloTweaks/backup.json" "$dir/backup-before.json"
run revert pthrottle no_such_tweak
check "unknown id fails" [ "$rc" -eq 2 ]
check "unknown id is named" contains "Unknown tweak id: no_such_tweak"
check "nothing changed in the registry" cmp -s "$dir/before.json" "$dir/pc/registry.json"
check "nothing changed in the backups" cmp -s "$dir/backup-before.json" "$dir/pc/files/C/Users/Player/AppData/Local/VexloTweaks/backup.json"

run revert pthrottle
check "revert succeeds" [ "$rc" -eq 0 ]
check "revert reports" contains "Restored: Disable power throttling"
run list
check "list shows it off" contains "[off] pthrottle"

run --image nosuch list
check "a new machine with an unknown image is refused" [ "$rc" -eq 2 ]

# gtimer is Windows 11 only.
out="$("$vexlo" --machine "$dir/pc10" --image desktop10 apply gtimer 2>&1)"; rc=$?
check "an unavailable tweak is refused" [ "$rc" -eq 1 ]
check "with its reason" contains "Windows 11 only."

# An ADVANCED tweak is turned on only with --yes, as the window asks before it does.
cp "$dir/pc/registry.json" "$dir/before.json"
run apply dyntick
check "advanced without --yes is refused" [ "$rc" -eq 3 ]
check "and says how to confirm" contains "Run again with --yes"
check "and changes nothing" cmp -s "$dir/before.json" "$dir/pc/registry.json"

# Every kind works from the command line: a service, a task, a power setting, a settings-file key.
for id in svc_sysmain task_appraiser cpu_min ini_blur dyntick; do
  run apply --yes "$id"
  check "apply $id" [ "$rc" -eq 0 ]
  run list --json
  check "$id is on" python3 -c 'import json,sys; t={r["id"]:r for r in json.loads(sys.argv[1])}[sys.argv[2]]; assert t["state"], t' "$out" "$id"
  run revert "$id"
  check "revert $id" [ "$rc" -eq 0 ]
done

# Settings-file tweaks wait while the game runs.
"$vexlo" --machine "$dir/pc" sim start-process FortniteClient-Win64-Shipping.exe
run apply ini_blur
check "settings-file tweak refused while the game runs" [ "$rc" -eq 1 ]
check "with the reason" contains "Close Fortnite first."
"$vexlo" --machine "$dir/pc" sim stop-process FortniteClient-Win64-Shipping.exe
run apply ini_blur
check "and applied once it is closed" [ "$rc" -eq 0 ]

# A service turned off stays off across a restart of Windows, and its revert starts it again.
svc_is() { python3 -c 'import json,sys; s=json.load(open(sys.argv[1])); assert (s["services"]["SysMain"], s["start_types"]["SysMain"]) == (sys.argv[2], int(sys.argv[3])), s["services"]["SysMain"]' "$dir/pc/services.json" "$@"; }
run apply --yes svc_sysmain
check "a service tweak applies" [ "$rc" -eq 0 ]
run sim reboot
check "sim reboot works" [ "$rc" -eq 0 ]
check "the service is off after the restart" svc_is Stopped 4
run revert svc_sysmain
check "the revert after a restart works" [ "$rc" -eq 0 ]
check "and the service runs again" svc_is Running 2

# A preview of every available tweak on a fresh PC: one line per value, and not one byte changes,
# not even the log. Applied, each of them leaves nothing more to change.
pv="$dir/preview-pc"
run0() { out="$("$vexlo" --machine "$pv" "$@" 2>&1)"; rc=$?; }
run0 list --json
ids="$(python3 -c 'import json,sys; print(" ".join(r["id"] for r in json.loads(sys.argv[1]) if r["available"] and not r["state"]))' "$out")"
check "there are tweaks to preview" [ -n "$ids" ]
cp -r "$pv" "$dir/preview-before"
run0 list
run0 show --json pthrottle
check "list and show changed nothing on the PC" diff -r "$dir/preview-before" "$pv"
run0 apply --dry-run --yes $ids
text="$out"
check "preview of everything succeeds" [ "$rc" -eq 0 ]
run0 apply --dry-run --yes --json $ids
check "as JSON too" [ "$rc" -eq 0 ]
check "one line per value, in both forms" python3 -c '
import json, sys
rows = json.loads(sys.argv[1])
lines = [l for l in sys.argv[2].splitlines() if l.startswith("  ") and ": " in l and " -> " in l]
want = ["  %s: %s -> %s" % (c["where"], c["now"], c["new"]) for r in rows for c in r["changes"]]
assert lines == want, (len(lines), len(want))
assert all(r["status"] == "change" for r in rows), [r for r in rows if r["status"] != "change"][:3]
assert sum(1 for r in rows if r["changes"]) > 60, len(rows)
' "$out" "$text"
check "the preview changed nothing on the PC" diff -r "$dir/preview-before" "$pv"
run0 apply --dry-run pthrottle no_such_tweak
check "an unknown id in a preview is refused" [ "$rc" -eq 2 ]
run0 apply --yes $ids
run0 apply --dry-run --json $ids
check "once applied, nothing is left to change" python3 -c '
import json, sys
rows = json.loads(sys.argv[1])
assert all(r["status"] == "already" and not r["changes"] for r in rows), [r["id"] for r in rows if r["status"] != "already"]
' "$out"
run0 revert --dry-run --all
check "revert --all previews the product's own changes" contains "Would restore: Disable power throttling"
run0 revert --all
check "revert --all puts back every change" [ "$rc" -eq 0 ]
check "and leaves what was set before it" contains "already set before Vexlo Tweaks changed anything"
run0 revert --dry-run --json --all
check "after it, no change of the product is left" python3 -c '
import json, sys
rows = json.loads(sys.argv[1])
assert not any(r["status"] == "change" for r in rows), [r["id"] for r in rows if r["status"] == "change"]
assert any(r["status"] == "set-before" for r in rows)
' "$out"
run0 revert pthrottle --all
check "ids and --all together are refused" [ "$rc" -eq 2 ]
run0 apply --yes pthrottle
run0 show pthrottle
check "show names the record, state and backup" contains "Disable power throttling"
check "show says it is on" contains "State:     on"
check "show plans the revert" contains "Reverting it would change:"
run0 show --json fse
check "show --json" python3 -c '
import json, sys
t = json.loads(sys.argv[1])
assert t["id"] == "fse" and "ADVANCED" in t["flags"] and t["planned"]["action"] in ("apply", "revert"), t
' "$out"

# Elevated with another administrator's password: the changes would land in that account's
# profile, so apply and revert refuse and change nothing; looking still works.
other="$dir/pc-other"
out="$("$vexlo" --machine "$other" list 2>&1)"; rc=$?
python3 -c '
import json, sys
path = sys.argv[1] + "/machine.json"
m = json.load(open(path))
m["facts"]["desktop_user"] = "Jo"
json.dump(m, open(path, "w"))
' "$other"
cp "$other/registry.json" "$dir/other-before.json"
for verb in apply revert; do
  out="$("$vexlo" --machine "$other" "$verb" pthrottle 2>"$dir/err")"; rc=$?; err="$(cat "$dir/err")"
  check "$verb as another account fails" [ "$rc" -eq 1 ]
  check "$verb names both accounts on stderr" \
    grep -q "started with the administrator account Player, but Jo is signed in to Windows" "$dir/err"
done
check "and changes nothing" cmp -s "$dir/other-before.json" "$other/registry.json"
check "not even the backup folder" [ ! -e "$other/files/C/Users/Player/AppData/Local/VexloTweaks/backup" ]
out="$("$vexlo" --machine "$other" run --no-browser 2>&1)"; rc=$?
check "the window's start ends" [ "$rc" -eq 0 ]
check "after telling the user" grep -q "message_box \[Vexlo Tweaks\] Vexlo Tweaks was started with the administrator account Player, but Jo" "$other/shell.log"
check "without serving a window" [ "${out/Open its window at/}" == "$out" ]
check "still nothing changed" cmp -s "$dir/other-before.json" "$other/registry.json"
out="$("$vexlo" --machine "$other" list 2>&1)"; rc=$?
check "list still works" [ "$rc" -eq 0 ]
err=""

# Profiles, page runs, the score and a Windows update's reset, on a PC of their own.
pc3="$dir/pc3"
run3() { out="$("$vexlo" --machine "$pc3" "$@" 2>&1)"; rc=$?; }
run3 score --json
check "score --json works" [ "$rc" -eq 0 ]
score_before="$(python3 -c 'import json,sys; print(json.loads(sys.argv[1])["score"])' "$out")"
run3 profile competitive
check "a profile without --yes asks" [ "$rc" -eq 3 ]
check "and says how many would change" contains " tweaks will change."
run3 profile competitive --dry-run
check "its dry run lists values" contains " -> "
run3 profile turbo
check "an unknown profile is refused" [ "$rc" -eq 2 ]
run3 profile competitive --yes --restore-point
check "the profile applies" [ "$rc" -eq 0 ]
check "with a restore point first" contains "Created "
check "and reports the run" contains "Applied "
run3 profile competitive --yes
check "a second time it is already active" contains "Every tweak in the Competitive profile is already active."
run3 score --json
check "the score went up" python3 -c 'import json,sys; assert json.loads(sys.argv[1])["score"] > int(sys.argv[2])' "$out" "$score_before"
run3 apply --page System --all
check "Apply everything needs --yes" [ "$rc" -eq 3 ]
check "and names the trade-offs" contains "Security / heat trade-offs in this set: "
run3 apply --page Nowhere
check "an unknown page is refused" [ "$rc" -eq 2 ]
run3 apply pthrottle --page System
check "ids and a page together are refused" [ "$rc" -eq 2 ]

# A Windows update resets a tweak the product applied: its record and mark stay.
run3 list --json
on_before="$(python3 -c 'import json,sys; print(next(r["state"] for r in json.loads(sys.argv[1]) if r["id"]=="pthrottle"))' "$out")"
check "pthrottle is on after the profile" [ "$on_before" == "True" ]
run3 sim reset pthrottle
check "sim reset works" [ "$rc" -eq 0 ]
run3 show pthrottle
check "the tweak reads off" contains "State:     off"
check "its originals are still recorded" contains "original values recorded"
run3 revert --page System
check "Revert page works" [ "$rc" -eq 0 ]
check "and says what it left" contains "Restored "

# The simulated PC's programs, timer, memory, echo targets and tray icon, looked at and changed by hand.
runs() { out="$("$vexlo" --machine "$dir/simpc" "$@" 2>&1)"; rc=$?; }
py() { python3 -c "$1" "$out"; }
runs sim processes --json
check "sim processes lists a guarded anti-cheat and programs off Normal" py '
import json, sys
p = json.loads(sys.argv[1])
assert any(x["image"] == "EasyAntiCheat_EOS.exe" and x["refuses_changes"] for x in p), p
assert {x["priority"] for x in p} >= {"Normal", "BelowNormal", "High", "Idle"}, p'
runs sim start-process Guarded.exe --priority high --protected
check "start-process takes a priority and --protected" [ "$rc" -eq 0 ]
runs sim processes
check "and sim processes shows it" contains "High         Guarded.exe  (refuses changes)"
runs sim start-process Other.exe --priority fast
check "an unknown priority class is refused" [ "$rc" -eq 2 ]
runs sim timer --json
check "sim timer: the coarsest resolution, no requests" py '
import json, sys
t = json.loads(sys.argv[1])
assert (t["current"], t["minimum"], t["maximum"], t["requests"]) == (156250, 5000, 156250, []), t'
runs sim timer --native-calls off
check "without the kernel calls the timer is unreadable" contains "cannot be read or set"
runs sim memory --free-mb 700 --standby-mb 900 --refuse-purge on --json
check "sim memory sets the lists and the refusal" py '
import json, sys
m = json.loads(sys.argv[1])
assert (m["free_mb"], m["standby_mb"], m["refuse_purge"], m["purges"]) == (700, 900, True, 0), m'
runs sim load --cpu 37 --json
check "sim load sets the processor load" py 'import json, sys; assert json.loads(sys.argv[1])["processor_load"] == 37, sys.argv[1]'
runs sim network --echo 1.1.1.1=23,loss=50 --echo 10.0.0.9=40 --remove 8.8.8.8 --json
check "sim network sets, adds and removes echo targets" py '
import json, sys
n = json.loads(sys.argv[1])
t = {x["address"]: (x["ms"], x["loss"]) for x in n["targets"]}
assert t["1.1.1.1"] == (23, 50) and t["10.0.0.9"] == (40, 0) and "8.8.8.8" not in t and not n["offline"], n'
runs sim network --echo 1.1.1.1
check "an echo target without a time is refused" [ "$rc" -eq 1 ]
runs sim network --clear --offline on
check "sim network clears and goes offline" contains "Network: offline"
check "with no targets left" contains "Echo targets: none"
runs sim tray choose Exit
check "a tray click without an icon is refused" [ "$rc" -eq 1 ]
check "and says why" contains "No icon is shown"
runs sim tray --json
check "sim tray shows no icon" py 'import json, sys; assert json.loads(sys.argv[1])["shown"] is False, sys.argv[1]'

finish cli
