"""The configurator server: the page, the example models and tarvo-cli behind
a small JSON API.

    GET  /api/models                  the models and their parameters
    POST /api/build                   {"model", "values", "segments"} -> mesh answer + "ms"
    GET  /api/export?model=&format=3mf|stl|glb&values=JSON&segments=N[&parts=1]  -> the file

Settings come from the environment (settings.py); the middleware is in
middleware.py, the connection limits in connections.py, the process pool in
workers.py and the result cache in cache.py.
"""

import asyncio
import contextlib
import json
import logging
import re
import shutil
import subprocess
import sys

from starlette.applications import Starlette
from starlette.middleware import Middleware
from starlette.responses import FileResponse, JSONResponse, Response
from starlette.routing import Mount, Route
from starlette.staticfiles import StaticFiles

from cache import ResultCache, program_tag, result_key
from middleware import BodyGuard, HostCheck, SecurityHeaders, client_name, inline_script_hashes
from parameters import BadValue, load_models
from scratch import Scratch
from settings import HERE, Settings
from workers import Busy, TimedOut, WorkerPool

log = logging.getLogger("tarvo-serve")
EXPORT_TYPES = {
    "3mf": "model/3mf",
    "stl": "model/stl",
    "glb": "model/gltf-binary",
}
DEFAULT_SEGMENTS = 48
MAX_SEGMENTS = 256
# A request body or a "values" text nests a few levels; far more is an attack
# on the parser's recursion.
MAX_JSON_DEPTH = 32


def _error(status, message, parameter=None):
    body = {"error": message}
    if parameter:
        body["parameter"] = parameter
    return JSONResponse(body, status_code=status)


_JSON_STRING = re.compile(rb'"(?:[^"\\]|\\.)*"', re.S)
_BRACKET = re.compile(rb"[\[\]{}]")


def parse_json(data, what):
    """Returns the JSON value of `data` (bytes or text), or raises BadValue when
    it is not JSON or nests deeper than MAX_JSON_DEPTH."""
    if isinstance(data, str):
        data = data.encode("utf-8", "surrogatepass")
    depth = 0
    # Brackets inside strings do not nest, so the strings go first.
    for bracket in _BRACKET.finditer(_JSON_STRING.sub(b'""', data)):
        depth += 1 if bracket.group() in (b"[", b"{") else -1
        if depth > MAX_JSON_DEPTH:
            raise BadValue(f"{what} nests deeper than {MAX_JSON_DEPTH} levels")
    try:
        return json.loads(data)
    except (ValueError, UnicodeDecodeError, RecursionError) as error:
        raise BadValue(f"{what} is not JSON: {error}")


def _segments(value):
    if value is None:
        return DEFAULT_SEGMENTS
    # ASCII digits only: str.isdigit() takes "²" and "٣", and int() a digit
    # string of any length.
    if isinstance(value, str) and re.fullmatch(r"[0-9]{1,6}", value, re.ASCII):
        value = int(value)
    if not isinstance(value, int) or isinstance(value, bool) or not 3 <= value <= MAX_SEGMENTS:
        raise BadValue(f'"segments" must be a whole number from 3 to {MAX_SEGMENTS}')
    return value


def _is_json_body(request):
    media = request.headers.get("content-type", "").split(";")[0].strip().lower()
    return media == "application/json"


async def _while_connected(request, work):
    """Returns what the coroutine `work` returns, or None when the client goes
    away first; the work is then cancelled (and its process killed)."""
    task = asyncio.ensure_future(work)

    async def disconnected():
        while (await request.receive())["type"] != "http.disconnect":
            pass

    watcher = asyncio.ensure_future(disconnected())
    try:
        await asyncio.wait({task, watcher}, return_when=asyncio.FIRST_COMPLETED)
    except BaseException:
        task.cancel()
        watcher.cancel()
        raise
    watcher.cancel()
    if task.done():
        return task.result()
    task.cancel()
    await asyncio.gather(task, return_exceptions=True)
    log.info("%s: %s %s: the client went away; its build was stopped",
             client_name(request.scope), request.method, request.url.path)
    return None


