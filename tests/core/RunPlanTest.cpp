// The plan's file-backed store: what goes in comes back, at any index, in file or in memory.
#include <gtest/gtest.h>

#include <string>

#include "engine/RunPlan.h"
#include "engine/SpillFile.h"

namespace vantrel::test {
namespace {

TEST(RunPlan, ActionsComeBackAtAnyIndexAcrossBufferBoundaries) {
  RunPlan plan;
  const std::string longPath(100000, 'p');  // longer than a buffer
  constexpr std::size_t kCount = 20000;
  for (std::size_t i = 0; i < kCount; ++i) {
    const std::string path = i == 777 ? longPath : "/a/" + std::to_string(i);
    const std::string source = i % 3 == 0 ? "/b/" + std::to_string(i) : std::string();
    plan.Add({static_cast<ActionKind>(i % 6), i % 2 == 1, path, source, i * 1000});
  }
  ASSERT_EQ(plan.size(), kCount);
  PlannedAction got;
  for (std::size_t i : {std::size_t{0}, std::size_t{19999}, std::size_t{777}, std::size_t{5},
                        std::size_t{12345}, std::size_t{778}}) {
    ASSERT_TRUE(plan.Get(i, got));
    EXPECT_EQ(got.kind, static_cast<ActionKind>(i % 6));
    EXPECT_EQ(got.toFolder1, i % 2 == 1);
    EXPECT_EQ(got.size, i * 1000);
    EXPECT_EQ(got.path, i == 777 ? longPath : "/a/" + std::to_string(i));
    EXPECT_EQ(got.source, i % 3 == 0 ? "/b/" + std::to_string(i) : std::string());
  }
  EXPECT_FALSE(plan.Get(kCount, got));
  plan.Clear();
  EXPECT_TRUE(plan.empty());
}

TEST(SpillFile, KeepsBytesInMemoryWhenNoFileCanBeMade) {
  for (const char* directory : {"", "/nonexistent-folder-of-vantrel"}) {
    SpillFile spill(directory);
    std::string all;
    for (int i = 0; i < 30000; ++i) {
      const std::string piece = std::to_string(i) + ",";
      spill.Append(piece);
      all += piece;
    }
    EXPECT_EQ(spill.UsesFile(), *directory == '\0');
    ASSERT_EQ(spill.size(), all.size());
    std::string back(all.size(), '\0');
    ASSERT_TRUE(spill.ReadAt(0, back.size(), back.data()));
    EXPECT_EQ(back, all);
    char tail[4];
    ASSERT_TRUE(spill.ReadAt(all.size() - 4, 4, tail));
    EXPECT_EQ(std::string(tail, 4), all.substr(all.size() - 4));
    EXPECT_FALSE(spill.ReadAt(all.size() - 1, 2, tail));
  }
}

}  // namespace
}  // namespace vantrel::test
