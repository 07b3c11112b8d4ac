#include "run/tree_run.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>

#include "corvane/hfolder.h"
#include "host/file_save.h"
#include "host/host.h"
#include "image/coverage_map.h"
#include "image/frame_loader.h"
#include "parallel/in_order.h"
#include "png/png_optimize.h"
#include "run/bounds_scan.h"
#include "run/frame_list.h"
#include "run/frame_loop.h"

namespace velmora {

using corvane::hfolder;
using corvane::htext;

namespace {

// out_<digits>.png: a frame the tool wrote, which a new run replaces.
bool isOutputFrame(const std::string& name) {
  if (name.size() < 9 || name.compare(0, 4, "out_") != 0 ||
      name.compare(name.size() - 4, 4, ".png") != 0) {
    return false;
  }
  return std::all_of(name.begin() + 4, name.end() - 4, [](char c) { return c >= '0' && c <= '9'; });
}

htext under(const htext& root, const htext& relative) {
  return relative.empty() ? root : hfolder::join(root, relative);
}

// Makes every folder of relative below root that is missing.
Status makeFolders(const htext& root, const htext& relative) {
  htext place = root;
  for (const htext& segment : relative.split('/')) {
    if (segment.empty()) continue;
    place = hfolder::join(place, segment);
    const Status made = host::makeFolder(place);
    if (made.code() == Status::Code::exists) {
      host::EntryKind kind = host::EntryKind::file;
      if (!host::kindOf(place, kind).ok() || kind != host::EntryKind::folder) {
        return Status(Status::Code::failed, "\"" + std::string(place.c_str()) + "\" is no folder");
      }
    } else if (!made.ok()) {
      return made;
    }
  }
  return Status();
}

htext parentOf(const htext& relative) {
  const size_t slash = relative.rfind('/');
  return slash == htext::npos ? htext() : relative.subString(0, slash);
}

// Puts the prepared folder of an animation in the place of its old one:
// what the old one held besides the animation's frames moves over first,
// then the two change places and the old one goes.
Status putInPlace(const htext& prepared, const htext& place) {
  host::EntryKind kind = host::EntryKind::folder;
  const bool standing = host::kindOf(place, kind).ok();
  if (standing && kind == host::EntryKind::file) {
    return Status(Status::Code::failed, "a file stands where its folder goes");
  }
  // A link planted in its place is replaced, never entered; where a link
  // cannot be moved as itself, it is not touched at all.
  if (standing && kind == host::EntryKind::linkedFolder && !host::kLinksMoveAsLinks) {
    return Status(Status::Code::failed, "a link to a folder stands where its folder goes");
  }
  std::vector<std::string> carried;
  if (standing && kind == host::EntryKind::folder) {
    std::vector<host::FolderEntry> entries;
    const Status listed = host::listFolder(place, entries);
    if (!listed.ok()) return listed;
    for (const host::FolderEntry& entry : entries) {
      if (entry.kind == host::EntryKind::file && isOutputFrame(entry.name)) continue;
      if (entry.kind == host::EntryKind::linkedFolder && !host::kLinksMoveAsLinks) {
        for (const std::string& name : carried) {
          host::moveEntry(hfolder::join(prepared, name), hfolder::join(place, name));
        }
        return Status(Status::Code::failed, "a link to a folder stands in its folder");
      }
      const Status moved =
          host::moveEntry(hfolder::join(place, entry.name), hfolder::join(prepared, entry.name));
      if (!moved.ok()) {
        for (const std::string& name : carried) {
          host::moveEntry(hfolder::join(prepared, name), hfolder::join(place, name));
        }
        return moved;
      }
      carried.push_back(entry.name);
    }
  }
  const Status swapped = host::swapFolders(prepared, place);
  if (!swapped.ok()) {
    for (const std::string& name : carried) {
      host::moveEntry(hfolder::join(prepared, name), hfolder::join(place, name));
    }
    return swapped;
  }
  // The old frames: the run's staging folder goes at the end in any case.
  if (standing) host::removeTree(prepared);
  return Status();
}

struct Worker {
  const TreeOptions& options;
  unsigned innerJobs;
  PixelBudget* budget;

  void fail(AnimationResult& result, AnimationFailure failure, const Status& status,
            unsigned frame = 0) const {
    result.failure = failure;
    result.status = status;
    result.frame = frame;
  }

