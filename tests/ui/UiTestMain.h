// The window test classes share one program, which links the window code once instead of once
// per class. Each tst_*.cpp ends with VANTREL_UI_TEST(Class) where a program of its own would
// have QTEST_MAIN(Class). The program runs the class its first argument names by file name
//   vantrel_ui_tests tst_preview [QTest options and test functions]
// (CTest runs each class so, in a process of its own) or, without a name, every class in turn;
// it fails when any class does. `vantrel_ui_tests --list` prints the names.
// A class that needs set-up before the QApplication exists (QTest's initMain()) keeps a program
// of its own, with QTEST_MAIN.
#pragma once

#include <QObject>
#include <memory>

namespace vantrel::test {

using UiTestFactory = std::unique_ptr<QObject> (*)();

// Registers the class made by `make`, named after `sourceFile` (its __FILE__) without folder and
// extension. Returns true, for use as a static initializer.
bool RegisterUiTest(const char* sourceFile, UiTestFactory make);

}  // namespace vantrel::test

#define VANTREL_UI_TEST(TestObject)                                               \
  static const bool vantrel_ui_test_registered = ::vantrel::test::RegisterUiTest( \
      __FILE__, [] { return std::unique_ptr<QObject>(new TestObject); });
