// MaskSchedule: a weekly schedule of hidden zones (privacy masks) for the
// units (cameras) of a host program.
//
// A host derives from CKwMaskSchedule, overrides MaskSwitch, calls Create,
// usually Load, and then OnTimer periodically with the current local time.
// Whenever rules come due the library calls MaskSwitch once per affected unit.
//
// Contracts that hold for the whole interface:
// - Results: operations that can fail return int, 1 for success and 0 for
//   failure. No operation throws; failures are reported through CKwLogger.
// - Ownership: the host owns every object it creates. A schedule object owns
//   its engine; the engine owns the rule list; every rule owns its units.
//   GetScheduleArray lends the live rule list, not a copy.
// - Threads: the library has no thread of its own and takes no lock. One
//   schedule object (and everything reached through it) must be used by one
//   thread at a time. MaskSwitch runs on the thread that called OnTimer.
// - Records below cross the library boundary: their field order and widths
//   are fixed. int is 32 bits. There are five views per unit, 0 to 4.
#ifndef MASKSCHEDULE_H
#define MASKSCHEDULE_H

#include <stdarg.h>
#include <string.h>

#include <new>

#include "MaskSchedulePlatform.h"  // SYSTEMTIME, CRITICAL_SECTION, KW_API, KW_HOST_INLINE

#define KW_VIEW_COUNT 5
#define KW_NAME_SIZE 260

// ---------------------------------------------------------------------------
// Logger
// ---------------------------------------------------------------------------

// The library's one reporting facility: process-wide, static only.
//
// At the first report of the process it reads section "LOGGER" of the INI
// file named after the host executable (extension ".ini"), keys "FLAGS"
// (sink mask: 1 log file, 2 debugger output, 4 standard output; default 3),
// "LEVEL" (highest level written; default 0) and "FILE" (log path; default
// the INI path with extension ".log"), and writes the values in force back.
// The INI file is not read again during the process.
//
// Each written report is one line:
//   "%08X [%02d/%02d/%02d %02d:%02d:%02d:%03d] %s %p %s: %s\r\n"
// thread id, local day/month/year and time, kind text ("INFO", "WARNING",
// "ERROR", "UNKNOWN"), the object pointer (upper-case hex, one digit per
// nibble of a pointer, so null is all zeros), the function text and the
// message. The message and the whole line are each cut to 1023 characters.
//
// Thread safety: Log may be called from any thread; the one-time
// initialisation is safe when several threads report first at once.
class KW_API CKwLogger {
 public:
  // Writes one report if level <= the configured level. Returns 1 whenever
  // the logger is initialised (whether or not anything was written), 0 when
  // initialisation failed (nothing written; the next report retries).
  // object is only printed, never followed, and may be null.
  static int Log(int level, int kind, const void* object, const char* function,
                 const char* format, ...)
#if defined(__GNUC__)
      __attribute__((format(printf, 5, 6)))
#endif
      ;
  static int LogV(int level, int kind, const void* object, const char* function,
                  const char* format, va_list args);
  // Initialises once per process. iniPath null: the host executable's path
  // with extension ".ini"; otherwise it names the INI file (shorter than 260
  // characters). Returns 1 when initialised (now or before), 0 on failure.
  static int Init(const char* iniPath);

 private:
  static void ReadSettings(const char* iniPath);
  static void WriteSettings(const char* iniPath);
  static int ReadProfileInt(const char* section, const char* key, int current,
                            const char* iniPath);
  static void WriteProfileInt(const char* section, const char* key, int value,
                              const char* iniPath);
  // The process-wide state (module, initialised flag, flags, level, file)
  // lives in the implementation.
};

// ---------------------------------------------------------------------------
// Indexed list container
// ---------------------------------------------------------------------------

