#include "AllTools.h"

#include <gtest/gtest.h>

TEST(CleanFileName, Placeholder) { EXPECT_EQ(CleanFileName("a:b*c?.txt"), "abc.txt"); }
