// Saving keeps the user's file: what the file is survives the save, a failure leaves
// the old contents, and unsaved edits go to a recovery file.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>

#include "codepage.h"
#include "editor.h"
#include "file_io.h"
#include "temp_dir_test.h"
#include "zarelin/host_api.h"

namespace shell {
namespace {

class FileSaveTest : public TempDirTest {
  protected:
    size_t Entries() {
        std::string out;
        FILE* ls = popen(("ls -A '" + dir_ + "' | wc -l").c_str(), "r");
        char line[32] = "";
        if (ls && fgets(line, sizeof line, ls)) out = line;
        if (ls) pclose(ls);
        return std::strtoul(out.c_str(), nullptr, 10);
    }
};

struct Keeping {
    const char* what;
    std::function<bool(const std::string& file)> prepare; // false: cannot be set up here
    std::function<bool(const std::string& file, const struct stat& before)> kept;
};

TEST_F(FileSaveTest, SavingKeepsModeOwnerLinksAndAttributes) {
    const Keeping cases[] = {
        {"mode", [](const std::string& f) { return chmod(f.c_str(), 0640) == 0; },
         [](const std::string& f, const struct stat&) {
             struct stat s;
             return stat(f.c_str(), &s) == 0 && (s.st_mode & 07777) == 0640;
         }},
        {"owner",
         [](const std::string& f) { return geteuid() == 0 && chown(f.c_str(), 4321, 4321) == 0; },
         [](const std::string& f, const struct stat&) {
             struct stat s;
             return stat(f.c_str(), &s) == 0 && s.st_uid == 4321 && s.st_gid == 4321;
         }},
        {"hard link",
         [](const std::string& f) { return link(f.c_str(), (f + ".link").c_str()) == 0; },
         [](const std::string& f, const struct stat& before) {
             struct stat s;
             return stat((f + ".link").c_str(), &s) == 0 && s.st_ino == before.st_ino &&
                    Read(f + ".link") == "new\n";
         }},
        {"attribute",
         [](const std::string& f) { return setxattr(f.c_str(), "user.zarelin", "1", 1, 0) == 0; },
         [](const std::string& f, const struct stat&) {
             char value[4] = "";
             return getxattr(f.c_str(), "user.zarelin", value, sizeof value) == 1 &&
                    value[0] == '1';
         }},
        {"symbolic link",
         [](const std::string& f) { return symlink(f.c_str(), (f + ".to").c_str()) == 0; },
         [](const std::string& f, const struct stat&) {
             struct stat s;
             return lstat((f + ".to").c_str(), &s) == 0 && S_ISLNK(s.st_mode);
         }},
    };
    for (const Keeping& c : cases) {
        const std::string file = Write(std::string("f-") + c.what, "old\n");
        if (!c.prepare(file)) {
            std::printf("not checked here: %s\n", c.what);
            continue;
        }
        struct stat before;
        ASSERT_EQ(stat(file.c_str(), &before), 0);
        const std::string saved = std::string(c.what) == "symbolic link" ? file + ".to" : file;
        std::string error;
        ASSERT_TRUE(SaveFile(saved, "new\n", &error)) << c.what << ": " << error;
        EXPECT_EQ(Read(file), "new\n") << c.what;
        EXPECT_TRUE(c.kept(file, before)) << c.what;
    }
    EXPECT_EQ(Entries(), 7u); // five files, a link and a symbolic link: nothing left over
}

// Runs `body` as a user who cannot write into dir_ (root is let in anywhere).
void AsUnprivileged(const std::function<bool()>& body) {
    EXPECT_EXIT(
        {
            if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
            _exit(body() ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(FileSaveTest, AFolderThatTakesNoNewFileIsWrittenInPlaceAfterABackup) {
    char state[] = "/tmp/zarelin-state-XXXXXX";
    ASSERT_TRUE(mkdtemp(state));
    chmod(state, 0777);
    const std::string file = Write("notes.txt", "old\n");
    chmod(file.c_str(), 0666);
    chmod(dir_.c_str(), 0555);
    struct stat before;
    ASSERT_EQ(stat(file.c_str(), &before), 0);
    AsUnprivileged([&] {
        setenv("XDG_STATE_HOME", state, 1);
        std::string error;
        return SaveFile(file, "new\n", &error) && Read(file) == "new\n";
    });
    struct stat after;
    ASSERT_EQ(stat(file.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(Read(file), "new\n");
    EXPECT_EQ(
        std::system(
            ("test -z \"$(ls -A '" + std::string(state) + "/zarelin' 2>/dev/null)\"").c_str()),
        0)
        << "the backup stayed behind";
    std::system(("rm -rf '" + std::string(state) + "'").c_str());
}

// A file size limit makes the write fail half-way; true when the save said so.
bool SaveFailsHalfWay(const std::string& file, const char* expectedError) {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit = {64, 64};
    setrlimit(RLIMIT_FSIZE, &limit);
    std::string error;
    return !SaveFile(file, std::string(1000, 'x'), &error) &&
           error.find(expectedError) != std::string::npos;
}

TEST_F(FileSaveTest, AWriteThatFailsLeavesTheOldContents) {
    for (bool inPlace : {false, true}) {
        const std::string file = Write(inPlace ? "linked" : "plain", "old contents\n");
        if (inPlace) {
            ASSERT_EQ(link(file.c_str(), (file + ".link").c_str()), 0);
        }
        const char* expected = inPlace ? "the file is as it was" : "Cannot save";
        EXPECT_EXIT(_exit(SaveFailsHalfWay(file, expected) ? 0 : 1), ::testing::ExitedWithCode(0),
                    "")
            << (inPlace ? "in place" : "beside");
        EXPECT_EQ(Read(file), "old contents\n");
    }
    EXPECT_EQ(Entries(), 3u) << "a temporary copy or a backup stayed behind";
}

// Sets the file's modification time to `when`, so that a change can be told from the
// file system's clock, which may not have moved.
bool Touch(const std::string& file, const timespec& when) {
    const timespec times[2] = {when, when};
    return utimensat(AT_FDCWD, file.c_str(), times, 0) == 0;
}

TEST_F(FileSaveTest, AChangeOnDiskShowsInTheFilesIdentity) {
    const timespec then = {1700000000, 500};
    struct Case {
        const char* what;
        std::function<void(const std::string& file)> change;
        bool changed;
    } cases[] = {
        {"nothing", [](const std::string&) {}, false},
        {"the same size written a nanosecond later",
         [&](const std::string& f) {
             std::ofstream(f, std::ios::binary) << "OLD\n";
             Touch(f, {then.tv_sec, then.tv_nsec + 1});
         },
         true},
        {"a second later",
         [&](const std::string& f) {
             Touch(f, {then.tv_sec + 1, then.tv_nsec});
         },
         true},
        {"grown, its time put back",
         [&](const std::string& f) {
             std::ofstream(f, std::ios::app | std::ios::binary) << "more\n";
             Touch(f, then);
         },
         true},
        {"replaced by another file of the same size and time",
         [&](const std::string& f) {
             std::ofstream(f + ".new", std::ios::binary) << "new\n";
             Touch(f + ".new", then);
             rename((f + ".new").c_str(), f.c_str());
         },
         true},
        {"removed", [](const std::string& f) { unlink(f.c_str()); }, false},
    };
    for (const Case& c : cases) {
        const std::string file = Write(std::string("f-") + c.what, "old\n");
        ASSERT_TRUE(Touch(file, then));
        const FileIdentity before = IdentityOf(file);
        ASSERT_TRUE(before.exists);
        c.change(file);
        EXPECT_EQ(ChangedSince(before, IdentityOf(file)), c.changed) << c.what;
    }
    const FileIdentity none = IdentityOf(dir_ + "/new");
    EXPECT_FALSE(none.exists);
    EXPECT_FALSE(ChangedSince(none, IdentityOf(dir_ + "/new"))) << "still none";
    EXPECT_TRUE(ChangedSince(none, IdentityOf(Write("new", "")))) << "one appeared";
}

TEST_F(FileSaveTest, UnsavedEditsGoToARecoveryFileBesideTheFile) {
    const std::string file = Write("draft.txt", "one\n");
    Write("draft.txt.recovered", "an earlier one\n");
    std::string error;
    std::unique_ptr<Editor> editor = Editor::Open(file, "draft.txt", &error);
    ASSERT_TRUE(editor) << error;
    EXPECT_EQ(editor->Recover("Terminated"), ""); // nothing unsaved
    const char text[] = "changed";
    EditorLineWriteRecord write = {-1, text, nullptr, 7};
    ASSERT_EQ(editor->Service(EditorSetLine, &write), 1);
    const std::string note = editor->Recover("Terminated");
    EXPECT_NE(note.find(dir_ + "/draft.txt.recovered-2 (Terminated)"), std::string::npos) << note;
    EXPECT_EQ(Read(file + ".recovered-2"), "changed\n");
    EXPECT_EQ(Read(file + ".recovered"), "an earlier one\n");
    EXPECT_EQ(Read(file), "one\n");
}

} // namespace
} // namespace shell
