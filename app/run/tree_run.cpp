#include "run/tree_run.h"

#include <xxhash.h>

#include <algorithm>
#include <cstdio>
#include <unordered_map>

#include "corvane/hfolder.h"
#include "host/file_save.h"
#include "host/folder_replace.h"
#include "host/host.h"
#include "image/frame_loader.h"
#include "image/sheet_cells.h"
#include "parallel/in_order.h"
#include "png/png_optimize.h"
#include "run/crop_plan.h"
#include "run/frame_list.h"
#include "run/frame_loop.h"
#include "run/run_report.h"
#include "run/sheet_layout.h"

namespace velmora {

using corvane::hfolder;
using corvane::htext;

namespace {

// Whether name is prefix, one digit or more, and suffix.
bool isNumbered(const std::string& name, const std::string& prefix, const std::string& suffix) {
  if (name.size() <= prefix.size() + suffix.size() || name.compare(0, prefix.size(), prefix) != 0 ||
      name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) {
    return false;
  }
  const size_t other = name.find_first_not_of("0123456789", prefix.size());
  return (other == std::string::npos ? name.size() : other) == name.size() - suffix.size();
}

// out_<digits>.png: a frame the tool wrote, which a new run replaces.
bool isOutputFrame(const std::string& name) { return isNumbered(name, "out_", ".png"); }

// sheet.png, sheet.json, sheet-<n>.png, sheet-<n>.json: a sheet's pages.
bool isSheetFile(const std::string& name) {
  return name == "sheet.png" || name == "sheet.json" || isNumbered(name, "sheet-", ".png") ||
         isNumbered(name, "sheet-", ".json");
}

// What a folder of the staging folder is renamed to when it holds something
// of the user's: no longer a number, so no run removes it.
const char* const kStrandedSuffix = "-kept";

// Whether a staging folder that a run left holds its frames alone: folders
// named by their number.
bool holdsFramesAlone(const htext& staging) {
  std::vector<host::FolderEntry> entries;
  if (!host::listFolder(staging, entries).ok()) return false;
  return std::all_of(entries.begin(), entries.end(), [](const host::FolderEntry& entry) {
    return entry.kind == host::EntryKind::folder && isNumbered(entry.name, "", "");
  });
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
// then the prepared one replaces it. stranded, after a failure, when what
// moved over could be put neither back nor beside the place, so that it is
// still in the prepared folder, which must then stay.
Status putInPlace(const htext& prepared, const htext& place, bool (*owned)(const std::string&),
                  bool& stranded) {
  stranded = false;
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
  // What moved over goes back where it was; should that fail, the prepared
  // folder, which then holds it, moves out of the staging folder (which goes
  // at the end) to a free name beside its place, so nothing of the user's is
  // lost.
  const auto putBack = [&](const Status& why) {
    bool back = true;
    for (const std::string& name : carried) {
      back = host::moveEntry(hfolder::join(prepared, name), hfolder::join(place, name)).ok() && back;
    }
    if (back) return why;
    htext held;
    for (int n = 1; n <= 16 && held.empty(); ++n) {
      const htext kept = place + ".velmoraReelCut-kept" + (n == 1 ? htext() : htext("~") + htext(n));
      if (host::moveEntry(prepared, kept).ok()) held = kept;
    }
    if (held.empty()) {
      // Named apart from the frames of the run, so that no run removes the
      // staging folder that holds it.
      stranded = true;
      held = prepared + kStrandedSuffix;
      if (!host::moveEntry(prepared, held).ok()) held = prepared;
    }
    return Status(why.code(), why.reason() + "; what its folder held is in \"" +
                                  std::string(held.c_str()) + "\"");
  };
  if (standing && kind == host::EntryKind::folder) {
    std::vector<host::FolderEntry> entries;
    const Status listed = host::listFolder(place, entries);
    if (!listed.ok()) return listed;
    for (const host::FolderEntry& entry : entries) {
      if (entry.kind == host::EntryKind::file && owned(entry.name)) continue;
      if (entry.kind == host::EntryKind::linkedFolder && !host::kLinksMoveAsLinks) {
        return putBack(Status(Status::Code::failed, "a link to a folder stands in its folder"));
      }
      const Status moved =
          host::moveEntry(hfolder::join(place, entry.name), hfolder::join(prepared, entry.name));
      if (!moved.ok()) return putBack(moved);
      carried.push_back(entry.name);
    }
  }
  const Status replaced = replaceFolder(prepared, place);
  return replaced.ok() ? replaced : putBack(replaced);
}

struct Worker {
  const TreeOptions& options;
  unsigned innerJobs;
  PixelBudget* budget;

  // The folder below autocropped that holds the sheet of an animation, and
  // below the pictures' folder its picture: with -split its stem's folder's.
  htext sheetFolder(const Animation& animation) const {
    return options.split ? parentOf(animation.output) : animation.output;
  }

  void fail(AnimationResult& result, AnimationFailure failure, const Status& status,
            unsigned frame = 0) const {
    result.failure = failure;
    result.status = status;
    result.frame = frame;
  }

  // With -incremental: hashes the sources; true, with the earlier entry
  // taken, when nothing changed since the manifest's run.
  // With a sheet, its animations (by output folder) count among the settings:
  // one that went away or came redoes the sheet.
  bool unchanged(const Animation& animation, AnimationResult& result,
                 const std::string& sheet = std::string()) const {
    if (!options.incremental) return false;
    result.entry.settings = options.settings + sheet;
    bool hashed = true;
    for (const std::string& name : animation.frames) {
      SourceFrame source;
      source.name = name;
      hashed = hashFile(hfolder::join(animation.folder, name), source).ok() && hashed;
      result.entry.sources.push_back(source);
    }
    const ManifestEntry* earlier =
        options.manifest != nullptr ? options.manifest->find(animation.output) : nullptr;
    if (!hashed || earlier == nullptr || earlier->settings != result.entry.settings ||
        !(earlier->sources == result.entry.sources) || !writtenFilesStand(*earlier)) {
      return false;
    }
    result.skipped = true;
    result.entry = *earlier;
    result.folder = outputFolder(options, animation);
    if (!options.pictures.empty()) result.picture = pictureFile(options, animation);
    return true;
  }

  // The scan, the placement, the rectangle and its widening (none for a
  // sheet, whose cells are the area itself, a forced one kept to the
  // canvas); the coverage map with pictures. False after a failure.
  bool measure(const Animation& animation, AnimationResult& result, CropPlan& plan) const {
    result.forced = options.forced;
    const FrameList names = frameNames(animation);
    PlanOptions planned;
    planned.threshold = options.threshold;
    planned.anchor = options.anchor;
    planned.align = options.sheet ? 1 : options.align;
    if (options.forced) planned.forced = options.forcedRect;
    planned.keepToCanvas = options.sheet;
    planned.pictured = !options.pictures.empty();
    planned.jobs = innerJobs;
    planned.budget = budget;
    plan = planCrop(names, animation.folder, planned, [](unsigned) {});
    result.area = plan.area;
    result.crop = plan.crop;
    result.placement = plan.placement;
    result.visible = std::move(plan.visible);
    switch (plan.stop) {
      case PlanStop::none:
        return true;
      case PlanStop::frame:
        fail(result, AnimationFailure::frame, plan.status, plan.stopFrame);
        result.results.resize(names.size());
        result.results[plan.stopFrame] = plan.stopResult;
        return false;
      case PlanStop::invalidRect:
        fail(result, options.forced || plan.area.minX != -1 ? AnimationFailure::invalidRect
                                                            : AnimationFailure::nothingShown,
             Status());
        return false;
      case PlanStop::tooLarge:
        fail(result, AnimationFailure::tooLarge, Status());
        return false;
    }
    return false;
  }

  // The picture of a measured animation.
  void picture(const CropPlan& plan, std::string& png, Status& pictured) const {
    if (plan.coverage != nullptr) pictured = pictureOf(plan, png);
  }

  // Writes the picture of an animation whose folder is in place; the
  // manifest's entry then names it.
  void savePicture(const Animation& animation, AnimationResult& result,
                   const std::string& png) const {
    if (options.pictures.empty()) return;
    result.picture = pictureFile(options, animation);
    if (result.pictured.ok()) result.pictured = makeFolders(options.pictures, sheetFolder(animation));
    if (result.pictured.ok()) result.pictured = saveFile(png, result.picture);
    if (result.pictured.ok()) result.entry.written.push_back(WrittenFile{result.picture, png.size()});
  }

  // Everything but the folder's place: frames written into a folder of the
  // staging folder, the picture made.
  AnimationResult prepare(const Animation& animation, unsigned k, PngMemory& memory,
                          std::string& picture) const {
    AnimationResult result;
    CropPlan plan;
    if (unchanged(animation, result) || !measure(animation, result, plan)) return result;

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
    loop.write.placement = result.placement;
    loop.write.fill = options.fill;
    loop.write.coverage = options.forced ? plan.coverage.get() : nullptr;
    loop.write.threshold = options.threshold;
    loop.write.optimize = options.optimize;
    loop.write.freshFolder = true;
    loop.stopAtFailure = true;
    result.results = writeCroppedFrames(frameNames(animation), animation.folder, result.folder,
                                        result.crop, loop, [](unsigned, const FrameResult&) {});
    for (unsigned i = 0; i < result.results.size(); ++i) {
      const FrameResult& frame = result.results[i];
      if (!frame.status.ok()) {
        host::removeTree(result.folder);
        fail(result, AnimationFailure::notWritten, frame.status, i);
        return result;
      }
      result.bytesIn += frame.bytesIn;
      result.bytesOut += frame.bytesOut;
    }
    this->picture(plan, picture, result.pictured);
    return result;
  }

  // Puts the prepared folder and the picture in their places; the
  // manifest's entry then names the files as they stand.
  void commit(const Animation& animation, AnimationResult& result,
              const std::string& picture) const {
    if (result.skipped || result.failure != AnimationFailure::none) return;
    const htext place = outputFolder(options, animation);
    Status placed = makeFolders(options.target, parentOf(animation.output));
    if (placed.ok()) placed = putInPlace(result.folder, place, isOutputFrame, result.stranded);
    if (!placed.ok()) {
      if (!result.stranded) host::removeTree(result.folder);
      fail(result, AnimationFailure::notReplaced, placed);
      return;
    }
    result.folder = place;
    result.entry.written.clear();
    for (unsigned i = 0; i < result.results.size(); ++i) {
      result.entry.written.push_back(
          WrittenFile{hfolder::join(place, outputName(i + 1)), result.results[i].bytesOut});
    }
    savePicture(animation, result, picture);
  }

  // A folder's animations as the pages of its sheet, written into a folder of
  // the staging folder; the pictures made. results and pictures point to
  // count entries, one per animation of the folder.
  void prepareSheet(const std::vector<Animation>& animations, unsigned first, unsigned count,
                    unsigned g, PngMemory& memory, AnimationResult* results,
                    std::string* pictures) const {
    std::string members = "; of a sheet of";
    for (unsigned i = 0; i < count; ++i) members += " " + std::string(animations[first + i].output);
    bool unchangedAll = options.incremental;
    for (unsigned i = 0; i < count; ++i) {
      unchangedAll = unchanged(animations[first + i], results[i], members) && unchangedAll;
    }
    if (unchangedAll) return;
    // One animation that changed redoes the whole sheet.
    for (unsigned i = 0; i < count; ++i) {
      results[i].skipped = false;
      results[i].folder = htext();
      results[i].picture = htext();
      results[i].entry.written.clear();
      results[i].entry.report.clear();
    }

    std::vector<std::vector<CellPixels>> cells(count);
    std::vector<std::vector<unsigned>> uniqueOf(count);  // per frame: its unique cell
    std::vector<std::vector<unsigned>> uniques(count);   // per unique cell: its first frame
    std::vector<SheetAnimation> shapes(count);
    int stopped = -1;
    for (unsigned i = 0; i < count && stopped == -1; ++i) {
      const Animation& animation = animations[first + i];
      AnimationResult& result = results[i];
      CropPlan plan;
      if (!measure(animation, result, plan)) {
        stopped = int(i);
        break;
      }
      const unsigned frames = static_cast<unsigned>(animation.frames.size());
      cells[i].resize(frames);
      result.results.resize(frames);
      runInOrder(
          frames, innerJobs,
          [&](unsigned k, unsigned) {
            // The picture of a forced rectangle counts the frames as they are cut.
            result.results[k] = cutCell(hfolder::join(animation.folder, animation.frames[k]),
                                        result.area, result.placement, cells[i][k], budget,
                                        options.forced ? plan.coverage.get() : nullptr,
                                        options.threshold);
          },
          [&](unsigned k) { return result.results[k].status.ok(); },
          [&](unsigned k, const char* why) {
            result.results[k] = FrameResult();
            result.results[k].status = Status(Status::Code::notCropped, why);
          });
      // Identical cells are stored once: the first frame that shows them.
      std::unordered_map<uint64_t, std::vector<unsigned>> byHash;
      for (unsigned k = 0; k < frames; ++k) {
        if (!result.results[k].status.ok()) {
          fail(result, AnimationFailure::notWritten, result.results[k].status, k);
          stopped = int(i);
          break;
        }
        result.bytesIn += result.results[k].bytesIn;
        const std::string& rgba = cells[i][k].rgba;
        std::vector<unsigned>& candidates = byHash[XXH3_64bits(rgba.data(), rgba.size())];
        unsigned same = unsigned(uniques[i].size());
        for (const unsigned u : candidates) {
          if (cells[i][uniques[i][u]].rgba == rgba) same = u;
        }
        if (same == uniques[i].size()) {
          candidates.push_back(same);
          uniques[i].push_back(k);
        }
        uniqueOf[i].push_back(same);
      }
      if (stopped != -1) break;
      picture(plan, pictures[i], result.pictured);
      shapes[i] = SheetAnimation{uint32_t(result.area.maxX - result.area.minX),
                                 uint32_t(result.area.maxY - result.area.minY),
                                 unsigned(uniques[i].size())};
    }
    const SheetLayout layout =
        stopped == -1 ? layoutSheet(shapes, options.padding, options.sheetMax) : SheetLayout();
    if (stopped == -1 && layout.tooLarge != -1) {
      stopped = layout.tooLarge;
      fail(results[stopped], AnimationFailure::cellTooLarge, Status());
    }
    if (stopped != -1) {
      for (unsigned i = 0; i < count; ++i) {
        if (int(i) != stopped) fail(results[i], AnimationFailure::sheet, Status());
      }
      return;
    }

    const auto pageName = [](unsigned page) {
      return page == 0 ? std::string("sheet") : "sheet-" + std::to_string(page + 1);
    };
    std::vector<SheetPage> pages(layout.pages.size());
    std::vector<std::vector<PlacedCell>> placed(layout.pages.size());
    for (unsigned p = 0; p < pages.size(); ++p) {
      pages[p].image = pageName(p) + ".png";
      pages[p].width = layout.pages[p].width;
      pages[p].height = layout.pages[p].height;
      if (p == 0) {
        for (unsigned q = 1; q < pages.size(); ++q) pages[p].related.push_back(pageName(q) + ".json");
      }
    }
    for (unsigned i = 0; i < count; ++i) {
      const Animation& animation = animations[first + i];
      AnimationResult& result = results[i];
      for (unsigned u = 0; u < uniques[i].size(); ++u) {
        const CellPlace& at = layout.places[i][u];
        placed[at.page].push_back(PlacedCell{&cells[i][uniques[i][u]], at.x, at.y});
      }
      const uint32_t w = shapes[i].cellWidth, h = shapes[i].cellHeight;
      const bool bottom = options.anchor == Anchor::bottom;
      std::vector<std::vector<std::string>> listed(pages.size());
      for (unsigned k = 0; k < animation.frames.size(); ++k) {
        const CellPlace& at = layout.places[i][uniqueOf[i][k]];
        result.cells.push_back(SheetCell{pages[at.page].image, at.x, at.y, w, h});
        SheetFrame frame;
        frame.name = animation.frames[k];
        frame.x = at.x;
        frame.y = at.y;
        frame.w = w;
        frame.h = h;
        frame.sprite = result.area;
        frame.sourceWidth = uint32_t(result.placement.width);
        frame.sourceHeight = uint32_t(result.placement.height);
        frame.pivotX = 0.5;
        frame.pivotY = bottom ? 1.0 : 0.5;
        pages[at.page].frames.push_back(frame);
        listed[at.page].push_back(frame.name);
      }
      for (unsigned p = 0; p < pages.size(); ++p) {
        if (!listed[p].empty()) pages[p].animations.emplace_back(sheetName(options, animation), listed[p]);
      }
      result.stored = unsigned(uniques[i].size());
      result.shared = unsigned(animation.frames.size()) - result.stored;
    }
    // The cells' pixels are on the pages now; what is left is the pages' bytes.
    AnimationResult& lead = results[0];
    lead.folder = hfolder::join(options.staging, htext(int(g)));
    Status written = host::makeFolder(lead.folder);
    for (unsigned p = 0; p < pages.size() && written.ok(); ++p) {
      std::string png;
      if (!encodePage(pages[p].width, pages[p].height, placed[p], options.optimize, &memory, png).ok()) {
        written = Status(Status::Code::notSaved, "the page could not be encoded");
        break;
      }
      const std::string json = sheetJson(pages[p]);
      written = host::writeNewFile(hfolder::join(lead.folder, pages[p].image), png.data(), png.size());
      if (written.ok()) {
        written = host::writeNewFile(hfolder::join(lead.folder, pageName(p) + ".json"), json.data(),
                                     json.size());
      }
      lead.bytesOut += png.size() + json.size();
      lead.entry.written.push_back(WrittenFile{pages[p].image, png.size()});
      lead.entry.written.push_back(WrittenFile{pageName(p) + ".json", json.size()});
    }
    lead.pages = unsigned(pages.size());
    if (!written.ok()) {
      host::removeTree(lead.folder);
      for (unsigned i = 0; i < count; ++i) {
        if (i == 0) {
          fail(results[i], AnimationFailure::notReplaced, written);
        } else {
          fail(results[i], AnimationFailure::sheet, Status());
        }
      }
    }
  }

  // Puts a prepared sheet and the pictures of its animations in their places.
  void commitSheet(const std::vector<Animation>& animations, unsigned first, unsigned count,
                   AnimationResult* results, const std::string* pictures) const {
    AnimationResult& lead = results[0];
    if (lead.skipped || lead.failure != AnimationFailure::none) return;
    const htext place = outputFolder(options, animations[first]);
    Status placed = makeFolders(options.target, parentOf(sheetFolder(animations[first])));
    if (placed.ok()) placed = putInPlace(lead.folder, place, isSheetFile, lead.stranded);
    if (!placed.ok()) {
      if (!lead.stranded) host::removeTree(lead.folder);
      fail(lead, AnimationFailure::notReplaced, placed);
      for (unsigned i = 1; i < count; ++i) fail(results[i], AnimationFailure::sheet, Status());
      return;
    }
    std::vector<WrittenFile> written;
    for (const WrittenFile& file : lead.entry.written) {
      written.push_back(WrittenFile{hfolder::join(place, file.path), file.size});
    }
    for (unsigned i = 0; i < count; ++i) {
      AnimationResult& result = results[i];
      result.folder = place;
      result.entry.written = written;
      savePicture(animations[first + i], result, pictures[i]);
    }
  }
};

}  // namespace

htext outputFolder(const TreeOptions& options, const Animation& animation) {
  const htext relative =
      options.sheet && options.split ? parentOf(animation.output) : animation.output;
  return under(options.target, relative);
}

std::string sheetName(const TreeOptions& options, const Animation& animation) {
  if (options.split) return animation.stem;
  if (animation.relative.empty()) return options.sourceName;
  return hfolder::leafOf(animation.relative);
}

htext pictureFile(const TreeOptions& options, const Animation& animation) {
  if (options.split) return hfolder::join(options.pictures, animation.output + ".png");
  return hfolder::join(under(options.pictures, animation.output), "coverage.png");
}

std::string outputSettings(const TreeOptions& options, FrameOrder order) {
  char text[256];
  std::snprintf(text, sizeof text,
                "version %s; threshold %u; order %s; split %d; fill %d; anchor %d; align %u; "
                "optimize %d; forced %d %d,%d,%d,%d; sheet %d %u %u; pictures ",
                VELMORA_VERSION, unsigned(options.threshold),
                order == FrameOrder::natural ? "natural" : "name", int(options.split),
                int(options.fill), int(options.anchor), options.align, int(options.optimize),
                int(options.forced), options.forcedRect.minX, options.forcedRect.minY,
                options.forcedRect.maxX, options.forcedRect.maxY, int(options.sheet),
                options.padding, options.sheetMax);
  return std::string(text) + options.pictures.c_str();
}

std::string animationProblem(const Animation& animation, const AnimationResult& result) {
  static_assert(kMaxFramePixels == 268435456 && kMaxPackedMetadataBytes == 65536 &&
                    kMaxCropPixels == 268435456,
                "the wordings below name the bounds");
  const std::string frame =
      result.frame < animation.frames.size() ? animation.frames[result.frame] : std::string();
  switch (result.failure) {
    case AnimationFailure::none:
      return std::string();
    case AnimationFailure::frame:
      if (result.status.code() == Status::Code::noAlpha) return "alpha is not 8 BPP (" + frame + ")";
      if (result.status.code() == Status::Code::tooLarge) {
        return "frame \"" + frame + "\" declares " +
               corvane::hsprintf("%ux%u pixels, more than the 268435456 a frame may hold",
                                 result.results[result.frame].width,
                                 result.results[result.frame].height)
                   .c_str();
      }
      return "frame \"" + frame + "\" " + frameProblem(result.status.code());
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
    case AnimationFailure::cellTooLarge:
      return corvane::hsprintf("its cells of %dx%d do not fit a sheet page",
                               int(result.area.maxX - result.area.minX),
                               int(result.area.maxY - result.area.minY))
          .c_str();
    case AnimationFailure::sheet:
      return "its sheet was not written";
  }
  return std::string();
}

Manifest nextManifest(const Manifest& read, const std::vector<Animation>& animations,
                      const std::vector<AnimationResult>& results, bool& unchanged) {
  Manifest kept;
  bool cropped = false;
  for (size_t k = 0; k < results.size(); ++k) {
    const std::string& output = animations[k].output;
    if (results[k].failure == AnimationFailure::none) {
      cropped = cropped || !results[k].skipped;
      kept.put(output, results[k].entry);
    } else if (const ManifestEntry* earlier = read.find(output)) {
      // Its earlier output stays, and so does what the manifest knew of it.
      kept.put(output, *earlier);
    }
  }
  // Every entry kept is the one read unless an animation was cropped or one
  // went away.
  unchanged = !cropped && kept.size() == read.size();
  return kept;
}

Status makeStagingFolder(const htext& folder, htext& staging) {
  std::vector<host::FolderEntry> entries;
  if (host::listFolder(folder, entries).ok()) {
    const std::string prefix = kStagingPrefix;
    for (const host::FolderEntry& entry : entries) {
      const std::string& name = entry.name;
      if (entry.kind != host::EntryKind::folder || name.size() != prefix.size() + 16 ||
          name.compare(0, prefix.size(), prefix) != 0 ||
          name.find_first_not_of("0123456789abcdef", prefix.size()) != std::string::npos) {
        continue;
      }
      const htext left = hfolder::join(folder, entry.name);
      if (holdsFramesAlone(left)) host::removeTree(left);
    }
  }
  staging = hfolder::join(folder, htext(kStagingPrefix) + unguessableHex().c_str());
  return host::makeFolder(staging);
}

std::vector<AnimationResult> cropAnimations(
    const std::vector<Animation>& animations, const TreeOptions& options,
    const std::function<void(unsigned, const AnimationResult&)>& done) {
  // The units of work: an animation, or with -sheet the animations of one
  // folder, which come one after another.
  std::vector<unsigned> starts;
  for (unsigned k = 0; k < animations.size(); ++k) {
    if (!options.sheet || k == 0 || animations[k].folder != animations[k - 1].folder) {
      starts.push_back(k);
    }
  }
  const unsigned units = static_cast<unsigned>(starts.size());
  starts.push_back(static_cast<unsigned>(animations.size()));
  const unsigned threads = std::max(1u, std::min(options.jobs, units));
  // One unit alone spreads its frames instead.
  const unsigned innerJobs = units == 1 ? options.jobs : 1;
  PixelBudget budget(kThreadsPixelBudget);
  const Worker worker{options, innerJobs, threads > 1 || innerJobs > 1 ? &budget : nullptr};
  std::vector<AnimationResult> results(animations.size());
  std::vector<std::string> pictures(animations.size());
  std::vector<PngMemory> memories(threads);
  runInOrder(
      units, threads,
      [&](unsigned u, unsigned w) {
        const unsigned first = starts[u], count = starts[u + 1] - first;
        if (!options.sheet) {
          results[first] = worker.prepare(animations[first], u, memories[w], pictures[first]);
          return;
        }
        worker.prepareSheet(animations, first, count, u, memories[w], &results[first],
                            &pictures[first]);
      },
      [&](unsigned u) {
        const unsigned first = starts[u], count = starts[u + 1] - first;
        if (!options.sheet) {
          worker.commit(animations[first], results[first], pictures[first]);
        } else {
          worker.commitSheet(animations, first, count, &results[first], &pictures[first]);
        }
        for (unsigned k = first; k < first + count; ++k) {
          pictures[k] = std::string();
          if (options.reporting && !results[k].skipped) {
            results[k].entry.report = animationEntryJson(options, animations[k], results[k]);
          }
          done(k, results[k]);
        }
        return true;
      },
      [&](unsigned u, const char* why) {
        // The work threw before it gave a result; what it wrote in the
        // staging folder goes with the staging folder.
        for (unsigned k = starts[u]; k < starts[u + 1]; ++k) {
          results[k] = AnimationResult();
          results[k].failure = AnimationFailure::notWritten;
          results[k].status = Status(Status::Code::notCropped, why);
          results[k].results.resize(animations[k].frames.size());
        }
      });
  if (std::none_of(results.begin(), results.end(),
                   [](const AnimationResult& result) { return result.stranded; })) {
    host::removeTree(options.staging);
  }
  return results;
}

}  // namespace velmora
