"""A WebSocket client this project did not write, against the test's echo server.

Usage: echo_client.py PORT. Prints "ok" and exits 0 when every check holds.
"""
import asyncio
import sys

import websockets


async def main(port):
    uri = f"ws://127.0.0.1:{port}/any/path?with=query"
    async with websockets.connect(uri, max_size=None) as ws:
        headers = ws.response_headers
        assert "Sec-WebSocket-Extensions" not in headers, headers
        assert "Sec-WebSocket-Protocol" not in headers, headers

        await ws.send("hello")
        assert await ws.recv() == "echo:hello"

        large = "x" * 70000 + "\u20ac"
        await ws.send(large)
        assert await ws.recv() == "echo:" + large

        pong = await ws.ping(b"abc")
        await asyncio.wait_for(pong, 5)

        await ws.close(code=1000, reason="bye")
        assert ws.close_code == 1000, ws.close_code
        assert ws.close_reason == "bye", ws.close_reason
    print("ok")


asyncio.run(main(int(sys.argv[1])))
