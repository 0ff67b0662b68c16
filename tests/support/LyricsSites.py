"""Loopback server playing a search engine and lyrics sites for the lyrics tests.

Serves the files of the folder given as its argument: "/search" answers search.html (with
{PORT} replaced by the server's port), "/" (the dictionary's queries) answers index.html,
"/slow/NAME?s=SECONDS" answers NAME after a pause, anything missing answers 404. Every
request's target goes to requests.log in that folder.
Prints its port on the first line, then serves until its standard input closes.
"""
import http.server
import os
import sys
import time
import urllib.parse

import loopback

ROOT = sys.argv[1]


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_GET(self):
        with open(os.path.join(ROOT, "requests.log"), "a") as log:
            log.write(self.path + "\n")
        url = urllib.parse.urlsplit(self.path)
        name = url.path.lstrip("/")
        if name == "search":
            name = "search.html"
        elif name == "":
            name = "index.html"
        if name.startswith("slow/"):
            time.sleep(float(dict(urllib.parse.parse_qsl(url.query)).get("s", "2")))
            name = name[5:]
            name = "search.html" if name == "search" else name
        path = os.path.join(ROOT, urllib.parse.unquote(name))
        if not name or not os.path.isfile(path):
            body, code = b"no such page", 404
        else:
            with open(path, "rb") as f:
                body, code = f.read(), 200
            body = body.replace(b"{PORT}", str(self.server.server_address[1]).encode())
        loopback.answer(self, code, body, "text/html")


if __name__ == "__main__":
    loopback.run(Handler)
