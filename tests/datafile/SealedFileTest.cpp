// Tests of sealing and unsealing: round trips, independent known answers, the
// re-keying prompts and what a failure leaves on disk.
#include "datafile/SealedFile.h"
#include "tests/support/TestHost.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillock::datafile::testing {
namespace {

namespace fs = std::filesystem;

constexpr const char* EncryptErrorText = "File I/O error during encryption!\n\r\n\rPlease check your data and "
                                         "eventually try to restore a backup copy manually.";
constexpr const char* DecryptErrorText = "File I/O error during decryption!\r\n\r\nPlease check your data and/or "
                                         "try to restore a backup copy manually.";

struct TChoice {
    int Algorithm;
    int Hash;
    std::size_t Block;
};
constexpr TChoice Choices[] = {{0, 0, 16}, {0, 1, 16}, {1, 0, 8}, {1, 1, 8}};

class SealedFileTest : public TTempDirTest {
protected:
    // Runs op as a caller does and expects it to end the program with exit code 1.
    template <class Op> void ExpectExit(TTestHost& host, Op op) {
        try {
            AsCaller(host, op);
            ADD_FAILURE() << "must terminate";
        } catch (const TProgramExit& exit) {
            EXPECT_EQ(exit.ExitCode, 1);
        }
    }

    Bytes Seal(const Bytes& plain, TTestHost& host) {
        WriteBytes(Path("plain"), plain);
        Encrypt(host, Path("plain"), Path("sealed"));
        return ReadBytes(Path("sealed"));
    }

    Bytes Unseal(const Bytes& sealed, TTestHost& host) {
        WriteBytes(Path("in.qlx"), sealed);
        fs::remove(Path("out.qlz")); // unsealing creates its destination new
        Decrypt(host, Path("in.qlx"), Path("out.qlz"));
        return ReadBytes(Path("out.qlz"));
    }
};

TEST_F(SealedFileTest, RoundTripsEveryLengthWithEveryChoice) {
    for (const TChoice& choice : Choices) {
        TTestHost host;
        host.FAlgorithm = choice.Algorithm;
        host.FHash = choice.Hash;
        const std::size_t b = choice.Block;
        for (const std::size_t size : {std::size_t{0}, std::size_t{1}, b - 1, b, b + 1, std::size_t{8191},
                                       std::size_t{8192}, std::size_t{8193}, std::size_t{61439}, std::size_t{61441},
                                       std::size_t{65535}, std::size_t{65537}, std::size_t{(3 << 20) + 5}}) {
            const Bytes plain = SampleContent(size, static_cast<std::uint32_t>(size));
            const Bytes sealed = Seal(plain, host);
            ASSERT_EQ(sealed.size(), size) << "no header, no padding";
            if (size >= 16) {
                EXPECT_NE(sealed, plain);
            }
            EXPECT_EQ(Unseal(sealed, host), plain) << choice.Algorithm << "/" << choice.Hash << " " << size;
        }
        EXPECT_TRUE(host.Dialogs.empty());
        EXPECT_FALSE(fs::exists(SealingTempName(Path("sealed"))));
    }
}

// Records of tests/data/datafile/fixtures.vec, computed with OpenSSL.
struct TFixture {
    std::string Plain;
    int Cipher = -1;
    int Hash = -1;
    std::string Sealed;
};

std::string FromHex(const std::string& hex) {
    std::string out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        out.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    return out;
}

std::vector<TFixture> ReadFixtures(std::string& password) {
    std::ifstream in(std::string(QUILLOCK_TEST_DATA) + "/datafile/fixtures.vec");
    EXPECT_TRUE(in.good());
    std::vector<TFixture> fixtures;
    TFixture current;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        const auto eq = line.find(" = ");
        const std::string key = line.substr(0, eq);
        const std::string value = line.substr(eq + 3);
        if (key == "Password") {
            password = FromHex(value);
        } else if (key == "Plain") {
            current = TFixture{};
            current.Plain = value;
        } else if (key == "Cipher") {
            current.Cipher = std::stoi(value);
        } else if (key == "Hash") {
            current.Hash = std::stoi(value);
        } else if (key == "Sealed") {
            current.Sealed = value;
            fixtures.push_back(current);
        }
    }
    return fixtures;
}

TEST_F(SealedFileTest, MatchesSealedFilesComputedIndependently) {
    std::string password;
    const std::vector<TFixture> fixtures = ReadFixtures(password);
    ASSERT_GE(fixtures.size(), 33u);
    ASSERT_EQ(password.size(), 21u) << "the Windows-1252 bytes, one per character";
    const fs::path data = fs::path(QUILLOCK_TEST_DATA) / "datafile";
    for (const TFixture& fixture : fixtures) {
        TTestHost host;
        host.SetPassword(password);
        host.FAlgorithm = fixture.Cipher;
        host.FHash = fixture.Hash;
        const Bytes plain = ReadBytes(data / fixture.Plain);
        const Bytes expected = ReadBytes(data / fixture.Sealed);
        EXPECT_EQ(Seal(plain, host), expected) << fixture.Sealed;
        EXPECT_EQ(Unseal(expected, host), plain) << fixture.Sealed;
    }
}

