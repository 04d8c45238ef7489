// File seam, Windows: write a temporary file beside the target, flush it to
// the disk and move it over the target with a replacing, write-through move;
// plain ReadFile for input.
#include "DurableFile.h"

#include <windows.h>

#include <atomic>

namespace {

std::atomic<unsigned> g_tempCounter(0);

// The folder part of path including its trailing separator ("" when none).
std::string FolderPrefixOf(const std::string& path) {
  size_t sep = path.find_last_of("\\/:");
  if (sep == std::string::npos) return std::string();
  return path.substr(0, sep + 1);
}

HANDLE AsHandle(intptr_t h) { return reinterpret_cast<HANDLE>(h); }

}  // namespace

KwDurableFile::KwDurableFile()
    : m_hFile(-1), m_pszFailure(""), m_nError(0), m_bFailed(false) {}

KwDurableFile::~KwDurableFile() { Abort(); }

int KwDurableFile::Fail(const char* step, int error) {
  m_pszFailure = step;
  m_nError = error;
  m_bFailed = true;
  Abort();
  return 0;
}

void KwDurableFile::CloseFile() {
  if (m_hFile != -1) {
    ::CloseHandle(AsHandle(m_hFile));
    m_hFile = -1;
  }
}

void KwDurableFile::Abort() {
  CloseFile();
  if (!m_temp.empty()) {
    ::DeleteFileA(m_temp.c_str());
    m_temp.clear();
  }
}

int KwDurableFile::Open(const char* target) {
  Abort();
  m_bFailed = false;
  m_pszFailure = "";
  m_nError = 0;
  if (!target || !*target) return Fail("create temporary file", ERROR_PATH_NOT_FOUND);
  m_target = target;
  if (KwFileFault(KW_FILE_CREATE)) return Fail("create temporary file", ERROR_ACCESS_DENIED);

  std::string prefix = FolderPrefixOf(m_target) + "~kws" +
                       std::to_string((unsigned long)::GetCurrentProcessId()) + "-";
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = prefix + std::to_string(g_tempCounter.fetch_add(1)) + ".tmp";
    HANDLE h = ::CreateFileA(name.c_str(), GENERIC_WRITE, 0, NULL, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL, NULL);
    if (h != INVALID_HANDLE_VALUE) {
      m_hFile = reinterpret_cast<intptr_t>(h);
      m_temp = name;
      return 1;
    }
    DWORD err = ::GetLastError();
    if (err != ERROR_FILE_EXISTS && err != ERROR_ALREADY_EXISTS)
      return Fail("create temporary file", (int)err);
  }
  return Fail("create temporary file", ERROR_FILE_EXISTS);
}

int KwDurableFile::Write(const void* data, size_t size) {
  if (m_bFailed || m_hFile == -1) return 0;
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    if (KwFileFault(KW_FILE_WRITE)) return Fail("write", ERROR_DISK_FULL);
    DWORD chunk = size < ((size_t)1 << 30) ? (DWORD)size : (DWORD)(1u << 30);
    DWORD written = 0;
    if (!::WriteFile(AsHandle(m_hFile), p, chunk, &written, NULL))
      return Fail("write", (int)::GetLastError());
    if (written == 0) return Fail("write", ERROR_WRITE_FAULT);
    p += written;
    size -= written;
  }
  return 1;
}

int KwDurableFile::Commit() {
  if (m_bFailed || m_hFile == -1) return 0;
  if (KwFileFault(KW_FILE_SYNC)) return Fail("sync", ERROR_WRITE_FAULT);
  if (!::FlushFileBuffers(AsHandle(m_hFile))) return Fail("sync", (int)::GetLastError());
  HANDLE h = AsHandle(m_hFile);
  m_hFile = -1;
  if (!::CloseHandle(h)) return Fail("close", (int)::GetLastError());
  if (KwFileFault(KW_FILE_REPLACE)) return Fail("replace", ERROR_ACCESS_DENIED);
  if (!::MoveFileExA(m_temp.c_str(), m_target.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return Fail("replace", (int)::GetLastError());
  m_temp.clear();  // it is the target now; the write-through move is durable
  return 1;
}

KwInputFile::KwInputFile() : m_hFile(-1), m_nSize(-1), m_nError(0) {}

KwInputFile::~KwInputFile() { Close(); }

int KwInputFile::Open(const char* path) {
  Close();
  m_nError = 0;
  if (KwFileFault(KW_FILE_OPEN)) {
    m_nError = ERROR_FILE_NOT_FOUND;
    return 0;
  }
  HANDLE h = ::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, NULL);
  if (h == INVALID_HANDLE_VALUE) {
    m_nError = (int)::GetLastError();
    return 0;
  }
  LARGE_INTEGER size;
  m_nSize = ::GetFileSizeEx(h, &size) ? (long long)size.QuadPart : -1;
  m_hFile = reinterpret_cast<intptr_t>(h);
  return 1;
}

long long KwInputFile::Read(void* data, size_t size) {
  if (m_hFile == -1) return -1;
  if (KwFileFault(KW_FILE_READ)) {
    m_nError = ERROR_READ_FAULT;
    return -1;
  }
  DWORD chunk = size < ((size_t)1 << 30) ? (DWORD)size : (DWORD)(1u << 30);
  DWORD got = 0;
  if (!::ReadFile(AsHandle(m_hFile), data, chunk, &got, NULL)) {
    m_nError = (int)::GetLastError();
    return -1;
  }
  return (long long)got;
}

void KwInputFile::Close() {
  if (m_hFile != -1) {
    ::CloseHandle(AsHandle(m_hFile));
    m_hFile = -1;
  }
  m_nSize = -1;
}
