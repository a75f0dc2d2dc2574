// Another user hard-links one of the victim's files at a temporary name of
// seal, unseal or a session, after the names were checked: the victim's own
// run must never write zeros into it, and says what it left alone.
#include "tests/support/ReliabilitySupport.h"

#include "datafile/Unseal.h"

#include <fstream>

namespace quillock::testing {
namespace {

const std::string Content = "Arbolix data file\r\nfirst entry\r\n";
const std::string Precious = "the victim's precious text\n";
const char* const ProtectedHardlinks = "/proc/sys/fs/protected_hardlinks";

class HardLinkAttack : public TOtherUserTest {
protected:
    void SetUp() override {
        TOtherUserTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) {
            return;
        }
        ASSERT_EQ(::chmod(Shared.c_str(), 01777), 0);
        Victim = (Dir / "precious.txt").string();
        WriteText(Victim, Precious);
        // The kernel refuses links to files the linker may not write unless
        // told otherwise; where it cannot be told, the file is one the other
        // user may write (the wipe must still leave it alone).
        std::ifstream(ProtectedHardlinks) >> FProtection;
        const bool lifted = !FProtection.empty() && (std::ofstream(ProtectedHardlinks) << "0").good();
        ASSERT_EQ(::chmod(Victim.c_str(), lifted ? 0644 : 0666), 0);
        WriteText(Path("password"), "secret\n");
        ASSERT_EQ(::chmod(Path("password").c_str(), 0600), 0);
    }
    void TearDown() override {
        if (!FProtection.empty()) {
            std::ofstream(ProtectedHardlinks) << FProtection;
        }
    }

    [[nodiscard]] bool LinkVictimAt(const std::string& path) const {
        return AsOtherUser([&] { return ::link(Victim.c_str(), path.c_str()) == 0; });
    }

    // Runs the program; the link is made at name while it waits for its
    // password, after its own checks of the names. Returns the exit code.
    int RunWithLinkAt(Strings arguments, const std::string& name, const std::string& input = "/dev/null") {
        const std::string ready = Path("ready");
        const std::string go = Path("go");
        std::filesystem::remove(ready);
        std::filesystem::remove(go);
        const std::string command = "touch " + ready + "; while [ ! -e " + go + " ]; do sleep 0.01; done; echo secret";
        arguments.insert(arguments.begin() + 1, {"--password-command", command});
        arguments.insert(arguments.begin(), QUILLOCK_CLI_PATH);
        const pid_t child = StartProgram(arguments, input, Path("output"), Path("config"));
        for (int i = 0; i < 1000 && !Exists(ready); ++i) {
            ::usleep(10000);
        }
        EXPECT_TRUE(LinkVictimAt(name)) << "the other user could not link at " << name;
        WriteText(go, "");
        int status = 0;
        EXPECT_EQ(::waitpid(child, &status, 0), child);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    void ExpectVictimIntact(const std::string& at) {
        EXPECT_EQ(ReadText(Victim), Precious);
        EXPECT_EQ(ReadText(at), Precious) << "the link is left alone";
        ASSERT_EQ(::unlink(at.c_str()), 0);
    }

    std::string Victim;
    std::string FProtection;
    TPrivateRuntime Runtime;
};

TEST_F(HardLinkAttack, SealAndUnsealNeverWipeALinkedFile) {
    const std::string sealed = Shared + "/data.qlx";
    SealContent(sealed, Content, true);
    const std::string plainOut = Shared + "/out.txt";
    for (const char* suffix : {".qlz", ".qlt"}) {
        SCOPED_TRACE(std::string("unseal, ") + suffix);
        // Unseal streams into its one temporary, which it makes new: a file
        // at that name stops it before anything is written, one at any other
        // name is none of its business.
        const bool used = std::string(suffix) == datafile::UnsealingTempName("");
        EXPECT_EQ(RunWithLinkAt({"unseal", sealed, plainOut}, plainOut + suffix), used ? 1 : 0)
            << ReadText(Path("output"));
        if (used) {
            EXPECT_NE(ReadText(Path("output")).find("Cannot create file " + plainOut + suffix), std::string::npos)
                << ReadText(Path("output"));
        } else {
            EXPECT_EQ(ReadText(plainOut), Content);
            std::filesystem::remove(plainOut);
        }
        ExpectVictimIntact(plainOut + suffix);
        EXPECT_EQ(Listing(Shared), Strings{"data.qlx"});
    }
    WriteText(Path("plain.txt"), Content);
    const std::string newSealed = Shared + "/new.qlx";
    for (const char* suffix : {".qlt", ".qlz", ".qln"}) {
        SCOPED_TRACE(std::string("seal --compress, ") + suffix);
        // A file is compressed as it is sealed: no temporary but the sealing one.
        const int code = RunWithLinkAt({"seal", "--compress", Path("plain.txt"), newSealed}, newSealed + suffix);
        EXPECT_EQ(code, std::string(suffix) == ".qln" ? 1 : 0) << ReadText(Path("output"));
        ExpectVictimIntact(newSealed + suffix);
        std::filesystem::remove(newSealed);
    }
    for (const char* suffix : {".qlt", ".qlz", ".qln"}) {
        SCOPED_TRACE(std::string("seal -, ") + suffix);
        const int code = RunWithLinkAt({"seal", "--compress", "-", newSealed}, newSealed + suffix, Path("plain.txt"));
        // Standard input uses no temporary but the sealing one.
        EXPECT_EQ(code, std::string(suffix) == ".qln" ? 1 : 0) << ReadText(Path("output"));
        ExpectVictimIntact(newSealed + suffix);
        std::filesystem::remove(newSealed);
    }
    EXPECT_EQ(Listing(Shared), Strings{"data.qlx"});
}

// With a private folder the session's temporaries are there, so the link
// planted beside the data file is never touched; with none to be had they are
// beside it, and the link found at the working copy's name is left alone and
// named.
TEST_F(HardLinkAttack, ASessionAfterAMistypedPasswordLeavesALinkedWorkingCopyName) {
    for (const bool privateFolder : {true, false}) {
        SCOPED_TRACE(privateFolder ? "private folder" : "no private folder");
        if (!privateFolder) {
            ::unsetenv("XDG_RUNTIME_DIR");
            platform::SetSharedMemoryRoot(Path("not-in-memory"));
        }
        const std::string data = Shared + "/diary.qlx";
        SealContent(data, Content, false);
        const Bytes sealed = ReadBytes(data);
        TScriptedView view;
        view.FName = data;
        view.SetPassword("mistyped");
        view.OnEvent = [&](const std::string& event) {
            if (event.find("Decrypting") != std::string::npos) {
                EXPECT_TRUE(LinkVictimAt(data + ".qlt"));
            }
        };
        EXPECT_EQ(view.Run(), 1);
        std::string said;
        for (const std::string& message : view.Messages) {
            said += message + "\n";
        }
        if (privateFolder) {
            EXPECT_NE(said.find("Decryption Error!"), std::string::npos) << said;
        } else {
            EXPECT_NE(said.find("\"" + data +
                                ".qlt\" is a file with 2 names (hard links), not a file of yours; it "
                                "was left as it is."),
                      std::string::npos)
                << said;
        }
        ExpectVictimIntact(data + ".qlt");
        EXPECT_EQ(ReadBytes(data), sealed);
        EXPECT_EQ(Listing(Shared), Strings{"diary.qlx"});
    }
}

} // namespace
} // namespace quillock::testing
