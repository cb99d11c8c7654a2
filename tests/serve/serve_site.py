"""A site for `movar serve` tests: simulated terminals on loopback, a configuration file, the
service as a child process, and bounded waits. Each test passes its own 127.32.N block."""
import json
import os
import signal
import sqlite3
import subprocess
import time
import urllib.error
import urllib.request

MOVAR = os.environ["MOVAR_CLI"]
TERMINAL = os.environ["MOVAR_TERMINAL"]
# A bound that holds on a busy 2-core machine (and under valgrind) while still catching a hang.
WAIT = 60


def wait_for(what, check, seconds=WAIT):
    until = time.monotonic() + seconds
    while True:
        got = check()
        if got:
            return got
        if time.monotonic() > until:
            raise AssertionError(f"not within {seconds} s: {what}")
        time.sleep(0.1)


class Site:
    def __init__(self, tmp, block, terminals, away=(), every="2s", token=None, records=40):
        self.tmp, self.block = tmp, block
        self.http = f"127.32.{block}.1:18080"
        self.store = str(tmp / "records.db")
        self.sims = []
        if terminals:
            self.sims.append(subprocess.Popen(
                [TERMINAL, "--tcp", f"127.32.{block}.11", "--count", str(terminals), "--records", str(records)],
                stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True))
            for _ in range(terminals):
                self.sims[0].stdout.readline()
        self.names = {f"t{k + 1}": f"127.32.{block}.{11 + k}" for k in range(terminals)}
        # Nothing listens at an away terminal's address: its connect is refused.
        self.names.update({name: f"127.32.{block}.{200 + k}" for k, name in enumerate(away)})
        self.config = tmp / "site.toml"
        self.write_config(every=every, token=token)
        self.token = token
        self.process = None

    def write_config(self, every="2s", token=None, names=None, extra=""):
        names = self.names if names is None else names
        lines = [f'store = "{self.store}"', f'dir = "{self.tmp / "files"}"', f'every = "{every}"', "jobs = 4",
                 f'listen = "{self.http}"']
        if token:
            lines.append(f'token = "{token}"')
        lines.append(extra)
        for name, ip in names.items():
            lines += ["[[terminal]]", f'name = "{name}"', f'ip = "{ip}"', "capacity = 50"]
        self.config.write_text("\n".join(lines) + "\n")

    def start(self):
        self.process = subprocess.Popen([MOVAR, "serve", "--config", str(self.config)],
                                        stderr=subprocess.PIPE, text=True)
        wait_for("the service answers", lambda: self.get("/healthz", check=False)[0] in (200, 503))
        return self

    def get(self, path, token=None, check=True):
        request = urllib.request.Request(f"http://{self.http}{path}")
        token = token if token is not None else self.token
        if token:
            request.add_header("Authorization", f"Bearer {token}")
        try:
            with urllib.request.urlopen(request, timeout=30) as answer:
                return answer.status, answer.read().decode()
        except urllib.error.HTTPError as e:
            return e.code, e.read().decode()
        except (urllib.error.URLError, ConnectionError):
            if check:
                raise
            return None, ""

    def terminals(self):
        """By name; none while the service has not opened its store yet (a slow start)."""
        status, body = self.get("/api/terminals")
        return {t["name"]: t for t in json.loads(body)} if status != 503 else {}

    def collected(self, *names):
        """Waits until each named terminal has an attempt in the log."""
        return wait_for(f"{names} collected", lambda: all(
            (self.terminals().get(n) or {}).get("last_attempt") for n in names) and self.terminals())

    def signal(self, number):
        self.process.send_signal(number)

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(WAIT)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        for sim in self.sims:
            sim.stdin.close()
            try:
                sim.wait(WAIT)
            except subprocess.TimeoutExpired:
                sim.kill()
                sim.wait()


def seed_facts(store, facts):
    """Facts written into a fresh store as a download would leave them: each with the next seq."""
    subprocess.run([MOVAR, "--store", store, "store", "init"], check=True, capture_output=True)
    db = sqlite3.connect(store)
    last = db.execute("SELECT last FROM store_sequence").fetchone()[0]
    for terminal, person, when in facts:
        last += 1
        db.execute("INSERT INTO attendance VALUES (?, ?, ?, 0, '2026-01-01 00:00:00', 'test', ?)",
                   (terminal, person, when, last))
    db.execute("UPDATE store_sequence SET last = ?", (last,))
    db.commit()
    db.close()


def movar_records(store, *args):
    out = subprocess.run([MOVAR, "--store", store, "records", "--json", *args], check=True,
                         capture_output=True, text=True).stdout
    return [json.loads(line) for line in out.splitlines()]
