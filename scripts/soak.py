"""Crash and service soaks; run by scripts/soak.sh, which builds the programs.

    soak.py BIN_DIR ROUNDS

Three soaks, each check a pass or a failure:
  registry  a writer adds and removes jobs through TJobConfig on a registry
            that also holds other sections and is SIGKILLed at a random moment,
            ROUNDS times; after each kill the file must hold the state before
            or after the interrupted operation.
  store     the same for work items created, replaced and deleted through the
            scheduler client and runs recorded in them under the store's lock.
  service   lumidor-taskd with items due at every minute for 15 minutes (2),
            SIGKILLed and restarted at random moments (and around the runs);
            every run due while a service was up runs once, within 1 s; a run
            due while none was up never runs and is logged as missed. Items
            that run only while the user is logged on (never, here) are
            refused. Every due run is in the history exactly once, as started,
            missed or refused; one due while a service was being killed at
            most once (the kill may come between the run and its line).

Temporary files: a kill in the middle of a write leaves one about every
second round. Each writer's first write removes those that nobody holds and
that have not changed for 2 s (the registry) or, under the store's lock, all
of them (the store); so after the rounds the soak waits 2 s, lets one more
writer do one operation and end by itself, and counts what is left: 0.
The last line is "N passed, N failed".
"""

import os
import random
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

BIN = sys.argv[1]
ROUNDS = int(sys.argv[2])
SEED = int(os.environ.get("SOAK_SEED", str(int(time.time()))))
rng = random.Random(SEED)
passed = 0
failed = 0
failures = []


def verdict(ok, text):
    global passed, failed
    if ok:
        passed += 1
    else:
        failed += 1
        if len(failures) < 20:
            failures.append(text)
            print("FAIL: " + text, flush=True)


def run_and_kill(argv, journal, delay):
    """Starts a writer, lets it work for delay seconds once it is ready, SIGKILLs it."""
    child = subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    ready_by = time.time() + 20
    while os.path.getsize(journal) == 0 and child.poll() is None and time.time() < ready_by:
        time.sleep(0.001)
    try:
        child.wait(timeout=delay)
    except subprocess.TimeoutExpired:
        child.send_signal(signal.SIGKILL)
        child.wait()
        child.stderr.close()
        return None
    err = child.stderr.read().decode(errors="replace")
    child.stderr.close()
    return "exited by itself with %d: %s" % (child.returncode, err.strip())


def read_journal(path):
    """The completed operations and the interrupted one (or None)."""
    done, pending = [], None
    with open(path) as f:
        for line in f.read().splitlines():
            if line.startswith("B "):
                pending = line[2:]
            elif line == "E":
                done.append(pending)
                pending = None
    return done, pending


def leftovers(folder, keep):
    return [n for n in os.listdir(folder) if not keep(n)]


STALE_AFTER = 2.0  # AtomicFile::StaleAfterSeconds


def last_writer(argv, journal):
    """After the stale age has passed, one more writer does one operation and ends."""
    time.sleep(STALE_AFTER + 0.5)
    open(journal, "w").close()
    child = subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    deadline = time.time() + 20
    while child.poll() is None and time.time() < deadline:
        with open(journal) as f:
            if "\nE\n" in "\n" + f.read():
                break
        time.sleep(0.001)
    child.send_signal(signal.SIGTERM)
    return child.wait(timeout=20) == 0


# ---------------------------------------------------------------- registry

SECTIONS = ("Schedule_Shutdown", "Schedule_Restart")
REGISTRY = (b"; Lumidor jobs, with the user's other settings around them\r\n"
            b"[General]\r\nLanguage=Deutsch\r\nLastPage=2\r\n\r\n"
            b"[Schedule_Shutdown]\r\nJob1=Start_a.job,first, with a comma\r\n"
            b"[Window]\r\nLeft = 10\r\n;comment=kept\r\nTop=20\r\n\r\n"
            b"[Schedule_Restart]\r\n"
            b"[Zz \xc3\xa9t\xc3\xa9]\r\nKey= spaced value \r\nEmpty=\r\n")


