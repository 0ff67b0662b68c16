#!/usr/bin/env python3
"""A long run of the real player on a private X display and session bus.

200 two-second songs, a third of them broken or missing, and every few seconds one action
at random, each through the keys and menus a person would use: Next (F3), Pause and Play
(F4), volume (F2/F1), Never play again (the window's pop-up menu), a finder play (F5, a
song's name, Enter, Down, Enter), an import (F12, a small M3U, PLS or text playlist typed
into the file dialog, some entries new, some already in the list), and lyrics lookups
(Ctrl+E, Ctrl+L, Ctrl+N, F6 with Enter, F10) against loopback sites that answer slowly,
with errors or with broken pages on purpose.

At the end the player must be alive and playing; every path never banned must have its
saved count raised by exactly its song lines in the play log (from its imported count; a
missing file counts from 0 again, as the selection rule says); no banned path may play
after its ban; resident memory may grow by less than 5 MB beyond what the imported entries
need, and the open file descriptors not at all between the warm-up and the end.

Usage: bench/soak.py [SECONDS] [BUILD_DIR] (bench/soak.sh installs what it needs first).
"""
import json
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

import private_bus

HERE = os.path.dirname(os.path.abspath(__file__))
SUPPORT = os.path.join(os.path.dirname(HERE), "tests", "support")
SONGS = 200
RSS_LIMIT_KB = 5 * 1024


def wait_for(cond, limit):
    end = time.monotonic() + limit
    while time.monotonic() < end:
        if cond():
            return True
        time.sleep(0.05)
    return cond()


