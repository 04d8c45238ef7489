// The maskschedule tool, installed into a scratch prefix and run as a user
// runs it: commands, their output, exit codes, and files left behind.
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

const fs::path kWork = KW_WORK_DIR;

struct Result {
  int code;
  std::string out;
  std::string err;
};

std::string Read(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void Write(const fs::path& p, const std::string& bytes) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out << bytes;
}

int Shell(const std::string& command) {
  int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

fs::path Program() { return kWork / "prefix" / "bin" / "maskschedule"; }

// Runs the installed program with args (already shell-quoted where needed),
// in the work folder.
Result Tool(const std::string& args) {
  const fs::path out = kWork / "stdout.txt", err = kWork / "stderr.txt";
  int code = Shell("cd '" + kWork.string() + "' && '" + Program().string() + "' " + args +
                   " >'" + out.string() + "' 2>'" + err.string() + "' </dev/null");
  return Result{code, Read(out), Read(err)};
}

int Lines(const std::string& text) {
  int n = 0;
  for (char c : text) n += c == '\n';
  return n;
}

const char kSampleJson[] = R"({
  "format": "maskschedule",
  "version": 1,
  "rules": [
    {"mask": [1, 0, 0, 0, 0], "enable": [1, 1, 0, 0, 0], "time": "07:05:00",
     "weekdays": ["MON", "FRI"],
     "units": [{"id": 1, "name": "Gate"}, {"id": 2, "name": "Yard"}]},
    {"mask": [0, 0, 0, 0, 0], "enable": [1, 0, 0, 0, 0], "time": "18:00:00",
     "weekdays": ["MON", "TUE", "WED", "THU", "FRI"],
     "units": [{"id": 1, "name": "Gate"}]},
    {"mask": [0, 0, 1, 0, 0], "enable": [0, 0, 1, 0, 0], "time": "12:30:00",
     "date": "2024-03-05",
     "units": [{"id": 2, "name": "Yard"}]}
  ]
})";

// Every field at values a dialog would not write: the whole weekday/date
// storage, all eight time members, names with bytes after the terminator,
// without a terminator, and with an 8-bit character.
std::string OddJson() {
  return R"({"format": "maskschedule", "version": 1, "rules": [
  {"mask": [-1, 2, 0, 0, 7], "enable": [1, 0, 0, 0, -5],
   "time": {"year": 2023, "month": 12, "dayOfWeek": 6, "day": 31, "hour": 23, "minute": 59,
            "second": 58, "milliseconds": 999},
   "specialDay": 5, "days": [65537, 131075, 262149, 458759, 11, -12, 13],
   "units": [{"id": -7, "name": "Gate", "nameHex": "4761746500ff01"},
             {"id": 2147483647, "name": "Caf\u00e9"}]},
  {"mask": [0, 0, 0, 0, 0], "enable": [0, 0, 0, 0, 0], "time": "00:00:00",
   "weekdays": ["SUN", "SAT"], "days": [2, 0, 0, 0, 0, 0, -1],
   "units": [{"id": 3, "nameHex": ")" + std::string(520, 'a') + R"("}]}
]})";
}

class MaskScheduleCli : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    fs::remove_all(kWork);
    fs::create_directories(kWork);
    ASSERT_EQ(0, Shell(std::string("'") + KW_CMAKE_COMMAND + "' --install '" + KW_BINARY_DIR +
                       "' --prefix '" + (kWork / "prefix").string() + "' >'" +
                       (kWork / "install.log").string() + "' 2>&1"))
        << Read(kWork / "install.log");
    Write(kWork / "sample.json", kSampleJson);
    Result r = Tool("import sample.json sample.kws");
    ASSERT_EQ(0, r.code) << r.err;
  }

  static std::string Sample() { return Read(kWork / "sample.kws"); }
};

