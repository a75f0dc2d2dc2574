// Sessions in folders that another local user can write to (a sticky folder
// like /tmp, a group folder of mode 2770): the other user, played by a forked
// child that drops to an unused uid, plants and replaces files at the
// session's names and must neither read, replace nor keep any plain text.
#include "tests/support/EditorTestSupport.h"
#include "tests/support/ScriptedView.h"

#include "platform/Files.h"
#include "platform/PrivateFolder.h"
#include "tests/support/TempFolder.h"

#include <chrono>
#include <fcntl.h>
#include <functional>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace quillock::testing {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

const std::string Content = "Arbolix data file\r\nsecret entry\r\n";
constexpr gid_t SharedGid = OtherGid;

// A file the other user writes at path, world-readable and writable, as a
// trap for anything that would open it instead of creating its own.
bool Plant(const std::string& path, const std::string& text) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
    if (fd < 0) {
        return false;
    }
    (void)::fchmod(fd, 0666);
    const bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    return ::close(fd) == 0 && ok;
}

// Waits up to two seconds for path to exist.
bool AwaitFile(const std::string& path) {
    for (int i = 0; i < 200; ++i) {
        if (::access(path.c_str(), F_OK) == 0) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

struct TFolderKind {
    const char* Name;
    mode_t Mode;
};

class SharedFolderTest : public TOtherUserTest, public ::testing::WithParamInterface<TFolderKind> {
protected:
    void SetUp() override {
        TOtherUserTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) {
            return;
        }
        ASSERT_EQ(::chown(Shared.c_str(), 0, SharedGid), 0);
        ASSERT_EQ(::chmod(Shared.c_str(), GetParam().Mode), 0);
        Data = Shared + "/diary.qlx";
        View.FName = Data;
        SealContent(Data, Content, false);
        Sealed = datafile::testing::ReadBytes(Data);
        // No private folder in memory to be had: the working copy stays beside
        // the data file, as on a system without one.
        platform::SetSharedMemoryRoot(Dir.string());
    }
    void TearDown() override { platform::SetSharedMemoryRoot("/dev/shm"); }

    void Editor(const std::string& actions) { View.FExeName = FakeEditor + " " + actions; }

    // The messages after the shared-folder notice the session starts with.
    [[nodiscard]] Strings MessagesAfterNotice() const {
        EXPECT_FALSE(View.Messages.empty());
        if (View.Messages.empty()) {
            return {};
        }
        EXPECT_NE(View.Messages.front().find("can be written by other users"), std::string::npos);
        return Strings(View.Messages.begin() + 1, View.Messages.end());
    }

    std::string Data;
    datafile::testing::Bytes Sealed;
    TScriptedView View;
    quillock::tests::TEnvironmentVariable NoRuntime{"XDG_RUNTIME_DIR", ""};
};

TEST_P(SharedFolderTest, AForeignFileAtAnyOfOurNamesIsRefusedByNameBeforeAnyPlainText) {
    for (const char* suffix : {".qlt", ".qlz", ".bak", ".old", ".qln", ".bak.qln", ".qlk"}) {
        SCOPED_TRACE(suffix);
        const std::string planted = Data + suffix;
        ASSERT_TRUE(AsOtherUser([&] { return Plant(planted, "trap"); }));
        TScriptedView view;
        view.FName = Data;
        view.FDoubleBackup = true;
        view.FExeName = FakeEditor + " append=x";
        EXPECT_EQ(view.Run(), 1);
        ASSERT_EQ(view.Messages.size(), 2u);
        EXPECT_TRUE(view.Messages[1].starts_with("\"" + planted + "\" is owned by nobody (uid 65534)"))
            << view.Messages[1];
        EXPECT_FALSE(view.Saw("HideMainWindow")) << "the editor never started";
        // Nothing of ours went into the trap, and nothing changed.
        EXPECT_EQ(ReadText(planted), "trap");
        EXPECT_EQ(datafile::testing::ReadBytes(Data), Sealed);
        EXPECT_EQ(Listing(Shared), (Strings{"diary.qlx", std::string("diary.qlx") + suffix}));
        ASSERT_EQ(::unlink(planted.c_str()), 0);
    }
}

TEST_P(SharedFolderTest, AFileWithASecondNameIsRefusedToo) {
    // A hard link to a file of ours: writing through it would reach the
    // other name as well.
    const std::string other = Dir / "elsewhere";
    datafile::testing::WriteText(other, "ours, elsewhere");
    ASSERT_EQ(::link(other.c_str(), (Data + ".qlt").c_str()), 0);
    Editor("append=x");
    EXPECT_EQ(View.Run(), 1);
    const Strings messages = MessagesAfterNotice();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].starts_with("\"" + Data + ".qlt\" is a file with 2 names")) << messages[0];
    EXPECT_EQ(ReadText(other), "ours, elsewhere");
}

