// The schedule file: Save and Load.
//
// Layout, all integers little-endian, no gaps:
//   header   260 bytes  "KWS RUDU VEDERERU VERSION 0.0", then zero bytes
//   count      4        number of rules, 0..64000
//   rules             one record each, in list order:
//     bMask 5 x int32, bEnable 5 x int32, stTime 8 x uint16, bSpecialDay
//     int32, weekday/date storage 28 bytes, unit count int32   (92 bytes)
//     then per unit: nId int32, szName 260 bytes               (264 bytes)
// Records are encoded field by field, so the file is the same whatever the
// compiler does with the in-memory layout.
//
// Save never touches the previous file until the new one is complete on the
// disk (DurableFile.h). Load trusts nothing it reads: a file that ends early
// or cannot be read keeps only the rules it holds in full and says so.
#include <stdint.h>
#include <string.h>

#include <memory>
#include <new>

#include "DurableFile.h"
#include "MaskScheduleEngine.h"

namespace {

const int kError = 2;
const char* const kLoad = "CKwMaskScheduleEngine::Load";
const char* const kSave = "CKwMaskScheduleEngine::Save";

const char kHeaderText[] = "KWS RUDU VEDERERU VERSION 0.0";
const size_t kHeaderTextSize = sizeof(kHeaderText);  // with its zero byte
const size_t kHeaderSize = 260;
const size_t kCountSize = 4;
const size_t kRuleSize = 92;   // a rule record without its units
const size_t kUnitSize = 264;
const int kMaxRules = 64000;
const size_t kBufferSize = 256 * 1024;

void PutI32(unsigned char* p, int32_t value) {
  uint32_t v = (uint32_t)value;
  p[0] = (unsigned char)v;
  p[1] = (unsigned char)(v >> 8);
  p[2] = (unsigned char)(v >> 16);
  p[3] = (unsigned char)(v >> 24);
}

void PutU16(unsigned char* p, uint16_t v) {
  p[0] = (unsigned char)v;
  p[1] = (unsigned char)(v >> 8);
}

int32_t GetI32(const unsigned char* p) {
  uint32_t v = (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) |
               ((uint32_t)p[3] << 24);
  return (int32_t)v;
}

uint16_t GetU16(const unsigned char* p) { return (uint16_t)(p[0] | (p[1] << 8)); }

void PutTime(unsigned char* p, const SYSTEMTIME& t) {
  PutU16(p + 0, t.wYear);
  PutU16(p + 2, t.wMonth);
  PutU16(p + 4, t.wDayOfWeek);
  PutU16(p + 6, t.wDay);
  PutU16(p + 8, t.wHour);
  PutU16(p + 10, t.wMinute);
  PutU16(p + 12, t.wSecond);
  PutU16(p + 14, t.wMilliseconds);
}

void GetTime(const unsigned char* p, SYSTEMTIME& t) {
  t.wYear = GetU16(p + 0);
  t.wMonth = GetU16(p + 2);
  t.wDayOfWeek = GetU16(p + 4);
  t.wDay = GetU16(p + 6);
  t.wHour = GetU16(p + 8);
  t.wMinute = GetU16(p + 10);
  t.wSecond = GetU16(p + 12);
  t.wMilliseconds = GetU16(p + 14);
}

// The 28-byte weekday/date storage holds whichever reading bSpecialDay
// selects; the date takes its first 16 bytes, and the weekday flags 4 to 6
// keep the last 12 in both readings.
void EncodeRule(const MASK_SCHEDULE& r, int32_t unitCount, unsigned char* p) {
  for (int v = 0; v < KW_VIEW_COUNT; ++v) PutI32(p + 4 * v, r.bMask[v]);
  for (int v = 0; v < KW_VIEW_COUNT; ++v) PutI32(p + 20 + 4 * v, r.bEnable[v]);
  PutTime(p + 40, r.stTime);
  PutI32(p + 56, r.bSpecialDay);
  int first = 0;
  if (r.bSpecialDay) {
    PutTime(p + 60, r.stDate);
    first = 4;
  }
  for (int d = first; d < 7; ++d) PutI32(p + 60 + 4 * d, r.bWeekDay[d]);
  PutI32(p + 88, unitCount);
}

// Fills every stored field of r; the unit list is left alone.
int32_t DecodeRule(const unsigned char* p, MASK_SCHEDULE& r) {
  for (int v = 0; v < KW_VIEW_COUNT; ++v) r.bMask[v] = GetI32(p + 4 * v);
  for (int v = 0; v < KW_VIEW_COUNT; ++v) r.bEnable[v] = GetI32(p + 20 + 4 * v);
  GetTime(p + 40, r.stTime);
  r.bSpecialDay = GetI32(p + 56);
  int first = 0;
  if (r.bSpecialDay) {
    GetTime(p + 60, r.stDate);
    first = 4;
  }
  for (int d = first; d < 7; ++d) r.bWeekDay[d] = GetI32(p + 60 + 4 * d);
  return GetI32(p + 88);
}

void EncodeUnit(const CKwMaskScheduleKws& u, unsigned char* p) {
  PutI32(p, u.nId);
  memcpy(p + 4, u.szName, KW_NAME_SIZE);
}

void DecodeUnit(const unsigned char* p, CKwMaskScheduleKws& u) {
  u.nId = GetI32(p);
  memcpy(u.szName, p + 4, KW_NAME_SIZE);
}

// Collects records in a large buffer and hands it to the file in big writes.
class Writer {
 public:
  explicit Writer(KwDurableFile& file)
      : m_file(file), m_buffer(new unsigned char[kBufferSize]), m_used(0) {}

