#include "run/manifest.h"

#include <nlohmann/json.hpp>
#include <xxhash.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "host/host.h"

namespace velmora {

using corvane::htext;

namespace {

using Json = nlohmann::ordered_json;

// Which manifests this tool reads: another layout counts as none.
constexpr int kLayout = 2;

// Why a manifest did not read.
const char* const kTooLarge = "larger than a manifest can be";
const char* const kNotJson = "not JSON";
const char* const kOtherLayout = "not a manifest of this layout";
const char* const kBadEntry = "an entry that does not read";

// A 64-bit hash as 16 hexadecimal digits: JSON numbers above 2^53 do not
// survive every reader.
std::string hex(uint64_t value) {
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
  return text;
}

struct StateFree {
  void operator()(XXH3_state_t* state) const { XXH3_freeState(state); }
};

}  // namespace

Status Manifest::read(const htext& path, Manifest& manifest) {
  manifest = Manifest();
  std::vector<unsigned char> bytes;
  std::FILE* file = nullptr;
  uint64_t size = 0;
  // A manifest is small; one past the whole-read size is no manifest of ours.
  const Status opened = host::openRegularFile(path, size_t(64) << 20, bytes, file, size);
  if (!opened.ok()) {
    host::EntryKind kind;
    return host::kindOf(path, kind).ok() ? opened : Status();
  }
  if (file != nullptr) {
    std::fclose(file);
    return Status(Status::Code::unreadable, kTooLarge);
  }
  const Json document = Json::parse(bytes.begin(), bytes.end(), nullptr, false);
  if (document.is_discarded()) return Status(Status::Code::unreadable, kNotJson);
  if (!document.is_object() || !document.contains("layout") || document["layout"] != kLayout ||
      !document.contains("animations") || !document["animations"].is_object()) {
    return Status(Status::Code::unreadable, kOtherLayout);
  }
  Manifest read;
  try {
    for (const auto& [output, stored] : document["animations"].items()) {
      ManifestEntry entry;
      for (const Json& source : stored.at("sources")) {
        entry.sources.push_back(SourceFrame{source.at(0).get<std::string>(),
                                            source.at(1).get<uint64_t>(),
                                            std::stoull(source.at(2).get<std::string>(), nullptr, 16)});
      }
      entry.settings = stored.at("settings").get<std::string>();
      for (const Json& written : stored.at("written")) {
        entry.written.push_back(
            WrittenFile{written.at(0).get<std::string>(), written.at(1).get<uint64_t>()});
      }
      entry.report = stored.at("report").get<std::string>();
      // The report of a skipped animation is this text; one that does not
      // read as an entry would stop the report.
      if (!Json::parse(entry.report, nullptr, false).is_object()) {
        return Status(Status::Code::unreadable, kBadEntry);
      }
      read.entries_[output] = std::move(entry);
    }
  } catch (const std::exception&) {
    // A manifest that is not of this layout promises nothing.
    return Status(Status::Code::unreadable, kBadEntry);
  }
  manifest = std::move(read);
  return Status();
}

const ManifestEntry* Manifest::find(const std::string& output) const {
  const auto found = entries_.find(output);
  return found == entries_.end() ? nullptr : &found->second;
}

void Manifest::put(const std::string& output, ManifestEntry entry) {
  entries_[output] = std::move(entry);
}

std::string Manifest::json() const {
  Json document;
  document["layout"] = kLayout;
  Json& animations = document["animations"] = Json::object();
  for (const auto& [output, entry] : entries_) {
    Json stored;
    Json& sources = stored["sources"] = Json::array();
    for (const SourceFrame& source : entry.sources) {
      sources.push_back(Json::array({source.name, source.size, hex(source.hash)}));
    }
    stored["settings"] = entry.settings;
    Json& written = stored["written"] = Json::array();
    for (const WrittenFile& file : entry.written) written.push_back(Json::array({file.path, file.size}));
    stored["report"] = entry.report;
    animations[output] = std::move(stored);
  }
  return document.dump(1, ' ', false, Json::error_handler_t::replace) + "\n";
}

Status hashFile(const htext& path, SourceFrame& frame) {
  std::vector<unsigned char> bytes;
  std::FILE* file = nullptr;
  const Status opened = host::openRegularFile(path, size_t(1) << 20, bytes, file, frame.size);
  if (!opened.ok()) return opened;
  const std::unique_ptr<XXH3_state_t, StateFree> state(XXH3_createState());
  if (state == nullptr) {
    if (file != nullptr) std::fclose(file);
    return Status(Status::Code::failed, kOutOfMemory);
  }
  XXH3_64bits_reset(state.get());
  XXH3_64bits_update(state.get(), bytes.data(), bytes.size());
  Status read;
  if (file != nullptr) {
    std::vector<unsigned char> part(size_t(1) << 16);
    uint64_t total = 0;
    for (size_t n; (n = std::fread(part.data(), 1, part.size(), file)) > 0;) {
      XXH3_64bits_update(state.get(), part.data(), n);
      total += n;
    }
    if (std::ferror(file) != 0) read = Status(Status::Code::failed, "the file could not be read");
    std::fclose(file);
    frame.size = total;
  }
  frame.hash = XXH3_64bits_digest(state.get());
  return read;
}

bool writtenFilesStand(const ManifestEntry& entry) {
  for (const WrittenFile& file : entry.written) {
    uint64_t size = 0;
    if (!host::fileSize(file.path, size).ok() || size != file.size) return false;
  }
  return true;
}

}  // namespace velmora