TEST_F(SealedFileTest, SameInputsGiveTheSameBytes) {
    TTestHost host;
    const Bytes plain = SampleContent(10000);
    EXPECT_EQ(Seal(plain, host), Seal(plain, host));
}

TEST_F(SealedFileTest, AWrongPasswordOrCipherGoesUnnoticedHere) {
    TTestHost host;
    const Bytes plain = SampleContent(5000);
    const Bytes sealed = Seal(plain, host);

    TTestHost wrongPassword;
    wrongPassword.SetPassword("Secret");
    const Bytes garbage = Unseal(sealed, wrongPassword);
    EXPECT_EQ(garbage.size(), plain.size());
    EXPECT_NE(garbage, plain);

    TTestHost wrongCipher;
    wrongCipher.FAlgorithm = 1;
    const Bytes garbage2 = Unseal(sealed, wrongCipher);
    EXPECT_EQ(garbage2.size(), plain.size());
    EXPECT_NE(garbage2, plain);
    EXPECT_TRUE(wrongPassword.Dialogs.empty());
    EXPECT_TRUE(wrongCipher.Dialogs.empty());
}

TEST_F(SealedFileTest, PromptsComeInOrderBeforeTheKeyIsDerived) {
    TTestHost host;
    host.FChangePass = true;
    host.FChangeAlgorithm = true;
    host.InputAnswers = {"new one", "new one"};
    host.QuestionAnswers = {false, true};
    const Bytes plain = SampleContent(3000);
    const Bytes sealed = Seal(plain, host);
    const std::vector<std::string> expected = {
        "Post:Password",
        "InputBox:Change Arbolix File Password|Enter a new password:|",
        "Post:Password",
        "InputBox:Change Arbolix File Password|Enter the new password again:|",
        "AskUser:Password changed!",
        "Post:Algorithm",
        "QuestionBox:Change encryption algorithm to:\r\n(Current is: Rijndael)",
        "Post:Hash",
        "QuestionBox:Change password hashing to:\r\n(Current is: RIPEMD-160)",
    };
    EXPECT_EQ(host.Events, expected);
    EXPECT_EQ(host.FPassword.View(), "new one");
    EXPECT_EQ(host.FAlgorithm, 1);
    EXPECT_EQ(host.FHash, 0);
    EXPECT_EQ(host.Dialogs[0].Kind, TMsgDlgType::mtInformation);

    TTestHost reader; // the new choices apply to this very sealing
    reader.SetPassword("new one");
    reader.FAlgorithm = 1;
    reader.FHash = 0;
    EXPECT_EQ(Unseal(sealed, reader), plain);
}

TEST_F(SealedFileTest, AFailedPasswordChangeKeepsTheOldPassword) {
    const std::string mismatch = "You typed the password incorrectly or they are not equal!\r\n\r\n"
                                 "The password has NOT been changed.\r\nPreserving old password.";
    const Bytes plain = SampleContent(100);
    for (const bool cancelFirst : {true, false}) {
        TTestHost host;
        host.FChangePass = true;
        host.InputAnswers = cancelFirst ? std::deque<std::string>{""} : std::deque<std::string>{"abc", "abd"};
        const Bytes sealed = Seal(plain, host);
        EXPECT_EQ(host.FPassword.View(), "secret");
        ASSERT_EQ(host.Dialogs.size(), 1u);
        EXPECT_EQ(host.Dialogs[0].Text, mismatch);
        EXPECT_EQ(host.Dialogs[0].Kind, TMsgDlgType::mtError);
        EXPECT_EQ(std::count(host.Events.begin(), host.Events.end(), "Post:Password"), cancelFirst ? 1 : 2);
        TTestHost reader;
        EXPECT_EQ(Unseal(sealed, reader), plain) << "sealed under the old password";
    }
}

TEST_F(SealedFileTest, YesSelectsRijndaelAndRipemdNoSelectsBlowfishAndSha1) {
    TTestHost host;
    host.FChangeAlgorithm = true;
    host.FAlgorithm = 1;
    host.FHash = 1;
    host.QuestionAnswers = {true, true};
    (void)Seal(SampleContent(10), host);
    EXPECT_EQ(host.FAlgorithm, 0);
    EXPECT_EQ(host.FHash, 0);
    EXPECT_EQ(host.Events[1], "QuestionBox:Change encryption algorithm to:\r\n(Current is: Blowfish)");
    EXPECT_EQ(host.Events[3], "QuestionBox:Change password hashing to:\r\n(Current is: SHA-1)");
}

