// Starts Vantrel: the projects folder first, then the application, the wizard and its loop.
#include <QApplication>

#include "storage/uGlobal.h"
#include "ui/QtPrompts.h"
#include "ui/UMain.h"

int main(int argc, char* argv[]) {
  vantrel::InitProjectsFolder();

  QApplication app(argc, argv);
  // The application title: the task-bar text and the title of the error boxes. Set as the
  // application name (which the display name follows) so that window managers do not append it
  // to the window's own title a second time.
  QApplication::setApplicationName(QStringLiteral("Vantrel"));
  QApplication::setApplicationVersion(QString::fromLatin1(vantrel::TVTMainForm::kVersion));
  QGuiApplication::setDesktopFileName(QStringLiteral("vantrel"));

  vantrel::QtPrompts prompts;
  vantrel::TVTMainForm form(prompts);
  prompts.SetParent(&form);
  form.show();
  return app.exec();
}
