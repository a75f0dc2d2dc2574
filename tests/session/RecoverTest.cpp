// Recovering what a session cut short left beside a data file: which text is
// sealed, which copies are wiped, and what stops the recovery untouched.
#include "tests/support/EditorTestSupport.h"
#include "tests/support/ScriptedView.h"

#include "datafile/Compression.h"
#include "platform/Files.h"
#include "platform/PrivateFolder.h"

#include <map>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace quillock::testing {
namespace {

using Strings = std::vector<std::string>;

const std::string Content = "Arbolix data file\r\nfirst entry\r\nsecond entry\r\n";
const std::string Edited = Content + "third entry, written before the crash\r\n";

// Every file of a folder with its bytes, to tell that nothing changed.
std::map<std::string, Bytes> Snapshot(const std::filesystem::path& folder) {
    std::map<std::string, Bytes> files;
    for (const std::string& name : Listing(folder)) {
        files[name] = datafile::testing::ReadBytes(folder / name);
    }
    return files;
}

// One left-over file beside a data file.
struct TLeftCase {
    const char* Name;
    bool DataCompressed;
    const char* Suffix;
    Bytes Left;
};

// Wipes cut short: zeros over all of a copy of the data file's text, or over
// its first bytes.
std::vector<TLeftCase> WipesCutShort() {
    const Bytes compressed = ZlibCompress(Content);
    const auto Zeroed = [](Bytes bytes, std::size_t count) {
        std::fill(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(count), 0);
        return bytes;
    };
    return {
        {"a working copy wiped, all zeros", false, ".qlt", Bytes(Content.size(), 0)},
        {"a working copy wiped, zeros then the rest of the text", true, ".qlt",
         Zeroed(Bytes(Content.begin(), Content.end()), 20)},
        {"plain bytes to seal wiped, zeros then the rest", false, ".qlz",
         Zeroed(Bytes(Content.begin(), Content.end()), 1)},
        {"the compressed stream sealed wiped, zeros then the rest", true, ".qlz",
         Zeroed(compressed, compressed.size() / 2)},
    };
}

class RecoverTest : public TViewTest {
protected:
    void SetUp() override {
        TViewTest::SetUp();
        View.FDoubleBackup = true;
    }

    // A left-over file as a session leaves it: owner-only.
    static void LeaveText(const std::string& path, const std::string& text) {
        WriteText(path, text);
        ::chmod(path.c_str(), 0600);
    }
    static void LeaveBytes(const std::string& path, const Bytes& bytes) {
        WriteBytes(path, bytes);
        ::chmod(path.c_str(), 0600);
    }

