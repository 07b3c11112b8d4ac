#include "console/options.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "test_support.h"

using namespace velmora;

namespace {

using Entries = std::map<std::string, std::string>;

OptionMap parse(const std::vector<std::string>& args) {
  std::vector<const char*> argv = {"velmoraReelCut"};
  for (const std::string& a : args) argv.push_back(a.c_str());
  OptionMap options;
  parseArguments(int(argv.size()), argv.data(), options);
  return options;
}

std::string describe(const std::vector<std::string>& args) {
  std::string text;
  for (const std::string& a : args) text += " [" + a + "]";
  return text.empty() ? "(no arguments)" : text;
}

TEST(ParseArguments, PairsOptionsWithTheirValuesAndNamesTheUnknownOnes) {
  struct Row {
    std::vector<std::string> args;
    Entries expected;  // besides argv0
    std::vector<std::string> unknown = {};
  };
  const Row rows[] = {
      {{"-i", "C:\\frames", "-threshold", "40"}, {{"-i", "C:\\frames"}, {"-threshold", "40"}}},
      {{"-i"}, {{"-i", "noparam"}}},
      {{"-i", ""}, {{"-i", "noparam"}}},
      {{"-i", "a", "b"}, {{"-i", "a"}}},
      {{"stray", "-i", "a"}, {{"-i", "a"}}},
      {{"", "-i", "a"}, {{"-i", "a"}}},
      // Absolute paths are values; only the slash switches are options.
      {{"-i", "/frames"}, {{"-i", "/frames"}}},
      {{"-i", "/frames", "-o", "/out/x"}, {{"-i", "/frames"}, {"-o", "/out/x"}}},
      {{"/frames", "-i", "a"}, {{"-i", "a"}}},
      {{"-i", "/?"}, {{"-i", "noparam"}, {"/?", "noparam"}}},
      {{"-o", "/help", "x"}, {{"-o", "noparam"}, {"/help", "x"}}},
      {{"-i", "/help/x"}, {{"-i", "/help/x"}}},
      // Anything that begins with "-" names an option, a negative number too.
      {{"-forcecrop", "-5,0,10,10"},
       {{"-forcecrop", "noparam"}, {"-5,0,10,10", "noparam"}},
       {"-5,0,10,10"}},
      {{"-threshold", "-"}, {{"-threshold", "noparam"}, {"-", "noparam"}}, {"-"}},
      {{"-I", "x"}, {{"-I", "x"}}, {"-I"}},
      {{"-i", "a", "-optimise", "-reprot", "r.json", "-optimise"},
       {{"-i", "a"}, {"-optimise", "noparam"}, {"-reprot", "r.json"}},
       {"-optimise", "-reprot", "-optimise"}},
      {{"-?", "--help", "-optimize", "-jobs", "2", "-"}, {{"-?", "noparam"}, {"--help", "noparam"},
        {"-optimize", "noparam"}, {"-jobs", "2"}, {"-", "noparam"}}, {"-"}},
      {{"-i", "a", "-i", "b"}, {{"-i", "b"}}},
      {{"-i", "a", "-i"}, {{"-i", "noparam"}}},
      {{"-i", "a", "-i", ""}, {{"-i", "noparam"}}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(describe(row.args));
    Entries expected = row.expected;
    expected["argv0"] = "velmoraReelCut";
    const OptionMap options = parse(row.args);
    const Entries actual(options.begin(), options.end());
    EXPECT_EQ(actual, expected);
    std::vector<const char*> argv = {"velmoraReelCut"};
    for (const std::string& a : row.args) argv.push_back(a.c_str());
    const std::vector<corvane::htext> unknown = unknownOptions(int(argv.size()), argv.data());
    EXPECT_EQ(std::vector<std::string>(unknown.begin(), unknown.end()), row.unknown);
  }
}

TEST(IsHelpRequested, EachSwitchAskedWithoutAValue) {
  for (const char* help : {"-help", "-?", "--help", "--?", "/?", "/help"}) {
    SCOPED_TRACE(help);
    EXPECT_TRUE(isHelpRequested(parse({help})));
    EXPECT_TRUE(isHelpRequested(parse({help, "-i", "x"})));
    EXPECT_TRUE(isHelpRequested(parse({"-i", "x", help})));
    EXPECT_FALSE(isHelpRequested(parse({help, "x"})));
  }
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"-i", "x"}, {"-HELP"}, {"/h"}, {"-i", "/?x"}, {"-h"}}) {
    SCOPED_TRACE(describe(args));
    EXPECT_FALSE(isHelpRequested(parse(args)));
  }
}

