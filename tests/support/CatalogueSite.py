"""Loopback server playing the lyrics catalogue site for the catalogue tests.

Serves the files of the folder given as its argument, with a Latin-1 Content-Type:
"/" answers front.html; "/suche.php" answers search.N.html for the Nth search request when
that file exists, else search.html, after a pause of two seconds when the query text starts
with "slow"; any other path answers the file of that name, or 404. Every request's target
goes to requests.log in that folder, byte for byte. Prints its port on the first line, then serves until
its standard input closes.
"""
import http.server
import os
import sys
import threading
import time
import urllib.parse

import loopback

ROOT = sys.argv[1]
LOCK = threading.Lock()
SEARCHES = [0]


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_GET(self):
        # The target's bytes as they came (the server read them as Latin-1).
        with LOCK, open(os.path.join(ROOT, "requests.log"), "ab") as log:
            log.write(self.path.encode("latin-1") + b"\n")
        url = urllib.parse.urlsplit(self.path)
        name = url.path.lstrip("/")
        if name == "":
            name = "front.html"
        elif name == "suche.php":
            with LOCK:
                SEARCHES[0] += 1
                numbered = "search.%d.html" % SEARCHES[0]
            name = numbered if os.path.isfile(os.path.join(ROOT, numbered)) else "search.html"
            if "&query=slow" in url.query:
                time.sleep(2)
        path = os.path.join(ROOT, name)
        if not os.path.isfile(path):
            body, code = b"no such page", 404
        else:
            with open(path, "rb") as f:
                body, code = f.read(), 200
        loopback.answer(self, code, body, "text/html; charset=ISO-8859-1")


if __name__ == "__main__":
    loopback.run(Handler)
