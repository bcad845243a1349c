#!/usr/bin/env python3
"""Starts the Linux peers of the Windows network tests on request.

The tests run under Wine, which cannot start Linux programs reliably, so this broker
does it for them. It listens on 127.0.0.1; each connection carries one JSON line and
gets one line back, "ok TEXT" or "error TEXT":

  {"op": "start", "argv": [...], "env": ["NAME=value", ...]}  -> ok ID
  {"op": "line", "id": ID}               -> ok FIRST-LINE-OF-OUTPUT (waits up to 10 s)
  {"op": "wait", "id": ID, "seconds": S} -> ok EXIT-CODE, or ok -1 while it runs
  {"op": "stop", "id": ID}               -> ok

Only the programs the tests need can be started. The reference server is the one of
the Linux build named by --bin. Every program still running goes with the broker.
"""
import argparse
import json
import os
import select
import signal
import socketserver
import subprocess
import sys
import threading
import time

ALLOWED = {"python3", "tinyproxy", "openssl", "kestrova-server"}
children = {}
children_lock = threading.Lock()
next_id = [0]


def program(argv0, bin_dir):
    name = os.path.basename(argv0)
    if name not in ALLOWED:
        raise ValueError("not a peer program: " + argv0)
    return os.path.join(bin_dir, name) if name == "kestrova-server" else name


def start(request, bin_dir):
    argv = [os.fsencode(arg) for arg in request["argv"]]
    argv[0] = os.fsencode(program(request["argv"][0], bin_dir))
    env = dict(os.environ)
    for assignment in request.get("env", []):
        name, _, value = assignment.partition("=")
        env[name] = value
    child = subprocess.Popen(argv, stdout=subprocess.PIPE, stdin=subprocess.DEVNULL, env=env,
                             start_new_session=True)
    with children_lock:
        next_id[0] += 1
        children[str(next_id[0])] = child
        return str(next_id[0])


def first_line(child):
    line = b""
    deadline = time.monotonic() + 10
    fd = child.stdout.fileno()
    while time.monotonic() < deadline:
        if not select.select([fd], [], [], 0.1)[0]:
            continue
        c = os.read(fd, 1)
        if not c:
            break
        if c == b"\n":
            return line.decode("utf-8", "replace").rstrip("\r")
        line += c
    raise RuntimeError("no output from a started peer")


def stop(child):
    if child.poll() is None:
        os.killpg(child.pid, signal.SIGTERM)
        try:
            child.wait(3)
        except subprocess.TimeoutExpired:
            os.killpg(child.pid, signal.SIGKILL)
            child.wait()
    child.stdout.close()


def answer(request, bin_dir):
    op = request["op"]
    if op == "start":
        return start(request, bin_dir)
    with children_lock:
        child = children.get(str(request["id"]))
    if child is None:
        raise KeyError("no such peer")
    if op == "line":
        return first_line(child)
    if op == "wait":
        try:
            code = child.wait(float(request["seconds"]))
        except subprocess.TimeoutExpired:
            return "-1"
        return str(code if code >= 0 else 128 - code)
    if op == "stop":
        with children_lock:
            children.pop(str(request["id"]), None)
        stop(child)
        return ""
    raise ValueError("unknown question " + op)


class Handler(socketserver.StreamRequestHandler):
    def handle(self):
        try:
            request = json.loads(self.rfile.readline().decode("utf-8", "surrogateescape"))
            reply = "ok " + answer(request, self.server.bin_dir)
        except Exception as error:  # every failure goes back to the test that asked
            reply = "error " + str(error).replace("\n", " ")
        self.wfile.write(reply.encode("utf-8", "replace") + b"\n")


class Broker(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--bin", required=True, help="the Linux build's program folder")
    parser.add_argument("--port-file", required=True, help="where to write the port")
    args = parser.parse_args()
    broker = Broker(("127.0.0.1", 0), Handler)
    broker.bin_dir = os.path.abspath(args.bin)

    def shut_down(*_):
        with children_lock:
            for child in children.values():
                stop(child)
        os._exit(0)

    signal.signal(signal.SIGTERM, shut_down)
    signal.signal(signal.SIGINT, shut_down)
    with open(args.port_file + ".tmp", "w") as out:
        out.write(str(broker.server_address[1]))
    os.replace(args.port_file + ".tmp", args.port_file)
    broker.serve_forever()


if __name__ == "__main__":
    sys.exit(main())
