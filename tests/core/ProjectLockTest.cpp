// The run lock of a project: one holder at a time, released by its holder or by its death.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "TempTree.h"
#include "storage/ProjectLock.h"

namespace vantrel {
namespace {

using test::TempTree;

TEST(ProjectLockTest, OneHolderAtATimeAndTheLockFileGoesWithIt) {
  TempTree tree;
  const std::string file = tree.Path("P.VTPrj");
  ProjectLock first(file);
  ProjectLock second(file);
  ASSERT_TRUE(first.TryLock());
  EXPECT_TRUE(tree.Exists("P.VTPrj.lock"));
  EXPECT_FALSE(second.TryLock());
  EXPECT_FALSE(second.Held());
  first.Unlock();
  EXPECT_FALSE(tree.Exists("P.VTPrj.lock"));
  EXPECT_TRUE(second.TryLock());
  // Another project's lock is another file.
  ProjectLock other(tree.Path("Q.VTPrj"));
  EXPECT_TRUE(other.TryLock());
}

TEST(ProjectLockTest, TheKernelReleasesTheLockOfAProcessThatDies) {
  TempTree tree;
  const std::string file = tree.Path("P.VTPrj");
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ProjectLock held(file);
    const char ok = held.TryLock() ? 'y' : 'n';
    (void)!write(ready[1], &ok, 1);
    pause();
    _exit(0);
  }
  char ok = 0;
  ASSERT_EQ(read(ready[0], &ok, 1), 1);
  ASSERT_EQ(ok, 'y');
  ProjectLock mine(file);
  EXPECT_FALSE(mine.TryLock());
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  EXPECT_TRUE(mine.TryLock());
  close(ready[0]);
  close(ready[1]);
}

TEST(ProjectLockTest, AFolderWithoutWriteAccessLocksTheProjectFileItself) {
  TempTree tree;
  tree.WriteFile("ro/P.VTPrj", "[Root]\r\n");
  tree.MakeFolder("ro", 0555);
  ASSERT_EQ(chmod(tree.root().c_str(), 0755), 0);
  // Root writes into any folder: the check runs as an ordinary user in a child.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (geteuid() == 0 && setuid(65534) != 0) _exit(10);
    ProjectLock first(tree.Path("ro/P.VTPrj"));
    ProjectLock second(tree.Path("ro/P.VTPrj"));
    if (!first.TryLock()) _exit(11);
    if (second.TryLock()) _exit(12);
    if (access(tree.Path("ro/P.VTPrj.lock").c_str(), F_OK) == 0) _exit(13);
    first.Unlock();
    _exit(second.TryLock() ? 0 : 14);
  }
  int status = 0;
  waitpid(child, &status, 0);
  tree.MakeFolder("ro", 0755);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace vantrel