TEST_F(SealedFileTest, AMissingSourceLeavesTheDataFileUntouched) {
    TTestHost host;
    host.FChangePass = true; // no prompt may appear
    const Bytes old = SampleContent(500);
    WriteBytes(Path("data.qlx"), old);
    ExpectExit(host, [&] { Encrypt(host, Path("missing"), Path("data.qlx")); });
    EXPECT_EQ(ReadBytes(Path("data.qlx")), old);
    EXPECT_FALSE(fs::exists(SealingTempName(Path("data.qlx"))));
    ASSERT_EQ(host.Events.size(), 2u);
    EXPECT_EQ(host.Dialogs[0].Text, EncryptErrorText);
    EXPECT_EQ(host.Dialogs[0].Kind, TMsgDlgType::mtError);

    TTestHost reader;
    ExpectExit(reader, [&] { Decrypt(reader, Path("missing"), Path("out")); });
    ASSERT_EQ(reader.Dialogs.size(), 1u);
    EXPECT_EQ(reader.Dialogs[0].Text, DecryptErrorText);
    EXPECT_FALSE(fs::exists(Path("out")));
}

TEST_F(SealedFileTest, ADestinationThatCannotBeCreatedIsReported) {
    TTestHost host;
    WriteBytes(Path("plain"), SampleContent(10));
    ExpectExit(host, [&] { Encrypt(host, Path("plain"), Path("no/such/dir/data.qlx")); });
    ExpectExit(host, [&] { Decrypt(host, Path("plain"), Path("no/such/dir/out")); });
    ASSERT_EQ(host.Dialogs.size(), 2u);
    EXPECT_EQ(host.Dialogs[0].Text, EncryptErrorText);
    EXPECT_EQ(host.Dialogs[1].Text, DecryptErrorText);
}

TEST_F(SealedFileTest, AReadOnlyDataFileIsNotReplaced) {
    TTestHost host;
    const Bytes old = SampleContent(64);
    WriteBytes(Path("data.qlx"), old);
    ASSERT_EQ(::chmod(Path("data.qlx").c_str(), 0444), 0);
    WriteBytes(Path("plain"), SampleContent(100));
    ExpectExit(host, [&] { Encrypt(host, Path("plain"), Path("data.qlx")); });
    EXPECT_EQ(ReadBytes(Path("data.qlx")), old);
}

TEST_F(SealedFileTest, AnIndexOutsideTheListsEndsInTheErrorBox) {
    WriteBytes(Path("plain"), {});
    for (const auto& [algorithm, hash] : {std::pair{2, 0}, std::pair{0, 2}, std::pair{-1, 0}}) {
        TTestHost host;
        host.FAlgorithm = algorithm;
        host.FHash = hash;
        ExpectExit(host, [&] { Encrypt(host, Path("plain"), Path("data.qlx")); });
        ExpectExit(host, [&] { Decrypt(host, Path("plain"), Path("out")); });
        ASSERT_EQ(host.Dialogs.size(), 2u);
        EXPECT_EQ(host.Dialogs[0].Text, EncryptErrorText);
        EXPECT_EQ(host.Dialogs[1].Text, DecryptErrorText);
        EXPECT_FALSE(fs::exists(Path("data.qlx")));
    }
}

// Makes writes beyond limit bytes fail (EFBIG) for the life of the object.
class TFileSizeLimit {
public:
    explicit TFileSizeLimit(rlim_t limit) {
        FOldHandler = std::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &FOld);
        rlimit lowered = FOld;
        lowered.rlim_cur = limit;
        EXPECT_EQ(::setrlimit(RLIMIT_FSIZE, &lowered), 0);
    }
    ~TFileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &FOld);
        std::signal(SIGXFSZ, FOldHandler);
    }

private:
    rlimit FOld{};
    void (*FOldHandler)(int);
};

TEST_F(SealedFileTest, AFailureInTheMiddleOfSealingLeavesTheOldDataFileWhole) {
    TTestHost host;
    const Bytes old = SampleContent(300000, 7);
    WriteBytes(Path("data.qlx"), old);
    WriteBytes(Path("plain"), SampleContent(300000, 8));
    {
        const TFileSizeLimit limit(100000); // the disk "fills up" a third of the way in
        ExpectExit(host, [&] { Encrypt(host, Path("plain"), Path("data.qlx")); });
    }
    EXPECT_EQ(ReadBytes(Path("data.qlx")), old);
    EXPECT_FALSE(fs::exists(SealingTempName(Path("data.qlx")))) << "partial ciphertext is removed";
    ASSERT_EQ(host.Dialogs.size(), 1u);
    EXPECT_EQ(host.Dialogs[0].Text, EncryptErrorText);

    // The same fault while unsealing is reported, not passed off as success.
    TTestHost reader;
    {
        const TFileSizeLimit limit(100000);
        ExpectExit(reader, [&] { Decrypt(reader, Path("data.qlx"), Path("out.qlz")); });
    }
    ASSERT_EQ(reader.Dialogs.size(), 1u);
    EXPECT_EQ(reader.Dialogs[0].Text, DecryptErrorText);
}

