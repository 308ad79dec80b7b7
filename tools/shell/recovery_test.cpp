// Unsaved edits and saved files land somewhere whatever the disk does: a recovery file
// goes to the state directory when it cannot be written beside the file, and long
// names are cut so that recovery files and temporary copies still make names. What
// the user is told of them shows control characters in names escaped.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <string>

#include "codepage.h"
#include "editor.h"
#include "file_io.h"
#include "shell.h"
#include "stop_signals.h"
#include "temp_dir_test.h"
#include "zarelin/host_api.h"

namespace shell {
namespace {

std::string Repeat(const std::string& piece, size_t times) {
    std::string out;
    while (times-- > 0)
        out += piece;
    return out;
}

size_t EntriesOf(const std::string& dir) {
    std::string out;
    FILE* ls = popen(("ls -A '" + dir + "' 2>/dev/null | wc -l").c_str(), "r");
    char line[32] = "";
    if (ls && fgets(line, sizeof line, ls)) out = line;
    if (ls) pclose(ls);
    return std::strtoul(out.c_str(), nullptr, 10);
}

class RecoveryTest : public TempDirTest {
  protected:
    void SetUp() override {
        TempDirTest::SetUp();
        state_ = dir_ + "/state";
        setenv("XDG_STATE_HOME", state_.c_str(), 1);
    }
    void TearDown() override {
        unsetenv("XDG_STATE_HOME");
        TempDirTest::TearDown();
    }
    std::string state_;
};

TEST_F(RecoveryTest, ALongNameIsCutAtACharacterSoThatEveryNumberedNameFits) {
    const std::string e = "\xC3\xA9"; // é: two bytes, so that a cut may fall inside one
    struct Case {
        std::string name;     // of the file edited
        std::string recovery; // of its first recovery file
    } cases[] = {
        {"notes.txt", "notes.txt.recovered"},
        {Repeat("a", 241), Repeat("a", 241) + ".recovered"}, // "-100" still fits
        {Repeat("a", 250), Repeat("a", 241) + ".recovered"},
        {Repeat(e, 125), Repeat(e, 120) + ".recovered"}, // 241 bytes would end in half an é
        {Repeat("a", 255), Repeat("a", 241) + ".recovered"},
    };
    const std::string files = dir_ + "/files";
    for (const Case& c : cases) {
        ASSERT_EQ(mkdir(files.c_str(), 0755), 0);
        const std::string file = Write("files/" + c.name, "saved\n");
        // The first, and the hundredth once the names between are taken.
        const std::string first = WriteBeside(file, ".recovered", "unsaved\n");
        EXPECT_EQ(first, files + "/" + c.recovery) << c.name.size() << " bytes";
        EXPECT_EQ(Read(first), "unsaved\n");
        for (int n = 2; n < 100; ++n)
            close(open((first + "-" + std::to_string(n)).c_str(), O_WRONLY | O_CREAT, 0600));
        const std::string last = WriteBeside(file, ".recovered", "unsaved\n");
        EXPECT_EQ(last, files + "/" + c.recovery + "-100") << c.name.size() << " bytes";
        EXPECT_EQ(Read(last), "unsaved\n");
        EXPECT_EQ(Read(file), "saved\n");
        std::system(("rm -rf '" + files + "'").c_str());
    }
    EXPECT_EQ(EntriesOf(state_ + "/zarelin"), 0u) << "the file's folder took them all";
}

TEST_F(RecoveryTest, AFolderThatIsGoneSendsTheFileToTheStateDirectory) {
    const std::string gone = dir_ + "/gone";
    ASSERT_EQ(mkdir(gone.c_str(), 0755), 0);
    const std::string file = Write("gone/notes.txt", "saved\n");
    std::system(("rm -rf '" + gone + "'").c_str());
    const std::string kept = WriteBeside(file, ".recovered", "unsaved\n");
    EXPECT_EQ(kept, state_ + "/zarelin/notes.txt.recovered");
    EXPECT_EQ(Read(kept), "unsaved\n");
}

// Runs `body` in a child process that sees a 16 kB file system mounted on `folder` (in
// mount and user namespaces of its own, so that nothing outside sees it). Its exit
// status: 0 when `body` held, 77 when no such file system can be had here.
int OnSmallDisk(const std::string& folder, const std::function<bool()>& body) {
    const uid_t uid = geteuid();
    const gid_t gid = getegid();
    const pid_t child = fork();
    if (child == 0) {
        if (unshare(CLONE_NEWNS) != 0) {
            if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) _exit(77);
            auto put = [](const char* file, const std::string& text) {
                const int fd = open(file, O_WRONLY);
                const bool ok = fd >= 0 && write(fd, text.data(), text.size()) ==
                                               static_cast<ssize_t>(text.size());
                if (fd >= 0) close(fd);
                return ok;
            };
            if (!put("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") ||
                !put("/proc/self/setgroups", "deny") ||
                !put("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1"))
                _exit(77);
        }
        if (mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=16k") != 0)
            _exit(77);
        _exit(body() ? 0 : 1);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

TEST_F(RecoveryTest, AWriteThatFailsForWantOfRoomSendsTheFileToTheStateDirectory) {
    const std::string full = dir_ + "/full";
    ASSERT_EQ(mkdir(full.c_str(), 0755), 0);
    const int status = OnSmallDisk(full, [&] {
        const std::string bytes(64 * 1024, 'x'); // more than the disk holds
        const std::string kept = WriteBeside(full + "/notes.txt", ".recovered", bytes);
        const bool ok = kept == state_ + "/zarelin/notes.txt.recovered" && Read(kept) == bytes &&
                        EntriesOf(full) == 0;
        if (!ok) std::fprintf(stderr, "kept in '%s'\n", kept.c_str());
        return ok;
    });
    if (status == 77) GTEST_SKIP() << "no small file system can be mounted here";
    EXPECT_EQ(status, 0) << "a half-written file stayed, or the state directory was not used";
}

TEST_F(RecoveryTest, ALongNameIsSavedThroughATemporaryCopyAsAShortOneIs) {
    const std::string e = "\xC3\xA9";
    for (const std::string& name : {Repeat("a", 239), Repeat("a", 240), Repeat(e, 125),
                                    Repeat("a", 254) + "b", Repeat(e, 127) + "b"}) {
        const std::string file = Write(name, "old\n");
        struct stat before, after;
        ASSERT_EQ(stat(file.c_str(), &before), 0);
        std::string error;
        ASSERT_TRUE(SaveFile(file, "new\n", &error)) << name.size() << " bytes: " << error;
        ASSERT_EQ(stat(file.c_str(), &after), 0);
        EXPECT_NE(after.st_ino, before.st_ino) << name.size() << " bytes: written in place";
        EXPECT_EQ(Read(file), "new\n");
        EXPECT_EQ(EntriesOf(dir_), 1u) << name.size() << " bytes: a copy stayed behind";
        unlink(file.c_str());
    }
}

// Names that hold control characters, and how messages show them.
const struct {
    std::string name;
    std::string shown;
} ControlNames[] = {
    {"\x1B[31mred.txt", "\\x1B[31mred.txt"},
    {"two\nlines.txt", "two\\x0Alines.txt"},
    {"del\x7F.txt", "del\\x7F.txt"},
};

bool HoldsControls(const std::string& text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return true;
    return false;
}

bool Change(Editor* editor) {
    EditorLineWriteRecord write = {-1, "changed", nullptr, 7};
    return editor->Service(EditorSetLine, &write) == 1;
}

TEST_F(RecoveryTest, TheEditorsMessagesShowControlCharactersInNamesEscaped) {
    for (const auto& c : ControlNames) {
        const std::string file = Write(c.name, "one\n");
        std::string error;
        std::unique_ptr<Editor> editor = Editor::Open(file, c.name, &error);
        ASSERT_TRUE(editor) << error;
        ASSERT_TRUE(editor->Save());
        EXPECT_EQ(Shell.notice, "Saved " + c.shown);
        ASSERT_TRUE(Change(editor.get()));
        const std::string note = editor->Recover("Terminated");
        EXPECT_EQ(note, "unsaved edits of " + c.shown + " were kept in " + dir_ + "/" + c.shown +
                            ".recovered (Terminated)");
        EXPECT_FALSE(HoldsControls(note)) << note;

        const std::string folder = c.name + ".d";
        ASSERT_EQ(mkdir((dir_ + "/" + folder).c_str(), 0755), 0);
        EXPECT_FALSE(Editor::Open(dir_ + "/" + folder, folder, &error));
        EXPECT_EQ(error, c.shown + ".d is a directory");
    }
    Shell.notice.clear();
}

TEST_F(RecoveryTest, TheNoteOfAStopSignalReachesNoTerminalAsAnEscapeSequence) {
    const std::string& name = ControlNames[0].name;
    const std::string file = Write(name, "one\n");
    const std::string said = dir_ + "/stderr";
    EXPECT_EXIT(
        {
            std::string error;
            std::unique_ptr<Editor> editor = Editor::Open(file, name, &error);
            if (!editor || !Change(editor.get())) _exit(1);
            const int fd = open(said.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (fd < 0 || dup2(fd, STDERR_FILENO) < 0) _exit(1);
            InstallStopSignals();
            Shell.editor = editor.get();
            raise(SIGTERM);
            HonourStopSignal();
            _exit(1);
        },
        ::testing::KilledBySignal(SIGTERM), "");
    const std::string kept = dir_ + "/" + ControlNames[0].shown + ".recovered";
    for (const std::string& where : {said, state_ + "/zarelin/recovered.txt"}) {
        const std::string text = Read(where);
        EXPECT_NE(text.find("of " + ControlNames[0].shown + " were kept in " + kept),
                  std::string::npos)
            << where << ": " << text;
        EXPECT_FALSE(HoldsControls(text.substr(0, text.size() - 1))) << where << ": " << text;
    }
}

} // namespace
} // namespace shell
