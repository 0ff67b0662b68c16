"""The ten global shortcuts on KDE's real stack, as scripts/kde-session.sh starts it (KWin
with its kglobalaccel and both portals on a private bus): each is pressed through kglobalaccel's
invokeShortcut on the player's component and checked where a user would see it: the play log,
MPRIS, the window in KWin, requests to a loopback web, the saved volume. Usage: BUILD_DIR"""
import http.server, os, re, shlex, subprocess, sys, tempfile, threading, time

SESSION = os.path.join(os.path.dirname(__file__), "..", "..", "scripts", "kde-session.sh")
IDS = sorted(["pause", "next", "find-song", "translate", "lyrics-catalogue", "volume-down",
              "volume-up", "lyrics-search", "show", "close"])


def wait(what, check, seconds=20):
    end = time.monotonic() + seconds
    while not check():
        assert time.monotonic() < end, "timed out waiting for " + what
        time.sleep(0.1)


def read(path):
    try:
        return open(path, "rb").read()
    except OSError:
        return b""


def call(dest, path, method, *args):
    return subprocess.run(["gdbus", "call", "--session", "--dest", dest, "--object-path", path,
                           "--method", method, *args], capture_output=True, text=True).stdout


def window(work, pid, change=""):  # (width, minimized) as a KWin script finds it
    tag = "w%d" % time.monotonic_ns()
    with open(work + "/" + tag, "w") as f:
        f.write('workspace.clientList().forEach(function(c) { if (c.pid == %d) { %s print("%s "'
                ' + c.width + " " + c.minimized); } });' % (pid, change, tag))
    for method, *args in (("loadScript", work + "/" + tag, tag), ("start",), ("unloadScript", tag)):
        call("org.kde.KWin", "/Scripting", "org.kde.kwin.Scripting." + method, *args)
    found = []
    log = lambda: read(work + "/kwin.log").decode()
    wait("KWin", lambda: found.extend(re.findall(tag + r" (\d+) (\w+)", log())) or found)
    return int(found[0][0]), found[0][1] == "true"


class Web(http.server.BaseHTTPRequestHandler):
    requests = []
    do_GET = lambda self: (self.requests.append(self.path), self.send_error(404))
    log_message = lambda self, *args: None


def run(work, player):
    songs, conf = work + "/songs", work + "/home/.config/Larkspur/Larkspur.conf"
    list(map(os.makedirs, (songs, os.path.dirname(conf))))
    with open(conf, "w") as f:
        f.write("[General]\nFade%20speed=10\n")
    with open(songs + "/list.txt", "w", newline="") as f:
        for song in ("A - One.mp3", "B - Two.mp3"):
            subprocess.run(["gst-launch-1.0", "-q", "audiotestsrc", "num-buffers=2600", "!",
                            "lamemp3enc", "!", "filesink", "location=" + songs + "/" + song])
            f.write("0|%s/%s\r\n" % (songs, song))
    web = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Web)
    threading.Thread(target=web.serve_forever, daemon=True).start()
    url = "http://127.0.0.1:%d" % web.server_address[1]
    env = dict(os.environ, LARKSPUR_AUDIO_SINK="fakesink", LARKSPUR_SEARCH_URL=url,
               LARKSPUR_DICTIONARY_URL=url, LARKSPUR_LYRICS_DB_URL=url, LARKSPUR_CATALOGUE_URL=url)
    component = ("org.kde.kglobalaccel", "/component/larkspur", "org.kde.kglobalaccel.Component.")
    press = lambda name: call(*component[:2], component[2] + "invokeShortcut", name)
    mpris = lambda name: call("org.mpris.MediaPlayer2.larkspur", "/org/mpris/MediaPlayer2",
                              "org.freedesktop.DBus.Properties.Get",
                              "org.mpris.MediaPlayer2.Player", name)
    log, shown = songs + "/log.txt", ""
    # The first start, then a second that finds the shortcuts kept; each opens a frame first.
    for first, frame in ((True, "find-song"), (False, "lyrics-catalogue")):
        proc = subprocess.Popen([player, "list.txt"], cwd=songs, env=env,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait("the ten shortcuts in KWin", lambda: sorted(re.findall(r"'([\w-]+)'", call(
            *component[:2], component[2] + "shortcutNames"))) == IDS)
        wait("the song", lambda: "Playing" in mpris("PlaybackStatus") and
             read(log).count(b".mp3\r\n") == (1 if first else 3))
        width = window(work, proc.pid)[0]
        press(frame)
        wait(frame + "'s frame", lambda: window(work, proc.pid)[0] > width)
        if first:
            press("translate")
            wait("the dictionary", lambda: any(r.startswith("/?search=") for r in Web.requests))
            press("lyrics-search")
            wait("the web search", lambda: any(r.startswith("/search?") for r in Web.requests))
            for state in ("Paused", "Playing"):
                press("pause")
                wait(state, lambda: state in mpris("PlaybackStatus"))
            for name in ("volume-down", "volume-down", "volume-up", "next"):
                press(name)
            wait("the next song", lambda: read(log).count(b".mp3\r\n") == 2)
            assert b" <- NEXT\r\n" in read(log), read(log)
            window(work, proc.pid, "c.minimized = true;")
            press("show")
            time.sleep(1)
            shown = "stays minimized" if window(work, proc.pid)[1] else "is shown"
        press("close")
        proc.wait(20)
    assert b"Volume=900\n" in read(conf), read(conf)
    assert read(log).endswith(b" <- EXIT\r\n <- EXIT\r\n"), read(log)
    # Bound through CreateSession alone: KDE's portal got no BindShortcuts, so it opened
    # nothing (its settings page), at the first start nor at the second.
    assert b"BindShortcuts called" not in read(work + "/kde-portal.log")
    assert not os.path.exists(work + "/opened"), read(work + "/opened")
    keys = read(work + "/home/.config/kglobalshortcutsrc").decode()
    print(keys[keys.index("[larkspur]"):] + "\nShow on the minimized window: it " + shown)


def main():
    with tempfile.TemporaryDirectory() as work:
        started = subprocess.run([SESSION, "start", work], capture_output=True, text=True)
        if started.returncode == 77:
            print("SKIP: " + started.stderr)
            return 77
        try:
            assert started.returncode == 0, started.stderr
            os.environ.update(w.split("=", 1) for w in shlex.split(started.stdout) if "=" in w)
            run(work, os.path.abspath(os.path.join(sys.argv[1], "larkspur")))
        finally:
            subprocess.run([SESSION, "stop", work])
            left = [p for p in os.listdir("/proc") if p.isdigit() and
                    (work + "/run").encode() in read("/proc/%s/environ" % p)]
            assert not left, "left running: %s" % left
    return 0


if __name__ == "__main__":
    sys.exit(main())