    [[nodiscard]] bool SawPanel(const std::string& start) const {
        for (const std::string& event : View.Events) {
            if (event.starts_with("Panel:" + start)) {
                return true;
            }
        }
        return false;
    }
};

TEST_F(RecoverTest, ANewerWorkingCopyIsSealedAndTheBackupsRotate) {
    SealContent(Data, Content, false);
    SealContent(Data + ".bak", "Arbolix the text before", false);
    const Bytes sealed = ReadBytes(Data);
    const Bytes firstBackup = ReadBytes(Data + ".bak");
    LeaveText(Data + ".qlt", Edited);
    // Compressing it for the reseal was cut short: made from it, wiped.
    Bytes cut = ZlibCompress(Edited);
    cut.resize(cut.size() / 2);
    LeaveBytes(Data + ".qlz", cut);

    EXPECT_EQ(View.Recover(), 0);
    EXPECT_FALSE(View.Saw("ShowTrayIcon")) << "no editor runs";
    const TUnsealed now = Unseal(Data);
    EXPECT_EQ(now.Content, Edited);
    EXPECT_TRUE(now.Compressed) << "the session cut short was compressing";
    EXPECT_TRUE(View.Saw("Status:Encrypting.. [Compressed]")) << "the status says what is sealed";
    EXPECT_EQ(ReadBytes(Data + ".bak"), sealed);
    EXPECT_EQ(ReadBytes(Data + ".old"), firstBackup);
    EXPECT_EQ(Listing(Dir), (Strings{"diary.qlx", "diary.qlx.bak", "diary.qlx.old"}));
    EXPECT_TRUE(SawPanel("Recovered: the newest text is sealed in \"" + Data + "\"; the file it replaced is \"" + Data +
                         ".bak\"."));
}

TEST_F(RecoverTest, ANewerIntermediateFileIsSealedInTheFormItHas) {
    // Plain: a reseal without compression cut short after the working copy
    // became the intermediate file.
    SealContent(Data, Content, false);
    LeaveText(Data + ".qlz", Edited);
    EXPECT_EQ(View.Recover(), 0);
    EXPECT_EQ(Unseal(Data).Content, Edited);
    EXPECT_FALSE(Unseal(Data).Compressed);
    EXPECT_EQ(Unseal(Data + ".bak").Content, Content);
    EXPECT_EQ(Listing(Dir), (Strings{"diary.qlx", "diary.qlx.bak"}));

    // Compressed: the data file was compressed, and stays so.
    std::filesystem::remove(Data + ".bak");
    SealContent(Data, Content, true);
    LeaveBytes(Data + ".qlz", ZlibCompress(Edited));
    TScriptedView again;
    again.FName = Data;
    EXPECT_EQ(again.Recover(), 0);
    EXPECT_TRUE(again.Saw("TickCompress"));
    EXPECT_EQ(Unseal(Data).Content, Edited);
    EXPECT_TRUE(Unseal(Data).Compressed);
    EXPECT_EQ(Listing(Dir), (Strings{"diary.qlx", "diary.qlx.bak"}));

    // --decompress: sealed plain whatever the data file was.
    std::filesystem::remove(Data + ".bak");
    SealContent(Data, Content, true);
    LeaveText(Data + ".qlt", Edited);
    TScriptedView plain;
    plain.FName = Data;
    plain.FDecompress = true;
    EXPECT_EQ(plain.Recover(), 0);
    EXPECT_EQ(Unseal(Data).Content, Edited);
    EXPECT_FALSE(Unseal(Data).Compressed);
    EXPECT_TRUE(plain.Saw("Status:Encrypting.. [Uncompressed]"));
}

TEST_F(RecoverTest, CopiesCutShortOrUnchangedAreWipedAndTheDataFileKept) {
    const Bytes compressed = ZlibCompress(Content);
    std::vector<TLeftCase> cases = {
        {"working copy cut short while decompressing", true, ".qlt", Bytes(Content.begin(), Content.begin() + 20)},
        {"working copy cut short while importing", false, ".qlt", Bytes(Content.begin(), Content.begin() + 1)},
        {"empty working copy", false, ".qlt", Bytes{}},
        {"unchanged working copy", false, ".qlt", Bytes(Content.begin(), Content.end())},
        {"intermediate file cut short while deciphering", false, ".qlz", Bytes(Content.begin(), Content.begin() + 30)},
        {"compressed intermediate file cut short while deciphering", true, ".qlz",
         Bytes(compressed.begin(), compressed.begin() + static_cast<std::ptrdiff_t>(compressed.size() / 2))},
        {"whole compressed intermediate file", true, ".qlz", compressed},
    };
    for (const TLeftCase& wiped : WipesCutShort()) {
        cases.push_back(wiped);
    }
    for (const TLeftCase& left : cases) {
        SCOPED_TRACE(left.Name);
        std::filesystem::remove_all(Dir);
        std::filesystem::create_directories(Dir);
        SealContent(Data, Content, left.DataCompressed);
        const Bytes sealed = ReadBytes(Data);
        LeaveBytes(Data + left.Suffix, left.Left);
        TScriptedView view;
        view.FName = Data;
        EXPECT_EQ(view.Recover(), 0);
        EXPECT_EQ(ReadBytes(Data), sealed) << "the data file already holds the text";
        EXPECT_EQ(Listing(Dir), Strings{"diary.qlx"});
        EXPECT_FALSE(view.Saw("Status:Creating backup.."));
        bool said = false;
        for (const std::string& event : view.Events) {
            said = said || event.starts_with("Panel:Nothing to recover: \"" + Data + "\" already holds");
        }
        EXPECT_TRUE(said);
    }
}

TEST_F(RecoverTest, TheLongestTextThatTheOthersBeginIsSealed) {
    // A working copy cut short while it was decoded from the intermediate
    // file (plain or compressed) is longer than the data file's text, but a
    // beginning of the whole one: the whole one is sealed.
    const std::string cut = Edited.substr(0, Content.size() + 5);
    for (const bool compressed : {false, true}) {
        SCOPED_TRACE(compressed ? "compressed" : "plain");
        std::filesystem::remove_all(Dir);
        std::filesystem::create_directories(Dir);
        SealContent(Data, Content, false);
        LeaveText(Data + ".qlt", cut);
        LeaveBytes(Data + ".qlz", compressed ? ZlibCompress(Edited) : Bytes(Edited.begin(), Edited.end()));
        TScriptedView view;
        view.FName = Data;
        EXPECT_EQ(view.Recover(), 0);
        EXPECT_EQ(Unseal(Data).Content, Edited);
        EXPECT_EQ(Listing(Dir), (Strings{"diary.qlx", "diary.qlx.bak"}));
    }
}

// The message names the files byte for byte, a name that is not UTF-8 with
// its bytes escaped.
TEST_F(RecoverTest, TwoNewerTextsOfWhichNeitherBeginsTheOtherStopIt) {
    const std::string odd = Path("\xe9t\xe9.qlx");
    for (const auto& [data, shown] : {std::pair{Data, Data}, std::pair{odd, Path("\\xe9t\\xe9.qlx")}}) {
        View.FName = data;
        SealContent(data, Content, false);
        LeaveText(data + ".qlt", Edited);
        LeaveBytes(data + ".qlz", ZlibCompress(Content + "another ending\r\n"));
        const auto before = Snapshot(Dir);
        EXPECT_EQ(View.Recover(), 1);
        ASSERT_FALSE(View.Messages.empty());
        EXPECT_NE(View.Messages.back().find("\"" + shown + ".qlt\" and \"" + shown + ".qlz\" hold two different texts"),
                  std::string::npos)
            << View.Messages.back();
        EXPECT_EQ(Snapshot(Dir), before);
    }
}

TEST_F(RecoverTest, AWipeCutShortIsFinishedByASessionWithoutAsking) {
    // (recover finishes them as copies cut short, above)
    for (const TLeftCase& left : WipesCutShort()) {
        SCOPED_TRACE(left.Name);
        std::filesystem::remove_all(Dir);
        std::filesystem::create_directories(Dir);
        SealContent(Data, Content, left.DataCompressed);
        LeaveBytes(Data + left.Suffix, left.Left);
        // The other one holds a copy cut short: nothing new either.
        LeaveText(Data + (std::string(left.Suffix) == ".qlt" ? ".qlz" : ".qlt"), Content.substr(0, 9));
        TScriptedView session;
        session.FName = Data;
        session.FExeName = FakeEditor + " keep";
        session.FinishedAnswers = {true};
        EXPECT_EQ(session.Run(), 0);
        EXPECT_TRUE(session.Messages.empty()) << session.Messages.front();
        EXPECT_EQ(Listing(Dir), Strings{"diary.qlx"});
    }

    // Zeros followed by bytes of no known copy are no wipe of ours.
    std::filesystem::remove_all(Dir);
    std::filesystem::create_directories(Dir);
    SealContent(Data, Content, false);
    Bytes other(Edited.begin(), Edited.end());
    std::fill(other.begin(), other.begin() + 3, 0);
    LeaveBytes(Data + ".qlt", other);
    const auto before = Snapshot(Dir);
    EXPECT_EQ(View.Recover(), 1);
    EXPECT_EQ(Snapshot(Dir), before);
}

// The free space recover sees, for the full-disk cases.
std::uint64_t FreeBytes = 0;

TEST_F(RecoverTest, WithoutRoomEveryInputStaysAndTheMessageSaysWhatIsNeeded) {
    SealContent(Data, Content, true);
    LeaveBytes(Data + ".qlz", ZlibCompress(Edited));
    const auto before = Snapshot(Dir);
    datafile::SetFreeSpaceQuery([](int, datafile::TFreeSpace& space) {
        space.Available = FreeBytes;
        space.Size = FreeBytes;
        return true;
    });
    // Put back however the test ends.
    const std::unique_ptr<void, void (*)(void*)> restore(&FreeBytes,
                                                         [](void*) { datafile::SetFreeSpaceQuery(nullptr); });
    FreeBytes = 1000;
    for (const bool decompress : {false, true}) {
        SCOPED_TRACE(decompress ? "decompressed first" : "sealed as it is");
        TScriptedView view;
        view.FName = Data;
        view.FDecompress = decompress;
        EXPECT_EQ(view.Recover(), 1);
        ASSERT_FALSE(view.Messages.empty());
        const std::string& message = view.Messages.back();
        EXPECT_TRUE(message.starts_with("There is not room enough beside \"" + Data + "\" to recover: about "))
            << message;
        EXPECT_NE(message.find(" bytes are needed, 1000 are free.\r\n\r\nNothing has been changed: the newest text "
                               "is in \"" +
                               Data + ".qlz\"."),
                  std::string::npos)
            << message;
        EXPECT_EQ(Snapshot(Dir), before);
    }
    FreeBytes = std::uint64_t{1} << 30;
    EXPECT_EQ(View.Recover(), 0);
    EXPECT_EQ(Unseal(Data).Content, Edited);
    EXPECT_EQ(Listing(Dir), (Strings{"diary.qlx", "diary.qlx.bak"}));
}

TEST_F(RecoverTest, ACopyThatAnEarlierRecoverDidNotFinishIsWiped) {
    SealContent(Data, Content, false);
    LeaveBytes(Data + ".qlz", ZlibCompress(Edited));
    LeaveText(Data + ".qlt.qln", Edited.substr(0, 40));
    View.FDecompress = true;
    EXPECT_EQ(View.Recover(), 0);
    EXPECT_EQ(Unseal(Data).Content, Edited);
    EXPECT_FALSE(Unseal(Data).Compressed);
    EXPECT_EQ(Listing(Dir), (Strings{"diary.qlx", "diary.qlx.bak"}));
}

TEST_F(RecoverTest, TheEditorsCopiesAreWipedOnceTheNewestTextIsSealed) {
    SealContent(Data, Content, false);
    LeaveText(Data + ".qlt", Edited);
    LeaveText(Path("diary.qlx.qlt~"), Content);
    LeaveText(Path(".diary.qlx.qlt.swp"), "swap");
    // Another user's file, or a link, at such a name is never written through.
    std::filesystem::create_symlink(Data, Path("#diary.qlx.qlt#"));
    EXPECT_EQ(View.Recover(), 0);
    EXPECT_EQ(Unseal(Data).Content, Edited);
    EXPECT_TRUE(SawPanel("Recovered: the newest text is sealed in \"" + Data + "\"; the file it replaced is \"" + Data +
                         ".bak\". The editor's copies of the working copy are wiped: diary.qlx.qlt~, "
                         ".diary.qlx.qlt.swp."));
    EXPECT_EQ(Listing(Dir), (Strings{"#diary.qlx.qlt#", "diary.qlx", "diary.qlx.bak"}));

    // Alone, they are left-overs too.
    std::filesystem::remove(Path("#diary.qlx.qlt#"));
    LeaveText(Path("diary.qlx.qlt~"), Content);
    TScriptedView alone;
    alone.FName = Data;
    EXPECT_EQ(alone.Recover(), 0);
    EXPECT_EQ(Listing(Dir), (Strings{"diary.qlx", "diary.qlx.bak"}));
}

TEST_F(RecoverTest, LeftOversInThePrivateFolderAreFoundThereButNotInTwoPlacesAtOnce) {
    std::string runtime = "/dev/shm/quillock-runtime-XXXXXX";
    ASSERT_NE(::mkdtemp(runtime.data()), nullptr);
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    platform::SetSharedMemoryRoot("/dev/shm");
    SealContent(Data, Content, false);
    const platform::TTempLocation own = platform::ChooseTempFolder(Data, platform::TPrivateTemp::ptAlways);
    ASSERT_EQ(own.Place, platform::TTempPlace::tpPrivate) << own.Reason;
    LeaveText(own.PathOf(Data, ".qlt"), Edited);
    LeaveText(Data + ".qlt", Content + "another edit");
    const auto before = Snapshot(Dir);
    EXPECT_EQ(View.Recover(), 1);
    ASSERT_FALSE(View.Messages.empty());
    EXPECT_NE(View.Messages.back().find("left files both beside \"" + Data + "\" and in its private folder"),
              std::string::npos)
        << View.Messages.back();
    EXPECT_EQ(Snapshot(Dir), before);

    std::filesystem::remove(Data + ".qlt");
    TScriptedView again;
    again.FName = Data;
    EXPECT_EQ(again.Recover(), 0);
    EXPECT_EQ(Unseal(Data).Content, Edited);
    EXPECT_FALSE(std::filesystem::exists(own.Folder)) << "the emptied private folder goes";
    std::filesystem::remove_all(runtime);
    ::unsetenv("XDG_RUNTIME_DIR");
}

TEST_F(RecoverTest, AFileOfUnknownContentStopsItWithNothingChanged) {
    // Long enough that half of its stream decodes to something.
    std::string other = "Arbolix another text\r\n";
    for (int line = 0; other.size() < 6000; ++line) {
        other += "line " + std::to_string(line * 7919 % 1000) + " of something else\r\n";
    }
    const Bytes otherStream = ZlibCompress(other);
    const std::vector<std::pair<const char*, Bytes>> lefts = {
        {".qlt", Bytes{'g', 'a', 'r', 'b', 'a', 'g', 'e'}},
        {".qlz", Bytes{'n', 'o', 't', ' ', 'o', 'u', 'r', 's'}},
        {".qlz", Bytes(otherStream.begin(), otherStream.begin() + static_cast<std::ptrdiff_t>(otherStream.size() / 2))},
        // A session never leaves compressed data in the working copy.
        {".qlt", ZlibCompress(Edited)},
    };
    for (const auto& [suffix, bytes] : lefts) {
        SCOPED_TRACE(std::string(suffix) + " of " + std::to_string(bytes.size()) + " bytes");
        std::filesystem::remove_all(Dir);
        std::filesystem::create_directories(Dir);
        SealContent(Data, Content, false);
        LeaveBytes(Data + suffix, bytes);
        const auto before = Snapshot(Dir);
        TScriptedView view;
        view.FName = Data;
        EXPECT_EQ(view.Recover(), 1);
        ASSERT_FALSE(view.Messages.empty());
        const std::string what = std::string(suffix) == ".qlt"
                                     ? "not a plain Arbolix file"
                                     : "neither a plain Arbolix file nor complete compressed data";
        EXPECT_NE(view.Messages.back().find("\"" + Data + suffix + "\" is " + what + ", so what it holds"),
                  std::string::npos)
            << view.Messages.back();
        EXPECT_EQ(Snapshot(Dir), before);
    }
}

TEST_F(RecoverTest, BytesOfNoKnownFormBesideANewerWorkingCopyStopItToo) {
    SealContent(Data, Content, false);
    LeaveText(Data + ".qlt", Edited);
    LeaveBytes(Data + ".qlz", Bytes{'n', 'o', 't', ' ', 'o', 'u', 'r', 's'});
    const auto before = Snapshot(Dir);
    EXPECT_EQ(View.Recover(), 1);
    ASSERT_FALSE(View.Messages.empty());
    EXPECT_NE(View.Messages.back().find("\"" + Data + ".qlz\" is neither a plain Arbolix file"), std::string::npos);
    EXPECT_EQ(Snapshot(Dir), before);
}

TEST_F(RecoverTest, AWrongPasswordChangesNothing) {
    SealContent(Data, Content, true);
    LeaveText(Data + ".qlt", Edited);
    const auto before = Snapshot(Dir);
    View.FPassword.Assign("not the password");
    EXPECT_EQ(View.Recover(), 1);
    ASSERT_FALSE(View.Messages.empty());
    EXPECT_TRUE(View.Messages.back().starts_with("Decryption Error!")) << View.Messages.back();
    EXPECT_EQ(Snapshot(Dir), before);
}

TEST_F(RecoverTest, AnImportCutShortIsSealedUnderTheNewPassword) {
    struct TCase {
        const char* Name;
        std::optional<std::string> WorkingCopy;
        std::string Sealed;
    };
    const std::vector<TCase> cases = {
        {"renamed, nothing copied yet", std::nullopt, Content},
        {"copy cut short", Content.substr(0, 12), Content},
        {"edited", Edited, Edited},
    };
    for (const TCase& left : cases) {
        SCOPED_TRACE(left.Name);
        std::filesystem::remove_all(Dir);
        std::filesystem::create_directories(Dir);
        LeaveText(Data, Content);
        if (left.WorkingCopy) {
            LeaveText(Data + ".qlt", *left.WorkingCopy);
        }
        TScriptedView view;
        view.FName = Data;
        view.FPassword.Assign("new one");
        EXPECT_EQ(view.Recover(), 0);
        EXPECT_EQ(Unseal(Data, {.Password = "new one"}).Content, left.Sealed);
        EXPECT_EQ(Mode(Data), 0600u);
        EXPECT_EQ(Listing(Dir), Strings{"diary.qlx"}) << "an import has no backup";
    }
}

TEST_F(RecoverTest, APlainFileUnderItsOwnNameIsNotRecovered) {
    const std::string plain = Path("notes.txt");
    LeaveText(plain, Content);
    LeaveText(plain + ".qlt", Edited);
    const auto before = Snapshot(Dir);
    View.FName = plain;
    EXPECT_EQ(View.Recover(), 1);
    ASSERT_FALSE(View.Messages.empty());
    EXPECT_NE(View.Messages.back().find("is a plain Arbolix file, not a sealed one"), std::string::npos);
    EXPECT_EQ(Snapshot(Dir), before);
}

TEST_F(RecoverTest, NothingLeftOverNeedsNoPasswordAndChangesNothing) {
    SealContent(Data, Content, false);
    const auto before = Snapshot(Dir);
    View.FPassword.Assign("not the password");
    EXPECT_EQ(View.Recover(), 0);
    EXPECT_TRUE(SawPanel("Nothing to recover: there is no working copy or intermediate file beside"));
    EXPECT_EQ(Snapshot(Dir), before);
}

TEST_F(RecoverTest, ASessionStillRunningIsNotDisturbed) {
    SealContent(Data, Content, false);
    LeaveText(Data + ".qlt", Edited);
    platform::TFileLock running;
    ASSERT_EQ(running.Take(Data + ".qlk", false), platform::TFileLock::TResult::Taken);
    const auto before = Snapshot(Dir);
    EXPECT_EQ(View.Recover(), 1);
    ASSERT_FALSE(View.Messages.empty());
    EXPECT_NE(View.Messages.back().find("is being edited by another copy of this program"), std::string::npos);
    EXPECT_EQ(Snapshot(Dir), before);
}

TEST_F(RecoverTest, AnotherUsersFileAtATemporaryNameIsRefused) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to give a file to another user";
    }
    SealContent(Data, Content, false);
    LeaveText(Data + ".qlt", Edited);
    ASSERT_EQ(::chown((Data + ".qlt").c_str(), 65534, 65534), 0);
    const auto before = Snapshot(Dir);
    EXPECT_EQ(View.Recover(), 1);
    ASSERT_FALSE(View.Messages.empty());
    EXPECT_NE(View.Messages.back().find("not a file of yours"), std::string::npos) << View.Messages.back();
    EXPECT_EQ(Snapshot(Dir), before);
}

} // namespace
} // namespace quillock::testing
