// vantrel_bench: the C++ half of the benchmark (bench/run.sh drives it).
//
//   gen-small DIR --files N [--seed S]        make the small-file tree
//   gen-large DIR --count C --bytes B [--seed S]  make the large-file tree
//   make-newer DIR [--seed S]                 change one file in a hundred; prints how many
//   add-extras DIR [--seed S]                 add extra files and folders; prints both counts
//   clone-tree SOURCE DESTINATION [--links]   copy a tree (or link its files) with its times
//   fingerprint DIR                           print a hash of the tree's names, data and times
//   warm [--read] DIR...                      bring the trees (and with --read their data) into
//                                             the page cache
//   verify SOURCE DESTINATION [--exact]       check that DESTINATION is a copy of SOURCE
//   engine FOLDER1 FOLDER2 [--bidirectional] [--exact] [--one-thread] [--no-trash]
//          [--sync] [--expect-log N]
//                                             run the synchronization engine headless
//                                             (--one-thread: no look-ahead; --sync: the
//                                             seconds printed include a trailing sync(2))
//   burn                                      keep one core busy until killed (or until the
//                                             program that started it ends)
//   time [--sync] [--log FILE] -- PROGRAM ARGS...
//                                             run PROGRAM; print "SECONDS PEAK_RSS_KIB"
//
// Exit status: 0 on success, 1 on a failure (including a failed check), 2 on wrong usage.
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/EngineRunner.h"
#include "bench/TimedRun.h"
#include "bench/TreeTools.h"

namespace {

using namespace vantrel::bench;

constexpr std::uint64_t kDefaultSeed = 20240601;

struct Args {
  std::vector<std::string> positional;
  std::vector<std::string> rest;  // after "--"
  std::vector<std::pair<std::string, std::string>> options;
  std::vector<std::string> flags;

  bool Flag(const std::string& name) const {
    for (const auto& f : flags)
      if (f == name) return true;
    return false;
  }
  std::string Option(const std::string& name, const std::string& fallback) const {
    for (const auto& [key, value] : options)
      if (key == name) return value;
    return fallback;
  }
  long long Number(const std::string& name, long long fallback) const {
    std::string text = Option(name, "");
    if (text.empty()) return fallback;
    char* end = nullptr;
    long long value = std::strtoll(text.c_str(), &end, 10);
    if (*end != '\0') throw std::invalid_argument("--" + name + " needs a number");
    return value;
  }
};

// Options that take a value; everything else starting with "--" is a flag.
bool TakesValue(const std::string& name) {
  return name == "--files" || name == "--seed" || name == "--count" || name == "--bytes" ||
         name == "--log" || name == "--expect-log";
}

Args Parse(int argc, char** argv) {
  Args args;
  for (int i = 2; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--") {
      for (++i; i < argc; ++i) args.rest.push_back(argv[i]);
      break;
    }
    if (a.rfind("--", 0) == 0) {
      if (TakesValue(a)) {
        if (i + 1 >= argc) throw std::invalid_argument(a + " needs a value");
        args.options.emplace_back(a.substr(2), argv[++i]);
      } else {
        args.flags.push_back(a.substr(2));
      }
    } else {
      args.positional.push_back(a);
    }
  }
  return args;
}

void Need(const Args& args, std::size_t positional) {
  if (args.positional.size() != positional)
    throw std::invalid_argument("expected " + std::to_string(positional) + " folder argument(s)");
}

