"""The binding against the simulated terminal, through the real library."""
from __future__ import annotations

import asyncio
import builtins
import logging
import os
import socket
import subprocess
import sys
import threading
import time
from datetime import datetime
from itertools import islice
from pathlib import Path

import pytest

import movar
from conftest import Simulator
from movar import _codegen
from movar.terminal import record_directory

TESTS = Path(__file__).resolve().parent


def stored(count: int, machine: int = 0) -> list[movar.Record]:
    # What the simulator's --records N holds: record i is person i at a time derived from i.
    return [movar.Record(i, datetime(2009, 1 + i % 12, 1 + i % 28, i % 24, i % 60), machine) for i in range(count)]


@pytest.mark.parametrize("link, options, files", [
    ("tcp", {}, ("movar.dat", "movar.txt")),
    ("pty", {}, ("movar.dat", "movar.txt")),
    ("tcp", {"number": 3}, ("movar3.dat", "movar3.txt")),
    ("tcp", {"as_machine": 7}, ("movar.dat", "movar.txt")),
])
def test_download_gives_the_records_and_leaves_the_files(simulator, tmp_path, link, options, files):
    sim = simulator("--records", "30", "--address", "7")
    terminal = movar.Terminal(ip=sim.ip) if link == "tcp" else movar.Terminal(com=1, address=7)
    # Addressed downloads take the machine number from the address's last two digits.
    machine = int(sim.ip.split(".")[-1][-2:]) if "as_machine" in options else 0

    records = terminal.download(tmp_path / "records", **options)

    assert records == stored(30, machine)
    binary, text = (tmp_path / "records" / name for name in files)
    assert movar.read_records(binary) == stored(30)
    assert text.read_bytes() == b"".join(b"%06d%02d:%02d%04d%02d%02d%02d\r\n" % (
        r.person, r.time.hour, r.time.minute, r.time.year, r.time.month, r.time.day, r.machine) for r in records)
    assert len(list((tmp_path / "records" / "downbak").iterdir())) == 2


def test_live_records_come_once_each_then_none(simulator):
    sim = simulator("--live", "007B930E28C5", "--live", "01C8930E28C5")
    terminal = movar.Terminal(ip=sim.ip)

    assert list(islice(terminal.watch(interval=0.05), 2)) == [
        movar.Record(123, datetime(2009, 3, 14, 8, 5), 7), movar.Record(456, datetime(2009, 3, 14, 8, 5), 7)]
    assert terminal.realtime() is None


@pytest.mark.parametrize("to_logger", [False, True], ids=["to on_error", "to the movar logger"])
def test_watch_reports_each_outage_once_and_goes_on(tmp_path, monkeypatch, caplog, to_logger):
    program = os.environ["MOVAR_TERMINAL"]
    link = str(tmp_path / "com1")
    monkeypatch.setenv("MOVAR_COM1", link)  # where each simulator's pty will be
    caplog.set_level(logging.INFO, logger="movar")
    found, outages = [], []
    watch = movar.Terminal(com=1).watch(interval=0.05, on_error=None if to_logger else outages.append)
    watcher = threading.Thread(target=lambda: found.extend(islice(watch, 2)), daemon=True)
    watcher.start()
    for k, live in enumerate(("007B930E28C5", "01C8930E28C5")):
        time.sleep(0.5)  # polls that find no port: an outage
        sim = Simulator(program, link, "--live", live)
        deadline = time.monotonic() + 10
        while len(found) <= k and time.monotonic() < deadline:
            time.sleep(0.05)
        sim.close()  # its pty goes with it
    watcher.join(10)

    assert found == [movar.Record(123, datetime(2009, 3, 14, 8, 5), 7), movar.Record(456, datetime(2009, 3, 14, 8, 5), 7)]
    if to_logger:
        assert [(r.levelname, r.getMessage().split(": ")[0]) for r in caplog.records] == [
            ("WARNING", "Terminal(com=1, address=1) cannot be reached"), ("INFO", "Terminal(com=1, address=1) answers again")] * 2
    else:
        assert len(outages) == 2
        assert (type(outages[0]), outages[0].code) == (movar.NoPortError, movar.ErrorCode.NO_PORT)