def create_app(settings=None):
    """Returns the ASGI application serving the page and the API."""
    settings = settings or Settings()
    models = load_models(settings.models)
    pool = WorkerPool(settings.cli, settings.workers, settings.queue, settings.time_limit,
                      settings.client_share)
    cache = ResultCache.from_settings(settings)
    tag = program_tag(settings.cli, _probe_version(settings.cli))
    scratch = Scratch()

    def prepare(name, values, segments):
        """Returns (model, its document with the values set, segments), or
        raises BadValue (400) and LookupError (404, an unknown model)."""
        # Only names read from the models folder at start are known, so no
        # request can reach a file outside it.
        model = models.get(name) if isinstance(name, str) else None
        if model is None:
            raise LookupError(f"unknown model {json.dumps(name)}")
        return model, model.document_with(values), _segments(segments)

    building = {}  # key -> future of the answer being made (b"" if it fails)

    async def produce(request, key, work):
        """Returns (the answer for `key`, "hit" or "miss"): the stored one, the
        one another request is making now, or one made by `work` (returning
        (bytes, None) or (None, a refusal)) in the pool and then stored.
        Returns (None, a refusal) when it cannot be made, (None, None) when
        the client went away."""
        kept, _ = await cache.get(key)
        if kept is not None:
            return kept, "hit"
        # Visitors asking for the same configuration at once wait for one build.
        other = building.get(key)
        if other is not None:
            shared = await _while_connected(request, asyncio.shield(other))
            if shared is None:
                return None, None
            if shared:
                return shared, "hit"
        made = None
        mine = building[key] = asyncio.get_running_loop().create_future()
        try:
            made = await _while_connected(request, work())
        except Busy:
            return None, _error(503, "the server is busy; try again in a moment")
        except TimedOut:
            return None, _error(504, f"the build took longer than {settings.time_limit:g} s")
        finally:
            if building.get(key) is mine:
                del building[key]
            mine.set_result(made[0] or b"" if made else b"")
        if made is None:
            return None, None
        data, refusal = made
        if data is None:
            return None, refusal
        await cache.put(key, data)
        return data, "miss"

    def client(request):
        return request.client.host if request.client else ""

    async def list_models(request):
        return JSONResponse({"models": [m.describe() for m in models.values()]})

    async def build(request):
        if not _is_json_body(request):
            return _error(415, "a build is sent as application/json")
        try:
            body = parse_json(await request.body(), "the body")
            if not isinstance(body, dict):
                raise BadValue("the body must be a JSON object")
            model, document, segments = prepare(
                body.get("model"), body.get("values", {}), body.get("segments"))
        except LookupError as error:
            return _error(404, error.args[0])
        except BadValue as error:
            return _error(400, str(error), error.parameter)
        req = {"jsonStr": json.dumps(document), "vid": "_all_", "segments": segments,
               "wantColors": True}

        async def work():
            done = await pool.run(["build"], json.dumps(req).encode(), client(request))
            if done.code != 0:
                return None, _cli_failure(done)
            # The answer is passed through as it came, with the time put in front.
            answer = done.out.rstrip(b"\n")
            if not answer.startswith(b"{"):
                return None, _error(502, "tarvo-cli answered something that is not a JSON object")
            head = b'{"ms":%s' % json.dumps(round(done.ms, 1)).encode()
            return head + (b"}" if answer == b"{}" else b"," + answer[1:]), None

        data, outcome = await produce(request, result_key(tag, "build", document, segments), work)
        if data is None:
            return outcome or Response(status_code=499)
        return Response(data, media_type="application/json",
                        headers={"X-Cache": outcome, **_served_by(settings)})

    async def export(request):
        query = request.query_params
        fmt = query.get("format", "")
        if fmt not in EXPORT_TYPES:
            return _error(400, "format must be one of " + ", ".join(EXPORT_TYPES))
        try:
            values = parse_json(query.get("values", "{}"), "values")
            model, document, segments = prepare(query.get("model"), values, query.get("segments"))
        except LookupError as error:
            return _error(404, error.args[0])
        except BadValue as error:
            return _error(400, str(error), error.parameter)

        # parts=1: one 3MF object per visible object (a box and its lid apart).
        parts = ["--parts"] if fmt == "3mf" and query.get("parts") == "1" else []

        async def work():
            folder = scratch.folder()
            try:
                source = folder / "model.json"
                target = folder / f"{model.name}.{fmt}"
                source.write_text(json.dumps(document), encoding="utf-8")
                done = await pool.run(
                    ["export", str(source), "-o", str(target), "--segments", str(segments)] + parts,
                    b"", client(request))
                if done.code != 0 or not target.is_file():
                    return None, _cli_failure(done)
                return target.read_bytes(), None
            finally:
                shutil.rmtree(folder, ignore_errors=True)

        key = result_key(tag, "export", document, segments, fmt + ("+parts" if parts else ""))
        data, outcome = await produce(request, key, work)
        if data is None:
            return outcome or Response(status_code=499)
        return Response(data, media_type=EXPORT_TYPES[fmt], headers={
            "Content-Disposition": f'attachment; filename="{model.name}.{fmt}"',
            "X-Cache": outcome, **_served_by(settings)})

    async def index(request):
        return FileResponse(HERE / "static" / "index.html")

    three = HERE / "node_modules" / "three"
    routes = [
        Route("/", index),
        Route("/api/models", list_models),
        Route("/api/build", build, methods=["POST"]),
        Route("/api/export", export),
        Mount("/static", StaticFiles(directory=HERE / "static")),
        # three.js from the pinned npm package: the module build and the add-ons.
        Mount("/vendor/three/build", StaticFiles(directory=three / "build", check_dir=False)),
        Mount("/vendor/three/examples/jsm",
              StaticFiles(directory=three / "examples" / "jsm", check_dir=False)),
    ]
    scripts = inline_script_hashes((HERE / "static" / "index.html").read_text(encoding="utf-8"))
    middleware = [
        Middleware(SecurityHeaders, script_sources=scripts),
        Middleware(HostCheck, allowed_hosts=settings.allowed_hosts),
        Middleware(BodyGuard, limit=settings.max_body, timeout=settings.body_timeout),
    ]
    @contextlib.asynccontextmanager
    async def lifespan(app):
        from connections import quiet_exhaustion
        quiet_exhaustion(asyncio.get_running_loop())
        try:
            yield
        finally:
            await cache.close()
            scratch.remove()

    async def internal_error(request, error):
        # Our own fault: uvicorn logs the traceback; the client gets JSON.
        return _error(500, "internal error")

    app = Starlette(routes=routes, middleware=middleware, lifespan=lifespan,
                    exception_handlers={Exception: internal_error})
    app.state.pool, app.state.cache, app.state.scratch = pool, cache, scratch
    return app


