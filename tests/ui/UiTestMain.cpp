#include "UiTestMain.h"

#include <QApplication>
#include <QFileInfo>
#include <QTest>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace vantrel::test {
namespace {

struct UiTest {
  const char* sourceFile;
  UiTestFactory make;
};

// By name, so that running them all goes in a fixed order. Built on first use: the classes
// register themselves during static initialisation, in no set order.
std::map<std::string, UiTest>& Registry() {
  static std::map<std::string, UiTest> tests;
  return tests;
}

// One class, as QTEST_MAIN would run it in a program of its own: under the file's name (which
// the window tests name their temporary folders after) and with QTest seeing the arguments.
int Run(const std::string& name, const UiTest& test, int argc, char** argv) {
  QCoreApplication::setApplicationName(QString::fromStdString(name));
  const std::unique_ptr<QObject> object = test.make();
  QTest::setMainSourcePath(test.sourceFile);
  return QTest::qExec(object.get(), argc, argv);
}

}  // namespace

bool RegisterUiTest(const char* sourceFile, UiTestFactory make) {
  const std::string name =
      QFileInfo(QString::fromUtf8(sourceFile)).completeBaseName().toStdString();
  if (!Registry().emplace(name, UiTest{sourceFile, make}).second) {
    std::fprintf(stderr, "two window test classes are named %s\n", name.c_str());
    std::abort();
  }
  return true;
}

}  // namespace vantrel::test

int main(int argc, char** argv) {
  using vantrel::test::Registry;
  if (argc > 1 && std::strcmp(argv[1], "--list") == 0) {
    for (const auto& [name, test] : Registry()) std::printf("%s\n", name.c_str());
    return 0;
  }
  QApplication app(argc, argv);
  app.setAttribute(Qt::AA_Use96Dpi, true);
  // The class's name, when given, is not for QTest: the rest of the arguments are.
  if (argc > 1 && argv[1][0] != '-') {
    const auto found = Registry().find(argv[1]);
    if (found == Registry().end()) {
      std::fprintf(stderr, "no window test class %s (--list names them)\n", argv[1]);
      return 2;
    }
    std::vector<char*> rest{argv[0]};
    rest.insert(rest.end(), argv + 2, argv + argc);
    const int restCount = int(rest.size());
    rest.push_back(nullptr);
    return vantrel::test::Run(found->first, found->second, restCount, rest.data());
  }
  int failedClasses = 0;
  for (const auto& [name, test] : Registry()) {
    if (vantrel::test::Run(name, test, argc, argv) != 0) {
      std::fprintf(stderr, "%s FAILED\n", name.c_str());
      ++failedClasses;
    }
  }
  std::printf("%zu window test classes, %d failed\n", Registry().size(), failedClasses);
  return failedClasses == 0 ? 0 : 1;
}