TEST_F(MaskScheduleCli, HelpForEveryCommandAndUsageErrors) {
  for (const char* args : {"--help", "show --help", "check --help", "export --help",
                           "import --help", "simulate --help", "edit --help"}) {
    SCOPED_TRACE(args);
    Result r = Tool(args);
    EXPECT_EQ(0, r.code);
    EXPECT_NE(std::string::npos, r.out.find("Usage: maskschedule")) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("3  I/O failure")) << r.out;
    EXPECT_EQ("", r.err);
  }
  struct Case {
    const char* args;
    const char* message;
  } cases[] = {
      {"frob", "unknown command 'frob'"},
      {"edit sample.kws", "not available yet"},
      {"show", "expected one schedule file"},
      {"show a.kws b.kws", "expected one schedule file"},
      {"export sample.kws --pretty", "unknown option --pretty"},
      {"import sample.json", "expected a JSON file and a schedule file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    Result r = Tool(c.args);
    EXPECT_EQ(2, r.code);
    EXPECT_NE(std::string::npos, r.err.find(c.message)) << r.err;
    EXPECT_EQ(1, Lines(r.err)) << r.err;
  }
  EXPECT_EQ(2, Tool("").code);
}

TEST_F(MaskScheduleCli, ShowAndCheckASampleSchedule) {
  Result show = Tool("show sample.kws");
  EXPECT_EQ(0, show.code) << show.err;
  EXPECT_EQ(
      "#  V0   V1   V2  V3  V4  time      days                 units\n"
      "0  on   off  -   -   -   07:05:00  MON,FRI              1 Gate, 2 Yard\n"
      "1  off  -    -   -   -   18:00:00  MON,TUE,WED,THU,FRI  1 Gate\n"
      "2  -    -    on  -   -   12:30:00  05/03/2024           2 Yard\n"
      "views: on = hidden zone switched on, off = switched off, - = not controlled\n",
      show.out);
  EXPECT_EQ("", show.err);

  Result check = Tool("check sample.kws");
  EXPECT_EQ(0, check.code);
  EXPECT_EQ("sample.kws: valid schedule file: 3 rules, 4 units, 1596 bytes\n", check.out);

  // A weekday rule without days shows no day; a rule may have no unit; bytes
  // a terminal cannot show are escaped.
  Write(kWork / "bare.json", R"({"format": "maskschedule", "version": 1, "rules": [
    {"mask": [0, 0, 0, 0, 0], "enable": [0, 0, 0, 0, 0], "time": "23:59:59", "weekdays": [],
     "units": []},
    {"mask": [0, 0, 0, 0, 0], "enable": [0, 0, 0, 0, 0], "time": "00:00:00",
     "date": "2025-01-31", "units": [{"id": -1, "name": "A\u0001\u00e9"}]}]})");
  ASSERT_EQ(0, Tool("import bare.json bare.kws").code);
  EXPECT_EQ(
      "#  V0  V1  V2  V3  V4  time      days        units\n"
      "0  -   -   -   -   -   23:59:59  (no day)    (no unit)\n"
      "1  -   -   -   -   -   00:00:00  31/01/2025  -1 A\\x01\\xE9\n"
      "views: on = hidden zone switched on, off = switched off, - = not controlled\n",
      Tool("show bare.kws").out);

  Write(kWork / "empty.json", R"({"format": "maskschedule", "version": 1, "rules": []})");
  ASSERT_EQ(0, Tool("import empty.json empty.kws").code);
  EXPECT_EQ(264u, fs::file_size(kWork / "empty.kws"));
  EXPECT_EQ("no rules\n", Tool("show empty.kws").out);
}

