// Diagnosis of a schedule file from its byte layout.
#ifndef MASKSCHEDULE_FILECHECK_H
#define MASKSCHEDULE_FILECHECK_H

#include <string>
#include <vector>

struct FileDiagnosis {
  bool valid = false;      // the library loads every rule the file announces
  std::string problem;     // when not valid: what is wrong, one line
  std::vector<std::string> notes;  // valid but unusual (ignored bytes, ...)
  long long size = 0;      // bytes in the file
  int ruleCount = 0;       // the count the file announces (when it has one)
  int completeRules = 0;   // rules held in full: what Load keeps
  long long unitCount = 0; // units in the complete rules
};

// Reads the layout of the file at path. A file that cannot be opened or read
// ends the command (exit 3).
FileDiagnosis DiagnoseScheduleFile(const std::string& path);

#endif  // MASKSCHEDULE_FILECHECK_H
