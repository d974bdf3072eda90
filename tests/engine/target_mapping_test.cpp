// Mapping a path of the folder copied from into the folder copied to.
#include "job_fixture.h"

#include <unistd.h>

namespace zentrel::testing {
namespace {

class Target_Mapping : public Job_Test {
protected:
    std::string map(const std::string& from, const std::string& to, const std::string& path) {
        options.Sourcefolder = from;
        options.Targetfolder = to;
        return job.Targetfile(path);
    }
};

TEST_F(Target_Mapping, CutsTheFromRootAndAppendsTheRestToTheToRoot) {
    EXPECT_EQ(map("/daten", "/ziel", "/daten/Briefe/a.doc"), "/ziel/Briefe/a.doc");
    EXPECT_EQ(map("/daten/", "/ziel", "/daten/a.doc"), "/ziel/a.doc");
    EXPECT_EQ(map("/daten", "/ziel", "/daten"), "/ziel/");
    EXPECT_EQ(map("/", "/kopie", "/a.doc"), "/kopie/a.doc");
    EXPECT_EQ(map("/daten", "/", "/daten/a.doc"), "/a.doc");
}

TEST_F(Target_Mapping, RootsWithRedundantPartsStillMapBelowTheToRoot) {
    EXPECT_EQ(map("/home/a//b", "/ziel/./x/", "/home/a/b/c.txt"), "/ziel/x/c.txt");
    EXPECT_EQ(map("/home/a/b/.", "/ziel", "/home/a/b/c.txt"), "/ziel/c.txt");
    EXPECT_EQ(map("/home/x/../a/b", "/ziel", "/home/a/b/c.txt"), "/ziel/c.txt");
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    const std::string here = cwd;
    EXPECT_EQ(map("daten/", "ziel", (here == "/" ? "" : here) + "/daten/c.txt"),
              (here == "/" ? "" : here) + "/ziel/c.txt");
}

TEST_F(Target_Mapping, ReverseDirectionSwapsTheRoots) {
    state.Reverse_Direction = true;
    EXPECT_EQ(map("/daten", "/ziel", "/ziel/Briefe/b.doc"), "/daten/Briefe/b.doc");
}

TEST_F(Target_Mapping, TheMappingFollowsFolderTextsChangedDuringARun) {
    EXPECT_EQ(map("/daten", "/ziel", "/daten/a"), "/ziel/a");
    EXPECT_EQ(map("/daten", "/anders", "/daten/a"), "/anders/a");
}

TEST_F(Target_Mapping, APathOutsideTheFromRootNeverLeavesTheToRoot) {
    EXPECT_THROW(map("/ab", "/ziel", "/xy/../../etc/passwd"), platform::File_System_Error);
    EXPECT_THROW(map("/abc", "/ziel", "/xyzw/../etc"), platform::File_System_Error);
    EXPECT_EQ(map("/abc", "/ziel", "/xyz/d/e"), "/ziel/d/e");
}

}  // namespace
}  // namespace zentrel::testing
