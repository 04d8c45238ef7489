// INI profile functions, Linux stand-in (rules in Profile.h).
#include "Profile.h"

#include <stdio.h>
#include <string.h>
#include <strings.h>

#include <string>
#include <vector>

namespace {

struct Line {
  std::string raw;      // the line as in the file, without its line end
  enum Kind { kOther, kSection, kKey } kind = kOther;
  std::string name;     // section or key name, trimmed
  std::string value;    // key value, trimmed
};

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return s.substr(b, e - b);
}

bool SameName(const std::string& a, const char* b) { return strcasecmp(a.c_str(), b) == 0; }

// Reads and parses the file; a missing or unreadable file gives no lines.
std::vector<Line> Parse(const char* file, std::string* eol) {
  std::vector<Line> lines;
  *eol = "\r\n";
  FILE* f = fopen(file, "rb");
  if (!f) return lines;
  std::string text;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof(buf), f)) > 0) text.append(buf, n);
  fclose(f);
  if (!text.empty() && text.find("\r\n") == std::string::npos) *eol = "\n";
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    Line line;
    line.raw = text.substr(pos, end - pos);
    if (!line.raw.empty() && line.raw.back() == '\r') line.raw.pop_back();
    pos = end + 1;
    std::string t = Trim(line.raw);
    if (t.empty() || t[0] == ';') {
      line.kind = Line::kOther;
    } else if (t[0] == '[') {
      size_t close = t.find(']');
      line.kind = Line::kSection;
      line.name = Trim(t.substr(1, close == std::string::npos ? std::string::npos : close - 1));
    } else {
      size_t eq = t.find('=');
      line.kind = Line::kKey;
      line.name = Trim(t.substr(0, eq));
      if (eq != std::string::npos) line.value = Trim(t.substr(eq + 1));
    }
    lines.push_back(line);
  }
  return lines;
}

// Index of the first line of section (its header), or -1.
long FindSection(const std::vector<Line>& lines, const char* section) {
  for (size_t i = 0; i < lines.size(); ++i)
    if (lines[i].kind == Line::kSection && SameName(lines[i].name, section)) return (long)i;
  return -1;
}

// One past the last line belonging to the section that starts at header.
size_t SectionEnd(const std::vector<Line>& lines, size_t header) {
  size_t i = header + 1;
  while (i < lines.size() && lines[i].kind != Line::kSection) ++i;
  return i;
}

long FindKey(const std::vector<Line>& lines, size_t header, const char* key) {
  size_t end = SectionEnd(lines, header);
  for (size_t i = header + 1; i < end; ++i)
    if (lines[i].kind == Line::kKey && SameName(lines[i].name, key)) return (long)i;
  return -1;
}

std::string Unquote(const std::string& v) {
  if (v.size() >= 2 && (v[0] == '"' || v[0] == '\'') && v.back() == v[0])
    return v.substr(1, v.size() - 2);
  return v;
}

bool Store(const char* file, const std::vector<Line>& lines, const std::string& eol) {
  std::string text;
  for (const Line& l : lines) text += l.raw + eol;
  FILE* f = fopen(file, "wb");
  if (!f) return false;
  bool ok = fwrite(text.data(), 1, text.size(), f) == text.size();
  ok = (fclose(f) == 0) && ok;
  return ok;
}

Line KeyLine(const std::string& name, const char* value) {
  Line l;
  l.kind = Line::kKey;
  l.name = name;
  l.value = value;
  l.raw = name + "=" + value;
  return l;
}

}  // namespace

DWORD GetPrivateProfileStringA(const char* section, const char* key, const char* def,
                               char* buffer, DWORD size, const char* file) {
  if (!buffer || size == 0) return 0;
  buffer[0] = '\0';
  if (!section || !key || !file) return 0;
  std::string eol;
  std::vector<Line> lines = Parse(file, &eol);
  std::string value;
  long header = FindSection(lines, section);
  long at = header < 0 ? -1 : FindKey(lines, (size_t)header, key);
  if (at >= 0)
    value = Unquote(lines[(size_t)at].value);
  else if (def)
    value = Trim(def);
  size_t n = value.size() < size - 1 ? value.size() : size - 1;
  memcpy(buffer, value.data(), n);
  buffer[n] = '\0';
  return (DWORD)n;
}

BOOL WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                const char* file) {
  if (!section || !file) return 0;
  std::string eol;
  std::vector<Line> lines = Parse(file, &eol);
  long header = FindSection(lines, section);
  if (!key) {  // remove the whole section
    if (header >= 0)
      lines.erase(lines.begin() + header, lines.begin() + (long)SectionEnd(lines, (size_t)header));
    return Store(file, lines, eol);
  }
  if (header < 0) {
    if (!value) return 1;  // nothing to remove
    Line h;
    h.kind = Line::kSection;
    h.name = section;
    h.raw = std::string("[") + section + "]";
    lines.push_back(h);
    lines.push_back(KeyLine(key, value));
    return Store(file, lines, eol);
  }
  long at = FindKey(lines, (size_t)header, key);
  if (at >= 0) {
    if (value)
      lines[(size_t)at] = KeyLine(lines[(size_t)at].name, value);
    else
      lines.erase(lines.begin() + at);
    return Store(file, lines, eol);
  }
  if (!value) return 1;
  // Append after the section's last non-blank line.
  size_t end = SectionEnd(lines, (size_t)header);
  while (end > (size_t)header + 1 && Trim(lines[end - 1].raw).empty()) --end;
  lines.insert(lines.begin() + (long)end, KeyLine(key, value));
  return Store(file, lines, eol);
}