  // Room for n <= kBufferSize bytes, or null when writing out failed.
  unsigned char* Reserve(size_t n) {
    if (kBufferSize - m_used < n && !Flush()) return nullptr;
    unsigned char* p = m_buffer.get() + m_used;
    m_used += n;
    return p;
  }
  bool Flush() {
    if (m_used == 0) return true;
    size_t n = m_used;
    m_used = 0;
    return m_file.Write(m_buffer.get(), n) != 0;
  }

 private:
  KwDurableFile& m_file;
  std::unique_ptr<unsigned char[]> m_buffer;
  size_t m_used;
};

// Reads the file in large chunks and hands out records in place.
class Reader {
 public:
  explicit Reader(KwInputFile& file)
      : m_file(file), m_buffer(new unsigned char[kBufferSize]), m_pos(0), m_end(0),
        m_bEof(false), m_bError(false) {}

  // The next n <= kBufferSize bytes, or null when the file ends before them
  // or cannot be read; the bytes that were there stay in Available().
  const unsigned char* Take(size_t n) {
    if (m_end - m_pos < n) {
      memmove(m_buffer.get(), m_buffer.get() + m_pos, m_end - m_pos);
      m_end -= m_pos;
      m_pos = 0;
      while (m_end < n) {
        if (m_bEof || m_bError) return nullptr;
        long long got = m_file.Read(m_buffer.get() + m_end, kBufferSize - m_end);
        if (got < 0)
          m_bError = true;
        else if (got == 0)
          m_bEof = true;
        else
          m_end += (size_t)got;
      }
    }
    const unsigned char* p = m_buffer.get() + m_pos;
    m_pos += n;
    return p;
  }
  const unsigned char* Data() const { return m_buffer.get() + m_pos; }
  size_t Available() const { return m_end - m_pos; }
  bool Failed() const { return m_bError; }

 private:
  KwInputFile& m_file;
  std::unique_ptr<unsigned char[]> m_buffer;
  size_t m_pos;
  size_t m_end;
  bool m_bEof;
  bool m_bError;
};

}  // namespace

int CKwMaskScheduleEngine::Save(const char* path) {
  if (!path) {
    CKwLogger::Log(0, kError, this, kSave, "No file name given; nothing saved");
    return 0;
  }
  const int count = m_arSchedule.GetSize();
  if (count > kMaxRules) {
    // Load refuses such a file, so writing it would lose the schedule.
    CKwLogger::Log(0, kError, this, kSave,
                   "%d rules are more than a schedule file holds (%d); %s is unchanged", count,
                   kMaxRules, path);
    return 0;
  }
  try {
    KwDurableFile out;  // removes its temporary file on every way out
    bool ok = out.Open(path) != 0;
    if (ok) {
      Writer writer(out);
      unsigned char* p = writer.Reserve(kHeaderSize + kCountSize);
      ok = p != nullptr;
      if (ok) {
        memset(p, 0, kHeaderSize);
        memcpy(p, kHeaderText, kHeaderTextSize);
        PutI32(p + kHeaderSize, count);
      }
      for (int i = 0; ok && i < count; ++i) {
        MASK_SCHEDULE_EX& rule = m_arSchedule.GetAt(i);
        const int units = rule.arKws.GetSize();
        p = writer.Reserve(kRuleSize);
        ok = p != nullptr;
        if (ok) EncodeRule(rule, units, p);
        for (int j = 0; ok && j < units; ++j) {
          p = writer.Reserve(kUnitSize);
          ok = p != nullptr;
          if (ok) EncodeUnit(rule.arKws.GetAt(j), p);
        }
      }
      ok = ok && writer.Flush() && out.Commit();
    }
    if (!ok) {
      CKwLogger::Log(0, kError, this, kSave,
                     "Can't save %s: %s failed (error %d); the previous file is unchanged", path,
                     out.Failure(), out.Error());
      return 0;
    }
    return 1;
  } catch (...) {
    CKwLogger::Log(0, kError, this, kSave, "C++ exception");
    return 0;
  }
}

