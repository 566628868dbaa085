"""Answers of a hostile web server, for the download tests' servers.

answer(handler, recipe) answers a request on a BaseHTTPRequestHandler the way
the recipe says, one of:

  endless            200 with no length and a body that never ends
  chunk N            200, chunked, one chunk announced as N bytes that keeps
                     coming (and never reaches N)
  redirect URL       302 to URL
  silence            reads the request and never answers
  trickle            200 announcing a megabyte, then a byte every 50 ms

Every body is sent as fast as the client takes it; the answer ends when the
client goes away.
"""
import time

BLOCK = b"\x89" * 65536


def _send_forever(handler):
    try:
        while True:
            handler.wfile.write(BLOCK)
    except (BrokenPipeError, ConnectionResetError, OSError):
        pass


def answer(handler, recipe):
    words = recipe.split()
    kind = words[0] if words else ""
    handler.close_connection = True
    try:
        if kind == "endless":
            handler.send_response(200)
            handler.send_header("Content-Type", "application/octet-stream")
            handler.end_headers()
            _send_forever(handler)
        elif kind == "chunk":
            handler.protocol_version = "HTTP/1.1"
            handler.send_response(200)
            handler.send_header("Content-Type", "application/octet-stream")
            handler.send_header("Transfer-Encoding", "chunked")
            handler.end_headers()
            handler.wfile.write(b"%x\r\n" % int(words[1]))
            _send_forever(handler)
        elif kind == "redirect":
            handler.send_response(302)
            handler.send_header("Location", words[1])
            handler.send_header("Content-Length", "0")
            handler.end_headers()
        elif kind == "silence":
            while handler.connection.recv(4096):
                pass
        elif kind == "trickle":
            handler.send_response(200)
            handler.send_header("Content-Length", str(1 << 20))
            handler.end_headers()
            while True:
                handler.wfile.write(b"x")
                handler.wfile.flush()
                time.sleep(0.05)
    except (BrokenPipeError, ConnectionResetError, OSError):
        pass