TEST_P(SharedFolderTest, AFilePlantedWhileEditingNeverReceivesTheText) {
    // The other user waits for the working copy and puts a file at the
    // intermediate name, where compressing would write the new text.
    View.FUseCompression = true;
    Editor("sleep=300 append=new-secret");
    const std::string planted = Data + ".qlz";
    const pid_t attacker = StartAsOtherUser([&] { return AwaitFile(Data + ".qlt") && Plant(planted, "trap"); });
    EXPECT_EQ(View.Run(), 1);
    ASSERT_TRUE(Succeeded(attacker)) << "the other user could not plant the file";
    EXPECT_EQ(ReadText(planted), "trap");
    EXPECT_EQ(datafile::testing::ReadBytes(Data), Sealed);
    // The edits are where the report says, readable by us only.
    const Strings messages = MessagesAfterNotice();
    ASSERT_FALSE(messages.empty());
    EXPECT_NE(messages.back().find("Your edits are in \"" + Data + ".qlt\""), std::string::npos) << messages.back();
    EXPECT_EQ(ReadText(Data + ".qlt"), Content + "new-secret");
    EXPECT_EQ(Mode(Data + ".qlt"), 0600u);
}

TEST_P(SharedFolderTest, AWorkingCopyReplacedByTheOtherUserIsNeverSealed) {
    if (GetParam().Mode & S_ISVTX) {
        GTEST_SKIP() << "in a sticky folder the other user cannot remove our working copy";
    }
    // In a group folder the other user can remove our working copy while the
    // editor runs and put a text of theirs in its place.
    Editor("sleep=300");
    const std::string working = Data + ".qlt";
    const pid_t attacker = StartAsOtherUser([&] {
        return AwaitFile(working) && ::unlink(working.c_str()) == 0 &&
               Plant(working, "Arbolix data file\r\nthe other user's text\r\n");
    });
    EXPECT_EQ(View.Run(), 1);
    ASSERT_TRUE(Succeeded(attacker)) << "the other user could not replace the file";
    const Strings messages = MessagesAfterNotice();
    ASSERT_FALSE(messages.empty());
    EXPECT_TRUE(messages.back().starts_with("\"" + working + "\" is owned by nobody (uid 65534) after editing"))
        << messages.back();
    EXPECT_EQ(datafile::testing::ReadBytes(Data), Sealed);
    EXPECT_EQ(Unseal(Data).Content, Content);
}

TEST_P(SharedFolderTest, TheOtherUserReadsNothingOfANormalSession) {
    // While the editor runs, the other user tries every temporary name.
    Editor("sleep=300 append=more");
    View.FUseCompression = true;
    const pid_t reader = StartAsOtherUser([&] {
        if (!AwaitFile(Data + ".qlt")) {
            return false;
        }
        for (const char* suffix : {".qlt", ".qlz", ".bak", ".qln"}) {
            const int fd = ::open((Data + suffix).c_str(), O_RDONLY);
            if (fd >= 0) {
                ::close(fd);
                return false;
            }
        }
        return true;
    });
    EXPECT_EQ(View.Run(), 0);
    EXPECT_TRUE(Succeeded(reader)) << "the other user could open a temporary file";
    EXPECT_EQ(Unseal(Data).Content, Content + "more");
    EXPECT_EQ(Listing(Shared), (Strings{"diary.qlx", "diary.qlx.bak"}));
}

// A folder that its user cannot write (here the other user's own folder of
// mode 0500) is reported as read-only, with what to do, before anything is written.
using ReadOnlyFolderTest = datafile::testing::TTempDirTest;

