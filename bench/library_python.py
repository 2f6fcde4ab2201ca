#!/usr/bin/env python3
"""Times the library's own Python binding (manifold3d) on the calls that the
rounding and hull benchmarks make, in one process, and prints one JSON object
of median milliseconds and triangle counts per model.

Usage: library_python.py [RUNS]  (with manifold3d on PYTHONPATH)
"""
import json
import math
import statistics
import sys
import time

import manifold3d as m3d

# The centres bench/make_models.py writes into the hull request.
CENTRES = [(round(7.0 * (i % 5) + 3.0 * math.sin(i), 6), round(6.0 * (i // 5) + 2.0 * math.cos(3 * i), 6),
            round(4.0 * math.sin(1.7 * i), 6)) for i in range(20)]


def rounded_box():
    box = m3d.Manifold.cube([36, 26, 16]).translate([2, 2, 2])
    return box.minkowski_sum(m3d.Manifold.sphere(2, 64))


def hull_spheres():
    spheres = [m3d.Manifold.sphere(3, 64).translate(list(c)) for c in CENTRES]
    return m3d.Manifold.batch_hull(spheres)


def main():
    runs = int(sys.argv[1]) if len(sys.argv) > 1 else 5
    out = {}
    for name, make in (("rounded_box", rounded_box), ("hull_spheres", hull_spheres)):
        times = []
        for _ in range(runs):
            start = time.perf_counter()
            solid = make()
            mesh = solid.to_mesh()  # the library is lazy: the mesh makes it do the work
            times.append((time.perf_counter() - start) * 1e3)
        out[name] = {"ms": statistics.median(times), "triangles": len(mesh.tri_verts),
                     "volume": solid.volume()}
    print(json.dumps(out))


if __name__ == "__main__":
    main()
