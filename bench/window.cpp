// vantrel_window_bench: one synchronization through the real window, offscreen.
//
//   vantrel_window_bench FOLDER1 FOLDER2 [--bidirectional] [--exact] [--no-trash] [--sync]
//                        [--expect-log N]
//
// Prints "vantrel: SECONDS s through the window (...)": the seconds from "Go!" until the
// Results page is drawn (the program's start and the walk through the pages are left out),
// with a trailing sync(2) when --sync. The breakdown in the parentheses says how much of it
// the run itself and the window's progress handler took. Exit status: 0 on success, 1 when the
// run failed or the window showed an error, 2 on wrong usage.
#include <unistd.h>

#include <QApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "bench/WindowRunner.h"
#include "storage/uGlobal.h"

int main(int argc, char** argv) {
  std::vector<std::string> folders;
  bool bidirectional = false, exact = false, noTrash = false, sync = false;
  long long expected = -1;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--bidirectional") {
      bidirectional = true;
    } else if (a == "--exact") {
      exact = true;
    } else if (a == "--no-trash") {
      noTrash = true;
    } else if (a == "--sync") {
      sync = true;
    } else if (a == "--expect-log" && i + 1 < argc) {
      expected = std::strtoll(argv[++i], nullptr, 10);
    } else if (a.rfind("--", 0) != 0) {
      folders.push_back(a);
    } else {
      folders.clear();
      break;
    }
  }
  if (folders.size() != 2) {
    std::fprintf(stderr,
                 "usage: %s FOLDER1 FOLDER2 [--bidirectional] [--exact] [--no-trash] [--sync] "
                 "[--expect-log N]\n",
                 argv[0]);
    return 2;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  try {
    vantrel::InitProjectsFolder();
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    QApplication::setApplicationName(QStringLiteral("Vantrel"));
    vantrel::bench::WindowRun r =
        vantrel::bench::RunThroughWindow(folders[0], folders[1], bidirectional, exact, noTrash);
    if (sync) {
      const auto start = std::chrono::steady_clock::now();
      ::sync();
      r.seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    std::printf(
        "vantrel: %.4f s through the window (run %.3f s, progress handler %.3f s in %ld "
        "notifications, %ld log lines)\n",
        r.seconds, r.runSeconds, r.handlerSeconds, r.notifications, r.logLines);
    for (const auto& e : r.errors) std::fprintf(stderr, "window: %s\n", e.c_str());
    if (!r.errors.empty()) return 1;
    if (expected >= 0 && r.logLines != expected) {
      std::fprintf(stderr, "window: expected %lld log lines, got %ld\n", expected, r.logLines);
      return 1;
    }
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "window: %s\n", e.what());
    return 1;
  }
}
