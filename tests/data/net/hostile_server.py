"""An HTTP server on 127.0.0.1 that answers every GET in a way meant to hold or flood
its client.

Modes: "trickle" announces a huge body and sends it one byte at a time, slowly
enough to stay under any idle time-out; "silent-body" announces a huge body and
sends nothing after the headers; "drip" announces 600 bytes and sends one a
second; "flood" sends a valid-looking release reply
followed by an endless body without a length. Prints the port first and serves
until it is killed or --lifetime seconds have passed.
"""
import argparse
import http.server
import sys
import threading
import time


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--mode", choices=["trickle", "silent-body", "drip", "flood"], required=True)
    parser.add_argument("--lifetime", type=float, default=60.0)
    args = parser.parse_args()

    class Handler(http.server.BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def do_GET(self):
            self.send_response(200)
            self.send_header("Content-Type", "text/plain")
            if args.mode == "drip":
                self.send_header("Content-Length", "600")
            elif args.mode != "flood":
                self.send_header("Content-Length", "1" + "0" * 23)
            self.end_headers()
            self.wfile.flush()
            try:
                if args.mode == "trickle":
                    for byte in (b"9.9;" + b"x" * 1000):
                        self.wfile.write(bytes([byte]))
                        self.wfile.flush()
                        time.sleep(0.2)
                elif args.mode == "drip":
                    for _ in range(600):
                        self.wfile.write(b"d")
                        self.wfile.flush()
                        time.sleep(1.0)
                elif args.mode == "silent-body":
                    time.sleep(args.lifetime)
                else:
                    self.wfile.write(b"9.9;")
                    chunk = b"y" * 65536
                    while True:
                        self.wfile.write(chunk)
            except (BrokenPipeError, ConnectionResetError):
                pass
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
