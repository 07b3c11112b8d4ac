#include "run/run_report.h"

#include <nlohmann/json.hpp>

#include <algorithm>

#include "corvane/hfolder.h"
#include "host/file_save.h"

namespace velmora {

using corvane::hfolder;
using corvane::htext;

namespace {

// Keys stay in the order they are set, so the document reads top-down like
// the console.
using Json = nlohmann::ordered_json;

Json size(int64_t width, int64_t height) { return Json{{"w", width}, {"h", height}}; }

Json rectangle(const CropRect& rect) {
  return Json{{"x", rect.minX},
              {"y", rect.minY},
              {"w", int64_t(rect.maxX) - rect.minX},
              {"h", int64_t(rect.maxY) - rect.minY}};
}

}  // namespace

Edges edgesOf(const std::vector<CropRect>& visible, const CropRect& area) {
  Edges edges;
  edges.left.at = area.minX;
  edges.top.at = area.minY;
  edges.right.at = area.maxX;
  edges.bottom.at = area.maxY;
  // For each edge: the box's coordinate on it, and whether a smaller one lies
  // further out.
  const auto tally = [&](Edge& edge, auto side, bool outwardIsLess) {
    for (unsigned k = 0; k < visible.size(); ++k) {
      const CropRect& box = visible[k];
      if (box.minX == -1) continue;
      const int64_t at = side(box);
      if (at == edge.at) {
        if (edge.frames.size() < kEdgeFramesListed) edge.frames.push_back(k);
        ++edge.count;
      } else if (!edge.without || (outwardIsLess ? at < *edge.without : at > *edge.without)) {
        edge.without = at;
      }
    }
  };
  tally(edges.left, [](const CropRect& box) { return box.minX; }, true);
  tally(edges.top, [](const CropRect& box) { return box.minY; }, true);
  tally(edges.right, [](const CropRect& box) { return box.maxX; }, false);
  tally(edges.bottom, [](const CropRect& box) { return box.maxY; }, false);
  return edges;
}

namespace {

const char* wordOf(Fill fill) { return fill == Fill::transparent ? "transparent" : "black"; }

const char* wordOf(Anchor anchor) {
  switch (anchor) {
    case Anchor::center:
      return "center";
    case Anchor::bottom:
      return "bottom";
    default:
      return "topleft";
  }
}

const char* wordOf(FrameOrder order) { return order == FrameOrder::natural ? "natural" : "name"; }

// What a single run's report and an animation's entry both give; with -sheet
// each frame's cell.
struct Cropped {
  Anchor anchor = Anchor::topleft;
  const std::vector<SheetCell>* cells;
  Placement placement;
  CropRect area, crop;
  const std::vector<CropRect>& visible;
  const FrameList& frames;
  const std::vector<FrameResult>& results;
  FrameProblemWords frameProblem;
};

void addCrop(Json& into, const Cropped& run) {
  into["area"] = rectangle(run.area);
  into["crop"] = rectangle(run.crop);
  const bool scanned = !run.visible.empty();
  if (scanned) {
    const Edges edges = edgesOf(run.visible, run.area);
    const auto edge = [&](const Edge& side) {
      Json names = Json::array();
      for (const unsigned k : side.frames) names.push_back(run.frames[k]);
      return Json{{"at", side.at},
                  {"count", side.count},
                  {"frames", std::move(names)},
                  {"without", side.without ? Json(*side.without) : Json(nullptr)}};
    };
    into["edges"] = Json{{"left", edge(edges.left)},
                         {"top", edge(edges.top)},
                         {"right", edge(edges.right)},
                         {"bottom", edge(edges.bottom)}};
  }
  Json& list = into["frames"] = Json::array();
  for (size_t i = 0; i < run.frames.size() && i < run.results.size(); ++i) {
    const FrameResult& result = run.results[i];
    Json frame;
    frame["source"] = run.frames[i];
    const bool sheet = run.cells != nullptr && i < run.cells->size();
    frame["output"] = sheet ? Json(nullptr) : Json(outputName(static_cast<unsigned>(i + 1)));
    frame["sourceSize"] = result.sized ? size(result.width, result.height) : Json(nullptr);
    const Offset offset = result.sized ? run.placement.of(result.width, result.height) : Offset();
    if (run.anchor != Anchor::topleft) {
      frame["offset"] = result.sized ? Json{{"x", offset.x}, {"y", offset.y}} : Json(nullptr);
    }
    CropRect own = run.crop;
    inFrame(run.crop, offset, own);
    frame["spriteSourceSize"] = rectangle(own);
    if (scanned && i < run.visible.size()) {
      const CropRect& box = run.visible[i];
      frame["visible"] = box.minX == -1 ? Json(nullptr) : rectangle(box);
    }
    if (sheet) {
      const SheetCell& cell = (*run.cells)[i];
      frame["sheet"] = cell.page;
      frame["cell"] = Json{{"x", cell.x}, {"y", cell.y}, {"w", cell.w}, {"h", cell.h}};
    }
    frame["written"] = result.status.ok();
    if (const char* problem = run.frameProblem(result.status.code())) {
      frame["problem"] = problem;
      if (!result.status.reason().empty()) frame["reason"] = result.status.reason();
    }
    list.push_back(std::move(frame));
  }
}

std::string text(const Json& document) {
  return document.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace

std::string reportJson(const RunSummary& run, const FrameList& frames,
                       const std::vector<FrameResult>& results, FrameProblemWords frameProblem) {
  Json report;
  report["source"] = run.source;
  report["output"] = run.output;
  if (run.previewAsked) report["preview"] = run.preview.empty() ? Json(nullptr) : Json(run.preview);
  report["threshold"] = run.threshold;
  report["order"] = wordOf(run.order);
  report["forced"] = run.forced;
  report["optimized"] = run.optimized;
  report["fill"] = wordOf(run.fill);
  report["anchor"] = wordOf(run.anchor);
  report["align"] = run.align;
  addCrop(report, Cropped{run.anchor, nullptr, run.placement, run.area, run.crop, run.visible,
                          frames, results, frameProblem});
  return text(report);
}

std::string animationEntryJson(const RunOptions& options, const Animation& animation,
                               const AnimationResult& result, const std::string& problem,
                               FrameProblemWords frameProblem) {
  Json entry;
  entry["folder"] = animation.relative;
  entry["stem"] = options.split ? Json(animation.stem) : Json(nullptr);
  entry["output"] = outputFolder(options, animation);
  if (result.failure != Failure::none) {
    entry["problem"] = problem;
    if (!result.status.reason().empty()) entry["reason"] = result.status.reason();
    return entry.dump(-1, ' ', false, Json::error_handler_t::replace);
  }
  if (!options.pictures.empty()) {
    entry["preview"] = result.pictured.ok() ? Json(result.picture) : Json(nullptr);
  }
  entry["forced"] = result.forced;
  if (options.sheet) {
    entry["stored"] = result.stored;
    entry["shared"] = result.shared;
  }
  const FrameList frames = frameNames(animation);
  addCrop(entry, Cropped{options.anchor, options.sheet ? &result.cells : nullptr, result.placement,
                         result.area, result.crop, result.visible, frames, result.results,
                         frameProblem});
  return entry.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string sheetJson(const SheetPage& page) {
  Json document;
  Json& frames = document["frames"] = Json::object();
  for (const SheetFrame& frame : page.frames) {
    const bool whole = frame.sprite.minX == 0 && frame.sprite.minY == 0 &&
                       uint32_t(frame.sprite.maxX) == frame.sourceWidth &&
                       uint32_t(frame.sprite.maxY) == frame.sourceHeight;
    const Json point = {{"x", frame.pivotX}, {"y", frame.pivotY}};
    frames[frame.name] = Json{{"frame", {{"x", frame.x}, {"y", frame.y}, {"w", frame.w}, {"h", frame.h}}},
                              {"rotated", false},
                              {"trimmed", !whole},
                              {"spriteSourceSize", rectangle(frame.sprite)},
                              {"sourceSize", size(frame.sourceWidth, frame.sourceHeight)},
                              {"pivot", point},
                              {"anchor", point}};
  }
  Json& animations = document["animations"] = Json::object();
  for (const auto& [name, listed] : page.animations) animations[name] = listed;
  Json meta = {{"app", "velmoraReelCut"},
               {"version", VELMORA_VERSION},
               {"image", page.image},
               {"format", "RGBA8888"},
               {"size", size(page.width, page.height)},
               {"scale", "1"}};
  if (!page.related.empty()) meta["related_multi_packs"] = page.related;
  document["meta"] = std::move(meta);
  // Compact: a sheet's JSON is read by programs, and its size counts beside
  // the page's.
  return document.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
}

std::string keptEntryJson(const std::string& entry, const htext& output, const htext& picture) {
  Json kept = Json::parse(entry, nullptr, false);
  if (!kept.is_object()) return entry;
  if (kept.contains("output")) kept["output"] = output;
  if (kept.contains("preview") && !kept["preview"].is_null()) kept["preview"] = picture;
  return kept.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string treeReportJson(const TreeSummary& run, const RunOptions& options,
                           const std::vector<std::string>& entries) {
  Json report;
  report["source"] = run.source;
  report["output"] = options.target;
  report["threshold"] = options.threshold;
  report["order"] = wordOf(run.order);
  report["split"] = options.split ? Json("stem") : Json(nullptr);
  report["fill"] = wordOf(options.fill);
  report["anchor"] = wordOf(options.anchor);
  report["align"] = options.align;
  report["optimized"] = options.optimize;
  Json& animations = report["animations"] = Json::array();
  for (const std::string& entry : entries) {
    // Every entry is this run's or one the manifest checked; should one still
    // not read, it stands as null rather than end the report.
    Json parsed = Json::parse(entry, nullptr, false);
    animations.push_back(parsed.is_discarded() ? Json(nullptr) : std::move(parsed));
  }
  return text(report);
}


}  // namespace velmora