int Main(const std::string& command, const Args& args) {
  const auto seed = static_cast<std::uint64_t>(args.Number("seed", kDefaultSeed));
  if (command == "gen-small") {
    Need(args, 1);
    long files = static_cast<long>(args.Number("files", 100000));
    TreeCounts c = GenerateSmallFileTree(args.positional[0], files, seed);
    std::printf("%ld files, %ld folders, %lld bytes\n", c.files, c.folders, c.bytes);
    return 0;
  }
  if (command == "gen-large") {
    Need(args, 1);
    TreeCounts c = GenerateLargeFileTree(args.positional[0],
                                         static_cast<int>(args.Number("count", 4)),
                                         args.Number("bytes", 256LL << 20), seed);
    std::printf("%ld files, %lld bytes\n", c.files, c.bytes);
    return 0;
  }
  if (command == "make-newer") {
    Need(args, 1);
    std::printf("%ld\n", MakeFilesNewer(args.positional[0], seed));
    return 0;
  }
  if (command == "add-extras") {
    Need(args, 1);
    ExtraCounts c = AddExtraEntries(args.positional[0], seed);
    std::printf("%ld %ld\n", c.files, c.folders);
    return 0;
  }
  if (command == "clone-tree") {
    Need(args, 2);
    TreeCounts c = CloneTree(args.positional[0], args.positional[1], args.Flag("links"));
    std::printf("%ld files, %ld folders, %lld bytes\n", c.files, c.folders, c.bytes);
    return 0;
  }
  if (command == "fingerprint") {
    Need(args, 1);
    std::printf("%016llx\n", static_cast<unsigned long long>(Fingerprint(args.positional[0])));
    return 0;
  }
  if (command == "warm") {
    if (args.positional.empty()) throw std::invalid_argument("warm needs a folder");
    for (const auto& root : args.positional) WarmTree(root, args.Flag("read"));
    return 0;
  }
  if (command == "verify") {
    Need(args, 2);
    VerifyReport r = VerifyCopy(args.positional[0], args.positional[1], args.Flag("exact"));
    for (const auto& p : r.problems) std::fprintf(stderr, "verify: %s\n", p.c_str());
    if (!r.ok()) return 1;
    std::printf("verified %ld files\n", r.filesChecked);
    return 0;
  }
  if (command == "engine") {
    Need(args, 2);
    EngineRun r = RunEngine(args.positional[0], args.positional[1], args.Flag("bidirectional"),
                            args.Flag("exact"), args.Flag("one-thread"), args.Flag("no-trash"));
    if (args.Flag("sync")) {
      const auto start = std::chrono::steady_clock::now();
      ::sync();
      r.seconds +=
          std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    struct rusage usage;
    ::getrusage(RUSAGE_SELF, &usage);
    std::printf("vantrel: %.4f s, %ld notifications, %ld log lines, %ld confirmations, "
                "peak RSS %ld KiB\n",
                r.seconds, r.notifications, r.logLines, r.confirmations, usage.ru_maxrss);
    long long expected = args.Number("expect-log", -1);
    if (expected >= 0 && r.logLines != expected) {
      std::fprintf(stderr, "vantrel: expected %lld log lines, got %ld\n", expected, r.logLines);
      return 1;
    }
    return 0;
  }
  if (command == "burn") {
    // Another program on a user's busy desktop: it must not outlive the script that started it.
    const pid_t parent = ::getppid();
    if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != parent) return 1;
    volatile std::uint64_t spins = 0;
    for (;;) spins = spins + 1;
  }
  if (command == "time") {
    if (args.rest.empty()) throw std::invalid_argument("time needs -- PROGRAM");
    TimedResult r = RunTimed(args.rest, args.Flag("sync"), args.Option("log", ""));
    std::printf("%.4f %ld\n", r.seconds, r.maxRssKiB);
    return r.exitCode == 0 ? 0 : 1;
  }
  throw std::invalid_argument("unknown command '" + command + "'");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s COMMAND ... (see the top of vantrel_bench.cpp)\n", argv[0]);
    return 2;
  }
  try {
    return Main(argv[1], Parse(argc, argv));
  } catch (const std::invalid_argument& e) {
    std::fprintf(stderr, "%s: %s\n", argv[1], e.what());
    return 2;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s: %s\n", argv[1], e.what());
    return 1;
  }
}
