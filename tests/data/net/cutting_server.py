"""An HTTP server on 127.0.0.1 that serves the files of a folder by name and breaks
its connections on purpose, for the downloads that must survive that.

Answers a single "Range: bytes=N-" (206) while "If-Range" names the file as its ETag
does, 416 past the end, else the whole file (200). --cuts lists offsets in the file:
the first answer that reaches the next one sends the bytes before it and hangs up.
--hold-at sends the bytes before that offset once and then nothing, holding the
connection. --no-ranges answers every request with the whole file and no ETag, as a
server without range support does. --replacement is a file that takes the place of
each served file after the first cut, under a new ETag. Each request goes to --log as
"RANGE STATUS" ("-" for no Range header). Prints the port first and serves until it
is killed or --lifetime seconds have passed.
"""
import argparse
import http.server
import os
import socket
import sys
import threading
import time

CHUNK = 256 * 1024


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--folder", required=True)
    parser.add_argument("--cuts", default="")
    parser.add_argument("--hold-at", type=int, default=-1)
    parser.add_argument("--no-ranges", action="store_true")
    parser.add_argument("--replacement", default="")
    parser.add_argument("--log", default=os.devnull)
    parser.add_argument("--lifetime", type=float, default=120.0)
    args = parser.parse_args()
    cuts = [int(c) for c in args.cuts.split(",") if c]
    state = {"hold": args.hold_at, "replaced": False}
    lock = threading.Lock()

    def log(line):
        with lock, open(args.log, "a") as out:
            out.write(line + "\n")

    class Handler(http.server.BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def source(self):
            with lock:
                replaced = state["replaced"]
            if replaced:
                return args.replacement, '"v2"'
            return os.path.join(args.folder, os.path.basename(self.path.split("?")[0])), '"v1"'

        def asked_start(self, etag):
            asked = self.headers.get("Range")
            if args.no_ranges or not asked or not asked.startswith("bytes=") or not asked.endswith("-"):
                return 0
            if_range = self.headers.get("If-Range")
            if if_range is not None and if_range != etag:
                return 0
            return int(asked[len("bytes="):-1])

        def do_GET(self):
            path, etag = self.source()
            if not os.path.isfile(path):
                self.answer_head(404, 0, {})
                log("%s 404" % self.headers.get("Range", "-"))
                return
            size = os.path.getsize(path)
            start = self.asked_start(etag)
            headers = {} if args.no_ranges else {"ETag": etag, "Accept-Ranges": "bytes"}
            if start >= size and start > 0:
                headers["Content-Range"] = "bytes */%d" % size
                self.answer_head(416, 0, headers)
                log("%s 416" % self.headers["Range"])
                return
            status = 206 if start > 0 else 200
            if status == 206:
                headers["Content-Range"] = "bytes %d-%d/%d" % (start, size - 1, size)
            log("%s %d" % (self.headers.get("Range", "-"), status))
            self.answer_head(status, size - start, headers)
            self.send_body(path, start, size)

        def answer_head(self, status, length, headers):
            self.send_response(status)
            self.send_header("Content-Length", str(length))
            for name, value in headers.items():
                self.send_header(name, value)
            self.end_headers()
            self.wfile.flush()

        # Sends the file from `start`, up to the next cut or hold.
        def send_body(self, path, start, size):
            with lock:
                stop = cuts.pop(0) if cuts and start < cuts[0] < size else None
                hold = state["hold"] if start < state["hold"] < size and stop is None else None
                if hold is not None:
                    state["hold"] = -1
            end = stop if stop is not None else hold if hold is not None else size
            try:
                with open(path, "rb") as data:
                    data.seek(start)
                    left = end - start
                    while left > 0:
                        piece = data.read(min(CHUNK, left))
                        if not piece:
                            break
                        self.wfile.write(piece)
                        left -= len(piece)
                self.wfile.flush()
                if hold is not None:
                    time.sleep(args.lifetime)
            except (BrokenPipeError, ConnectionResetError):
                pass
            if stop is not None:
                with lock:
                    state["replaced"] = state["replaced"] or bool(args.replacement)
                self.connection.shutdown(socket.SHUT_RDWR)
            self.close_connection = True

        def log_message(self, *unused):
            pass

    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    print(server.server_address[1], flush=True)
    threading.Timer(args.lifetime, server.shutdown).start()
    server.serve_forever()
    return 0


if __name__ == "__main__":
    sys.exit(main())
