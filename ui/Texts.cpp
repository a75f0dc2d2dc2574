// The version history and the licence text of the main window.
#include "ui/Texts.h"

namespace quillock::ui {
namespace {

constexpr const char* VersionHistoryLines[] = {
    "VERSIONS HISTORY:",
    "",
    "1.0 first release with DATA WIPEING (zero-filling) of the temporary decrypted file",
    "1.1 added -import- support for old algorithm",
    "1.2 don't save if no change were made (by checking CRC32)",
    "2.0 new encryption algorithm used (Blowfish SHA-1)",
    "      new \"open\" password encryption system",
    "      wrong password checking to avoid data loss",
    "      automatic qlx file association",
    "2.1 fixed a bug on the \"import\" button",
    "2.2 now supports Arbolix Extra files",
    "2.3 now you can select Arbolix version to run",
    "      added Auto-Import (and detection) of non-encrypted arbolix files",
    "      added DoubleBackup\xAE option",
    "      now files qlt ver 6.3 are supported correctly",
    "2.4 check if system crashed while working on a file to recovery changes",
    "2.5 minor bugfixes and interface improvements",
    "2.6 added compression (file format is no more retro-compatible!)",
    "      various bugfixes in backup system and errormessages",
    "      (example: now no backup were made if no changes are done)",
    "2.7 auto detect compressed/uncompressed file (for retro-compatibility)",
    "      use of compression is now optional",
    "      added option to return a file to uncompressed (faster) format",
    "      added compression ratio information",
    "      (remember that standard zip/rar compression has no effects on qlx files!)",
    "      added license info and legal disclaimer",
    "2.8 minor interface improvement",
    "2.9 minor visual changes",
    "3.0 added Rijndael encryption and RIPEMD-160 hashing",
    "      added password/algorithm/hashing changing option",
    "      minor bugfixes and visual improvement (i.e.: compression notify && better help)",
    "      compatibility with Windows Vista",
    "      minor visual improvements and bugfixes",
};
static_assert(std::size(VersionHistoryLines) == 33);

constexpr const char* LicenseLines[] = {
    "LICENSE INFORMATION:",
    "",
    "Quillock is free software, released under the MIT License:",
    "",
    "Copyright (c) 2026 The Quillock developers",
    "",
    "Permission is hereby granted, free of charge, to any person obtaining a copy",
    "of this software and associated documentation files (the \"Software\"), to deal",
    "in the Software without restriction, including without limitation the rights",
    "to use, copy, modify, merge, publish, distribute, sublicense, and/or sell",
    "copies of the Software, and to permit persons to whom the Software is",
    "furnished to do so, subject to the following conditions:",
    "",
    "The above copyright notice and this permission notice shall be included in all",
    "copies or substantial portions of the Software.",
    "",
    "THE SOFTWARE IS PROVIDED \"AS IS\", WITHOUT WARRANTY OF ANY KIND, EXPRESS OR",
    "IMPLIED, INCLUDING BUT NOT LIMITED TO THE WARRANTIES OF MERCHANTABILITY,",
    "FITNESS FOR A PARTICULAR PURPOSE AND NONINFRINGEMENT. IN NO EVENT SHALL THE",
    "AUTHORS OR COPYRIGHT HOLDERS BE LIABLE FOR ANY CLAIM, DAMAGES OR OTHER",
    "LIABILITY, WHETHER IN AN ACTION OF CONTRACT, TORT OR OTHERWISE, ARISING FROM,",
    "OUT OF OR IN CONNECTION WITH THE SOFTWARE OR THE USE OR OTHER DEALINGS IN THE",
    "SOFTWARE.",
    "",
    "DISCLAIMER:",
    "",
    "Quillock encrypts your data files, and a lost password cannot be recovered:",
    "nobody, the authors included, can open a file without it. Keep backups of",
    "your files and of your passwords. You use this program at your own risk;",
    "the authors accept no liability for lost, damaged or disclosed data.",
};

std::string JoinLines(const char* const* begin, const char* const* end) {
    std::string text;
    for (const char* const* line = begin; line != end; ++line) {
        if (line != begin) {
            text += "\r\n";
        }
        text += *line;
    }
    return text;
}

} // namespace

std::string VersionHistoryText() {
    return JoinLines(std::begin(VersionHistoryLines), std::end(VersionHistoryLines));
}

std::string LicenseText() {
    return JoinLines(std::begin(LicenseLines), std::end(LicenseLines));
}

} // namespace quillock::ui