// A doubly linked list of items held by value and addressed by a zero-based
// position. Every node carries its position and the list keeps a cursor on
// the node reached last, so reading positions in ascending or descending
// order costs one step per GetAt; any other position is reached from the
// nearest of head, cursor and tail.
//
// Layout (binding; hosts read it through the inline GetAt and GetSize):
// vtable, head, tail, cursor, count; node: next, prev, item, index.
//
// Failure rules: no operation throws. A failed allocation makes AddEmpty,
// Add and Insert return 0 with the list unchanged. A bad position makes
// Delete and Insert return 0 silently, and GetAt log
// "Index %d is out of bounds [0..%d)" and return a default item. Default
// items are shared by every list of one instantiation and are writable:
// what a caller writes there is what the next failing call returns.
//
// Threads: none of it is locked, and GetAt moves the cursor, so even two
// readers of one list must be serialised by the caller.
template <class TYPE, class ARG_TYPE>
class CKwArray {
 public:
  struct CNode {
    CNode* pNext;
    CNode* pPrev;
    TYPE item;
    int nIndex;
  };

  CKwArray() : m_pHead(0), m_pTail(0), m_pCursor(0), m_nCount(0) {}
  // Copies are deep: every item is copied into nodes of the new list.
  CKwArray(const CKwArray& other);
  CKwArray& operator=(const CKwArray& other);

  // Virtual slots, in this order.
  virtual ~CKwArray();
  virtual int AddEmpty();         // 1 appended, 0 no memory
  virtual TYPE& AddEmptyRef();    // the new last item, or a default item
  virtual int Add(ARG_TYPE item); // 1 appended (a copy), 0 no memory
  virtual int Delete(int index);  // 1 removed, 0 bad position
  // Inserts a copy before position index (index == count appends).
  // Returns 1 on success, 0 for a bad position or no memory.
  virtual int Insert(int index, ARG_TYPE item);
  virtual int DeleteAll();        // always 1
  virtual int DeleteFirst();      // Delete(0)
  virtual int DeleteLast();       // Delete(count - 1)

  // The item at index (the cursor moves to it), or, for a position outside
  // [0, count), the logged default item (the cursor stays).
  KW_HOST_INLINE TYPE& GetAt(int index) {
    if (index < 0 || index >= m_nCount) return OutOfBounds(index);
    m_pCursor = Locate(index);
    return m_pCursor->item;
  }
  KW_HOST_INLINE int GetSize() const { return m_nCount; }

 protected:
  // Finds the node at 0 <= index < count from the nearest of head, cursor
  // and tail; ties go to the head over the cursor, the cursor over the tail.
  KW_HOST_INLINE CNode* Locate(int index) const {
    CNode* node;
    if (index < m_pCursor->nIndex) {
      if (index - m_pHead->nIndex <= m_pCursor->nIndex - index) {
        for (node = m_pHead; node->nIndex != index; node = node->pNext) {}
      } else {
        for (node = m_pCursor; node->nIndex != index; node = node->pPrev) {}
      }
    } else {
      if (index - m_pCursor->nIndex <= m_pTail->nIndex - index) {
        for (node = m_pCursor; node->nIndex != index; node = node->pNext) {}
      } else {
        for (node = m_pTail; node->nIndex != index; node = node->pPrev) {}
      }
    }
    return node;
  }
  TYPE& OutOfBounds(int index);
  CNode* NewNode();
  void LinkAtTail(CNode* node);

  static TYPE& DefaultGetAtItem();
  static TYPE& DefaultAddEmptyRefItem();

  CNode* m_pHead;
  CNode* m_pTail;
  CNode* m_pCursor;
  int m_nCount;
};

// The same list with a Win32 critical section after the list fields. The
// section is initialised with the list and deleted with it; no operation of
// the library enters it. A caller that shares a list between threads may
// use it (GetCriticalSection) to serialise every call itself.
template <class TYPE, class ARG_TYPE>
class CKwArrayP : public CKwArray<TYPE, ARG_TYPE> {
 public:
  CKwArrayP();
  virtual ~CKwArrayP();
  CRITICAL_SECTION* GetCriticalSection() { return &m_cs; }

 private:
  CKwArrayP(const CKwArrayP&);             // not copyable: one section each
  CKwArrayP& operator=(const CKwArrayP&);
  CRITICAL_SECTION m_cs;
};

