"""An HTTP server on 127.0.0.1 that gives every GET the same reply.

Prints the port it listens on as the first line of its output, appends one line
per request to --log (path with query, User-Agent and Via header, and the
Authorization header when there is one, separated by tabs), and serves until it is killed or --lifetime seconds have passed.
"""
import argparse
import base64
import http.server
import ssl
import sys
import threading


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--status", type=int, default=200)
    parser.add_argument("--body", default="")
    parser.add_argument("--log", default="")
    parser.add_argument("--lifetime", type=float, default=120.0)
    parser.add_argument("--tls-cert", default="", help="PEM file with key and certificate")
    parser.add_argument("--require-auth", default="",
                        help="USER:PASSWORD that basic authentication must present")
    args = parser.parse_args()
    body = args.body.encode("latin-1")
    log_lock = threading.Lock()

    class Handler(http.server.BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def do_GET(self):
            if args.log:
                with log_lock, open(args.log, "a", encoding="latin-1") as log:
                    fields = [self.path, self.headers.get("User-Agent", ""),
                              self.headers.get("Via", "")]
                    if "Authorization" in self.headers:
                        fields.append(self.headers["Authorization"])
                    log.write("\t".join(fields) + "\n")
            if args.require_auth and not self.authorized():
                refusal = b"who are you?"
                self.send_response(401)
                self.send_header("WWW-Authenticate", 'Basic realm="files"')
                self.send_header("Content-Length", str(len(refusal)))
                self.end_headers()
                self.wfile.write(refusal)
                return
            self.send_response(args.status)
            self.send_header("Content-Type", "text/plain")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)

        def authorized(self):
            expected = base64.b64encode(args.require_auth.encode("latin-1")).decode("ascii")
            return self.headers.get("Authorization", "") == "Basic " + expected

        def log_message(self, *unused):
            pass

    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    if args.tls_cert:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(args.tls_cert)
        server.socket = context.wrap_socket(server.socket, server_side=True)
    print(server.server_address[1], flush=True)
    threading.Timer(args.lifetime, server.shutdown).start()
    server.serve_forever()
    return 0


if __name__ == "__main__":
    sys.exit(main())
