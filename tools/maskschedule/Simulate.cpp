// simulate: runs the library's engine through a period with a simulated
// clock and reports every switch command, optionally as an SVG timeline.
//
// The clock is the SYSTEMTIME handed to OnTimer. The engine evaluates as
// soon as the host's time of day reaches its nearest pending rule and arms
// the rules again whenever the date changes, so each simulated day needs one
// call at midnight and one at each distinct time of day that a rule names;
// a call in between could change nothing.
#include <stdio.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <set>

#include "Tool.h"

namespace {

const int kMaxDays = 3660;
const int kSecondsPerDay = 86400;

struct Switch {
  long long at;  // seconds since the start of the first day
  CKwMaskScheduleKws unit;
  int mask[KW_VIEW_COUNT];
  int set[KW_VIEW_COUNT];
};

class SimulatedHost : public CKwMaskSchedule {
 public:
  long long now = 0;
  std::vector<Switch> switches;

  void MaskSwitch(CKwMaskScheduleKwsSwitch& sw) override {
    Switch s;
    s.at = now;
    s.unit = sw.stKws;
    memcpy(s.mask, sw.bMask, sizeof(s.mask));
    memcpy(s.set, sw.bSet, sizeof(s.set));
    switches.push_back(s);
  }
};

// Progress on standard error for runs that take a while on a terminal.
class Progress {
 public:
  explicit Progress(int days) : m_days(days), m_tty(isatty(2) != 0), m_shown(false) {
    clock_gettime(CLOCK_MONOTONIC, &m_start);
    m_last = m_start;
  }
  void Day(int day) {
    if (!m_tty) return;
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    if (Seconds(m_start, now) < 0.5 || Seconds(m_last, now) < 0.1) return;
    m_last = now;
    fprintf(stderr, "\rsimulating: day %d of %d (%d%%)", day + 1, m_days, day * 100 / m_days);
    m_shown = true;
  }
  ~Progress() {
    if (m_shown) fprintf(stderr, "\r%60s\r", "");
  }

 private:
  static double Seconds(const timespec& a, const timespec& b) {
    return (double)(b.tv_sec - a.tv_sec) + (double)(b.tv_nsec - a.tv_nsec) / 1e9;
  }
  int m_days;
  bool m_tty;
  bool m_shown;
  timespec m_start;
  timespec m_last;
};

std::string UnitLabel(int id, const std::string& scheduleName, const UnitNames& names) {
  const std::string* given = names.Find(id);
  const std::string name = given ? *given : Printable(scheduleName);
  return name.empty() ? Format("unit %d", id) : Format("unit %d %s", id, name.c_str());
}

std::string XmlText(const std::string& bytes, bool latin1) {
  const std::string text = latin1 ? Latin1ToUtf8(bytes) : bytes;
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default:
        if ((unsigned char)c >= 0x20 || c == '\t') out += c;
    }
  }
  return out;
}

struct Lane {
  int id;
  int view;
  std::string name;  // from --units, else the schedule's first name for the id
};

// One lane per unit and view that some rule controls.
std::vector<Lane> CollectLanes(CKwMaskScheduleArray& rules, const UnitNames& names) {
  std::map<std::pair<int, int>, std::string> lanes;
  std::map<int, std::string> scheduleNames;
  for (int i = 0; i < rules.GetSize(); ++i) {
    MASK_SCHEDULE_EX& rule = rules.GetAt(i);
    for (int k = 0; k < rule.arKws.GetSize(); ++k) {
      CKwMaskScheduleKws& unit = rule.arKws.GetAt(k);
      std::string& name = scheduleNames[unit.nId];
      if (name.empty()) name = NameBytes(unit);
      for (int v = 0; v < KW_VIEW_COUNT; ++v)
        if (rule.bEnable[v]) lanes[std::make_pair(unit.nId, v)];
    }
  }
  std::vector<Lane> result;
  for (const auto& entry : lanes) {
    Lane lane;
    lane.id = entry.first.first;
    lane.view = entry.first.second;
    const std::string* given = names.Find(lane.id);
    lane.name = given ? *given : Latin1ToUtf8(scheduleNames[lane.id]);
    result.push_back(lane);
  }
  return result;
}

