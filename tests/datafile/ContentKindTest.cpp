// Tests of the content test a session makes on deciphered bytes, on plain
// files and on sealed ones under the right and a wrong password.
#include "datafile/SealedFile.h"
#include "datafile/Unseal.h"
#include "tests/support/TestHost.h"

#include <gtest/gtest.h>

namespace quillock::datafile::testing {
namespace {

Bytes ToBytes(const std::string& text) {
    return {text.begin(), text.end()};
}

using ContentKindTest = TTempDirTest;

TEST_F(ContentKindTest, TellsEditorFilesCompressedDataEmptyAndNeither) {
    const Bytes compressed = ZlibCompress(std::string(300000, 'x') + "Arbolix\r\n");
    const struct {
        Bytes Content;
        TContentKind Expected;
    } cases[] = {
        {ToBytes("Arbolix data file\r\nentry"), TContentKind::ckEditorFile},
        {compressed, TContentKind::ckCompressed},
        // A stream cut short by the end of the first piece still counts.
        {Bytes(compressed.begin(), compressed.begin() + static_cast<std::ptrdiff_t>(compressed.size() / 2)),
         TContentKind::ckCompressed},
        {{}, TContentKind::ckEmpty},
        {ToBytes("My diary\n"), TContentKind::ckNeither},
        {Bytes(70000, 0xA5), TContentKind::ckNeither},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ContentKindOf(c.Content.data(), c.Content.size()), c.Expected) << c.Content.size();
        WriteBytes(Path("plain"), c.Content);
        EXPECT_EQ(FileContentKind(Path("plain")), c.Expected) << c.Content.size();
    }
}

TEST_F(ContentKindTest, ASealedFileIsToldUnderItsPasswordAndNeitherUnderAnother) {
    TTestHost host;
    host.FName = Path("sealed");
    host.SetPassword("right");
    WriteBytes(Path("plain"), ZlibCompress("Arbolix\r\n" + std::string(100000, 'y')));
    Encrypt(host, Path("plain"), Path("sealed"));
    EXPECT_EQ(SealedContentKind(host, Path("sealed")), TContentKind::ckCompressed);
    for (const char* wrong : {"wrong", "Right", "right "}) {
        host.SetPassword(wrong);
        EXPECT_EQ(SealedContentKind(host, Path("sealed")), TContentKind::ckNeither) << wrong;
    }
    host.SetPassword("right");
    host.FHash = 1;
    EXPECT_EQ(SealedContentKind(host, Path("sealed")), TContentKind::ckNeither);
    EXPECT_EQ(NeitherContentText(0, 1),
              "wrong password, or the file was sealed with another cipher or digest: now rijndael/sha1");
}

} // namespace
} // namespace quillock::datafile::testing
