// recover killed (SIGKILL) at every step it shows, the long steps' progress
// included, from each state a session cut short leaves: a second recover
// always finishes, the newest text is then sealed whole, and nothing plain
// stays.
#include "tests/support/ReliabilitySupport.h"

#include <cstdlib>
#include <sys/stat.h>

namespace quillock::testing {
namespace {

// Large enough for several progress steps while it is unsealed, copied or
// sealed; small enough for the many runs. (A wipe cut short part way, with
// its zeros followed by the rest, is one of the states below.)
const std::string& Content() {
    static const std::string content = [] {
        const Bytes sample = datafile::testing::SampleContent(320 * 1024);
        return "Arbolix data file\r\n" + std::string(sample.begin(), sample.end());
    }();
    return content;
}
const std::string& Edited() {
    static const std::string edited = Content() + "edit";
    return edited;
}

// Zeros over the first count bytes of text.
Bytes Zeroed(const std::string& text, std::size_t count) {
    Bytes bytes(text.begin(), text.end());
    std::fill(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(count), 0);
    return bytes;
}

struct TRecoverCase {
    const char* Name;
    bool DataCompressed;
    bool Imported; // the data file is still the plain file of an import
    std::optional<Bytes> Working;
    std::optional<Bytes> Intermediate;
    bool EditorCopy;     // the editor's backup of the working copy beside it
    bool Decompress;     // --decompress
    bool EditedIsNewest; // else the data file's own text is
};

void PrintTo(const TRecoverCase& recoverCase, std::ostream* out) {
    *out << recoverCase.Name;
}

Bytes Of(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

std::vector<TRecoverCase> Cases() {
    Bytes cut = ZlibCompress(Edited());
    cut.resize(cut.size() / 2);
    const Bytes compressed = ZlibCompress(Edited());
    return {
        {"NewerWorkingCopy", false, false, Of(Edited()), cut, false, false, true},
        {"PlainIntermediate", false, false, std::nullopt, Of(Edited()), false, false, true},
        {"CompressedIntermediate", true, false, std::nullopt, compressed, false, false, true},
        {"CompressedIntermediateDecompressed", true, false, Of(Content()), compressed, false, true, true},
        {"ImportCutShort", false, true, Of(Edited()), std::nullopt, false, false, true},
        {"ImportNothingCopied", false, true, std::nullopt, std::nullopt, false, false, false},
        {"WipeCutShort", false, false, Zeroed(Content(), 100000), std::nullopt, false, false, false},
        {"EditorCopies", false, false, Of(Edited()), std::nullopt, true, false, true},
    };
}

// The password an import is sealed under; a sealed data file's own.
constexpr const char* ImportPassword = "new one";

class RecoverKillTest : public datafile::testing::TTempDirTest, public ::testing::WithParamInterface<TRecoverCase> {
protected:
    // In memory where the system has it: recover flushes every file it
    // writes, and the many runs would wait on a disk for most of their time.
    void SetUp() override {
        TTempDirTest::SetUp();
        char folder[] = "/dev/shm/quillock-recover-XXXXXX";
        if (::mkdtemp(folder) != nullptr) {
            Dir = folder;
            InMemory = true;
        }
        Data = (Dir / "diary.qlx").string();
    }
    void TearDown() override {
        if (InMemory) {
            std::filesystem::remove_all(Dir);
        }
        TTempDirTest::TearDown();
    }

    // The state the session cut short left, in folder.
    void Leave(const std::filesystem::path& folder) const {
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        const std::string data = (folder / "diary.qlx").string();
        const TRecoverCase& state = GetParam();
        if (state.Imported) {
            WriteText(data, Content());
            ::chmod(data.c_str(), 0600);
        } else {
            SealContent(data, Content(), state.DataCompressed);
        }
        const auto LeaveBytes = [](const std::string& path, const Bytes& bytes) {
            WriteBytes(path, bytes);
            ::chmod(path.c_str(), 0600);
        };
        if (state.Working) {
            LeaveBytes(data + ".qlt", *state.Working);
        }
        if (state.Intermediate) {
            LeaveBytes(data + ".qlz", *state.Intermediate);
        }
        if (state.EditorCopy) {
            LeaveBytes(data + ".qlt~", Of(Content()));
        }
    }

    void SetUpView(TScriptedView& view, const std::string& data) const {
        view.FName = data;
        view.FDecompress = GetParam().Decompress;
        view.FDoubleBackup = true;
        view.NoteProgress = true;
        if (GetParam().Imported) {
            view.FPassword.Assign(ImportPassword);
        }
    }

    // After a recover that ended: the newest text sealed, nothing plain left.
    void ExpectRecovered(const std::filesystem::path& folder) const {
        const std::string data = (folder / "diary.qlx").string();
        const TUnsealed sealed = Unseal(data, GetParam().Imported ? TChoice{ImportPassword, 0, 0} : TChoice{});
        EXPECT_EQ(sealed.Content.size(), (GetParam().EditedIsNewest ? Edited() : Content()).size());
        EXPECT_TRUE(sealed.Content == (GetParam().EditedIsNewest ? Edited() : Content()));
        for (const std::string& name : Listing(folder)) {
            EXPECT_TRUE(name == "diary.qlx" || name == "diary.qlx.bak" || name == "diary.qlx.old") << name;
        }
    }

    std::string Data;
    bool InMemory = false;
};

TEST_P(RecoverKillTest, ASecondRecoverFinishesWithTheNewestTextWhole) {
    // The steps of an undisturbed recovery.
    Leave(Dir);
    Strings steps;
    {
        TScriptedView view;
        SetUpView(view, Data);
        ASSERT_EQ(view.Recover(), 0) << (view.Messages.empty() ? "" : view.Messages.back());
        ExpectRecovered(Dir);
        steps = view.Events;
    }
    // Every step, or an even sample of about 20 of them (each costs two
    // runs), the last one always among them.
    const std::size_t stride = std::max<std::size_t>(1, steps.size() / 20);
    for (std::size_t step = (steps.size() - 1) % stride; step < steps.size(); step += stride) {
        SCOPED_TRACE("killed at step " + std::to_string(step) + ": " + steps[step]);
        Leave(Dir);
        const int status = KilledAtStep(
            step, [&](TScriptedView& view) { SetUpView(view, Data); }, &TScriptedView::Recover);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
        TScriptedView second;
        SetUpView(second, Data);
        EXPECT_EQ(second.Recover(), 0) << (second.Messages.empty() ? "" : second.Messages.back());
        ExpectRecovered(Dir);
    }
}

INSTANTIATE_TEST_SUITE_P(States, RecoverKillTest, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<TRecoverCase>& info) {
                             return std::string(info.param.Name);
                         });

} // namespace
} // namespace quillock::testing
