// The report: arbitrary frame names, folders and reasons (any bytes), results
// and visible boxes through reportJson, read back by nlohmann. The document
// must parse, keep its key order, carry every text as itself or, where the
// bytes are not UTF-8, with one U+FFFD per maximal invalid subpart (the rule
// of Unicode's chapter 3, written out again here rather than taken from the
// library that does the replacing), and give edges that follow from the
// boxes.
#include <fuzzer/FuzzedDataProvider.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <climits>
#include <iterator>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string>
#include <vector>

// The parse back allocates every key, text and container of the document:
// recording where each block was allocated took a quarter of a run. A fault
// found still shows where it happened, and its input replays with the
// stacks (ASAN_OPTIONS=malloc_context_size=30).
#define VELMORA_FUZZ_ASAN_MORE ":malloc_context_size=0"
#include "asan_defaults.h"
#include "console/wording.h"
#include "run/run_report.h"

using Json = nlohmann::ordered_json;
using velmora::CropRect;

namespace {

void check(bool holds, const char* what) {
  if (!holds) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
  }
}

// bytes with each maximal subpart of an ill-formed sequence replaced by
// U+FFFD: a byte that starts no sequence is one subpart, and so is a lead
// byte with the continuation bytes that still fit it, up to the first that
// does not (which is read again) or the end of the text.
std::string withReplacements(const std::string& bytes) {
  std::string out;
  const auto at = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
  for (size_t i = 0; i < bytes.size();) {
    const unsigned char lead = at(i);
    int continuations = 0;
    unsigned char low = 0x80, high = 0xBF;  // the first continuation byte's range
    if (lead < 0x80) {
      out.push_back(char(lead));
      ++i;
      continue;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      continuations = 1;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      continuations = 2;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      continuations = 3;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      out += "\xEF\xBF\xBD";
      ++i;
      continue;
    }
    int k = 1;
    for (; k <= continuations; ++k) {
      if (i + k >= bytes.size()) break;
      const unsigned char c = at(i + k);
      if (c < (k == 1 ? low : 0x80) || c > (k == 1 ? high : 0xBF)) break;
    }
    if (k > continuations) {
      out.append(bytes, i, size_t(continuations) + 1);
    } else {
      out += "\xEF\xBF\xBD";
    }
    i += size_t(k);
  }
  return out;
}

void checkText(const Json& value, const std::string& bytes, const char* what) {
  check(value.is_string() && value.get<std::string>() == withReplacements(bytes), what);
}

// The keys of an object, in order. (The lists are of C strings: the harness's
// own allocations would otherwise cost as much as the parse it checks.)
void checkKeys(const Json& object, const std::vector<const char*>& keys, const char* what) {
  check(object.is_object() && object.size() == keys.size(), what);
  size_t k = 0;
  for (auto it = object.begin(); it != object.end(); ++it, ++k) check(it.key() == keys[k], what);
}

void checkRect(const Json& value, const CropRect& rect, const char* what) {
  checkKeys(value, {"x", "y", "w", "h"}, what);
  check(value["x"] == rect.minX && value["y"] == rect.minY &&
            value["w"] == int64_t(rect.maxX) - rect.minX && value["h"] == int64_t(rect.maxY) - rect.minY,
        what);
}


bool isSet(const CropRect& box) { return box.minX != -1; }

// One edge as the boxes give it: the frames whose box lies on it, and the
// outermost place of the others.
struct ReferenceEdge {
  int64_t at = 0;
  unsigned count = 0;
  std::vector<unsigned> frames;
  std::optional<int64_t> without;
};

template <typename Side>
ReferenceEdge referenceEdge(const std::vector<CropRect>& boxes, int64_t at, Side side, bool outwardIsLess) {
  ReferenceEdge edge;
  edge.at = at;
  std::vector<int64_t> others;
  for (unsigned k = 0; k < boxes.size(); ++k) {
    if (!isSet(boxes[k])) continue;
    if (side(boxes[k]) == at) {
      ++edge.count;
      if (edge.frames.size() < 10) edge.frames.push_back(k);
    } else {
      others.push_back(side(boxes[k]));
    }
  }
  if (!others.empty()) {
    edge.without = outwardIsLess ? *std::min_element(others.begin(), others.end())
                                 : *std::max_element(others.begin(), others.end());
  }
  return edge;
}

void checkEdge(const velmora::Edge& computed, const Json& written, const ReferenceEdge& expected,
               const std::vector<std::string>& names) {
  check(computed.at == expected.at && computed.count == expected.count &&
            computed.frames == expected.frames && computed.without == expected.without,
        "edgesOf follows from the boxes");
  checkKeys(written, {"at", "count", "frames", "without"}, "an edge's keys");
  check(written["at"] == expected.at && written["count"] == expected.count, "an edge's at and count");
  check(expected.without ? written["without"] == *expected.without : written["without"].is_null(),
        "an edge's without");
  const Json& frames = written["frames"];
  check(frames.is_array() && frames.size() == expected.frames.size(), "an edge's frames");
  for (size_t i = 0; i < expected.frames.size(); ++i) {
    checkText(frames[i], names[expected.frames[i]], "an edge's frame names");
  }
}

