#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "storage/basesaver.h"
#include "storage/inisaver.h"
#include "tests/core/StorageTestSupport.h"

namespace vantrel {
namespace {

using Strings = std::vector<std::string>;
using storetest::ErrorOf;

Strings Names(const TBaseDataSaver& store) {
  Strings names;
  for (int i = 0; i < store.Count(); ++i) names.push_back(store.EntryName(i));
  return names;
}

TEST(ValueStore, ReadsOfAbsentNamesGiveTheDefaultAndLeaveTheListAlone) {
  tinidatasaver store;
  EXPECT_EQ(store.ReadInteger("copymode", 1), 1);
  EXPECT_EQ(store.ReadFloat("zoom", 2.5), 2.5);
  EXPECT_EQ(store.ReadString("projectname", "none"), "none");
  Strings list{"keep", "me"};
  EXPECT_FALSE(store.ReadStringList("include", list));
  EXPECT_EQ(list, (Strings{"keep", "me"}));
  // A missing folder on the way is no error either.
  EXPECT_EQ(store.ReadInteger("a\\b\\c", 7), 7);
  EXPECT_FALSE(store.ReadStringList("a\\list", list));
  EXPECT_EQ(list, (Strings{"keep", "me"}));
  EXPECT_EQ(store.Count(), 0);
}

TEST(ValueStore, ValuesComeBackUnderAnyCaseOfTheName) {
  tinidatasaver store;
  store.WriteInteger("COPYMODE", 2);
  store.WriteFloat("Zoom", -0.25);
  store.WriteString("ProjectName", "Docs");
  store.WriteStringList("Include", {"*.txt", "", "a b"});
  store.WriteInteger("copymode", 3);  // the same entry
  EXPECT_EQ(store.ReadInteger("copymode", 0), 3);
  EXPECT_EQ(store.ReadFloat("ZOOM", 0), -0.25);
  EXPECT_EQ(store.ReadString("projectNAME", ""), "Docs");
  Strings list{"old"};
  EXPECT_TRUE(store.ReadStringList("include", list));
  EXPECT_EQ(list, (Strings{"*.txt", "", "a b"}));
  EXPECT_EQ(store.Count(), 4);
  EXPECT_EQ(store.EntryName(0), "COPYMODE");  // the name as first written is kept
}

TEST(ValueStore, EmptyTextIsStoredNotTheDefault) {
  tinidatasaver store;
  store.WriteString("projectname", "");
  EXPECT_EQ(store.ReadString("projectname", "default"), "");
  store.WriteStringList("include", {});
  Strings list{"stale"};
  EXPECT_TRUE(store.ReadStringList("include", list));
  EXPECT_TRUE(list.empty());
}

TEST(ValueStore, EntriesAreListedInCaseInsensitiveNameOrder) {
  tinidatasaver store;
  store.WriteInteger("subfolders", 1);
  store.WriteInteger("advanced", 1);
  store.WriteInteger("EXACT", 1);
  store.WriteString("Copymode", "x");
  EXPECT_EQ(Names(store), (Strings{"advanced", "Copymode", "EXACT", "subfolders"}));
  EXPECT_EQ(store.EntryType(1), TDataType::dtString);
  EXPECT_EQ(ErrorOf([&] { store.EntryName(4); }), "List index out of bounds (4)");
  EXPECT_EQ(ErrorOf([&] { store.EntryType(-1); }), "List index out of bounds (-1)");
}

// Each operation reports a wrong type in its own words; nothing is converted or changed.
TEST(ValueStore, TypeChecksUseTheMessageOfTheOperation) {
  tinidatasaver store;
  store.WriteInteger("i", 5);
  store.WriteFloat("f", 1.5);
  store.WriteString("s", "text");
  store.WriteStringList("l", {"x"});
  store.AddFolder("d");
  Strings list;
  const struct {
    std::function<void()> action;
    const char* message;
  } cases[] = {
      {[&] { store.ReadInteger("s", 0); }, "It's not an integer \"s\""},
      {[&] { store.GetInteger("d", 0); }, "It's not an integer \"d\""},
      {[&] { store.WriteInteger("s", 1); }, "It's not a integer \"s\""},
      {[&] { store.SetInteger("l", 1); }, "It's not a integer \"l\""},
      {[&] { store.ReadFloat("i", 0); }, "It's not a float \"i\""},
      {[&] { store.WriteFloat("i", 0); }, "It's not a float \"i\""},
      {[&] { store.ReadString("f", ""); }, "It's not a string \"f\""},
      {[&] { store.WriteString("l", ""); }, "It's not a string \"l\""},
      {[&] { store.ReadStringList("s", list); }, "It's not a string list \"s\""},
      {[&] { store.GetStringList("i", list); }, "It's not a string list \"i\""},
      {[&] { store.WriteStringList("s", {}); }, "It's not a stringList \"s\""},
      {[&] { store.SetStringList("f", {}); }, "It's not a stringList \"f\""},
      // A path operation names the last name of the path.
      {[&] {
         store.WriteInteger("d\\x", 1);
         store.ReadString("d\\x", "");
       },
       "It's not a string \"x\""},
      {[&] { store.AddFolder("I"); }, "String list does not allow duplicates"},
  };
  for (const auto& c : cases) EXPECT_EQ(ErrorOf(c.action), c.message);

  EXPECT_EQ(store.ReadInteger("i", 0), 5);
  EXPECT_EQ(store.ReadFloat("f", 0), 1.5);
  EXPECT_EQ(store.ReadString("s", ""), "text");
  EXPECT_TRUE(store.ReadStringList("l", list));
  EXPECT_EQ(list, (Strings{"x"}));
  EXPECT_EQ(store.Count(), 5);
}

TEST(ValueStore, WritingThroughAPathCreatesTheFolders) {
  tinidatasaver store;
  store.WriteInteger("a\\b", 4);
  ASSERT_EQ(store.Count(), 1);
  EXPECT_EQ(store.EntryType(0), TDataType::dtFolder);
  TBaseDataSaver* a = store.FindFolder("a");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->FolderPath(), "a");
  EXPECT_EQ(a->Count(), 1);
  EXPECT_EQ(a->Parent(), &store);
  EXPECT_EQ(a->ReadInteger("b", 0), 4);

