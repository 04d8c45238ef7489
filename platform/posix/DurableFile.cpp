// File seam, POSIX: write a temporary file beside the target, fsync it,
// rename it over the target and fsync the folder; plain read(2) for input.
#include "DurableFile.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>

namespace {

std::atomic<unsigned> g_tempCounter(0);

// The folder part of path, for the folder sync and the temporary name: "."
// when path has no folder, "/" for a file in the root.
std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

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
  if (m_hFile >= 0) {
    ::close((int)m_hFile);
    m_hFile = -1;
  }
}

void KwDurableFile::Abort() {
  CloseFile();
  if (!m_temp.empty()) {
    ::unlink(m_temp.c_str());
    m_temp.clear();
  }
}

int KwDurableFile::Open(const char* target) {
  Abort();
  m_bFailed = false;
  m_pszFailure = "";
  m_nError = 0;
  if (!target || !*target) return Fail("create temporary file", ENOENT);
  m_target = target;
  std::string folder = FolderOf(m_target);
  if (KwFileFault(KW_FILE_CREATE)) return Fail("create temporary file", EACCES);

  // A new version keeps the permission bits of the file it replaces.
  struct stat st;
  bool keepMode = ::stat(target, &st) == 0 && S_ISREG(st.st_mode);

  std::string prefix = (folder == "/" ? std::string() : folder) + "/.~kws" +
                       std::to_string((long)::getpid()) + "-";
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = prefix + std::to_string(g_tempCounter.fetch_add(1)) + ".tmp";
    int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      m_hFile = fd;
      m_temp = name;
      if (keepMode) ::fchmod(fd, st.st_mode & 07777);
      return 1;
    }
    if (errno != EEXIST && errno != EINTR) return Fail("create temporary file", errno);
  }
  return Fail("create temporary file", EEXIST);
}

int KwDurableFile::Write(const void* data, size_t size) {
  if (m_bFailed || m_hFile < 0) return 0;
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    if (KwFileFault(KW_FILE_WRITE)) return Fail("write", ENOSPC);
    size_t chunk = size < ((size_t)1 << 30) ? size : ((size_t)1 << 30);
    ssize_t n = ::write((int)m_hFile, p, chunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      return Fail("write", errno);
    }
    if (n == 0) return Fail("write", EIO);
    p += n;
    size -= (size_t)n;
  }
  return 1;
}

int KwDurableFile::Commit() {
  if (m_bFailed || m_hFile < 0) return 0;
  if (KwFileFault(KW_FILE_SYNC)) return Fail("sync", EIO);
  if (::fsync((int)m_hFile) != 0) return Fail("sync", errno);
  int fd = (int)m_hFile;
  m_hFile = -1;
  if (::close(fd) != 0) return Fail("close", errno);
  if (KwFileFault(KW_FILE_REPLACE)) return Fail("replace", EACCES);
  if (::rename(m_temp.c_str(), m_target.c_str()) != 0) return Fail("replace", errno);
  m_temp.clear();  // it is the target now

  // Make the rename itself durable. File systems that cannot sync a folder
  // say EINVAL; there is nothing more to do on those.
  if (KwFileFault(KW_FILE_SYNC_FOLDER)) return Fail("sync folder", EIO);
  int dir = ::open(FolderOf(m_target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return Fail("sync folder", errno);
  int rc = ::fsync(dir);
  int err = errno;
  ::close(dir);
  if (rc != 0 && err != EINVAL) return Fail("sync folder", err);
  return 1;
}

KwInputFile::KwInputFile() : m_hFile(-1), m_nSize(-1), m_nError(0) {}

KwInputFile::~KwInputFile() { Close(); }

int KwInputFile::Open(const char* path) {
  Close();
  m_nError = 0;
  if (KwFileFault(KW_FILE_OPEN)) {
    m_nError = ENOENT;
    return 0;
  }
  int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    m_nError = errno;
    return 0;
  }
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    m_nError = errno;
    ::close(fd);
    return 0;
  }
  if (S_ISDIR(st.st_mode)) {  // a folder is not a file that can be read
    m_nError = EISDIR;
    ::close(fd);
    return 0;
  }
  m_nSize = S_ISREG(st.st_mode) ? (long long)st.st_size : -1;
  m_hFile = fd;
  return 1;
}

long long KwInputFile::Read(void* data, size_t size) {
  if (m_hFile < 0) return -1;
  for (;;) {
    if (KwFileFault(KW_FILE_READ)) {
      m_nError = EIO;
      return -1;
    }
    ssize_t n = ::read((int)m_hFile, data, size);
    if (n >= 0) return (long long)n;
    if (errno != EINTR) {
      m_nError = errno;
      return -1;
    }
  }
}

void KwInputFile::Close() {
  if (m_hFile >= 0) {
    ::close((int)m_hFile);
    m_hFile = -1;
  }
  m_nSize = -1;
}
