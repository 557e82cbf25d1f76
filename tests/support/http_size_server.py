#!/usr/bin/python3
"""A local HTTP server whose answers exercise a client's size query.

Usage: http_size_server.py LOG_FILE PORT_FILE STOP_FILE
Listens on 127.0.0.1 with an OS-chosen port, writes the port to PORT_FILE once it listens,
appends "METHOD PATH" for every request to LOG_FILE, and ends when STOP_FILE appears (removing
it) or after ten minutes, so that it never outlives a test run. Paths:
  /size1234       200, Content-Length 1234 (a body of 1234 bytes for GET)
  /nolength       200, no Content-Length (the body ends when the connection closes)
  /abc            200, Content-Length: abc
  /huge           200, Content-Length 5000000000 (beyond 32 bits), no body
  /nohead         HEAD refused with 501; GET 200 with Content-Length 77
  /headnolength   HEAD 200 without Content-Length; GET 200 with Content-Length 55
  /redirect       302 to /size1234
  /silent         accepts the request and never answers
  anything else   404 with an error page of its own length
"""
import http.server
import os
import socketserver
import sys
import threading
import time


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, format, *args):
        pass

    def record(self):
        with open(self.server.log_path, "a") as log:
            log.write("%s %s\n" % (self.command, self.path))

    def answer(self, status, headers, body=b""):
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Connection", "close")
        self.end_headers()
        if self.command == "GET" and body:
            self.wfile.write(body)
        self.close_connection = True

    def serve(self):
        self.record()
        path = self.path
        head = self.command == "HEAD"
        if path == "/size1234":
            self.answer(200, [("Content-Length", "1234")], b"x" * 1234)
        elif path == "/nolength":
            self.answer(200, [("Content-Type", "application/octet-stream")], b"y" * 10)
        elif path == "/abc":
            self.answer(200, [("Content-Length", "abc")])
        elif path == "/huge":
            self.answer(200, [("Content-Length", "5000000000")])
        elif path == "/nohead":
            if head:
                self.answer(501, [("Content-Length", "0")])
            else:
                self.answer(200, [("Content-Length", "77")], b"z" * 77)
        elif path == "/headnolength":
            if head:
                self.answer(200, [])
            else:
                self.answer(200, [("Content-Length", "55")], b"w" * 55)
        elif path == "/redirect":
            self.answer(302, [("Location", "/size1234"), ("Content-Length", "0")])
        elif path == "/silent":
            time.sleep(120)
        else:
            page = b"<html><body>not found</body></html>"
            self.answer(404, [("Content-Length", str(len(page)))], page)

    def do_HEAD(self):
        self.serve()

    def do_GET(self):
        self.serve()


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True


def stop_when_asked(stop_path):
    started = time.time()
    while not os.path.exists(stop_path) and time.time() - started < 600:
        time.sleep(0.05)
    # Taking the stop file away tells the test that the server has stopped listening.
    try:
        os.remove(stop_path)
    except OSError:
        pass
    os._exit(0)


def main():
    log_path, port_path, stop_path = sys.argv[1:4]
    server = Server(("127.0.0.1", 0), Handler)
    server.log_path = log_path
    threading.Thread(target=stop_when_asked, args=(stop_path,), daemon=True).start()
    with open(port_path + ".part", "w") as port_file:
        port_file.write(str(server.server_address[1]))
    os.replace(port_path + ".part", port_path)
    server.serve_forever()


if __name__ == "__main__":
    main()