// ---------------------------------------------------------------------------
// Container implementation (templates)
// ---------------------------------------------------------------------------

template <class TYPE, class ARG_TYPE>
CKwArray<TYPE, ARG_TYPE>::CKwArray(const CKwArray& other)
    : m_pHead(0), m_pTail(0), m_pCursor(0), m_nCount(0) {
  *this = other;
}

template <class TYPE, class ARG_TYPE>
CKwArray<TYPE, ARG_TYPE>& CKwArray<TYPE, ARG_TYPE>::operator=(const CKwArray& other) {
  if (this != &other) {
    DeleteAll();
    for (CNode* node = other.m_pHead; node; node = node->pNext) Add(node->item);
  }
  return *this;
}

template <class TYPE, class ARG_TYPE>
CKwArray<TYPE, ARG_TYPE>::~CKwArray() {
  CKwArray::DeleteAll();
}

template <class TYPE, class ARG_TYPE>
typename CKwArray<TYPE, ARG_TYPE>::CNode* CKwArray<TYPE, ARG_TYPE>::NewNode() {
  return new (std::nothrow) CNode();
}

template <class TYPE, class ARG_TYPE>
void CKwArray<TYPE, ARG_TYPE>::LinkAtTail(CNode* node) {
  node->pNext = 0;
  node->pPrev = m_pTail;
  node->nIndex = m_nCount;
  if (m_pTail)
    m_pTail->pNext = node;
  else
    m_pHead = node;
  m_pTail = node;
  m_pCursor = node;
  ++m_nCount;
}

template <class TYPE, class ARG_TYPE>
int CKwArray<TYPE, ARG_TYPE>::AddEmpty() {
  CNode* node = NewNode();
  if (!node) return 0;
  LinkAtTail(node);
  return 1;
}

template <class TYPE, class ARG_TYPE>
TYPE& CKwArray<TYPE, ARG_TYPE>::AddEmptyRef() {
  if (!AddEmpty()) {
    CKwLogger::Log(0, 2, this, "CKwArray::AddEmptyRef",
                   "Can't allocate new item, returned default item");
    return DefaultAddEmptyRefItem();
  }
  return GetAt(m_nCount - 1);
}

template <class TYPE, class ARG_TYPE>
int CKwArray<TYPE, ARG_TYPE>::Add(ARG_TYPE item) {
  // The item is assigned whole right away, so it is not cleared first.
  CNode* node = new (std::nothrow) CNode;
  if (!node) return 0;
  node->item = item;
  LinkAtTail(node);
  return 1;
}

template <class TYPE, class ARG_TYPE>
int CKwArray<TYPE, ARG_TYPE>::Delete(int index) {
  if (index < 0 || index >= m_nCount) return 0;
  CNode* node = Locate(index);
  if (node->pPrev)
    node->pPrev->pNext = node->pNext;
  else
    m_pHead = node->pNext;
  if (node->pNext) {
    m_pCursor = node->pNext;
    node->pNext->pPrev = node->pPrev;
    delete node;
    for (CNode* n = m_pCursor; n; n = n->pNext) --n->nIndex;
  } else {
    m_pTail = node->pPrev;
    m_pCursor = node->pPrev;
    delete node;
  }
  --m_nCount;
  return 1;
}

template <class TYPE, class ARG_TYPE>
int CKwArray<TYPE, ARG_TYPE>::Insert(int index, ARG_TYPE item) {
  if (index < 0 || index > m_nCount) return 0;
  if (index == m_nCount) return Add(item);
  CNode* old = Locate(index);
  CNode* node = NewNode();
  if (!node) return 0;
  node->pPrev = old->pPrev;
  node->pNext = old;
  node->item = item;
  node->nIndex = index;
  if (old->pPrev)
    old->pPrev->pNext = node;
  else
    m_pHead = node;
  old->pPrev = node;
  m_pCursor = node;
  for (CNode* n = old; n; n = n->pNext) ++n->nIndex;
  ++m_nCount;
  return 1;
}

