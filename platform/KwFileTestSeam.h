// Fault injection for the file seam (DurableFile.h), for the library's own
// tests; not part of the public interface and not installed.
#ifndef KW_FILE_TEST_SEAM_H
#define KW_FILE_TEST_SEAM_H

#include "MaskSchedulePlatform.h"

// Steps, as numbered in DurableFile.h.
#define KW_TEST_FILE_CREATE 0
#define KW_TEST_FILE_WRITE 1
#define KW_TEST_FILE_SYNC 2
#define KW_TEST_FILE_REPLACE 3
#define KW_TEST_FILE_SYNC_FOLDER 4
#define KW_TEST_FILE_OPEN 5
#define KW_TEST_FILE_READ 6

// What happens at the chosen call.
#define KW_TEST_FILE_FAIL 0   // the step fails as if the system refused it
#define KW_TEST_FILE_THROW 1  // the step throws std::runtime_error

// From now on the nth call (1 = the next one) of step fails or throws, once.
// Calls of that step are counted from this call on. One fault per step.
KW_API void KwTestFileFault(int step, int nth, int mode);
// Clears every fault.
KW_API void KwTestReleaseFileFaults();

#endif
