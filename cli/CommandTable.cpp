// The commands of quillock-cli and their options, described once: the
// dispatch, each command's parser and its help are made from this table.
#include "cli/Commands.h"

namespace quillock::cli {
namespace {

// Rows that several commands share.
constexpr TOption SealedCipher{"cipher", 0, "CIPHERS", "the cipher SEALED was sealed with (default: the first)",
                               oCipher};
constexpr TOption SealedHash{"hash", 0, "HASHES", "the digest SEALED was sealed with (default: the first)", oHash};
constexpr TOption FileCipher{"cipher", 0, "CIPHERS",
                             "the cipher FILE is sealed with (default: the saved choice, else the first)", oCipher};
constexpr TOption FileHash{"hash", 0, "HASHES",
                           "the digest FILE is sealed with (default: the saved choice, else the first)", oHash};
constexpr TOption Force{"force", 'f', "",
                        "replace an existing output file (only a regular file, never a device or FIFO)", oForce};
constexpr TOption Quiet{"quiet", 'q', "",
                        "no status lines and no progress, for scripts: only warnings, errors and questions", oQuiet};
constexpr TOption Compress{"compress", 0, "", "seal compressed", oCompress};
constexpr TOption Decompress{"decompress", 0, "", "seal uncompressed", oDecompress, true};
constexpr TOption NoDoubleBackup{"no-double-backup", 0, "", "keep FILE.bak only, without the older copy FILE.old",
                                 oNoDoubleBackup};
constexpr TOption PrivateTemp{
    "private-temp", 0, "",
    "keep the working copy and the intermediate file in a private folder in memory for this run, even where beside "
    "FILE would be safe (the setting PrivateTemp=1 does so always; by default only where needed)",
    oPrivateTemp};
constexpr TOption PasswordFile{"password-file", 0, "FILE", "read the password from the first line of FILE",
                               oPasswordFile};
constexpr TOption PasswordFd{"password-fd", 0,   "N", "read the password from the first line read from descriptor N",
                             oPasswordFd,   true};
constexpr TOption PasswordCommand{"password-command",
                                  0,
                                  "CMD",
                                  "read the password from the first line CMD (run by sh -c) prints; the command gets "
                                  "WAIT_SECONDS seconds to end after it",
                                  oPasswordCommand,
                                  true};

constexpr TOption CheckOptions[] = {SealedCipher, SealedHash, Quiet, PasswordFile, PasswordFd, PasswordCommand};

constexpr TOption EditOptions[] = {
    {"editor", 0, "CMD",
     "the editor for this run: a command line with the shell's quoting (vim -c 'set tw=72'), run with the working "
     "copy as one more argument",
     oEditor},
    {"edition", 0, "0|1|2", "use the editor path saved for that edition", oEdition},
    FileCipher,
    FileHash,
    Compress,
    Decompress,
    NoDoubleBackup,
    {"change-password", 0, "", "ask for a new password at the end (typed twice, or --new-password-file)",
     oChangePassword},
    {"rekey-backups", 0, "",
     "with --change-password: seal FILE.bak and FILE.old under the new password too (else they still open with the "
     "old one, as a line says)",
     oRekeyBackups},
    {"change-algorithm", 0, "", "ask for a new cipher and digest at the end (or --new-cipher, --new-hash)",
     oChangeAlgorithm},
    {"new-password-file", 0, "FILE", "the new password of --change-password, from the first line of FILE",
     oNewPasswordFile},
    {"new-cipher", 0, "CIPHERS", "the answer to the new-cipher question of --change-algorithm", oNewCipher},
    {"new-hash", 0, "HASHES", "the answer to the new-digest question of --change-algorithm", oNewHash},
    {"yes", 'y', "", "answer y to the import question and to the quick-editor question", oYes},
    {"editor-returns-at-once", 0, "",
     "the editor returns before editing is done by design (it hands the file over): do not ask whether editing is "
     "finished",
     oEditorReturnsAtOnce},
    Quiet,
    PrivateTemp,
    PasswordFile,
    PasswordFd,
    PasswordCommand,
};

constexpr TOption RecoverOptions[] = {FileCipher, FileHash,    Compress,     Decompress, NoDoubleBackup,
                                      Quiet,      PrivateTemp, PasswordFile, PasswordFd, PasswordCommand};

constexpr TOption SealOptions[] = {
    SealedCipher,
    SealedHash,
    {"compress", 0, "", "compress the content with zlib before sealing it", oCompress},
    {"raw", 0, "", "seal any bytes as they are (read them back with unseal --raw)", oRaw},
    Force,
    Quiet,
    PasswordFile,
    PasswordFd,
    PasswordCommand,
};

constexpr TOption UnsealOptions[] = {
    SealedCipher,
    SealedHash,
    {"raw", 0, "", "write the deciphered bytes as they are, without decompressing", oRaw},
    {"salvage", 0, "", "for a damaged compressed content: write what still decodes", oSalvage, true},
    Force,
    Quiet,
    PasswordFile,
    PasswordFd,
    PasswordCommand,
};

constexpr TCommand Commands[] = {
    {"check",
     "say whether the password and choices open a data file (writes nothing)",
     "SEALED",
     &RunCheck,
     CheckOptions,
     {},
     "Without a password option the password is typed on the terminal without echo.\n"
     "Prints \"opens: compressed content, N bytes\" or \"opens: plain editor content\" and exits 0; for a wrong "
     "password or choice, the decryption error and exit code 1. Nothing is written to disk.\n"},
    {"config",
     "list the saved choices, or set or reset one (the window changes them too)",
     "[list | set NAME VALUE | reset [NAME]]",
     &RunConfig,
     {},
     "The choices both programs start from, in the settings file (its name is the first line of the list):\n"
     "  list: each NAME=VALUE with where it comes from: the settings file, or the default.\n"
     "  set NAME VALUE: ExeNamePos 0|1|2 (the editor edition), Algorithm CIPHERS, Hash HASHES, ExeName0..ExeName2 "
     "(each edition's editor), ExeName (the chosen edition's), PrivateTemp 0|1 (1: plain temporaries always in a "
     "private folder in memory).\n"
     "  reset [NAME]: NAME, or every choice, back to its default.\n"
     "Options of the other commands (--editor, --cipher, ...) are for their run only and never saved.\n"},
    {"edit", "open a data file in the editor and seal it again (imports a plain editor file)", "FILE", &RunEdit,
     EditOptions,
     "FILE is a data file (.qlx) or a plain editor file to import (it is renamed to .qlx and sealed). Choices not "
     "given are the saved ones (quillock-cli config); the options are for this run only. Without --editor, when the "
     "saved editor is the default and cannot be found: $VISUAL, $EDITOR, sensible-editor or vi (a line says "
     "which).\n",
     "Without a password option the password is typed on the terminal without echo, twice for an import.\n"
     "The working copy is beside FILE where nobody else can change FILE's folder or one above it and the file "
     "system overwrites in place; else in a private folder in memory ($XDG_RUNTIME_DIR, else /dev/shm). A line "
     "says where, and why, at the start.\n"
     "Questions are answered on standard input with y or n; Enter gives the default shown, the end of input n. "
     "When the editor is back at once and standard input is not a terminal, the session goes on.\n"
     "Exit code 0 when the session ended normally, 1 on any failure (the editor could not be started included), 2 "
     "for a usage error.\n"},
    {"help", "show the commands, or the help of one command", "[COMMAND]", &RunHelp},
    {"recover", "seal the newest text a session cut short left beside a data file", "FILE", &RunRecover, RecoverOptions,
     "After a session was cut short (a crash, a kill, a power cut), FILE.qlt (the working copy) or FILE.qlz (the "
     "intermediate file) may hold the newest text. recover first checks that the password opens FILE, then compares "
     "both with FILE's content and seals the newest text into FILE the way a session does: FILE.bak and FILE.old "
     "rotated, FILE replaced only once the new one is complete, the temporary files wiped. A copy cut short, or one "
     "that holds what FILE holds, is wiped, not sealed. When FILE is still the plain file of an import cut short, "
     "it is sealed itself (or the newer working copy), under a new password typed twice. Without --compress or "
     "--decompress the text is sealed as FILE was.\n",
     "Without a password option the password is typed on the terminal without echo.\n"
     "Exit code 0 when the newest text is sealed in FILE (or was already), 1 on failure (a file that is neither a "
     "plain editor file nor compressed data stops it, with nothing changed), 2 for a usage error.\n"},
    {"seal", "seal a plain file into a data file", "PLAIN SEALED", &RunSeal, SealOptions,
     "PLAIN '-' is standard input. PLAIN must be an editor file (its first line names the editor), as a session "
     "can open only that; anything else, an empty file too, is refused unless --raw is given.\n",
     "Without a password option the password is typed twice on the terminal without echo.\n"
     "SEALED is replaced only once the new one is complete. Exit code 0, 1 on failure, 2 for a usage error.\n"},
    {"selfcheck", "run the known-answer tests of the ciphers and digests", "", &RunSelfCheck},
    {"unseal", "unseal a data file into a plain file", "SEALED PLAIN", &RunUnseal, UnsealOptions,
     "PLAIN '-' is standard output: nothing plain is written to disk then.\n",
     "Without a password option the password is typed on the terminal without echo.\n"
     "PLAIN is created owner-only. Exit code 0, 1 on failure (nothing is left), 2 for a usage error.\n"},
};

} // namespace

std::span<const TCommand> AllCommands() {
    return Commands;
}

} // namespace quillock::cli
