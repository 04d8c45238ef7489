// maskschedule: inspect, convert, check and simulate schedule files.
//
// Each command is one row of the table below; a new command (such as edit,
// once the editing dialogs exist) is one more row and one more function.
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Tool.h"

namespace {

const char kExitCodes[] =
    "Exit codes:\n"
    "  0  success (check: the file is a valid schedule file)\n"
    "  1  damaged or invalid input: schedule file, JSON document or units file\n"
    "  2  usage error: unknown command or option, missing argument, bad date or number\n"
    "  3  I/O failure: a file cannot be opened, read or written\n";

int CmdEdit(const std::vector<std::string>&) {
  Fail(kExitUsage, "not available yet: the editing dialogs are not part of this build");
}

struct Command {
  const char* name;
  const char* summary;
  const char* help;
  int (*run)(const std::vector<std::string>& args);
};

const Command kCommands[] = {
    {"show", "show FILE                 the rules as a table",
     "Usage: maskschedule show FILE\n"
     "\n"
     "Prints the rules of a schedule file as a table, one row per rule, as the\n"
     "schedule list shows them:\n"
     "  #       the rule's index (as in the library's log lines)\n"
     "  V0..V4  per view: on (hidden zone switched on), off (switched off),\n"
     "          - (the rule does not control the view)\n"
     "  time    the time of day, HH:MM:SS\n"
     "  days    the special date DD/MM/YYYY, or the weekdays (SUN,MON,...);\n"
     "          (no day) for a weekday rule without any day\n"
     "  units   the units the rule applies to: id and name\n"
     "A damaged file is refused (see 'maskschedule check').\n",
     CmdShow},
    {"check", "check FILE                is FILE a valid schedule file? what is wrong?",
     "Usage: maskschedule check FILE\n"
     "\n"
     "Says whether FILE is a valid schedule file. For a valid file it prints the\n"
     "number of rules, units and bytes, and notes about bytes the library\n"
     "ignores. For a damaged file it prints on standard error exactly what is\n"
     "wrong (header, rule count, or which rule ends beyond the end of the file)\n"
     "and how many rules the library would still load, and exits with 1.\n",
     CmdCheck},
    {"export", "export FILE [-o JSON]     the schedule as JSON",
     "Usage: maskschedule export FILE [-o JSON]\n"
     "\n"
     "Writes the schedule as a JSON document (see docs/json-format.md) to standard\n"
     "output, or to JSON with -o/--output. Every field the file holds is kept, so\n"
     "'import' gives back the same schedule file byte for byte.\n",
     CmdExport},
    {"import", "import JSON FILE          a JSON document to a schedule file",
     "Usage: maskschedule import JSON FILE\n"
     "\n"
     "Reads a JSON document (the form 'export' writes, see docs/json-format.md),\n"
     "checks all of it, and only then writes the schedule file FILE. FILE is\n"
     "replaced as a whole or not at all: after any error it is unchanged.\n",
     CmdImport},
    {"simulate", "simulate FILE --from DATE --days N [--units UNITS] [--svg OUT]",
     "Usage: maskschedule simulate FILE --from DATE --days N [--units UNITS] [--svg OUT]\n"
     "\n"
     "Runs the library's schedule engine on FILE through N days (1 to 3660) from\n"
     "midnight at the start of DATE (YYYY-MM-DD) with a simulated clock, and\n"
     "prints every switch command it delivers:\n"
     "  2024-03-04 Mon 07:00:00  unit 1 Gate: view 0 on, view 2 off\n"
     "then a last line starting with '#' that counts them.\n"
     "\n"
     "  --units UNITS  names for unit ids: a text file with one \"ID NAME\" per line\n"
     "                 (blank lines and lines starting with # are skipped); the\n"
     "                 names replace those stored in the schedule file\n"
     "  --svg OUT      also draw a timeline to the SVG file OUT: one lane per unit\n"
     "                 and view that a rule controls, showing when its hidden zone\n"
     "                 is on or off (unknown before its first switch)\n"
     "On a terminal, long runs show their progress on standard error.\n",
     CmdSimulate},
    {"edit", "edit FILE                 (not available yet: exits with 2)",
     "Usage: maskschedule edit FILE\n"
     "\n"
     "Reserved for editing a schedule with the library's dialogs; not available\n"
     "yet. Exits with 2.\n",
     CmdEdit},
};

void PrintUsage(FILE* out) {
  fprintf(out,
          "Usage: maskschedule COMMAND [ARGS]   (maskschedule COMMAND --help for details)\n"
          "\n"
          "Inspect, convert, check and simulate MaskSchedule schedule files.\n"
          "\n"
          "Commands:\n");
  for (const Command& c : kCommands) fprintf(out, "  %s\n", c.summary);
  fprintf(out, "\n%s", kExitCodes);
  fprintf(out,
          "\n"
          "The library's own log lines are off unless a maskschedule.ini file (section\n"
          "[LOGGER], see README.md) lies beside the program.\n");
}

// The library logs its errors to a log file and standard error unless told
// otherwise. The tool reports in its own words, so the library stays quiet
// unless the user has put an INI file beside the program on purpose.
void QuietLibraryLog() {
  char exe[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", exe, sizeof(exe) - 1);
  if (n > 0) {
    exe[n] = '\0';
    std::string ini = exe;
    size_t slash = ini.find_last_of('/');
    size_t dot = ini.find_last_of('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) ini.resize(dot);
    ini += ".ini";
    struct stat st;
    if (stat(ini.c_str(), &st) == 0) return;  // the user's own settings
  }
  const char* tmp = getenv("TMPDIR");
  std::string dir = std::string(tmp && *tmp && strlen(tmp) < 200 ? tmp : "/tmp") +
                    "/maskschedule-XXXXXX";
  if (!mkdtemp(&dir[0])) return;
  const std::string ini = dir + "/quiet.ini";
  FILE* f = fopen(ini.c_str(), "w");
  if (f) {
    fputs("[LOGGER]\nFLAGS=0\nLEVEL=0\n", f);
    fclose(f);
    CKwLogger::Init(ini.c_str());
  }
  unlink(ini.c_str());
  rmdir(dir.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) {
    PrintUsage(stderr);
    return kExitUsage;
  }
  if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    PrintUsage(stdout);
    return kExitOk;
  }
  const Command* command = nullptr;
  for (const Command& c : kCommands)
    if (args[0] == c.name) command = &c;
  if (!command) {
    fprintf(stderr, "maskschedule: unknown command '%s' (see 'maskschedule --help')\n",
            args[0].c_str());
    return kExitUsage;
  }
  args.erase(args.begin());
  for (const std::string& a : args) {
    if (a == "--help" || a == "-h") {
      printf("%s\n%s", command->help, kExitCodes);
      return kExitOk;
    }
  }

  QuietLibraryLog();
  try {
    return command->run(args);
  } catch (const ToolError& e) {
    fflush(stdout);
    fprintf(stderr, "maskschedule %s: %s\n", command->name, e.message.c_str());
    return e.code;
  } catch (const std::exception& e) {
    fflush(stdout);
    fprintf(stderr, "maskschedule %s: %s\n", command->name, e.what());
    return kExitIo;
  }
}
