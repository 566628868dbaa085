"""A small HTTP server for the download tests.

Serves the folder given as the first argument on 127.0.0.1, on a free port
that it prints as the first line of standard output. It runs until its
standard input closes (the test ends it that way, and a test that dies ends
it too) or it is sent a signal.

A request for /hostile/KIND?ARGUMENT is answered as hostile_answers.py
describes for "KIND ARGUMENT" (the argument percent-decoded), e.g.
/hostile/redirect?ftp://127.0.0.1/x.
"""
import functools
import http.server
import os
import sys
import threading
import urllib.parse

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import hostile_answers  # noqa: E402


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, format, *args):
        pass

    def do_GET(self):
        parts = urllib.parse.urlsplit(self.path)
        if parts.path.startswith("/hostile/"):
            recipe = parts.path[len("/hostile/"):] + " " + urllib.parse.unquote(parts.query)
            hostile_answers.answer(self, recipe)
            return
        super().do_GET()


def main():
    root = sys.argv[1]
    handler = functools.partial(QuietHandler, directory=root)
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
