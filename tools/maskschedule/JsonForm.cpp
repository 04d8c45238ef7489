// export and import: the JSON form of a schedule (described in
// docs/json-format.md).
//
// Export writes every field the schedule file holds; import rebuilds the
// rules from it and saves them only after the whole document has been
// checked, so a bad document never touches the target file. For files the
// library writes, export -> import -> export gives the same JSON and the
// same schedule file byte for byte.
#include <errno.h>
#include <stdio.h>
#include <string.h>

#include <nlohmann/json.hpp>

#include "Tool.h"

using nlohmann::ordered_json;

namespace {

const char kFormat[] = "maskschedule";
const int kVersion = 1;
const int kMaxRules = 64000;
const char* const kTimeMembers[8] = {"year", "month", "dayOfWeek", "day",
                                     "hour", "minute", "second", "milliseconds"};

// ---------------------------------------------------------------------------
// Export
// ---------------------------------------------------------------------------

ordered_json TimeToJson(const SYSTEMTIME& t) {
  const WORD values[8] = {t.wYear, t.wMonth, t.wDayOfWeek, t.wDay,
                          t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
  ordered_json j = ordered_json::object();
  for (int i = 0; i < 8; ++i) j[kTimeMembers[i]] = values[i];
  return j;
}

std::string Hex(const char* p, size_t n) {
  std::string s;
  for (size_t i = 0; i < n; ++i) s += Format("%02x", (unsigned char)p[i]);
  return s;
}

ordered_json UnitToJson(const CKwMaskScheduleKws& unit) {
  ordered_json j = ordered_json::object();
  j["id"] = unit.nId;
  const std::string name = NameBytes(unit);
  j["name"] = Latin1ToUtf8(name);
  // The 260 bytes are more than a terminated name: keep all of them.
  size_t last = KW_NAME_SIZE;
  while (last > 0 && unit.szName[last - 1] == 0) --last;
  if (name.size() == KW_NAME_SIZE || last > name.size())
    j["nameHex"] = Hex(unit.szName, last);
  return j;
}

// Not const: GetAt moves the unit list's cursor.
ordered_json RuleToJson(MASK_SCHEDULE& rule) {
  ordered_json j = ordered_json::object();
  j["mask"] = ordered_json::array();
  j["enable"] = ordered_json::array();
  for (int v = 0; v < KW_VIEW_COUNT; ++v) {
    j["mask"].push_back(rule.bMask[v]);
    j["enable"].push_back(rule.bEnable[v]);
  }
  j["time"] = TimeToJson(rule.stTime);
  j["specialDay"] = rule.bSpecialDay;
  if (rule.bSpecialDay) {
    j["date"] = TimeToJson(rule.stDate);
  } else {
    j["weekdays"] = ordered_json::array();
    for (int k = 0; k < 7; ++k)
      if (rule.bWeekDay[k]) j["weekdays"].push_back(kWeekdayNames[k]);
  }
  int32_t words[7];
  memcpy(words, rule.bWeekDay, sizeof(words));
  j["days"] = ordered_json::array();
  for (int k = 0; k < 7; ++k) j["days"].push_back(words[k]);
  j["units"] = ordered_json::array();
  const int count = rule.arKws.GetSize();
  for (int k = 0; k < count; ++k) j["units"].push_back(UnitToJson(rule.arKws.GetAt(k)));
  return j;
}

// Objects and arrays whose members are all scalars go on one line; the rest
// is indented by two spaces per level.
bool Flat(const ordered_json& j) {
  for (const auto& item : j) {
    if (item.is_structured()) return false;
  }
  return true;
}

void Print(const ordered_json& j, int indent, std::string& out) {
  if (!j.is_structured()) {
    out += j.dump();
    return;
  }
  if (j.empty() || Flat(j)) {
    out += j.is_object() ? "{" : "[";
    bool first = true;
    for (auto it = j.begin(); it != j.end(); ++it) {
      out += first ? "" : ", ";
      if (j.is_object()) out += ordered_json(it.key()).dump() + ": ";
      out += it.value().dump();
      first = false;
    }
    out += j.is_object() ? "}" : "]";
    return;
  }
  const std::string pad((size_t)(indent + 2), ' ');
  out += j.is_object() ? "{\n" : "[\n";
  bool first = true;
  if (j.is_object()) {
    for (auto it = j.begin(); it != j.end(); ++it) {
      out += first ? "" : ",\n";
      out += pad + ordered_json(it.key()).dump() + ": ";
      Print(it.value(), indent + 2, out);
      first = false;
    }
  } else {
    for (const auto& item : j) {
      out += first ? "" : ",\n";
      out += pad;
      Print(item, indent + 2, out);
      first = false;
    }
  }
  out += "\n" + std::string((size_t)indent, ' ') + (j.is_object() ? "}" : "]");
}

// ---------------------------------------------------------------------------
// Import
// ---------------------------------------------------------------------------

// Reading one document; every failure names the place in it.
class Reader {
 public:
  explicit Reader(const std::string& file) : m_file(file) {}

  [[noreturn]] void Bad(const std::string& where, const std::string& what) const {
    Fail(kExitInvalid, m_file + ": " + where + ": " + what);
  }

  const ordered_json& Member(const ordered_json& obj, const std::string& where, const char* key,
                             bool required) const {
    static const ordered_json kNull;
    auto it = obj.find(key);
    if (it == obj.end()) {
      if (required) Bad(where, Format("\"%s\" is missing", key));
      return kNull;
    }
    return *it;
  }

  void OnlyKeys(const ordered_json& obj, const std::string& where,
                std::initializer_list<const char*> keys) const {
    if (!obj.is_object()) Bad(where, "expected an object");
    for (auto it = obj.begin(); it != obj.end(); ++it) {
      bool known = false;
      for (const char* k : keys) known = known || it.key() == k;
      if (!known) Bad(where, Format("unknown member \"%s\"", it.key().c_str()));
    }
  }

  long long Int(const ordered_json& j, const std::string& where, long long low,
                long long high) const {
    bool ok = j.is_number_integer();
    long long v = 0;
    if (ok && j.is_number_unsigned()) {
      unsigned long long u = j.get<unsigned long long>();
      ok = u <= (unsigned long long)high;
      v = (long long)u;
    } else if (ok) {
      v = j.get<long long>();
    }
    if (!ok || v < low || v > high)
      Bad(where, Format("expected a whole number from %lld to %lld", low, high));
    return v;
  }

  void IntArray(const ordered_json& j, const std::string& where, int32_t* out, size_t n) const {
    if (!j.is_array() || j.size() != n)
      Bad(where, Format("expected an array of %zu whole numbers", n));
    for (size_t i = 0; i < n; ++i)
      out[i] = (int32_t)Int(j[i], Format("%s[%zu]", where.c_str(), i), INT32_MIN, INT32_MAX);
  }

  // An object with the eight members (missing ones are 0), or the
  // shorthand "HH:MM:SS" (time) / "YYYY-MM-DD" (date).
  SYSTEMTIME Time(const ordered_json& j, const std::string& where, bool date) const {
    SYSTEMTIME t;
    memset(&t, 0, sizeof(t));
    if (j.is_string()) {
      const std::string s = j.get<std::string>();
      if (date) {
        CivilDate d;
        if (!ParseDate(s, &d)) Bad(where, "expected a date \"YYYY-MM-DD\" or an object");
        t.wYear = (WORD)d.year;
        t.wMonth = (WORD)d.month;
        t.wDay = (WORD)d.day;
        t.wDayOfWeek = (WORD)DayOfWeek(d);
      } else {
        long long h = 0, m = 0, sec = 0;
        if (s.size() != 8 || s[2] != ':' || s[5] != ':' || !ParseInt(s.substr(0, 2), 0, 23, &h) ||
            !ParseInt(s.substr(3, 2), 0, 59, &m) || !ParseInt(s.substr(6, 2), 0, 59, &sec))
          Bad(where, "expected a time \"HH:MM:SS\" or an object");
        t.wHour = (WORD)h;
        t.wMinute = (WORD)m;
        t.wSecond = (WORD)sec;
      }
      return t;
    }
    OnlyKeys(j, where, {"year", "month", "dayOfWeek", "day", "hour", "minute", "second",
                        "milliseconds"});
    WORD* members[8] = {&t.wYear, &t.wMonth, &t.wDayOfWeek, &t.wDay,
                        &t.wHour, &t.wMinute, &t.wSecond, &t.wMilliseconds};
    for (int i = 0; i < 8; ++i) {
      auto it = j.find(kTimeMembers[i]);
      if (it != j.end())
        *members[i] = (WORD)Int(*it, where + "." + kTimeMembers[i], 0, 65535);
    }
    return t;
  }

  int Hex(char c) const {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  }

  void Unit(const ordered_json& j, const std::string& where, CKwMaskScheduleKws* unit) const {
    OnlyKeys(j, where, {"id", "name", "nameHex"});
    unit->nId = (int32_t)Int(Member(j, where, "id", true), where + ".id", INT32_MIN, INT32_MAX);
    memset(unit->szName, 0, sizeof(unit->szName));
    const ordered_json& name = Member(j, where, "name", false);
    const ordered_json& hex = Member(j, where, "nameHex", false);
    std::string bytes;
    if (!name.is_null()) {
      if (!name.is_string() || !Utf8ToLatin1(name.get<std::string>(), &bytes))
        Bad(where + ".name", "expected a string of characters U+0000 to U+00FF");
      if (bytes.find('\0') != std::string::npos) Bad(where + ".name", "contains a zero character");
    }
    if (!hex.is_null()) {
      const std::string h = hex.is_string() ? hex.get<std::string>() : std::string("?");
      bool ok = h.size() % 2 == 0 && h.size() <= 2 * KW_NAME_SIZE;
      for (size_t i = 0; ok && i < h.size(); i += 2) {
        int hi = Hex(h[i]), lo = Hex(h[i + 1]);
        ok = hi >= 0 && lo >= 0;
        if (ok) unit->szName[i / 2] = (char)(hi * 16 + lo);
      }
      if (!ok) Bad(where + ".nameHex", "expected up to 260 bytes as pairs of hex digits");
      if (!name.is_null() && NameBytes(*unit) != bytes)
        Bad(where, "\"name\" differs from the text at the start of \"nameHex\"");
    } else {
      if (bytes.size() >= KW_NAME_SIZE)
        Bad(where + ".name", Format("longer than %d bytes", KW_NAME_SIZE - 1));
      memcpy(unit->szName, bytes.data(), bytes.size());
    }
  }

  void Rule(const ordered_json& j, const std::string& where, MASK_SCHEDULE* rule) const {
    OnlyKeys(j, where,
             {"mask", "enable", "time", "specialDay", "date", "weekdays", "days", "units"});
    IntArray(Member(j, where, "mask", true), where + ".mask", rule->bMask, KW_VIEW_COUNT);
    IntArray(Member(j, where, "enable", true), where + ".enable", rule->bEnable, KW_VIEW_COUNT);
    rule->stTime = Time(Member(j, where, "time", true), where + ".time", false);

    const ordered_json& date = Member(j, where, "date", false);
    const ordered_json& weekdays = Member(j, where, "weekdays", false);
    const ordered_json& days = Member(j, where, "days", false);
    const ordered_json& special = Member(j, where, "specialDay", false);
    rule->bSpecialDay = special.is_null()
                            ? (date.is_null() ? 0 : 1)
                            : (int32_t)Int(special, where + ".specialDay", INT32_MIN, INT32_MAX);

    int32_t words[7] = {0, 0, 0, 0, 0, 0, 0};
    if (!days.is_null()) IntArray(days, where + ".days", words, 7);
    if (rule->bSpecialDay) {
      if (!weekdays.is_null()) Bad(where, "\"weekdays\" given for a special-day rule");
      if (date.is_null() && days.is_null()) Bad(where, "a special-day rule needs \"date\" or \"days\"");
      if (!date.is_null()) {
        SYSTEMTIME d = Time(date, where + ".date", true);
        if (!days.is_null() && memcmp(&d, words, sizeof(d)) != 0)
          Bad(where, "\"date\" and the first four words of \"days\" disagree "
                     "(edit one and remove the other)");
        memcpy(words, &d, sizeof(d));
      }
    } else {
      if (!date.is_null()) Bad(where, "\"date\" given for a weekday rule (\"specialDay\" is 0)");
      if (weekdays.is_null() && days.is_null()) Bad(where, "a weekday rule needs \"weekdays\" or \"days\"");
      if (!weekdays.is_null()) {
        if (!weekdays.is_array()) Bad(where + ".weekdays", "expected an array of \"SUN\"..\"SAT\"");
        bool named[7] = {false, false, false, false, false, false, false};
        for (size_t i = 0; i < weekdays.size(); ++i) {
          const ordered_json& w = weekdays[i];
          int k = -1;
          for (int d = 0; d < 7 && w.is_string(); ++d)
            if (w.get<std::string>() == kWeekdayNames[d]) k = d;
          if (k < 0) Bad(Format("%s.weekdays[%zu]", where.c_str(), i), "expected one of SUN MON TUE WED THU FRI SAT");
          named[k] = true;
        }
        for (int k = 0; k < 7; ++k) {
          if (days.is_null()) {
            words[k] = named[k] ? 1 : 0;
          } else if (named[k] != (words[k] != 0)) {
            Bad(where, "\"weekdays\" and \"days\" disagree (edit one and remove the other)");
          }
        }
      }
    }
    memcpy(rule->bWeekDay, words, sizeof(words));

    const ordered_json& units = Member(j, where, "units", true);
    if (!units.is_array()) Bad(where + ".units", "expected an array");
    for (size_t k = 0; k < units.size(); ++k) {
      CKwMaskScheduleKws unit;
      Unit(units[k], Format("%s.units[%zu]", where.c_str(), k), &unit);
      if (!rule->arKws.Add(unit)) Fail(kExitIo, "out of memory");
    }
  }

 private:
  std::string m_file;
};

}  // namespace

int CmdExport(const std::vector<std::string>& args) {
  std::string input, output;
  for (size_t i = 0; i < args.size(); ++i) {
    if ((args[i] == "-o" || args[i] == "--output") && i + 1 < args.size())
      output = args[++i];
    else if (args[i].size() > 1 && args[i][0] == '-')
      Fail(kExitUsage, "unknown option " + args[i] + " (see 'maskschedule export --help')");
    else if (input.empty())
      input = args[i];
    else
      Fail(kExitUsage, "expected one schedule file (see 'maskschedule export --help')");
  }
  if (input.empty()) Fail(kExitUsage, "expected one schedule file (see 'maskschedule export --help')");

  ScheduleHolder schedule;
  LoadChecked(schedule, input);
  ordered_json doc = ordered_json::object();
  doc["format"] = kFormat;
  doc["version"] = kVersion;
  doc["rules"] = ordered_json::array();
  CKwMaskScheduleArray& rules = schedule.GetScheduleArray();
  for (int i = 0; i < rules.GetSize(); ++i) doc["rules"].push_back(RuleToJson(rules.GetAt(i)));

  std::string text;
  Print(doc, 0, text);
  text += "\n";
  if (!output.empty()) {
    WriteFileReplacing(output, text);
  } else if (fwrite(text.data(), 1, text.size(), stdout) != text.size() || fflush(stdout) != 0) {
    Fail(kExitIo, Format("cannot write to standard output: %s", strerror(errno)));
  }
  return kExitOk;
}

int CmdImport(const std::vector<std::string>& args) {
  std::vector<std::string> files;
  for (const std::string& a : args) {
    if (a.size() > 1 && a[0] == '-')
      Fail(kExitUsage, "unknown option " + a + " (see 'maskschedule import --help')");
    files.push_back(a);
  }
  if (files.size() != 2)
    Fail(kExitUsage, "expected a JSON file and a schedule file (see 'maskschedule import --help')");
  const std::string& jsonPath = files[0];
  const std::string& target = files[1];

  ordered_json doc;
  try {
    doc = ordered_json::parse(ReadAll(jsonPath));
  } catch (const nlohmann::json::exception& e) {
    std::string what = e.what();
    size_t close = what.find("] ");
    if (close != std::string::npos) what = what.substr(close + 2);
    Fail(kExitInvalid, jsonPath + ": bad JSON: " + what);
  }

  Reader reader(jsonPath);
  reader.OnlyKeys(doc, "document", {"format", "version", "rules"});
  const ordered_json& format = reader.Member(doc, "document", "format", true);
  if (!format.is_string() || format.get<std::string>() != kFormat)
    reader.Bad("format", Format("expected \"%s\"", kFormat));
  if (reader.Int(reader.Member(doc, "document", "version", true), "version", 0, 1000000) !=
      kVersion)
    reader.Bad("version", Format("this tool reads version %d", kVersion));
  const ordered_json& rules = reader.Member(doc, "document", "rules", true);
  if (!rules.is_array()) reader.Bad("rules", "expected an array");
  if (rules.size() > (size_t)kMaxRules)
    reader.Bad("rules", Format("%zu rules are more than a schedule file holds (%d)", rules.size(),
                               kMaxRules));

  // Everything is checked before the target is touched.
  ScheduleHolder schedule;
  for (size_t i = 0; i < rules.size(); ++i) {
    MASK_SCHEDULE rule;
    reader.Rule(rules[i], Format("rules[%zu]", i), &rule);
    if (!schedule.Add(&rule)) Fail(kExitIo, "out of memory");
  }
  if (!schedule.Save(target.c_str()))
    Fail(kExitIo, Format("cannot write %s (it is unchanged)", target.c_str()));
  printf("%s: %zu rule%s written\n", target.c_str(), rules.size(), rules.size() == 1 ? "" : "s");
  return kExitOk;
}
