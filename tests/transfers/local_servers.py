#!/usr/bin/env python3
"""Local test servers for the downloader, on 127.0.0.1 only, each stopping by itself.

  local_servers.py http ROOT PORTFILE LOG [SECONDS]
      Files under ROOT, plus replies made on purpose:
        /chunked/N          N bytes in chunks, no stated size
        /cut/N/M            states N bytes, sends M, then drops the connection
        /slow/N             N bytes, 1 KiB every 50 ms
        /stall/N/M          states N bytes, sends M, then sends nothing more for 150 s
        /fill/N[/MBPS]      N bytes as fast as the connection takes them, or MBPS MiB a second (no file
                            behind them; byte i is (i % 2**20) * 13 % 256)
        /trickle/N          states N bytes, sends 2 bytes a second
        /bigheader/N        a header line of N bytes before an empty body
        /redirect/PATH      302 to /PATH;   /redirect-https  302 to an https address
        /redirect-to/URL    302 to URL as written;   /loop  302 to itself, for ever
        /status/CODE        that status with a small page
      A request the server cannot read (a TLS greeting, say) is logged as "SECONDS BAD".
      Each request is logged as "SECONDS-SINCE-1970 METHOD PATH AGENT".
  local_servers.py ftp ROOT PORT PORTFILE LOG [SECONDS]
      An anonymous FTP server (read and write) on ROOT; every command line is logged.

The chosen port is written to PORTFILE once the server listens. The server ends after SECONDS
(default 120) or when its parent process goes away.
"""
import os
import sys
import threading
import time


def watchdog(seconds):
    parent = os.getppid()
    deadline = time.time() + seconds

    def run():
        while time.time() < deadline and os.getppid() == parent:
            time.sleep(0.2)
        os._exit(0)

    threading.Thread(target=run, daemon=True).start()


def write_port(portfile, port):
    tmp = portfile + ".tmp"
    with open(tmp, "w") as f:
        f.write(str(port))
    os.rename(tmp, portfile)


def log_line(path, text):
    with open(path, "a") as f:
        f.write(text + "\n")


def serve_http(root, portfile, log):
    import functools
    import http.server

    class Handler(http.server.SimpleHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def log_message(self, *args):
            pass

        def parse_request(self):
            if super().parse_request():
                return True
            log_line(log, "%.3f BAD" % time.time())
            return False

        def body(self, code, data, stated=None, chunked=False, extra=()):
            self.send_response(code)
            self.send_header("Content-Type", "application/octet-stream")
            for k, v in extra:
                self.send_header(k, v)
            if chunked:
                self.send_header("Transfer-Encoding", "chunked")
            else:
                self.send_header("Content-Length", str(len(data) if stated is None else stated))
            self.end_headers()
            return data

        def do_GET(self):
            log_line(log, "%.3f GET %s %s" % (time.time(), self.path, self.headers.get("User-Agent", "")))
            parts = self.path.strip("/").split("/")
            try:
                if parts[0] == "chunked":
                    n = int(parts[1])
                    self.body(200, b"", chunked=True)
                    data = bytes((i * 13) % 256 for i in range(n))
                    for i in range(0, n, 1000):
                        block = data[i:i + 1000]
                        self.wfile.write(b"%x\r\n%s\r\n" % (len(block), block))
                    self.wfile.write(b"0\r\n\r\n")
                elif parts[0] == "cut":
                    n, m = int(parts[1]), int(parts[2])
                    self.body(200, b"", stated=n)
                    self.wfile.write(b"c" * m)
                    self.wfile.flush()
                    self.close_connection = True
                elif parts[0] == "slow":
                    n = int(parts[1])
                    self.body(200, b"", stated=n)
                    sent = 0
                    while sent < n:
                        block = min(1024, n - sent)
                        self.wfile.write(b"s" * block)
                        self.wfile.flush()
                        sent += block
                        time.sleep(0.05)
                elif parts[0] == "fill":
                    n = int(parts[1])
                    rate = float(parts[2]) if len(parts) > 2 else 0
                    self.body(200, b"", stated=n)
                    block = bytes((i * 13) % 256 for i in range(1 << 20))
                    sent = 0
                    began = time.time()
                    while sent < n:
                        k = min(len(block), n - sent)
                        self.wfile.write(block[:k])
                        sent += k
                        if rate > 0:
                            ahead = began + sent / (rate * (1 << 20)) - time.time()
                            if ahead > 0:
                                time.sleep(ahead)
                elif parts[0] == "trickle":
                    n = int(parts[1])
                    self.body(200, b"", stated=n)
                    for _ in range(n // 2):
                        self.wfile.write(b"tt")
                        self.wfile.flush()
                        time.sleep(1)
                elif parts[0] == "bigheader":
                    self.wfile.write(self.body(200, b"", extra=[("X-Padding", "p" * int(parts[1]))]))
                elif parts[0] == "redirect-to":
                    self.body(302, b"", extra=[("Location", self.path.split("/redirect-to/", 1)[1])])
                elif parts[0] == "loop":
                    self.body(302, b"", extra=[("Location", "/loop")])
                elif parts[0] == "stall":
                    n, m = int(parts[1]), int(parts[2])
                    self.body(200, b"", stated=n)
                    self.wfile.write(b"t" * m)
                    self.wfile.flush()
                    time.sleep(150)
                    self.close_connection = True
                elif parts[0] == "redirect":
                    self.body(302, b"", extra=[("Location", "/" + "/".join(parts[1:]))])
                elif parts[0] == "redirect-https":
                    self.body(302, b"", extra=[("Location", "https://127.0.0.1:1/x.mp3")])
                elif parts[0] == "status":
                    code = int(parts[1])
                    # 204 and 304 replies carry no body.
                    page = b"" if code in (204, 304) else b"<html>error page</html>"
                    self.wfile.write(self.body(code, page))
                else:
                    return super().do_GET()
            except (BrokenPipeError, ConnectionResetError):
                self.close_connection = True

    handler = functools.partial(Handler, directory=root)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    server.daemon_threads = True
    write_port(portfile, server.server_address[1])
    server.serve_forever()


def serve_ftp(root, port, portfile, log):
    from pyftpdlib.authorizers import DummyAuthorizer
    from pyftpdlib.handlers import FTPHandler
    from pyftpdlib.servers import FTPServer
    import logging

    logging.disable(logging.CRITICAL)
    authorizer = DummyAuthorizer()
    authorizer.add_anonymous(root, perm="elradfmw")

    class Handler(FTPHandler):
        def pre_process_command(self, line, cmd, arg):
            log_line(log, line if cmd != "PASS" else "PASS " + arg)
            return super().pre_process_command(line, cmd, arg)

    Handler.authorizer = authorizer
    server = FTPServer(("127.0.0.1", port), Handler)
    write_port(portfile, server.address[1])
    server.serve_forever(timeout=0.5)


def main():
    kind = sys.argv[1]
    if kind == "http":
        root, portfile, log = sys.argv[2:5]
        watchdog(float(sys.argv[5]) if len(sys.argv) > 5 else 120)
        serve_http(root, portfile, log)
    elif kind == "ftp":
        root, port, portfile, log = sys.argv[2], int(sys.argv[3]), sys.argv[4], sys.argv[5]
        watchdog(float(sys.argv[6]) if len(sys.argv) > 6 else 120)
        serve_ftp(root, port, portfile, log)
    else:
        sys.exit("unknown server kind " + kind)


if __name__ == "__main__":
    main()