TEST_F(SealedFileTest, SealingReplacesTheDataFileAndKeepsItsMode) {
    TTestHost host;
    WriteBytes(Path("data.qlx"), SampleContent(50));
    ASSERT_EQ(::chmod(Path("data.qlx").c_str(), 0640), 0);
    WriteBytes(Path("plain"), SampleContent(20000));
    Encrypt(host, Path("plain"), Path("data.qlx"));
    struct stat info {};
    ASSERT_EQ(::stat(Path("data.qlx").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(info.st_size, 20000);

    Encrypt(host, Path("plain"), Path("new.qlx"));
    ASSERT_EQ(::stat(Path("new.qlx").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u) << "a new data file is owner-only";
}

TEST_F(SealedFileTest, AStaleTemporaryIsReplacedAndALinkThereIsRefused) {
    TTestHost host;
    const Bytes plain = SampleContent(1000);
    WriteBytes(Path("plain"), plain);
    const std::string temporary = SealingTempName(Path("data.qlx"));

    WriteBytes(temporary, SampleContent(99999)); // left by a crash
    Encrypt(host, Path("plain"), Path("data.qlx"));
    EXPECT_FALSE(fs::exists(temporary));
    EXPECT_EQ(Unseal(ReadBytes(Path("data.qlx")), host), plain);

    const Bytes precious = SampleContent(77);
    WriteBytes(Path("precious"), precious);
    // A link is nothing of ours: it is neither followed nor removed, and the
    // sealing stops with the data file as it was.
    const Bytes sealed = ReadBytes(Path("data.qlx"));
    ASSERT_EQ(::symlink(Path("precious").c_str(), temporary.c_str()), 0);
    EXPECT_TRUE(host.Dialogs.empty());
    ExpectExit(host, [&] { Encrypt(host, Path("plain"), Path("data.qlx")); });
    ASSERT_EQ(host.Dialogs.size(), 1u);
    EXPECT_EQ(host.Dialogs[0].Text, EncryptErrorText);
    EXPECT_EQ(ReadBytes(Path("precious")), precious);
    EXPECT_TRUE(fs::is_symlink(temporary));
    EXPECT_EQ(ReadBytes(Path("data.qlx")), sealed);
}

TEST_F(SealedFileTest, UnsealedDataIsOwnerOnlyAndNeverWrittenThroughALink) {
    TTestHost host;
    const Bytes sealed = Seal(SampleContent(100), host);
    WriteBytes(Path("in.qlx"), sealed);
    Decrypt(host, Path("in.qlx"), Path("out.qlz"));
    struct stat info {};
    ASSERT_EQ(::stat(Path("out.qlz").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    const Bytes precious = SampleContent(77);
    WriteBytes(Path("precious"), precious);
    ASSERT_EQ(::symlink(Path("precious").c_str(), Path("link.qlz").c_str()), 0);
    ExpectExit(host, [&] { Decrypt(host, Path("in.qlx"), Path("link.qlz")); });
    EXPECT_EQ(ReadBytes(Path("precious")), precious);
}

TEST_F(SealedFileTest, FilesOf4GiBOrMoreAreRefusedBeforeAnythingIsCreated) {
    const int fd = ::open(Path("huge").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, std::int64_t{1} << 32), 0); // sparse: takes no space
    ::close(fd);
    const Bytes old = SampleContent(40);
    WriteBytes(Path("data.qlx"), old);
    TTestHost host;
    host.FChangePass = true;
    ExpectExit(host, [&] { Encrypt(host, Path("huge"), Path("data.qlx")); });
    ExpectExit(host, [&] { Decrypt(host, Path("huge"), Path("out")); });
    EXPECT_EQ(ReadBytes(Path("data.qlx")), old);
    EXPECT_FALSE(fs::exists(SealingTempName(Path("data.qlx"))));
    EXPECT_FALSE(fs::exists(Path("out")));
    ASSERT_EQ(host.Dialogs.size(), 2u);
    EXPECT_NE(host.Dialogs[0].Text.find("4 GiB"), std::string::npos);
    EXPECT_NE(host.Dialogs[1].Text.find("4 GiB"), std::string::npos);
}

} // namespace
} // namespace quillock::datafile::testing
