"""Serves the files of --folder by name on 127.0.0.1 and hangs up once at each offset
of --cuts in them. "Range: bytes=N-" gets 206 while If-Range matches the ETag (size
and time); --no-ranges: always 200, no ETag. Logs "RANGE STATUS"
lines to --log; prints its port first."""
import argparse
import http.server
import os
import socket
import threading


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--folder", required=True)
    parser.add_argument("--cuts", default="")
    parser.add_argument("--no-ranges", action="store_true")
    parser.add_argument("--log", default=os.devnull)
    parser.add_argument("--lifetime", type=float, default=120.0)
    args = parser.parse_args()
    cuts = [int(c) for c in args.cuts.split(",") if c]
    lock = threading.Lock()

    class Handler(http.server.BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def do_GET(self):
            path = os.path.join(args.folder, os.path.basename(self.path))
            info = os.stat(path)
            etag = '"%x-%x"' % (info.st_size, info.st_mtime_ns)
            asked = self.headers.get("Range", "-")
            same = self.headers.get("If-Range", etag) == etag
            start = int(asked[6:-1]) if same and asked != "-" and not args.no_ranges else 0
            with lock, open(args.log, "a") as log:
                log.write("%s %d\n" % (asked, 206 if start else 200))
                stop = cuts.pop(0) if cuts and start < cuts[0] < info.st_size else info.st_size
            self.send_response(206 if start else 200)
            self.send_header("Content-Length", str(info.st_size - start))
            if not args.no_ranges:
                self.send_header("ETag", etag)
            if start:
                self.send_header("Content-Range", "bytes %d-%d/%d" % (start, info.st_size - 1,
                                                                      info.st_size))
            self.end_headers()
            with open(path, "rb") as data:
                data.seek(start)
                self.wfile.write(data.read(stop - start))
            if stop < info.st_size:
                self.connection.shutdown(socket.SHUT_RDWR)
            self.close_connection = True

        def log_message(self, *unused):
            pass

    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    print(server.server_address[1], flush=True)
    threading.Timer(args.lifetime, server.shutdown).start()
    server.serve_forever()


if __name__ == "__main__":
    main()
