"""Runs the real tarvo-cli binary and reads its mesh answers."""
import base64
import json
import os
import struct
import subprocess

CLI = os.environ.get("TARVO_CLI", os.path.join(os.path.dirname(__file__), "../../build/tarvo-cli"))


class Result:
    def __init__(self, proc):
        self.code = proc.returncode
        self.out = proc.stdout.decode("utf-8", "replace")
        self.err = proc.stderr.decode("utf-8", "replace")

    def json(self):
        assert self.out.endswith("\n") and self.out.count("\n") == 1, self.out[:200]
        return json.loads(self.out)


def run(op, request=None, raw=None, args=None, timeout=60):
    """Runs `tarvo-cli op` with `request` (a dict, sent as JSON) or raw bytes on stdin."""
    data = raw if raw is not None else (b"" if request is None else json.dumps(request).encode())
    argv = [CLI] + ([op] if op is not None else []) + (args or [])
    return Result(subprocess.run(argv, input=data, capture_output=True, timeout=timeout))


def doc(*objects, **extra):
    """Returns the JSON text of a model document holding `objects`."""
    d = {"objects": list(objects)}
    d.update(extra)
    return json.dumps(d)


def build(objects, vid="_all_", **req):
    """Runs "build" of a document of `objects` and returns the Result."""
    request = {"jsonStr": doc(*objects) if isinstance(objects, list) else objects, "vid": vid}
    request.update(req)
    return run("build", request)


class Mesh:
    """The mesh of a "build" answer: vertices (numProp floats each) and triangles."""

    def __init__(self, answer):
        self.num_prop = answer["numProp"]
        vp = base64.b64decode(answer["vp"])
        tv = base64.b64decode(answer["tv"])
        floats = struct.unpack("<%df" % (len(vp) // 4), vp)
        n = self.num_prop
        self.verts = [floats[i:i + n] for i in range(0, len(floats), n)]
        idx = struct.unpack("<%dI" % (len(tv) // 4), tv)
        self.tris = [idx[i:i + 3] for i in range(0, len(idx), 3)]
        assert len(self.tris) == answer["numTri"]

    def volume(self):
        v = 0.0
        for a, b, c in self.tris:
            p, q, r = self.verts[a], self.verts[b], self.verts[c]
            v += (p[0] * (q[1] * r[2] - q[2] * r[1]) - p[1] * (q[0] * r[2] - q[2] * r[0])
                  + p[2] * (q[0] * r[1] - q[1] * r[0]))
        return v / 6.0

    def bounds(self):
        lo = [min(v[i] for v in self.verts) for i in range(3)]
        hi = [max(v[i] for v in self.verts) for i in range(3)]
        return lo, hi

    def closed(self):
        """True when every edge (vertices merged by position) is used once each way."""
        ids = {}
        merged = [ids.setdefault(tuple(v[:3]), len(ids)) for v in self.verts]
        edges = {}
        for t in self.tris:
            for k in range(3):
                e = (merged[t[k]], merged[t[(k + 1) % 3]])
                edges[e] = edges.get(e, 0) + 1
        return all(n == 1 and edges.get((b, a)) == 1 for (a, b), n in edges.items())

    def colors(self):
        """The set of distinct (r, g, b) channel triples, rounded to 3 places."""
        return {tuple(round(c, 3) for c in v[3:6]) for v in self.verts}


def approx(a, b, tol=1e-3):
    return abs(a - b) <= tol * max(1.0, abs(b))
