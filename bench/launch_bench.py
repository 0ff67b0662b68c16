#!/usr/bin/env python3
"""Launch, memory, CPU and exit of the player beside gst-play-1.0, on a private sound server.

Both players take turns on the same generated MP3, ROUNDS times each, on a PulseAudio null
sink of our own (with a private X display and session bus for the player). Each launch:
  - launch to the first non-silent block on the sink's monitor (recorded with parec),
  - launch to the stream's creation at the sound server (pactl subscribe),
  - RSS, PSS and anonymous memory 5 s after launch (/proc/PID/smaps_rollup), the song's
    lyrics read from their .lyr file,
  - CPU over the next CPU_SECONDS of playing,
  - SIGTERM while playing to the first quieter block on the monitor (the exit fade's start;
    gst-play-1.0 just stops) and to the process's end.
Then the player alone, started on lists it cannot play (/dev/zero, a FIFO, 1,000 entries all
banned), SIGTERM while idle to its end. Medians, and ratios to gst-play-1.0 from this run.
Last, memory alone: the player with lyrics from their file, the player after an answer from a
loopback lyrics database, and bench_floor_window (a Qt window and a playbin, nothing else).

Usage: bench/launch_bench.py [BUILD_DIR] [--rounds N] [--cpu-seconds S]
Needs pulseaudio, pulseaudio-utils, Xvfb, dbus-daemon, gst-play-1.0 and gst-launch-1.0 with
lamemp3enc (scripts/install-deps.sh installs them)."""
import argparse
import array
import collections
import os
import select
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import threading
import time

import private_bus

TICK = os.sysconf("SC_CLK_TCK")
RATE = 44100
LOUD = 64  # a sample beyond this is sound; dither and rounding stay far below


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICK


def memory_kib(pid):
    values = {}
    with open("/proc/%d/smaps_rollup" % pid) as f:
        for line in f:
            parts = line.split()
            if len(parts) >= 2 and parts[0].endswith(":"):
                values[parts[0][:-1]] = int(parts[1])
    return values.get("Rss", 0), values.get("Pss", 0), values.get("Anonymous", 0)


def wait_for(cond, limit=10.0):
    end = time.monotonic() + limit
    while time.monotonic() < end:
        if cond():
            return True
        time.sleep(0.001)
    return cond()


