#include "run/manifest.h"

#include <gtest/gtest.h>

#define XXH_INLINE_ALL
#include <xxhash.h>

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "test_support.h"

using namespace velmora;
using testing_support::ScopedTempDir;
using testing_support::writeFile;

namespace {

ManifestEntry walkEntry() {
  ManifestEntry entry;
  // A size past 2^53 and a hash with its top bit set must come back exact.
  entry.sources = {{"walk_1.png", 1234, 0x0123456789abcdefu},
                   {"\xc3\xa9t\xc3\xa9 2.png", (uint64_t(1) << 53) + 1, 0xffffffffffffffffu},
                   {"walk_3.png", 0, 0}};
  entry.settings = "threshold 0, align 16, \"fill\" black";
  entry.written = {{"/out/walk/out_00001.png", 99}, {"/out/walk/out_00002.png", 0}};
  entry.report = R"({"folder": "walk", "frames": [1, 2]})";
  return entry;
}

void expectSameEntry(const ManifestEntry& got, const ManifestEntry& want) {
  EXPECT_TRUE(got.sources == want.sources);
  EXPECT_EQ(got.settings, want.settings);
  ASSERT_EQ(got.written.size(), want.written.size());
  for (size_t k = 0; k < want.written.size(); ++k) {
    EXPECT_EQ(got.written[k].path, want.written[k].path);
    EXPECT_EQ(got.written[k].size, want.written[k].size);
  }
  EXPECT_EQ(got.report, want.report);
}

TEST(Manifest, WhatItKeepsReadsBackAsWritten) {
  ScopedTempDir temp;
  Manifest written;
  ManifestEntry bare;
  bare.report = "{}";
  written.put("/out/run", walkEntry());
  written.put("/out/walk", walkEntry());
  written.put("/out/run", bare);  // a folder's later entry replaces its earlier one
  ASSERT_EQ(written.size(), 2u);
  const std::string path = temp.file(kManifestName);
  writeFile(path, written.json());

  Manifest read;
  ASSERT_TRUE(Manifest::read(path, read).ok());
  ASSERT_EQ(read.size(), 2u);
  ASSERT_NE(read.find("/out/walk"), nullptr);
  expectSameEntry(*read.find("/out/walk"), walkEntry());
  ASSERT_NE(read.find("/out/run"), nullptr);
  expectSameEntry(*read.find("/out/run"), bare);
  EXPECT_EQ(read.find("/out/walk/"), nullptr);
  EXPECT_EQ(read.json(), written.json());
}

// Whatever cannot be read as this tool's manifest promises nothing: every
// animation is cropped again. Only a manifest that is not there yet is no
// failure; the others say why.
TEST(Manifest, MissingOrDamagedReadsAsEmpty) {
  Manifest one;
  one.put("/out/walk", walkEntry());
  const std::string good = one.json();
  const auto replaced = [&](const std::string& from, const std::string& to) {
    std::string text = good;
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
  };
  struct Row {
    const char* what;
    std::optional<std::string> text;  // none: no file; "/": a folder
    size_t entries;
    Status::Code code;
  };
  constexpr Status::Code ok = Status::Code::ok, failed = Status::Code::failed,
                         damaged = Status::Code::unreadable;
  const Row rows[] = {
      {"the manifest as written", good, 1, ok},
      {"no file", std::nullopt, 0, ok},
      {"a folder by that name", std::string("/"), 0, failed},
      {"an empty file", std::string(), 0, damaged},
      {"cut short", good.substr(0, good.size() / 2), 0, damaged},
      {"no JSON", std::string("velmora"), 0, damaged},
      {"another layout", replaced("\"layout\": 2", "\"layout\": 1"), 0, damaged},
      {"the layout as text", replaced("\"layout\": 2", "\"layout\": \"2\""), 0, damaged},
      {"animations as a list", std::string(R"({"layout": 2, "animations": []})"), 0, damaged},
      {"an entry without its settings", replaced("\"settings\"", "\"setting\""), 0, damaged},
      {"a size as text", replaced(" 1234,", " \"1234\","), 0, damaged},
      {"a hash that is no number", replaced("0123456789abcdef", "not a hash"), 0, damaged},
      {"a report that is no object",
       replaced(R"("{\"folder\": \"walk\", \"frames\": [1, 2]}")", R"("[1, 2]")"), 0, damaged},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    ScopedTempDir temp;
    const std::string path = temp.file(kManifestName);
    if (row.text == std::string("/")) {
      ASSERT_EQ(mkdir(path.c_str(), 0700), 0);
    } else if (row.text) {
      writeFile(path, *row.text);
    }
    Manifest read = one;  // what it held before is gone whatever the file
    const Status status = Manifest::read(path, read);
    EXPECT_EQ(status.code(), row.code) << status.reason();
    EXPECT_EQ(status.reason().empty(), status.ok());
    EXPECT_EQ(read.size(), row.entries);
  }
}

// Both ways of reading a frame, whole (up to 1 MiB) and streamed past that,
// give XXH3's 64-bit hash of every byte and the file's size.
TEST(HashFile, SizeAndXxh3OfEveryByteReadWholeOrStreamed) {
  ScopedTempDir temp;
  std::mt19937 random(7);
  for (const size_t size : {size_t(0), size_t(1) << 20, (size_t(1) << 20) + 1, (size_t(3) << 20) + 7}) {
    SCOPED_TRACE(size);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = char(random());
    writeFile(temp.file("frame.png"), bytes);
    SourceFrame frame;
    ASSERT_TRUE(hashFile(temp.file("frame.png"), frame).ok());
    EXPECT_EQ(frame.size, size);
    EXPECT_EQ(frame.hash, XXH3_64bits(bytes.data(), bytes.size()));
  }
  SourceFrame missing;
  EXPECT_FALSE(hashFile(temp.file("missing.png"), missing).ok());
}

}  // namespace
