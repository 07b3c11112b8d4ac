#include "options.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <iostream>
#include <string>

#include "console.h"
#include "corvane/hfolder.h"

namespace velmora {

using corvane::hfolder;
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

}  // namespace

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

bool readOrder(const htext& text, FrameOrder& order) {
  if (text.empty() || text == "name") {
    order = FrameOrder::name;
  } else if (text == "natural") {
    order = FrameOrder::natural;
  } else {
    return false;
  }
  return true;
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

bool isHelpRequested(OptionMap options) {
  for (const char* name : {"-help", "-?", "--help", "--?", "/?", "/help"}) {
    if (options[name] == kNoValue) return true;
  }
  return false;
}

void printHelp() {
  say("List of commandline arguments:\n");
  say("\n");
  say("-i <path>             Specifies path to the source frames.\n");
  say("-o <path>             Specifies output path for processed frames.\n");
  say("-threshold            Autocrop alpha detection threshold [0-255] (default 0).\n");
  say("-forcecrop <x,y,w,h>  Crop to custom rect values.\n");
  say("-jobs <n>             Threads that scan and write frames (default 1; 0: one per core).\n");
  say("-order <name|natural> Frame order: name (default) or natural (walk_2 before walk_10).\n");
  say("-optimize             Writes every frame in its smallest lossless PNG form.\n");
  say("-report <file>        Writes a JSON report of the crop to the file.\n");
  say("-preview <file>       Writes a PNG of how many frames show each pixel.\n");
  say("\n");
  say("Executing the program without arguments will start it in limited interactive mode where "
      "user can specify input path, and program will then autocrop to common animation area.\n");
}

htext promptSourcePath() {
  for (;;) {
    say("Enter the source frames path: ");
    std::string line;
    if (!std::getline(std::cin, line)) return htext();
    if (line.empty()) continue;
    if (hfolder::isFolder(line)) return line;
    say("\n  Warning: path appears to be invalid or inaccessible.\n  Try again or press CTRL+C to "
        "terminate.\n\n");
  }
}

bool parseCropRect(htext text, CropRect& rect) {
  if (text.countOf(",") != 3) return false;
  const hlist<htext> pieces = text.split(",");
  rect.minX = readInt(pieces[0]);
  rect.minY = readInt(pieces[1]);
  rect.maxX = readInt(pieces[2]);
  rect.maxY = readInt(pieces[3]);
  say(">> Custom crop-rect: %s\n", text.c_str());
  return true;
}

}  // namespace velmora