TEST(HelpText, ListsEveryOptionWithADescriptionColumnAt23) {
  const std::string printed = helpText();
  // The heading, the first lines and the closing paragraph are as they have
  // always been printed.
  const std::string first =
      "List of commandline arguments:\n"
      "\n"
      "-i <path>             Specifies path to the source frames.\n"
      "-o <path>             Specifies output path for processed frames.\n"
      "-threshold            Autocrop alpha detection threshold [0-255] (default 0).\n"
      "-forcecrop <x,y,r,b>  Crop to custom rect: left, top, right, bottom (exclusive).\n"
      "-jobs <n>             Threads that scan and write frames, or crop animations (default 1; "
      "0: one per core).\n";
  const std::string closing =
      "\n"
      "Executing the program without arguments will start it in limited interactive mode where "
      "user can specify input path, and program will then autocrop to common animation area.\n";
  EXPECT_EQ(printed.substr(0, first.size()), first);
  ASSERT_GT(printed.size(), closing.size());
  EXPECT_EQ(printed.substr(printed.size() - closing.size()), closing);
  // One line per option, in the table's order, its description in column 23
  // after at least one blank.
  std::istringstream lines(printed);
  size_t options = 0;
  for (std::string line; std::getline(lines, line);) {
    if (line.empty() || line[0] != '-') continue;
    SCOPED_TRACE(line);
    ASSERT_LT(options, optionTable().size());
    const OptionSpec& option = optionTable()[options++];
    EXPECT_EQ(line.substr(0, line.find(' ')), option.name);
    ASSERT_GT(line.size(), 22u);
    EXPECT_EQ(line[21], ' ');
    EXPECT_NE(line[22], ' ');
    EXPECT_EQ(line.substr(22), option.help);
  }
  EXPECT_EQ(options, optionTable().size());
}

#ifndef _WIN32  // reads the source tree, which the Windows test binary has no path to
// A section of a file: from the line that begins it to the next heading.
std::string section(const std::string& file, const std::string& begins, const std::string& next) {
  const std::string whole = testing_support::readFile(VELMORA_SOURCE_DIR "/" + file);
  const size_t at = whole.find("\n" + begins + "\n");
  EXPECT_NE(at, std::string::npos) << file << " has no " << begins;
  if (at == std::string::npos) return "";
  return whole.substr(at, whole.find("\n" + next, at + 1) - at);
}

std::string roff(const std::string& text) {
  std::string written;
  for (const char c : text) written += c == '-' ? std::string("\\-") : std::string(1, c);
  return written;
}

// The README's first cell of the option's row.
std::string readmeHead(const OptionSpec& option) {
  std::string head = option.name;
  if (option.placeholder[0] != '\0') head += std::string(" ") + option.placeholder;
  std::string cell;
  for (const char c : head) cell += c == '|' ? std::string("\\|") : std::string(1, c);
  return "`" + cell + "`";
}

// The man page's tag line: the name in bold, a placeholder's words in
// italics, or in bold where they are the values themselves; the commas
// between them typed as they are, a bar between alternatives in roman.
std::string manTag(const OptionSpec& option) {
  const std::string name = roff(option.name);
  const std::string placeholder = option.placeholder;
  if (placeholder.empty()) return ".B " + name;
  if (placeholder[0] != '<') return ".B \"" + name + " " + placeholder + "\"";
  const std::string words = placeholder.substr(1, placeholder.size() - 2);
  if (words == option.range) {
    std::string tag = ".BR " + name + " \" \" ";
    for (const char c : words) tag += c == '|' ? std::string(" | ") : std::string(1, c);
    return tag;
  }
  // .BI alternates bold and italic: name, word, separator, word, ...
  std::string tag = ".BI " + name, word;
  bool first = true;
  const auto endWord = [&] {
    tag += first ? " \" " + word + "\"" : " " + word;
    first = false;
    word.clear();
  };
  for (const char c : words) {
    if (c == ',' || c == '|') {
      endWord();
      tag += c == ',' ? " ," : " \"\\fR|\\fP\"";
    } else {
      word += c;
    }
  }
  endWord();
  return tag;
}