def test_asyncio_watch_yields_the_live_records_and_ends_when_cancelled(simulator):
    sim = simulator("--live", "007B930E28C5", "--live", "01C8930E28C5")
    interval = 60  # after the two records the watch sleeps; a cancel must end the sleep

    async def watch_then_cancel():
        terminal = movar.aio.Terminal(ip=sim.ip)
        found = []

        async def collect():
            async for record in terminal.watch(interval):
                found.append(record)

        task = asyncio.create_task(collect())
        while len(found) < 2 and not task.done():
            await asyncio.sleep(0.05)
        await asyncio.sleep(0.2)  # into the pause
        task.cancel()
        done, _ = await asyncio.wait({task}, timeout=interval / 2)
        return found, task in done and task.cancelled(), await terminal.realtime()

    found, cancelled, after = asyncio.run(asyncio.wait_for(watch_then_cancel(), 40))

    assert found == [movar.Record(123, datetime(2009, 3, 14, 8, 5), 7), movar.Record(456, datetime(2009, 3, 14, 8, 5), 7)]
    assert cancelled
    assert after is None


@pytest.mark.parametrize("link, name, wire", [
    ("tcp", "张伟", "张伟".encode("gbk")),
    ("tcp", b"Zo\xeb M\xfcller", b"Zo\xeb M\xfcller"),
    ("pty", "Zoë", "Zoë".encode("cp1252")),
])
def test_a_name_arrives_byte_for_byte(simulator, link, name, wire):
    sim = simulator()
    terminal = movar.Terminal(ip=sim.ip) if link == "tcp" else movar.Terminal(com=1, charset="cp1252")

    terminal.send_name(0x0105, name)

    # The name's block: 15 01, its length and complement, the person high byte first, the name.
    sim.wait_received(bytes([0x15, 0x01, len(wire) + 2, 253 - len(wire), 0x01, 0x05]) + wire)


@pytest.fixture
def refusing_ip():
    """An address whose port 1024 refuses connections (bound, not listening)."""
    with socket.socket() as held:
        for host in range(2, 255):
            try:
                held.bind((f"127.0.0.{host}", 1024))
                break
            except OSError:
                continue
        yield held.getsockname()[0]


@pytest.mark.parametrize("failing, error, built_in, code, export, reason", [
    (lambda ip, d: movar.Terminal(ip=ip).download(d), movar.ConnectError, ConnectionError, movar.ErrorCode.CONNECT,
     "LANDOWNLOAD", "{ip}"),
    (lambda ip, d: movar.convert(d, "absent"), movar.RecordFileError, OSError, movar.ErrorCode.FILE,
     "CONVERFILE", "absent.dat"),
    (lambda ip, d: movar.Terminal(com=1).erase(), movar.NoPortError, ConnectionError, movar.ErrorCode.NO_PORT,
     "DELETE", "COM1"),
    (lambda ip, d: movar.Terminal(ip=ip).send_name(1, b"x" * 101), movar.ArgumentError, ValueError,
     movar.ErrorCode.ARGUMENT, "LANSENDNAME", "101"),
])
def test_a_failure_raises_the_class_of_its_code(refusing_ip, tmp_path, failing, error, built_in, code, export, reason):
    with pytest.raises(error) as failure:
        failing(refusing_ip, tmp_path)

    assert isinstance(failure.value, built_in)
    assert (failure.value.code, failure.value.export, failure.value.result) == (code, export, 1)
    assert reason.format(ip=refusing_ip) in failure.value.reason


