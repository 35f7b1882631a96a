"""A static server for the built page on 127.0.0.1, for a local try and the
page's tests: serves one folder, with .wasm as application/wasm.

    python3 web/serve.py PORT FOLDER

Port 0 picks a free port; the port taken is printed on the first line.
"""
import functools
import http.server
import sys


class PageHandler(http.server.SimpleHTTPRequestHandler):
    extensions_map = {
        **http.server.SimpleHTTPRequestHandler.extensions_map,
        ".wasm": "application/wasm",
        ".js": "text/javascript",
        ".mjs": "text/javascript",
    }

    def log_message(self, format, *args):
        # Quiet: the tests read the first line for the port.
        pass


def main():
    port = int(sys.argv[1])
    folder = sys.argv[2]
    handler = functools.partial(PageHandler, directory=folder)
    with http.server.ThreadingHTTPServer(("127.0.0.1", port), handler) as server:
        print(f"port {server.server_address[1]}", flush=True)
        server.serve_forever()


if __name__ == "__main__":
    main()
