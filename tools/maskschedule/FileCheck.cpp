// Diagnosis of a schedule file from its documented byte layout:
//   header   260 bytes  "KWS RUDU VEDERERU VERSION 0.0", a zero byte, then
//                       bytes that are not examined
//   count      4        rules, signed 32-bit little-endian, 0..64000
//   per rule  92 bytes (unit count at offset 88), then 264 bytes per unit
// The verdict follows what the library's Load accepts: every announced rule
// must be held in full; bytes after the last rule are ignored; a negative
// unit count reads as no units.
#include "FileCheck.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

#include "Tool.h"

namespace {

const char kHeaderText[] = "KWS RUDU VEDERERU VERSION 0.0";
const long long kHeaderTextSize = sizeof(kHeaderText);  // with its zero byte
const long long kHeaderSize = 260;
const long long kRulesStart = 264;
const long long kRuleSize = 92;
const long long kUnitSize = 264;
const int kMaxRules = 64000;

int32_t GetI32(const unsigned char* p) {
  return (int32_t)((uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) |
                   ((uint32_t)p[3] << 24));
}

class File {
 public:
  explicit File(const std::string& path) : m_path(path), m_f(fopen(path.c_str(), "rb")) {
    if (!m_f) Fail(kExitIo, Format("cannot open %s: %s", path.c_str(), strerror(errno)));
    struct stat st;
    if (fstat(fileno(m_f), &st) != 0 || !S_ISREG(st.st_mode)) {
      fclose(m_f);
      Fail(kExitIo, Format("cannot read %s: not a regular file", path.c_str()));
    }
    m_size = (long long)st.st_size;
  }
  ~File() { fclose(m_f); }
  long long Size() const { return m_size; }
  // Reads n bytes at offset; the caller has made sure the file holds them.
  void ReadAt(long long offset, unsigned char* p, size_t n) {
    if (fseeko(m_f, (off_t)offset, SEEK_SET) != 0 || fread(p, 1, n, m_f) != n)
      Fail(kExitIo, Format("cannot read %s at byte %lld: %s", m_path.c_str(), offset,
                           ferror(m_f) ? strerror(errno) : "the file became shorter"));
  }

 private:
  std::string m_path;
  FILE* m_f;
  long long m_size;
};

std::string Keeps(int complete) {
  if (complete == 0) return "the library loads no rule from it";
  if (complete == 1) return "the library loads only the first rule";
  return Format("the library loads only the first %d rules", complete);
}

}  // namespace

FileDiagnosis DiagnoseScheduleFile(const std::string& path) {
  FileDiagnosis d;
  File file(path);
  d.size = file.Size();

  unsigned char header[kHeaderTextSize];
  const long long headerBytes = d.size < kHeaderTextSize ? d.size : kHeaderTextSize;
  file.ReadAt(0, header, (size_t)headerBytes);
  if (headerBytes < kHeaderTextSize || memcmp(header, kHeaderText, kHeaderTextSize) != 0) {
    std::string found((const char*)header, (size_t)headerBytes);
    size_t zero = found.find('\0');
    if (zero != std::string::npos) found.resize(zero);
    if (found.size() > 40) found.resize(40);
    d.problem = Format(
        "not a schedule file: the header does not match (expected \"%s\" and a zero byte at "
        "byte 0, found \"%s\"%s)",
        kHeaderText, Printable(found).c_str(),
        d.size < kHeaderTextSize ? Format(" in a file of %lld bytes", d.size).c_str() : "");
    return d;
  }
  if (d.size < kRulesStart) {
    d.problem = Format(
        "file ends early: no rule count (the count takes bytes 260 to 263, file has %lld bytes)",
        d.size);
    return d;
  }
  unsigned char count[4];
  file.ReadAt(kHeaderSize, count, 4);
  const int32_t rules = GetI32(count);
  if (rules < 0 || rules > kMaxRules) {
    d.problem = Format("bad rule count %d at byte 260 (a schedule file holds 0 to %d rules)",
                       (int)rules, kMaxRules);
    return d;
  }
  d.ruleCount = rules;

  long long pos = kRulesStart;
  for (int i = 0; i < rules; ++i) {
    if (d.size - pos < kRuleSize) {
      d.problem = Format("rule %d of %d (index %d) ends at byte %lld or later, file has %lld "
                         "bytes; %s",
                         i + 1, (int)rules, i, pos + kRuleSize, d.size, Keeps(i).c_str());
      return d;
    }
    unsigned char record[kRuleSize];
    file.ReadAt(pos, record, (size_t)kRuleSize);
    int32_t units = GetI32(record + 88);
    if (units < 0) {
      d.notes.push_back(Format("rule %d (index %d) at byte %lld has a negative unit count (%d); "
                               "it is read as a rule without units",
                               i + 1, i, pos, (int)units));
      units = 0;
    }
    const long long end = pos + kRuleSize + (long long)units * kUnitSize;
    if (end > d.size) {
      d.problem = Format("rule %d of %d (index %d, %d unit%s) ends at byte %lld, file has %lld "
                         "bytes; %s",
                         i + 1, (int)rules, i, (int)units, units == 1 ? "" : "s", end, d.size,
                         Keeps(i).c_str());
      return d;
    }
    d.unitCount += units;
    d.completeRules = i + 1;
    pos = end;
  }
  if (pos < d.size)
    d.notes.push_back(Format("%lld byte%s after the last rule (from byte %lld) are ignored",
                             d.size - pos, d.size - pos == 1 ? "" : "s", pos));
  d.valid = true;
  return d;
}
