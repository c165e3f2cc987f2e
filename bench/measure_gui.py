#!/usr/bin/env python3
"""Figures of the Qt program, measured on real processes (offscreen platform):
start of `navlume --simulate` to the first painted sheet, CPU of the idle
program with a silent receiver, CPU under a 115200-baud NMEA stream, and CPU
on a modern receiver (navlume-cli sim: 10 Hz, GPS, GLONASS, Galileo, BeiDou;
every talker decoded) in a process of its own.
Usage: bench/measure_gui.py build/app/navlume [build/tools/navlume-cli]"""
import json, os, pty, subprocess, sys, tempfile, threading, time

PROGRAM = sys.argv[1] if len(sys.argv) > 1 else "build/app/navlume"
CLI = sys.argv[2] if len(sys.argv) > 2 else os.path.join(os.path.dirname(PROGRAM), "..", "tools", "navlume-cli")
REGISTRY = ("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\RIL]\r\n"
            "\"StartOptions\"=dword:00000001\r\n")
TICKS = os.sysconf("SC_CLK_TCK")


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICKS


def env(runtime):
    e = dict(os.environ, QT_QPA_PLATFORM="offscreen", XDG_RUNTIME_DIR=runtime)
    return e


def startup():
    """--quit-after 0 leaves right after the sheet's first event-loop pass:
    the time to exit bounds start-up to the painted sheet from above."""
    best = None
    for _ in range(3):
        with tempfile.TemporaryDirectory() as runtime:
            start = time.monotonic()
            subprocess.run([PROGRAM, "--simulate", "--quit-after", "0"], env=env(runtime),
                           stderr=subprocess.DEVNULL, check=True)
            elapsed = time.monotonic() - start
            best = elapsed if best is None else min(best, elapsed)
    return best


def checksum(body):
    value = 0
    for c in body.encode():
        value ^= c
    return f"${body}*{value:02X}\r\n"


def epoch(second):
    t = f"12{(second // 60) % 60:02d}{second % 60:02d}"
    return (checksum(f"GPGGA,{t}.00,4916.45,N,12311.12,W,1,08,0.9,70.0,M,-17.0,M,,")
            + checksum(f"GPRMC,{t}.00,A,4916.45,N,12311.12,W,000.5,054.7,191194,020.3,E")
            + checksum("GPGSA,A,3,04,05,09,12,,,,,,,,,2.5,1.3,2.1")
            + checksum("GPGSV,2,1,08,01,40,083,46,02,17,308,41,12,07,344,39,14,22,228,45")
            + checksum("GPGSV,2,2,08,15,40,083,46,16,17,308,41,17,07,344,39,18,22,228,45"))


def run_on_pty(stream, seconds=10.0):
    master, slave = pty.openpty()
    with tempfile.TemporaryDirectory() as root, tempfile.TemporaryDirectory() as runtime:
        with open(os.path.join(root, "device.ini"), "w") as ini:
            ini.write(f"[hardware]\ngps_type = 3\nwwan_type = 0\n[ports]\nCOM2: = {os.ttyname(slave)}\n")
        with open(os.path.join(root, "registry.reg"), "w") as reg:
            reg.write(REGISTRY)
        proc = subprocess.Popen([PROGRAM, "--root", root], env=env(runtime),
                                stderr=subprocess.DEVNULL)
        stop = threading.Event()

        def drain():  # read what the program sends, so that its writes never block
            while not stop.is_set():
                try:
                    os.read(master, 4096)
                except OSError:
                    return

        threading.Thread(target=drain, daemon=True).start()

        def feed():
            start, sent, second = time.monotonic(), 0, 0
            while not stop.is_set():
                data = epoch(second).encode()
                second += 1
                os.write(master, data)
                sent += len(data)
                delay = start + sent / 11520.0 - time.monotonic()
                if delay > 0:
                    time.sleep(delay)

        if stream:
            threading.Thread(target=feed, daemon=True).start()
        time.sleep(3)  # start-up: the port opens at the first one-second tick
        before = cpu_seconds(proc.pid)
        time.sleep(seconds)
        used = cpu_seconds(proc.pid) - before
        stop.set()
        proc.terminate()
        proc.wait(timeout=30)
        os.close(master)
        os.close(slave)
        return used / seconds * 100.0


def run_on_modern_receiver(seconds=10.0):
    """navlume (Main page in view) on the simulator's terminal; the simulator
    runs in its own process, so its work is not counted."""
    with tempfile.TemporaryDirectory() as root, tempfile.TemporaryDirectory() as runtime:
        sim = subprocess.Popen([CLI, "sim", "--profile", "ublox", "--gnss", "gps,glonass,galileo,beidou",
                                "--rate", "10", "--ttff", "1", "--root", root], stdout=subprocess.PIPE,
                               stderr=subprocess.DEVNULL, text=True)
        json.loads(sim.stdout.readline())  # the simulation is up
        with open(os.path.join(root, "registry.reg"), "w") as reg:
            reg.write(REGISTRY)
        proc = subprocess.Popen([PROGRAM, "--root", root], env=env(runtime), stderr=subprocess.DEVNULL)
        time.sleep(3)  # start-up: the port opens at the first one-second tick
        before = cpu_seconds(proc.pid)
        time.sleep(seconds)
        used = cpu_seconds(proc.pid) - before
        for child in (proc, sim):
            child.terminate()
            child.wait(timeout=30)
        return used / seconds * 100.0


print(f"start to sheet (upper bound, best of 3): {startup():.2f} s")
print(f"idle CPU, silent receiver, 10 s: {run_on_pty(False):.2f} %")
print(f"CPU under a 115200-baud stream, 10 s: {run_on_pty(True):.2f} %")
print(f"CPU on a 10 Hz GPS+GLONASS+Galileo+BeiDou receiver, 10 s: {run_on_modern_receiver():.2f} %")