def blocks(data):
    """The file cut into its head and sections: [(name, bytes)] in order."""
    out = [(None, b"")]
    for line in data.splitlines(keepends=True):
        stripped = line.strip()
        if stripped.startswith(b"[") and b"]" in stripped:
            out.append((stripped[1:stripped.rindex(b"]")].strip().decode(errors="replace"), b""))
        out[-1] = (out[-1][0], out[-1][1] + line)
    return out


def registry_state(data):
    """(other blocks, {section: [values]}, problem or None)."""
    others, jobs = [], {s: [] for s in SECTIONS}
    for name, raw in blocks(data):
        if name in SECTIONS:
            keys = []
            for line in raw.decode().splitlines()[1:]:
                if "=" in line and not line.lstrip().startswith(";"):
                    key, value = line.split("=", 1)
                    keys.append(key.strip())
                    jobs[name].append(value)
            if keys != ["Job%d" % (i + 1) for i in range(len(keys))]:
                return others, jobs, "keys of %s are %s" % (name, keys)
        else:
            others.append((name, raw))
    return others, jobs, None


def ascii_lower(text):
    return "".join(chr(ord(c) + 32) if "A" <= c <= "Z" else c for c in text)


def registry_apply(jobs, op):
    kind, section, value = op.split(" ", 2)
    new = {s: list(v) for s, v in jobs.items()}
    if kind == "add":
        new[section].append(value)
    else:
        new[section] = [v for v in new[section] if ascii_lower(v) != ascii_lower(value)]
    return new


def soak_registry(work, rounds):
    path = os.path.join(work, "registry", "Lumidor.ini")
    os.makedirs(os.path.dirname(path))
    with open(path, "wb") as f:
        f.write(REGISTRY)
    others0, model, problem = registry_state(REGISTRY)
    assert problem is None
    ops = interrupted = after = 0
    for r in range(rounds):
        journal = os.path.join(work, "registry.journal")
        open(journal, "w").close()
        err = run_and_kill([os.path.join(BIN, "soak_registry_writer"), path, journal, str(SEED * 10000 + r)],
                           journal, rng.uniform(0.0, 0.06))
        if err:
            verdict(False, "registry round %d: the writer %s" % (r, err))
            break
        done, pending = read_journal(journal)
        for op in done:
            model = registry_apply(model, op)
        ops += len(done)
        with open(path, "rb") as f:
            data = f.read()
        others, jobs, problem = registry_state(data)
        ok = problem is None and others == others0
        if ok and jobs != model:
            ok = pending is not None and jobs == registry_apply(model, pending)
            after += ok
        if ok:
            model = jobs
        interrupted += pending is not None
        verdict(ok, "registry round %d: %s; interrupted: %s; file:\n%s" % (
            r, problem or ("other sections changed" if others != others0 else "neither before nor after"),
            pending, data.decode(errors="replace")))
        if not ok:
            break
    keep = lambda n: n == "Lumidor.ini"
    temps = leftovers(os.path.dirname(path), keep)
    ended = last_writer([os.path.join(BIN, "soak_registry_writer"), path, journal, str(SEED * 10000 + rounds)], journal)
    remaining = leftovers(os.path.dirname(path), keep)
    verdict(ended and not remaining, "registry: the last writer %s; left: %s" % (
        "ended" if ended else "did not end", remaining))
    print("registry: %d rounds, %d kills, %d operations done, %d interrupted (%d found done), "
          "%d temporary files left by kills before the last writer, %d after it" % (
              rounds, rounds, ops, interrupted, after, len(temps), len(remaining)), flush=True)


# ---------------------------------------------------------------- store

