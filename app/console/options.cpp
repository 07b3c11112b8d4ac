#include "console/options.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <utility>

#include "run/sheet_layout.h"

namespace velmora {

using corvane::hlist;
using corvane::htext;

const char* const kNoValue = "noparam";

namespace {

bool isOptionName(const char* argument) {
  if (argument[0] == '-') return true;
  // Absolute paths begin with "/" here, so only the tool's own slash switches
  // are options.
  return htext(argument) == "/?" || htext(argument) == "/help";
}

// The column the help text of an option starts in.
constexpr size_t kHelpColumn = 22;

std::string span(unsigned least, unsigned most) {
  return std::to_string(least) + " to " + std::to_string(most);
}

}  // namespace

const std::vector<OptionSpec>& optionTable() {
  static const std::vector<OptionSpec> table = {
      {"-i", "<path>", "Specifies path to the source frames."},
      {"-o", "<path>", "Specifies output path for processed frames."},
      {"-threshold", "<n>", "Autocrop alpha detection threshold [0-255] (default 0).", "0",
       "0 to 255", false},
      {"-forcecrop", "<x,y,r,b>", "Crop to custom rect: left, top, right, bottom (exclusive)."},
      {"-jobs", "<n>",
       "Threads that scan and write frames, or crop animations (default 1; 0: one per core).",
       "1"},
      {"-order", "<name|natural>",
       "Frame order: name (default) or natural (walk_2 before walk_10).", "name",
       "name|natural"},
      {"-optimize", "", "Writes every frame in its smallest lossless PNG form."},
      {"-report", "<file>", "Writes a JSON report of the crop to the file."},
      {"-preview", "<file|dir>", "Writes a PNG of how many frames show each pixel (animations: into a folder)."},
      {"-tree", "", "Crops the source folder and every folder below it, each as its own animation."},
      {"-split", "stem", "Splits a folder's frames into animations by stem (walk_1, walk_2: walk)."},
      {"-fill", "<colour>", "What the crop adds outside a frame: black (default) or transparent.",
       "black", "black|transparent"},
      {"-anchor", "<place>", "Lays frames of different sizes: topleft (default), center or bottom.",
       "topleft", "topleft|center|bottom"},
      {"-align", "<n>", "Widens the crop to multiples of n, 1 to 256 (default 16).",
       std::to_string(kDefaultAlign), span(1, kMaxAlign)},
      {"-incremental", "", "With -tree, -split or -sheet: crops only the animations that changed."},
      {"-sheet", "", "Writes each folder's animations as one atlas: sheet.png and sheet.json."},
      {"-padding", "<n>", "With -sheet: pixels between cells and around a page, 0 to 64 (default 2).",
       std::to_string(kDefaultPadding), span(0, kMaxPadding)},
      {"-sheetmax", "<n>", "With -sheet: the longest side of a page, 256 to 16384 (default 4096).",
       std::to_string(kDefaultSheetMax), span(kMinSheetMax, kMaxSheetMax)},
  };
  return table;
}

const std::vector<const char*>& helpSwitches() {
  static const std::vector<const char*> switches = {"-?", "-help", "--help", "--?", "/?", "/help"};
  return switches;
}

std::string helpText() {
  std::string text = "List of commandline arguments:\n\n";
  for (const OptionSpec& option : optionTable()) {
    std::string head = option.name;
    if (option.placeholder[0] != '\0' && option.placeholderInHelp) {
      head += std::string(" ") + option.placeholder;
    }
    head.resize(std::max(kHelpColumn, head.size() + 1), ' ');
    text += head + option.help + "\n";
  }
  return text +
         "\nExecuting the program without arguments will start it in limited interactive mode "
         "where user can specify input path, and program will then autocrop to common animation "
         "area.\n";
}

int readInt(const htext& text) {
  int value = 0;
  std::sscanf(text.c_str(), "%d", &value);
  return value;
}

bool readJobs(const htext& text, unsigned& jobs) {
  if (text.empty()) {
    jobs = 1;
    return true;
  }
  unsigned long long value = 0;
  for (const char c : std::string(text.c_str())) {
    if (c < '0' || c > '9') return false;
    value = std::min<unsigned long long>(value * 10 + unsigned(c - '0'), UINT_MAX);
  }
  jobs = static_cast<unsigned>(value);
  return true;
}

namespace {

// The value among names (the first when absent) as its place there; false
// for anything else.
template <typename Value>
bool readChoice(const htext& text, std::initializer_list<std::pair<const char*, Value>> names,
                Value& value) {
  for (const auto& [name, meaning] : names) {
    if (text == name || (text.empty() && name == names.begin()->first)) {
      value = meaning;
      return true;
    }
  }
  return false;
}

}  // namespace

bool readSplit(const htext& text, bool& split) {
  if (text.empty()) {
    split = false;
    return true;
  }
  if (text != "stem") return false;
  split = true;
  return true;
}

bool readFill(const htext& text, Fill& fill) {
  return readChoice(text, {{"black", Fill::black}, {"transparent", Fill::transparent}}, fill);
}

bool readAnchor(const htext& text, Anchor& anchor) {
  return readChoice(
      text, {{"topleft", Anchor::topleft}, {"center", Anchor::center}, {"bottom", Anchor::bottom}},
      anchor);
}

bool readWholeNumber(const htext& text, unsigned fallback, unsigned least, unsigned most,
                     unsigned& value) {
  if (text.empty()) {
    value = fallback;
    return true;
  }
  unsigned read = 0;
  for (const char c : std::string(text.c_str())) {
    if (c < '0' || c > '9') return false;
    read = read * 10 + unsigned(c - '0');
    if (read > most) return false;
  }
  if (read < least) return false;
  value = read;
  return true;
}

bool readOrder(const htext& text, FrameOrder& order) {
  return readChoice(text, {{"name", FrameOrder::name}, {"natural", FrameOrder::natural}}, order);
}

void parseArguments(int argc, const char* const* argv, OptionMap& options) {
  options["argv0"] = argv[0];
  htext pending;
  for (int i = 1; i < argc; ++i) {
    if (isOptionName(argv[i])) {
      pending = argv[i];
      options[pending] = kNoValue;
    } else if (!pending.empty()) {
      options[pending] = argv[i][0] == '\0' ? kNoValue : argv[i];
      pending.clear();
    }
  }
}

std::vector<htext> unknownOptions(int argc, const char* const* argv) {
  std::vector<htext> unknown;
  for (int i = 1; i < argc; ++i) {
    if (argv[i][0] != '-') continue;
    const auto named = [&](const char* name) { return std::strcmp(argv[i], name) == 0; };
    const bool known =
        std::any_of(optionTable().begin(), optionTable().end(),
                    [&](const OptionSpec& option) { return named(option.name); }) ||
        std::any_of(helpSwitches().begin(), helpSwitches().end(), named);
    if (!known) unknown.push_back(argv[i]);
  }
  return unknown;
}

bool isHelpRequested(OptionMap options) {
  for (const char* name : helpSwitches()) {
    if (options[name] == kNoValue) return true;
  }
  return false;
}

bool parseCropRect(htext text, CropRect& rect) {
  if (text.countOf(",") != 3) return false;
  const hlist<htext> pieces = text.split(",");
  rect.minX = readInt(pieces[0]);
  rect.minY = readInt(pieces[1]);
  rect.maxX = readInt(pieces[2]);
  rect.maxY = readInt(pieces[3]);
  return true;
}

}  // namespace velmora
