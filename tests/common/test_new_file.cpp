// The output file of the three programs: created new, never through what is
// already at its path; every write checked; renamed into place or removed.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "common/NewFile.h"
#include "common/RemovalList.h"
#include "support/TestFiles.h"

namespace fs = std::filesystem;
using common::AtPath;
using common::DiskSync;
using common::NewFile;
using testing_support::readFile;
using testing_support::TempFolder;

namespace {

// What a test puts at a path before the program writes there.
enum class Before { nothing, file, link, danglingLink, folder };

void place(Before before, const fs::path& at, const fs::path& victim) {
    switch (before) {
        case Before::nothing:
            break;
        case Before::file:
            std::ofstream(at) << "old";
            break;
        case Before::link:
            fs::create_symlink(victim, at);
            break;
        case Before::danglingLink:
            fs::create_symlink(victim.parent_path() / "absent", at);
            break;
        case Before::folder:
            fs::create_directory(at);
            break;
    }
}

bool present(const fs::path& path) { return fs::exists(fs::symlink_status(path)); }

// In a child with a file size limit of `limit` bytes (SIGXFSZ ignored, as
// the programs do while they write): writes the pieces and exits 0 when the
// write `failing` and every one after it report EFBIG, the move into place
// fails with it, the final name keeps what it held and the file is gone.
void writeBeyondTheLimit(const std::string& folder, const std::vector<std::size_t>& pieces, std::size_t failing,
                         rlim_t limit) {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit small{limit, limit};
    setrlimit(RLIMIT_FSIZE, &small);
    const std::string part = folder + "out.txt.part", final = folder + "out.txt";
    bool right = true;
    {
        NewFile file;
        right &= file.create(part) == 0;
        for (std::size_t i = 0; i < pieces.size(); ++i) {
            const int error = file.write(std::string(pieces[i], 'x').data(), pieces[i]);
            if (error != (i < failing ? 0 : EFBIG)) {
                std::cerr << "write " << i << ": " << error << std::endl;
                right = false;
            }
        }
        right &= file.moveTo(final) == EFBIG && file.path().empty();
    }
    right &= readFile(final) == "earlier" && !present(part);
    std::_Exit(right ? 0 : 1);
}

}  // namespace

TEST(NewFile, IsCreatedNewAndNeverThroughWhatIsAtItsPath) {
    const struct {
        const char* what;
        Before before;
        AtPath atPath;
        int error;
    } rows[] = {
        {"nothing there", Before::nothing, AtPath::refuse, 0},
        {"a file refused", Before::file, AtPath::refuse, EEXIST},
        {"a link refused", Before::link, AtPath::refuse, EEXIST},
        {"a dangling link refused", Before::danglingLink, AtPath::refuse, EEXIST},
        {"a file replaced", Before::file, AtPath::replace, 0},
        {"a link replaced", Before::link, AtPath::replace, 0},
        {"a dangling link replaced", Before::danglingLink, AtPath::replace, 0},
        {"a folder", Before::folder, AtPath::replace, EISDIR},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        TempFolder temp;
        const std::string victim = temp.write("victim.txt", "not yours");
        const fs::path part = temp.path() / "out.txt.part";
        place(row.before, part, victim);
        NewFile file;
        EXPECT_EQ(file.create(part.string(), row.atPath), row.error);
        EXPECT_EQ(file.error(), row.error);
        if (row.error == 0) {
            EXPECT_EQ(file.write("new", 3), 0);
            EXPECT_EQ(file.close(), 0);
            EXPECT_FALSE(fs::is_symlink(part));
            EXPECT_EQ(readFile(part), "new");
            EXPECT_FALSE(present(temp.path() / "absent"));
        } else {
            EXPECT_FALSE(file.isOpen());
            EXPECT_EQ(fs::symlink_status(part).type(), row.before == Before::folder ? fs::file_type::directory
                                                       : row.before == Before::file ? fs::file_type::regular
                                                                                    : fs::file_type::symlink);
        }
        EXPECT_EQ(readFile(victim), "not yours");
    }
}

