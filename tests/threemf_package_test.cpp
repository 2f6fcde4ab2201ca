#include <gtest/gtest.h>
#include <minizip/unzip.h>
#include <sys/mman.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <string_view>

#include "export/threemf_package.h"

namespace {

using velamanifold::ThreeMFPackage;

struct Entry {
  std::string bytes;
  int method = -1;
  unsigned long crc = 0;
};

// Returns every entry of a zip held in memory, read back by minizip's reader.
std::map<std::string, Entry> ReadZip(const std::string& zip) {
  char path[] = "/tmp/tarvo-package-XXXXXX";
  const int fd = mkstemp(path);
  EXPECT_GE(fd, 0);
  EXPECT_EQ(write(fd, zip.data(), zip.size()), static_cast<ssize_t>(zip.size()));
  close(fd);
  std::map<std::string, Entry> entries;
  unzFile file = unzOpen64(path);
  EXPECT_NE(file, nullptr);
  for (int status = unzGoToFirstFile(file); status == UNZ_OK; status = unzGoToNextFile(file)) {
    unz_file_info64 info;
    char name[256];
    EXPECT_EQ(unzGetCurrentFileInfo64(file, &info, name, sizeof name, nullptr, 0, nullptr, 0), UNZ_OK);
    Entry& entry = entries[name];
    entry.method = static_cast<int>(info.compression_method);
    entry.crc = info.crc;
    entry.bytes.resize(info.uncompressed_size);
    EXPECT_EQ(unzOpenCurrentFile(file), UNZ_OK);
    if (!entry.bytes.empty()) {
      EXPECT_EQ(unzReadCurrentFile(file, entry.bytes.data(), static_cast<unsigned>(entry.bytes.size())),
                static_cast<int>(entry.bytes.size()));
    }
    // Closing checks the stored checksum against the bytes read.
    EXPECT_EQ(unzCloseCurrentFile(file), UNZ_OK) << name;
  }
  unzClose(file);
  std::remove(path);
  return entries;
}

TEST(ThreeMFPackage, EveryModelTextComesBackWhole) {
  // An empty text, one byte, and one whose compressed form fills several
  // of the compressor's output buffers (random bytes hardly compress).
  std::mt19937 random(7);
  std::string noise(3 << 20, '\0');
  for (char& c : noise) c = static_cast<char>(random());
  std::string model;
  for (int i = 0; model.size() < (2 << 20); ++i) model += "<vertex x=\"" + std::to_string(i * 0.37) + "\"/>";
  for (const std::string& text : {std::string(), std::string("<"), noise, model}) {
    SCOPED_TRACE(text.size());
    const std::string png = "\x89PNG\r\n\x1a\n not really";
    const auto entries = ReadZip(ThreeMFPackage(text, png));
    ASSERT_EQ(entries.size(), 4u);
    const Entry& document = entries.at("3D/3dmodel.model");
    EXPECT_EQ(document.bytes, text);
    EXPECT_EQ(document.method, Z_DEFLATED);
    EXPECT_EQ(document.crc, crc32(0, reinterpret_cast<const Bytef*>(text.data()), static_cast<uInt>(text.size())));
    EXPECT_EQ(entries.at("Metadata/thumbnail.png").bytes, png);
    EXPECT_EQ(entries.at("Metadata/thumbnail.png").method, 0);  // stored: a PNG is compressed already
    EXPECT_NE(entries.at("_rels/.rels").bytes.find("Metadata/thumbnail.png"), std::string::npos);
    EXPECT_NE(entries.at("[Content_Types].xml").bytes.find("3dmanufacturing-3dmodel+xml"), std::string::npos);
  }
}

TEST(ThreeMFPackage, TextEndingAtAnUnreadablePageIsReadOnlyWithinItsBounds) {
  // The compressor looks ahead past its input: a text whose last byte is the
  // last readable byte of memory must still compress, for every short and
  // long length (the tail is compressed from a copy).
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  const size_t pages = 8;
  char* region = static_cast<char*>(
      mmap(nullptr, (pages + 1) * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
  ASSERT_NE(region, MAP_FAILED);
  ASSERT_EQ(mprotect(region + pages * page, page, PROT_NONE), 0);
  char* end = region + pages * page;
  for (size_t i = 0; i < pages * page; ++i) region[i] = "<vertex x=\"1.5\"/>"[i % 17];
  for (size_t length : {size_t(1), size_t(31), size_t(4095), size_t(4096), size_t(4097), pages * page}) {
    SCOPED_TRACE(length);
    const std::string_view text(end - length, length);
    const auto entries = ReadZip(ThreeMFPackage(text, "png"));
    EXPECT_EQ(entries.at("3D/3dmodel.model").bytes, text);
  }
  munmap(region, (pages + 1) * page);
}

}  // namespace