TEST_F(ReadOnlyFolderTest, IsReportedAsSuchWithWhatToDo) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "a folder root cannot write needs another user (setuid to uid 65534); run the tests as root";
    }
    ASSERT_EQ(::chmod(Dir.c_str(), 0711), 0);
    const std::string folder = Path("readonly");
    const std::string data = folder + "/diary.qlx";
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    ASSERT_TRUE(Plant(data, "sealed bytes, no editor's name"));
    ASSERT_EQ(::chmod(data.c_str(), 0600), 0);
    ASSERT_EQ(::chown(data.c_str(), OtherUid, SharedGid), 0);
    ASSERT_EQ(::chown(folder.c_str(), OtherUid, SharedGid), 0);
    ASSERT_EQ(::chmod(folder.c_str(), 0500), 0);
    EXPECT_TRUE(AsOtherUser([&] {
        TScriptedView view;
        view.FName = data;
        return view.Run() == 1 && !view.Messages.empty() &&
               view.Messages.back() == "The folder of \"" + data + "\" (\"" + folder +
                                           "\") is read-only for you: the session cannot write the files it needs "
                                           "there.\r\n\r\nMake the folder writable, or copy the data file to a "
                                           "folder you can write and open it there. Nothing has been changed.";
    }));
    EXPECT_EQ(Listing(folder), Strings{"diary.qlx"});
}

// The same folders with a private folder in memory to be had: the working
// copy goes there, out of the other user's reach.
class PrivateTempTest : public SharedFolderTest {
protected:
    void SetUp() override {
        SharedFolderTest::SetUp();
        if (IsSkipped()) {
            return;
        }
        std::string pattern = "/dev/shm/quillock-runtime-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        Runtime = pattern;
        ::setenv("XDG_RUNTIME_DIR", Runtime.c_str(), 1);
        platform::SetSharedMemoryRoot("/dev/shm");
    }
    void TearDown() override {
        std::error_code error;
        fs::remove_all(Runtime, error);
    }
    std::string Runtime;
};