std::string Svg(const std::string& title, const CivilDate& from, int days,
                const std::vector<Lane>& lanes, const std::vector<Switch>& switches) {
  const int labelWidth = 200;
  const int plotWidth = std::min(1400, std::max(700, days * 140));
  const int laneHeight = 18;
  const int laneGap = 4;
  const int unitGap = 10;
  const int top = 64;
  const double dayWidth = (double)plotWidth / days;
  const double total = (double)days * kSecondsPerDay;

  // Lane positions, with a gap between units.
  std::vector<int> laneY;
  int y = top;
  for (size_t i = 0; i < lanes.size(); ++i) {
    if (i > 0 && lanes[i].id != lanes[i - 1].id) y += unitGap;
    laneY.push_back(y);
    y += laneHeight + laneGap;
  }
  const int plotBottom = lanes.empty() ? top + laneHeight : y - laneGap;
  const int height = plotBottom + 80;
  const int width = labelWidth + plotWidth + 20;
  auto X = [&](double seconds) { return labelWidth + seconds / total * plotWidth; };

  std::string s;
  s += Format("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%d\" height=\"%d\" "
              "viewBox=\"0 0 %d %d\" font-family=\"DejaVu Sans, Arial, sans-serif\" "
              "font-size=\"12\">\n",
              width, height, width, height);
  s += "<defs><pattern id=\"unknown\" width=\"6\" height=\"6\" patternUnits=\"userSpaceOnUse\" "
       "patternTransform=\"rotate(45)\"><rect width=\"6\" height=\"6\" fill=\"#ffffff\"/>"
       "<line x1=\"0\" y1=\"0\" x2=\"0\" y2=\"6\" stroke=\"#b0b0b0\" stroke-width=\"2\"/>"
       "</pattern></defs>\n";
  s += Format("<rect width=\"%d\" height=\"%d\" fill=\"#ffffff\"/>\n", width, height);
  s += Format("<text x=\"10\" y=\"22\" font-size=\"15\" font-weight=\"bold\">%s</text>\n",
              XmlText(title, false).c_str());

  // Day bands and labels: every day gets a band, labels thin out when crowded.
  int labelEvery = 1;
  while (dayWidth * labelEvery < 80) ++labelEvery;
  const int64_t first = DaysFromCivil(from);
  for (int d = 0; d < days; ++d) {
    const double x0 = labelWidth + d * dayWidth;
    s += Format("<rect x=\"%.1f\" y=\"%d\" width=\"%.1f\" height=\"%d\" fill=\"%s\"/>\n", x0,
                top - 22, dayWidth, plotBottom - top + 22, d % 2 ? "#f2f2f2" : "#fafafa");
    if (d % labelEvery == 0) {
      CivilDate c = CivilFromDays(first + d);
      s += Format("<text x=\"%.1f\" y=\"%d\" text-anchor=\"%s\">%s %02d %s</text>\n",
                  labelEvery == 1 ? x0 + dayWidth / 2 : x0 + 2, top - 8,
                  labelEvery == 1 ? "middle" : "start", kDayNames[DayOfWeek(c)], c.day,
                  kMonthNames[c.month - 1]);
    }
  }
  // Hour grid and labels below the lanes.
  int hourStep = dayWidth >= 160 ? 6 : dayWidth >= 60 ? 12 : 0;
  for (int d = 0; d < days; ++d) {
    for (int h = 0; h < 24; h += hourStep ? hourStep : 24) {
      const double x = X((double)d * kSecondsPerDay + h * 3600.0);
      const bool midnight = h == 0;
      s += Format("<line x1=\"%.1f\" y1=\"%d\" x2=\"%.1f\" y2=\"%d\" stroke=\"%s\" "
                  "stroke-width=\"1\"%s/>\n",
                  x, top - 22, x, plotBottom + 4, midnight ? "#808080" : "#c8c8c8",
                  midnight ? "" : " stroke-dasharray=\"3,3\"");
      if (hourStep && (midnight ? d % labelEvery == 0 : true))
        s += Format("<text x=\"%.1f\" y=\"%d\" text-anchor=\"middle\" font-size=\"10\" "
                    "fill=\"#555555\">%02d:00</text>\n",
                    x, plotBottom + 16, h);
    }
  }

  // Lanes: unknown until the first switch of the view, then on or off.
  for (size_t i = 0; i < lanes.size(); ++i) {
    const Lane& lane = lanes[i];
    const int ly = laneY[i];
    std::string label = lane.name.empty() ? Format("unit %d", lane.id)
                                          : Format("%s (%d)", lane.name.c_str(), lane.id);
    s += Format("<text x=\"%d\" y=\"%d\" text-anchor=\"end\">%s · view %d</text>\n",
                labelWidth - 8, ly + 13, XmlText(label, false).c_str(), lane.view);
    double from = 0;
    const char* fill = "url(#unknown)";
    auto segment = [&](double to) {
      if (to > from)
        s += Format("<rect x=\"%.2f\" y=\"%d\" width=\"%.2f\" height=\"%d\" fill=\"%s\"/>\n",
                    X(from), ly, X(to) - X(from), laneHeight, fill);
    };
    for (const Switch& sw : switches) {
      if (sw.unit.nId != lane.id || !sw.set[lane.view]) continue;
      const char* next = sw.mask[lane.view] ? "#2a5db0" : "#a8d5a2";
      if (next == fill) continue;  // no change: the segment goes on
      segment((double)sw.at);
      from = (double)sw.at;
      fill = next;
    }
    segment(total);
    s += Format("<rect x=\"%d\" y=\"%d\" width=\"%d\" height=\"%d\" fill=\"none\" "
                "stroke=\"#606060\" stroke-width=\"0.8\"/>\n",
                labelWidth, ly, plotWidth, laneHeight);
  }
  if (lanes.empty())
    s += Format("<text x=\"%d\" y=\"%d\">no rule controls any view of any unit</text>\n",
                labelWidth + 10, top + 13);

  // Legend.
  const int ly = plotBottom + 40;
  struct Key {
    const char* fill;
    const char* text;
  } keys[] = {{"#2a5db0", "hidden zone on"},
              {"#a8d5a2", "hidden zone off"},
              {"url(#unknown)", "unknown (before the first switch)"}};
  int lx = labelWidth;
  for (const Key& k : keys) {
    s += Format("<rect x=\"%d\" y=\"%d\" width=\"28\" height=\"14\" fill=\"%s\" "
                "stroke=\"#606060\" stroke-width=\"0.8\"/>\n",
                lx, ly, k.fill);
    s += Format("<text x=\"%d\" y=\"%d\">%s</text>\n", lx + 36, ly + 12, k.text);
    lx += 60 + (int)strlen(k.text) * 7;
  }
  s += "</svg>\n";
  return s;
}

