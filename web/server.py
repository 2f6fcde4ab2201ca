"""The configurator server: the page, the example models and tarvo-cli behind
a small JSON API.

    GET  /api/models                  the models and their parameters
    POST /api/build                   {"model", "values", "segments"} -> mesh answer + "ms"
    GET  /api/export?model=&format=3mf|stl|glb&values=JSON&segments=N[&parts=1]  -> the file

Settings come from the environment: PORT (8080), TARVO_CLI (build/tarvo-cli),
TARVO_MODELS (examples/models), TARVO_WORKERS (one per core), TARVO_QUEUE
(requests allowed to wait, 4 per worker), TARVO_TIME_LIMIT (seconds per
process, 20), TARVO_MAX_BODY (bytes, 65536).
"""

import json
import os
import tempfile
from pathlib import Path

from starlette.applications import Starlette
from starlette.middleware import Middleware
from starlette.responses import FileResponse, JSONResponse, Response
from starlette.routing import Mount, Route
from starlette.staticfiles import StaticFiles

from parameters import BadValue, load_models
from workers import Busy, TimedOut, WorkerPool

HERE = Path(__file__).resolve().parent
ROOT = HERE.parent
EXPORT_TYPES = {
    "3mf": "model/3mf",
    "stl": "model/stl",
    "glb": "model/gltf-binary",
}
DEFAULT_SEGMENTS = 48
MAX_SEGMENTS = 256


class Settings:
    def __init__(self, env=os.environ):
        self.cli = env.get("TARVO_CLI", str(ROOT / "build" / "tarvo-cli"))
        self.models = env.get("TARVO_MODELS", str(ROOT / "examples" / "models"))
        self.workers = max(1, int(env.get("TARVO_WORKERS", os.cpu_count() or 1)))
        self.queue = max(0, int(env.get("TARVO_QUEUE", 4 * self.workers)))
        self.time_limit = float(env.get("TARVO_TIME_LIMIT", 20))
        self.max_body = int(env.get("TARVO_MAX_BODY", 65536))


def _error(status, message, parameter=None):
    body = {"error": message}
    if parameter:
        body["parameter"] = parameter
    return JSONResponse(body, status_code=status)


class BodyLimit:
    """Refuses request bodies above `limit` bytes with 413, whether announced
    by Content-Length or streamed without one."""

    def __init__(self, app, limit):
        self.app, self.limit = app, limit

    async def __call__(self, scope, receive, send):
        if scope["type"] != "http":
            return await self.app(scope, receive, send)
        headers = dict(scope["headers"])
        length = headers.get(b"content-length")
        if length is not None and (not length.isdigit() or int(length) > self.limit):
            return await _error(413, f"request body above {self.limit} bytes")(scope, receive, send)
        seen = 0

        async def limited_receive():
            nonlocal seen
            message = await receive()
            if message["type"] == "http.request":
                seen += len(message.get("body", b""))
                if seen > self.limit:
                    raise _TooLarge()
            return message

        try:
            await self.app(scope, limited_receive, send)
        except _TooLarge:
            await _error(413, f"request body above {self.limit} bytes")(scope, receive, send)


class _TooLarge(Exception):
    pass


def _segments(value):
    if value is None:
        return DEFAULT_SEGMENTS
    if isinstance(value, str) and value.isdigit():
        value = int(value)
    if not isinstance(value, int) or isinstance(value, bool) or not 3 <= value <= MAX_SEGMENTS:
        raise BadValue(f'"segments" must be a whole number from 3 to {MAX_SEGMENTS}')
    return value