// Sample layout: header 0..259, count 260..263, rule 0 (two units) 264..883,
// rule 1 (one unit) 884..1239, rule 2 (one unit) 1240..1595.
TEST_F(MaskScheduleCli, DamagedFilesAreDiagnosedAndRefused) {
  auto setI32 = [](std::string& s, size_t at, int32_t v) {
    for (int i = 0; i < 4; ++i) s[at + i] = (char)((uint32_t)v >> (8 * i));
  };
  struct Case {
    const char* name;
    std::function<void(std::string&)> damage;
    const char* message;
  } cases[] = {
      {"cut in a unit", [](std::string& s) { s.resize(1000); },
       "rule 2 of 3 (index 1, 1 unit) ends at byte 1240, file has 1000 bytes; the library loads "
       "only the first rule"},
      {"cut in a rule", [](std::string& s) { s.resize(1250); },
       "rule 3 of 3 (index 2) ends at byte 1332 or later, file has 1250 bytes; the library loads "
       "only the first 2 rules"},
      {"no count", [](std::string& s) { s.resize(262); },
       "file ends early: no rule count (the count takes bytes 260 to 263, file has 262 bytes)"},
      {"header cut", [](std::string& s) { s.resize(10); }, "the header does not match"},
      {"header version", [](std::string& s) { s[28] = '1'; },
       "the header does not match (expected \"KWS RUDU VEDERERU VERSION 0.0\" and a zero byte "
       "at byte 0, found \"KWS RUDU VEDERERU VERSION 0.1\")"},
      {"header case", [](std::string& s) { s[0] = 'k'; }, "the header does not match"},
      {"count -1", [&](std::string& s) { setI32(s, 260, -1); }, "bad rule count -1 at byte 260"},
      {"count 64001", [&](std::string& s) { setI32(s, 260, 64001); },
       "bad rule count 64001 at byte 260"},
      {"count too high", [&](std::string& s) { setI32(s, 260, 5); },
       "rule 4 of 5 (index 3) ends at byte 1688 or later, file has 1596 bytes; the library "
       "loads only the first 3 rules"},
      {"unit count too high", [&](std::string& s) { setI32(s, 1240 + 88, 1000000); },
       "rule 3 of 3 (index 2, 1000000 units) ends at byte 264001332, file has 1596 bytes"},
  };
  const std::string sample = Sample();
  Write(kWork / "keep.svg", "old picture");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string bytes = sample;
    c.damage(bytes);
    Write(kWork / "damaged.kws", bytes);
    for (const char* command : {"check", "show", "export", "simulate"}) {
      SCOPED_TRACE(command);
      Result r = Tool(std::string(command) + " damaged.kws" +
                     (std::string(command) == "simulate"
                          ? " --from 2024-03-04 --days 7 --svg keep.svg"
                          : ""));
      EXPECT_EQ(1, r.code);
      EXPECT_EQ("", r.out);
      EXPECT_NE(std::string::npos, r.err.find(c.message)) << r.err;
      EXPECT_EQ(0u, r.err.find(std::string("maskschedule ") + command + ": damaged.kws: "))
          << r.err;
      EXPECT_EQ(1, Lines(r.err)) << r.err;  // the library itself stays quiet
    }
  }
  EXPECT_EQ("old picture", Read(kWork / "keep.svg"));
  Result missing = Tool("check missing.kws");
  EXPECT_EQ(3, missing.code);
  EXPECT_EQ("maskschedule check: cannot open missing.kws: No such file or directory\n",
            missing.err);
  // Quiet also means no log or settings files beside the program.
  for (const auto& entry : fs::directory_iterator(kWork / "prefix" / "bin"))
    EXPECT_EQ("", entry.path().extension().string()) << entry.path();
}

