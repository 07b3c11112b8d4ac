#include "run/sheet_run.h"

#include <xxhash.h>

#include <unordered_map>

#include "corvane/hfolder.h"
#include "host/host.h"
#include "image/sheet_cells.h"
#include "run/incremental.h"
#include "run/placement.h"
#include "run/run_report.h"
#include "run/sheet_layout.h"

namespace velmora {

using corvane::hfolder;
using corvane::htext;

void prepareSheet(const AnimationRun& run, const std::vector<Animation>& animations, unsigned first,
                  unsigned count, unsigned g, PngMemory& memory, AnimationResult* results,
                  std::string* pictures) {
  const RunOptions& options = run.options();
  std::string members = "; of a sheet of";
  for (unsigned i = 0; i < count; ++i) members += " " + std::string(animations[first + i].output);
  bool unchangedAll = options.incremental;
  for (unsigned i = 0; i < count; ++i) {
    unchangedAll =
        unchangedSinceManifest(options, animations[first + i], results[i], members) && unchangedAll;
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
    if (!run.plan(animation, result, plan)) {
      stopped = int(i);
      break;
    }
    const unsigned frames = static_cast<unsigned>(animation.frames.size());
    cells[i].resize(frames);
    result.results.resize(frames);
    runInOrder(
        frames, run.innerJobs(),
        [&](unsigned k, unsigned) {
          // The picture of a forced rectangle counts the frames as they are cut.
          result.results[k] = cutCell(hfolder::join(animation.folder, animation.frames[k]),
                                      result.area, result.placement, cells[i][k], run.budget(),
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
        AnimationRun::fail(result, Failure::notWritten, result.results[k].status, k);
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
    run.picture(plan, result, pictures[i]);
    shapes[i] = SheetAnimation{uint32_t(result.area.maxX - result.area.minX),
                               uint32_t(result.area.maxY - result.area.minY),
                               unsigned(uniques[i].size())};
  }
  const SheetLayout layout =
      stopped == -1 ? layoutSheet(shapes, options.padding, options.sheetMax) : SheetLayout();
  if (stopped == -1 && layout.tooLarge) {
    stopped = int(*layout.tooLarge);
    AnimationRun::fail(results[stopped], Failure::cellTooLarge, Status());
  }
  if (stopped != -1) {
    for (unsigned i = 0; i < count; ++i) {
      if (int(i) != stopped) AnimationRun::fail(results[i], Failure::sheet, Status());
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
    const Status encoded =
        encodePage(pages[p].width, pages[p].height, placed[p], options.optimize, &memory, png);
    if (!encoded.ok()) {
      written = encoded.as(Status::Code::notSaved);
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
        AnimationRun::fail(results[i], Failure::notReplaced, written);
      } else {
        AnimationRun::fail(results[i], Failure::sheet, Status());
      }
    }
  }
}

void commitSheet(const AnimationRun& run, const std::vector<Animation>& animations, unsigned first,
                 unsigned count, AnimationResult* results, const std::string* pictures) {
  const RunOptions& options = run.options();
  AnimationResult& lead = results[0];
  if (lead.skipped || lead.failure != Failure::none) return;
  const htext place = outputFolder(options, animations[first]);
  Status placed = makeFolders(options.target, parentOf(sheetFolder(options, animations[first])));
  if (placed.ok()) placed = putInPlace(lead.folder, place, isSheetFile, lead.stranded);
  if (!placed.ok()) {
    if (!lead.stranded) host::removeTree(lead.folder);
    AnimationRun::fail(lead, Failure::notReplaced, placed);
    for (unsigned i = 1; i < count; ++i) AnimationRun::fail(results[i], Failure::sheet, Status());
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
    run.savePicture(animations[first + i], result, pictures[i]);
  }
}

}  // namespace velmora