TEST(NewFile, TakesItsFinalNameWholeOrIsRemoved) {
    // Whatever holds the final name is replaced, a link included (never
    // written through); a folder there makes the move fail, and then the
    // unfinished file goes too.
    const struct {
        const char* what;
        Before before;
        int error;
    } rows[] = {
        {"a new name", Before::nothing, 0},          {"an earlier file", Before::file, 0},
        {"a link to another file", Before::link, 0}, {"a dangling link", Before::danglingLink, 0},
        {"a folder", Before::folder, EISDIR},
    };
    for (const DiskSync sync : {DiskSync::none, DiskSync::beforeClose})
        for (const auto& row : rows) {
            SCOPED_TRACE(std::string(row.what) + (sync == DiskSync::none ? "" : ", synced"));
            TempFolder temp;
            const std::string victim = temp.write("victim.txt", "not yours");
            const fs::path part = temp.path() / "out.txt.part", final = temp.path() / "out.txt";
            place(row.before, final, victim);
            NewFile file;
            ASSERT_EQ(file.create(part.string(), AtPath::refuse, sync), 0);
            file.write("new", 3);
            EXPECT_EQ(present(final), row.before != Before::nothing) << "nothing changes before the move";
            EXPECT_EQ(file.moveTo(final.string()), row.error);
            EXPECT_FALSE(present(part));
            EXPECT_TRUE(file.path().empty());
            if (row.error == 0) {
                EXPECT_FALSE(fs::is_symlink(final));
                EXPECT_EQ(readFile(final), "new");
            } else {
                EXPECT_TRUE(fs::is_directory(final));
            }
            EXPECT_EQ(readFile(victim), "not yours");
        }
}

TEST(NewFile, AFailedWriteKeepsItsReasonAndLeavesNoFile) {
    // A file size limit refuses writes as a full disk does; the first
    // failure is the one reported, and nothing is written after it.
    const struct {
        const char* what;
        std::vector<std::size_t> pieces;
        std::size_t failing;  // index of the first write that fails
        rlim_t limit;
    } rows[] = {
        {"the first write", {10}, 0, 4},
        {"a later write", {3, 3, 100}, 2, 8},
        {"a large write", {1 << 17}, 0, 1 << 16},
        {"writes after the failure", {10, 1, 1}, 0, 4},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        TempFolder temp;
        temp.write("out.txt", "earlier");
        EXPECT_EXIT(writeBeyondTheLimit(temp.folder(), row.pieces, row.failing, row.limit), testing::ExitedWithCode(0),
                    "");
    }
}

TEST(NewFile, AnUnfinishedFileIsRemovedUnlessReleased) {
    const struct {
        const char* what;
        void (*end)(NewFile&);
        bool left;
    } rows[] = {
        {"dropped", [](NewFile&) {}, false},
        {"removed", [](NewFile& f) { f.remove(); }, false},
        {"closed, then dropped", [](NewFile& f) { f.close(); }, false},
        {"released", [](NewFile& f) { f.release(); }, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        TempFolder temp;
        const fs::path part = temp.path() / "out.txt.part";
        {
            NewFile file;
            ASSERT_EQ(file.create(part.string()), 0);
            file.write("new", 3);
            row.end(file);
        }
        EXPECT_EQ(present(part), row.left);
        if (row.left) {
            EXPECT_EQ(readFile(part), "new");
        }
    }
}

TEST(RemovalList, RemovesListedFilesAndTreesButNoFolderListedAsAFile) {
    TempFolder temp;
    const std::string part = temp.write("a.part", "half");
    const fs::path staged = temp.path() / ".staging";
    fs::create_directories(staged / "inner");
    std::ofstream(staged / "inner" / "b.png") << "half";
    // A user's folder that happens to bear a listed file's name stays.
    const fs::path users = temp.path() / "c.png";
    fs::create_directory(users);
    std::ofstream(users / "keep") << "mine";
    common::RemovalList list;
    {
        const std::lock_guard<std::mutex> lock(list.mutex());
        list.add(part);
        list.add(staged.string(), common::RemovalList::Kind::tree);
        list.add(users.string());
        list.add((temp.path() / "never-made.part").string());
        list.add((temp.path() / "dropped.part").string());
        list.drop((temp.path() / "dropped.part").string());
        list.removeAll();
        EXPECT_TRUE(list.empty());
    }
    EXPECT_FALSE(present(part));
    EXPECT_FALSE(present(staged));
    EXPECT_EQ(readFile(users / "keep"), "mine");
}
