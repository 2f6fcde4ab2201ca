#include "export/threemf_package.h"

#include <isa-l/crc.h>
#include <isa-l/igzip_lib.h>
#include <minizip/zip.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string_view>
#include <vector>

namespace velamanifold {

namespace {

constexpr char kContentTypes[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
    "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
    "<Default Extension=\"rels\" "
    "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
    "<Default Extension=\"model\" "
    "ContentType=\"application/vnd.ms-package.3dmanufacturing-3dmodel+xml\"/>"
    "<Default Extension=\"png\" ContentType=\"image/png\"/>"
    "</Types>";

constexpr char kRelationships[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
    "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
    "<Relationship Target=\"/3D/3dmodel.model\" Id=\"rel0\" "
    "Type=\"http://schemas.microsoft.com/3dmanufacturing/2013/01/3dmodel\"/>"
    "<Relationship Target=\"/Metadata/thumbnail.png\" Id=\"rel1\" "
    "Type=\"http://schemas.openxmlformats.org/package/2006/relationships/metadata/thumbnail\"/>"
    "</Relationships>";

// The model document is most of the package and compresses about fivefold.
// ISA-L's level 1 does that in a quarter of zlib's time at its fastest level
// (about 1.5 ns a byte), to a slightly smaller file; its levels 0 and 2 take
// as long, and 3 twice as long.
constexpr int kModelLevel = 1;

// A zip being written into memory: the writer's file operations go to a
// string, with a position it can seek back to when it fills in sizes.
struct MemoryFile {
  std::string bytes;
  size_t position = 0;
};

voidpf ZCALLBACK Open(voidpf opaque, const void*, int) { return opaque; }

uLong ZCALLBACK Read(voidpf, voidpf stream, void* buffer, uLong size) {
  auto* file = static_cast<MemoryFile*>(stream);
  const size_t n = std::min<size_t>(size, file->bytes.size() - std::min(file->position, file->bytes.size()));
  std::memcpy(buffer, file->bytes.data() + file->position, n);
  file->position += n;
  return static_cast<uLong>(n);
}

uLong ZCALLBACK Write(voidpf, voidpf stream, const void* buffer, uLong size) {
  auto* file = static_cast<MemoryFile*>(stream);
  if (file->position == file->bytes.size()) {
    file->bytes.append(static_cast<const char*>(buffer), size);
  } else {
    if (file->position + size > file->bytes.size()) file->bytes.resize(file->position + size);
    std::memcpy(file->bytes.data() + file->position, buffer, size);
  }
  file->position += size;
  return size;
}

ZPOS64_T ZCALLBACK Tell(voidpf, voidpf stream) { return static_cast<MemoryFile*>(stream)->position; }

long ZCALLBACK Seek(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
  auto* file = static_cast<MemoryFile*>(stream);
  ZPOS64_T base = 0;
  if (origin == ZLIB_FILEFUNC_SEEK_CUR) base = file->position;
  else if (origin == ZLIB_FILEFUNC_SEEK_END) base = file->bytes.size();
  else if (origin != ZLIB_FILEFUNC_SEEK_SET) return -1;
  file->position = static_cast<size_t>(base + offset);
  return 0;
}

int ZCALLBACK Close(voidpf, voidpf) { return 0; }
int ZCALLBACK Error(voidpf, voidpf) { return 0; }

// Adds one entry, deflated at `level` (0 stores it).
void AddEntry(zipFile zip, const char* name, const std::string& data, int level) {
  zip_fileinfo info{};
  info.tmz_date.tm_mday = 1;  // 1 January 1980, the first date zip knows: same bytes every time
  info.tmz_date.tm_year = 1980;
  const int zip64 = data.size() >= 0xffffffffu ? 1 : 0;
  if (zipOpenNewFileInZip64(zip, name, &info, nullptr, 0, nullptr, 0, nullptr,
                            level == 0 ? 0 : Z_DEFLATED, level, zip64) != ZIP_OK) {
    throw std::runtime_error(std::string("zip writer: cannot add ") + name);
  }
  constexpr size_t kChunk = size_t(1) << 30;  // the writer takes an unsigned count
  for (size_t at = 0; at < data.size(); at += kChunk) {
    const unsigned n = static_cast<unsigned>(std::min(kChunk, data.size() - at));
    if (zipWriteInFileInZip(zip, data.data() + at, n) != ZIP_OK) {
      zipCloseFileInZip(zip);
      throw std::runtime_error(std::string("zip writer: cannot write ") + name);
    }
  }
  if (zipCloseFileInZip(zip) != ZIP_OK) {
    throw std::runtime_error(std::string("zip writer: cannot finish ") + name);
  }
}

// Adds one entry deflated here by ISA-L at level 1; the zip writer only
// copies the compressed bytes and records the size and checksum it is given.
void AddDeflatedEntry(zipFile zip, const char* name, std::string_view data) {
  zip_fileinfo info{};
  info.tmz_date.tm_mday = 1;
  info.tmz_date.tm_year = 1980;
  const int zip64 = data.size() >= 0xffffffffu ? 1 : 0;
  if (zipOpenNewFileInZip2_64(zip, name, &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                              kModelLevel, 1, zip64) != ZIP_OK) {
    throw std::runtime_error(std::string("zip writer: cannot add ") + name);
  }
  auto fail = [&](const char* what) {
    zipCloseFileInZipRaw64(zip, 0, 0);
    return std::runtime_error(std::string("zip writer: cannot ") + what + " " + name);
  };
  std::vector<uint8_t> levelBuffer(ISAL_DEF_LVL1_DEFAULT);
  std::vector<uint8_t> out(size_t(1) << 20);
  isal_zstream stream{};  // the initialiser leaves part of the state unset
  isal_deflate_init(&stream);
  stream.level = kModelLevel;
  stream.level_buf = levelBuffer.data();
  stream.level_buf_size = static_cast<uint32_t>(levelBuffer.size());
  stream.flush = NO_FLUSH;
  stream.end_of_stream = data.empty() ? 1 : 0;  // an empty text still ends its stream
  uint32_t crc = 0;
  // The compressor takes 32-bit counts: the text goes in in slices.
  constexpr size_t kSlice = size_t(1) << 30;
  size_t fed = 0;
  do {
    if (stream.avail_in == 0 && fed < data.size()) {
      const size_t n = std::min(kSlice, data.size() - fed);
      stream.next_in = reinterpret_cast<uint8_t*>(const_cast<char*>(data.data() + fed));
      stream.avail_in = static_cast<uint32_t>(n);
      crc = crc32_gzip_refl(crc, stream.next_in, n);
      fed += n;
      stream.end_of_stream = fed == data.size() ? 1 : 0;
    }
    stream.next_out = out.data();
    stream.avail_out = static_cast<uint32_t>(out.size());
    if (isal_deflate(&stream) != COMP_OK) throw fail("compress");
    const unsigned n = static_cast<unsigned>(out.size() - stream.avail_out);
    if (n > 0 && zipWriteInFileInZip(zip, out.data(), n) != ZIP_OK) throw fail("write");
  } while (stream.internal_state.state != ZSTATE_END);
  if (zipCloseFileInZipRaw64(zip, data.size(), crc) != ZIP_OK) {
    throw std::runtime_error(std::string("zip writer: cannot finish ") + name);
  }
}

}  // namespace

std::string ThreeMFPackage(std::string_view modelXml, const std::string& thumbnailPng) {
  MemoryFile file;
  file.bytes.reserve(modelXml.size() / 4 + thumbnailPng.size() + 4096);
  zlib_filefunc64_def functions{};
  functions.zopen64_file = Open;
  functions.zread_file = Read;
  functions.zwrite_file = Write;
  functions.ztell64_file = Tell;
  functions.zseek64_file = Seek;
  functions.zclose_file = Close;
  functions.zerror_file = Error;
  functions.opaque = &file;
  zipFile zip = zipOpen2_64("package.3mf", APPEND_STATUS_CREATE, nullptr, &functions);
  if (!zip) throw std::runtime_error("zip writer: cannot start the package");
  try {
    AddEntry(zip, "[Content_Types].xml", kContentTypes, Z_DEFAULT_COMPRESSION);
    AddEntry(zip, "_rels/.rels", kRelationships, Z_DEFAULT_COMPRESSION);
    AddDeflatedEntry(zip, "3D/3dmodel.model", modelXml);
    // A PNG is compressed already.
    AddEntry(zip, "Metadata/thumbnail.png", thumbnailPng, 0);
  } catch (...) {
    zipClose(zip, nullptr);
    throw;
  }
  if (zipClose(zip, nullptr) != ZIP_OK) throw std::runtime_error("zip writer: cannot finish the package");
  return std::move(file.bytes);
}

}  // namespace velamanifold