def downloads_on_threads(ips, directories):
    results = [None, None]

    def download(k):
        results[k] = movar.Terminal(ip=ips[k]).download(directories[k])

    threads = [threading.Thread(target=download, args=(k,)) for k in (0, 1)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join(60)
    return results


def downloads_as_coroutines(ips, directories):
    async def both():
        return await asyncio.gather(*(movar.aio.Terminal(ip=ip).download(d) for ip, d in zip(ips, directories)))
    return list(asyncio.run(both()))


@pytest.mark.parametrize("downloads", [downloads_on_threads, downloads_as_coroutines])
def test_two_downloads_at_once_go_into_their_own_directories(simulator, tmp_path, downloads):
    sims = [simulator("--records", "40"), simulator("--records", "90")]

    results = downloads([sim.ip for sim in sims], [tmp_path / "0", tmp_path / "1"])

    assert results == [stored(40), stored(90)]
    assert [movar.read_records(tmp_path / str(k) / "movar.dat") for k in (0, 1)] == [stored(40), stored(90)]


@pytest.mark.parametrize("sixty_first, machines", [(False, [7, 92, 0]), (True, [7, 62, 0])])
def test_a_record_file_reads_as_records(tmp_path, sixty_first, machines):
    path = tmp_path / "movar.dat"
    # person 123 at 2009-03-14 08:05 on 7; both page flags over a low part of 2; month 13; a stray byte
    path.write_bytes(bytes.fromhex("007B930E28C5" "0001A1C50080" "FFFFFD1F1F3F" "00"))

    assert movar.read_records(path, sixty_first=sixty_first) == [
        movar.Record(123, datetime(2009, 3, 14, 8, 5), machines[0]),
        movar.Record(1, datetime(2010, 1, 5, 0, 0), machines[1]),
        movar.Record(65535, None, machines[2])]


def test_a_record_directory_gives_back_the_one_set_before_it(simulator, tmp_path, monkeypatch):
    monkeypatch.setenv("MOVAR_RECORD_DIR", str(tmp_path / "default"))  # never beside the interpreter
    sim = simulator("--records", "5")
    terminal = movar.Terminal(ip=sim.ip)

    with record_directory(tmp_path / "outer"):
        assert terminal.download(tmp_path / "inner") == stored(5)  # a record_directory of its own
        terminal.restore_all()
        assert movar.raw.LANDOWNLOAD(sim.ip.encode()) == 0

    assert movar.read_records(tmp_path / "outer" / "movar.dat") == stored(5)


@pytest.mark.parametrize("address", ["１０.0.0.1", "10.0.0.é", "10.0.0.1\0junk", b"10.0.0.1"])
def test_an_address_that_is_not_ascii_text_is_refused(address):
    with pytest.raises(ValueError, match="not an ASCII text"):
        movar.Terminal(ip=address)


def test_the_generated_files_are_what_the_lists_and_the_binding_render():
    for path, text in _codegen.rendered().items():
        assert path.read_text(encoding="utf-8") == text, f"{path.name} is stale: run python3 -m movar._codegen"


def test_no_parameter_hides_a_built_in_or_a_module():
    taken = set(dir(builtins)) | set(sys.stdlib_module_names)
    listed = movar._exportlist.load()
    parameters = {p.name for e in listed.exports for p in e.parameters}
    for function in [*vars(movar.Terminal).values(), movar.convert, movar.convert_transactions, movar.copy_name]:
        parameters |= set(getattr(function, "__code__", None) and function.__code__.co_varnames[
            :function.__code__.co_argcount + function.__code__.co_kwonlyargcount] or ())

    assert parameters & taken == set()


@pytest.mark.parametrize("source, complaint", [
    ((TESTS / "typed_caller.py").read_text(encoding="utf-8"), None),
    ("import movar\nmovar.raw.LANDOWNLOAD(7)\n", "[arg-type]"),
    ("import movar\nmovar.Terminal(ip='10.0.0.1').watch(1.0, on_eror=print)\n", "[call-arg]"),
], ids=["a typed caller", "a raw argument of the wrong type", "a misspelt keyword"])
def test_mypy_checks_a_caller_and_the_binding_strictly(tmp_path, source, complaint):
    (tmp_path / "caller.py").write_text(source, encoding="utf-8")
    checked = subprocess.run([sys.executable, "-m", "mypy", "--strict", "--cache-dir", str(tmp_path / "cache"),
                              str(tmp_path / "caller.py"), str(TESTS.parent / "movar")], capture_output=True, text=True,
                             env={**os.environ, "MYPYPATH": str(TESTS.parent)})

    if complaint is None:
        assert checked.returncode == 0, checked.stdout
    else:
        assert checked.returncode == 1 and complaint in checked.stdout, checked.stdout


def test_the_progress_hook_row_is_callable_through_raw(simulator, tmp_path):
    sim = simulator("--records", "3")
    events = []
    hook = movar.raw.movar_progress_hook_fn(lambda context, event, value, text: events.append((event, value, text)))

    movar.raw.movar_set_progress_hook(hook, None)
    try:
        movar.Terminal(ip=sim.ip).download(tmp_path)
    finally:
        movar.raw.movar_set_progress_hook(None, None)  # a null pointer: no hook
    movar.Terminal(ip=sim.ip).download(tmp_path)

    assert events == [(1, 2, None), (3, 0, f"connect {sim.ip} success".encode()), (2, 100, None), (4, 0, None)]
