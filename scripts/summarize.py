#!/usr/bin/env python3
"""Prints a one-line summary of a tarvo-cli answer file."""
import base64
import json
import struct
import sys

answer = json.load(open(sys.argv[1]))
if "numTri" in answer:
    vp = base64.b64decode(answer["vp"])
    n = answer["numProp"]
    floats = struct.unpack("<%df" % (len(vp) // 4), vp)
    lo = [min(floats[i::n]) for i in range(3)]
    hi = [max(floats[i::n]) for i in range(3)]
    size = " x ".join("%.2f" % (hi[i] - lo[i]) for i in range(3))
    print("%s: %d triangles, %d vertices, %d properties each, size %s" %
          (sys.argv[1], answer["numTri"], len(floats) // n, n, size))
elif "xml" in answer:
    print("%s: 3MF document of %d bytes" % (sys.argv[1], len(answer["xml"])))
elif "rings" in answer:
    print("%s: %d rings" % (sys.argv[1], len(answer["rings"])))
else:
    print("%s: %s" % (sys.argv[1], json.dumps(answer)))