int CKwMaskScheduleEngine::Load(const char* path) {
  if (!path) {
    CKwLogger::Log(0, kError, this, kLoad, "No file name given; nothing loaded");
    return 0;
  }
  KwInputFile in;
  try {
    if (!in.Open(path)) return 0;  // no file yet is normal: not reported
  } catch (...) {
    CKwLogger::Log(0, kError, this, kLoad, "C++ exception");
    return 0;
  }

  int count = 0;
  int loaded = 0;
  bool counted = false;  // header and count were good: rules may be added
  bool partial = false;  // the last rule in the list is still being read
  try {
    Reader reader(in);
    const unsigned char* p = reader.Take(kHeaderSize);
    const unsigned char* header = p ? p : reader.Data();
    size_t headerBytes = p ? kHeaderSize : reader.Available();
    if (headerBytes < kHeaderTextSize || memcmp(header, kHeaderText, kHeaderTextSize) != 0) {
      if (reader.Failed()) {
        CKwLogger::Log(0, kError, this, kLoad, "Can't read %s (error %d); nothing loaded", path,
                       in.Error());
        return 0;
      }
      // Not a schedule file (or another version): hosts take this as
      // "nothing to load", so it is not a failure.
      CKwLogger::Log(0, kError, this, kLoad,
                     "%s is not a schedule file (header does not match); nothing loaded", path);
      return 1;
    }
    if (p) p = reader.Take(kCountSize);
    if (!p) {
      if (reader.Failed())
        CKwLogger::Log(0, kError, this, kLoad, "Can't read %s (error %d); nothing loaded", path,
                       in.Error());
      else
        CKwLogger::Log(0, kError, this, kLoad,
                       "%s: file ends early: no rule count; nothing loaded", path);
      return 0;
    }
    count = GetI32(p);
    if (count < 0 || count > kMaxRules) {
      CKwLogger::Log(0, kError, this, kLoad,
                     "%s: rule count %d is outside 0..%d; nothing loaded", path, count, kMaxRules);
      return 0;
    }
    counted = true;

    // What the rest of the file can hold bounds every unit count, so a
    // damaged count costs no more than the file's own size.
    long long left = in.Size() >= 0 ? in.Size() - (long long)(kHeaderSize + kCountSize) : -1;
    // Every rule is built in place in its own list node, as the engine's Add
    // would store it (a deep copy, armed), so that each rule and each unit
    // costs one allocation and no copy. A rule the file cuts short is taken
    // out again; a rule or unit without memory is dropped, as Add drops it.
    bool complete = true;
    for (int i = 0; i < count; ++i) {
      p = reader.Take(kRuleSize);
      if (!p) {
        complete = false;
        break;
      }
      if (left >= 0) left -= (long long)kRuleSize;
      MASK_SCHEDULE_EX dropped;
      MASK_SCHEDULE_EX* rule = &dropped;
      if (m_arSchedule.AddEmpty()) {
        rule = &m_arSchedule.GetAt(m_arSchedule.GetSize() - 1);
        partial = true;
      }
      int32_t units = DecodeRule(p, *rule);
      rule->bActive = 1;
      if (units < 0) units = 0;  // nothing to read
      if (left >= 0 && (long long)units > left / (long long)kUnitSize) {
        complete = false;  // the file cannot hold them
      }
      for (int32_t j = 0; j < units && complete; ++j) {
        p = reader.Take(kUnitSize);
        if (!p) {
          complete = false;
        } else {
          CKwMaskScheduleKws unit;
          DecodeUnit(p, unit);
          rule->arKws.Add(unit);  // written once, into its own node
        }
      }
      if (!complete) {
        if (partial) m_arSchedule.DeleteLast();
        partial = false;
        break;
      }
      partial = false;
      if (left >= 0) left -= (long long)units * (long long)kUnitSize;
      ++loaded;
    }
    m_nLastDayOfWeek = -1;
    if (!complete) {
      if (reader.Failed())
        CKwLogger::Log(0, kError, this, kLoad, "Can't read %s (error %d): read %d of %d rules",
                       path, in.Error(), loaded, count);
      else
        CKwLogger::Log(0, kError, this, kLoad, "%s: file ends early: read %d of %d rules", path,
                       loaded, count);
      return 0;
    }
    return 1;
  } catch (...) {
    if (partial) m_arSchedule.DeleteLast();
    if (counted) m_nLastDayOfWeek = -1;
    CKwLogger::Log(0, kError, this, kLoad, "C++ exception");
    return 0;
  }
}