// What the library loads is valid, even when unusual; the notes say what is
// ignored.
TEST_F(MaskScheduleCli, UnusualFilesTheLibraryLoadsAreValid) {
  struct Case {
    const char* name;
    std::function<void(std::string&)> change;
    const char* note;
  } cases[] = {
      {"bytes after the last rule", [](std::string& s) { s += "xyz"; },
       "3 bytes after the last rule (from byte 1596) are ignored"},
      {"bytes after the header text", [](std::string& s) { s.replace(40, 5, "ABCDE"); }, ""},
      {"negative unit count",
       [](std::string& s) { s.replace(1240 + 88, 4, std::string("\xff\xff\xff\xff", 4)); },
       "rule 3 (index 2) at byte 1240 has a negative unit count (-1)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string bytes = Sample();
    c.change(bytes);
    Write(kWork / "unusual.kws", bytes);
    Result r = Tool("check unusual.kws");
    EXPECT_EQ(0, r.code) << r.err;
    EXPECT_EQ(0u, r.out.find("unusual.kws: valid schedule file: 3 rules")) << r.out;
    EXPECT_NE(std::string::npos, r.out.find(c.note)) << r.out;
    EXPECT_EQ(0, Tool("show unusual.kws").code);
  }
}

TEST_F(MaskScheduleCli, ExportImportRoundTripKeepsEveryByte) {
  Write(kWork / "odd.json", OddJson());
  for (const char* name : {"sample", "odd"}) {
    SCOPED_TRACE(name);
    const std::string n = name;
    if (n == "odd") {
      ASSERT_EQ(0, Tool("import odd.json odd.kws").code);
    }
    Result first = Tool("export " + n + ".kws");
    ASSERT_EQ(0, first.code) << first.err;
    Write(kWork / (n + "-1.json"), first.out);
    Result imported = Tool("import " + n + "-1.json " + n + "-2.kws");
    ASSERT_EQ(0, imported.code) << imported.err;
    EXPECT_EQ(Read(kWork / (n + ".kws")), Read(kWork / (n + "-2.kws")));
    EXPECT_EQ(first.out, Tool("export " + n + "-2.kws").out);
    // -o writes the same document to a file.
    ASSERT_EQ(0, Tool("export " + n + ".kws -o " + n + "-o.json").code);
    EXPECT_EQ(first.out, Read(kWork / (n + "-o.json")));
  }

  // The odd fields are where the file layout puts them.
  const std::string odd = Read(kWork / "odd.kws");
  auto i32 = [&](size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | (unsigned char)odd[at + i];
    return (int32_t)v;
  };
  auto u16 = [&](size_t at) { return (int)((unsigned char)odd[at] | (unsigned char)odd[at + 1] << 8); };
  const size_t rule = 264;
  EXPECT_EQ(2, i32(260));
  EXPECT_EQ(-1, i32(rule + 0));
  EXPECT_EQ(-5, i32(rule + 20 + 16));
  EXPECT_EQ(2023, u16(rule + 40));
  EXPECT_EQ(999, u16(rule + 54));
  EXPECT_EQ(5, i32(rule + 56));
  const int32_t days[7] = {65537, 131075, 262149, 458759, 11, -12, 13};
  for (int k = 0; k < 7; ++k) EXPECT_EQ(days[k], i32(rule + 60 + 4 * k)) << k;
  EXPECT_EQ(2, i32(rule + 88));
  EXPECT_EQ(-7, i32(rule + 92));
  EXPECT_EQ(std::string("Gate\0\xff\x01", 7), odd.substr(rule + 96, 7));
  EXPECT_EQ(std::string(253, '\0'), odd.substr(rule + 103, 253));
  EXPECT_EQ(std::string("Caf\xe9\0", 5), odd.substr(rule + 92 + 264 + 4, 5));
  const size_t rule2 = rule + 92 + 2 * 264;
  EXPECT_EQ(2, i32(rule2 + 60));
  EXPECT_EQ(-1, i32(rule2 + 60 + 24));
  EXPECT_EQ(std::string(260, '\xaa'), odd.substr(rule2 + 92 + 4, 260));

  // The export spells out the readings a person edits.
  const std::string json = Read(kWork / "odd-1.json");
  EXPECT_NE(std::string::npos, json.find(R"("name": "Café")")) << json;
  EXPECT_NE(std::string::npos, json.find(R"("nameHex": "4761746500ff01")")) << json;
  EXPECT_NE(std::string::npos, json.find(R"("weekdays": ["SUN", "SAT"])")) << json;
  EXPECT_NE(std::string::npos,
            json.find(R"("date": {"year": 1, "month": 1, "dayOfWeek": 3, "day": 2, "hour": 5, )"
                      R"("minute": 4, "second": 7, "milliseconds": 7})"))
      << json;
}

TEST_F(MaskScheduleCli, FailedImportLeavesTheTargetUnchanged) {
  const std::string rule =
      R"({"mask": [1, 0, 0, 0, 0], "enable": [1, 0, 0, 0, 0], "time": "07:00:00", )"
      R"("weekdays": ["MON"], "units": [{"id": 1, "name": "Gate"}]})";
  auto doc = [](const std::string& rules) {
    return R"({"format": "maskschedule", "version": 1, "rules": [)" + rules + "]}";
  };
  auto with = [&](const std::string& from, const std::string& to) {
    std::string r = rule;
    r.replace(r.find(from), from.size(), to);
    return doc(r);
  };
  struct Case {
    std::string json;
    const char* message;
  } cases[] = {
      {R"({"format": "maskschedule", "version": 1, "rules": [)", "bad JSON: parse error at line 1"},
      {"", "bad JSON"},
      {R"({"format": "other", "version": 1, "rules": []})", "format: expected \"maskschedule\""},
      {R"({"format": "maskschedule", "version": 2, "rules": []})", "version: this tool reads version 1"},
      {R"({"format": "maskschedule", "version": 1, "rule": []})", "unknown member \"rule\""},
      {with("[1, 0, 0, 0, 0], \"enable\"", "[1, 0, 0, 0], \"enable\""),
       "rules[0].mask: expected an array of 5 whole numbers"},
      {with("\"enable\": [1", "\"enable\": [\"x\""), "rules[0].enable[0]: expected a whole number"},
      {with("[1, 0, 0, 0, 0], \"enable\"", "[4294967296, 0, 0, 0, 0], \"enable\""),
       "rules[0].mask[0]"},
      {with("\"07:00:00\"", "\"25:00:00\""), "rules[0].time: expected a time \"HH:MM:SS\""},
      {with("\"07:00:00\"", "{\"hour\": 65536}"), "rules[0].time.hour"},
      {with("\"07:00:00\"", "{\"hours\": 7}"), "rules[0].time: unknown member \"hours\""},
      {with("\"MON\"", "\"MOM\""), "rules[0].weekdays[0]: expected one of SUN"},
      {with("[\"MON\"]", "[\"MON\"], \"days\": [0, 0, 1, 0, 0, 0, 0]"),
       "\"weekdays\" and \"days\" disagree"},
      {with("\"weekdays\": [\"MON\"]", "\"date\": \"2024-02-30\""),
       "rules[0].date: expected a date \"YYYY-MM-DD\""},
      {with("\"weekdays\": [\"MON\"]", "\"specialDay\": 1"), "needs \"date\" or \"days\""},
      {with("\"Gate\"", "\"" + std::string(260, 'x') + "\""),
       "rules[0].units[0].name: longer than 259 bytes"},
      {with("\"Gate\"", "\"\\u0100\""), "rules[0].units[0].name: expected a string of characters U+0000 to U+00FF"},
      {with("\"name\": \"Gate\"", "\"nameHex\": \"abc\""), "rules[0].units[0].nameHex"},
      {with("\"name\": \"Gate\"", "\"name\": \"Gate\", \"nameHex\": \"476174\""),
       "\"name\" differs from the text at the start of \"nameHex\""},
      {with("\"id\": 1", "\"id\": 2147483648"), "rules[0].units[0].id"},
      {with(", \"units\": [{\"id\": 1, \"name\": \"Gate\"}]", ""), "rules[0]: \"units\" is missing"},
      {doc(rule + ", " + rule + ", 7"), "rules[2]: expected an object"},
  };
  const std::string sample = Sample();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.json);
    Write(kWork / "target.kws", sample);
    Write(kWork / "bad.json", c.json);
    Result r = Tool("import bad.json target.kws");
    EXPECT_EQ(1, r.code);
    EXPECT_NE(std::string::npos, r.err.find(c.message)) << r.err;
    EXPECT_EQ(0u, r.err.find("maskschedule import: bad.json: ")) << r.err;
    EXPECT_EQ(1, Lines(r.err)) << r.err;
    EXPECT_EQ(sample, Read(kWork / "target.kws"));
  }
  // The unchanged rule itself is accepted.
  Write(kWork / "good.json", doc(rule));
  EXPECT_EQ(0, Tool("import good.json target.kws").code);
  EXPECT_EQ("target.kws: valid schedule file: 1 rule, 1 unit, 620 bytes\n",
            Tool("check target.kws").out);

  Write(kWork / "target.kws", sample);
  EXPECT_EQ(3, Tool("import missing.json target.kws").code);
  Result noFolder = Tool("import good.json no/such/folder/target.kws");
  EXPECT_EQ(3, noFolder.code);
  EXPECT_EQ(1, Lines(noFolder.err)) << noFolder.err;
  EXPECT_EQ(sample, Read(kWork / "target.kws"));
}

