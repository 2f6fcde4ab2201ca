"""Text set from strings and reliefs from pictures, through the real binary:
the same bytes twice, check's findings, export --attach, and hostile files
ending cleanly under a 4 GiB address-space limit."""
import base64
import json
import os
import resource
import struct
import subprocess
import zlib

import pytest

from tarvo import CLI, Mesh, Result, build, doc, run

ROOT = os.path.join(os.path.dirname(__file__), "..", "..")
ADDRESS_SPACE = 4 << 30
with open(CLI, "rb") as binary:
    SANITIZED = b"__asan_init" in binary.read()


def png(width, height, rows, colour=0, depth=8, crc_ok=True):
    """A PNG file of `rows` (bytes per row, unfiltered)."""
    def chunk(kind, data):
        crc = zlib.crc32(kind + data) ^ (0 if crc_ok or kind != b"IDAT" else 1)
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", crc & 0xFFFFFFFF)
    raw = b"".join(b"\0" + bytes(r) for r in rows)
    header = struct.pack(">IIBBBBB", width, height, depth, colour, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


def relief_doc(content, filetype="image/png", **members):
    relief = {"vid": "r", "type": "bumpmesh", "attachmentVid": "photo",
              "size": {"x": 40, "y": 30, "base": 1, "z": 2}}
    relief.update(members)
    return doc(relief, attachments=[{"vid": "photo", "filetype": filetype,
                                     "content": base64.b64encode(content).decode()}])


def limited():
    if not SANITIZED:
        resource.setrlimit(resource.RLIMIT_AS, (ADDRESS_SPACE, ADDRESS_SPACE))


def text(value, **members):
    return dict({"vid": "t", "type": "text", "text": value}, **members)


def test_a_text_builds_to_the_same_bytes_every_time():
    request = {"jsonStr": doc(text("Grüße, AV ﬁ\nçà", font="Noto Serif", style="Bold Italic")),
               "vid": "t", "segments": 48}
    first, second = run("build", request), run("build", request)
    assert first.code == 0 and first.err == ""
    assert first.out == second.out
    mesh = Mesh(first.json())
    assert mesh.closed()
    lo, hi = mesh.bounds()
    assert lo[2] == 0 and abs(hi[2] - 3) < 1e-6  # size.z keeps its default
    xml = [run("build_xml", dict(request, name="tag")).out for _ in range(2)]
    assert xml[0] == xml[1] and '"xml"' in xml[0]


def test_a_text_is_a_region_for_planar_uses():
    # The text's region, cut by a slice at half height, is the same area as the text itself.
    objects = [text("Hi", fontSize=20, visible=False),
               {"vid": "p", "type": "plate", "outershell": "t", "size": {"depth": 2}}]
    plate = Mesh(build(objects, "p").json())
    rings = run("cross_section", {"jsonStr": doc(*objects), "vid": "t"}).json()["rings"]
    assert len(rings) >= 3  # H's outline and the i's stem and dot
    lo, hi = plate.bounds()
    assert abs(hi[2] - 2) < 1e-6 and plate.closed()


CHECK_CASES = [
    (text("Hi", font="Comic Sans"), 0,
     '/objects/0/font: warning: no font family "Comic Sans": the text is set in DejaVu Sans; '
     "the families are: DejaVu Sans, DejaVu Serif, DejaVu Sans Mono, Liberation Sans, "
     "Liberation Serif, Liberation Mono, Noto Sans, Noto Serif, Noto Sans Arabic, "
     "Noto Sans Hebrew, Noto Sans Devanagari"),
    (text("Hi", style="Heavy"), 0,
     '/objects/0/style: warning: unknown style "Heavy": the text is set in Regular; '
     "the styles are Regular, Bold, Italic and Bold Italic"),
    (text("Hi", halign="centre"), 0,
     '/objects/0/halign: warning: unknown halign "centre"; did you mean "center"?: "left" is used'),
    (text("A中B가"), 0,
     '/objects/0/text: warning: DejaVu Sans Regular has no glyph for U+4E2D "中", '
     'U+AC00 "가": each is left as a gap'),
    (text("Hi", fontSize=0), 0,
     '/objects/0: warning: "fontSize" must be above 0 and at most 10000, "spacing" and '
     '"lineHeight" between -100 and 100: the text builds nothing'),
    (text("x" * 10001), 1,
     "/objects/0/text: error: the text of 10001 bytes exceeds the limit of 10000 bytes"),
]


@pytest.mark.parametrize("obj,code,finding", CHECK_CASES)
def test_check_reports_fonts_styles_alignment_and_missing_glyphs(obj, code, finding):
    result = run("check", raw=doc(obj).encode(), args=["-"])
    assert result.code == code, result.err
    assert "tarvo-cli: <stdin>: " + finding + "\n" in result.out


def test_fonts_that_are_not_fonts_build_nothing_and_check_says_why(tmp_path):
    (tmp_path / "DejaVuSans.ttf").write_bytes(b"\0\1\0\0garbage" * 100)
    env = dict(os.environ, TARVO_FONTS=str(tmp_path))
    request = json.dumps({"jsonStr": doc(text("Hi")), "vid": "t"}).encode()
    answer = subprocess.run([CLI, "build"], input=request, capture_output=True, env=env)
    assert (answer.returncode, answer.stdout) == (0, b'{"empty":true}\n')
    checked = subprocess.run([CLI, "check", "-"], input=doc(text("Hi")).encode(),
                             capture_output=True, env=env)
    assert checked.returncode == 1
    assert b"/objects/0/font: error: the file of DejaVu Sans Regular is not a font file" in checked.stdout
    missing = subprocess.run([CLI, "check", "-"], input=doc(text("Hi", style="Bold")).encode(),
                             capture_output=True, env=env)
    assert b"error: no font file " + str(tmp_path).encode() + b"/DejaVuSans-Bold.ttf" in missing.stdout


GREY = [[0, 60], [120, 255]]
RAMP = png(200, 150, [[x * 255 // 199 for x in range(200)] for _ in range(150)])


def hostile_files():
    good = png(2, 2, GREY)
    huge = bytearray(good)
    huge[16:24] = struct.pack(">II", 100000, 100000)
    huge[29:33] = struct.pack(">I", zlib.crc32(bytes(huge[12:29])))
    jpeg_huge = (b"\xff\xd8\xff\xc0\x00\x0b\x08" + struct.pack(">HH", 60000, 60000)
                 + b"\x01\x01\x11\x00" + b"\xff\xda\x00\x08\x01\x01\x00\x00\x3f\x00\xff\xd9")
    bomb = png(7000, 7000, [b"\0" * 7000] * 7000)  # 49 million pixels in about 50 kB
    return [
        ("png header of 100,000 x 100,000", bytes(huge), "image/png",
         "a PNG of 100000 x 100000 pixels exceeds the limit of 50000000 pixels"),
        ("png cut short", good[:40], "image/png", "PNG: "),
        ("png CRC error", png(2, 2, GREY, crc_ok=False), "image/png", "CRC error"),
        ("not a picture", b"GIF89a" + b"\0" * 50, "image/png", "neither a PNG nor a JPEG file"),
        ("jpeg header of 60,000 x 60,000", jpeg_huge, "image/jpeg", "exceeds the limit"),
        ("jpeg cut short", b"\xff\xd8\xff\xe0\x00\x10JFIF\0", "image/jpeg", "JPEG: "),
        ("png bomb within the ceiling", bomb, "image/png", None),
    ]


@pytest.mark.parametrize("name,content,filetype,reason", hostile_files(),
                         ids=[h[0] for h in hostile_files()])
def test_hostile_pictures_end_cleanly_under_an_address_space_limit(name, content, filetype, reason):
    text_ = relief_doc(content, filetype)
    proc = subprocess.run([CLI, "build"], input=json.dumps({"jsonStr": text_, "vid": "r"}).encode(),
                          capture_output=True, timeout=120, preexec_fn=limited)
    assert proc.returncode == 0, proc.stderr
    if reason is None:  # decodes: a flat relief, shrunk to 0.2 mm pixels
        mesh = Mesh(Result(proc).json())
        assert mesh.closed() and abs(mesh.volume() - 40 * 30 * 1) < 1e-3
        return
    assert proc.stdout == b'{"empty":true}\n'
    checked = subprocess.run([CLI, "check", "-"], input=text_.encode(), capture_output=True,
                             timeout=120, preexec_fn=limited)
    assert checked.returncode == 1
    assert b"/attachments/0/content: error: the picture is refused (" in checked.stdout
    assert reason.encode() in checked.stdout


def test_a_relief_names_only_picture_attachments():
    stl = relief_doc(b"solid x\nendsolid x\n", "model/stl")
    assert build(stl, "r").out == '{"empty":true}\n'
    result = run("check", raw=stl.encode(), args=["-"])
    assert ('/objects/0/attachmentVid: error: attachment "photo" is of file type "model/stl", '
            'not "image/png" or "image/jpeg": it is not used') in result.out


def test_export_takes_attachments_from_files(tmp_path):
    picture = tmp_path / "me.png"
    picture.write_bytes(RAMP)
    model = os.path.join(ROOT, "examples", "models", "photo-lithophane.json")
    out = tmp_path / "litho.stl"
    result = run("export", args=[model, "-o", str(out), "--attach", "photo=" + str(picture)])
    assert result.code == 0, result.err
    assert result.err.startswith("tarvo-cli: wrote " + str(out) + ": stl, ")
    assert "x 0..108 y 0..83 z 0..4.2 mm" in result.err
    # The picture replaced the model's own: a different part.
    own = run("export", args=[model, "-o", str(tmp_path / "own.stl")])
    assert own.code == 0 and (tmp_path / "own.stl").read_bytes() != out.read_bytes()
    # A name the model lacks adds the attachment; a file that is none of ours fails.
    (tmp_path / "notes.txt").write_text("hello")
    bad = run("export", args=[model, "-o", str(tmp_path / "b.stl"), "--attach",
                              "photo=" + str(tmp_path / "notes.txt")])
    assert bad.code == 1 and not (tmp_path / "b.stl").exists()
    assert bad.err == ("tarvo-cli: " + str(tmp_path / "notes.txt")
                       + ': not a PNG, JPEG or STL file (attachment "photo")\n')
    usage = run("export", args=[model, "-o", str(out), "--attach", "photo"])
    assert usage.code == 2 and "--attach wants ID=FILE" in usage.err


def test_the_name_tag_takes_its_name_and_font_from_parameters(tmp_path):
    model = os.path.join(ROOT, "examples", "models", "name-tag.json")
    sizes = {}
    for name, font in [("Ada", "DejaVu Sans"), ("Ada Lovelace", "DejaVu Sans"),
                       ("Ada Lovelace", "Liberation Mono")]:
        out = tmp_path / "tag.stl"
        result = run("export", args=[model, "-o", str(out), "-D", "name=" + name, "-D", "font=" + font])
        assert result.code == 0, result.err
        sizes[(name, font)] = out.stat().st_size
    assert len(set(sizes.values())) == 3