def store_state(store):
    """{name: (parameters, run)} of every item file, or a problem."""
    items = {}
    for name in os.listdir(store):
        if not name.endswith(".job"):
            continue
        with open(os.path.join(store, name), "rb") as f:
            lines = f.read().decode().split("\n")
        if lines[-1] == "":
            lines.pop()
        if not lines or lines[0] != "LumidorWorkItem 1" or lines[-1] != "End":
            return None, "%s is half-written: %r" % (name, lines[:1] + lines[-1:])
        fields = dict(l.split("=", 1) for l in lines[1:-1] if "=" in l)
        items[name[:-4]] = (fields.get("Parameters"), fields.get("MostRecentRun"))
    return items, None


def store_apply(items, op):
    kind, name, rest = (op.split(" ", 2) + [""])[:3]
    new = dict(items)
    if kind == "create":
        new[name] = (rest, "0 0 0 0 0 0 0 0")
    elif kind == "replace":
        new[name] = (rest, new[name][1])
    elif kind == "delete":
        new.pop(name, None)
    elif kind == "record" and name in new:
        new[name] = (new[name][0], rest)
    return new


def soak_store(work, rounds):
    store = os.path.join(work, "tasks")
    os.mkdir(store, 0o700)
    model = {}
    ops = interrupted = after = 0
    for r in range(rounds):
        journal = os.path.join(work, "store.journal")
        open(journal, "w").close()
        err = run_and_kill([os.path.join(BIN, "soak_store_writer"), store, journal, str(SEED * 10000 + r)],
                           journal, rng.uniform(0.0, 0.06))
        if err:
            verdict(False, "store round %d: the writer %s" % (r, err))
            break
        done, pending = read_journal(journal)
        for op in done:
            model = store_apply(model, op)
        ops += len(done)
        items, problem = store_state(store)
        ok = problem is None and items == model
        if problem is None and not ok and pending is not None:
            ok = items == store_apply(model, pending)
            after += ok
        if ok:
            model = items
        interrupted += pending is not None
        if not ok and problem is None:
            lost = sorted(set(model) - set(items))
            back = sorted(set(items) - set(model))
            problem = "lost %s, brought back or stray %s, changed %s" % (
                lost, back, sorted(n for n in items if n in model and items[n] != model[n]))
        verdict(ok, "store round %d: %s; interrupted: %s" % (r, problem, pending))
        if not ok:
            break
    keep = lambda n: n.endswith(".job") or n.startswith(".") and n.endswith(".lock")
    temps = leftovers(store, keep)
    ended = last_writer([os.path.join(BIN, "soak_store_writer"), store, journal, str(SEED * 10000 + rounds)], journal)
    remaining = leftovers(store, keep)
    verdict(ended and not remaining, "store: the last writer %s; left: %s" % (
        "ended" if ended else "did not end", remaining))
    print("store: %d rounds, %d kills, %d operations done, %d interrupted (%d found done), "
          "%d items at the end, %d temporary files left by kills before the last writer, %d after it" % (
              rounds, rounds, ops, interrupted, after, len(model), len(temps), len(remaining)), flush=True)


# ---------------------------------------------------------------- service

def describe(moment):
    return time.strftime("%Y-%m-%d %H:%M:%S", time.localtime(moment))


def write_item(store, name, stand_in, first, interval, minutes, flags=0):
    t = time.localtime(first)
    text = "\n".join([
        "LumidorWorkItem 1",
        "Application=" + stand_in,
        "Parameters=" + name,
        "WorkingDirectory=",
        "Comment=",
        "Author=",
        "Account=" + subprocess.run(["id", "-un"], capture_output=True, text=True).stdout.strip(),
        "Flags=%d" % flags,
        "Priority=32",
        "MaxRunTime=259200000",
        "Status=267008",
        "ExitCode=0",
        "MostRecentRun=0 0 0 0 0 0 0 0",
        # Daily from today at the first minute, repeating every interval minutes.
        "Trigger=48 0 %d %d %d 0 0 0 %d %d %d %d 0 1 1 0 0 0 0 0" % (
            t.tm_year, t.tm_mon, t.tm_mday, t.tm_hour, t.tm_min, minutes + 10, interval),
        "End", ""])
    tmp = os.path.join(store, "." + name + ".tmp")
    with open(tmp, "w") as f:
        f.write(text)
    os.chmod(tmp, 0o600)
    os.rename(tmp, os.path.join(store, name + ".job"))