TEST_F(MaskScheduleCli, SimulateAWeekPrintsEverySwitchAndDrawsIt) {
  // Tuesday 5 March is a special day: its rule replaces the weekday plan.
  const std::string week =
      "2024-03-04 Mon 07:05:00  unit 1 %1: view 0 on, view 1 off\n"
      "2024-03-04 Mon 07:05:00  unit 2 %2: view 0 on, view 1 off\n"
      "2024-03-04 Mon 18:00:00  unit 1 %1: view 0 off\n"
      "2024-03-05 Tue 12:30:00  unit 2 %2: view 2 on\n"
      "2024-03-06 Wed 18:00:00  unit 1 %1: view 0 off\n"
      "2024-03-07 Thu 18:00:00  unit 1 %1: view 0 off\n"
      "2024-03-08 Fri 07:05:00  unit 1 %1: view 0 on, view 1 off\n"
      "2024-03-08 Fri 07:05:00  unit 2 %2: view 0 on, view 1 off\n"
      "2024-03-08 Fri 18:00:00  unit 1 %1: view 0 off\n"
      "# 9 switches from 2024-03-04 to 2024-03-10 (7 days)\n";
  auto named = [&](const std::string& one, const std::string& two) {
    std::string s = week;
    for (size_t p; (p = s.find("%1")) != std::string::npos;) s.replace(p, 2, one);
    for (size_t p; (p = s.find("%2")) != std::string::npos;) s.replace(p, 2, two);
    return s;
  };

  Result plain = Tool("simulate sample.kws --from 2024-03-04 --days 7 --svg week.svg");
  EXPECT_EQ(0, plain.code) << plain.err;
  EXPECT_EQ(named("Gate", "Yard"), plain.out);
  EXPECT_EQ("", plain.err);  // no progress when standard error is not a terminal

  const std::string svg = Read(kWork / "week.svg");
  EXPECT_EQ(0u, svg.find("<svg xmlns=\"http://www.w3.org/2000/svg\""));
  EXPECT_NE(std::string::npos, svg.rfind("</svg>\n"));
  for (const char* text : {"Gate (1) · view 0", "Gate (1) · view 1", "Yard (2) · view 2",
                           "Mon 04 Mar", "Sun 10 Mar", "12:00", "hidden zone on",
                           "hidden zone off", "unknown (before the first switch)"})
    EXPECT_NE(std::string::npos, svg.find(text)) << text;
  EXPECT_EQ(std::string::npos, svg.find("view 3")) << "a lane for a view no rule controls";

  Write(kWork / "units.txt", "# site names\n1 North gate\n\n  2\tYard east  \n");
  Result renamed = Tool("simulate sample.kws --from 2024-03-04 --days 7 --units units.txt");
  EXPECT_EQ(0, renamed.code) << renamed.err;
  EXPECT_EQ(named("North gate", "Yard east"), renamed.out);

  // Across a year's end, from a date whose weekday is computed: 2024-12-30 is a Monday.
  Result newYear = Tool("simulate sample.kws --from 2024-12-30 --days 5");
  EXPECT_EQ(0, newYear.code);
  EXPECT_NE(std::string::npos, newYear.out.find("2024-12-30 Mon 07:05:00  unit 1 Gate"));
  EXPECT_NE(std::string::npos, newYear.out.find("2025-01-03 Fri 18:00:00  unit 1 Gate"));
  EXPECT_EQ(std::string::npos, newYear.out.find("12:30:00"));
}

