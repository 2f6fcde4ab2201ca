"""The configurator server against the real tarvo-cli and against a stand-in
that records what the server does with its processes."""
import base64
import collections
import concurrent.futures
import json
import os
import struct
import time
import urllib.parse

import pytest

from serving import CLI, ROOT, WEB, request, server

FAKE = str(WEB / "tests" / "fake_cli.py")


def mesh_of(answer):
    """Returns (vertices as xyz tuples, triangles) of a "build" answer."""
    n = answer["numProp"]
    floats = struct.unpack_from("<%df" % (len(base64.b64decode(answer["vp"])) // 4),
                                base64.b64decode(answer["vp"]))
    indices = struct.unpack("<%dI" % (3 * answer["numTri"]), base64.b64decode(answer["tv"]))
    verts = [floats[i:i + 3] for i in range(0, len(floats), n)]
    return verts, [indices[i:i + 3] for i in range(0, len(indices), 3)]


def is_closed(verts, triangles):
    # Every edge of a closed, consistently wound mesh is used once in each
    # direction. Corners are matched by position: vertices are split where
    # the colour changes.
    key = [tuple(round(x, 4) for x in v) for v in verts]
    edges = collections.Counter()
    for a, b, c in triangles:
        a, b, c = key[a], key[b], key[c]
        edges.update([(a, b), (b, c), (c, a)])
    return all(edges[(b, a)] == count for (a, b), count in edges.items())


@pytest.fixture(scope="module")
def real():
    with server() as (base, _):
        yield base


@pytest.fixture(scope="module")
def models(real):
    return {m["name"]: m for m in request(real, "/api/models").json()["models"]}


def test_every_example_model_offers_parameters_and_builds_a_closed_coloured_part(real, models):
    assert len(models) >= 3
    for name, model in models.items():
        assert model["parameters"], name
        for p in model["parameters"]:
            assert p["kind"] in ("number", "choice", "text")
            if p["kind"] == "choice":
                assert p["value"] in p["choices"]
        answer = request(real, "/api/build", {"model": name, "values": {}, "segments": 32})
        assert answer.status == 200, answer.body[:300]
        body = answer.json()
        assert body["numProp"] == 6 and body["ms"] > 0
        verts, tris = mesh_of(body)
        assert len(tris) == body["numTri"] > 0
        assert is_closed(verts, tris), name


def test_every_parameter_of_every_example_changes_the_part(real, models):
    # A parameter that nothing reads (a misspelt placeholder, an object id that
    # shadows the parameter's name) would leave the part as it was.
    for name, model in models.items():
        default = request(real, "/api/build", {"model": name, "segments": 24}).json()
        for p in model["parameters"]:
            if p["kind"] == "number":
                other = p["max"] if p["value"] != p["max"] else p["min"]
            elif p["kind"] == "choice":
                other = next(c for c in p["choices"] if c != p["value"])
            else:
                continue
            changed = request(real, "/api/build",
                              {"model": name, "values": {p["name"]: other}, "segments": 24})
            assert changed.status == 200, (name, p["name"], changed.body[:300])
            assert changed.json()["vp"] != default["vp"], f"{name}: {p['name']} changes nothing"


@pytest.mark.parametrize("method,path,body,status,message", [
    ("POST", "/api/build", b"{", 400, "not JSON"),
    ("POST", "/api/build", b"\xff\xfe", 400, "not JSON"),
    ("POST", "/api/build", [], 400, "JSON object"),
    ("POST", "/api/build", {"model": "nothing"}, 404, 'unknown model "nothing"'),
    ("POST", "/api/build", {"model": "../../CMakeLists"}, 404, "unknown model"),
    ("POST", "/api/build", {"model": "/etc/passwd"}, 404, "unknown model"),
    ("POST", "/api/build", {"model": None}, 404, "unknown model"),
    ("POST", "/api/build", {"model": "box", "values": {"colour": 1}}, 400,
     'unknown parameter "colour"; this model has: width, depth'),
    ("POST", "/api/build", {"model": "box", "values": [1]}, 400, '"values" must be an object'),
    ("POST", "/api/build", {"model": "box", "values": {"width": "wide"}}, 400,
     'width: expected a number, got "wide"'),
    ("POST", "/api/build", {"model": "box", "values": {"width": 1e9}}, 400,
     "width must be at most 200 mm, not 1e+09"),
    ("POST", "/api/build", {"model": "box", "values": {"width": 2}}, 400,
     "width must be at least 30 mm, not 2"),
    ("POST", "/api/build", {"model": "box", "values": {"compartments": "9"}}, 400,
     'compartments must be one of 1, 2, 3, 4, 5, 6, not "9"'),
    ("POST", "/api/build", {"model": "box", "segments": 2}, 400, '"segments" must be'),
    ("POST", "/api/build", {"model": "box", "segments": 100000}, 400, '"segments" must be'),
    ("POST", "/api/build", {"model": "box", "segments": True}, 400, '"segments" must be'),
    ("POST", "/api/build", b"[" * 70000, 413, "above 65536 bytes"),
    ("GET", "/api/export?model=box&format=obj", None, 400, "format must be one of 3mf, stl, glb"),
    ("GET", "/api/export?model=..%2F..%2FREADME&format=stl", None, 404, "unknown model"),
    ("GET", "/api/export?model=box&format=stl&values=%7B", None, 400, "values is not JSON"),
    ("GET", "/api/build", None, 405, ""),
])
def test_malformed_requests_are_refused_with_a_message(real, method, path, body, status, message):
    answer = request(real, path, body, method)
    assert answer.status == status, answer.body[:300]
    if message:
        assert message in answer.json()["error"]


def test_a_streamed_body_without_a_length_is_cut_off_at_the_limit(real):
    import http.client
    host = urllib.parse.urlsplit(real)
    conn = http.client.HTTPConnection(host.hostname, host.port, timeout=30)
    chunks = (b'{"model": "box", "pad": "' + b"x" * 8192 for _ in range(16))
    conn.request("POST", "/api/build", body=chunks, encode_chunked=True,
                 headers={"Content-Type": "application/json"})
    response = conn.getresponse()
    body = json.loads(response.read())
    conn.close()
    assert response.status == 413 and "above 65536 bytes" in body["error"]


@pytest.mark.parametrize("path", [
    "/static/../server.py", "/static/%2e%2e/server.py", "/static/..%2fserver.py",
    "/vendor/three/build/../package.json", "/static/%2e%2e/%2e%2e/README.md",
])
def test_files_outside_the_served_folders_are_not_served(real, path):
    # urllib would tidy the dots away; http.client sends the path as written.
    import http.client
    host = urllib.parse.urlsplit(real)
    conn = http.client.HTTPConnection(host.hostname, host.port, timeout=10)
    conn.request("GET", path)
    response = conn.getresponse()
    body = response.read()
    conn.close()
    assert response.status == 404, (path, body[:200])


@pytest.fixture()
def odd_models(tmp_path):
    """A models folder with a grid whose rows can cross tarvo-cli's copy
    ceiling, one with a text parameter, a file that is not a model and one
    whose name could not stand in a header."""
    folder = tmp_path / "models"
    folder.mkdir()
    (folder / "grid.json").write_text(json.dumps({"objects": [
        {"vid": "rows", "type": "parameter", "value": {"value": 2}},
        {"vid": "c", "type": "cube", "visible": False},
        {"vid": "g", "type": "grid", "baseObjects": ["c"],
         "grid": {"rows": "={{rows}}", "columns": 1000}}]}))
    (folder / "label.json").write_text(json.dumps({"objects": [
        {"vid": "name", "type": "parameter", "value": {"value": "tag"}},
        {"vid": "c", "type": "cube", "size": 5}]}))
    (folder / "broken.json").write_text("{")
    (folder / 'say "hi".json').write_text('{"objects": []}')
    return folder


def test_a_request_tarvo_cli_refuses_is_answered_422_with_its_message(odd_models):
    with server(TARVO_MODELS=odd_models) as (base, _):
        names = [m["name"] for m in request(base, "/api/models").json()["models"]]
        assert names == ["grid", "label"]
        assert request(base, "/api/build", {"model": "grid"}).status == 200
        answer = request(base, "/api/build", {"model": "grid", "values": {"rows": 200}})
        assert answer.status == 422
        assert answer.json() == {"error": "copy count of 200000 exceeds the limit of 100000"}
        ok = request(base, "/api/build", {"model": "label", "values": {"name": "x" * 50}})
        assert ok.status == 200 and ok.json()["numTri"] == 12
        long = request(base, "/api/build", {"model": "label", "values": {"name": "x" * 201}})
        assert long.status == 400 and long.json()["parameter"] == "name"


def fake_server(tmp_path, **settings):
    env = {"TARVO_CLI": FAKE, "FAKE_CLI_DIR": tmp_path}
    env.update(settings)
    return server(**env)


def test_no_more_processes_run_at_once_than_the_pool_has(tmp_path):
    with fake_server(tmp_path, TARVO_WORKERS=3, TARVO_QUEUE=20, TARVO_CLIENT_SHARE=23,
                     FAKE_CLI_SECONDS=0.4) as (base, _):
        with concurrent.futures.ThreadPoolExecutor(20) as clients:
            answers = list(clients.map(lambda i: request(base, "/api/build", {
                "model": "box", "values": {"width": 30 + i}, "segments": 24}), range(20)))
    assert [a.status for a in answers] == [200] * 20
    assert all(a.json()["numTri"] == 1 and "ms" in a.json() for a in answers)
    counts = json.loads((tmp_path / "counts.json").read_text())
    assert counts == {"now": 0, "max": 3, "runs": 20}


def test_requests_beyond_the_queue_are_answered_503(tmp_path):
    with fake_server(tmp_path, TARVO_WORKERS=1, TARVO_QUEUE=2, TARVO_CLIENT_SHARE=8,
                     FAKE_CLI_SECONDS=3) as (base, _):
        with concurrent.futures.ThreadPoolExecutor(8) as clients:
            answers = list(clients.map(lambda i: request(base, "/api/build", {
                "model": "box", "values": {"width": 30 + i}}), range(8)))
    statuses = collections.Counter(a.status for a in answers)
    # One runs, two wait; the rest arrive while all three places are taken.
    assert statuses[200] >= 3 and statuses[503] >= 1 and statuses[200] + statuses[503] == 8
    assert all("busy" in a.json()["error"] for a in answers if a.status == 503)


def test_a_process_past_the_time_limit_is_killed_with_its_children_and_answered_504(tmp_path):
    with fake_server(tmp_path, FAKE_CLI_MODE="hang", TARVO_TIME_LIMIT=3) as (base, _):
        answer = request(base, "/api/build", {"model": "box"})
        assert answer.status == 504 and "longer than 3 s" in answer.json()["error"]
        pids = [int(p) for p in (tmp_path / "pids").read_text().split()]
        alive = pids
        for _ in range(100):
            alive = [p for p in pids if os.path.exists(f"/proc/{p}") and
                     " Z " not in open(f"/proc/{p}/stat").read()]
            if not alive:
                break
            time.sleep(0.05)
        assert alive == []
        # The slot came back: the server still answers.
        assert request(base, "/api/models").status == 200


def test_export_writes_the_document_with_the_values_set_and_passes_the_file_on(tmp_path):
    with fake_server(tmp_path) as (base, _):
        values = urllib.parse.quote(json.dumps({"width": 120, "compartments": "4"}))
        answer = request(base, f"/api/export?model=box&format=3mf&segments=32&values={values}")
    assert answer.status == 200
    assert answer.headers["content-type"] == "model/3mf"
    assert answer.headers["content-disposition"] == 'attachment; filename="box.3mf"'
    document = json.loads(answer.body)  # the stand-in copies the model it was given
    params = {o["vid"]: o["value"]["value"] for o in document["objects"] if o["type"] == "parameter"}
    assert params["width"] == 120 and params["compartments"] == 4 and params["depth"] == 60
    args = json.loads((tmp_path / "export-args").read_text())
    assert args[1:] == ["-o", args[2], "--segments", "32"] and args[2].endswith("/box.3mf")


def has_export():
    import subprocess
    return subprocess.run([CLI, "export", "--help"], capture_output=True).returncode == 0


@pytest.mark.skipif(not has_export(), reason='this tarvo-cli has no "export" command')
def test_exported_files_are_whole_files_of_their_format_with_the_values_applied(real):
    import io
    import zipfile
    values = urllib.parse.quote(json.dumps({"width": 120}))
    files = {}
    for fmt in ("stl", "glb", "3mf"):
        answer = request(real, f"/api/export?model=box&format={fmt}&segments=24&values={values}")
        assert answer.status == 200, (fmt, answer.body[:300])
        files[fmt] = answer.body
    stl = files["stl"]
    (count,) = struct.unpack_from("<I", stl, 80)
    assert count > 0 and len(stl) == 84 + 50 * count and not stl.startswith(b"solid")
    xs = [struct.unpack_from("<3f", stl, 84 + 50 * i + 12 + 12 * k)[0]
          for i in range(count) for k in range(3)]
    assert max(xs) - min(xs) == pytest.approx(2 * 120 + 10, abs=1e-3)
    magic, version, length = struct.unpack_from("<4sII", files["glb"])
    assert (magic, version, length) == (b"glTF", 2, len(files["glb"]))
    with zipfile.ZipFile(io.BytesIO(files["3mf"])) as package:
        assert "3D/3dmodel.model" in package.namelist()


def test_the_box_is_offered_as_parts_and_exported_as_two_objects(real, models):
    import io
    import re
    import zipfile
    assert models["box"]["parts"] == ["Box", "Lid"]
    assert models["box"]["title"] == "Box with lid and dividers"
    assert models["box"]["parameters"][0]["unit"] == "mm"
    answer = request(real, "/api/export?model=box&format=3mf&segments=24&parts=1")
    assert answer.status == 200, answer.body[:300]
    with zipfile.ZipFile(io.BytesIO(answer.body)) as package:
        text = package.read("3D/3dmodel.model").decode()
    assert re.findall(r'<object id="\d+" name="([^"]*)"', text) == ["Box", "Lid"]
