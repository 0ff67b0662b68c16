"""What the loopback test servers share: a threaded server on a free port of 127.0.0.1 that
prints its port on the first line and serves until its standard input closes, and one
answer with its length."""
import http.server
import socketserver
import sys
import threading


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True


def answer(handler, code, body, content_type, headers=None):
    handler.send_response(code)
    handler.send_header("Content-Type", content_type)
    for name, value in (headers or {}).items():
        handler.send_header(name, value)
    handler.send_header("Content-Length", str(len(body)))
    handler.end_headers()
    try:
        handler.wfile.write(body)
    except OSError:
        pass  # the client gave up waiting


def run(handler_class):
    server = Server(("127.0.0.1", 0), handler_class)
    print(server.server_address[1], flush=True)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    sys.stdin.read()