TEST_F(MaskScheduleCli, SimulateRejectsBadArguments) {
  Write(kWork / "keep.svg", "old picture");
  Write(kWork / "badunits.txt", "1 Gate\nGate 2\n");
  Write(kWork / "twice.txt", "1 Gate\n1 Yard\n");
  struct Case {
    std::string args;
    int code;
    const char* message;
  } cases[] = {
      {"--from 2024-02-30 --days 7", 2, "bad date '2024-02-30'"},
      {"--from 2024-3-4 --days 7", 2, "bad date '2024-3-4'"},
      {"--from tomorrow --days 7", 2, "bad date 'tomorrow'"},
      {"--from 2024-03-04 --days 0", 2, "bad --days '0'"},
      {"--from 2024-03-04 --days 3661", 2, "bad --days '3661'"},
      {"--from 2024-03-04 --days 7x", 2, "bad --days '7x'"},
      {"--from 2024-03-04", 2, "expected FILE --from DATE --days N"},
      {"--from 2024-03-04 --days", 2, "--days needs a value"},
      {"--from 2024-03-04 --days 7 --step 1", 2, "unknown option --step"},
      {"--from 2024-03-04 --days 7 --units badunits.txt", 1, "badunits.txt line 2"},
      {"--from 2024-03-04 --days 7 --units twice.txt", 1, "twice.txt line 2: unit 1 is named twice"},
      {"--from 2024-03-04 --days 7 --units nothere.txt", 3, "cannot open nothere.txt"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    Result r = Tool("simulate sample.kws " + c.args + " --svg keep.svg");
    EXPECT_EQ(c.code, r.code);
    EXPECT_EQ("", r.out);
    EXPECT_NE(std::string::npos, r.err.find(c.message)) << r.err;
    EXPECT_EQ(1, Lines(r.err)) << r.err;
  }
  EXPECT_EQ("old picture", Read(kWork / "keep.svg"));
}

}  // namespace