template <class TYPE, class ARG_TYPE>
int CKwArray<TYPE, ARG_TYPE>::DeleteAll() {
  if (m_nCount != 0 && m_pTail && m_pHead) {
    CNode* node = m_pHead;
    while (node) {
      CNode* next = node->pNext;
      delete node;
      node = next;
    }
    m_pHead = m_pTail = m_pCursor = 0;
    m_nCount = 0;
  }
  return 1;
}

template <class TYPE, class ARG_TYPE>
int CKwArray<TYPE, ARG_TYPE>::DeleteFirst() {
  return Delete(0);
}

template <class TYPE, class ARG_TYPE>
int CKwArray<TYPE, ARG_TYPE>::DeleteLast() {
  return Delete(m_nCount - 1);
}

template <class TYPE, class ARG_TYPE>
TYPE& CKwArray<TYPE, ARG_TYPE>::OutOfBounds(int index) {
  CKwLogger::Log(0, 2, this, "CKwArray::GetAt", "Index %d is out of bounds [0..%d)",
                 index, m_nCount);
  return DefaultGetAtItem();
}

// Default items live as long as the library: built on first need.
template <class TYPE, class ARG_TYPE>
TYPE& CKwArray<TYPE, ARG_TYPE>::DefaultGetAtItem() {
  static TYPE item = TYPE();
  return item;
}

template <class TYPE, class ARG_TYPE>
TYPE& CKwArray<TYPE, ARG_TYPE>::DefaultAddEmptyRefItem() {
  static TYPE item = TYPE();
  return item;
}

// ---------------------------------------------------------------------------
// Records
// ---------------------------------------------------------------------------

// A unit: identifier and display name. Switch commands are merged by nId
// alone. szName holds 8-bit characters and is meant to end with a zero byte,
// but the library never reads past its 260 bytes, terminated or not.
struct CKwMaskScheduleKws {
  int nId;
  char szName[KW_NAME_SIZE];
};

// The instantiations the library itself uses live in the library, together
// with their default items.
extern template class KW_API CKwArray<CKwMaskScheduleKws, CKwMaskScheduleKws&>;
typedef CKwArray<CKwMaskScheduleKws, CKwMaskScheduleKws&> CKwMaskScheduleKwsArray;

// A rule: a time of day, either weekdays or one special date, per-view values
// with per-view enable flags, and the units it applies to.
//
// Constructed with every field 0 and no units. Copies are deep: every field
// (the whole weekday/date storage included) and every unit is copied.
struct MASK_SCHEDULE {
  int bMask[KW_VIEW_COUNT];    // per view: nonzero = hidden zone on
  int bEnable[KW_VIEW_COUNT];  // per view: nonzero = the rule controls it
  SYSTEMTIME stTime;           // only wHour, wMinute, wSecond are read
  int bSpecialDay;             // nonzero: stDate; 0: bWeekDay
  union {
    int bWeekDay[7];           // indexed like wDayOfWeek, 0 = Sunday
    SYSTEMTIME stDate;         // only wYear, wMonth, wDay are compared
  };
  CKwMaskScheduleKwsArray arKws;  // the units, in order

  MASK_SCHEDULE() { ClearFields(); }
  MASK_SCHEDULE(const MASK_SCHEDULE& other) : arKws() {
    CopyFields(other);
    arKws = other.arKws;
  }
  MASK_SCHEDULE& operator=(const MASK_SCHEDULE& other) {
    if (this != &other) {
      CopyFields(other);
      arKws = other.arKws;
    }
    return *this;
  }

 private:
  void ClearFields() {
    memset(bMask, 0, sizeof(bMask));
    memset(bEnable, 0, sizeof(bEnable));
    memset(&stTime, 0, sizeof(stTime));
    bSpecialDay = 0;
    memset(bWeekDay, 0, sizeof(bWeekDay));
  }
  void CopyFields(const MASK_SCHEDULE& other) {
    memcpy(bMask, other.bMask, sizeof(bMask));
    memcpy(bEnable, other.bEnable, sizeof(bEnable));
    stTime = other.stTime;
    bSpecialDay = other.bSpecialDay;
    memcpy(bWeekDay, other.bWeekDay, sizeof(bWeekDay));
  }
};