def read_history(path, due):
    """{(item, due moment): [events]} from the history's lines that name due runs."""
    by_text = {}
    for name, times in due.items():
        for t in times:
            by_text[(name, describe(t))] = t
    found = {}
    if not os.path.exists(path):
        return found
    line_re = re.compile(r"^\S+ \S+ \S+ (\w+) (\S+)\.job: (.*)$")
    stamp = r"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)"
    with open(path, errors="replace") as f:
        for line in f:
            m = line_re.match(line.rstrip("\n"))
            if not m:
                continue
            event, name, details = m.groups()
            one = re.search("due at " + stamp, details)
            span = re.search("due from " + stamp + " to " + stamp, details)
            if span:
                low, high = by_text.get((name, span.group(1))), by_text.get((name, span.group(2)))
                moments = [t for t in due.get(name, []) if low is not None and high is not None and low <= t <= high]
            elif one and (name, one.group(1)) in by_text:
                moments = [by_text[(name, one.group(1))]]
            else:
                continue
            for t in moments:
                found.setdefault((name, t), []).append(event)
    return found


class Instance:
    def __init__(self, number, argv, env, log):
        self.number = number
        self.log = log
        self.spawn = time.time()
        self.proc = subprocess.Popen(argv, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                     stderr=open(log, "wb"))
        self.seen = None  # when its start-up line was seen: it was up by then
        self.end = None

    def poll_start(self):
        if self.seen is None:
            with open(self.log, "rb") as f:
                if b"started for" in f.read():
                    self.seen = time.time()
        return self.seen is not None

    def rss_kib(self):
        with open("/proc/%d/status" % self.proc.pid) as f:
            return int(re.search(r"VmRSS:\s+(\d+)", f.read()).group(1))

    def stop(self, sig):
        self.end = time.time()
        self.proc.send_signal(sig)
        self.proc.wait()


