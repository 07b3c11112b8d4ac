// What an -incremental run keeps of every animation it wrote, so that the
// next run can tell an animation that nothing has changed for: the content
// hash of each source frame (xxHash's XXH3, 64 bits), the settings that shape
// its output, the files written with their sizes, and its report entry.
//
// The manifest is one JSON file in the autocropped folder. One that is
// missing, unreadable or not a manifest of this tool reads as empty, so a
// caller that ignores why still crops every animation again, never skipping
// one on a guess.
#ifndef VELMORA_RUN_MANIFEST_H
#define VELMORA_RUN_MANIFEST_H

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "base/status.h"
#include "corvane/htext.h"

namespace velmora {

// The manifest's name in the autocropped folder.
inline const char* const kManifestName = ".velmoraReelCut-manifest.json";

struct SourceFrame {
  std::string name;
  uint64_t size = 0;
  uint64_t hash = 0;
  bool operator==(const SourceFrame& other) const {
    return name == other.name && size == other.size && hash == other.hash;
  }
};

struct WrittenFile {
  std::string path;
  uint64_t size = 0;
};

struct ManifestEntry {
  std::vector<SourceFrame> sources;
  std::string settings;
  std::vector<WrittenFile> written;
  std::string report;  // the animation's report entry, a JSON object kept as text
};

class Manifest {
 public:
  // Reads the manifest at path into manifest, which is left empty unless
  // it reads whole.
  //   a manifest of this layout      => ok, its entries
  //   no entry at path               => ok, empty: no run kept one yet
  //   a folder, a file that fails    => failed, with the system's words
  //   too large, not JSON, another
  //   layout, an entry that does not
  //   read                           => unreadable, with what is wrong
  static Status read(const corvane::htext& path, Manifest& manifest);

  // The entry of an animation's output folder; nullptr when there is none.
  const ManifestEntry* find(const std::string& output) const;
  void put(const std::string& output, ManifestEntry entry);

  size_t size() const { return entries_.size(); }

  std::string json() const;

 private:
  std::map<std::string, ManifestEntry> entries_;
};

// The size and content hash of the file at path.
Status hashFile(const corvane::htext& path, SourceFrame& frame);

// Whether every file of entry still stands with the size it was written at.
bool writtenFilesStand(const ManifestEntry& entry);

}  // namespace velmora

#endif  // VELMORA_RUN_MANIFEST_H
