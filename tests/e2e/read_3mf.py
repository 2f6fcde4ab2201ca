"""Reads our 3MF model documents back with the 3MF consortium's reference reader.

lib3mf is a test-only dependency installed by scripts/test-deps.sh into .deps/py.
"""
import io
import os
import sys
import zipfile

import pytest

_DEPS = os.environ.get("TARVO_DEPS_DIR",
                       os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../.deps"))
_PY = os.path.normpath(os.path.join(_DEPS, "py"))
if _PY not in sys.path:
    sys.path.insert(0, _PY)

try:
    import lib3mf
    _MISSING = None
except ImportError as error:  # depends on the machine; CI sets TARVO_REQUIRE_LIB3MF
    if os.environ.get("TARVO_REQUIRE_LIB3MF"):
        raise
    lib3mf = None
    _MISSING = "lib3mf is not installed (run scripts/test-deps.sh): %s" % error

CONTENT_TYPES = (
    '<?xml version="1.0" encoding="UTF-8"?>'
    '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
    '<Default Extension="rels" '
    'ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
    '<Default Extension="model" '
    'ContentType="application/vnd.ms-package.3dmanufacturing-3dmodel+xml"/></Types>')
RELS = (
    '<?xml version="1.0" encoding="UTF-8"?>'
    '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
    '<Relationship Target="/3D/3dmodel.model" Id="rel0" '
    'Type="http://schemas.microsoft.com/3dmanufacturing/2013/01/3dmodel"/></Relationships>')


def package(xml):
    """Returns the bytes of a minimal 3MF package whose model part is `xml`."""
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("[Content_Types].xml", CONTENT_TYPES)
        z.writestr("_rels/.rels", RELS)
        z.writestr("3D/3dmodel.model", xml.encode("utf-8"))
    return buf.getvalue()


class Object3MF:
    def __init__(self, obj, groups):
        self.id = obj.GetResourceID()
        self.name = obj.GetName()
        self.vertices = [tuple(p.Coordinates) for p in obj.GetVertices()]
        self.triangles = [tuple(t.Indices) for t in obj.GetTriangleIndices()]
        self.manifold_and_oriented = obj.IsManifoldAndOriented()
        # The colour of every triangle as "#RRGGBB", None where it has none.
        self.colors = []
        for prop in obj.GetAllTriangleProperties():
            group = groups.get(prop.ResourceID)
            ids = list(prop.PropertyIDs)
            if group is None:
                self.colors.append(None)
                continue
            assert ids[0] == ids[1] == ids[2], ids
            c = group.GetColor(ids[0])
            self.colors.append("#%02X%02X%02X" % (c.Red, c.Green, c.Blue))

    def closed_by_index(self):
        """True when every directed edge, by vertex index, appears once and its reverse once."""
        edges = {}
        for tri in self.triangles:
            for k in range(3):
                edge = (tri[k], tri[(k + 1) % 3])
                edges[edge] = edges.get(edge, 0) + 1
        return bool(edges) and all(n == 1 and edges.get((b, a)) == 1
                                   for (a, b), n in edges.items())

    def volume(self):
        v = 0.0
        for a, b, c in self.triangles:
            p, q, r = self.vertices[a], self.vertices[b], self.vertices[c]
            v += (p[0] * (q[1] * r[2] - q[2] * r[1]) - p[1] * (q[0] * r[2] - q[2] * r[0])
                  + p[2] * (q[0] * r[1] - q[1] * r[0]))
        return v / 6.0


class Model3MF:
    """What lib3mf reads from a model document (or a whole package): objects, colour
    groups, build items and the package thumbnail's bytes (None without one)."""

    def __init__(self, xml=None, package_bytes=None):
        if lib3mf is None:
            pytest.skip(_MISSING)
        wrapper = lib3mf.get_wrapper()
        model = wrapper.CreateModel()
        reader = model.QueryReader("3mf")
        reader.SetStrictModeActive(True)
        reader.ReadFromBuffer(bytearray(package(xml) if package_bytes is None else package_bytes))
        self.warnings = [reader.GetWarning(i) for i in range(reader.GetWarningCount())]
        self.unit = model.GetUnit()
        groups = {}
        # Colour group id -> list of "#RRGGBB" in property order.
        self.color_groups = {}
        it = model.GetColorGroups()
        while it.MoveNext():
            g = it.GetCurrentColorGroup()
            groups[g.GetUniqueResourceID()] = g
            colors = [g.GetColor(p) for p in g.GetAllPropertyIDs()]
            self.color_groups[g.GetResourceID()] = [
                "#%02X%02X%02X" % (c.Red, c.Green, c.Blue) for c in colors]
        self.objects = []
        it = model.GetMeshObjects()
        while it.MoveNext():
            self.objects.append(Object3MF(it.GetCurrentMeshObject(), groups))
        self.items = []
        it = model.GetBuildItems()
        while it.MoveNext():
            self.items.append(it.GetCurrent().GetObjectResource().GetResourceID())
        self.thumbnail = None
        if model.HasPackageThumbnailAttachment():
            self.thumbnail = bytes(model.GetPackageThumbnailAttachment().WriteToBuffer())