def _served_by(settings):
    return {"X-Served-By": settings.replica} if settings.replica else {}


def _probe_version(program):
    """Returns the version tarvo-cli reports, or "unknown"."""
    try:
        done = subprocess.run([program, "probe"], stdin=subprocess.DEVNULL, capture_output=True,
                              timeout=30)
        return str(json.loads(done.stdout)["version"])
    except (OSError, ValueError, KeyError, TypeError, subprocess.TimeoutExpired):
        return "unknown"


def _cli_failure(done):
    """tarvo-cli refused the request (exit 1): its message as 422. Anything else
    (a crash, a usage error) is the server's fault: 500."""
    message = done.err.decode("utf-8", "replace").strip()
    if done.code == 1:
        return _error(422, message or "tarvo-cli failed without a message")
    return _error(500, f"tarvo-cli ended with code {done.code}: {message[-500:]}")


def main():
    import uvicorn

    from connections import ACCEPT_BATCH, connection_ceiling, guarded_protocol

    logging.basicConfig(stream=sys.stderr, level=logging.INFO, format="tarvo-serve: %(message)s")
    settings = Settings()
    app = create_app(settings)
    ceiling = connection_ceiling(settings.max_connections, settings.workers)
    config = uvicorn.Config(
        app, host=settings.host, port=settings.port, log_level="warning",
        http=guarded_protocol(settings.header_timeout, ceiling),
        timeout_keep_alive=settings.keep_alive, proxy_headers=True, backlog=ACCEPT_BATCH,
        forwarded_allow_ips=settings.trusted_proxies, server_header=False)
    print(f"tarvo configurator: http://{settings.host}:{settings.port}/ "
          f"({settings.workers} workers, queue {settings.queue}, {ceiling} connections at most)",
          flush=True)
    uvicorn.Server(config).run()


if __name__ == "__main__":
    main()
