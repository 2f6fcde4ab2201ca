// Throughput of the output and import paths: Base64 encoding of mesh
// buffers, the 3MF text against the same numbers written through a
// std::ostringstream, the STL import of a 1,000,000-triangle file, and the
// file formats of `tarvo-cli export` for that solid.
// Prints one "RESULT name value unit" line per figure (run.py reads them).
//   tarvo_bench_throughput [SECTION]  run the measurements (all, or one of
//                                     base64, 3mf, stl, export)
//   tarvo_bench_throughput --stl PATH write the 1,000,000-triangle STL file
#include <malloc.h>
#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <manifold/manifold.h>

#include "bench/torus_stl.h"
#include "cli/base64.h"
#include "export/glb_writer.h"
#include "export/png_writer.h"
#include "export/renderer.h"
#include "export/stl_writer.h"
#include "export/threemf.h"
#include "export/threemf_package.h"
#include "import/stl_reader.h"

namespace {

using manifold::Manifold;

double CpuSeconds() {
  timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return t.tv_sec + t.tv_nsec * 1e-9;
}

// Returns the median processor time of `runs` calls, in seconds. Processor
// time, not wall time: the machine is shared, and a busy neighbour would
// otherwise stretch every figure.
double Median(int runs, const std::function<void()>& work) {
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) {
    double start = CpuSeconds();
    work();
    times.push_back(CpuSeconds() - start);
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

void Result(const char* name, double value, const char* unit) {
  std::fprintf(stderr, "RESULT %s %.4g %s\n", name, value, unit);
}

// The single-object document written the plain way: the numbers through a
// stream with precision 9, colours through snprintf and a map.
std::string StreamXml(const Manifold& solid, const std::string& name) {
  manifold::MeshGL64 mesh = solid.GetMeshGL64();
  size_t stride = mesh.numProp >= 4 && mesh.vertProperties.size() % mesh.numProp == 0
                      ? mesh.numProp : 3;
  size_t triCount = mesh.triVerts.size() / 3;
  std::map<std::string, int> index;
  std::vector<std::string> table;
  std::vector<int> colors(triCount);
  if (stride >= 6) {
    for (size_t t = 0; t < triCount; ++t) {
      int rgb[3];
      for (int k = 0; k < 3; ++k) {
        double sum = 0;
        for (int j = 0; j < 3; ++j) {
          double c = mesh.vertProperties[mesh.triVerts[3 * t + j] * stride + 3 + k];
          sum += c < 0 ? 0 : c > 1 ? 1 : c;
        }
        rgb[k] = static_cast<int>(std::round(sum / 3 * 255));
      }
      char text[8];
      std::snprintf(text, sizeof text, "#%02X%02X%02X", rgb[0], rgb[1], rgb[2]);
      auto [it, added] = index.emplace(text, static_cast<int>(table.size()));
      if (added) table.push_back(text);
      colors[t] = it->second;
    }
  }
  bool uniform = std::all_of(colors.begin(), colors.end(), [&](int c) { return c == colors[0]; });
  int objectId = table.empty() ? 1 : 2;
  std::ostringstream out;
  out.precision(9);
  out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?><model unit=\"millimeter\" "
         "xmlns=\"http://schemas.microsoft.com/3dmanufacturing/core/2015/02\" "
         "xmlns:m=\"http://schemas.microsoft.com/3dmanufacturing/material/2015/02\"><resources>";
  if (!table.empty()) {
    out << "<m:colorgroup id=\"1\">";
    for (const auto& c : table) out << "<m:color color=\"" << c << "\"/>";
    out << "</m:colorgroup>";
  }
  out << "<object id=\"" << objectId << "\" type=\"model\" name=\"" << name << "\"";
  if (!table.empty() && uniform) out << " pid=\"1\" pindex=\"" << colors[0] << "\"";
  out << "><mesh><vertices>";
  for (size_t v = 0; v < mesh.vertProperties.size() / stride; ++v) {
    const double* p = &mesh.vertProperties[v * stride];
    out << "<vertex x=\"" << p[0] << "\" y=\"" << p[1] << "\" z=\"" << p[2] << "\"/>";
  }
  out << "</vertices><triangles>";
  for (size_t t = 0; t < triCount; ++t) {
    out << "<triangle v1=\"" << mesh.triVerts[3 * t] << "\" v2=\"" << mesh.triVerts[3 * t + 1]
        << "\" v3=\"" << mesh.triVerts[3 * t + 2] << "\"/>";
  }
  out << "</triangles></mesh></object></resources><build><item objectid=\"" << objectId
      << "\"/></build></model>";
  return out.str();
}

void Base64() {
  std::vector<uint8_t> buffer(64 << 20);
  for (size_t i = 0; i < buffer.size(); ++i) buffer[i] = static_cast<uint8_t>(i * 2654435761u >> 13);
  size_t sink = 0;
  auto encode = [&] { sink += velamanifold::Base64Encode(buffer.data(), buffer.size()).size(); };
  // The first call pays for fresh pages (as a one-request process does);
  // later calls reuse them (main keeps freed memory), which leaves the
  // encoding itself.
  double first = Median(1, encode);
  double warm = Median(7, encode);
  Result("base64_encode_gbps", buffer.size() / warm / 1e9, "GB/s");
  Result("base64_encode_fresh_pages_gbps", buffer.size() / first / 1e9, "GB/s");
  if (sink == 0) std::fprintf(stderr, "?\n");
}

void ThreeMF() {
  Manifold sphere = Manifold::Sphere(25, 360).Translate({0.1, 0.2, 0.3});
  Manifold green = sphere.SetProperties(3, [](double* channels, manifold::vec3, const double*) {
    channels[0] = 0;
    channels[1] = 1;
    channels[2] = 0;
  });
  Result("threemf_triangles", static_cast<double>(sphere.NumTri()), "tris");
  // Both writers start by taking the mesh from the library; the writing
  // itself is compared without that shared cost too.
  double mesh = Median(5, [&] { sphere.GetMeshGL64(); });
  Result("threemf_get_mesh_ms", mesh * 1e3, "ms");
  for (auto [label, solid] : {std::pair{"plain", &sphere}, std::pair{"coloured", &green}}) {
    std::string fast, slow;
    double tFast = Median(5, [&] { fast = velamanifold::ManifoldTo3MFModelXML(*solid, "model"); });
    double tSlow = Median(3, [&] { slow = StreamXml(*solid, "model"); });
    std::string name = std::string("threemf_") + label;
    Result((name + "_ms").c_str(), tFast * 1e3, "ms");
    Result((name + "_stream_ms").c_str(), tSlow * 1e3, "ms");
    Result((name + "_speedup").c_str(), tSlow / tFast, "x");
    Result((name + "_writer_speedup").c_str(), (tSlow - mesh) / (tFast - mesh), "x");
    Result((name + "_identical").c_str(), fast == slow ? 1 : 0, "bool");
    Result((name + "_mb").c_str(), fast.size() / 1e6, "MB");
    if (fast != slow) {
      size_t at = std::mismatch(fast.begin(), fast.end(), slow.begin(), slow.end()).first - fast.begin();
      std::fprintf(stderr, "3MF %s texts differ at byte %zu:\n  tarvo:  %.120s\n  stream: %.120s\n",
                   label, at, fast.c_str() + std::min(at, fast.size()) - std::min<size_t>(at, 40),
                   slow.c_str() + std::min(at, slow.size()) - std::min<size_t>(at, 40));
    }
  }
}

void StlImport() {
  std::vector<uint8_t> bytes = velamanifold::bench::TorusStl(1000, 500);
  Manifold solid;
  // The reader logs one line to standard output; results go to standard error.
  double total = Median(5, [&] { solid = velamanifold::StlBufferToManifold(bytes, 0); });
  manifold::MeshGL mesh = solid.GetMeshGL();
  double construct = Median(5, [&] { Manifold again(mesh); again.Status(); });
  Result("stl_triangles", static_cast<double>(solid.NumTri()), "tris");
  Result("stl_import_ms", total * 1e3, "ms");
  Result("stl_library_construct_ms", construct * 1e3, "ms");
  Result("stl_read_merge_ms", (total - construct) * 1e3, "ms");
}

// The writers of every export format for the 1,000,000-triangle solid, each
// from the solid (taking the mesh from the library included) to the file's
// bytes, against the import that builds the solid.
void Export() {
  std::vector<uint8_t> bytes = velamanifold::bench::TorusStl(1000, 500);
  Manifold solid;
  const double build = Median(3, [&] { solid = velamanifold::StlBufferToManifold(bytes, 0); });
  Result("export_triangles", static_cast<double>(solid.NumTri()), "tris");
  Result("export_build_ms", build * 1e3, "ms");
  std::string file;
  auto row = [&](const char* name, const std::function<std::string()>& write) {
    const double t = Median(3, [&] { file = write(); });
    Result((std::string("export_") + name + "_ms").c_str(), t * 1e3, "ms");
    Result((std::string("export_") + name + "_pct").c_str(), 100 * t / build, "%");
    Result((std::string("export_") + name + "_mb").c_str(), file.size() / 1e6, "MB");
  };
  row("stl", [&] { return velamanifold::MeshToBinaryStl(solid.GetMeshGL()); });
  row("glb", [&] { return velamanifold::MeshToGlb(solid.GetMeshGL()); });
  row("3mf", [&] {
    const manifold::MeshGL mesh = solid.GetMeshGL();
    return velamanifold::ThreeMFPackage(
        velamanifold::ManifoldTo3MFModelXML(solid, "model"),
        velamanifold::ImageToPng(velamanifold::RenderIsometric(mesh, 256, 256)));
  });
  row("png_1600x1200", [&] {
    return velamanifold::ImageToPng(velamanifold::RenderIsometric(solid.GetMeshGL(), 1600, 1200));
  });
  // What the 3MF package costs beyond its model text: thumbnail and zip.
  const double xml = Median(3, [&] { file = velamanifold::ManifoldTo3MFModelXML(solid, "model"); });
  Result("export_3mf_model_text_ms", xml * 1e3, "ms");
  const manifold::MeshGL mesh = solid.GetMeshGL();
  const double render = Median(3, [&] { velamanifold::RenderIsometric(mesh, 1600, 1200); });
  Result("export_render_1600x1200_ms", render * 1e3, "ms");
}

}  // namespace

int main(int argc, char** argv) {
  // Keep freed memory in the heap, so repeated runs measure the work and
  // not the kernel handing out fresh pages.
  mallopt(M_MMAP_THRESHOLD, 1 << 30);
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  if (argc == 3 && std::string(argv[1]) == "--stl") {
    std::vector<uint8_t> bytes = velamanifold::bench::TorusStl(1000, 500);
    std::ofstream(argv[2], std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                  static_cast<std::streamsize>(bytes.size()));
    return 0;
  }
  // An argument picks one section: base64, 3mf or stl.
  const std::string only = argc == 2 ? argv[1] : "";
  if (only.empty() || only == "base64") Base64();
  if (only.empty() || only == "3mf") ThreeMF();
  if (only.empty() || only == "stl") StlImport();
  if (only.empty() || only == "export") Export();
  return 0;
}
