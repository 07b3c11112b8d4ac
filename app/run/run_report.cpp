#include "run/run_report.h"

#include <nlohmann/json.hpp>

#include <algorithm>

#include "host/file_save.h"
#include "run/frame_loop.h"

namespace velmora {

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

std::string reportJson(const RunSummary& run, const FrameList& frames,
                       const std::vector<FrameResult>& results) {
  Json report;
  report["source"] = run.source;
  report["output"] = run.output;
  if (run.previewAsked) report["preview"] = run.preview.empty() ? Json(nullptr) : Json(run.preview);
  report["threshold"] = run.threshold;
  report["order"] = run.order == FrameOrder::natural ? "natural" : "name";
  report["forced"] = run.forced;
  report["optimized"] = run.optimized;
  report["area"] = rectangle(run.area);
  report["crop"] = rectangle(run.crop);
  const bool scanned = !run.visible.empty();
  if (scanned) {
    const Edges edges = edgesOf(run.visible, run.area);
    const auto edge = [&](const Edge& side) {
      Json names = Json::array();
      for (const unsigned k : side.frames) names.push_back(frames[k]);
      return Json{{"at", side.at},
                  {"count", side.count},
                  {"frames", std::move(names)},
                  {"without", side.without ? Json(*side.without) : Json(nullptr)}};
    };
    report["edges"] = Json{{"left", edge(edges.left)},
                           {"top", edge(edges.top)},
                           {"right", edge(edges.right)},
                           {"bottom", edge(edges.bottom)}};
  }
  Json& list = report["frames"] = Json::array();
  for (size_t i = 0; i < frames.size() && i < results.size(); ++i) {
    const FrameResult& result = results[i];
    Json frame;
    frame["source"] = frames[i];
    frame["output"] = outputName(static_cast<unsigned>(i + 1));
    frame["sourceSize"] = result.sized ? size(result.width, result.height) : Json(nullptr);
    frame["spriteSourceSize"] = rectangle(run.crop);
    if (scanned && i < run.visible.size()) {
      const CropRect& box = run.visible[i];
      frame["visible"] = box.minX == -1 ? Json(nullptr) : rectangle(box);
    }
    frame["written"] = result.status.ok();
    if (const char* problem = frameProblem(result.status.code())) {
      frame["problem"] = problem;
      if (!result.status.reason().empty()) frame["reason"] = result.status.reason();
    }
    list.push_back(std::move(frame));
  }
  return report.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

Status writeReport(const htext& path, const RunSummary& run, const FrameList& frames,
                   const std::vector<FrameResult>& results) {
  return saveFile(reportJson(run, frames, results), path);
}

}  // namespace velmora
