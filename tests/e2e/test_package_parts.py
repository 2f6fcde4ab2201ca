"""The parts of an exported 3MF package as a strict reader of the zip
container sees them: every part has its content type, every relationship
points at a part that is there, and every part reads back whole."""
import json
import xml.etree.ElementTree as ET
import zipfile

import pytest

from tarvo import run

TYPES_NS = "{http://schemas.openxmlformats.org/package/2006/content-types}"
RELS_NS = "{http://schemas.openxmlformats.org/package/2006/relationships}"
MODEL_REL = "http://schemas.microsoft.com/3dmanufacturing/2013/01/3dmodel"
THUMBNAIL_REL = "http://schemas.openxmlformats.org/package/2006/relationships/metadata/thumbnail"
# What each kind of part must be declared as.
EXPECTED_TYPES = {
    "rels": "application/vnd.openxmlformats-package.relationships+xml",
    "model": "application/vnd.ms-package.3dmanufacturing-3dmodel+xml",
    "png": "image/png",
}
MODELS = {
    "a red cube": {"objects": [{"vid": "c", "type": "cube", "size": 10,
                                "color": {"color": "#FF0000"}}]},
    "two colours": {"objects": [
        {"vid": "a", "type": "cube", "size": 10, "color": {"color": "#333333"}},
        {"vid": "b", "type": "sphere", "size": 6, "move": {"x": 15}}]},
}


def content_type(types, name):
    """Returns the content type [Content_Types].xml gives the part `name`
    (an override by part name first, then a default by extension)."""
    for override in types.iter(TYPES_NS + "Override"):
        if override.get("PartName", "").lower() == "/" + name.lower():
            return override.get("ContentType")
    extension = name.rsplit(".", 1)[-1].lower() if "." in name.rsplit("/", 1)[-1] else ""
    for default in types.iter(TYPES_NS + "Default"):
        if default.get("Extension", "").lower() == extension:
            return default.get("ContentType")
    return None


@pytest.mark.parametrize("name", list(MODELS))
def test_every_part_of_the_package_has_its_content_type_and_relationships_resolve(tmp_path, name):
    model = tmp_path / "model.json"
    model.write_text(json.dumps(MODELS[name]))
    target = tmp_path / "part.3mf"
    r = run("export", args=[str(model), "-o", str(target), "--size", "64x48"])
    assert (r.code, r.out) == (0, ""), r.err
    with zipfile.ZipFile(target) as package:
        assert package.testzip() is None  # every part's checksum holds
        names = package.namelist()
        assert len(names) == len(set(names))
        assert "[Content_Types].xml" in names
        types = ET.fromstring(package.read("[Content_Types].xml"))
        parts = [n for n in names if n != "[Content_Types].xml"]
        assert sorted(parts) == ["3D/3dmodel.model", "Metadata/thumbnail.png", "_rels/.rels"]
        for part in parts:
            kind = part.rsplit(".", 1)[-1]
            assert content_type(types, part) == EXPECTED_TYPES[kind], part

        rels = ET.fromstring(package.read("_rels/.rels"))
        by_type = {}
        for rel in rels.iter(RELS_NS + "Relationship"):
            target_name = rel.get("Target").lstrip("/")
            assert target_name in names, rel.get("Target")
            by_type.setdefault(rel.get("Type"), []).append(target_name)
        assert by_type == {MODEL_REL: ["3D/3dmodel.model"],
                           THUMBNAIL_REL: ["Metadata/thumbnail.png"]}
        assert package.read("Metadata/thumbnail.png")[:8] == b"\x89PNG\r\n\x1a\n"
        document = ET.fromstring(package.read("3D/3dmodel.model"))
        assert document.tag.endswith("model") and document.get("unit") == "millimeter"
