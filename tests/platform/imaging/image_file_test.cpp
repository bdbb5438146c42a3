#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <memory>
#include <string>

#include "platform/imaging/image_file.h"
#include "tests/support/scratch_folder.h"

namespace tovrel::platform {
namespace {

using testing::ScratchFolder;

TEST(ImageFile, TheNameChangesOnlyAtTheCommit) {
    ScratchFolder folder;
    const std::string path = folder.file("MF240307140509.png");
    ScratchFolder::write(path, "older");
    std::unique_ptr<ImageFile> file;
    ASSERT_EQ(ImageFile::Create(path, &file), S_OK);
    ASSERT_EQ(file->Write("newer picture", 13), S_OK);
    // Until the commit, the older file is what a reader finds, and the new bytes sit under a
    // hidden name in the same folder (a rename never crosses a file system).
    EXPECT_EQ(ScratchFolder::read(path), "older");
    const std::filesystem::path temporary = file->temporaryPath();
    EXPECT_EQ(temporary.parent_path(), std::filesystem::path(path).parent_path());
    EXPECT_EQ(temporary.filename().string().front(), '.');
    EXPECT_EQ(folder.names().size(), 2u);

    ASSERT_EQ(file->Commit(), S_OK);
    EXPECT_EQ(ScratchFolder::read(path), "newer picture");
    EXPECT_EQ(folder.names(), std::set<std::string>{"MF240307140509.png"});
    EXPECT_EQ(file->Commit(), E_UNEXPECTED) << "once only";
    file.reset();
    EXPECT_EQ(ScratchFolder::read(path), "newer picture") << "the destructor leaves it alone";
}

TEST(ImageFile, AFileThatIsNotCommittedLeavesNothingBehind) {
    ScratchFolder folder;
    const std::string path = folder.file("MF1.jpg");
    ScratchFolder::write(path, "older");
    {
        std::unique_ptr<ImageFile> file;
        ASSERT_EQ(ImageFile::Create(path, &file), S_OK);
        ASSERT_EQ(file->Write("half a pic", 10), S_OK);
    }
    EXPECT_EQ(ScratchFolder::read(path), "older");
    EXPECT_EQ(folder.names(), std::set<std::string>{"MF1.jpg"});
}

TEST(ImageFile, ItReadsAndSeeksWhatItWrote) {
    ScratchFolder folder;
    std::unique_ptr<ImageFile> file;
    ASSERT_EQ(ImageFile::Create(folder.file("MF1.tiff"), &file), S_OK);
    ASSERT_EQ(file->Write("0123456789", 10), S_OK);
    int64_t at = -1;
    ASSERT_EQ(file->Seek(2, SEEK_SET, &at), S_OK);
    EXPECT_EQ(at, 2);
    char back[4] = {};
    size_t read = 0;
    ASSERT_EQ(file->Read(back, 3, &read), S_OK);
    EXPECT_EQ(read, 3u);
    EXPECT_EQ(std::string(back, 3), "234");
    ASSERT_EQ(file->Seek(0, SEEK_SET, nullptr), S_OK);
    ASSERT_EQ(file->Write("AB", 2), S_OK);
    int64_t size = 0;
    ASSERT_EQ(file->Size(&size), S_OK);
    EXPECT_EQ(size, 10);
    ASSERT_EQ(file->Commit(), S_OK);
    EXPECT_EQ(ScratchFolder::read(folder.file("MF1.tiff")), "AB23456789");
}

// Destinations that cannot be written fail at the start, before any encoding, and create
// nothing.
TEST(ImageFile, UnwritableDestinationsFailAtTheStart) {
    ScratchFolder folder;
    std::filesystem::create_directory(folder.file("MF1.bmp"));
    ScratchFolder::write(folder.file("plain"), "x");
    struct Bad {
        std::string path;
        HRESULT result;
    };
    for (const Bad& bad : {Bad{folder.file("missing/MF1.bmp"), ImageFile::kPathNotFound},
                           Bad{folder.file("plain/MF1.bmp"), ImageFile::kPathNotFound},
                           Bad{folder.file("MF1.bmp"), E_INVALIDARG},
                           Bad{folder.file("") + "/", E_INVALIDARG}, Bad{"", E_INVALIDARG}}) {
        std::unique_ptr<ImageFile> file;
        EXPECT_EQ(ImageFile::Create(bad.path, &file), bad.result) << bad.path;
        EXPECT_FALSE(file) << bad.path;
    }
    EXPECT_EQ(folder.names(), (std::set<std::string>{"MF1.bmp", "plain"}));
    EXPECT_TRUE(std::filesystem::is_empty(folder.file("MF1.bmp")));
}

TEST(ImageFile, AfterAFailedWriteTheCommitRefusesWithTheFirstFailure) {
    ScratchFolder folder;
    const std::string path = folder.file("MF1.png");
    ScratchFolder::write(path, "older");
    std::unique_ptr<ImageFile> file;
    ASSERT_EQ(ImageFile::Create(path, &file), S_OK);
    // A failed seek (EINVAL) is a failure of the file like any other.
    EXPECT_EQ(file->Seek(-5, SEEK_SET, nullptr), E_FAIL);  // EINVAL
    EXPECT_EQ(file->Write("x", 1), E_FAIL);
    EXPECT_EQ(file->Commit(), E_FAIL);
    file.reset();
    EXPECT_EQ(ScratchFolder::read(path), "older");
    EXPECT_EQ(folder.names(), std::set<std::string>{"MF1.png"});
}

TEST(ImageFile, ErrnoValuesMapToTheListedResults) {
    EXPECT_EQ(ImageFile::resultOfErrno(EACCES), ImageFile::E_ACCESSDENIED);
    EXPECT_EQ(ImageFile::resultOfErrno(EROFS), ImageFile::E_ACCESSDENIED);
    EXPECT_EQ(ImageFile::resultOfErrno(ENOENT), ImageFile::kPathNotFound);
    EXPECT_EQ(ImageFile::resultOfErrno(ENOSPC), ImageFile::kDiskFull);
    EXPECT_EQ(ImageFile::resultOfErrno(EDQUOT), ImageFile::kDiskFull);
    EXPECT_EQ(ImageFile::resultOfErrno(EFBIG), ImageFile::kDiskFull);
    EXPECT_EQ(ImageFile::resultOfErrno(EIO), ImageFile::kWriteFault);
    EXPECT_EQ(ImageFile::resultOfErrno(ENOMEM), E_OUTOFMEMORY);
    EXPECT_EQ(ImageFile::resultOfErrno(EXDEV), E_FAIL);
}

}  // namespace
}  // namespace tovrel::platform
