"""Collectors sharing one fleet through PostgreSQL: started at the same instant, one killed in the
middle of a round; no terminal is ever opened twice at once, the survivors take over the dead
one's terminals once its leases lapse, every fact is stored once."""
import os
import shutil
import signal
import subprocess
import tempfile
import time

import psycopg2
import pytest

from serve_site import MOVAR, TERMINAL, WAIT, wait_for

CLUSTER = os.environ.get("MOVAR_PG_CLUSTER_SCRIPT")
TERMINALS, RECORDS, LEASE, EVERY = 300, 5, 6, 4


@pytest.fixture
def cluster():
    # Outside pytest's own folder, which the server's unprivileged user may not enter.
    folder = tempfile.mkdtemp(prefix="movar-fleet-pg-")
    os.chmod(folder, 0o755)
    port = 20000 + os.getpid() % 10000
    started = subprocess.run([CLUSTER, "start", str(folder), str(port), str(os.getpid())], capture_output=True, text=True)
    if started.returncode == 77:
        pytest.skip("no PostgreSQL server installed here")
    assert started.returncode == 0, started.stderr
    yield f"host={folder} port={port} user=movar dbname=postgres"
    subprocess.run([CLUSTER, "stop", str(folder), "immediate"], capture_output=True)
    shutil.rmtree(folder, ignore_errors=True)


def test_collectors_share_the_fleet_and_take_over_a_killed_ones_terminals(tmp_path, cluster):
    sim = subprocess.Popen([TERMINAL, "--tcp", "127.32.40.11", "--count", str(TERMINALS), "--records", str(RECORDS)],
                           stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    addresses = [sim.stdout.readline().split()[1].split(":")[0] for _ in range(TERMINALS)]
    collectors = []
    try:
        for k in range(3):  # each lists the whole site: overlapping lists, as split by hand
            config = tmp_path / f"c{k}.toml"
            lines = [f'store = "{cluster}"', f'dir = "{tmp_path / f"files{k}"}"', f'every = "{EVERY}s"', "jobs = 16",
                     f'listen = "127.32.41.{k + 1}:18080"', f'lease = "{LEASE}s"']
            for n, ip in enumerate(addresses):
                lines += ["[[terminal]]", f'name = "t{n}"', f'ip = "{ip}"']
            config.write_text("\n".join(lines) + "\n")
            collectors.append(subprocess.Popen([MOVAR, "serve", "--config", str(config)], stderr=subprocess.DEVNULL))
        db = psycopg2.connect(cluster)
        db.autocommit = True

        def one(sql, *args):
            with db.cursor() as c:
                c.execute(sql, args)
                return c.fetchone()[0]

        def collected_since(moment):
            return one("SELECT COUNT(DISTINCT terminal) FROM collections WHERE result = 'ok' AND started >= %s", moment)

        wait_for("the store made", lambda: one("SELECT to_regclass('terminals') IS NOT NULL"))
        wait_for("every terminal collected once", lambda: collected_since("2000-01-01") == TERMINALS, seconds=2 * WAIT)
        victim = collectors[0]
        wait_for("the victim in the middle of a download",
                 lambda: one("SELECT COUNT(*) FROM terminals WHERE holder LIKE %s", f"%/{victim.pid}") > 0)
        victim.send_signal(signal.SIGKILL)
        victim.wait()
        killed = one("SELECT to_char(now() AT TIME ZONE 'UTC', 'YYYY-MM-DD HH24:MI:SS')")
        began = time.monotonic()
        wait_for("every terminal collected again", lambda: collected_since(killed) == TERMINALS, seconds=2 * WAIT)
        # One lease and one round, and the time a round of 300 takes on two collectors.
        assert time.monotonic() - began < LEASE + EVERY + WAIT / 2
        assert one("SELECT COUNT(*) FROM attendance") == TERMINALS * RECORDS  # every fact, once
        assert one("SELECT COUNT(*) FROM terminals WHERE holder LIKE %s", f"%/{victim.pid}") == 0
        # One row per attempt, and no two attempts of a terminal at once.
        overlapping = one("""SELECT COUNT(*) FROM collections a JOIN collections b
                             ON a.terminal = b.terminal AND a.id < b.id
                             AND b.started < a.finished AND a.started < b.finished""")
        assert overlapping == 0
    finally:
        for c in collectors:
            if c.poll() is None:
                c.send_signal(signal.SIGTERM)
        for c in collectors:
            c.wait(WAIT)
        _, said = sim.communicate(timeout=WAIT)  # closing its stdin ends it
    # The terminals themselves saw no host open a second session while one was open.
    assert "movar-terminal: second sessions refused: 0\n" in said, said
