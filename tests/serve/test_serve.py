"""`movar serve` from outside: its configuration checks, its API against `movar records`, its
metrics as the text format, its token, and its signals."""
import json
import os
import re
import signal
import sqlite3
import subprocess
import time

import pytest

from serve_site import MOVAR, WAIT, movar_records, seed_facts, wait_for


@pytest.mark.parametrize("text, said", [
    ('store = "s.db"\ndir = "d"\nevery = "10x"\n', "site.toml:3: every:"),
    ('store = "s.db"\ndir = "d"\nlisten = "0.0.0.0:8080"\n', "site.toml:3: listen: 0.0.0.0:8080 is beyond loopback"),
    ('store = "s.db"\ndir = "d"\nstroe = "x"\n', "site.toml:3: stroe: not a key"),
    ('store = "s.db"\ndir = "d"\n[[terminal]]\nname = "a"\nip = "10.0.0.300"\n', "site.toml:5: terminal[1].ip:"),
    ('store = "s.db"\ndir = "d"\n[[terminal]]\nname = "a"\nip = "10.0.0.3"\n[[terminal]]\nname = "a"\nip = "10.0.0.4"\n',
     'site.toml:7: terminal[2].name: "a" names two terminals'),
    ('store = "s.db"\ndir = "d"\njobs = 0\n', "site.toml:3: jobs: 0 is outside 1-1024"),
    ('store = "s.db"\ndir = "d"\nclock = "weekly"\n', 'site.toml:3: clock: "never" or "daily"'),
    ('store = "s.db"\ndir = "d"\nevery = \n', "site.toml:3:"),
])
def test_a_bad_configuration_stops_the_start_before_anything_is_touched(tmp_path, text, said):
    (tmp_path / "site.toml").write_text(text)
    run = subprocess.run([MOVAR, "serve", "--config", "site.toml"], cwd=tmp_path, capture_output=True,
                         text=True, timeout=WAIT)
    assert run.returncode == 2, run.stderr
    assert said in run.stderr
    assert sorted(p.name for p in tmp_path.iterdir()) == ["site.toml"]


def test_the_example_configuration_is_accepted(tmp_path):
    # Its store's folder is not there: the service gets as far as the store and waits for it.
    example = __file__.rsplit("/tests/", 1)[0] + "/tools/serve/site.toml"
    text = open(example).read().replace("127.0.0.1:8080", "127.32.9.1:18080")
    text = re.sub(r"^# (\[\[terminal\]\]|(name|ip|com|address|capacity|clock) = )", r"\1", text, flags=re.M)
    (tmp_path / "site.toml").write_text(text)
    service = subprocess.Popen([MOVAR, "serve", "--config", "site.toml"], cwd=tmp_path,
                               stderr=subprocess.PIPE, text=True)
    try:
        line = wait_for("the store's retry said", lambda: service.stderr.readline() or None)
        line += service.stderr.readline()
        assert "listening on 127.32.9.1:18080, 2 terminals every 600 s" in line
        assert "the store cannot be reached (tried again in 1 s)" in line
    finally:
        service.send_signal(signal.SIGTERM)
        assert service.wait(WAIT) == 0


def test_the_api_gives_the_facts_of_movar_records_and_after_resumes_exactly(make_site):
    site = make_site(1, terminals=2)
    site.start()
    site.collected("t1", "t2")
    wait_for("both stored", lambda: len(movar_records(site.store)) == 80)
    expected = movar_records(site.store)
    status, body = site.get("/api/records")
    lines = [json.loads(line) for line in body.splitlines()]
    assert status == 200
    assert lines == expected  # the same facts, the same order, the same numbers
    cut = sorted(f["seq"] for f in lines)[30]
    after = [json.loads(line) for line in site.get(f"/api/records?after={cut}")[1].splitlines()]
    assert sorted(f["seq"] for f in after) == [s for s in sorted(f["seq"] for f in lines) if s > cut]
    person = lines[5]["person"]
    status, csv = site.get(f"/api/records?format=csv&person={person}&terminal={lines[5]['terminal']}")
    rows = csv.splitlines()
    assert rows[0] == "time,person,machine,terminal,collected,seq"
    assert rows[1:] == [f"{f['time']},{f['person']},{f['machine']},{f['terminal']},{f['collected']},{f['seq']}"
                        for f in lines if f["person"] == person and f["terminal"] == lines[5]["terminal"]]
    for query, reason in [("from=2024-13", "from:"), ("person=70000", "person:"), ("after=-1", "after:"),
                          ("format=xml", "format:"), ("erase=1", "erase: not a parameter")]:
        status, body = site.get(f"/api/records?{query}")
        assert (status, body.startswith(reason)) == (400, True), (query, body)
    assert site.get("/api/terminals")[0] == 200


