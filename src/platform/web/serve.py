#!/usr/bin/env python3
"""Serves the Kelvorine page from this folder for playing locally.

    python3 serve.py [--port 8080] [--bind 127.0.0.1]

Then open http://127.0.0.1:8080/ in a browser. Any static web server can host the folder; what it
needs to send is the right type for .wasm (application/wasm) and .data. The page uses no threads,
so it needs no cross-origin isolation; this server still sends the two isolation headers, so that
the page keeps working if it is ever built with threads, and it asks browsers not to cache, so that
a rebuilt page is always the one that loads.
"""
import argparse
import functools
import http.server
import os


class Handler(http.server.SimpleHTTPRequestHandler):
    extensions_map = {
        **http.server.SimpleHTTPRequestHandler.extensions_map,
        ".wasm": "application/wasm",
        ".data": "application/octet-stream",
        ".js": "text/javascript",
        ".webmanifest": "application/manifest+json",
        ".html": "text/html; charset=utf-8",
    }

    def end_headers(self):
        self.send_header("Cross-Origin-Opener-Policy", "same-origin")
        self.send_header("Cross-Origin-Embedder-Policy", "require-corp")
        self.send_header("Cache-Control", "no-store")
        super().end_headers()

    def log_message(self, fmt, *args):
        if os.environ.get("KELVORINE_SERVE_QUIET") != "1":
            super().log_message(fmt, *args)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--port", type=int, default=8080, help="0 picks a free port")
    parser.add_argument("--bind", default="127.0.0.1")
    args = parser.parse_args()
    folder = os.path.dirname(os.path.abspath(__file__))
    handler = functools.partial(Handler, directory=folder)
    with http.server.ThreadingHTTPServer((args.bind, args.port), handler) as server:
        host, port = server.server_address[:2]
        # The first line says where the page is (the test reads it to learn a picked port).
        print(f"Serving Kelvorine at http://{host}:{port}/", flush=True)
        try:
            server.serve_forever()
        except KeyboardInterrupt:
            pass


if __name__ == "__main__":
    main()
