"""Loopback server playing the open lyrics database for the lyrics tests.

Answers from routes.json in the folder given as its argument, read anew for each request:
an object whose keys are exact request targets ("/api/get?artist_name=a&track_name=t") and
whose values are {"status": 200, "body": "...", "delay": 0.5}; "body" is sent as it stands
(so it may be broken JSON), "delay" (seconds) defaults to none. Any other target gets the
database's 404. Each request goes to requests.log in that folder as one line: its target,
a tab, its User-Agent. Prints its port on the first line, then serves until its standard
input closes.
"""
import http.server
import json
import os
import sys
import time

import loopback

ROOT = sys.argv[1]
NOT_FOUND = {"status": 404, "body": '{"code":404,"name":"TrackNotFound","message":"no such track"}'}


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_GET(self):
        with open(os.path.join(ROOT, "requests.log"), "a", encoding="utf-8") as log:
            log.write(self.path + "\t" + self.headers.get("User-Agent", "") + "\n")
        with open(os.path.join(ROOT, "routes.json"), encoding="utf-8") as f:
            route = json.load(f).get(self.path, NOT_FOUND)
        time.sleep(route.get("delay", 0))
        body = route["body"].encode("utf-8")
        loopback.answer(self, route["status"], body, "application/json")


if __name__ == "__main__":
    loopback.run(Handler)
