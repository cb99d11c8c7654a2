"""The binding against the simulated terminal, through the real library."""
from __future__ import annotations

import socket
import threading
import time
from datetime import datetime
from itertools import islice

import pytest

import movar
from movar.terminal import record_directory


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


def test_watch_goes_on_while_the_terminal_is_away(simulator, tmp_path, monkeypatch):
    monkeypatch.setenv("MOVAR_COM1", str(tmp_path / "com1"))  # where the simulator's pty will be
    found = []
    watcher = threading.Thread(target=lambda: found.extend(islice(movar.Terminal(com=1).watch(interval=0.05), 1)),
                               daemon=True)
    watcher.start()
    time.sleep(0.5)  # polls that find no port

    simulator("--live", "007B930E28C5")
    watcher.join(10)

    assert found == [movar.Record(123, datetime(2009, 3, 14, 8, 5), 7)]


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


def test_a_refused_connection_names_the_address(tmp_path):
    with socket.socket() as held:  # bound but not listening: connections are refused
        for host in range(2, 255):
            try:
                held.bind((f"127.0.0.{host}", 1024))
                break
            except OSError:
                continue
        ip = held.getsockname()[0]

        with pytest.raises(movar.MovarError) as failure:
            movar.Terminal(ip=ip).download(tmp_path)

    assert failure.value.result == 1
    assert ip in failure.value.reason


def test_two_threads_download_into_their_own_directories(simulator, tmp_path):
    sims = [simulator("--records", "40"), simulator("--records", "90")]
    results = {}

    def download(k):
        results[k] = movar.Terminal(ip=sims[k].ip).download(tmp_path / str(k))

    threads = [threading.Thread(target=download, args=(k,)) for k in (0, 1)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join(60)

    assert results == {0: stored(40), 1: stored(90)}
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