def create_app(settings=None):
    """Returns the ASGI application serving the page and the API."""
    settings = settings or Settings()
    models = load_models(settings.models)
    pool = WorkerPool(settings.cli, settings.workers, settings.queue, settings.time_limit)

    def prepare(name, values, segments):
        """Returns (model, its document with the values set, segments, None),
        or a refusal as the last item: 404 for an unknown model, 400 for values
        or segments it cannot take."""
        # Only names read from the models folder at start are known, so no
        # request can reach a file outside it.
        model = models.get(name) if isinstance(name, str) else None
        if model is None:
            return None, None, None, _error(404, f"unknown model {json.dumps(name)}")
        try:
            return model, model.document_with(values), _segments(segments), None
        except BadValue as error:
            return None, None, None, _error(400, str(error), error.parameter)

    async def run(args, stdin=b""):
        try:
            return await pool.run(args, stdin), None
        except Busy:
            return None, _error(503, "the server is busy; try again in a moment")
        except TimedOut:
            return None, _error(504, f"the build took longer than {settings.time_limit:g} s")

    async def list_models(request):
        return JSONResponse({"models": [m.describe() for m in models.values()]})

    async def build(request):
        try:
            body = json.loads(await request.body())
        except (ValueError, UnicodeDecodeError) as error:
            return _error(400, f"the body is not JSON: {error}")
        if not isinstance(body, dict):
            return _error(400, "the body must be a JSON object")
        model, document, segments, refusal = prepare(
            body.get("model"), body.get("values", {}), body.get("segments"))
        if refusal:
            return refusal
        req = {"jsonStr": json.dumps(document), "vid": "_all_", "segments": segments,
               "wantColors": True}
        done, failure = await run(["build"], json.dumps(req).encode())
        if failure:
            return failure
        if done.code != 0:
            return _cli_failure(done)
        # The answer is passed through as it came, with the time put in front.
        answer = done.out.rstrip(b"\n")
        if not answer.startswith(b"{"):
            return _error(502, "tarvo-cli answered something that is not a JSON object")
        ms = round(done.ms, 1)
        head = b'{"ms":%s' % json.dumps(ms).encode()
        body = head + (b"}" if answer == b"{}" else b"," + answer[1:])
        return Response(body, media_type="application/json", headers={"X-Build-Ms": str(ms)})

    async def export(request):
        query = request.query_params
        fmt = query.get("format", "")
        if fmt not in EXPORT_TYPES:
            return _error(400, "format must be one of " + ", ".join(EXPORT_TYPES))
        try:
            values = json.loads(query.get("values", "{}"))
        except ValueError as error:
            return _error(400, f"values is not JSON: {error}")
        model, document, segments, refusal = prepare(
            query.get("model"), values, query.get("segments"))
        if refusal:
            return refusal
        with tempfile.TemporaryDirectory(prefix="tarvo-export-") as folder:
            source = Path(folder) / "model.json"
            target = Path(folder) / f"{model.name}.{fmt}"
            source.write_text(json.dumps(document), encoding="utf-8")
            # parts=1: one 3MF object per visible object (a box and its lid apart).
            parts = ["--parts"] if fmt == "3mf" and query.get("parts") == "1" else []
            done, failure = await run(
                ["export", str(source), "-o", str(target), "--segments", str(segments)] + parts)
            if failure:
                return failure
            if done.code != 0 or not target.is_file():
                return _cli_failure(done)
            data = target.read_bytes()
        return Response(data, media_type=EXPORT_TYPES[fmt], headers={
            "Content-Disposition": f'attachment; filename="{model.name}.{fmt}"'})

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
    app = Starlette(routes=routes, middleware=[Middleware(BodyLimit, limit=settings.max_body)])
    app.state.pool = pool
    return app


def _cli_failure(done):
    """tarvo-cli refused the request (exit 1): its message as 422. Anything else
    (a crash, a usage error) is the server's fault: 500."""
    message = done.err.decode("utf-8", "replace").strip()
    if done.code == 1:
        return _error(422, message or "tarvo-cli failed without a message")
    return _error(500, f"tarvo-cli ended with code {done.code}: {message[-500:]}")


def main():
    import uvicorn

    port = int(os.environ.get("PORT", 8080))
    app = create_app()
    print(f"tarvo configurator: http://127.0.0.1:{port}/", flush=True)
    uvicorn.run(app, host="127.0.0.1", port=port, log_level="warning")


if __name__ == "__main__":
    main()