CropRect anyRect(FuzzedDataProvider& in) {
  CropRect rect;
  rect.minX = in.ConsumeIntegral<int32_t>();
  rect.minY = in.ConsumeIntegral<int32_t>();
  rect.maxX = in.ConsumeIntegral<int32_t>();
  rect.maxY = in.ConsumeIntegral<int32_t>();
  return rect;
}

// A frame's box as the scan gives it: none, a small one (so that boxes share
// edges), or one anywhere in the positive range.
CropRect anyBox(FuzzedDataProvider& in) {
  CropRect box;
  const uint8_t kind = in.ConsumeIntegralInRange<uint8_t>(0, 3);
  if (kind == 0) return box;
  const int32_t top = kind == 3 ? std::numeric_limits<int32_t>::max() - 1 : 7;
  box.minX = in.ConsumeIntegralInRange<int32_t>(0, top);
  box.minY = in.ConsumeIntegralInRange<int32_t>(0, top);
  box.maxX = box.minX + in.ConsumeIntegralInRange<int32_t>(1, kind == 3 ? top + 1 - box.minX : 8);
  box.maxY = box.minY + in.ConsumeIntegralInRange<int32_t>(1, kind == 3 ? top + 1 - box.minY : 8);
  return box;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  velmora::RunSummary run;
  run.source = in.ConsumeRandomLengthString(24);
  run.output = in.ConsumeRandomLengthString(24);
  run.threshold = in.ConsumeIntegral<uint8_t>();
  run.forced = in.ConsumeBool();
  run.optimized = in.ConsumeBool();
  run.order = in.ConsumeBool() ? velmora::FrameOrder::natural : velmora::FrameOrder::name;
  run.fill = in.ConsumeBool() ? velmora::Fill::transparent : velmora::Fill::black;
  run.anchor = static_cast<velmora::Anchor>(in.ConsumeIntegralInRange<int>(0, 2));
  run.align = in.ConsumeIntegralInRange<unsigned>(1, 256);
  run.placement = velmora::Placement{run.anchor, in.ConsumeIntegralInRange<int64_t>(0, 4096),
                                     in.ConsumeIntegralInRange<int64_t>(0, 4096)};
  run.previewAsked = in.ConsumeBool();
  if (run.previewAsked) run.preview = in.ConsumeRandomLengthString(24);
  const bool scanned = in.ConsumeBool();
  const bool areaOfBoxes = in.ConsumeBool();
  run.crop = anyRect(in);

  const size_t count = in.ConsumeIntegralInRange<size_t>(0, 24);
  std::vector<std::string> names;
  std::vector<velmora::FrameResult> results;
  for (size_t i = 0; i < count; ++i) {
    std::string name = in.ConsumeRandomLengthString(32);
    // The list holds C strings: a name ends at its first NUL.
    name.resize(std::min(name.size(), name.find('\0')));
    names.push_back(name);
    velmora::FrameResult result;
    const auto code = static_cast<velmora::Status::Code>(
        in.ConsumeIntegralInRange<int>(int(velmora::Status::Code::ok), int(velmora::Status::Code::notSaved)));
    result.sized = in.ConsumeBool();
    if (result.sized) {
      result.width = in.ConsumeIntegral<uint32_t>();
      result.height = in.ConsumeIntegral<uint32_t>();
    }
    result.status = velmora::Status(code, in.ConsumeBool() ? in.ConsumeRandomLengthString(16) : "");
    results.push_back(result);
    if (scanned) run.visible.push_back(anyBox(in));
  }
  if (areaOfBoxes) {
    // The scan's area: the union of the boxes.
    for (const CropRect& box : run.visible) {
      if (!isSet(box)) continue;
      if (!isSet(run.area)) {
        run.area = box;
        continue;
      }
      run.area.minX = std::min(run.area.minX, box.minX);
      run.area.minY = std::min(run.area.minY, box.minY);
      run.area.maxX = std::max(run.area.maxX, box.maxX);
      run.area.maxY = std::max(run.area.maxY, box.maxY);
    }
  } else {
    run.area = anyRect(in);
  }
  velmora::FrameList frames;
  for (const std::string& name : names) frames.push_back(name.c_str());

  const std::string text = velmora::reportJson(run, frames, results, velmora::frameProblem);
  check(!text.empty() && text.back() == '\n', "the report ends in a line feed");
  Json report;
  try {
    report = Json::parse(text);
  } catch (const Json::exception& error) {
    std::fprintf(stderr, "%s\n", error.what());
    check(false, "the report parses");
  }

  std::vector<const char*> keys = {"source", "output"};
  if (run.previewAsked) keys.push_back("preview");
  for (const char* key : {"threshold", "order", "forced", "optimized", "fill", "anchor", "align", "area", "crop"}) {
    keys.push_back(key);
  }
  const bool hasEdges = !run.visible.empty();
  if (hasEdges) keys.push_back("edges");
  keys.push_back("frames");
  checkKeys(report, keys, "the report's keys, in order");
  checkText(report["source"], run.source, "source");
  checkText(report["output"], run.output, "output");
  if (run.previewAsked) {
    if (run.preview.empty()) {
      check(report["preview"].is_null(), "a preview not written is null");
    } else {
      checkText(report["preview"], run.preview, "preview");
    }
  }
  check(report["threshold"] == run.threshold && report["forced"] == run.forced &&
            report["optimized"] == run.optimized &&
            report["order"] == (run.order == velmora::FrameOrder::natural ? "natural" : "name"),
        "threshold, order, forced and optimized");
  static const char* const kAnchors[] = {"topleft", "center", "bottom"};
  check(report["fill"] == (run.fill == velmora::Fill::transparent ? "transparent" : "black") &&
            report["anchor"] == kAnchors[int(run.anchor)] && report["align"] == run.align,
        "fill, anchor and align");
  checkRect(report["area"], run.area, "area");
  checkRect(report["crop"], run.crop, "crop");

  if (hasEdges) {
    const velmora::Edges edges = velmora::edgesOf(run.visible, run.area);
    const Json& written = report["edges"];
    checkKeys(written, {"left", "top", "right", "bottom"}, "the edges' keys");
    checkEdge(edges.left, written["left"],
              referenceEdge(run.visible, run.area.minX, [](const CropRect& b) { return b.minX; }, true), names);
    checkEdge(edges.top, written["top"],
              referenceEdge(run.visible, run.area.minY, [](const CropRect& b) { return b.minY; }, true), names);
    checkEdge(edges.right, written["right"],
              referenceEdge(run.visible, run.area.maxX, [](const CropRect& b) { return b.maxX; }, false), names);
    checkEdge(edges.bottom, written["bottom"],
              referenceEdge(run.visible, run.area.maxY, [](const CropRect& b) { return b.maxY; }, false), names);
  }

  const Json& list = report["frames"];
  check(list.is_array() && list.size() == count, "one entry per frame");
  for (size_t i = 0; i < count; ++i) {
    const Json& frame = list[i];
    const velmora::FrameResult& result = results[i];
    const char* problem = velmora::frameProblem(result.status.code());
    const std::string& reason = result.status.reason();
    std::vector<const char*> frameKeys = {"source", "output", "sourceSize"};
    const bool placed = run.anchor != velmora::Anchor::topleft;
    if (placed) frameKeys.push_back("offset");
    frameKeys.push_back("spriteSourceSize");
    if (hasEdges) frameKeys.push_back("visible");
    frameKeys.push_back("written");
    if (problem != nullptr) frameKeys.push_back("problem");
    if (problem != nullptr && !reason.empty()) frameKeys.push_back("reason");
    checkKeys(frame, frameKeys, "a frame's keys, in order");
    checkText(frame["source"], names[i], "a frame's name");
    char output[32];
    std::snprintf(output, sizeof output, "out_%05zu.png", i + 1);
    check(frame["output"] == output, "a frame's output name");
    if (result.sized) {
      checkKeys(frame["sourceSize"], {"w", "h"}, "sourceSize");
      check(frame["sourceSize"]["w"] == result.width && frame["sourceSize"]["h"] == result.height,
            "sourceSize");
    } else {
      check(frame["sourceSize"].is_null(), "no size, null");
    }
    // The crop in the frame's own canvas: moved by the frame's place in the
    // animation's, which a frame of unknown size does not have.
    int64_t dx = 0, dy = 0;
    if (result.sized) {
      const int64_t spareX = std::max<int64_t>(run.placement.width - int64_t(result.width), 0);
      const int64_t spareY = std::max<int64_t>(run.placement.height - int64_t(result.height), 0);
      dx = run.anchor == velmora::Anchor::topleft ? 0 : spareX / 2;
      dy = run.anchor == velmora::Anchor::center ? spareY / 2 : run.anchor == velmora::Anchor::bottom ? spareY : 0;
    }
    if (placed) {
      if (result.sized) {
        check(frame["offset"]["x"] == dx && frame["offset"]["y"] == dy, "offset");
      } else {
        check(frame["offset"].is_null(), "no size, no offset");
      }
    }
    CropRect own = run.crop;
    const int64_t moved[4] = {int64_t(run.crop.minX) - dx, int64_t(run.crop.minY) - dy, int64_t(run.crop.maxX) - dx,
                              int64_t(run.crop.maxY) - dy};
    if (std::all_of(std::begin(moved), std::end(moved), [](int64_t v) { return v >= INT32_MIN && v <= INT32_MAX; })) {
      own = CropRect{int32_t(moved[0]), int32_t(moved[1]), int32_t(moved[2]), int32_t(moved[3])};
    }
    checkRect(frame["spriteSourceSize"], own, "spriteSourceSize");
    if (hasEdges) {
      if (isSet(run.visible[i])) {
        checkRect(frame["visible"], run.visible[i], "visible");
      } else {
        check(frame["visible"].is_null(), "nothing visible, null");
      }
    }
    check(frame["written"] == result.status.ok(), "written");
    if (problem != nullptr) check(frame["problem"] == problem, "problem");
    if (problem != nullptr && !reason.empty()) checkText(frame["reason"], reason, "reason");
  }
  return 0;
}