TEST_P(PrivateTempTest, TheWorkingCopyIsInMemoryAndTheOtherUserFindsNothingBeside) {
    // The other user watches every temporary name beside the data file while
    // the editor runs, and would replace the working copy if it showed up.
    Editor("sleep=600 append=more record=" + (Dir / "args").string());
    const pid_t watcher = StartAsOtherUser([&] {
        for (int i = 0; i < 50; ++i) {
            for (const char* suffix : {".qlt", ".qlz"}) {
                if (::access((Data + suffix).c_str(), F_OK) == 0) {
                    return false;
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return true;
    });
    EXPECT_EQ(View.Run(), 0);
    EXPECT_TRUE(Succeeded(watcher)) << "a temporary file showed up beside the data file";
    // The editor got the known name, in the private folder the notice named.
    std::string working = ReadText(Dir / "args"); // the arguments, one a line: the file is the last
    working.erase(working.find_last_not_of('\n') + 1);
    working = working.substr(working.rfind('\n') + 1);
    EXPECT_TRUE(working.starts_with(Runtime + "/quillock/diary.qlx.")) << working;
    EXPECT_NE(working.find("/diary.qlx.qlt"), std::string::npos) << working;
    ASSERT_FALSE(View.Messages.empty());
    EXPECT_NE(
        View.Messages.front().find("in a private folder in memory, because its folder can be written by other users"),
        std::string::npos)
        << View.Messages.front();
    EXPECT_EQ(Unseal(Data).Content, Content + "more");
    EXPECT_EQ(Listing(Shared), (Strings{"diary.qlx", "diary.qlx.bak"}));
    EXPECT_EQ(Listing(Runtime + "/quillock"), Strings{}) << "the emptied private folder stays";
}

TEST_P(PrivateTempTest, AFolderRenamedAndReplacedDuringTheEditIsNeverSealedInto) {
    if (GetParam().Mode & S_ISVTX) {
        GTEST_SKIP() << "in a sticky folder the other user cannot rename our folder";
    }
    // The data file sits in a folder of ours inside the group folder; a group
    // member renames that folder while the editor runs and puts his own one
    // at its name, with a file of his at the data file's name.
    const std::string own = Shared + "/mine";
    ASSERT_EQ(::mkdir(own.c_str(), 0700), 0);
    const std::string data = own + "/diary.qlx";
    ASSERT_EQ(::rename(Data.c_str(), data.c_str()), 0);
    View.FName = data;
    Editor("sleep=600 append=new-secret");
    const pid_t attacker = StartAsOtherUser([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        return ::rename(own.c_str(), (Shared + "/moved").c_str()) == 0 && ::mkdir(own.c_str(), 0777) == 0 &&
               Plant(data, "the other user's file");
    });
    EXPECT_EQ(View.Run(), 1);
    ASSERT_TRUE(Succeeded(attacker)) << "the other user could not swap the folder";
    EXPECT_FALSE(View.Saw("Panel:No changes done."));
    ASSERT_FALSE(View.Messages.empty());
    const std::string& report = View.Messages.back();
    EXPECT_NE(report.find("was renamed or replaced while the editor ran: the folder this session opened is now \"" +
                          Shared + "/moved\""),
              std::string::npos)
        << report;
    // The edits are where the report says, in memory, and nothing was sealed
    // into or wiped from either folder.
    const std::size_t start = report.find("The working copy is \"") + 21;
    const std::string working = report.substr(start, report.find('"', start) - start);
    EXPECT_TRUE(working.starts_with(Runtime + "/")) << working;
    EXPECT_EQ(ReadText(working), Content + "new-secret");
    EXPECT_EQ(ReadText(data), "the other user's file");
    EXPECT_EQ(Listing(own), Strings{"diary.qlx"});
    EXPECT_EQ(datafile::testing::ReadBytes(Shared + "/moved/diary.qlx"), Sealed);
    EXPECT_NE(report.find("quillock-cli recover " + Shared + "/moved/diary.qlx"), std::string::npos) << report;

    // That command finds the edits in memory by the folder's identity and
    // seals them there.
    TScriptedView recovering;
    recovering.FName = Shared + "/moved/diary.qlx";
    EXPECT_EQ(recovering.Recover(), 0) << (recovering.Messages.empty() ? "" : recovering.Messages.back());
    EXPECT_EQ(Unseal(recovering.FName).Content, Content + "new-secret");
    EXPECT_FALSE(fs::exists(working));
    EXPECT_EQ(Listing(Shared + "/moved"), (Strings{"diary.qlx", "diary.qlx.bak"}));
}

// The user's own folder, renamed (by the user, from another shell) and a new
// one made at its name while a session on a data file in it runs.
class MovedFolderTest : public datafile::testing::TTempDirTest {
protected:
    void SetUp() override {
        TTempDirTest::SetUp();
        folder = Path("notes");
        ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
        data = folder + "/diary.qlx";
        renamed = Path("renamed");
        SealContent(data, Content, false);
        sealed = datafile::testing::ReadBytes(data);
        view.FName = data;
    }

    // Renames the folder away and makes another at its name, once.
    void SwapFolder() {
        if (!fs::exists(renamed)) {
            EXPECT_EQ(::rename(folder.c_str(), renamed.c_str()), 0);
            EXPECT_EQ(::mkdir(folder.c_str(), 0700), 0);
        }
    }

    std::string folder;
    std::string data;
    std::string renamed;
    datafile::testing::Bytes sealed;
    TScriptedView view;
};

// During the edit: the working copy went with the old folder, and the
// session says so instead of sealing or wiping anything.
TEST_F(MovedFolderTest, TheReportNamesWhereTheWorkingCopyWentAndNothingIsSealed) {
    // Moved once the editor runs: a move before it starts is refused before any editing.
    const std::string started = Path("editor-started");
    view.FExeName = FakeEditor + " record=" + started + " sleep=500 append=edit";
    const pid_t mover = StartChild([&] {
        return AwaitFile(started) && ::rename(folder.c_str(), Path("renamed").c_str()) == 0 &&
               ::mkdir(folder.c_str(), 0700) == 0;
    });
    EXPECT_EQ(view.Run(), 1);
    ASSERT_TRUE(Succeeded(mover));
    EXPECT_FALSE(view.Saw("Panel:No changes done."));
    ASSERT_FALSE(view.Messages.empty());
    EXPECT_NE(view.Messages.back().find("The working copy this session made is now \"" + renamed + "/diary.qlx.qlt\""),
              std::string::npos)
        << view.Messages.back();
    // The editor wrote by the old name, where there is nothing now.
    EXPECT_NE(view.Messages.back().find("what the editor saved under the name \"" + data + ".qlt\""),
              std::string::npos);
    EXPECT_EQ(ReadText(renamed + "/diary.qlx.qlt"), Content);
    EXPECT_EQ(datafile::testing::ReadBytes(renamed + "/diary.qlx"), sealed);
    EXPECT_EQ(Listing(folder), Strings{});
}

// Renamed, and another folder made at its name, after the check that follows
// the editor, while the session seals: the backup, the new data file and
// the wipes still go to the folder the session opened, wherever it is now,
// and nothing is written into the one that took its name.
TEST_F(MovedFolderTest, AFolderMovedAfterTheCheckIsStillTheOneSealedIn) {
    view.FExeName = FakeEditor + " append=edit";
    view.OnEvent = [&](const std::string& event) {
        if (event.find("Creating backup..") != std::string::npos) {
            SwapFolder();
        }
    };
    EXPECT_EQ(view.Run(), 0) << (view.Messages.empty() ? "" : view.Messages.back());
    ASSERT_TRUE(fs::exists(renamed));
    EXPECT_EQ(Unseal(renamed + "/diary.qlx").Content, Content + "edit");
    EXPECT_EQ(datafile::testing::ReadBytes(renamed + "/diary.qlx.bak"), sealed);
    for (const char* suffix : {".qlt", ".qlz", ".qln", ".bak.qln"}) {
        EXPECT_FALSE(fs::exists(renamed + "/diary.qlx" + suffix)) << suffix;
    }
    EXPECT_EQ(Listing(folder), Strings{});
}

// The same during an import, before the editor: the rename, the working
// copy and its checks stay in the folder the session opened, the editor is
// never given the path that now leads into the other folder, and the import
// is put back as it was.
TEST_F(MovedFolderTest, AFolderMovedDuringAnImportIsPutBackAndTheEditorNeverStarts) {
    const std::string plain = folder + "/diary.qlt";
    ASSERT_EQ(::unlink(data.c_str()), 0);
    WriteText(plain, Content);
    view.FName = plain;
    view.YesNoAnswers = {TModalResult::mrYes};
    view.FExeName = FakeEditor + " record=" + Path("argv");
    view.OnEvent = [&](const std::string& event) {
        if (event == "Status:Importing..") {
            SwapFolder();
        }
    };
    EXPECT_EQ(view.Run(), 1);
    ASSERT_FALSE(view.Messages.empty());
    EXPECT_NE(view.Messages.back().find("before the editor started: the folder this session opened is now \"" +
                                        renamed + "\". The editor was not started"),
              std::string::npos)
        << view.Messages.back();
    EXPECT_FALSE(fs::exists(Path("argv"))) << "the editor ran";
    EXPECT_EQ(Listing(renamed), Strings{"diary.qlt"});
    EXPECT_EQ(ReadText(renamed + "/diary.qlt"), Content);
    EXPECT_EQ(Listing(folder), Strings{});
}

// recover, too, works in the folder it opened from its start to its end.
TEST_F(MovedFolderTest, RecoverSealsInTheFolderItOpenedWhateverTookItsName) {
    WriteText(data + ".qlt", Content + "edit");
    ASSERT_EQ(::chmod((data + ".qlt").c_str(), 0600), 0);
    view.OnEvent = [&](const std::string& event) {
        if (event == "Status:Comparing the left-over files..") {
            SwapFolder();
        }
    };
    EXPECT_EQ(view.Recover(), 0) << (view.Messages.empty() ? "" : view.Messages.back());
    ASSERT_TRUE(fs::exists(renamed));
    EXPECT_EQ(Unseal(renamed + "/diary.qlx").Content, Content + "edit");
    EXPECT_EQ(datafile::testing::ReadBytes(renamed + "/diary.qlx.bak"), sealed);
    EXPECT_EQ(Listing(renamed), (Strings{"diary.qlx", "diary.qlx.bak"}));
    EXPECT_EQ(Listing(folder), Strings{});
}

INSTANTIATE_TEST_SUITE_P(Folders, PrivateTempTest,
                         ::testing::Values(TFolderKind{"Sticky", 01777}, TFolderKind{"Group", 02770}),
                         [](const ::testing::TestParamInfo<TFolderKind>& info) { return info.param.Name; });

INSTANTIATE_TEST_SUITE_P(Folders, SharedFolderTest,
                         ::testing::Values(TFolderKind{"Sticky", 01777}, TFolderKind{"Group", 02770}),
                         [](const ::testing::TestParamInfo<TFolderKind>& info) { return info.param.Name; });

} // namespace
} // namespace quillock::testing