  // Everything but the folder's place: frames written into a folder of the
  // staging folder, the picture made.
  AnimationResult prepare(const Animation& animation, unsigned k, PngMemory& memory,
                          std::string& picture) const {
    AnimationResult result;
    result.forced = options.forced;
    FrameList names;
    for (const std::string& name : animation.frames) names.push_back(name.c_str());
    const unsigned count = static_cast<unsigned>(names.size());
    if (options.incremental) {
      result.entry.settings = options.settings;
      bool hashed = true;
      for (const std::string& name : animation.frames) {
        SourceFrame source;
        source.name = name;
        hashed = hashFile(hfolder::join(animation.folder, name), source).ok() && hashed;
        result.entry.sources.push_back(source);
      }
      const ManifestEntry* earlier =
          options.manifest != nullptr ? options.manifest->find(animation.output) : nullptr;
      if (hashed && earlier != nullptr && earlier->settings == result.entry.settings &&
          earlier->sources == result.entry.sources && writtenFilesStand(*earlier)) {
        result.skipped = true;
        result.entry = *earlier;
        return result;
      }
    }

    Placement placement{options.anchor, 0, 0};
    const bool pictured = !options.pictures.empty();
    FrameExtent extent;
    if (pictured || (options.forced && options.anchor != Anchor::topleft)) {
      extent = largestFrame(names, animation.folder);
      placement.width = extent.width;
      placement.height = extent.height;
    }
    std::unique_ptr<CoverageMap> coverage;
    if (pictured && !options.forced) {
      coverage = std::make_unique<CoverageMap>(extent.width, extent.height, std::nullopt, count);
    }
    CropRect rect = options.forcedRect;
    if (!options.forced) {
      const BoundsScan scan = determineBounds(names, animation.folder, options.threshold,
                                              innerJobs, coverage.get(), [](unsigned) {},
                                              placement, budget);
      if (!scan.stop.ok()) {
        fail(result, AnimationFailure::frame, scan.stop, scan.stopFrame);
        result.results.resize(count);
        result.results[scan.stopFrame] = scan.frames[scan.stopFrame].result;
        return result;
      }
      rect = scan.area;
      placement = scan.placement;
      for (const FrameScan& frame : scan.frames) result.visible.push_back(frame.visible);
    }
    result.area = rect;
    result.placement = placement;
    if (!isRectValid(rect, options.align)) {
      fail(result, options.forced || rect.minX != -1 ? AnimationFailure::invalidRect
                                                     : AnimationFailure::nothingShown,
           Status());
      return result;
    }
    result.crop = rect;
    correctRectSize(result.crop, options.align);
    if (rectArea(result.crop) > kMaxCropPixels) {
      fail(result, AnimationFailure::tooLarge, Status());
      return result;
    }
    if (pictured && options.forced) {
      coverage = std::make_unique<CoverageMap>(extent.width, extent.height, result.crop, count);
    }

    result.folder = hfolder::join(options.staging, htext(int(k)));
    const Status made = host::makeFolder(result.folder);
    if (!made.ok()) {
      fail(result, AnimationFailure::notReplaced, made);
      return result;
    }
    LoopOptions loop;
    loop.jobs = innerJobs;
    loop.budget = budget;
    loop.memory = &memory;
    loop.write.placement = placement;
    loop.write.fill = options.fill;
    loop.write.coverage = options.forced ? coverage.get() : nullptr;
    loop.write.threshold = options.threshold;
    loop.write.optimize = options.optimize;
    loop.write.freshFolder = true;
    result.results = writeCroppedFrames(names, animation.folder, result.folder, result.crop, loop,
                                        [](unsigned, const FrameResult&) {});
    for (unsigned i = 0; i < count; ++i) {
      const FrameResult& frame = result.results[i];
      if (!frame.status.ok()) {
        host::removeTree(result.folder);
        fail(result, AnimationFailure::notWritten, frame.status, i);
        return result;
      }
      result.bytesIn += frame.bytesIn;
      result.bytesOut += frame.bytesOut;
    }
    if (coverage != nullptr) {
      result.pictured = coverage->picture(
          result.crop, options.forced ? std::nullopt : std::optional<CropRect>(result.area),
          picture);
    }
    return result;
  }

