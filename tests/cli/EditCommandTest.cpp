// "quillock-cli edit" run as a separate process over real files, with the
// stand-in editor: options, typed and scripted answers, every kind of end,
// and the settings it reads and saves.
#include "tests/support/EditorTestSupport.h"

#include "platform/Process.h"
#include "platform/Registry.h"
#include "session/Preferences.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quillock::testing {
namespace {

using Strings = std::vector<std::string>;

const std::string Content = "Arbolix data file\nfirst entry\n";

struct TResult {
    int ExitCode = -1;
    std::string Output; // stderr and stdout
};

class EditCommandTest : public datafile::testing::TTempDirTest {
protected:
    void SetUp() override {
        TTempDirTest::SetUp();
        std::filesystem::create_directories(Dir / "work");
        Work = Dir / "work";
        Data = (Work / "diary.qlx").string();
        WriteText(Dir / "password", "secret\n");
        std::filesystem::permissions(Dir / "password",
                                     std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    }

    // Runs quillock-cli edit with the arguments, the password file and the
    // given standard input, without a controlling terminal, with its own
    // settings folder.
    TResult Edit(const Strings& arguments, const std::string& input = {}, bool passwordFile = true) {
        WriteText(Dir / "stdin", input);
        Strings all{QUILLOCK_CLI_PATH, "edit"};
        if (passwordFile) {
            all.insert(all.end(), {"--password-file", Path("password")});
        }
        all.insert(all.end(), arguments.begin(), arguments.end());
        const std::string output = Path("output");
        const pid_t child = StartProgram(all, Path("stdin"), output, Path("config"));
        int status = 0;
        EXPECT_EQ(::waitpid(child, &status, 0), child);
        TResult result;
        result.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        result.Output = ReadText(output);
        return result;
    }

    // The stand-in editor doing the actions, as --editor takes it.
    static Strings EditorDoing(const std::string& actions) { return {"--editor", FakeEditor + " " + actions}; }

    static Strings Join(Strings first, const Strings& second) {
        first.insert(first.end(), second.begin(), second.end());
        return first;
    }

    [[nodiscard]] Strings Files() const { return Listing(Work); }

    session::TPreferences Stored() {
        platform::TRegistry registry(Dir / "config" / "quillock" / "settings.ini");
        std::string error;
        session::TPreferences preferences = session::LoadPreferences(registry, &error);
        EXPECT_EQ(error, "");
        return preferences;
    }

    // Lines of the output in the given order (others may lie between).
    static bool InOrder(const std::string& output, const Strings& lines) {
        std::size_t at = 0;
        for (const std::string& line : lines) {
            at = output.find(line, at);
            if (at == std::string::npos) {
                return false;
            }
            at += line.size();
        }
        return true;
    }

    std::filesystem::path Work;
    std::string Data;
};

TEST_F(EditCommandTest, ImportsEditsAndSealsAFileWithTheStatusLines) {
    WriteText(Work / "diary.qlt", Content);
    const TResult result = Edit(Join(EditorDoing("append=x"), {"--yes", (Work / "diary.qlt").string()}));
    EXPECT_EQ(result.ExitCode, 0) << result.Output;
    EXPECT_TRUE(
        InOrder(result.Output,
                {"Please wait..\n", ": NON-Encrypted Arbolix File detected.\nDo you want to import", "Decrypting..\n",
                 "Importing..\n", "Checking CRC..\n", "Starting Arbolix..\n", "Checking CRC..\n", "Creating backup..\n",
                 "Encrypting.. [Uncompressed]\n", "Data successfully encrypted.\n", "Wiping data..\n"}))
        << result.Output;
    EXPECT_EQ(Unseal(Data).Content, Content + "x");
    EXPECT_EQ(Files(), Strings{"diary.qlx"});
    // The typed editor was for this run only.
    const session::TPreferences stored = Stored();
    EXPECT_EQ(stored.ExeName, session::DefaultEditionPaths[0]);
    EXPECT_EQ(stored.EditionPaths[1], session::DefaultEditionPaths[1]);
}

TEST_F(EditCommandTest, ImportQuestionTypedEnterIsYesNoAndEndOfInputAreNo) {
    const std::string plain = (Work / "diary.qlt").string();
    WriteText(plain, Content);
    for (const std::string input : {"n\n", "", "maybe\nno\n"}) {
        const TResult result = Edit(Join(EditorDoing("keep"), {plain}), input);
        EXPECT_EQ(result.ExitCode, 1) << input;
        EXPECT_EQ(Files(), Strings{"diary.qlt"}) << input;
    }
    const TResult result = Edit(Join(EditorDoing("keep"), {"--editor-returns-at-once", plain}), "\n");
    EXPECT_EQ(result.ExitCode, 0) << result.Output;
    EXPECT_EQ(Unseal(Data).Content, Content);
}

TEST_F(EditCommandTest, LeftOverWorkingCopyEnterNoEndOfInputOrYesOptionExitTypedYesReplaces) {
    SealContent(Data, Content, false);
    const Bytes sealed = ReadBytes(Data);
    WriteText(Data + ".qlt", "Arbolix unsaved");
    // Enter is No here: one keystroke must not overwrite unsaved edits, nor must --yes.
    for (const std::string input : {"n\n", "", "\n", "\nmaybe\n"}) {
        for (const bool yesOption : {false, true}) {
            const TResult result =
                Edit(Join(EditorDoing("append=x"), yesOption ? Strings{"--yes", Data} : Strings{Data}), input);
            EXPECT_EQ(result.ExitCode, 1) << input;
            EXPECT_TRUE(InOrder(result.Output,
                                {"quillock-cli: " + Data + ": warning: \"" + Data + ".qlt/qlz\" ALREADY EXISTS!",
                                 "\nAnswer y if you want to OVERWRITE", "\nAnswer n to EXIT", "Recommended choice: n\n",
                                 "The text of the earlier run is in one of these files:\n\"" + Data +
                                     ".qlt\": working copy, unencrypted, changed ",
                                 "\n\"" + Data + "\": data file, encrypted, changed ", "y or n? [y/N] (Enter = n) "}))
                << result.Output;
            EXPECT_EQ(result.Output.find("(--yes does not answer this question)") != std::string::npos, yesOption)
                << result.Output;
            EXPECT_EQ(ReadText(Data + ".qlt"), "Arbolix unsaved");
            EXPECT_EQ(Mode(Data + ".qlt"), 0600u);
            EXPECT_EQ(ReadBytes(Data), sealed);
            EXPECT_EQ(Files(), (Strings{"diary.qlx", "diary.qlx.qlt"}));
        }
    }
    const TResult result = Edit(Join(EditorDoing("append=x"), {"--yes", Data}), "y\n");
    EXPECT_EQ(result.ExitCode, 0) << result.Output;
    EXPECT_EQ(Unseal(Data).Content, Content + "x");
    EXPECT_EQ(Files(), (Strings{"diary.qlx", "diary.qlx.bak"}));
}

TEST_F(EditCommandTest, PasswordFromStandardInputThenTheAnswers) {
    SealContent(Data, Content, false);
    WriteText(Data + ".qlz", "left over");
    const TResult result = Edit(Join(EditorDoing("keep"), {"--password-fd", "0", Data}), "secret\nn\n", false);
    EXPECT_EQ(result.ExitCode, 1) << result.Output;
    EXPECT_EQ(ReadText(Data + ".qlz"), "left over");
}

TEST_F(EditCommandTest, WrongPasswordEndsWithTheDecryptionErrorAndSavesNothing) {
    SealContent(Data, Content, true);
    const Bytes sealed = ReadBytes(Data);
    WriteText(Dir / "password", "wrong\n");
    const TResult result = Edit(Join(EditorDoing("keep"), {Data}));
    EXPECT_EQ(result.ExitCode, 1);
    EXPECT_NE(result.Output.find(
                  "quillock-cli: " + Data +
                  ": does not open: wrong password, or the file was sealed with another cipher or digest\nTry again"),
              std::string::npos)
        << result.Output;
    EXPECT_EQ(ReadBytes(Data), sealed);
    EXPECT_EQ(Files(), Strings{"diary.qlx"});
    EXPECT_EQ(Stored().ExeName, session::DefaultEditionPaths[0]);
}

TEST_F(EditCommandTest, EditorBackAtOnceWithoutATerminalGoesOn) {
    // Nobody can answer when standard input is not a terminal (the question
    // itself is tested on a pseudo-terminal): one line says so and the
    // session ends as usual, with or without --yes or
    // --editor-returns-at-once, whatever the input holds.
    SealContent(Data, Content, false);
    const Bytes sealed = ReadBytes(Data);
    for (const Strings& option : {Strings{}, Strings{"--yes"}, Strings{"--editor-returns-at-once"}}) {
        for (const std::string input : {"n\n", ""}) {
            const TResult result = Edit(Join(Join(EditorDoing("keep"), option), {Data}), input);
            EXPECT_EQ(result.ExitCode, 0) << result.Output;
            const std::string why = option.empty() ? "standard input is not a terminal" : option[0];
            EXPECT_TRUE(InOrder(result.Output, {"The editor came back at once; going on (" + why + ").\n",
                                                "No changes done.\n", "Wiping data..\n"}))
                << result.Output;
            EXPECT_EQ(result.Output.find(": The editor returned"), std::string::npos) << result.Output;
            EXPECT_EQ(ReadBytes(Data), sealed);
            EXPECT_EQ(Files(), Strings{"diary.qlx"});
        }
    }
    // An editor back at once that changed the file is not asked about either: sealed.
    const TResult changed = Edit(Join(EditorDoing("append=x"), {Data}));
    EXPECT_EQ(changed.ExitCode, 0) << changed.Output;
    EXPECT_EQ(Unseal(Data).Content, Content + "x");
}

TEST_F(EditCommandTest, EditorThatCannotStartChangesNothing) {
    SealContent(Data, Content, false);
    const Bytes sealed = ReadBytes(Data);
    // Quoted for the shell: one program name with blanks.
    const TResult result = Edit({"--editor", "'" + Path("no such editor") + "'", Data});
    // "No changes done." as usual, but a failure must not read as success.
    EXPECT_EQ(result.ExitCode, 1);
    // The unable-to-start report, the command tried, and what to do in a terminal.
    EXPECT_TRUE(InOrder(result.Output,
                        {"quillock-cli: " + Data + ": cannot start the editor\n",
                         "The command tried: \"" + Path("no such editor") + "\"\n",
                         "Give the editor with --editor CMD, or set $VISUAL or $EDITOR.\n", "No changes done.\n"}))
        << result.Output;
    EXPECT_EQ(ReadBytes(Data), sealed);
    EXPECT_EQ(Files(), Strings{"diary.qlx"});
}

TEST_F(EditCommandTest, FolderOthersMayWriteIsOneWarningLine) {
    std::filesystem::permissions(Work, std::filesystem::perms::all);
    SealContent(Data, Content, false);
    const TResult result = Edit(Join(EditorDoing("append=x"), {Data}));
    EXPECT_EQ(result.ExitCode, 0) << result.Output;
    const std::string notice =
        "quillock-cli: " + Data + ": warning: The folder of \"" + Data + "\" can be written by other users.";
    const std::size_t at = result.Output.find(notice);
    ASSERT_NE(at, std::string::npos) << result.Output;
    EXPECT_EQ(result.Output.find(notice, at + 1), std::string::npos) << "given once: " << result.Output;
    EXPECT_EQ(Unseal(Data).Content, Content + "x");
}

TEST_F(EditCommandTest, EditorFromTheEnvironmentWhenTheDefaultIsMissing) {
    // A data file whose path has a blank and a quote reaches $EDITOR's words
    // as one argument, as the shell passes "$@".
    const std::filesystem::path folder = Work / "my \"notes\"";
    std::filesystem::create_directories(folder);
    const std::string data = (folder / "diary.qlx").string();
    SealContent(data, Content, false);
    ::unsetenv("VISUAL");
    ::setenv("EDITOR", (FakeEditor + " append=editor").c_str(), 1);
    TResult result = Edit({data});
    EXPECT_EQ(result.ExitCode, 0) << result.Output;
    EXPECT_NE(result.Output.find("Editor: " + FakeEditor + " append=editor (from $EDITOR; Arbolix.exe was not found)"),
              std::string::npos)
        << result.Output;
    EXPECT_EQ(Unseal(data).Content, Content + "editor");
    // $VISUAL comes first; an empty one counts as not set.
    ::setenv("VISUAL", "", 1);
    result = Edit({data});
    EXPECT_EQ(Unseal(data).Content, Content + "editoreditor") << result.Output;
    ::setenv("VISUAL", (FakeEditor + " append=visual").c_str(), 1);
    result = Edit({data});
    EXPECT_EQ(Unseal(data).Content, Content + "editoreditorvisual") << result.Output;
    // --editor is taken as typed, the environment not looked at.
    result = Edit(Join(EditorDoing("append=typed"), {data}));
    EXPECT_EQ(result.Output.find("Editor: "), std::string::npos) << result.Output;
    EXPECT_EQ(Unseal(data).Content, Content + "editoreditorvisualtyped");
    ::unsetenv("VISUAL");
    ::unsetenv("EDITOR");
}

struct TOptionRow {
    const char* Name;
    bool StoredCompressed;
    const char* Option; // empty: none
    bool SealedCompressed;
    const char* Caption;
    bool Report;
};

class EditOptionTable : public EditCommandTest, public ::testing::WithParamInterface<TOptionRow> {};

TEST_P(EditOptionTable, SealsAsTheOptionsSay) {
    const TOptionRow& row = GetParam();
    SealContent(Data, Content, row.StoredCompressed);
    Strings arguments = EditorDoing("append=x");
    if (*row.Option != '\0') {
        arguments.emplace_back(row.Option);
    }
    arguments.push_back(Data);
    const TResult result = Edit(arguments);
    EXPECT_EQ(result.ExitCode, 0) << result.Output;
    EXPECT_NE(result.Output.find(std::string(row.Caption) + "\n"), std::string::npos) << result.Output;
    EXPECT_EQ(result.Output.find(": Decompressed size: ") != std::string::npos, row.Report) << result.Output;
    const TUnsealed unsealed = Unseal(Data);
    EXPECT_EQ(unsealed.Compressed, row.SealedCompressed);
    EXPECT_EQ(unsealed.Content, Content + "x");
}

INSTANTIATE_TEST_SUITE_P(
    Rows, EditOptionTable,
    ::testing::Values(TOptionRow{"PlainKept", false, "", false, "Encrypting.. [Uncompressed]", false},
                      TOptionRow{"PlainCompressed", false, "--compress", true, "Encrypting.. [Compressed]", true},
                      TOptionRow{"CompressedKept", true, "", true, "Encrypting.. [Compressed]", false},
                      TOptionRow{"CompressedDecompressed", true, "--decompress", false, "Encrypting.. [Uncompressed]",
                                 false}),
    [](const ::testing::TestParamInfo<TOptionRow>& info) { return std::string(info.param.Name); });

TEST_F(EditCommandTest, ImportWithCompressSealsCompressed) {
    WriteText(Work / "diary.qlt", Content);
    const TResult result = Edit(
        Join(EditorDoing("keep"), {"--yes", "--editor-returns-at-once", "--compress", (Work / "diary.qlt").string()}));
    EXPECT_EQ(result.ExitCode, 0) << result.Output;
    EXPECT_NE(result.Output.find("Encrypting.. [Compressed]\n"), std::string::npos);
    EXPECT_EQ(result.Output.find("Decompressed size"), std::string::npos);
    const TUnsealed unsealed = Unseal(Data);
    EXPECT_TRUE(unsealed.Compressed);
    EXPECT_EQ(unsealed.Content, Content);
}

TEST_F(EditCommandTest, ImportOntoAnExistingDataFileFails) {
    WriteText(Work / "diary.qlt", Content);
    WriteText(Data, "existing");
    const TResult result = Edit(Join(EditorDoing("keep"), {"--yes", (Work / "diary.qlt").string()}));
    EXPECT_EQ(result.ExitCode, 1);
    EXPECT_NE(result.Output.find(": Cannot rename file!\n\"" + Data + "\" already exists!"), std::string::npos)
        << result.Output;
    EXPECT_EQ(ReadText(Data), "existing");
    EXPECT_EQ(ReadText(Work / "diary.qlt"), Content);
}

TEST_F(EditCommandTest, NewPasswordAndAlgorithmFromOptions) {
    SealContent(Data, Content, false);
    WriteText(Dir / "new", "n\xC3\xA9w\n"); // UTF-8 text, hashed as its Windows-1252 bytes
    const TResult result = Edit(
        Join(EditorDoing("keep"), {"--editor-returns-at-once", "--change-password", "--new-password-file", Path("new"),
                                   "--change-algorithm", "--new-cipher", "blowfish", "--new-hash", "sha1", Data}));
    EXPECT_EQ(result.ExitCode, 0) << result.Output;
    EXPECT_NE(result.Output.find(": Password changed!"), std::string::npos) << result.Output;
    EXPECT_NE(result.Output.find("quillock-cli: " + Data + ": warning: \"" + Data +
                                 ".bak\" still opens with the old password."),
              std::string::npos)
        << result.Output;
    EXPECT_EQ(Unseal(Data, {"n\xE9w", 1, 1}).Content, Content);
    const session::TPreferences stored = Stored();
    EXPECT_EQ(stored.Algorithm, 1);
    EXPECT_EQ(stored.Hash, 1);
}

// --rekey-backups: after the password change both backups are sealed under
// the new password and choices, each content as it was (compressed stays
// compressed), with nothing plain left; a backup the old password does not
// open is left as it was and named.
TEST_F(EditCommandTest, RekeyBackupsSealsTheBackupsUnderTheNewPassword) {
    SealContent(Data + ".bak", "older text\n", true); // becomes FILE.old
    SealContent(Data, Content, false);
    const auto change = [&](const std::string& password) {
        WriteText(Dir / "new", password + "\n");
        return Edit(Join(EditorDoing("keep"), {"--editor-returns-at-once", "--change-password", "--new-password-file",
                                               Path("new"), "--rekey-backups", "--change-algorithm", "--new-cipher",
                                               "blowfish", "--new-hash", "sha1", Data}));
    };
    TResult result = change("new password");
    EXPECT_EQ(result.ExitCode, 0) << result.Output;
    EXPECT_EQ(result.Output.find("old password"), std::string::npos) << result.Output;
    const TChoice now{"new password", 1, 1};
    EXPECT_EQ(Unseal(Data, now).Content, Content);
    EXPECT_EQ(Unseal(Data + ".bak", now).Content, Content);
    const TUnsealed older = Unseal(Data + ".old", now);
    EXPECT_TRUE(older.Compressed);
    EXPECT_EQ(older.Content, "older text\n");
    for (const char* temporary : {".qlt", ".qlz", ".bak.qln", ".old.qln"}) {
        EXPECT_FALSE(Exists(Data + temporary)) << temporary;
    }
    // FILE.bak (under another password) becomes FILE.old and stays as it is.
    SealContent(Data + ".bak", "another's\n", false, {"another", 1, 1});
    const Bytes foreign = ReadBytes(Data + ".bak");
    WriteText(Dir / "password", "new password\n");
    result = change("third password");
    EXPECT_EQ(result.ExitCode, 0) << result.Output;
    EXPECT_NE(
        result.Output.find("warning: \"" + Data + ".old\" did not open with the old password and was left as it was."),
        std::string::npos)
        << result.Output;
    EXPECT_EQ(ReadBytes(Data + ".old"), foreign);
    EXPECT_EQ(Unseal(Data + ".bak", {"third password", 1, 1}).Content, Content);
}

TEST_F(EditCommandTest, AlgorithmQuestionsTypedOrLeftAtTheEndOfInput) {
    SealContent(Data, Content, false);
    TResult result =
        Edit(Join(EditorDoing("keep"), {"--editor-returns-at-once", "--change-algorithm", Data}), "b\ns\n");
    EXPECT_EQ(result.ExitCode, 0) << result.Output;
    // The questions carry the window's caption, converted for the terminal.
    EXPECT_NE(result.Output.find(": Change encryption algorithm to:"), std::string::npos) << result.Output;
    EXPECT_EQ(Unseal(Data, {"secret", 1, 1}).Content, Content);
    // With nothing typed, the choices stay (the stored ones, Blowfish and SHA-1, from the last run).
    result = Edit(Join(EditorDoing("keep"), {"--editor-returns-at-once", "--change-algorithm", Data}));
    EXPECT_EQ(result.ExitCode, 0) << result.Output;
    EXPECT_EQ(Unseal(Data, {"secret", 1, 1}).Content, Content);
}

TEST_F(EditCommandTest, StoredChoicesAreTheDefaults) {
    SealContent(Data, Content, false, {"secret", 1, 0});
    {
        platform::TRegistry registry(Dir / "config" / "quillock" / "settings.ini");
        session::TPreferences preferences;
        preferences.ExeNamePos = 2;
        preferences.Algorithm = 1;
        preferences.Hash = 0;
        preferences.EditionPaths = {session::DefaultEditionPaths[0], "b", FakeEditor + " append=stored"};
        preferences.ExeName = FakeEditor + " append=stored";
        session::SavePreferences(registry, preferences);
    }
    const TResult result = Edit({Data});
    EXPECT_EQ(result.ExitCode, 0) << result.Output;
    EXPECT_EQ(Unseal(Data, {"secret", 1, 0}).Content, Content + "stored");
    EXPECT_EQ(Stored().ExeNamePos, 2);
    // Choosing an edition takes its remembered path: here the default, which
    // does not exist, so $VISUAL (shell words) runs instead, and says so.
    ::setenv("VISUAL", (FakeEditor + " append=visual").c_str(), 1);
    const TResult other = Edit({"--edition", "0", "--cipher", "blowfish", Data});
    ::unsetenv("VISUAL");
    EXPECT_EQ(other.ExitCode, 0) << other.Output;
    EXPECT_NE(other.Output.find("Editor: " + FakeEditor + " append=visual (from $VISUAL; Arbolix.exe was not found)"),
              std::string::npos)
        << other.Output;
    EXPECT_EQ(Unseal(Data, {"secret", 1, 0}).Content, Content + "storedvisual");
    // --edition and --cipher were for that run: the stored choices stay; $VISUAL is not saved.
    EXPECT_EQ(Stored().ExeNamePos, 2);
    EXPECT_EQ(Stored().ExeName, FakeEditor + " append=stored");
}

TEST_F(EditCommandTest, DoubleBackupByDefaultAndItsOption) {
    SealContent(Data, Content, false);
    const Bytes sealed = ReadBytes(Data);
    WriteText(Data + ".bak", "first");
    WriteText(Data + ".old", "second");
    EXPECT_EQ(Edit(Join(EditorDoing("append=x"), {"--no-double-backup", Data})).ExitCode, 0);
    EXPECT_EQ(ReadText(Data + ".old"), "second");
    EXPECT_EQ(ReadBytes(Data + ".bak"), sealed);
    const Bytes resealed = ReadBytes(Data);
    EXPECT_EQ(Edit(Join(EditorDoing("append=y"), {Data})).ExitCode, 0);
    EXPECT_EQ(ReadBytes(Data + ".old"), sealed);
    EXPECT_EQ(ReadBytes(Data + ".bak"), resealed);
    EXPECT_EQ(Unseal(Data).Content, Content + "xy");
}

TEST_F(EditCommandTest, PathsWithBlanksAndQuotesForDataAndEditor) {
    const std::filesystem::path folder = Work / "it's \"my\" notes";
    std::filesystem::create_directories(folder);
    std::filesystem::create_directories(Dir / "Arbolix Extra");
    const std::filesystem::path editor = Dir / "Arbolix Extra" / "Arbolix Extra";
    std::filesystem::copy_file(FakeEditor, editor);
    const std::string plain = (folder / "my diary").string();
    WriteText(plain, Content);
    const TResult result =
        Edit({"--editor", "'" + editor.string() + "' record=" + Path("argv") + " append=x", "--yes", plain});
    EXPECT_EQ(result.ExitCode, 0) << result.Output;
    EXPECT_EQ(ReadText(Path("argv")), "record=" + Path("argv") + "\nappend=x\n" + plain + ".qlx.qlt\n");
    EXPECT_EQ(Unseal(plain + ".qlx").Content, Content + "x");
    EXPECT_EQ(Listing(folder), Strings{"my diary.qlx"});
}

// --editor is read with the shell's quoting, as $VISUAL and $EDITOR are; the
// saved editor path keeps the window's rule (an unquoted path with blanks).
TEST_F(EditCommandTest, EditorOptionFollowsTheShellsQuoting) {
    SealContent(Data, Content, false);
    TResult result = Edit({"--editor", FakeEditor + " 'append= a b' \"append=c'd\" append=\\$e", Data});
    EXPECT_EQ(result.ExitCode, 0) << result.Output;
    EXPECT_EQ(Unseal(Data).Content, Content + " a bc'd$e");
    for (const std::string& words : {std::string("vi 'unterminated"), std::string("''"), std::string(" ")}) {
        result = Edit({"--editor", words, Data});
        EXPECT_EQ(result.ExitCode, 2) << words << ": " << result.Output;
        EXPECT_NE(result.Output.find("quillock-cli edit: --editor: "), std::string::npos) << result.Output;
    }
    EXPECT_EQ(Unseal(Data).Content, Content + " a bc'd$e");
}

TEST_F(EditCommandTest, UsageErrorsAndRefusals) {
    EXPECT_EQ(Edit({}).ExitCode, 2);
    EXPECT_EQ(Edit({"a", "b"}).ExitCode, 2);
    EXPECT_EQ(Edit({"--cipher", "des", Data}).ExitCode, 2);
    EXPECT_EQ(Edit({"--compress", "--decompress", Data}).ExitCode, 2);
    EXPECT_EQ(Edit({"--edition", "3", Data}).ExitCode, 2);
    EXPECT_EQ(Edit({"--editor"}).ExitCode, 2);
    const TResult empty = Edit({""});
    EXPECT_EQ(empty.ExitCode, 1);
    EXPECT_NE(empty.Output.find("quillock-cli: warning: Select a Arbolix file!"), std::string::npos);
    WriteText(Dir / "password", "\n");
    SealContent(Data, Content, false);
    const TResult emptyPassword = Edit(Join(EditorDoing("append=x"), {Data}));
    EXPECT_EQ(emptyPassword.ExitCode, 1);
    EXPECT_NE(emptyPassword.Output.find("quillock-cli: " + Data +
                                        ": the password is empty\nGive a password; nothing has been changed.\n"),
              std::string::npos)
        << emptyPassword.Output;
    EXPECT_EQ(Files(), Strings{"diary.qlx"});
    EXPECT_EQ(Unseal(Data).Content, Content);
}

} // namespace
} // namespace quillock::testing