// The text of a man paragraph without its requests, fonts and quotes.
std::string manText(const std::vector<std::string>& lines) {
  std::string text;
  for (std::string line : lines) {
    if (!line.empty() && line[0] == '.') {
      const size_t blank = line.find(' ');
      if (blank == std::string::npos) continue;
      line = line.substr(blank + 1);
    }
    std::string plain;
    for (size_t i = 0; i < line.size(); ++i) {
      if (line[i] == '"') continue;
      if (line[i] == '\\' && i + 1 < line.size()) {
        const char next = line[++i];
        if (next == 'f') {
          ++i;
        } else {
          plain += next == '~' ? ' ' : next;
        }
        continue;
      }
      plain += line[i];
    }
    text += plain + " ";
  }
  return text;
}

// Whether text gives the option's default in one of the forms the document
// words it in (D standing for the value) and its range.
void expectValues(const OptionSpec& option, const std::string& text,
                  const std::vector<std::string>& defaults, const char* where) {
  if (!option.fallback.empty()) {
    bool said = false;
    for (const std::string& form : defaults) {
      std::string phrase = form;
      phrase.replace(phrase.find('D'), 1, option.fallback);
      said = said || text.find(phrase) != std::string::npos;
    }
    EXPECT_TRUE(said) << where << " does not give the default " << option.fallback << ":\n"
                      << text;
  }
  if (option.range.find(" to ") != std::string::npos) {
    const std::string bracketed =
        "[" + option.range.substr(0, option.range.find(' ')) + "-" +
        option.range.substr(option.range.rfind(' ') + 1) + "]";
    EXPECT_TRUE(text.find(option.range) != std::string::npos ||
                text.find(bracketed) != std::string::npos)
        << where << " does not give the range " << option.range << ":\n" << text;
  } else if (!option.range.empty()) {
    std::istringstream words(option.range);
    for (std::string word; std::getline(words, word, '|');) {
      EXPECT_NE(text.find(word), std::string::npos) << where << " does not name " << word;
    }
  }
}

// The README's options table and the man page's OPTIONS section beside the
// option table: a row and a tag per option and help switch, in its order and
// with its placeholder, and in the help, the row and the paragraph of each
// option its default and range.
TEST(OptionTable, TheReadmeAndTheManPageGiveEachOptionAsTheTableDoes) {
  std::vector<std::string> readmeHeads, manTags;
  for (const OptionSpec& option : optionTable()) {
    readmeHeads.push_back(readmeHead(option));
    manTags.push_back(manTag(option));
  }
  std::string switches = ".BR";
  for (const char* help : helpSwitches()) {
    readmeHeads.push_back("`" + std::string(help) + "`");
    switches += (switches == ".BR" ? " " : " \", \" ") + roff(help);
  }
  manTags.push_back(switches);

  std::vector<std::string> rows, rowHeads;
  std::istringstream readme(section("README.md", "## Options", "## "));
  for (std::string line; std::getline(readme, line);) {
    if (line.rfind("| `", 0) != 0) continue;
    const size_t end = line.find("` | ");
    rowHeads.push_back(line.substr(2, end - 1));
    std::string text;
    for (const char c : line.substr(end + 4)) text += c == '`' ? std::string() : std::string(1, c);
    rows.push_back(text);
  }
  EXPECT_EQ(rowHeads, readmeHeads);

  std::vector<std::string> tags;
  std::vector<std::vector<std::string>> paragraphs;
  std::istringstream man(section("man/velmoraReelCut.1", ".SH OPTIONS", ".SH "));
  bool tag = false;
  for (std::string line; std::getline(man, line); tag = line == ".TP") {
    if (tag) {
      tags.push_back(line);
      paragraphs.emplace_back();
    } else if (!paragraphs.empty()) {
      paragraphs.back().push_back(line);
    }
  }
  EXPECT_EQ(tags, manTags);

  for (size_t i = 0; i < optionTable().size(); ++i) {
    const OptionSpec& option = optionTable()[i];
    SCOPED_TRACE(option.name);
    expectValues(option, option.help, {"(default D", "D (default)"}, "the help");
    if (i < rows.size()) expectValues(option, rows[i], {"(default D", "D (default)"}, "the README");
    if (i < paragraphs.size()) {
      expectValues(option, manText(paragraphs[i]), {"the default is D", "D (the default)"},
                   "the man page");
    }
  }
}
#endif

