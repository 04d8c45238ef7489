// File access for the schedule file: a file that replaces its target only
// once it has been written in full and reached the disk, and a plain input
// file read in large chunks. One implementation per platform.
//
// Every failure is reported as a result of 0; Failure() then names the step
// that failed and Error() carries the system's error code (errno or
// GetLastError). Tests can make any step fail or throw (KwFileTestSeam.h).
#ifndef KW_DURABLE_FILE_H
#define KW_DURABLE_FILE_H

#include <stddef.h>
#include <stdint.h>

#include <string>

// The steps a test can make fail; see KwFileTestSeam.h.
enum KwFileStep {
  KW_FILE_CREATE = 0,   // creating the temporary file
  KW_FILE_WRITE,        // one write call into it
  KW_FILE_SYNC,         // flushing it to the disk
  KW_FILE_REPLACE,      // putting it in the target's place
  KW_FILE_SYNC_FOLDER,  // flushing the folder entry (POSIX)
  KW_FILE_OPEN,         // opening an input file
  KW_FILE_READ,         // one read call from it
  KW_FILE_STEP_COUNT
};

// Called by the implementations at the start of every step. Returns 0 when
// the step should go ahead and 1 when it should fail (the implementation
// then reports a system error code of its own); throws when a test asked for
// an exception there.
int KwFileFault(KwFileStep step);

// Writes a new version of a file. Open creates a temporary file in the
// target's folder; Write appends to it; Commit flushes it, syncs it and puts
// it in the target's place in one rename (POSIX: then syncs the folder).
// Until Commit succeeds the target is untouched; a failed Commit, Abort or
// the destructor remove the temporary file.
class KwDurableFile {
 public:
  KwDurableFile();
  ~KwDurableFile();  // aborts unless committed

  int Open(const char* target);
  // Writes all size bytes or fails. After a failure every call fails.
  int Write(const void* data, size_t size);
  int Commit();
  void Abort();

  const char* Failure() const { return m_pszFailure; }
  int Error() const { return m_nError; }

 private:
  KwDurableFile(const KwDurableFile&);
  KwDurableFile& operator=(const KwDurableFile&);
  int Fail(const char* step, int error);
  void CloseFile();

  intptr_t m_hFile;  // file descriptor or HANDLE; -1 when closed
  std::string m_target;
  std::string m_temp;
  const char* m_pszFailure;
  int m_nError;
  bool m_bFailed;
};

// A file opened for reading, without buffering of its own: callers read in
// large chunks.
class KwInputFile {
 public:
  KwInputFile();
  ~KwInputFile();

  // 0 when the file cannot be opened (Error() says why).
  int Open(const char* path);
  // Reads up to size bytes. Returns the count read, 0 at the end of the file,
  // -1 on a read error.
  long long Read(void* data, size_t size);
  // The file's size in bytes when it was opened, or -1 when unknown.
  long long Size() const { return m_nSize; }
  void Close();

  int Error() const { return m_nError; }

 private:
  KwInputFile(const KwInputFile&);
  KwInputFile& operator=(const KwInputFile&);

  intptr_t m_hFile;
  long long m_nSize;
  int m_nError;
};

#endif