  store.WriteString("A\\x\\y", "deep");
  TBaseDataSaver* x = store.FindFolder("a\\X\\");  // one trailing separator is ignored
  ASSERT_NE(x, nullptr);
  EXPECT_EQ(x->FolderPath(), "a\\x");
  EXPECT_EQ(x->ReadString("y", ""), "deep");
  EXPECT_EQ(store.FindFolder(""), &store);
  EXPECT_EQ(store.FindFolder("a\\b"), nullptr);  // an integer, not a folder
  EXPECT_EQ(store.FindFolder("zz"), nullptr);
  EXPECT_EQ(store.Count(), 1);
  EXPECT_EQ(store.FolderPath(), "");
}

TEST(ValueStore, WritingBelowAnEntryThatIsNoFolderFails) {
  tinidatasaver store;
  store.WriteInteger("n", 1);
  EXPECT_EQ(ErrorOf([&] { store.WriteInteger("n\\x", 2); }), "Cannot write \"n\\x\"");
  EXPECT_EQ(ErrorOf([&] { store.WriteStringList("N\\y\\z", {}); }), "Cannot write \"N\\y\\z\"");
  EXPECT_EQ(store.ReadInteger("n\\x", 9), 9);
  EXPECT_EQ(Names(store), (Strings{"n"}));
}

TEST(ValueStore, RefusesBadNamesAndPaths) {
  tinidatasaver store;
  Strings list;
  const struct {
    std::function<void()> action;
    const char* message;
  } cases[] = {
      {[&] { store.SetInteger("a\\b", 1); }, "Invalid name \"a\\b\""},
      {[&] { store.GetString("a\\b", ""); }, "Invalid name \"a\\b\""},
      {[&] { store.GetStringList("\\", list); }, "Invalid name \"\\\""},
      {[&] { store.AddFolder("x\\y"); }, "Invalid name \"x\\y\""},
      {[&] { store.WriteInteger("\\a", 1); }, "Invalid name \"\\a\""},
      {[&] { store.WriteInteger("a\\\\b", 1); }, "Invalid name \"a\\\\b\""},
      {[&] { store.ReadInteger("c:\\a", 1); }, "Invalid name \"c:\\a\""},
      {[&] { store.FindFolder("a:b"); }, "Invalid name \"a:b\""},
      // Names the value file could not give back.
      {[&] { store.SetInteger("a:b", 1); }, "Invalid name \"a:b\""},
      {[&] { store.SetString("two\nlines", ""); }, "Invalid name \"two\nlines\""},
      {[&] { store.AddFolder(""); }, "Invalid name \"\""},
      {[&] { store.AddFolder("ROOT"); }, "Invalid name \"ROOT\""},
      {[&] { store.WriteInteger("root\\x", 1); }, "Invalid name \"root\""},
  };
  for (const auto& c : cases) EXPECT_EQ(ErrorOf(c.action), c.message);
  EXPECT_EQ(store.Count(), 0);

  // Only a top-level folder would share the root's section.
  store.WriteInteger("Root", 1);
  store.WriteInteger("a\\root\\x", 2);
  EXPECT_EQ(store.ReadInteger("a\\ROOT\\x", 0), 2);
}

TEST(ValueStore, NamesKeepTheirFirst32Characters) {
  tinidatasaver store;
  const std::string kept(32, 'k');
  store.WriteInteger(kept + "-and-more", 1);
  EXPECT_EQ(store.EntryName(0), kept);
  EXPECT_EQ(store.ReadInteger(kept, 0), 1);
  EXPECT_EQ(store.ReadInteger(kept + "-other-tail", 0), 1);
  EXPECT_EQ(store.Count(), 1);

  // Characters, not bytes: a two-byte letter is never cut in half.
  std::string wide;
  for (int i = 0; i < 40; ++i) wide += "\xC3\xA9";  // é
  store.WriteInteger(wide, 2);
  EXPECT_EQ(store.EntryName(1), wide.substr(0, 64));

  TBaseDataSaver* folder = store.AddFolder(std::string(40, 'f'));
  EXPECT_EQ(folder->FolderPath(), std::string(32, 'f'));
}

TEST(ValueStore, FileNameReachesEveryFolderBelow) {
  tinidatasaver store;
  store.WriteInteger("a\\b\\c", 1);
  store.SetFileName("/p/one.VTPrj");
  EXPECT_EQ(store.FindFolder("a\\b")->FileName(), "/p/one.VTPrj");
  // A folder made later copies its holder's name.
  EXPECT_EQ(store.AddFolder("late")->FileName(), "/p/one.VTPrj");
  store.FindFolder("a")->SetFileName("/p/other.VTPrj");
  EXPECT_EQ(store.FileName(), "/p/one.VTPrj");
  EXPECT_EQ(store.FindFolder("a\\b")->FileName(), "/p/other.VTPrj");
}

TEST(ValueStore, ClearEmptiesSoATypeCanChange) {
  tinidatasaver store;
  store.WriteString("x", "text");
  store.WriteInteger("f\\y", 1);
  store.Clear();
  EXPECT_EQ(store.Count(), 0);
  EXPECT_EQ(store.FindFolder("f"), nullptr);
  store.WriteInteger("x", 3);
  EXPECT_EQ(store.ReadInteger("x", 0), 3);
}

}  // namespace
}  // namespace vantrel
