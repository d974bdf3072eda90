// The comparison form of a folder text and the identity check behind the
// start's refusals.
#include "engine/folder_identity.h"
#include "job_fixture.h"

#include <filesystem>

namespace zentrel::testing {
namespace {

using engine::Folder_Relation;
using engine::Relate_Folders;

class Unc_Path : public Job_Test {};

TEST_F(Unc_Path, LocalPathsBecomeTheirCanonicalForm) {
    make_folders(src + "/Sub");
    std::filesystem::create_directory_symlink(src, tmp / "verweis");
    EXPECT_EQ(job.Get_UNC_Path(src + "/Sub/"), src + "/Sub");
    EXPECT_EQ(job.Get_UNC_Path(tmp / "verweis/Sub"), src + "/Sub");
    EXPECT_EQ(job.Get_UNC_Path(tmp / "verweis//fehlt/../Sub/neu"), src + "/Sub/neu");
    // Byte-exact: another letter case is another folder.
    EXPECT_EQ(job.Get_UNC_Path(tmp / "QUELLE"), tmp / "QUELLE");
    EXPECT_EQ(job.Get_UNC_Path(""), "");
}

TEST_F(Unc_Path, IdentityFindsTheSameAndNestedFoldersBehindLinks) {
    make_folders(src + "/Sub/Tief");
    make_folders(tmp / "anders");
    std::filesystem::create_directory_symlink(src + "/Sub", tmp / "verweis");
    EXPECT_EQ(Relate_Folders(fs, src, src), Folder_Relation::Identical);
    EXPECT_EQ(Relate_Folders(fs, src + "/Sub", tmp / "verweis"), Folder_Relation::Identical);
    EXPECT_EQ(Relate_Folders(fs, src, tmp / "verweis/Tief"), Folder_Relation::Nested);
    EXPECT_EQ(Relate_Folders(fs, tmp / "verweis/Tief", src), Folder_Relation::Nested);
    EXPECT_EQ(Relate_Folders(fs, src, tmp / "verweis/neu/neu"), Folder_Relation::Nested);
    EXPECT_EQ(Relate_Folders(fs, src, tmp / "anders"), Folder_Relation::Separate);
    EXPECT_EQ(Relate_Folders(fs, src, tmp / "fehlt/neu"), Folder_Relation::Separate);
    EXPECT_EQ(Relate_Folders(fs, "/", tmp / "anders"), Folder_Relation::Nested);
}

}  // namespace
}  // namespace zentrel::testing
