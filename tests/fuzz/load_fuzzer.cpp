// libFuzzer target for loading schedule files. Every input is written to a
// file and loaded. Whatever Load kept must survive a round trip: saved,
// loaded again and saved again, it gives the same bytes, of the size its
// rules and units call for.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

#include "MaskSchedule.h"

namespace {

std::string g_in, g_out, g_again;

std::string Slurp(const std::string& path) {
  std::string bytes;
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return bytes;
  char buffer[65536];
  size_t n;
  while ((n = fread(buffer, 1, sizeof(buffer), f)) > 0) bytes.append(buffer, n);
  fclose(f);
  return bytes;
}

void Check(bool ok, const char* what) {
  if (!ok) {
    fprintf(stderr, "load_fuzzer: %s\n", what);
    abort();
  }
}

void RemoveFiles() {
  for (const std::string* path : {&g_in, &g_out, &g_again}) remove(path->c_str());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Files on a memory file system when there is one: syncing them is free.
  std::string dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  std::string base = dir + "/kw_load_fuzzer_" + std::to_string((long)getpid());
  g_in = base + ".in";
  g_out = base + ".out";
  g_again = base + ".again";
  // The logger stays quiet: damaged inputs are reported on every run.
  std::string ini = base + ".ini";
  FILE* f = fopen(ini.c_str(), "wb");
  if (f) {
    fputs("[LOGGER]\r\nFLAGS=0\r\nLEVEL=0\r\n", f);
    fclose(f);
  }
  CKwLogger::Init(ini.c_str());
  remove(ini.c_str());
  atexit(RemoveFiles);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FILE* f = fopen(g_in.c_str(), "wb");
  if (!f) return 0;
  if (size) fwrite(data, 1, size, f);
  fclose(f);

  CKwMaskSchedule loaded;
  int result = loaded.Load(g_in.c_str());
  CKwMaskScheduleArray& rules = loaded.GetScheduleArray();
  const int count = rules.GetSize();
  Check(count <= 64000, "more rules than a file can hold");
  Check(result == 0 || result == 1, "result is not 0 or 1");

  long long expected = 264;
  for (int i = 0; i < count; ++i) {
    Check(rules.GetAt(i).bActive == 1, "a loaded rule is not armed");
    expected += 92 + 264LL * rules.GetAt(i).arKws.GetSize();
  }
  // Everything kept came from the input: it cannot be larger.
  Check(expected - 264 <= (long long)size, "rules were made up beyond the input");

  Check(loaded.Save(g_out.c_str()) == 1, "saving what was loaded failed");
  std::string saved = Slurp(g_out);
  Check((long long)saved.size() == expected, "saved size does not match the rules");

  CKwMaskSchedule again;
  Check(again.Load(g_out.c_str()) == 1, "a saved file does not load");
  Check(again.GetScheduleArray().GetSize() == count, "the round trip changed the rule count");
  Check(again.Save(g_again.c_str()) == 1, "saving again failed");
  Check(Slurp(g_again) == saved, "the round trip changed the bytes");
  return 0;
}