SAMPLE = re.compile(r'^([a-z_]+)(\{(.*)\})? (-?[0-9.e+]+)$')
LABEL = re.compile(r'([a-z_]+)="((?:[^"\\]|\\.)*)"')


def test_metrics_are_the_prometheus_text_format(make_site):
    site = make_site(2, terminals=1, away=["gone"])
    site.start()
    site.collected("t1", "gone")
    wait_for("a round ended", lambda: "movar_round_duration_seconds " in site.get("/metrics")[1])
    status, text = site.get("/metrics")
    assert status == 200
    families, samples, collectors = {}, {}, {}
    for line in text.splitlines():
        if line.startswith("# TYPE "):
            _, _, name, kind = line.split(" ")
            families[name] = kind
        elif not line.startswith("# HELP "):
            match = SAMPLE.match(line)
            assert match, line
            assert match.group(1) in families, line  # every sample after its TYPE line
            labels = dict(LABEL.findall(match.group(3) or ""))
            samples[(match.group(1), labels.get("terminal"))] = float(match.group(4))
            if match.group(1) == "movar_terminal_collector_info":
                collectors[labels["terminal"]] = labels["collector"]
    assert samples[("movar_terminal_up", "t1")] == 1
    assert samples[("movar_terminal_up", "gone")] == 0
    assert samples[("movar_records_stored_total", "t1")] == 40
    assert samples[("movar_collection_failures_total", "gone")] >= 1
    assert samples[("movar_terminal_memory_records", "t1")] == 40
    assert samples[("movar_terminal_memory_capacity_records", "t1")] == 50
    assert abs(samples[("movar_collection_last_success_timestamp_seconds", "t1")] - time.time()) < WAIT
    assert ("movar_collection_duration_seconds", "t1") in samples
    assert families["movar_collection_failures_total"] == "counter"
    assert collectors["t1"].endswith(f"/{site.process.pid}")  # who collected it, by host and process


def test_with_a_token_every_request_must_bear_it(make_site):
    site = make_site(3, terminals=0, token="s3cret-t0ken")
    site.start()
    for path in ["/", "/api/terminals", "/api/records", "/metrics", "/healthz"]:
        assert site.get(path, token="")[0] == 401, path
        assert site.get(path, token="s3cret-t0keN")[0] == 401, path
        assert site.get(path)[0] in (200, 503), path
    request = subprocess.run(["curl", "-s", "-o", "/dev/null", "-w", "%{http_code}", "-X", "POST",
                              "-H", "Authorization: Bearer s3cret-t0ken", f"http://{site.http}/api/terminals"],
                             capture_output=True, text=True, timeout=WAIT)
    assert request.stdout == "405"


def test_sighup_takes_a_good_file_and_refuses_a_bad_one(make_site):
    site = make_site(4, terminals=2)
    names = dict(site.names)
    site.write_config(names={"t1": names["t1"]})
    site.start()
    site.collected("t1")
    site.write_config(names=names)
    site.signal(signal.SIGHUP)
    site.collected("t1", "t2")
    site.write_config(names=names, extra='every = "soon"')
    site.signal(signal.SIGHUP)
    wait_for("the refusal said", lambda: "refused, the running one kept" in site.process.stderr.readline())
    assert site.process.poll() is None
    assert set(site.terminals()) == {"t1", "t2"}


def test_sigterm_during_a_round_lets_the_running_download_finish(make_site):
    # Enough records that the download is still running when the signal comes.
    site = make_site(5, terminals=1, records=3000, every="1h")
    site.start()
    wait_for("downloading", lambda: site.terminals()["t1"]["downloading"])
    site.signal(signal.SIGTERM)
    assert site.process.wait(WAIT) == 0
    facts = movar_records(site.store)
    assert len(facts) == 3000
    db = sqlite3.connect(site.store)
    assert db.execute("SELECT result, records FROM collections").fetchall() == [("ok", 3000)]
    db.close()