  // Puts the prepared folder and the picture in their places; the
  // manifest's entry then names the files as they stand.
  void commit(const Animation& animation, AnimationResult& result,
              const std::string& picture) const {
    if (result.skipped || result.failure != AnimationFailure::none) return;
    Status placed = makeFolders(options.target, parentOf(animation.output));
    if (placed.ok()) placed = putInPlace(result.folder, under(options.target, animation.output));
    if (!placed.ok()) {
      host::removeTree(result.folder);
      fail(result, AnimationFailure::notReplaced, placed);
      return;
    }
    const htext place = under(options.target, animation.output);
    result.folder = place;
    result.entry.written.clear();
    for (unsigned i = 0; i < result.results.size(); ++i) {
      result.entry.written.push_back(
          WrittenFile{hfolder::join(place, outputName(i + 1)), result.results[i].bytesOut});
    }
    if (options.pictures.empty()) return;
    result.picture = pictureFile(options, animation);
    if (result.pictured.ok()) {
      const htext folderOfPicture = options.split ? parentOf(animation.output) : animation.output;
      result.pictured = makeFolders(options.pictures, folderOfPicture);
      if (result.pictured.ok()) result.pictured = saveFile(picture, result.picture);
    }
    if (result.pictured.ok()) {
      result.entry.written.push_back(WrittenFile{result.picture, picture.size()});
    }
  }
};

}  // namespace

htext pictureFile(const TreeOptions& options, const Animation& animation) {
  if (options.split) return hfolder::join(options.pictures, animation.output + ".png");
  return hfolder::join(under(options.pictures, animation.output), "coverage.png");
}

std::string outputSettings(const TreeOptions& options, FrameOrder order) {
  char text[256];
  std::snprintf(text, sizeof text,
                "version %s; threshold %u; order %s; split %d; fill %d; anchor %d; align %u; "
                "optimize %d; forced %d %d,%d,%d,%d; pictures ",
                VELMORA_VERSION, unsigned(options.threshold),
                order == FrameOrder::natural ? "natural" : "name", int(options.split),
                int(options.fill), int(options.anchor), options.align, int(options.optimize),
                int(options.forced), options.forcedRect.minX, options.forcedRect.minY,
                options.forcedRect.maxX, options.forcedRect.maxY);
  return std::string(text) + options.pictures.c_str();
}

std::string animationProblem(const Animation& animation, const AnimationResult& result) {
  static_assert(kMaxFramePixels == 268435456 && kMaxPackedMetadataBytes == 65536 &&
                    kMaxCropPixels == 268435456,
                "the wordings below name the bounds");
  const std::string frame =
      result.frame < animation.frames.size() ? animation.frames[result.frame] : std::string();
  char text[160];
  switch (result.failure) {
    case AnimationFailure::none:
      return std::string();
    case AnimationFailure::frame:
      switch (result.status.code()) {
        case Status::Code::noAlpha:
          return "alpha is not 8 BPP (" + frame + ")";
        case Status::Code::tooLarge:
          std::snprintf(text, sizeof text, "%ux%u pixels, more than the 268435456 a frame may hold",
                        result.results[result.frame].width, result.results[result.frame].height);
          return "frame \"" + frame + "\" declares " + text;
        case Status::Code::tooMuchMetadata:
          return "frame \"" + frame + "\" holds more than 65536 bytes of compressed metadata";
        default:
          return "frame \"" + frame + "\" could not be loaded as PNG";
      }
    case AnimationFailure::nothingShown:
      return "no frame has a visible pixel";
    case AnimationFailure::invalidRect:
      return "the crop rect is mathematically incorrect";
    case AnimationFailure::tooLarge:
      return "the corrected crop-rect holds more than 268435456 pixels";
    case AnimationFailure::notWritten:
      return "frame \"" + frame + "\" " + frameProblem(result.status.code());
    case AnimationFailure::notReplaced:
      return "its folder could not be put in place";
  }
  return std::string();
}

std::vector<AnimationResult> cropAnimations(
    const std::vector<Animation>& animations, const TreeOptions& options,
    const std::function<void(unsigned, const AnimationResult&)>& done) {
  const unsigned count = static_cast<unsigned>(animations.size());
  const unsigned threads = std::max(1u, std::min(options.jobs, count));
  // One animation alone spreads its frames instead.
  const unsigned innerJobs = count == 1 ? options.jobs : 1;
  PixelBudget budget(kThreadsPixelBudget);
  const Worker worker{options, innerJobs, threads > 1 || innerJobs > 1 ? &budget : nullptr};
  std::vector<AnimationResult> results(count);
  std::vector<std::string> pictures(count);
  std::vector<PngMemory> memories(threads);
  runInOrder(
      count, threads,
      [&](unsigned k, unsigned w) {
        results[k] = worker.prepare(animations[k], k, memories[w], pictures[k]);
      },
      [&](unsigned k) {
        worker.commit(animations[k], results[k], pictures[k]);
        pictures[k] = std::string();
        done(k, results[k]);
        return true;
      },
      [&](unsigned k, const char* why) {
        if (!results[k].folder.empty()) host::removeTree(results[k].folder);
        results[k] = AnimationResult();
        results[k].failure = AnimationFailure::notWritten;
        results[k].status = Status(Status::Code::notCropped, why);
        results[k].results.resize(animations[k].frames.size());
      });
  return results;
}

}  // namespace velmora
