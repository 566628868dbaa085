"""Starts the tests' HTTP servers for Windows test programs under wine.

A Windows program cannot start the Linux python3 that the servers need, so
tools/wine-run.sh runs this broker beside it. The broker listens on
127.0.0.1, on a free port that it prints as the first line of standard
output, until its standard input closes. Each connection asks for one
server with one line:

    SCRIPT<TAB>FOLDER

(a server script that works as http_server.py does: the folder as its
argument, its port as its first output line, ending when its standard input
closes). The broker starts it, answers with the server's port (or 0) and a
newline, and stops the server when the client ends its side of the
connection, closing the connection once the server has ended. Windows paths
(with a drive letter) are turned into Linux paths with winepath.
"""
import os
import socket
import subprocess
import sys
import threading


def linux_path(path):
    if len(path) >= 2 and path[1] == ":":
        out = subprocess.run(["winepath", "-u", path], capture_output=True, text=True)
        return out.stdout.strip() or path
    return path


def serve(connection):
    server = None
    try:
        request = b""
        while not request.endswith(b"\n"):
            chunk = connection.recv(4096)
            if not chunk:
                return
            request += chunk
        script, _, folder = request.decode("utf-8").rstrip("\r\n").partition("\t")
        port = b"0"
        try:
            server = subprocess.Popen([sys.executable, linux_path(script), linux_path(folder)],
                                      stdin=subprocess.PIPE, stdout=subprocess.PIPE)
            line = server.stdout.readline().strip()
            if line.isdigit():
                port = line
        except OSError:
            pass
        connection.sendall(port + b"\n")
        while connection.recv(4096):
            pass
    finally:
        # The connection closes once the server is gone: a client that
        # waits for that knows its server has stopped.
        if server:
            server.stdin.close()
            try:
                server.wait(5)
            except subprocess.TimeoutExpired:
                server.kill()
                server.wait()
        connection.close()


def main():
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.bind(("127.0.0.1", 0))
    listener.listen(16)
    print(listener.getsockname()[1], flush=True)

    def stop_when_stdin_closes():
        sys.stdin.buffer.read()
        os._exit(0)

    threading.Thread(target=stop_when_stdin_closes, daemon=True).start()
    while True:
        connection, _ = listener.accept()
        threading.Thread(target=serve, args=(connection,), daemon=True).start()


if __name__ == "__main__":
    main()