class Monitor:
    """Watches the sink's monitor and the server's stream events from threads of its own."""

    def __init__(self, env):
        self.armed_at = None
        self.first_sound = None
        self.first_stream = None
        self.last_loud = 0.0
        self.blocks = collections.deque(maxlen=2000)  # (arrival, peak) of the last 10 s
        self.rec = subprocess.Popen(
            ["parec", "-d", "bench.monitor", "--raw", "--format=s16le", "--rate=%d" % RATE,
             "--channels=2", "--latency-msec=5"], env=env, stdout=subprocess.PIPE)
        self.sub = subprocess.Popen(["pactl", "subscribe"], env=env, stdout=subprocess.PIPE,
                                    text=True)
        threading.Thread(target=self._record, daemon=True).start()
        threading.Thread(target=self._events, daemon=True).start()

    def arm(self):
        self.first_sound = self.first_stream = None
        self.armed_at = time.monotonic()

    def _record(self):
        fd = self.rec.stdout.fileno()
        while True:
            block = os.read(fd, 441 * 4)  # 5 ms of stereo s16
            if not block:
                return
            now = time.monotonic()
            samples = array.array("h", block[:len(block) // 2 * 2])
            peak = max(max(samples), -min(samples)) if samples else 0
            self.blocks.append((now, peak))
            if peak > LOUD:
                self.last_loud = now
                if self.armed_at is not None and self.first_sound is None:
                    self.first_sound = now

    def _events(self):
        for line in self.sub.stdout:
            if "'new' on sink-input" in line and self.armed_at is not None \
                    and self.first_stream is None:
                self.first_stream = time.monotonic()

    def fade_start(self, since):
        """Ms from `since` to the first block clearly below the level of the half second
        before it, or NaN."""
        blocks = list(self.blocks)
        before = [p for t, p in blocks if since - 0.5 <= t < since]
        if not before:
            return float("nan")
        level = statistics.median(before)
        for t, p in blocks:
            if t >= since and p < 0.9 * level:
                return (t - since) * 1000
        return float("nan")

    def wait_silence(self, seconds=0.3, limit=10.0):
        wait_for(lambda: time.monotonic() - self.last_loud > seconds, limit)

    def close(self):
        for p in (self.rec, self.sub):
            p.terminate()
            p.wait()


def term_and_time(proc, limit=20.0):
    # Popen.wait with a time limit polls in sleeps of up to 50 ms; a pidfd wakes at the end.
    pidfd = os.pidfd_open(proc.pid) if hasattr(os, "pidfd_open") else None
    t = time.monotonic()
    proc.send_signal(signal.SIGTERM)
    try:
        if pidfd is not None:
            select.select([pidfd], [], [], limit)
        end = time.monotonic()
        proc.wait(0 if pidfd is not None else limit)
        if pidfd is None:
            end = time.monotonic()
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()
        return float("nan")
    finally:
        if pidfd is not None:
            os.close(pidfd)
    return (end - t) * 1000


def run_once(cmd, env, cwd, monitor, cpu_window):
    monitor.wait_silence()
    monitor.arm()
    t0 = time.monotonic()
    proc = subprocess.Popen(cmd, env=env, cwd=cwd, stdin=subprocess.DEVNULL,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wait_for(lambda: monitor.first_sound is not None, 10)
    sound = (monitor.first_sound - t0) * 1000 if monitor.first_sound else float("nan")
    stream = (monitor.first_stream - t0) * 1000 if monitor.first_stream else float("nan")
    time.sleep(max(0.0, t0 + 5 - time.monotonic()))
    rss, pss, anon = memory_kib(proc.pid)
    c0, w0 = cpu_seconds(proc.pid), time.monotonic()
    time.sleep(cpu_window)
    cpu = (cpu_seconds(proc.pid) - c0) / (time.monotonic() - w0) * 100
    term_at = time.monotonic()
    exit_ms = term_and_time(proc)
    time.sleep(0.2)
    fade = monitor.fade_start(term_at)
    return {"sound": sound, "stream": stream, "rss": rss / 1024, "pss": pss / 1024,
            "anon": anon / 1024, "cpu": cpu, "fade": fade, "exit": exit_ms}


def memory_only(cmd, env, cwd, ready=lambda: True):
    """RSS, PSS and anonymous memory 5 s after launch, once ready() holds; then SIGTERM."""
    t0 = time.monotonic()
    proc = subprocess.Popen(cmd, env=env, cwd=cwd, stdin=subprocess.DEVNULL,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wait_for(ready, 10)
    time.sleep(max(0.0, t0 + 5 - time.monotonic()))
    values = memory_kib(proc.pid) if proc.poll() is None else (float("nan"),) * 3
    term_and_time(proc)
    return [v / 1024 for v in values]


def idle_exit(player, list_path, env, cwd):
    log = os.path.join(cwd, "log.txt")
    size = os.path.getsize(log) if os.path.exists(log) else 0
    proc = subprocess.Popen([player, list_path], env=env, cwd=cwd, stdin=subprocess.DEVNULL,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    # The start marker is written before the list is read; give the failure time to show.
    wait_for(lambda: os.path.exists(log) and os.path.getsize(log) > size, 10)
    time.sleep(1.0)
    return term_and_time(proc)


def start_services(work):
    procs = []
    pulse = os.path.join(work, "pulse")
    os.makedirs(pulse)
    socket = os.path.join(pulse, "native")
    penv = dict(os.environ, PULSE_RUNTIME_PATH=pulse, PULSE_STATE_PATH=pulse,
                PULSE_CONFIG_PATH=pulse, HOME=work)
    procs.append(subprocess.Popen(
        ["pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
         "--disallow-exit", "--log-target=stderr", "--log-level=0",
         "-L", "module-native-protocol-unix auth-anonymous=1 socket=" + socket,
         "-L", "module-null-sink sink_name=bench", "-L", "module-always-sink"],
        env=penv, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
    if not wait_for(lambda: os.path.exists(socket), 10):
        raise RuntimeError("pulseaudio did not start")
    display = next(":%d" % d for d in range(150, 250)
                   if not os.path.exists("/tmp/.X11-unix/X%d" % d))
    procs.append(subprocess.Popen(["Xvfb", display, "-nolisten", "tcp"],
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
    wait_for(lambda: os.path.exists("/tmp/.X11-unix/X" + display[1:]))
    bus, address = private_bus.start(work)
    procs.append(bus)
    env = dict(os.environ, PULSE_SERVER="unix:" + socket, PULSE_SINK="bench",
               DISPLAY=display, DBUS_SESSION_BUS_ADDRESS=address, HOME=work,
               XDG_CONFIG_HOME=work + "/cfg", XDG_RUNTIME_DIR=work, XDG_DATA_HOME=work + "/data",
               LARKSPUR_LYRICS_DB_URL="http://127.0.0.1:9")
    for name in ("QT_QPA_PLATFORM", "LARKSPUR_AUDIO_SINK"):
        env.pop(name, None)
    subprocess.run(["pactl", "set-default-sink", "bench"], env=env, check=True,
                   stdout=subprocess.DEVNULL)
    return procs, env


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build", nargs="?", default="build")
    parser.add_argument("--rounds", type=int, default=10)
    parser.add_argument("--cpu-seconds", type=float, default=20)
    args = parser.parse_args()
    player = os.path.join(os.path.abspath(args.build), "larkspur")
    for tool in ("pulseaudio", "parec", "pactl", "Xvfb", "dbus-daemon", "gst-play-1.0",
                 "gst-launch-1.0"):
        if not shutil.which(tool):
            print("launch bench: %s is not installed; skipped" % tool)
            return 0
    if not os.access(player, os.X_OK):
        print("launch bench: no %s; run make build first" % player)
        return 1
    work = tempfile.mkdtemp()
    procs = []
    monitor = None
    try:
        procs, env = start_services(work)
        song = os.path.join(work, "Band - Song.mp3")
        seconds = args.cpu_seconds + 15
        subprocess.run(["gst-launch-1.0", "-q", "audiotestsrc", "wave=sine", "volume=0.5",
                        "num-buffers=%d" % int(seconds * RATE / 1024) , "!",
                        "audio/x-raw,rate=%d,channels=2" % RATE, "!", "audioconvert", "!",
                        "lamemp3enc", "!", "filesink", "location=" + song], check=True)
        # Its lyrics come from their file: nothing is fetched.
        with open(os.path.join(work, "Band - Song.lyr"), "w") as f:
            f.write("First line of the song\r\nSecond line of the song\r\n")
        one = os.path.join(work, "one.txt")
        with open(one, "w") as f:
            f.write("0|%s\r\n" % song)
        monitor = Monitor(env)
        cmds = {"larkspur": [player, one],
                "gst-play-1.0": ["gst-play-1.0", "--no-interactive", "-q", song]}
        results = {name: [] for name in cmds}
        for r in range(args.rounds):
            order = list(cmds) if r % 2 == 0 else list(reversed(list(cmds)))
            for name in order:
                results[name].append(run_once(cmds[name], env, work, monitor, args.cpu_seconds))
            print("round %d/%d done" % (r + 1, args.rounds), file=sys.stderr)

        fifo = os.path.join(work, "fifo.txt")
        os.mkfifo(fifo)
        banned = os.path.join(work, "banned.txt")
        with open(banned, "w") as f:
            f.write("".join("-1|%s\r\n" % song for _ in range(1000)))
        idle = {"/dev/zero": "/dev/zero", "a FIFO": fifo, "1,000 banned": banned}
        idle_results = {name: [] for name in idle}
        for _ in range(min(args.rounds, 5)):
            for name, path in idle.items():
                idle_results[name].append(idle_exit(player, path, env, work))

        # Memory beside what it comes from: the song's lyrics fetched from a loopback lyrics
        # database, and the floor of the stack (a Qt window and a playbin, nothing else).
        other = os.path.join(work, "Band - Other.mp3")
        shutil.copy(song, other)
        two = os.path.join(work, "two.txt")
        with open(two, "w") as f:
            f.write("0|%s\r\n" % other)
        db_dir = os.path.join(work, "db")
        os.makedirs(db_dir)
        with open(os.path.join(db_dir, "routes.json"), "w") as f:
            f.write('{"records": [{"artistName": "Band", "trackName": "Other", "duration": %d, '
                    '"instrumental": false, "plainLyrics": "First line\\nSecond line", '
                    '"syncedLyrics": "[00:01.00]First line\\n[00:02.00]Second line"}]}'
                    % int(seconds))
        source = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
        db = subprocess.Popen([sys.executable, os.path.join(source, "tests/support/LyricsDatabase.py"),
                               db_dir], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        procs.append(db)
        db_env = dict(env, LARKSPUR_LYRICS_DB_URL="http://127.0.0.1:%s" % db.stdout.readline().strip())
        requests = os.path.join(db_dir, "requests.log")
        floor = os.path.join(os.path.abspath(args.build), "bench", "bench_floor_window")
        memory = {"larkspur, lyrics from their .lyr file": [],
                  "larkspur, after a lyrics database answer": [],
                  "a Qt window and a playbin, nothing else": []}
        for _ in range(min(args.rounds, 3)):
            memory["larkspur, lyrics from their .lyr file"].append(
                memory_only([player, one], env, work))
            if os.path.exists(requests):
                os.remove(requests)
            memory["larkspur, after a lyrics database answer"].append(
                memory_only([player, two], db_env, work, lambda: os.path.exists(requests)))
            if os.access(floor, os.X_OK):
                memory["a Qt window and a playbin, nothing else"].append(
                    memory_only([floor, song], env, work))

        def med(name, key):
            values = [x[key] for x in results[name] if x[key] == x[key]]
            return statistics.median(values) if values else float("nan")

        rows = [("launch to first sound, ms", "sound"), ("launch to stream, ms", "stream"),
                ("RSS after 5 s, MiB", "rss"), ("PSS after 5 s, MiB", "pss"),
                ("anonymous after 5 s, MiB", "anon"),
                ("CPU over %g s playing, %% of a core" % args.cpu_seconds, "cpu"),
                ("SIGTERM to a quieter output, ms", "fade"),
                ("SIGTERM to exit while playing, ms", "exit")]
        print("Launch bench: medians of %d launches each, alternating" % args.rounds)
        print("%-38s %10s %13s %7s" % ("", "larkspur", "gst-play-1.0", "ratio"))
        for label, key in rows:
            a, b = med("larkspur", key), med("gst-play-1.0", key)
            print("%-38s %10.1f %13.1f %7.2f" % (label, a, b, a / b if b else float("nan")))
        for name, values in idle_results.items():
            good = [v for v in values if v == v]
            print("%-38s %10.1f %13s %7s" % ("SIGTERM to exit, idle on " + name + ", ms",
                                            statistics.median(good) if good else float("nan"),
                                            "-", "-"))
        print("\nMemory 5 s after launch, MiB, medians of %d   %6s %6s %6s"
              % (min(args.rounds, 3), "RSS", "PSS", "anon"))
        for name, values in memory.items():
            if not values:
                print("%-44s %s" % (name, "not built (make bench builds it)"))
                continue
            print("%-44s %6.1f %6.1f %6.1f" % ((name,) + tuple(
                statistics.median(v[i] for v in values) for i in range(3))))
        return 0
    finally:
        if monitor:
            monitor.close()
        for p in reversed(procs):
            p.terminate()
            try:
                p.wait(5)
            except subprocess.TimeoutExpired:
                p.kill()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
