#!/usr/bin/env python3
"""Development catalog server: serves a catalog folder over HTTP (and HTTPS).

    python3 tools/catalog_server.py --catalog tools/demo_catalog --port 8080

The folder holds catalog.json, files/ (packages) and icons/. Package sizes and
MD5 digests are computed from the files, so the catalog cannot drift from them.
Below /_control/ the server offers fault injection for tests (see tools/README.md).
Python 3 standard library only.
"""

import argparse
import json
import os
import ssl
import sys
import threading
from http.server import ThreadingHTTPServer

# The parts live beside this script; it also runs when loaded by file path.
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from devserver.catalog import Catalog  # noqa: E402
from devserver.faults import FaultState  # noqa: E402
from devserver.handler import make_handler  # noqa: E402
from devserver.reports import Reports  # noqa: E402


class Server(ThreadingHTTPServer):
    daemon_threads = True
    block_on_close = False
    allow_reuse_address = True
    request_queue_size = 128

    def handle_error(self, request, client_address):
        # Clients that go away mid-request are routine here (tests cut
        # connections on purpose); anything else deserves a trace.
        if isinstance(sys.exc_info()[1], (ConnectionError, TimeoutError, ssl.SSLError)):
            return
        super().handle_error(request, client_address)


class TlsServer(Server):
    """The TLS handshake runs on the connection's own thread, so a client that
    never completes it cannot stall the accept loop."""

    def __init__(self, address, handler, context):
        self.context = context
        super().__init__(address, handler)

    def finish_request(self, request, client_address):
        request.settimeout(30)
        try:
            tls = self.context.wrap_socket(request, server_side=True)
        except (ssl.SSLError, OSError):
            return  # the client refused our certificate or went away
        try:
            tls.settimeout(None)
            self.RequestHandlerClass(tls, client_address, self)
        finally:
            try:
                tls.close()
            except OSError:
                pass


def start(catalog_dir, host="127.0.0.1", port=0, reports_path=None, tls_port=None, tls_cert=None,
          tls_key=None, quiet=False, testing=True, digest_store=None, throttle=None):
    """Starts the listeners on daemon threads; returns the list of servers.

    throttle (bytes per second) paces every package body below /files/, so a
    demo shows progress and speed; fault rules with bytesPerSecond still win."""
    catalog = Catalog(catalog_dir, digest_store)
    reports = Reports(reports_path or os.path.join(catalog.folder, "reports.jsonl"))
    handler = make_handler(catalog, FaultState(), reports, quiet, testing, throttle)
    threading.Thread(target=catalog.warm_up, daemon=True).start()
    servers = [Server((host, port), handler)]
    if tls_port is not None:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(tls_cert, tls_key)
        servers.append(TlsServer((host, tls_port), handler, context))
    for server in servers:
        threading.Thread(target=server.serve_forever, kwargs={"poll_interval": 0.05}, daemon=True).start()
    return servers


def main(argv=None):
    parser = argparse.ArgumentParser(description="Development catalog server.")
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=8080, help="0 picks a free port")
    parser.add_argument("--catalog", required=True, help="catalog folder (catalog.json, files/, icons/)")
    parser.add_argument("--reports", help="reports file (default CATALOG/reports.jsonl)")
    parser.add_argument("--port-file", help='writes {"http": P, "https": Q} once listening')
    parser.add_argument("--tls-port", type=int)
    parser.add_argument("--tls-cert")
    parser.add_argument("--tls-key")
    parser.add_argument("--digest-cache", help="file keeping package digests across restarts "
                        "(default CATALOG/.digests.json; an empty value keeps them in memory only)")
    parser.add_argument("--quiet", action="store_true", help="no request log on stderr")
    parser.add_argument("--throttle", type=int, metavar="BYTES_PER_SEC",
                        help="serve packages (/files/) at most this fast, so a demo shows progress")
    parser.add_argument("--no-test-interface", action="store_true",
                        help="serve only the catalog: no /_control/, no fault rules, no /_ helpers")
    args = parser.parse_args(argv)
    if not os.path.isdir(args.catalog):
        parser.error("no catalog folder %s" % args.catalog)
    if args.tls_port is not None and not (args.tls_cert and args.tls_key):
        parser.error("--tls-port needs --tls-cert and --tls-key")
    if args.throttle is not None and args.throttle < 1:
        parser.error("--throttle needs a positive number of bytes per second")
    digest_store = args.digest_cache
    if digest_store is None:
        digest_store = os.path.join(args.catalog, ".digests.json")

    servers = start(args.catalog, args.host, args.port, args.reports, args.tls_port, args.tls_cert,
                    args.tls_key, args.quiet, not args.no_test_interface, digest_store, args.throttle)
    ports = {"http": servers[0].server_address[1],
             "https": servers[1].server_address[1] if len(servers) > 1 else None}
    print("http port %d" % ports["http"], flush=True)
    if ports["https"] is not None:
        print("https port %d" % ports["https"], flush=True)
    if args.port_file:
        temp = args.port_file + ".tmp"
        with open(temp, "w") as f:
            json.dump(ports, f)
        os.replace(temp, args.port_file)
    try:
        threading.Event().wait()
    except KeyboardInterrupt:
        pass
    for server in servers:
        server.shutdown()
    return 0


if __name__ == "__main__":
    sys.exit(main())