class Server:
    """One of the loopback sites of tests/support; it serves until its input closes."""

    def __init__(self, script, folder):
        self.folder = folder
        os.makedirs(folder, exist_ok=True)
        self.proc = subprocess.Popen([sys.executable, os.path.join(SUPPORT, script), folder],
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        self.port = int(self.proc.stdout.readline())
        self.url = "http://127.0.0.1:%d" % self.port

    def requests(self):
        try:
            with open(os.path.join(self.folder, "requests.log"), encoding="utf-8",
                      errors="replace") as f:
                return [line.rstrip("\n").split("\t")[0] for line in f]
        except FileNotFoundError:
            return []

    def stop(self):
        self.proc.stdin.close()
        try:
            self.proc.wait(5)
        except subprocess.TimeoutExpired:
            self.proc.kill()


def write(path, text, encoding="utf-8"):
    with open(path, "w", encoding=encoding, newline="") as f:
        f.write(text)


def lyrics_site(folder, rnd):
    """The search engine's result page changes between actions: a good first hit, a slow
    one, a missing one, a page of rubbish, or no results at all."""
    write(os.path.join(folder, "good.html"),
          "<html><body><div>First line of the song<br>Second line, sung twice<br>"
          "Second line, sung twice</div></body></html>")
    write(os.path.join(folder, "rubbish.html"),
          "<html><body><div><table><tr><td>" + "<b>&amp;#;" * 2000 + "</body>")
    write(os.path.join(folder, "index.html"),
          "<html><body>ENGLISCH DEUTSCH<table><tr><td>line</td><td>Zeile</td></tr>"
          "<tr><td>song</td><td>Lied</td></tr></table>Legende</body></html>")
    firsts = ["good.html", "slow/good.html?s=3", "missing.html", "rubbish.html",
              "slow/rubbish.html?s=1"]

    def shuffle():
        order = rnd.sample(firsts, len(firsts))
        if rnd.random() < 0.15:
            body = "<html><body>No results</body></html>"
        else:
            body = "<html><body><div id=res>" + "".join(
                '<p class=g><a class=l href="http://127.0.0.1:{PORT}/%s">hit</a><br>x</p>' % n
                for n in order) + "</div></body></html>"
        write(os.path.join(folder, "search.html"), body)

    shuffle()
    return shuffle


def catalogue_site(folder):
    write(os.path.join(folder, "front.html"),
          '<html><frameset><frame name="top" src="top.php?a=b">'
          '<frame name="menu" src="menu.php?sid=S1"></frameset></html>', "latin-1")
    rows = "".join('<div style="margin-left:5px"><font face="Arial"><a href="song%d.html">'
                   'Song %d</a></font><br><font size="2">Text %d f\xfcr dich</div>\n' % (i, i, i)
                   for i in range(10))
    write(os.path.join(folder, "search.html"),
          "<html><body>Ergebnisse <b>1-10</b> von insgesamt <b>25</b><br>" + rows +
          "</body></html>", "latin-1")
    for i in range(0, 10, 2):  # odd hits are missing pages
        write(os.path.join(folder, "song%d.html" % i),
              "<html><body><pre>Catalogue song %d\nwith two lines</pre></body></html>" % i,
              "latin-1")


def database_routes(server, rnd, routes):
    """Every song the database was asked about gets an answer for its next request: lyrics,
    timed lyrics, broken JSON, a server error, or a slow answer."""
    for target in server.requests():
        if target in routes:
            continue
        kind = rnd.choice(["plain", "synced", "broken", "error", "slow", "none"])
        record = {"duration": 2, "instrumental": False,
                  "plainLyrics": "Database words\nfor this song", "syncedLyrics": None}
        if kind == "synced":
            record["syncedLyrics"] = "[00:00.20]Timed one\n[00:01.00]Timed two\n"
        route = {"status": 200, "body": json.dumps(record)}
        if kind == "broken":
            route["body"] = '{"plainLyrics": "cut off'
        elif kind == "error":
            route = {"status": 500, "body": "Internal error"}
        elif kind == "slow":
            route["delay"] = 2.5
        elif kind == "none":
            route = {"status": 404, "body": '{"code":404,"name":"TrackNotFound"}'}
        routes[target] = route
    write(os.path.join(server.folder, "routes.json.new"), json.dumps(routes))
    os.replace(os.path.join(server.folder, "routes.json.new"),
               os.path.join(server.folder, "routes.json"))


class Desktop:
    def __init__(self, env):
        self.env = env

    def x(self, *args, timeout=15):
        try:
            return subprocess.run(["xdotool", *args], env=self.env, capture_output=True,
                                  text=True, timeout=timeout).stdout.strip()
        except subprocess.TimeoutExpired:
            return ""

    def windows(self, pid):
        return [w for w in self.x("search", "--onlyvisible", "--pid", str(pid)).split() if w]

    def name(self, w):
        return self.x("getwindowname", w)

    def activate(self, w):
        self.x("windowactivate", "--sync", w, timeout=5) or self.x("windowfocus", w)

    def key(self, *keys):
        self.x("key", "--delay", "60", *keys)

    def type(self, text):
        self.x("type", "--delay", "8", text)

    def geometry(self, w):
        out = self.x("getwindowgeometry", "--shell", w)
        g = dict(line.split("=", 1) for line in out.splitlines() if "=" in line)
        return int(g.get("X", 0)), int(g.get("Y", 0)), int(g.get("WIDTH", 0)), int(g.get("HEIGHT", 0))

    def click(self, w, x, y, button=1):
        self.x("mousemove", "--window", w, str(x), str(y))
        self.x("click", str(button))


def rss_kb(pid):
    try:
        with open("/proc/%d/status" % pid) as f:
            for line in f:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return 0


def fds(pid):
    try:
        names = os.listdir("/proc/%d/fd" % pid)
    except OSError:
        return []
    out = []
    for n in names:
        try:
            out.append(os.readlink("/proc/%d/fd/%s" % (pid, n)))
        except OSError:
            pass
    return out


def fd_kinds(links):
    kinds = {}
    for link in links:
        kind = link.split(":", 1)[0] if ":" in link else "file"
        kinds[kind] = kinds.get(kind, 0) + 1
    return " ".join("%s %d" % kv for kv in sorted(kinds.items()))


def read_list(path):
    entries = []
    with open(path, "rb") as f:
        for line in f.read().decode("utf-8", "replace").split("\r\n"):
            if line:
                count, _, p = line.partition("|")
                entries.append((int(count), p))
    return entries


def read_log(path, work):
    """The play log's lines as (kind, path): ("song", path) for song lines, ("mark", text)."""
    lines = []
    try:
        with open(path, "rb") as f:
            text = f.read().decode("utf-8", "replace")
    except FileNotFoundError:
        return lines
    marker = " - " + work + "/"
    for line in text.split("\r\n"):
        if not line:
            continue
        at = line.find(marker)
        if at >= 0:
            lines.append(("song", line[at + 3:]))
        else:
            lines.append(("mark", line.strip()))
    return lines


class Soak:
    def __init__(self, secs, build):
        self.secs = secs
        self.player_bin = os.path.join(os.path.abspath(build), "larkspur")
        self.rnd = random.Random(int(os.environ.get("SOAK_SEED", time.time())))
        self.work = tempfile.mkdtemp(prefix="larkspur-soak.")
        self.procs = []
        self.servers = []
        self.fail = []
        self.n = {}
        self.initial = {}  # path -> [counts of its entries as added]
        self.imported_bytes = 0
        self.list_file = os.path.join(self.work, "list.txt")
        self.dialogs = []
        self.finder_asked = []  # (log length before, path asked for)
        self.paused = False

    def count(self, what, by=1):
        self.n[what] = self.n.get(what, 0) + by

    # ---- set-up

    def make_songs(self):
        tone = os.path.join(self.work, "tone.mp3")
        subprocess.run(["gst-launch-1.0", "-q", "audiotestsrc", "num-buffers=86", "freq=440",
                        "!", "audioconvert", "!", "lamemp3enc", "!", "filesink",
                        "location=" + tone], check=True, capture_output=True)
        self.tone = tone
        lines = []
        for i in range(1, SONGS + 1):
            path = "%s/Soak Artist %03d - Song %03d.mp3" % (self.work, i, i)
            self.place(path, i)
            self.initial.setdefault(path, []).append(0)
            lines.append("0|%s\r\n" % path)
        write(self.list_file, "".join(lines))

    def place(self, path, i):
        """Two of three play, every sixth is noise, every sixth is missing."""
        if i % 3:
            shutil.copyfile(self.tone, path)
        elif i % 2 == 0:
            with open(path, "wb") as f:
                f.write(os.urandom(40000))

    def start(self):
        self.make_songs()
        self.search_site = Server("LyricsSites.py", os.path.join(self.work, "sites"))
        self.catalogue = Server("CatalogueSite.py", os.path.join(self.work, "catalogue"))
        self.database = Server("LyricsDatabase.py", os.path.join(self.work, "database"))
        self.servers = [self.search_site, self.catalogue, self.database]
        self.reshuffle = lyrics_site(self.search_site.folder, self.rnd)
        catalogue_site(self.catalogue.folder)
        self.routes = {}
        database_routes(self.database, self.rnd, self.routes)

        display = next(":%d" % d for d in range(140, 240)
                       if not os.path.exists("/tmp/.X11-unix/X%d" % d)
                       and not os.path.exists("/tmp/.X%d-lock" % d))
        self.spawn(["Xvfb", display, "-screen", "0", "1280x1024x24", "-nolisten", "tcp"])
        if not wait_for(lambda: os.path.exists("/tmp/.X11-unix/X" + display[1:]), 10):
            raise RuntimeError("Xvfb did not start")
        env = {k: v for k, v in os.environ.items()
               if not k.startswith(("QT_", "LARKSPUR_", "DBUS_", "XDG_"))}
        bus, address = private_bus.start(self.work)
        self.procs.append(bus)
        run = os.path.join(self.work, "run")
        os.makedirs(run, mode=0o700)
        os.makedirs(os.path.join(self.work, "nodictd"))
        env.update(DISPLAY=display, DBUS_SESSION_BUS_ADDRESS=address,
                   XDG_CONFIG_HOME=self.work + "/cfg", XDG_DATA_HOME=self.work + "/data",
                   XDG_CACHE_HOME=self.work + "/cache", XDG_RUNTIME_DIR=run,
                   LARKSPUR_AUDIO_SINK="fakesink",
                   LARKSPUR_SEARCH_URL=self.search_site.url,
                   LARKSPUR_DICTIONARY_URL=self.search_site.url,
                   LARKSPUR_CATALOGUE_URL=self.catalogue.url,
                   LARKSPUR_LYRICS_DB_URL=self.database.url,
                   LARKSPUR_DICTD_DIR=self.work + "/nodictd")
        self.env = env
        self.spawn(["openbox"], env=env)
        self.desk = Desktop(env)
        self.out = open(os.path.join(self.work, "out.txt"), "w")
        self.player = subprocess.Popen([self.player_bin, self.list_file], cwd=self.work, env=env,
                                       stdout=self.out, stderr=subprocess.STDOUT)
        self.procs.append(self.player)
        self.pid = self.player.pid
        self.win = None
        for _ in range(80):
            for w in self.desk.windows(self.pid):
                if "Larkspur" in self.desk.name(w):
                    self.win = w
            if self.win:
                break
            time.sleep(0.25)
        if not self.win:
            raise RuntimeError("the window did not appear")
        self.log = os.path.join(self.work, "log.txt")

    def spawn(self, args, env=None):
        self.procs.append(subprocess.Popen(args, env=env, stdout=subprocess.DEVNULL,
                                           stderr=subprocess.DEVNULL))

    def stop(self):
        for p in reversed(self.procs):
            if p.poll() is None:
                p.terminate()
                try:
                    p.wait(5)
                except subprocess.TimeoutExpired:
                    p.kill()
        for s in self.servers:
            s.stop()

    # ---- what a person does

    def alive(self):
        return self.player.poll() is None

    def log_lines(self):
        return read_log(self.log, self.work)

    def front(self):
        """Closes what popped up (a message box, a left-over dialog) and brings the window up."""
        for w in self.desk.windows(self.pid):
            if w == self.win:
                continue
            name = self.desk.name(w)
            if not name:
                continue  # a menu or a tool tip
            self.dialogs.append(name)
            self.desk.activate(w)
            self.desk.key("Escape")
        self.desk.activate(self.win)

    def focus_memo(self):
        # Esc closes an open side frame and puts the caret in the lyrics; a click on the
        # lyrics does the rest.
        self.desk.key("Escape")
        _, _, w, h = self.desk.geometry(self.win)
        self.desk.click(self.win, min(w // 3, 120), h // 2)

    def act_next(self):
        self.desk.key("F3")
        self.paused = False

    def act_pause(self):
        self.desk.key("F4")
        self.paused = not self.paused

    def act_volume(self):
        self.desk.key(self.rnd.choice(["F1", "F2"]))

    def act_ban(self):
        # Half the time the song is one listed twice, found and played first, as a person
        # bans a song they searched for.
        twice = [p for p in self.playable_names() if len(self.initial[p]) > 1]
        if twice and self.rnd.random() < 0.5:
            path = self.rnd.choice(twice)
            self.find_and_play(path)
            last = lambda: ([t for k, t in self.log_lines() if k == "song"] or [None])[-1]
            wait_for(lambda: last() == path, 4)
            self.front()
        before = sum(1 for k, t in self.log_lines() if t.endswith("NEVER PLAY AGAIN"))
        _, _, w, h = self.desk.geometry(self.win)
        # The toolbar beside its buttons: the window's own pop-up menu.
        self.desk.click(self.win, min(w - 20, 330), 30, button=3)
        time.sleep(0.3)
        self.desk.key("Down", "Down", "Down", "Down", "Return")
        self.paused = False
        if not wait_for(lambda: sum(1 for k, t in self.log_lines()
                                    if t.endswith("NEVER PLAY AGAIN")) > before, 3):
            self.count("ban not taken")
            self.desk.key("Escape")

    def playable_names(self):
        banned = self.banned_paths()
        return [p for p in self.initial if p not in banned]

    def act_finder(self):
        self.find_and_play(self.rnd.choice(self.playable_names()))

    def find_and_play(self, path):
        name = os.path.basename(path)
        words = name[: name.rfind(".")]
        self.desk.key("F5")
        time.sleep(0.2)
        self.desk.type(words)
        self.desk.key("Return")
        time.sleep(0.3)
        before = len(self.log_lines())
        self.desk.key("Down", "Return")
        self.finder_asked.append((before, path))
        self.paused = False
        time.sleep(0.2)
        self.desk.key("Escape")

    def act_import(self):
        kind = self.rnd.choice(["m3u", "pls", "txt"])
        k = self.n.get("import", 0) + 1
        entries = []  # (count, path)
        for j in range(self.rnd.randint(2, 5)):  # new songs
            path = "%s/Import %02d Artist %d - Tune %d.mp3" % (self.work, k, j, j)
            self.place(path, self.rnd.randint(1, 6))
            count = self.rnd.randint(0, 4) if kind == "txt" else 0
            entries.append((count, path))
        for path in self.rnd.sample(self.playable_names(), 3):  # already in the list
            if os.path.exists(path) and path not in self.missing_ever:
                entries.append((self.rnd.randint(0, 2) if kind == "txt" else 0, path))
        self.rnd.shuffle(entries)
        name = os.path.join(self.work, "playlists", "import%02d.%s" % (k, kind))
        os.makedirs(os.path.dirname(name), exist_ok=True)
        if kind == "m3u":
            text = "#EXTM3U\n" + "".join("#EXTINF:2,x\n%s\n" % p for _, p in entries)
        elif kind == "pls":
            text = "[playlist]\n" + "".join("File%d=%s\nTitle%d=x\n" % (i + 1, p, i + 1)
                                            for i, (_, p) in enumerate(entries))
            text += "NumberOfEntries=%d\nVersion=2\n" % len(entries)
        else:  # a text playlist: plain paths and saved entries with their counts
            text = "".join(("%d|%s\r\n" % (c, p)) if c or self.rnd.random() < 0.5
                           else "%s\r\n" % p for c, p in entries)
        write(name, text)
        self.desk.key("F12")
        dialog = self.desk.x("search", "--sync", "--onlyvisible", "--name", "Open a Playlist",
                             timeout=10).split()
        if not dialog:
            self.count("import dialog missing")
            return
        time.sleep(0.3)
        self.desk.key("ctrl+a")
        self.desk.type(name)
        time.sleep(0.3)
        self.desk.key("Return")
        if not wait_for(lambda: not self.desk.x("search", "--onlyvisible", "--name",
                                                "Open a Playlist"), 3):
            self.desk.key("Return")  # the completer's pop-up took the first Enter
        if not wait_for(lambda: not self.desk.x("search", "--onlyvisible", "--name",
                                                "Open a Playlist"), 3):
            self.count("import dialog stuck")
            self.desk.key("Escape")
            return
        self.count("import")
        self.count("import " + kind)
        for c, p in entries:
            self.count("imported new" if p not in self.initial else "imported again")
            self.initial.setdefault(p, []).append(c)
            self.imported_bytes += len("%d|%s" % (c, p))
            if not os.path.exists(p):
                self.missing_ever.add(p)
        if kind == "txt":
            self.list_file = name
        self.paused = False

    def act_lyrics(self):
        self.focus_memo()
        what = self.rnd.choice(["search", "search", "database", "new search", "catalogue",
                                "translate"])
        self.count("lyrics " + what)
        if what == "search":
            self.desk.key("ctrl+e")
        elif what == "database":
            self.desk.key("ctrl+l")
        elif what == "new search":
            self.desk.key("ctrl+n")
        elif what == "catalogue":
            self.desk.key("F6")
            time.sleep(0.2)
            self.desk.key("Return")
            time.sleep(1.0)
            self.desk.key("Tab", "Tab", "Tab", "Down")  # a hit, whose song text loads
            time.sleep(0.5)
            self.desk.key("Escape")
        else:
            self.desk.key("F10")
            time.sleep(0.8)
            self.desk.key("Escape")

    def banned_paths(self):
        banned, last = {}, None
        for i, (kind, text) in enumerate(self.log_lines()):
            if kind == "song":
                last = text
            elif text.endswith("NEVER PLAY AGAIN") and last and last not in banned:
                banned[last] = i
        return banned

    # ---- the run

    def figures(self):
        return rss_kb(self.pid), fds(self.pid)

    def run(self):
        self.missing_ever = {p for p in self.initial if not os.path.exists(p)}
        time.sleep(3)
        self.rss_start, self.fd_start = self.figures()
        actions = [("next", self.act_next, 4), ("pause", self.act_pause, 4),
                   ("volume", self.act_volume, 2), ("ban", self.act_ban, 1),
                   ("finder", self.act_finder, 2), ("import", self.act_import, 1),
                   ("lyrics", self.act_lyrics, 4)]
        end = time.monotonic() + self.secs
        # Warm-up: every action once, so what loads at first use is loaded before measuring.
        for name, act, _ in actions + [("lyrics", self.act_lyrics, 0)] * 3:
            if not self.alive():
                break
            self.front()
            act()
            if name != "import":  # an import counts itself once its dialog took the file
                self.count(name)
            time.sleep(1.5)
        if self.paused:
            self.front()
            self.act_pause()
        time.sleep(5)
        self.rss_warm, self.fd_warm = self.figures()
        weights = [a[2] for a in actions]
        self.rss_minutes, next_sample = [], time.monotonic() + 60
        while time.monotonic() < end and self.alive():
            if time.monotonic() >= next_sample:
                self.rss_minutes.append(rss_kb(self.pid))
                next_sample += 60
            time.sleep(self.rnd.uniform(1.5, 4.0))
            if self.rnd.random() < 0.3:
                self.reshuffle()
            database_routes(self.database, self.rnd, self.routes)
            name, act, _ = self.rnd.choices(actions, weights)[0]
            if name == "pause" and self.paused:
                name = "play"
            self.front()
            act()
            if name != "import":
                self.count(name)
        self.alive_at_end = self.alive()
        if self.alive_at_end:
            self.front()
            if self.paused:
                self.act_pause()
            self.desk.key("Escape")
        before = sum(1 for k, _ in self.log_lines() if k == "song")
        time.sleep(10)
        self.songs_last_10s = sum(1 for k, _ in self.log_lines() if k == "song") - before
        self.status = self.mpris_status()
        self.rss_end, self.fd_end = self.figures()
        self.player.send_signal(signal.SIGTERM)
        try:
            self.player.wait(15)
            self.exited = True
        except subprocess.TimeoutExpired:
            self.exited = False

    def mpris_status(self):
        try:
            out = subprocess.run(
                ["gdbus", "call", "--session", "--dest", "org.mpris.MediaPlayer2.larkspur",
                 "--object-path", "/org/mpris/MediaPlayer2", "--method",
                 "org.freedesktop.DBus.Properties.Get", "org.mpris.MediaPlayer2.Player",
                 "PlaybackStatus"], env=self.env, capture_output=True, text=True, timeout=10)
            m = re.search(r"'(\w+)'", out.stdout)
            return m.group(1) if m else "no answer"
        except (OSError, subprocess.TimeoutExpired):
            return "no answer"

    # ---- the verdict

    def check(self):
        lines = self.log_lines()
        songs = [t for k, t in lines if k == "song"]
        failures = sum(1 for k, t in lines if "ABSPIELFEHLER" in t)
        plays = {}
        for p in songs:
            plays[p] = plays.get(p, 0) + 1
        banned = self.banned_paths()
        after_ban = sorted({t for i, (k, t) in enumerate(lines)
                            if k == "song" and t in banned and i > banned[t]})
        saved = {}
        try:
            for c, p in read_list(self.list_file):
                saved.setdefault(p, []).append(c)
        except (OSError, ValueError) as e:
            self.fail.append("the saved list cannot be read: %s" % e)
        wrong = []
        for p in sorted(set(self.initial) | set(saved)):
            got, start = saved.get(p), self.initial.get(p)
            if got is None or start is None or len(got) != len(start):
                wrong.append("%s: entries %s, added %s" % (p, got, start))
            elif p in banned:
                if any(c != -1 for c in got):
                    wrong.append("%s banned, saved %s" % (p, got))
            elif not os.path.exists(p):
                # The selection rule: a missing file counts from 0 when it is played.
                want = [1] if plays.get(p) else start
                if got != want:
                    wrong.append("%s (missing): saved %s, want %s" % (p, got, want))
            elif sum(got) != sum(start) + plays.get(p, 0):
                wrong.append("%s: saved %s, added %s, song lines %d" % (p, got, start,
                                                                        plays.get(p, 0)))
        asked_ok = 0
        for before, path in self.finder_asked:
            # A song that ended during the skip fade may have started one at random first.
            asked_ok += path in [t for k, t in lines[before:] if k == "song"][:3]

        # Each imported entry is its text in the list's arena and a 16-byte span; twice
        # that for the arena's and the span table's growth by doubling.
        entries = self.n.get("imported new", 0) + self.n.get("imported again", 0)
        need_kb = (2 * (self.imported_bytes + 16 * entries) + 1023) // 1024
        growth = self.rss_end - self.rss_warm
        rows = [
            ("run", "%d s, %d songs (%d playable, %d noise, %d missing)" % (
                self.secs, SONGS, SONGS - SONGS // 3, SONGS // 6, SONGS // 3 - SONGS // 6)),
            ("song lines", "%d (failures logged %d, finished or skipped %d)" % (
                len(songs), failures, len(songs) - failures)),
            ("keys", "next %d, pause %d, play %d, volume %d" % tuple(
                self.n.get(k, 0) for k in ("next", "pause", "play", "volume"))),
            ("bans", "%d pressed, %d in the log, played after their ban %d" % (
                self.n.get("ban", 0), len(banned), len(after_ban))),
            ("finder", "%d plays, %d played the song asked for" % (
                len(self.finder_asked), asked_ok)),
            ("imports", "%d (m3u %d, pls %d, text %d): %d new entries, %d already listed" % (
                self.n.get("import", 0), self.n.get("import m3u", 0), self.n.get("import pls", 0),
                self.n.get("import txt", 0), self.n.get("imported new", 0),
                self.n.get("imported again", 0))),
            ("lyrics", ", ".join("%s %d" % (k[7:], v) for k, v in sorted(self.n.items())
                                 if k.startswith("lyrics "))),
            ("requests", "search site %d, catalogue %d, database %d" % tuple(
                len(s.requests()) for s in self.servers)),
            ("dialogs closed", "%d %s" % (len(self.dialogs), sorted(set(self.dialogs)))),
            ("RSS kB", "start %d, warm %d, end %d: growth %d (limit %d + imports %d)" % (
                self.rss_start, self.rss_warm, self.rss_end, growth, RSS_LIMIT_KB, need_kb)),
            ("RSS by minute", " ".join(str(r) for r in self.rss_minutes) or "-"),
            ("open fds", "start %d, warm %d, end %d (end: %s)" % (
                len(self.fd_start), len(self.fd_warm), len(self.fd_end), fd_kinds(self.fd_end))),
            ("counts", "%d paths checked, %d wrong" % (len(set(self.initial) | set(saved)),
                                                      len(wrong))),
            ("at the end", "alive %s, songs in the last 10 s %d, MPRIS %s, exited on SIGTERM %s" % (
                "yes" if self.alive_at_end else "no", self.songs_last_10s, self.status,
                "yes" if self.exited else "no")),
        ]
        if not self.alive_at_end:
            self.fail.append("the player died")
        if self.songs_last_10s < 1 or self.status != "Playing":
            self.fail.append("not playing at the end")
        if not self.exited:
            self.fail.append("still running 15 s after SIGTERM")
        if after_ban:
            self.fail.append("played after their ban: %s" % after_ban[:5])
        if wrong:
            self.fail.append("counts and log disagree: %s" % wrong[:5])
        if growth >= RSS_LIMIT_KB + need_kb:
            self.fail.append("resident memory grew by %d kB" % growth)
        if len(self.fd_end) > len(self.fd_warm):
            grown = sorted(set(self.fd_end) - set(self.fd_warm))
            self.fail.append("open files grew: %s" % grown[:10])
        for what in ("ban not taken", "import dialog missing", "import dialog stuck"):
            if self.n.get(what):
                self.fail.append("%s: %d times" % (what, self.n[what]))
        if self.fail:
            self.out.flush()
            with open(os.path.join(self.work, "out.txt")) as f:
                print("soak: the player's last words:\n" + "".join(f.readlines()[-10:]), end="")
        for k, v in rows:
            print("soak: %-14s %s" % (k, v))
        for f in self.fail:
            print("soak: FAIL " + f)
        if self.fail:
            return 1
        print("soak: ok")
        return 0


def main():
    secs = int(sys.argv[1]) if len(sys.argv) > 1 else 600
    build = sys.argv[2] if len(sys.argv) > 2 else "build"
    if not os.access(os.path.join(build, "larkspur"), os.X_OK):
        print("soak: no %s/larkspur; run make build first" % build)
        return 1
    soak = Soak(secs, build)
    try:
        soak.start()
        soak.run()
        return soak.check()
    except (RuntimeError, subprocess.CalledProcessError) as e:
        print("soak: %s" % e)
        return 1
    finally:
        soak.stop()
        if os.environ.get("SOAK_KEEP"):
            print("soak: kept %s" % soak.work)
        else:
            shutil.rmtree(soak.work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
