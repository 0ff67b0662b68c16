"""Loopback server playing the open lyrics database for the lyrics tests.

Answers from routes.json in the folder given as its argument, read anew for each request:
an object whose keys are exact request targets ("/api/get?artist_name=a&track_name=t") and
whose values are {"status": 200, "body": "...", "delay": 0.5, "headers": {...}}; "body" is
sent as it stands (so it may be broken JSON), "delay" (seconds) and "headers" default to none.
A list of such answers is given in turn for that target, its last one from then on. Any other target gets the
database's 404 (an /api/get it would refuse its 400), unless "records" (its records) match it as the real database
matches: names without case, accents or apostrophes, other punctuation ("&" too) as blanks,
a length within 2 s; a search needs every word of the names. Each request goes to requests.log in that folder as one line: its target,
a tab, its User-Agent. Prints its port on the first line, then serves until its standard
input closes.
"""
import hashlib
import http.server
import json
import os
import secrets
import string
import sys
import threading
import time
import unicodedata
import urllib.parse

import loopback

ROOT = sys.argv[1]
NOT_FOUND = {"status": 404, "body": '{"message":"Failed to find specified track","name":"TrackNotFound","statusCode":404}'}


def refused(target):
    """/api/get's checks as the server makes them (names not empty, 1-3600 s); None: passed."""
    url, query = urllib.parse.urlsplit(target), dict(urllib.parse.parse_qsl(target.partition("?")[2], True))
    problems = [n + ": cannot be empty" for n in ("track_name", "artist_name") if not query.get(n)] + (
        [] if 1 <= float(query.get("duration", 1)) <= 3600 else ["duration: must be between 1 and 3600"])
    return {"status": 400, "body": json.dumps({"message": "\n".join(problems), "name": "ValidationError",
            "statusCode": 400})} if problems and url.path == "/api/get" else None


def words(name):
    name = unicodedata.normalize("NFKD", name.lower())
    name = "".join(c for c in name if not unicodedata.combining(c) and c not in "'’")
    return "".join(c if c.isalnum() else " " for c in name).split()


def matched(target, records):
    url = urllib.parse.urlsplit(target)
    query = dict(urllib.parse.parse_qsl(url.query))
    artist, title = words(query.get("artist_name", "")), words(query.get("track_name", ""))
    if url.path == "/api/get":
        for r in records:
            if words(r["artistName"]) == artist and words(r["trackName"]) == title and (
                    "duration" not in query or abs(r["duration"] - float(query["duration"])) <= 2):
                return {"status": 200, "body": json.dumps(r)}
    elif url.path == "/api/search":
        hits = [r for r in records if set(artist) <= set(words(r["artistName"]))
                and set(title) <= set(words(r["trackName"]))]
        return {"status": 200, "body": json.dumps(hits)}
    return NOT_FOUND


SEEN = {}
SEEN_LOCK = threading.Lock()


def in_turn(target, route):
    if not isinstance(route, list):
        return route
    with SEEN_LOCK:
        seen = SEEN.get(target, 0)
        SEEN[target] = seen + 1
    return route[min(seen, len(route) - 1)]


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_GET(self):
        with open(os.path.join(ROOT, "requests.log"), "a", encoding="utf-8") as log:
            log.write(self.path + "\t" + self.headers.get("User-Agent", "") + "\n")
        with open(os.path.join(ROOT, "routes.json"), encoding="utf-8") as f:
            routes = json.load(f)
        route = in_turn(self.path, routes.get(self.path)) or refused(self.path) or matched(
            self.path, routes.get("records", []))
        time.sleep(route.get("delay", 0))
        body = route["body"].encode("utf-8")
        loopback.answer(self, route["status"], body, "application/json", route.get("headers", {}))


    # Publishing as the database checks it: a token "prefix:nonce" of a challenge it gave,
    # whose SHA-256 is at or below the target. Each POST goes to publish.log as JSON lines.
    # routes.json may set the challenge's "prefix" and "target", and answer a POST itself
    # ("POST /api/publish": {...}, with a "delay" too).
    def do_POST(self):
        body = self.rfile.read(int(self.headers.get("Content-Length", 0)))
        token = self.headers.get("X-Publish-Token", "")
        with open(os.path.join(ROOT, "publish.log"), "a", encoding="utf-8") as log:
            log.write(json.dumps({"path": self.path, "token": token,
                                  "type": self.headers.get("Content-Type", ""),
                                  "body": body.decode("utf-8", "replace")}) + "\n")
        with open(os.path.join(ROOT, "routes.json"), encoding="utf-8") as f:
            routes = json.load(f)
        target = routes.get("target", "00" + "FF" * 31)
        route = routes.get("POST " + self.path)
        if route:
            pass
        elif self.path == "/api/request-challenge":
            # As the database makes them: 32 letters and digits, unless routes.json says.
            prefix = routes.get("prefix") or "".join(
                secrets.choice(string.ascii_letters + string.digits) for _ in range(32))
            with SEEN_LOCK:
                CHALLENGES[prefix] = target
            route = {"status": 200, "body": json.dumps({"prefix": prefix, "target": target})}
        elif self.path == "/api/publish":
            prefix, _, nonce = token.partition(":")
            with SEEN_LOCK:
                issued = CHALLENGES.pop(prefix, None)
            solved = issued is not None and nonce.isdigit() and \
                hashlib.sha256((prefix + nonce).encode()).hexdigest() <= issued.lower()
            route = {"status": 201, "body": ""} if solved else {
                "status": 400, "body": json.dumps({"code": 400, "name": "IncorrectPublishToken",
                                                   "message": "The provided publish token is incorrect"})}
        else:
            route = NOT_FOUND
        time.sleep(route.get("delay", 0))
        loopback.answer(self, route["status"], route["body"].encode("utf-8"), "application/json")


CHALLENGES = {}


if __name__ == "__main__":
    loopback.run(Handler)
