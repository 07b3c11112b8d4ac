// The JSON report of a run (-report <file>): the folders, the threshold, the
// rectangle before and after widening, and what became of every frame, for an
// importer that must put the cropped frames back where they were.
//
// One object, in this key order:
//   source, output    the settled source folder and its autocropped folder
//   threshold, forced the alpha threshold used (its low 8 bits) and whether
//                     -forcecrop gave the rectangle
//   area, crop        the rectangle before and after widening, {x, y, w, h}
//   frames            in output order: source (the frame's name), output
//                     (out_00001.png, ...), sourceSize {w, h} from its header
//                     or null, spriteSourceSize (the crop), written, and for a
//                     frame not written the problem the frame loop printed
// Text that is not valid UTF-8 (names are bytes here) is written with U+FFFD
// in place of each invalid sequence, so the document is always valid JSON.
#ifndef VELMORA_RUN_REPORT_H
#define VELMORA_RUN_REPORT_H

#include <cstdint>
#include <string>
#include <vector>

#include "bounds_scanner.h"
#include "corvane/htext.h"
#include "crop_rect.h"
#include "frame_loader.h"

namespace velmora {

struct RunSummary {
  corvane::htext source;
  corvane::htext output;
  uint8_t threshold = 0;
  bool forced = false;
  CropRect area;  // finished, before widening
  CropRect crop;  // widened
};

// The file the report is written to: typed, settled the way the folders are
// (hfolder::simplify). <empty> when it names no file in an existing folder:
// its folder is missing, it ends in a separator, or it names a folder.
// With a folder shots/ and no folder missing/:
//   "run.json"          => "run.json"
//   "shots\\.\\run.json" => "shots/run.json"
//   "missing/run.json"  => <empty>
//   "shots/" => <empty>    "shots" => <empty>
corvane::htext settleReportPath(const corvane::htext& typed);

// The report, indented by two blanks, ending in a line feed. results holds
// one entry per frame, in the order of frames.
std::string reportJson(const RunSummary& run, const FrameList& frames,
                       const std::vector<FrameResult>& results);

// Saves reportJson as path with saveFile (file_save.h). False when it could
// not be written; an earlier file at path then stays as it was.
bool writeReport(const corvane::htext& path, const RunSummary& run, const FrameList& frames,
                 const std::vector<FrameResult>& results);

}  // namespace velmora

#endif  // VELMORA_RUN_REPORT_H