def soak_service(work, minutes, quiet, kills_per_minute, min_kills):
    store = os.path.join(work, "service-tasks")
    home = os.path.join(work, "home")
    os.mkdir(store, 0o700)
    os.makedirs(os.path.join(home, "runtime"), 0o700)
    record = os.path.join(work, "record")
    stand_in = os.path.join(work, "stand-in")
    with open(stand_in, "w") as f:
        f.write('#!/bin/sh\necho "$(date +%%s.%%N) $1" >> %s\n' % record)
    os.chmod(stand_in, 0o755)
    env = {"PATH": "/usr/bin:/bin", "HOME": home, "USER": os.environ.get("USER", ""),
           "LANG": "C.UTF-8", "XDG_RUNTIME_DIR": os.path.join(home, "runtime"),
           "XDG_DATA_HOME": os.path.join(home, "data"), "XDG_CONFIG_HOME": os.path.join(home, "config"),
           "XDG_STATE_HOME": os.path.join(home, "state"),
           # Never the machine's buses.
           "DBUS_SYSTEM_BUS_ADDRESS": "unix:path=" + os.path.join(home, "no-system-bus"),
           "DBUS_SESSION_BUS_ADDRESS": "unix:path=" + os.path.join(home, "no-session-bus")}
    # An empty utmp: the user is not logged on, so items that run only then are refused.
    utmp = os.path.join(work, "utmp")
    open(utmp, "w").close()
    argv = [os.path.join(BIN, "lumidor-taskd"), "--store", store, "--utmp", utmp]

    first = (int(time.time()) + 8) // 60 * 60 + 60
    # (interval, first minute): 20 runs at every minute; a user has a few.
    items = {}
    for i in range(16):
        items["every1_%02d" % i] = (1, 0)
    for i in range(4):
        items["every2_even%d" % i] = (2, 0)
        items["every2_odd%d" % i] = (2, 1)
    logon_only = set()
    for i in range(4):
        logon_only.add("logon%d" % i)
        items["logon%d" % i] = (1, 0)
    for name, (interval, offset) in items.items():
        write_item(store, name, stand_in, first + 60 * offset, interval, minutes,
                   0x2000 if name in logon_only else 0)
    due = {name: [first + 60 * k for k in range(offset, minutes, interval)]
           for name, (interval, offset) in items.items()}

    # The plan: (moment, "kill"/"start"/"rss").
    plan = []
    for k in range(minutes):
        b = first + 60 * k
        if k >= minutes - quiet:
            plan.append((b + 3, "rss"))
            continue
        how = rng.choice(["before", "during", "none"] if k else ["before", "during"])
        if how == "before":
            plan += [(b - rng.uniform(0.05, 1.5), "kill"), (b + rng.uniform(0.1, 2.5), "start")]
        elif how == "during":
            at = b + rng.uniform(0.0, 0.15)
            plan += [(at, "kill"), (at + rng.uniform(0.2, 2.0), "start")]
        slot = 50.0 / kills_per_minute
        for j in range(kills_per_minute):
            at = b + 4 + slot * j + rng.uniform(0, slot - 4)
            plan += [(at, "kill"), (at + rng.uniform(0.2, 3.0), "start")]
    plan.sort()
    end = first + 60 * (minutes - 1) + 20

    instances = [Instance(1, argv, env, os.path.join(work, "taskd.1.log"))]
    rss = []
    kills = 0
    for moment, action in plan + [(end, "end")]:
        while time.time() < moment:
            for inst in instances:
                if inst.end is None:
                    inst.poll_start()
            time.sleep(min(0.005, max(0.0, moment - time.time())))
        current = instances[-1]
        if action == "kill":
            current.stop(signal.SIGKILL)
            kills += 1
        elif action == "start":
            instances.append(Instance(len(instances) + 1, argv, env, os.path.join(work, "taskd.%d.log" % (len(instances) + 1))))
        elif action == "rss":
            rss.append((current.number, current.rss_kib()))
        else:
            current.stop(signal.SIGTERM)
    logs = ""
    for inst in instances:
        with open(inst.log, errors="replace") as f:
            logs += f.read()

    runs = {}
    stray = 0
    if os.path.exists(record):
        with open(record) as f:
            for line in f:
                stamp, name = line.split()
                ran = float(stamp)
                times = [t for t in due.get(name, []) if t <= ran]
                if not times:
                    stray += 1
                    continue
                runs.setdefault((name, times[-1]), []).append(ran)

    history = read_history(os.path.join(home, "state", "lumidor", "history.log"), due)
    counts = dict(runs=0, due_up=0, late=0, twice=0, lost=0, due_down=0, ran_later=0, missed_logged=0,
                  missed_unlogged=0, unclear=0, refused=0)
    told = dict(once=0, twice=0, absent=0, wrong=0, absent_killed=0)
    worst = 0.0
    for name, times in due.items():
        for t in times:
            ran = runs.get((name, t), [])
            counts["runs"] += len(ran)
            up = any(i.seen is not None and i.seen <= t and i.end >= t + 0.5 for i in instances)
            down = all(t < i.spawn or t >= i.end for i in instances)
            events = history.get((name, t), [])
            expected = "missed" if down else "refused" if name in logon_only else "started"
            if len(events) > 1:
                told["twice"] += 1
            elif not events and (up or down):
                told["absent"] += 1
            elif not events:
                told["absent_killed"] += 1
            elif (up or down) and events[0] != expected:
                told["wrong"] += 1
            else:
                told["once"] += 1
            verdict(len(events) <= 1 and (events or not (up or down)) and (not (up or down) or events[0] == expected),
                    "service: %s due at %s is in the history as %s, expected once as %s" % (
                        name, describe(t), events or "nothing", expected))
            if name in logon_only:
                counts["refused"] += bool(up and events == ["refused"])
                verdict(not ran, "service: %s due at %s ran, though its user is not logged on" % (name, describe(t)))
                continue
            delays = [r - t for r in ran]
            worst = max([worst] + delays)
            late = [d for d in delays if d > 1.0]
            counts["late"] += len(late)
            if len(ran) > 1:
                counts["twice"] += 1
            ok = len(ran) <= 1 and not late
            what = ""
            # Made by a service that started after the run's time: caught up.
            if any(t < i.spawn <= r for r in ran for i in instances):
                counts["ran_later"] += 1
                ok = False
                what = "run by a service that came up after its time"
            if up:
                counts["due_up"] += 1
                if not ran:
                    counts["lost"] += 1
                    ok = False
                    what = "due while a service was up and not run"
            elif down:
                counts["due_down"] += 1
                if ran:
                    ok = False
                    what = "due while no service was up, and run later"
                elif any(l.startswith("lumidor-taskd: %s.job: " % name) and "missed" in l and describe(t) in l
                         for l in logs.splitlines()):
                    counts["missed_logged"] += 1
                else:
                    counts["missed_unlogged"] += 1
                    ok = False
                    what = "due while no service was up, not logged as missed"
            else:
                counts["unclear"] += 1  # due while a service was starting or being killed
            verdict(ok, "service: %s due at %s: %s (ran after %s s)" % (
                name, describe(t), what or "late or twice", ["%.3f" % d for d in delays]))
    verdict(stray == 0, "service: %d runs at no due time" % stray)
    verdict(kills >= min_kills, "service: only %d kills" % kills)
    last = [kib for number, kib in rss if number == instances[-1].number]
    growth = last[-1] - last[0] if len(last) > 1 else 0
    verdict(growth <= 512, "service: resident memory grew by %d KiB over %d minutes" % (growth, len(last) - 1))
    print("service: %d minutes, %d items, %d kills, %d instances; runs %d; due while up %d: late %d, twice %d, "
          "lost %d; due while none was up %d: run later %d, logged missed %d, not logged %d; due while starting "
          "or being killed %d; worst delay %.0f ms" % (
              minutes, len(items), kills, len(instances), counts["runs"], counts["due_up"], counts["late"],
              counts["twice"], counts["lost"], counts["due_down"], counts["ran_later"], counts["missed_logged"],
              counts["missed_unlogged"], counts["unclear"], worst * 1000), flush=True)
    print("service: history of %d due runs: once %d (refused while up %d), twice %d, absent %d, as the wrong event %d; "
          "absent, due while a service was starting or being killed %d" % (
              sum(len(v) for v in due.values()), told["once"], counts["refused"], told["twice"], told["absent"],
              told["wrong"], told["absent_killed"]), flush=True)
    print("service: resident memory of the last instance after each quiet minute's runs: %s KiB (growth %d KiB); "
          "largest of any instance %d KiB" % ([kib for _, kib in rss], growth, max(kib for _, kib in rss)), flush=True)


def main():
    work = tempfile.mkdtemp(prefix="lumidor-soak.")
    try:
        print("soak: seed %d, %d rounds" % (SEED, ROUNDS), flush=True)
        started = time.time()
        soak_registry(work, ROUNDS)
        soak_store(work, ROUNDS)
        long_run = ROUNDS >= 200
        if long_run:
            soak_service(work, minutes=15, quiet=4, kills_per_minute=2, min_kills=20)
        else:
            soak_service(work, minutes=2, quiet=1, kills_per_minute=2, min_kills=3)
        print("soak: %.0f s" % (time.time() - started))
    finally:
        if failed:
            print("soak: files and logs kept in " + work)
        else:
            shutil.rmtree(work, ignore_errors=True)
    print("%d passed, %d failed" % (passed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
