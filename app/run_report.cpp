#include "run_report.h"

#include <nlohmann/json.hpp>

#include "corvane/hfolder.h"
#include "file_save.h"
#include "frame_output.h"

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

htext settleReportPath(const htext& typed) {
  if (typed.empty() || typed.endsWith("/") || typed.endsWith("\\")) return htext();
  const htext path = hfolder::simplify(typed);
  const size_t slash = path.rfind('/');
  const htext folder = slash == htext::npos ? htext(".") : path.subString(0, slash);
  if (!hfolder::isFolder(folder) || hfolder::isFolder(path)) return htext();
  return path;
}

std::string reportJson(const RunSummary& run, const FrameList& frames,
                       const std::vector<FrameResult>& results) {
  Json report;
  report["source"] = run.source;
  report["output"] = run.output;
  report["threshold"] = run.threshold;
  report["forced"] = run.forced;
  report["area"] = rectangle(run.area);
  report["crop"] = rectangle(run.crop);
  Json& list = report["frames"] = Json::array();
  for (size_t i = 0; i < frames.size() && i < results.size(); ++i) {
    const FrameResult& result = results[i];
    Json frame;
    frame["source"] = frames[i];
    frame["output"] = outputName(static_cast<unsigned>(i + 1));
    frame["sourceSize"] = result.sized ? size(result.width, result.height) : Json(nullptr);
    frame["spriteSourceSize"] = rectangle(run.crop);
    frame["written"] = result.status == FrameStatus::ok;
    if (const char* problem = frameProblem(result.status)) frame["problem"] = problem;
    list.push_back(std::move(frame));
  }
  return report.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

bool writeReport(const htext& path, const RunSummary& run, const FrameList& frames,
                 const std::vector<FrameResult>& results) {
  return saveFile(reportJson(run, frames, results), path);
}

}  // namespace velmora
