#!/usr/bin/python3
"""Compares `larkspur-tool render` with Chromium's innerText on saved HTML pages.

Usage: bench/innertext_vs_chromium.py TOOL PAGE... [--show N]

Chromium runs headless with scripts off (as the player's renderer runs none) at the
renderer's window size, and gives document.body.innerText through the DevTools protocol.
Both texts are split into lines, blanks collapsed and empty lines dropped; a page's
similarity is difflib's ratio of the two line lists. Prints each page's figure, then the
mean and the worst. Needs Debian's chromium and python3-websocket; as root Chromium is run
with --no-sandbox.
"""
import difflib
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import urllib.request

import websocket

WIDTH, HEIGHT = 1280, 1024  # the window the renderer's media queries assume


def lines_of(text):
    out = []
    for line in text.replace("\r\n", "\n").split("\n"):
        line = re.sub(r"[\s\u00a0\u2005]+", " ", line).strip()
        if line:
            out.append(line)
    return out


class Chromium:
    def __init__(self):
        self.profile = tempfile.mkdtemp(prefix="innertext-")
        args = [shutil.which("chromium") or "chromium", "--headless=new", "--disable-gpu",
                "--remote-debugging-port=0", "--user-data-dir=" + self.profile,
                "--window-size=%d,%d" % (WIDTH, HEIGHT), "about:blank"]
        if os.geteuid() == 0:
            args.insert(1, "--no-sandbox")
        self.proc = subprocess.Popen(args, stderr=subprocess.PIPE, text=True)
        port = None
        deadline = time.time() + 30
        while port is None and time.time() < deadline:
            line = self.proc.stderr.readline()
            m = re.search(r"DevTools listening on ws://127\.0\.0\.1:(\d+)/", line)
            if m:
                port = int(m.group(1))
        if port is None:
            raise RuntimeError("chromium did not start")
        targets = json.load(urllib.request.urlopen("http://127.0.0.1:%d/json" % port))
        page = next(t for t in targets if t["type"] == "page")
        self.ws = websocket.create_connection(page["webSocketDebuggerUrl"], timeout=60)
        self.next_id = 0
        self.call("Page.enable")
        self.call("Emulation.setScriptExecutionDisabled", value=True)
        self.call("Emulation.setDeviceMetricsOverride", width=WIDTH, height=HEIGHT,
                  deviceScaleFactor=1, mobile=False)

    def call(self, method, wait_event=None, **params):
        self.next_id += 1
        my_id = self.next_id
        self.ws.send(json.dumps({"id": my_id, "method": method, "params": params}))
        result, seen = None, wait_event is None
        while result is None or not seen:
            msg = json.loads(self.ws.recv())
            if msg.get("id") == my_id:
                result = msg.get("result", {})
            elif wait_event and msg.get("method") == wait_event:
                seen = True
        return result

    def inner_text(self, path):
        url = "file://" + os.path.abspath(path)
        self.call("Page.navigate", wait_event="Page.loadEventFired", url=url)
        r = self.call("Runtime.evaluate", returnByValue=True,
                      expression="document.body ? document.body.innerText : ''")
        return r.get("result", {}).get("value", "")

    def close(self):
        self.ws.close()
        self.proc.terminate()
        self.proc.wait()
        shutil.rmtree(self.profile, ignore_errors=True)


def main(argv):
    show = 0
    if "--show" in argv:
        i = argv.index("--show")
        show = int(argv[i + 1])
        del argv[i:i + 2]
    if len(argv) < 3:
        print(__doc__, file=sys.stderr)
        return 2
    tool, pages = argv[1], argv[2:]
    browser = Chromium()
    figures = []
    try:
        for page in pages:
            ours = subprocess.run([tool, "render", page], capture_output=True, text=True,
                                  errors="replace", timeout=60).stdout
            theirs = browser.inner_text(page)
            a, b = lines_of(ours), lines_of(theirs)
            ratio = difflib.SequenceMatcher(None, a, b, autojunk=False).ratio()
            figures.append(ratio)
            print("%.3f  %4d lines here, %4d in chromium  %s" % (ratio, len(a), len(b),
                                                                  os.path.basename(page)))
            if show:
                diff = list(difflib.unified_diff(a, b, "larkspur", "chromium", n=0,
                                                 lineterm=""))
                print("\n".join(diff[:show]))
    finally:
        browser.close()
    print("mean %.3f  worst %.3f  over %d pages" % (sum(figures) / len(figures), min(figures),
                                                    len(figures)))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
