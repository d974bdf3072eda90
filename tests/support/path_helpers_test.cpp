#include "support/support_routines.h"

#include <gtest/gtest.h>

#include <string>

namespace zentrel::support {
namespace {

TEST(Filepath, GivesTheFolderPartWithOrWithoutSeparator) {
    EXPECT_EQ(Filepath("/home/a/b.txt", false), "/home/a");
    EXPECT_EQ(Filepath("/home/a/b.txt", true), "/home/a/");
    EXPECT_EQ(Filepath("/home/a/", false), "/home/a");
    EXPECT_EQ(Filepath("a/b", true), "a/");
}

TEST(Filepath, WithoutSeparatorOrEmptyIsEmptyEvenWhenOneIsAsked) {
    EXPECT_EQ(Filepath("b.txt", false), "");
    EXPECT_EQ(Filepath("b.txt", true), "");
    EXPECT_EQ(Filepath("", false), "");
    EXPECT_EQ(Filepath("", true), "");
}

TEST(Filepath, NamesDirectlyBelowTheRootLeaveNothingBeforeTheSeparator) {
    EXPECT_EQ(Filepath("/", false), "");
    EXPECT_EQ(Filepath("/", true), "/");
    EXPECT_EQ(Filepath("/a", false), "");
    EXPECT_EQ(Filepath("/a", true), "/");
}

TEST(Filepath, LongPathsAndRawBytesAreKept) {
    const std::string folder = "/" + std::string(40000, 'x');
    EXPECT_EQ(Filepath(folder + "/y", false), folder);
    EXPECT_EQ(Filepath("/d\xff\xfe/f\x80", true), "/d\xff\xfe/");
}

TEST(Trailing_Backslash, AddsOneSeparatorOnlyWhereNoneEnds) {
    EXPECT_EQ(Trailing_Backslash("", false), "/");
    EXPECT_EQ(Trailing_Backslash("/", false), "/");
    EXPECT_EQ(Trailing_Backslash("/a", false), "/a/");
    EXPECT_EQ(Trailing_Backslash("/a/", false), "/a/");
    EXPECT_EQ(Trailing_Backslash("a", false), "a/");
}

TEST(Trailing_Backslash, RemovesOnlyTheLastSeparator) {
    EXPECT_EQ(Trailing_Backslash("", true), "");
    EXPECT_EQ(Trailing_Backslash("/", true), "");
    EXPECT_EQ(Trailing_Backslash("/a", true), "/a");
    EXPECT_EQ(Trailing_Backslash("/a/", true), "/a");
    EXPECT_EQ(Trailing_Backslash("/a//", true), "/a/");
}

}  // namespace
}  // namespace zentrel::support
