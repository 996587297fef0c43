// A wizard window under test: its own projects folder beneath a fresh XDG_DATA_HOME, scripted
// prompts, a fake tick clock, and short ways to walk the pages and to make project files.
#pragma once

#include <QAbstractButton>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>
#include <functional>
#include <memory>
#include <string>

#include "engine/uVantrelProject.h"
#include "storage/uGlobal.h"
#include "support/ScriptedPrompts.h"
#include "ui/UMain.h"
#include "ui/UMainProjectList.h"

namespace vantrel::test {

class MainFormHarness {
 public:
  // `dataTemplate`: a QTemporaryDir template for the data folder (default: the test's name).
  explicit MainFormHarness(const QString& dataTemplate = QString())
      : data(dataTemplate.isEmpty()
                 ? QDir::tempPath() + "/" + QCoreApplication::applicationName() + "-XXXXXX"
                 : dataTemplate) {
    qputenv("XDG_DATA_HOME", data.path().toUtf8());
    InitProjectsFolder();
  }
  ~MainFormHarness() { form.reset(); }

  QTemporaryDir data;  // the user's data folder; also holds the test's own folders
  ScriptedPrompts prompts;
  std::unique_ptr<TVTMainForm> form;
  std::uint32_t tick = 1000;     // what the fake clock reads
  std::uint32_t tickStep = 0;    // added to `tick` after each reading
  std::function<void()> onTick;  // runs at each reading (inside a run: between files)

  static QString ProjectsDir() { return QString::fromStdString(ProjectsFolder); }
  // A folder beneath the data folder, made with its parents; returns its path.
  QString MakeDir(const QString& relative) const {
    const QString path = data.filePath(relative);
    QDir().mkpath(path);
    return path;
  }
  static void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
  }
  static QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }
  // Saves a project with the storage into the projects folder; returns its file path.
  static QString SaveProject(const QString& fileStem, const QString& name,
                             const QString& folder1 = "/f1", const QString& folder2 = "/f2",
                             const std::function<void(TFolderSynchronizer&)>& more = {}) {
    const QString path = ProjectsDir() + "/" + fileStem + ".VTPrj";
    TFolderSynchronizer project(path.toStdString());
    project.SetProjectName(name.toStdString());
    project.SetFolder1(folder1.toStdString());
    project.SetFolder2(folder2.toStdString());
    if (more) more(project);
    project.Save();
    return path;
  }
  static std::string LoadedName(const QString& path) {
    TFolderSynchronizer project(path.toStdString());
    project.Load();
    return project.ProjectName();
  }

  // Creates and shows the window (its first show fills the list) with the fake clock.
  TVTMainForm& Show() {
    form = std::make_unique<TVTMainForm>(prompts);
    form->SetTickClock([this] {
      const std::uint32_t now = tick;
      tick += tickStep;
      if (onTick) onTick();
      return now;
    });
    form->show();
    QCoreApplication::processEvents();
    return *form;
  }
  int Page() const { return form->PageControl1->currentIndex(); }
  void Next() { QTest::mouseClick(form->bNext, Qt::LeftButton); }
  void Back() { QTest::mouseClick(form->bBack, Qt::LeftButton); }
  // Clicks a button where it reacts: check boxes and radio buttons on their indicator.
  static void Click(QAbstractButton* button) {
    const bool indicator = qobject_cast<QCheckBox*>(button) || qobject_cast<QRadioButton*>(button);
    QTest::mouseClick(button, Qt::LeftButton, {},
                      indicator ? QPoint(8, button->height() / 2) : button->rect().center());
  }

  // From the Project page with a new project to the Synchronization mode page.
  void NewProjectToMode(const QString& folder1, const QString& folder2) {
    form->RadioButton1->setChecked(true);
    Next();
    form->eFolder1->setText(folder1);
    form->eFolder2->setText(folder2);
    Next();
  }
  QTreeWidgetItem* Row(int index) const { return form->lvProject->topLevelItem(index); }
  QStringList RowNames() const {
    QStringList names;
    for (int i = 0; i < form->lvProject->topLevelItemCount(); ++i) names << Row(i)->text(0);
    return names;
  }
  // The result text as the field shows it, in the engine's CR LF form.
  static QString CrLf(const QPlainTextEdit* field) {
    return field->toPlainText().replace("\n", "\r\n");
  }
};

}  // namespace vantrel::test
