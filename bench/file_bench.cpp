// Saving and loading a full schedule (64,000 rules with 4 units each, about
// 73 MB) against plain file I/O of the same bytes:
// - Load against one buffered read loop over the file (target 2x);
// - Save against writing the bytes and syncing them (target 2x).
// Then, in a fresh process (this program with --rss-load FILE), the peak
// resident memory of loading the file against the file's size (target 2x).
#include <spawn.h>
#include <stdio.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "BenchRatio.h"
#include "MaskSchedule.h"
#include "TestSupport.h"

extern char** environ;

namespace {

const int kRules = 64000;
const int kUnitsPerRule = 4;
const size_t kChunk = 64 * 1024;

kwtest::TempDir* g_dir = nullptr;
std::string g_file;   // the schedule file Load reads
std::string g_bytes;  // its bytes, for the write baseline

void Prepare() {
  if (g_dir) return;
  g_dir = new kwtest::TempDir();
  CKwMaskSchedule schedule;
  for (int i = 0; i < kRules; ++i) {
    MASK_SCHEDULE r;
    r.stTime.wHour = (WORD)(i % 24);
    r.stTime.wMinute = (WORD)(i % 60);
    r.bWeekDay[i % 7] = 1;
    r.bEnable[i % 5] = 1;
    r.bMask[i % 5] = i & 1;
    for (int u = 0; u < kUnitsPerRule; ++u) {
      CKwMaskScheduleKws unit;
      memset(&unit, 0, sizeof(unit));
      unit.nId = i * kUnitsPerRule + u;
      snprintf(unit.szName, sizeof(unit.szName), "Camera %d", unit.nId);
      r.arKws.Add(unit);
    }
    schedule.Add(&r);
  }
  g_file = (*g_dir / "full.kws").string();
  if (!schedule.Save(g_file.c_str())) {
    fprintf(stderr, "could not write %s\n", g_file.c_str());
    exit(1);
  }
  g_bytes = kwtest::ReadFile(g_file);
}

void BM_PlainReadLoop(benchmark::State& state) {
  Prepare();
  std::unique_ptr<char[]> buffer(new char[kChunk]);
  for (auto _ : state) {
    FILE* f = fopen(g_file.c_str(), "rb");
    size_t total = 0, n;
    while ((n = fread(buffer.get(), 1, kChunk, f)) > 0) total += n;
    fclose(f);
    benchmark::DoNotOptimize(total);
  }
  state.SetBytesProcessed(state.iterations() * (int64_t)g_bytes.size());
}
BENCHMARK(BM_PlainReadLoop)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same bytes read record by record through a buffered stream, one fread
// per field group (the rule's fields, its unit count, each unit), keeping
// nothing: the reads a loader makes, without building any rule.
void BM_PlainRecordReadLoop(benchmark::State& state) {
  Prepare();
  for (auto _ : state) {
    FILE* f = fopen(g_file.c_str(), "rb");
    setvbuf(f, nullptr, _IOFBF, kChunk);
    unsigned char header[264], rule[88], count[4], unit[264];
    size_t total = fread(header, 1, sizeof(header), f);
    int rules = header[260] | header[261] << 8 | header[262] << 16 | header[263] << 24;
    for (int i = 0; i < rules; ++i) {
      total += fread(rule, 1, sizeof(rule), f);
      total += fread(count, 1, sizeof(count), f);
      int units = count[0] | count[1] << 8 | count[2] << 16 | count[3] << 24;
      for (int u = 0; u < units; ++u) total += fread(unit, 1, sizeof(unit), f);
    }
    fclose(f);
    benchmark::DoNotOptimize(total);
  }
  state.SetBytesProcessed(state.iterations() * (int64_t)g_bytes.size());
}
BENCHMARK(BM_PlainRecordReadLoop)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Load(benchmark::State& state) {
  Prepare();
  for (auto _ : state) {
    state.PauseTiming();
    {
      std::unique_ptr<CKwMaskSchedule> schedule(new CKwMaskSchedule());
      state.ResumeTiming();
      if (schedule->Load(g_file.c_str()) != 1 || schedule->GetScheduleArray().GetSize() != kRules)
        state.SkipWithError("load failed");
      state.PauseTiming();
    }  // freeing the rules is not part of loading them
    state.ResumeTiming();
  }
  state.SetBytesProcessed(state.iterations() * (int64_t)g_bytes.size());
}
BENCHMARK(BM_Load)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PlainWriteAndSync(benchmark::State& state) {
  Prepare();
  std::string path = (*g_dir / "plain.out").string();
  for (auto _ : state) {
    FILE* f = fopen(path.c_str(), "wb");
    for (size_t off = 0; off < g_bytes.size(); off += kChunk)
      fwrite(g_bytes.data() + off, 1, std::min(kChunk, g_bytes.size() - off), f);
    fflush(f);
    fsync(fileno(f));
    fclose(f);
  }
  state.SetBytesProcessed(state.iterations() * (int64_t)g_bytes.size());
}
BENCHMARK(BM_PlainWriteAndSync)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Save(benchmark::State& state) {
  Prepare();
  CKwMaskSchedule schedule;
  schedule.Load(g_file.c_str());
  std::string path = (*g_dir / "saved.kws").string();
  for (auto _ : state) {
    if (schedule.Save(path.c_str()) != 1) state.SkipWithError("save failed");
  }
  state.SetBytesProcessed(state.iterations() * (int64_t)g_bytes.size());
}
BENCHMARK(BM_Save)->Unit(benchmark::kMillisecond)->UseRealTime();

// Peak resident memory of this process in kilobytes. VmHWM belongs to the
// address space that exec made, while getrusage's ru_maxrss carries over
// the peak of the process image before exec (here: the whole benchmark), so
// both are shown.
long PeakRssKb() {
  FILE* f = fopen("/proc/self/status", "r");
  long kb = -1;
  char line[256];
  while (f && fgets(line, sizeof(line), f))
    if (sscanf(line, "VmHWM: %ld kB", &kb) == 1) break;
  if (f) fclose(f);
  return kb;
}

long MaxRssKb() {
  struct rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;  // kilobytes on Linux
}

// Loads path in this (fresh) process and prints the peak resident memory.
int MeasureLoadRss(const char* path) {
  long before = PeakRssKb();
  CKwMaskSchedule schedule;
  int ok = schedule.Load(path);
  long after = PeakRssKb();
  long rusage = MaxRssKb();
  long long size = (long long)kwtest::ReadFile(path).size();  // after the peak was read
  printf("  Load result %d, %d rules; file %.1f MB; peak RSS %.1f MB (%.1f MB before Load)"
         " = %.2f x file size (target <= 2.00: %s); ru_maxrss %.1f MB\n",
         ok, schedule.GetScheduleArray().GetSize(), size / 1048576.0, after / 1024.0,
         before / 1024.0, after * 1024.0 / (double)size,
         after * 1024.0 <= 2.0 * (double)size ? "met" : "NOT MET", rusage / 1024.0);
  return ok ? 0 : 1;
}

void RunRssChild() {
  Prepare();
  printf("\nPeak memory of a process that loads the file:\n");
  fflush(stdout);
  const char* argv[] = {"file_bench", "--rss-load", g_file.c_str(), nullptr};
  pid_t pid;
  if (posix_spawn(&pid, "/proc/self/exe", nullptr, nullptr, const_cast<char**>(argv), environ) != 0) {
    printf("  could not start the measuring process\n");
    return;
  }
  int status = 0;
  waitpid(pid, &status, 0);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--rss-load") return MeasureLoadRss(argv[2]);
  int rc = kwbench::RunWithRatios(argc, argv,
                                  {{"BM_Load", "BM_PlainReadLoop", 2.0},
                                   {"BM_Load", "BM_PlainRecordReadLoop", 2.0},
                                   {"BM_Save", "BM_PlainWriteAndSync", 2.0}});
  RunRssChild();
  delete g_dir;
  return rc;
}
