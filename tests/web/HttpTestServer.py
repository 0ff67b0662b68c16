"""Loopback HTTP/1.1 server for the HTTP client tests (standard library only).

Prints its port on the first line of standard output, then serves until killed or
until standard input closes.
"""
import http.server
import socketserver
import sys
import threading
import time
import urllib.parse


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def answer(self, code, body, headers=()):
        self.send_response(code)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
        query = dict(urllib.parse.parse_qsl(url.query))
        path = url.path
        if path == "/page":
            # The client's port tells the tests which connection carried the request.
            body = "conn=%d;path=%s" % (self.client_address[1], self.path)
            self.answer(200, body.encode())
        elif path == "/close":
            body = "conn=%d" % self.client_address[1]
            self.answer(200, body.encode(), [("Connection", "close")])
            self.close_connection = True
        elif path == "/setcookie":
            cookies = [("Set-Cookie", "%s=%s; Path=/" % kv) for kv in query.items()]
            self.answer(200, b"cookies set", cookies)
        elif path == "/cookie":
            self.answer(200, (self.headers.get("Cookie") or "(none)").encode())
        elif path == "/redirect":
            self.answer(302, b"moved", [("Location", "/page")])
        elif path == "/located":
            self.answer(200, b"here", [("Location", "/page")])
        elif path == "/missing":
            self.answer(404, b"no such page")
        elif path == "/chunked":
            self.send_response(200)
            self.send_header("Transfer-Encoding", "chunked")
            self.end_headers()
            for part in (b"alpha ", b"beta ", b"", b"gamma"):
                if part:
                    self.wfile.write(b"%x\r\n%s\r\n" % (len(part), part))
                    self.wfile.flush()
            self.wfile.write(b"0\r\n\r\n")
        elif path == "/latin1":
            self.answer(200, bytes(range(256)), [("Content-Type", "text/html; charset=iso-8859-1")])
        elif path == "/slow":
            # Ten pieces, one every `ms` milliseconds.
            pause = int(query.get("ms", "50")) / 1000.0
            self.send_response(200)
            self.send_header("Content-Length", "10")
            self.end_headers()
            for digit in b"0123456789":
                self.wfile.write(bytes([digit]))
                self.wfile.flush()
                time.sleep(pause)
        else:
            self.answer(404, b"unknown")


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True


def main():
    server = Server(("127.0.0.1", 0), Handler)
    print(server.server_address[1], flush=True)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    sys.stdin.read()  # the test closes our input when it is done


if __name__ == "__main__":
    main()
