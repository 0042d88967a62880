#!/usr/bin/env python3
"""A small static HTTP server for the update tests, on 127.0.0.1 only and for a bounded time.

It serves the files of one folder. A rules file, read again for every request, makes it misbehave
on purpose for one file name:
  cut NAME BYTES       announce the whole length, send BYTES bytes, close the connection
  stop NAME BYTES      announce the whole length, send BYTES bytes, then end the whole server
  stall NAME BYTES     announce the whole length, send BYTES bytes, then send nothing more
  nolength NAME        send the file without a Content-Length (the end is the connection's)
  status NAME CODE     answer with CODE and no body
  redirect NAME URL    answer 302 with Location URL
  slow NAME MS         send the file in 1024-byte pieces, MS milliseconds apart
Every request's path is appended to the log file, one line each.
"""
import argparse
import http.server
import os
import sys
import threading
import time


def read_rules(path):
    rules = {}
    try:
        with open(path, encoding="utf-8") as f:
            for line in f:
                parts = line.split()
                if len(parts) >= 2:
                    rules[parts[1]] = (parts[0], parts[2:])
    except FileNotFoundError:
        pass
    return rules


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--port-file", required=True)
    parser.add_argument("--rules", required=True)
    parser.add_argument("--log", required=True)
    parser.add_argument("--lifetime", type=float, default=120.0)
    args = parser.parse_args()

    class Handler(http.server.BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.0"

        def log_message(self, *unused):
            pass

        def do_GET(self):
            name = self.path.split("?", 1)[0].lstrip("/")
            with open(args.log, "a", encoding="utf-8") as log:
                log.write(name + "\n")
            kind, values = read_rules(args.rules).get(name, ("", []))
            if kind == "status":
                self.send_response(int(values[0]))
                self.send_header("Content-Length", "0")
                self.end_headers()
                return
            if kind == "redirect":
                self.send_response(302)
                self.send_header("Location", values[0])
                self.send_header("Content-Length", "0")
                self.end_headers()
                return
            path = os.path.join(args.root, name)
            if "/" in name or name in ("", ".", "..") or not os.path.isfile(path):
                self.send_response(404)
                self.send_header("Content-Length", "0")
                self.end_headers()
                return
            with open(path, "rb") as f:
                data = f.read()
            self.send_response(200)
            self.send_header("Content-Type", "application/octet-stream")
            if kind != "nolength":
                self.send_header("Content-Length", str(len(data)))
            self.end_headers()
            if kind in ("cut", "stop", "stall"):
                self.wfile.write(data[: int(values[0])])
                self.wfile.flush()
                if kind == "stop":
                    os._exit(0)
                if kind == "stall":
                    time.sleep(args.lifetime)
                return
            if kind == "slow":
                for i in range(0, len(data), 1024):
                    self.wfile.write(data[i : i + 1024])
                    self.wfile.flush()
                    time.sleep(int(values[0]) / 1000.0)
                return
            self.wfile.write(data)

    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    # The port becomes known by a rename, so a reader never sees half of it.
    with open(args.port_file + ".tmp", "w", encoding="utf-8") as f:
        f.write(str(server.server_address[1]))
    os.rename(args.port_file + ".tmp", args.port_file)
    # The server ends by itself, whatever happens to the test that started it.
    timer = threading.Timer(args.lifetime, lambda: os._exit(0))
    timer.daemon = True
    timer.start()
    server.serve_forever()


if __name__ == "__main__":
    sys.exit(main())
