"""The simulated terminal (movar-terminal) the tests talk to: MOVAR_TERMINAL, else on PATH."""
from __future__ import annotations

import os
import shutil
import subprocess
import threading
import time

import pytest

START_LIMIT_S = 10


class Simulator:
    """movar-terminal on a free 127.0.0.x:1024 and on a pty linked at `com_link`, logging every
    byte it receives. It ends when its standard input closes."""

    def __init__(self, program: str, com_link: str, *options: str):
        self.com_link = com_link
        self._lines: list[str] = []
        self._changed = threading.Condition()
        self._process = subprocess.Popen([program, "--tcp", "auto", "--pty-link", com_link, "--log-bytes", *options],
                                         stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        threading.Thread(target=self._read, daemon=True).start()
        tcp = self._wait_for(lambda lines: [l for l in lines if l.startswith("tcp ")], START_LIMIT_S)
        self.ip = tcp[0].split()[1].split(":")[0]

    def _read(self):
        for line in self._process.stdout:
            with self._changed:
                self._lines.append(line.rstrip("\n"))
                self._changed.notify_all()
        with self._changed:
            self._changed.notify_all()

    def _wait_for(self, found, limit_s: float):
        deadline = time.monotonic() + limit_s
        with self._changed:
            while not (result := found(self._lines)):
                left = deadline - time.monotonic()
                if left <= 0 or self._process.poll() is not None:
                    raise AssertionError(f"movar-terminal: not seen within {limit_s} s; it said {self._lines}")
                self._changed.wait(left)
            return result

    @staticmethod
    def _received(lines) -> bytes:
        # "<seconds> <baud> XX XX ..." per chunk received
        chunks = (line.split()[2:] for line in lines if line.split()[1:2] and line.split()[1].isdigit())
        return bytes(int(b, 16) for chunk in chunks for b in chunk)

    def wait_received(self, wanted: bytes, limit_s: float = 5) -> None:
        self._wait_for(lambda lines: wanted in self._received(lines), limit_s)

    def close(self):
        self._process.stdin.close()
        try:
            self._process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self._process.kill()
            self._process.wait()


@pytest.fixture(autouse=True)
def no_stray_ports(monkeypatch):
    # Only the ports a test maps may answer, never a real /dev/ttyS0.
    for n in range(1, 10):
        monkeypatch.setenv(f"MOVAR_COM{n}", "/nonexistent/movar-test-port")


@pytest.fixture
def simulator(tmp_path, monkeypatch):
    """simulator(*options) starts one more terminal; the first one's pty is COM1."""
    program = os.environ.get("MOVAR_TERMINAL") or shutil.which("movar-terminal")
    if not program:
        pytest.fail("set MOVAR_TERMINAL to the movar-terminal program")
    started = []

    def start(*options: str) -> Simulator:
        started.append(Simulator(program, str(tmp_path / f"com{len(started) + 1}"), *options))
        if len(started) == 1:
            monkeypatch.setenv("MOVAR_COM1", started[0].com_link)
        return started[-1]

    yield start
    for sim in started:
        sim.close()
