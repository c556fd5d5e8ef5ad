#!/usr/bin/env python3
"""Checks the tweak catalog data files the way a reviewer would.

Usage: check_catalog.py [CATALOG_DIR]   (default: app/tweaks/catalog next to this repository's tests)

Every check prints a line only when it fails; the last line is "catalog: N passed, M failed" and the
exit status is non-zero when anything failed.
"""
import re
import sys
import tomllib
from pathlib import Path

DEFAULT_DIR = Path(__file__).resolve().parents[2] / "app" / "tweaks" / "catalog"

# File -> (page, [(group, number of entries)] in the order the page declares its groups).
LAYOUT = {
    "system.toml": ("System", [("Power & CPU", 12), ("Scheduler & memory", 6), ("Graphics", 9),
                               ("Windows Update", 2)]),
    "fortnite.toml": ("Fortnite", [("Game process", 5), ("Fortnite video settings", 20)]),
    "debloat.toml": ("Debloat", [("Background services", 26), ("Scheduled tasks", 17),
                                 ("Bloat & distractions", 25), ("Visual effects", 9)]),
}

FLAGS = ("adv", "restart", "no_laptop", "manual")
# Field that carries each kind's data; custom entries name their operations instead.
DATA_FIELD = {"reg": "reg", "svc": "svc", "task": "task", "pwr": "pwr", "ini": "ini", "custom": "ops"}
KNOWN_FIELDS = {"id", "page", "group", "title", "desc", "impact", "kind", "avail", "why", *FLAGS,
                *DATA_FIELD.values()}
REG_KINDS = {"DWord", "QWord", "String", "ExpandString", "MultiString", "Binary"}
GUID = re.compile(r"^[0-9a-fA-F]{8}-[0-9a-fA-F]{4}-[0-9a-fA-F]{4}-[0-9a-fA-F]{4}-[0-9a-fA-F]{12}$")
ID = re.compile(r"^[a-z0-9]+(_[a-z0-9]+)*$")


def text(v):
    return isinstance(v, str) and v != ""


def reg_problems(items):
    if not isinstance(items, list) or not items:
        return ["reg must be a non-empty list"]
    out = []
    for r in items:
        if not isinstance(r, dict) or set(r) - {"p", "n", "v", "t", "o"}:
            out.append(f"reg item {r!r} must be a table of p, n, v, t, o")
            continue
        p, t = r.get("p", ""), r.get("t", "DWord")
        if not (isinstance(p, str) and (p.startswith("HKCU:\\") or p.startswith("HKLM:\\")) and len(p) > 6):
            out.append(f"registry path {p!r} must start with HKCU:\\ or HKLM:\\")
        if not isinstance(r.get("n"), str):
            out.append(f"value name missing under {p}")
        if t not in REG_KINDS:
            out.append(f"value kind {t!r} of {r.get('n')} is unknown")
        for key in ("v", "o"):
            if key == "v" and key not in r:
                out.append(f"no value v for {r.get('n')}")
            elif key in r:
                val = r[key]
                want = int if t in ("DWord", "QWord") else str
                if isinstance(val, bool) or not isinstance(val, want):
                    out.append(f"{key} of {r.get('n')} is {val!r}, not a {t} value")
                elif t == "DWord" and not -2**31 <= val < 2**32:
                    out.append(f"{key} of {r.get('n')} does not fit a DWORD")
    return out