std::string ViewsText(const Switch& sw) {
  std::string text;
  for (int v = 0; v < KW_VIEW_COUNT; ++v) {
    if (!sw.set[v]) continue;
    if (!text.empty()) text += ", ";
    text += Format("view %d %s", v, sw.mask[v] ? "on" : "off");
  }
  return text.empty() ? "(no view set)" : text;
}

}  // namespace

int CmdSimulate(const std::vector<std::string>& args) {
  std::string file, fromText, daysText, unitsFile, svgFile;
  bool haveDays = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string* out) {
      if (i + 1 >= args.size() || args[i + 1].compare(0, 2, "--") == 0)
        Fail(kExitUsage, a + " needs a value (see 'maskschedule simulate --help')");
      *out = args[++i];
    };
    if (a == "--from")
      value(&fromText);
    else if (a == "--days")
      value(&daysText), haveDays = true;
    else if (a == "--units")
      value(&unitsFile);
    else if (a == "--svg")
      value(&svgFile);
    else if (a.size() > 1 && a[0] == '-')
      Fail(kExitUsage, "unknown option " + a + " (see 'maskschedule simulate --help')");
    else if (file.empty())
      file = a;
    else
      Fail(kExitUsage, "expected one schedule file (see 'maskschedule simulate --help')");
  }
  if (file.empty() || fromText.empty() || !haveDays)
    Fail(kExitUsage, "expected FILE --from DATE --days N (see 'maskschedule simulate --help')");
  CivilDate from;
  if (!ParseDate(fromText, &from))
    Fail(kExitUsage, "bad date '" + fromText + "': expected a calendar date YYYY-MM-DD");
  long long days = 0;
  if (!ParseInt(daysText, 1, kMaxDays, &days))
    Fail(kExitUsage, Format("bad --days '%s': expected a whole number from 1 to %d",
                            daysText.c_str(), kMaxDays));
  const int64_t firstDay = DaysFromCivil(from);
  if (CivilFromDays(firstDay + days - 1).year > 9999)
    Fail(kExitUsage, "the period must end by 9999-12-31");

  UnitNames names;
  if (!unitsFile.empty()) names = ReadUnitNames(unitsFile);

  SimulatedHost host;
  host.Create();
  LoadChecked(host, file);
  CKwMaskScheduleArray& rules = host.GetScheduleArray();

  // Midnight and every time of day a rule names.
  std::set<int> times;
  times.insert(0);
  for (int i = 0; i < rules.GetSize(); ++i) {
    int sec = RuleSecondsOfDay(rules.GetAt(i));
    if (sec < kSecondsPerDay) times.insert(sec);
  }
  std::vector<Lane> lanes = CollectLanes(rules, names);

  {
    Progress progress((int)days);
    for (int d = 0; d < days; ++d) {
      progress.Day(d);
      CivilDate c = CivilFromDays(firstDay + d);
      SYSTEMTIME now;
      memset(&now, 0, sizeof(now));
      now.wYear = (WORD)c.year;
      now.wMonth = (WORD)c.month;
      now.wDay = (WORD)c.day;
      now.wDayOfWeek = (WORD)DayOfWeek(c);
      for (int sec : times) {
        now.wHour = (WORD)(sec / 3600);
        now.wMinute = (WORD)(sec / 60 % 60);
        now.wSecond = (WORD)(sec % 60);
        host.now = (long long)d * kSecondsPerDay + sec;
        host.OnTimer(&now);
      }
    }
  }

  for (const Switch& sw : host.switches) {
    CivilDate c = CivilFromDays(firstDay + sw.at / kSecondsPerDay);
    const int sec = (int)(sw.at % kSecondsPerDay);
    printf("%s %s %02d:%02d:%02d  %s: %s\n", DateText(c).c_str(), kDayNames[DayOfWeek(c)],
           sec / 3600, sec / 60 % 60, sec % 60,
           UnitLabel(sw.unit.nId, NameBytes(sw.unit), names).c_str(), ViewsText(sw).c_str());
  }
  const CivilDate last = CivilFromDays(firstDay + days - 1);
  printf("# %zu switch%s from %s to %s (%lld day%s)\n", host.switches.size(),
         host.switches.size() == 1 ? "" : "es", DateText(from).c_str(), DateText(last).c_str(),
         days, days == 1 ? "" : "s");
  if (fflush(stdout) != 0) Fail(kExitIo, "cannot write to standard output");

  if (!svgFile.empty()) {
    std::string base = file.substr(file.find_last_of('/') == std::string::npos
                                       ? 0
                                       : file.find_last_of('/') + 1);
    std::string title = Format("%s: %s %s to %s %s", base.c_str(), kDayNames[DayOfWeek(from)],
                               DateText(from).c_str(), kDayNames[DayOfWeek(last)],
                               DateText(last).c_str());
    WriteFileReplacing(svgFile, Svg(title, from, (int)days, lanes, host.switches));
  }
  return kExitOk;
}
