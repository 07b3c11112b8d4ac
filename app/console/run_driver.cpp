#include "console/run_driver.h"

#include <exception>
#include <new>

#include "base/status.h"
#include "console/console.h"
#include "console/options.h"
#include "console/settings.h"
#include "corvane/hexception.h"
#include "corvane/hfolder.h"
#include "host/file_save.h"
#include "host/host.h"

namespace velmora {

using corvane::hfolder;
using corvane::htext;

namespace {

// The closing pause's prompt.
const char* const kClosingPrompt = "Press Enter to exit...";

// A whole-number option from least to most; false after its STOP.
bool readNumberOption(OptionMap& options, const char* option, unsigned fallback, unsigned least,
                      unsigned most, unsigned& value) {
  if (readWholeNumber(options[option], fallback, least, most, value)) return true;
  say("STOP: %s takes a whole number from %u to %u.\n", option, least, most);
  return false;
}

// An option that takes one of a few words; false after its STOP, which
// lists them.
template <typename T>
bool readWordOption(OptionMap& options, const char* option,
                    bool (*read)(const htext& text, T& value), T& value, const char* words) {
  if (read(options[option], value)) return true;
  say("STOP: %s takes %s.\n", option, words);
  return false;
}

// The file an option names for the run to write (-report, -preview), checked
// before anything is read so that a long run cannot end without it. <empty>
// when the option is absent; false after its STOP.
bool checkFileOption(OptionMap& options, const char* option, const char* what, htext& typed,
                     htext& settled) {
  typed = options[option];
  if (typed.empty()) return true;
  if (typed != kNoValue) settled = settleFilePath(typed);
  if (!settled.empty()) return true;
  say("STOP: %s file \"%s\" cannot be written: it names no file in an existing folder.\n", what,
      typed.c_str());
  return false;
}

// -preview of a run of animations names the folder their pictures go in.
bool checkPictureFolder(OptionMap& options, htext& typed, htext& settled) {
  typed = options["-preview"];
  if (typed.empty()) return true;
  if (typed != kNoValue && hfolder::isFolder(typed)) settled = hfolder::simplify(typed);
  if (!settled.empty()) return true;
  say("STOP: Preview folder \"%s\" cannot be written: it names no existing folder.\n",
      typed.c_str());
  return false;
}

// Every option's value, or the STOP of the first that is wrong; false then.
bool readSettings(OptionMap& options, RunSettings& settings) {
  if (options["-i"].empty()) {
    say("STOP: Source path not defined.\n");
    return false;
  }
  settings.source = options["-i"];
  settings.output = options["-o"];
  settings.forced = options["-forcecrop"];
  // Only the low 8 bits of the threshold count: 256 acts as 0.
  settings.threshold = static_cast<uint8_t>(readInt(options["-threshold"]));
  settings.optimize = !options["-optimize"].empty();
  settings.tree = !options["-tree"].empty();
  settings.incremental = !options["-incremental"].empty();
  if (!readJobs(options["-jobs"], settings.jobs)) {
    say("STOP: -jobs takes a whole number of threads, 0 or more (0: one per processor core).\n");
    return false;
  }
  if (settings.jobs == 0) settings.jobs = host::usableProcessors();
  if (!readWordOption(options, "-order", readOrder, settings.order, "name or natural") ||
      !readWordOption(options, "-split", readSplit, settings.split, "stem") ||
      !readWordOption(options, "-fill", readFill, settings.fill, "black or transparent") ||
      !readWordOption(options, "-anchor", readAnchor, settings.anchor,
                      "topleft, center or bottom")) {
    return false;
  }
  settings.sheet = !options["-sheet"].empty();
  if (!readNumberOption(options, "-align", kDefaultAlign, 1, kMaxAlign, settings.align) ||
      !readNumberOption(options, "-padding", kDefaultPadding, 0, kMaxPadding, settings.padding) ||
      !readNumberOption(options, "-sheetmax", kDefaultSheetMax, kMinSheetMax, kMaxSheetMax,
                        settings.sheetMax)) {
    return false;
  }
  if (!settings.sheet && (!options["-padding"].empty() || !options["-sheetmax"].empty())) {
    say("STOP: -padding and -sheetmax work with -sheet.\n");
    return false;
  }
  const bool animations = settings.tree || settings.split || settings.sheet;
  if (settings.incremental && !animations) {
    say("STOP: -incremental works with -tree, -split or -sheet.\n");
    return false;
  }
  if (!checkFileOption(options, "-report", "Report", settings.reportTyped, settings.reportFile)) {
    return false;
  }
  return animations ? checkPictureFolder(options, settings.previewTyped, settings.previewFile)
                    : checkFileOption(options, "-preview", "Preview", settings.previewTyped,
                                      settings.previewFile);
}

}  // namespace

RunOptions runOptionsOf(const RunSettings& settings) {
  RunOptions options;
  options.threshold = settings.threshold;
  options.fill = settings.fill;
  options.anchor = settings.anchor;
  options.align = settings.align;
  options.optimize = settings.optimize;
  options.jobs = settings.jobs;
  options.split = settings.split;
  options.pictures = settings.previewFile;
  options.sheet = settings.sheet;
  options.padding = settings.padding;
  options.sheetMax = settings.sheetMax;
  return options;
}

htext checkSourceFolder(const RunSettings& settings) {
  const htext sourceFolder = hfolder::simplify(settings.source);
  say("Checking source dir...");
  if (hfolder::isFolder(sourceFolder)) return sourceFolder;
  say("\rSTOP: Source folder \"%s\" does not exist or cannot be read.\n", settings.source.c_str());
  return htext();
}

OutputFolder outputFolderOf(const RunSettings& settings) {
  OutputFolder output;
  output.given = !settings.output.empty() && hfolder::isFolder(settings.output);
  output.folder =
      hfolder::simplify((output.given ? settings.output : settings.source).trimRight('\\'));
  return output;
}

void sayOutputChoice(const RunSettings& settings, const OutputFolder& output) {
  if (settings.output.empty()) return;
  if (output.given) {
    say("Using specified output path: %s\n\n", settings.output.c_str());
  } else {
    say("Warning, specified output path \"%s\" appears to be invalid or inaccessible. Using "
        "\"autocropped\" subfolder in source path instead.\n\n",
        settings.output.c_str());
  }
}

bool sayIfOutputIsSource(const htext& target, const htext& source) {
  if (!hfolder::isSameFolder(target, source)) return false;
  say("STOP: Output folder \"%s\" is the source folder; its frames would be overwritten.\n",
      target.c_str());
  return true;
}

bool makeOutputFolder(const htext& target) {
  // makeFolderPath is false for a folder that stood there already.
  if (hfolder::makeFolderPath(target) || hfolder::isFolder(target)) return true;
  say("STOP: Output folder \"%s\" could not be created.\n", target.c_str());
  return false;
}

bool lockOutputFolder(const htext& target, host::FolderLock& lock) {
  const Status locked = host::lockFolder(target, lock);
  // A folder where no file can be made takes none of the run's output
  // either: the run goes on, and its own lines say what was not written.
  if (locked.code() != Status::Code::busy) return true;
  say("STOP: Another run is writing into \"%s\".\n", target.c_str());
  return false;
}

void sayNotWritten(const char* what, const htext& typed, const Status& status) {
  say("\nSTOP: %s file \"%s\" could not be written%s.\n", what, typed.c_str(),
      because(status).c_str());
}

int closeRun(bool allWritten) {
  if (allWritten) say("\nAll done!\n");
  waitForEnter(kClosingPrompt);
  return allWritten ? 0 : 1;
}

bool readForcedRect(const RunSettings& settings, CropRect& rect) {
  if (!parseCropRect(settings.forced, rect)) {
    say("STOP: Custom crop-rect definition is malformed.\nYou need to pass the crop rect as: "
        "left,top,right,bottom (no spaces).\n");
    return false;
  }
  say(">> Custom crop-rect: %s\n", settings.forced.c_str());
  return true;
}

void sayInvalidRect(const CropRect& rect) {
  say("STOP: Crop-rect is mathematically incorrect, please check source frames (and custom crop "
      "rect if specified).\n");
  say("Invalid rect: min xy: %i, %i | max xy: %i, %i\n", rect.minX, rect.minY, rect.maxX,
      rect.maxY);
  waitForEnter();
}

namespace {

int run(int argc, const char* const* argv) {
  say("velmoraReelCut v" VELMORA_VERSION " (standalone)\n");
  say("--------------------------------\n");
  RunSettings settings;
  if (argc > 1) {
    for (const htext& unknown : unknownOptions(argc, argv)) {
      say("Warning, unknown option \"%s\" is ignored.\n", unknown.c_str());
    }
    OptionMap options;
    parseArguments(argc, argv, options);
    if (isHelpRequested(options)) {
      say("%s", helpText().c_str());
      return 0;
    }
    if (!readSettings(options, settings)) return 1;
  } else {
    say("Run this program with -? parameter to display help & options.\n\n");
    settings.source = promptSourcePath();
    if (settings.source.empty()) return 0;
  }
  settings.source = settings.source.trimRight('\\');
  return settings.tree || settings.split || settings.sheet ? runAnimations(settings)
                                                          : runFolder(settings);
}

}  // namespace

int runDriver(int argc, const char* const* argv) {
  // The units hand their failures back as results; whatever still reaches
  // this far (an allocation in a folder listing, a broken guard of the
  // support library) ends the run in one line instead of std::terminate.
  try {
    return run(argc, argv);
  } catch (const std::bad_alloc&) {
    say("\nFATAL ERROR: %s\n", kOutOfMemory);
  } catch (const corvane::_Exception& error) {
    say("\nFATAL ERROR: %s\n", error.messageText().c_str());
  } catch (const std::exception& error) {
    say("\nFATAL ERROR: %s\n", error.what());
  } catch (...) {
    say("\nFATAL ERROR: unknown error\n");
  }
  return 1;
}

}  // namespace velmora
