#!/usr/bin/python3
"""A small development server: one page on every path and a WebSocket echo on /echo.

Run it from a project folder; the app names the server after that folder. It listens on both
loopback addresses and prints "listening <port>" once it accepts connections.
"""
import argparse
import asyncio
import html
import http
import sys

import websockets
import websockets.server


def page(title: str) -> bytes:
    safe = html.escape(title)
    return (
        "<!doctype html><html><head><meta charset='utf-8'>"
        f"<title>{safe}</title></head><body><h1 id='greeting'>{safe}</h1>"
        "<p>Served by the development server.</p></body></html>"
    ).encode()


async def echo(connection):
    async for message in connection:
        await connection.send(message)


async def serve(port: int, title: str) -> None:
    body = page(title)

    async def answer_plain(path, headers):
        # Plain requests get the page; only upgrade requests on /echo become WebSocket sessions.
        if path == "/echo" and "websocket" in headers.get("Upgrade", "").lower():
            return None
        return (http.HTTPStatus.OK, [("Content-Type", "text/html; charset=utf-8"),
                      ("Content-Length", str(len(body))), ("Connection", "close")], body)

    async with websockets.server.serve(echo, ["127.0.0.1", "::1"], port,
                                       process_request=answer_plain):
        print(f"listening {port}", flush=True)
        await asyncio.Future()


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--title", default="Harbor notes")
    args = parser.parse_args()
    try:
        asyncio.run(serve(args.port, args.title))
    except KeyboardInterrupt:
        pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
