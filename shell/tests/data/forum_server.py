"""A stand-in for the cart forum, for the cart browser's tests.

Serves the folder given as the first argument on 127.0.0.1, on a free port
that it prints as the first line of standard output, until its standard
input closes (the test ends it that way, and a test that dies ends it too).

  * A request with a query is answered from the file named by the whole
    query, percent-encoded, inside a folder named by the path:
    /bbs/cpost_lister3.php?a=1&b=2 reads bbs/cpost_lister3.php/a%3D1%26b%3D2.
    Without a query the path names the file.
  * A missing file is a 404.
  * When a file NAME.delay sits beside the file, the answer waits that many
    seconds first (a server slower than the client's time-out).
  * When a file NAME.hostile sits beside the file (which need not exist),
    the request is answered as its text says, as the engine's download
    tests' hostile_answers.py describes ("endless", "chunk N",
    "redirect URL", "silence", "trickle").
  * Every request is appended to requests.log as "path?query", one a line.
"""
import functools
import http.server
import os
import sys
import threading
import time
import urllib.parse

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..",
                                "engine", "tests", "data"))
import hostile_answers  # noqa: E402

log_lock = threading.Lock()


class ForumHandler(http.server.BaseHTTPRequestHandler):
    root = "."

    def log_message(self, format, *args):
        pass

    def do_GET(self):
        parts = urllib.parse.urlsplit(self.path)
        with log_lock:
            with open(os.path.join(self.root, "requests.log"), "a") as log:
                log.write(self.path + "\n")
        relative = urllib.parse.unquote(parts.path).lstrip("/")
        target = os.path.join(self.root, relative)
        if parts.query:
            target = os.path.join(target, urllib.parse.quote(parts.query, safe=""))
        target = os.path.normpath(target)
        inside = target.startswith(os.path.normpath(self.root) + os.sep)
        if inside and os.path.isfile(target + ".hostile"):
            with open(target + ".hostile") as f:
                hostile_answers.answer(self, f.read().strip())
            return
        if not inside or not os.path.isfile(target):
            self.send_error(404)
            return
        delay = target + ".delay"
        if os.path.isfile(delay):
            with open(delay) as f:
                time.sleep(float(f.read().strip() or "0"))
        with open(target, "rb") as f:
            body = f.read()
        try:
            self.send_response(200)
            self.send_header("Content-Type", "application/octet-stream")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)
        except (BrokenPipeError, ConnectionResetError):
            pass


def main():
    handler = functools.partial(ForumHandler)
    ForumHandler.root = os.path.abspath(sys.argv[1])
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    server.daemon_threads = True
    print(server.server_address[1], flush=True)

    def stop_when_stdin_closes():
        sys.stdin.buffer.read()
        os._exit(0)

    threading.Thread(target=stop_when_stdin_closes, daemon=True).start()
    server.serve_forever()


if __name__ == "__main__":
    main()
