"""A WebSocket client this project did not write, against the running service.

Reads the schema and the value of "system", subscribes and times the pushed updates, pings,
closes with a reason, and provokes the server's two close codes. Prints "ok" and exits 0
when every check holds; an assertion names the first one that does not.
"""
import asyncio
import json
import re
import sys
import time

import websockets

URI = "ws://127.0.0.1:8083/any/path?with=query"
UUID = "{6F1C2B1E-2D1A-4C8E-9A55-0D4C2B7A9E01}"
WAIT = 5

# Every fixed leaf: value type and unit (None: no unit).
FIXED_LEAVES = {
    "system.memory.free": ("uint64", "bytes"),
    "system.memory.used": ("uint64", "bytes"),
    "system.memory.usage_percent": ("float64", "percent"),
    "system.memory.swap.total": ("uint64", "bytes"),
    "system.memory.swap.free": ("uint64", "bytes"),
    "system.memory.swap.used": ("uint64", "bytes"),
    "system.memory.swap.usage_percent": ("float64", "percent"),
    "system.cpu.all": ("float64", "percent"),
    "system.cpu.load_average.1m": ("float64", None),
    "system.cpu.load_average.5m": ("float64", None),
    "system.cpu.load_average.15m": ("float64", None),
    "system.uptime": ("uint64", "seconds"),
}
CPU_LEAF = ("float64", "percent")
DISK_LEAVES = {
    "name": ("string", None),
    "mount_point": ("string", None),
    "total": ("uint64", "bytes"),
    "free": ("uint64", "bytes"),
    "used": ("uint64", "bytes"),
    "usage_percent": ("float64", "percent"),
}
PYTHON_TYPES = {"uint64": int, "float64": float, "string": str}


def request(kind, path):
    return json.dumps({"uuid": UUID, "type": kind, "body": {"path": path}})


async def recv_json(ws):
    return json.loads(await asyncio.wait_for(ws.recv(), WAIT))


def reply_body(message, kind):
    assert list(message) == ["uuid", "topic", "type", "body"], message
    assert message["uuid"] == UUID and message["topic"] == UUID, message
    assert message["type"] == kind + "Response", message
    return message["body"]


def schema_leaves(schema, path, out):
    """The leaves under `schema` as {path: (valueType, unit)}."""
    if schema["kind"] == "value":
        assert list(schema) in (["kind", "valueType"], ["kind", "unit", "valueType"]), (path, schema)
        out[path] = (schema["valueType"], schema.get("unit"))
        return
    assert list(schema) == ["children", "kind"] and schema["kind"] == "branch", (path, schema)
    names = list(schema["children"])
    assert names == sorted(names, key=lambda n: n.encode()), (path, names)
    for name, child in schema["children"].items():
        schema_leaves(child, path + "." + name, out)


def value_leaves(value, path, out):
    if isinstance(value, dict):
        for name, child in value.items():
            value_leaves(child, path + "." + name, out)
    else:
        out[path] = value


def check_schema_table(leaves):
    for path, want in FIXED_LEAVES.items():
        assert leaves.get(path) == want, (path, leaves.get(path), want)
    cpus = [p for p in leaves if p.startswith("system.cpu.") and p.count(".") == 2 and p != "system.cpu.all"]
    assert cpus, "no per-CPU leaves"
    disks = {}
    for path, got in leaves.items():
        if path in FIXED_LEAVES:
            continue
        if path in cpus:
            assert got == CPU_LEAF, (path, got)
            continue
        match = re.fullmatch(r"system\.disks\.([A-Za-z0-9_-]+)\.([a-z_]+)", path)
        assert match, "unexpected leaf " + path
        disks.setdefault(match.group(1), {})[match.group(2)] = got
    for name, fields in disks.items():
        assert fields == DISK_LEAVES, (name, fields)


async def read_system(ws):
    await ws.send(request("GetSchema", "system"))
    body = reply_body(await recv_json(ws), "GetSchema")
    assert list(body) == ["path", "schema"] and body["path"] == "system", body
    types = {}
    schema_leaves(body["schema"], "system", types)
    check_schema_table(types)

    await ws.send(request("GetValue", "system"))
    body = reply_body(await recv_json(ws), "GetValue")
    assert list(body) == ["path", "value"] and body["path"] == "system", body
    values = {}
    value_leaves(body["value"], "system", values)
    assert set(values) == set(types), set(values) ^ set(types)
    for path, value in values.items():
        kind, unit = types[path]
        assert isinstance(value, PYTHON_TYPES[kind]) and not isinstance(value, bool), (path, value)
        if unit == "percent":
            assert 0 <= value <= 100, (path, value)
    with open("/proc/uptime") as f:
        uptime = float(f.read().split()[0])
    assert abs(values["system.uptime"] - uptime) < 5, (values["system.uptime"], uptime)


async def subscribe_and_time_updates(ws):
    # Subscribed out of path order: the updates still come in path order.
    for path in ("system.uptime", "system.cpu.all"):
        await ws.send(request("SubscribeValue", path))
        body = reply_body(await recv_json(ws), "SubscribeValue")
        assert list(body) == ["path", "subscribed", "value"], body
        assert body["path"] == path and body["subscribed"] is True, body

    ticks = []
    uuids = set()
    for _ in range(3):
        paths = []
        for _ in range(2):
            update = await recv_json(ws)
            assert list(update) == ["uuid", "topic", "type", "body"], update
            assert update["type"] == "DataUpdate", update
            path = update["body"]["path"]
            assert update["topic"] == "DataUpdate-" + path, update
            uuids.add(update["uuid"])
            paths.append(path)
            if path == "system.uptime":
                uptime = update["body"]["value"]
        assert paths == ["system.cpu.all", "system.uptime"], paths
        ticks.append((time.monotonic(), uptime))
    assert len(uuids) == 6, uuids
    for (t0, up0), (t1, up1) in zip(ticks, ticks[1:]):
        assert 0.6 < t1 - t0 < 1.4, [t for t, _ in ticks]
        assert up1 - up0 in (0, 1, 2), [u for _, u in ticks]

    pong = await ws.ping(b"tarnvale ping")
    await asyncio.wait_for(pong, WAIT)


async def closed_by_server(send):
    async with websockets.connect(URI) as ws:
        await ws.send(send)
        try:
            got = await asyncio.wait_for(ws.recv(), WAIT)
            raise AssertionError("no close, got " + repr(got))
        except websockets.ConnectionClosed:
            pass
        return ws.close_code, ws.close_reason


async def main():
    async with websockets.connect(URI) as ws:
        headers = ws.response_headers
        assert "Sec-WebSocket-Extensions" not in headers, headers
        assert "Sec-WebSocket-Protocol" not in headers, headers
        await read_system(ws)
        await subscribe_and_time_updates(ws)
        await ws.close(code=1000, reason="done here")
        assert (ws.close_code, ws.close_reason) == (1000, "done here"), (ws.close_code, ws.close_reason)

    got = await closed_by_server(b"\x01\x02")
    assert got == (1003, "tarnvale accepts JSON text messages only"), got
    got = await closed_by_server("not json")
    assert got == (1002, "invalid request without a usable UUID"), got
    print("ok")


asyncio.run(main())