// A stored rule: a rule plus its arming flag. 1: armed for the current day
// and fires when its time comes; 0: not for today, or already fired today.
struct MASK_SCHEDULE_EX : MASK_SCHEDULE {
  int bActive;
  MASK_SCHEDULE_EX() : MASK_SCHEDULE(), bActive(0) {}
};

extern template class KW_API CKwArray<MASK_SCHEDULE_EX, MASK_SCHEDULE_EX&>;
extern template class KW_API CKwArrayP<MASK_SCHEDULE_EX, MASK_SCHEDULE_EX&>;
typedef CKwArrayP<MASK_SCHEDULE_EX, MASK_SCHEDULE_EX&> CKwMaskScheduleArray;

// One switch command for one unit. Per view: bSet nonzero means "switch this
// view to bMask"; bSet 0 means "leave the view alone" (bMask means nothing).
struct CKwMaskScheduleKwsSwitch {
  CKwMaskScheduleKws stKws;
  int bMask[KW_VIEW_COUNT];
  int bSet[KW_VIEW_COUNT];
};

extern template class KW_API CKwArray<CKwMaskScheduleKwsSwitch, CKwMaskScheduleKwsSwitch&>;

// ---------------------------------------------------------------------------
// Schedule object
// ---------------------------------------------------------------------------

class CKwMaskScheduleEngine;

// The schedule object a host derives from. It owns one engine for its whole
// life; when that engine could not be allocated the object is inert: every
// operation returns 0 or does nothing, and GetScheduleArray returns one empty
// list owned by the library.
//
// Calling order: construct, Create, usually Load; then OnTimer periodically,
// with edits interleaved (Add, Delete, DeleteAll, or in-place changes through
// GetScheduleArray followed by UpdateSchedule); finally Save, Destroy and
// destruction. After Destroy the object can be used again.
//
// Not copyable: a copy would share the engine and free it twice.
class KW_API CKwMaskSchedule {
 public:
  CKwMaskSchedule();
  virtual ~CKwMaskSchedule();
  // Receives one switch command per affected unit whenever rules fire. The
  // command lives only during the call. The base does nothing. Exceptions
  // thrown here cost only this command: they are caught and logged as
  // "Exception 0x%08X" (0xE06D7363 for a C++ exception). On Windows a
  // processor fault (0xC0000005 and the like) is caught the same way; on
  // Linux processor faults are not caught.
  virtual void MaskSwitch(CKwMaskScheduleKwsSwitch& sw);

  CKwMaskSchedule(const CKwMaskSchedule&) = delete;
  CKwMaskSchedule& operator=(const CKwMaskSchedule&) = delete;

  // Connects MaskSwitch as the receiver of switch commands and makes the
  // next OnTimer arm every rule again. Returns 1 (0 when inert).
  int Create();
  // Removes every rule. The receiver stays connected.
  void Destroy();
  // Appends the rules of a schedule file to the rules held. See Save.
  int Load(const char* path);
  // Writes the rules to a schedule file. Returns 1 on success, 0 on failure.
  int Save(const char* path);
  // Call periodically with the current local time.
  void OnTimer(SYSTEMTIME* now);
  // Stores a deep copy of rule, armed at once. The caller keeps rule.
  // Returns 1 if stored, 0 otherwise (null rule, no memory, inert object).
  int Add(MASK_SCHEDULE* rule);
  // Removes the rule at index; later rules move down one. 1 removed, 0 bad
  // index (nothing changes).
  int Delete(int index);
  void DeleteAll();
  // The live rule list (a reference, not a copy).
  CKwMaskScheduleArray& GetScheduleArray();
  // Re-arms the rule at index for the machine's current date after its days
  // or time were changed in place, and makes the next OnTimer evaluate.
  void UpdateSchedule(int index);

 protected:
  CKwMaskScheduleEngine* m_pEngine;
};

#endif  // MASKSCHEDULE_H
