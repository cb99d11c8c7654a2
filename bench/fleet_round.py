#!/usr/bin/env python3
"""A busy round of a large organisation: 5,000 simulated terminals of 100 records each, collected
by two `movar serve` sharing one fleet through PostgreSQL, against one collector alone. Every fact
must be stored once. Goal: the round of two within 60 s.
    bench/fleet_round.py BUILD   (TERMINALS, RECORDS, JOBS override the sizes; MOVAR_TERMINAL the simulator)"""
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

import psycopg2

build = os.path.realpath(sys.argv[1])
here = os.path.dirname(os.path.realpath(__file__))
MOVAR = f"{build}/tools/cli/movar"
TERMINAL = os.environ.get("MOVAR_TERMINAL", f"{build}/tools/terminal-sim/movar-terminal")
CLUSTER = f"{here}/../tests/store/pg_cluster.sh"
TERMINALS = int(os.environ.get("TERMINALS", 5000))
RECORDS = int(os.environ.get("RECORDS", 100))
JOBS = int(os.environ.get("JOBS", 256))
PROGRESS = bool(os.environ.get("PROGRESS"))  # the count collected every 5 s


def one(db, sql):
    with db.cursor() as c:
        c.execute(sql)
        return c.fetchone()[0]


def round_of(collectors, folder, port, number):
    """Seconds until every terminal is collected once by `collectors` services on a fresh database."""
    admin = psycopg2.connect(f"host={folder} port={port} user=movar dbname=postgres")
    admin.autocommit = True
    with admin.cursor() as c:
        c.execute(f"CREATE DATABASE round{number}")
    store = f"host={folder} port={port} user=movar dbname=round{number}"
    said = open(f"{folder}/simulator{number}.err", "w+")
    sim = subprocess.Popen([TERMINAL, "--tcp", "127.0.1.1", "--count", str(TERMINALS), "--records", str(RECORDS)],
                           stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=said, text=True)
    addresses = [sim.stdout.readline().split()[1].split(":")[0] for _ in range(TERMINALS)]
    services = []
    try:
        for k in range(collectors):
            config = f"{folder}/site{number}-{k}.toml"
            with open(config, "w") as f:
                f.write(f'store = "{store}"\ndir = "{folder}/files{number}-{k}"\nevery = "1h"\njobs = {JOBS}\n'
                        f'listen = "127.0.2.{k + 1}:18080"\nfleet = "shared"\n')
                if k == 0:
                    for n, ip in enumerate(addresses):
                        f.write(f'[[terminal]]\nname = "t{n}"\nip = "{ip}"\n')
            services.append(subprocess.Popen([MOVAR, "serve", "--config", config], stderr=subprocess.DEVNULL))
        began = shown = time.monotonic()
        db = None
        while True:
            time.sleep(0.2)
            try:
                db = db or psycopg2.connect(store)
                db.autocommit = True
                done = one(db, "SELECT COUNT(DISTINCT terminal) FROM collections WHERE result = 'ok'")
                if PROGRESS and time.monotonic() >= shown + 5:
                    shown = time.monotonic()
                    print(f"  {shown - began:5.1f} s: {done} collected", flush=True)
                if done == TERMINALS:
                    break
            except psycopg2.Error:
                db = None
            if time.monotonic() - began > 900:
                raise SystemExit("the round did not end within 15 minutes")
        seconds = time.monotonic() - began
        facts = one(db, "SELECT COUNT(*) FROM attendance")
        if facts != TERMINALS * RECORDS:
            raise SystemExit(f"{facts} facts stored, {TERMINALS * RECORDS} downloaded")
        return seconds
    finally:
        for s in services:
            s.send_signal(signal.SIGTERM)
        for s in services:
            s.wait(120)
        sim.stdin.close()
        sim.wait(120)
        said.seek(0)
        if "second sessions refused: 0\n" not in said.read():
            raise SystemExit("a terminal was opened by two collectors at once (the simulator refused a session)")


folder = tempfile.mkdtemp(prefix="movar-fleet-bench-")
os.chmod(folder, 0o755)
port = 21000 + os.getpid() % 10000
subprocess.run([CLUSTER, "start", folder, str(port), str(os.getpid())], check=True)
try:
    two = round_of(2, folder, port, 1)
    alone = round_of(1, folder, port, 2)
finally:
    subprocess.run([CLUSTER, "stop", folder, "fast"])
    shutil.rmtree(folder, ignore_errors=True)
print(f"fleet round: {TERMINALS} terminals x {RECORDS} records, every fact once; "
      f"two collectors {two:.1f} s (goal 60 s), one collector {alone:.1f} s")