TEST(ParseCropRect, ReadsFourCommaSeparatedNumbers) {
  struct Row {
    const char* text;
    bool parsed;
    CropRect rect;  // expected; the untouched sentinel when not parsed
  };
  const CropRect sentinel = {9, 8, 7, 6};
  const Row rows[] = {
      {"10,20,110,70", true, {10, 20, 110, 70}},
      {"1,2,3", false, sentinel},
      {"1,2,3,4,5", false, sentinel},
      {"noparam", false, sentinel},
      {"", false, sentinel},
      {",,,", true, {0, 0, 0, 0}},
      {"10,20,30px,40", true, {10, 20, 30, 40}},
      {" 7,1,2,3", true, {7, 1, 2, 3}},
      {"5,-3,20,20", true, {5, -3, 20, 20}},
      {"a,+4,x9,-0", true, {0, 4, 0, 0}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string("\"") + row.text + "\"");
    CropRect rect = sentinel;
    EXPECT_EQ(parseCropRect(row.text, rect), row.parsed);
    EXPECT_EQ(rect.minX, row.rect.minX);
    EXPECT_EQ(rect.minY, row.rect.minY);
    EXPECT_EQ(rect.maxX, row.rect.maxX);
    EXPECT_EQ(rect.maxY, row.rect.maxY);
  }
}

TEST(ReadInt, ReadsTheLeadingNumberLikeScanf) {
  const std::pair<const char*, int> rows[] = {
      {"40", 40}, {"40abc", 40}, {"abc", 0}, {"", 0}, {"noparam", 0}, {" -7", -7}, {"+5", 5},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string("\"") + row.first + "\"");
    EXPECT_EQ(readInt(row.first), row.second);
  }
}

TEST(ReadChoices, TakeTheirWordsOrNothingElse) {
  struct Row {
    const char* text;
    int split, fill, anchor, align;  // -1: refused
  };
  const Row rows[] = {
      {"", 0, int(Fill::black), int(Anchor::topleft), 16},
      {"stem", 1, -1, -1, -1},
      {"black", -1, int(Fill::black), -1, -1},
      {"transparent", -1, int(Fill::transparent), -1, -1},
      {"topleft", -1, -1, int(Anchor::topleft), -1},
      {"center", -1, -1, int(Anchor::center), -1},
      {"bottom", -1, -1, int(Anchor::bottom), -1},
      {"1", -1, -1, -1, 1},
      {"256", -1, -1, -1, 256},
      {"0016", -1, -1, -1, 16},
      {"noparam", -1, -1, -1, -1},
      {"Stem", -1, -1, -1, -1},
      {"centre", -1, -1, -1, -1},
      {"0", -1, -1, -1, -1},
      {"257", -1, -1, -1, -1},
      {"99999999999", -1, -1, -1, -1},
      {"8px", -1, -1, -1, -1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string("\"") + row.text + "\"");
    bool split = true;
    Fill fill = Fill::transparent;
    Anchor anchor = Anchor::bottom;
    unsigned align = 7;
    EXPECT_EQ(readSplit(row.text, split) ? int(split) : -1, row.split);
    EXPECT_EQ(readFill(row.text, fill) ? int(fill) : -1, row.fill);
    EXPECT_EQ(readAnchor(row.text, anchor) ? int(anchor) : -1, row.anchor);
    EXPECT_EQ(readWholeNumber(row.text, kDefaultAlign, 1, kMaxAlign, align) ? int(align) : -1,
              row.align);
  }
}

TEST(ReadJobs, TakesAWholeNumberOrNothingElse) {
  const std::pair<const char*, long> rows[] = {
      {"", 1},         {"0", 0},        {"1", 1},        {"3", 3},         {"007", 7},
      {"4294967295", 4294967295}, {"99999999999999999999", 4294967295},
      // Rejected: the STOP before anything is read.
      {"noparam", -1}, {"x", -1},       {"3x", -1},      {" 3", -1},       {"+3", -1},
      {"3.0", -1},     {"-3", -1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string("\"") + row.first + "\"");
    unsigned jobs = 12345;
    const bool read = readJobs(row.first, jobs);
    EXPECT_EQ(read ? long(jobs) : -1, row.second);
  }
}

}  // namespace