def test_empty_backups_go_and_old_ones_go_once_in_the_store(make_site):
    site = make_site(6, terminals=1, every="1s")
    site.write_config(every="1s", extra='keep = "400d"')
    site.start()
    downbak = site.tmp / "files" / site.names["t1"] / "downbak"
    wait_for("the first download's backup", lambda: list(downbak.glob("*.dat")))
    first = next(downbak.glob("*.dat"))
    wait_for("the first download stored", lambda: len(movar_records(site.store)) == 40)
    # A backup from long ago whose records reached no store: imported first, then removed.
    old = downbak / "k0101000000_00.dat"
    old.write_bytes(first.read_bytes()[:6 * 5])
    os.utime(old, (time.time() - 500 * 86400,) * 2)
    db = sqlite3.connect(site.store)
    db.execute("DELETE FROM attendance")
    db.commit()
    db.close()
    wait_for("the old backup pruned", lambda: not old.exists())
    wait_for("three rounds", lambda: len(list(sqlite3.connect(site.store).execute("SELECT id FROM collections"))) >= 3)
    files = sorted(downbak.iterdir())
    assert [p.name for p in files] == [first.name, first.with_suffix(".txt").name]
    assert all(p.stat().st_size > 0 for p in files)
    assert len(movar_records(site.store)) == 5


def test_a_daily_clock_is_set_once_after_the_first_good_download_and_not_again_after_a_restart(make_site):
    site = make_site(30, terminals=1, every="1s")
    site.write_config(every="1s", extra='clock = "daily"')

    def log():
        with sqlite3.connect(site.store) as db:
            return db.execute("SELECT kind, result FROM collections ORDER BY id").fetchall()

    site.start()
    wait_for("three rounds", lambda: log().count(("download", "ok")) >= 3)
    site.signal(signal.SIGTERM)
    assert site.process.wait(WAIT) == 0
    before = log()
    assert before[:2] == [("download", "ok"), ("clock", "ok")]
    site.start()  # the log, not the process, remembers that today's setting is done
    wait_for("two more rounds", lambda: log()[len(before):].count(("download", "ok")) >= 2)
    assert [kind for kind, _ in log()].count("clock") == 1
    t1 = site.terminals()["t1"]
    assert (t1["state"], t1["clock"]["care"], t1["clock"]["last_setting"]["result"]) == ("ok", "daily", "ok")
    assert t1["clock"]["last_set"] == t1["clock"]["last_setting"]["finished"]



def test_a_second_collector_of_one_sqlite_store_is_refused_naming_the_first(make_site):
    site = make_site(11, terminals=0)
    site.start()
    second = site.tmp / "second.toml"
    second.write_text(site.config.read_text().replace("127.32.11.1:18080", "127.32.11.2:18080"))
    refused = subprocess.run([MOVAR, "serve", "--config", str(second)], capture_output=True, text=True, timeout=WAIT)
    assert refused.returncode == 2
    assert f"is collected already by movar serve process {site.process.pid} on " in refused.stderr


def test_simulated_punches_give_each_download_new_records_only(tmp_path):
    from serve_site import TERMINAL
    sim = subprocess.Popen([TERMINAL, "--tcp", "auto", "--records", "5", "--punches", "4/s"],
                           stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    try:
        ip = sim.stdout.readline().split()[1].split(":")[0]
        texts = []
        for name in ("first", "second"):
            time.sleep(2)
            run = subprocess.run([MOVAR, "download", "--ip", ip, "--dir", str(tmp_path / name)],
                                 capture_output=True, text=True, timeout=WAIT)
            assert run.returncode == 0, run.stderr
            texts.append((tmp_path / name / "movar.txt").read_text().splitlines())
    finally:
        sim.communicate(timeout=WAIT)
    first, second = texts
    seeded = first[:5]
    assert len(set(seeded)) == 5 and len(first) > 5 and len(second) >= 4  # about 8 punches a download
    assert not set(seeded) & set(second)
    # Punches take the persons it started with in turn: the persons of every punch, over both
    # downloads, follow that turn unbroken, so none came twice and none went missing between them.
    persons = [line[:6] for line in first[5:] + second]
    assert persons == [seeded[n % 5][:6] for n in range(len(persons))]