def kind_problems(e, kind):
    data = e.get(DATA_FIELD[kind])
    if kind == "reg":
        return reg_problems(data)
    if kind == "svc":
        if not (isinstance(data, dict) and set(data) == {"n", "s"} and text(data["n"]) and data["s"] in (3, 4)
                and not isinstance(data["s"], bool)):
            return [f"svc must be {{ n = name, s = 3 or 4 }}, got {data!r}"]
    elif kind == "task":
        if not (text(data) and data.startswith("\\") and len(data) > 1 and not data.endswith("\\")):
            return [f"task path {data!r} must be a full path beginning with a backslash"]
    elif kind == "pwr":
        if not (isinstance(data, dict) and set(data) == {"sub", "set", "v", "def"}):
            return [f"pwr must hold sub, set, v and def, got {data!r}"]
        out = [f"{k} {data[k]!r} is not a GUID" for k in ("sub", "set") if not GUID.match(str(data[k]))]
        out += [f"pwr {k} must be a whole number >= 0" for k in ("v", "def")
                if isinstance(data[k], bool) or not isinstance(data[k], int) or data[k] < 0]
        return out
    elif kind == "ini":
        if not isinstance(data, list) or not data:
            return ["ini must be a non-empty list"]
        out = []
        for i in data:
            if not (isinstance(i, dict) and {"s", "k", "v"} <= set(i) <= {"s", "k", "v", "o"}
                    and text(i["s"]) and text(i["k"]) and all(isinstance(i[x], str) for x in i)):
                out.append(f"ini item {i!r} needs text s, k, v (and optional text o)")
        return out
    elif kind == "custom":
        if not (isinstance(data, str) and ID.match(data)):
            return [f"custom entry needs ops naming its operations, got {data!r}"]
    return []


def entry_problems(e, page):
    out = [f"missing or empty {f}" for f in ("id", "page", "group", "title", "desc") if not text(e.get(f))]
    if text(e.get("id")) and not ID.match(e["id"]):
        out.append("id must be lower-case words joined by underscores")
    if e.get("page") != page:
        out.append(f"page {e.get('page')!r} in the {page} file")
    out += [f"unknown field {k!r}" for k in e if k not in KNOWN_FIELDS]
    if e.get("impact", "Low") not in ("High", "Med", "Low"):
        out.append(f"impact {e['impact']!r} is not High, Med or Low")
    # Flags are written only when set.
    out += [f"flag {f} must be true when written" for f in FLAGS if f in e and e[f] is not True]
    if ("avail" in e) != ("why" in e) or ("avail" in e and not (text(e["avail"]) and text(e["why"]))):
        out.append("avail and why come together, both non-empty")
    kind = e.get("kind", "reg")
    if kind not in DATA_FIELD:
        return out + [f"unknown kind {kind!r}"]
    if kind == "reg" and "kind" in e:
        out.append('reg is the default kind and is written by leaving kind out')
    out += [f"{f} on a tweak of kind {kind}" for k, f in DATA_FIELD.items() if k != kind and f in e]
    if "{hz}" in e.get("title", "") + e.get("desc", "") and kind != "ini":
        out.append("{hz} is only filled in for settings-file entries")
    return out + kind_problems(e, kind)


def main(argv):
    folder = Path(argv[1]) if len(argv) > 1 else DEFAULT_DIR
    passed = failed = 0

    def check(ok, what, problems=()):
        nonlocal passed, failed
        if ok:
            passed += 1
        else:
            failed += 1
            print(f"FAIL {what}" + "".join(f"\n     - {p}" for p in problems))

    seen = {}
    for name, (page, groups) in LAYOUT.items():
        try:
            entries = tomllib.loads((folder / name).read_text(encoding="utf-8")).get("tweak", [])
        except (OSError, tomllib.TOMLDecodeError) as ex:
            check(False, f"{name}: loads", [str(ex)])
            continue
        check(len(entries) == sum(n for _, n in groups), f"{name}: {sum(n for _, n in groups)} entries",
              [f"found {len(entries)}"])
        # Groups in declared order, each one contiguous run of the right size.
        runs = []
        for e in entries:
            if not runs or runs[-1][0] != e.get("group"):
                runs.append([e.get("group"), 0])
            runs[-1][1] += 1
        check([tuple(r) for r in runs] == groups, f"{name}: groups in order with their sizes",
              [f"found {[tuple(r) for r in runs]}"])
        for e in entries:
            who = f"{name}: {e.get('id', '?')}"
            problems = entry_problems(e, page)
            check(not problems, who, problems)
            if isinstance(e.get("id"), str):
                seen.setdefault(e["id"], []).append(name)
    dups = {i: f for i, f in seen.items() if len(f) > 1}
    check(not dups, "ids unique across all files", [f"{i} in {', '.join(f)}" for i, f in dups.items()])

    print(f"catalog: {passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
