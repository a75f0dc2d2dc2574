// The help, usage lines and version of quillock-cli, made from the command
// table and wrapped to the width of the output.
#include "cli/Help.h"

#include "cli/Commands.h"
#include "cli/Password.h"
#include "cli/Report.h"
#include "crypto/Rijndael.h"
#include "datafile/Algorithms.h"
#include "datafile/CRC.h"
#include "datafile/Compression.h"

#include <algorithm>
#include <iostream>
#include <sys/ioctl.h>
#include <sys/utsname.h>
#include <unistd.h>
#include <utility>

namespace quillock::cli {
namespace {

// Where the explanation of an option starts; a longer option line puts it on
// the next line.
constexpr std::size_t HelpColumn = 30;
// The room a usage line keeps for its brackets, and the indent of its
// further lines where that room is not left beside the command's name.
constexpr std::size_t UsageRoom = 50;
constexpr std::size_t UsageIndent = 8;
// Where the summaries of the command list start.
constexpr std::size_t SummaryColumn = 14;

// The words of an algorithm table, as one choice: "rijndael|blowfish".
template <class TEntry> std::string Choices(std::span<const TEntry> entries) {
    std::string words;
    for (const TEntry& entry : entries) {
        if (!words.empty()) {
            words += '|';
        }
        words += entry.Word;
    }
    return words;
}

// A help text with CIPHERS and HASHES spelt out from the tables, and
// WAIT_SECONDS as the password command's time.
std::string WithChoices(std::string_view text) {
    std::string result(text);
    for (const auto& [name, words] :
         {std::pair<std::string_view, std::string>{"CIPHERS", Choices(datafile::Ciphers())},
          std::pair<std::string_view, std::string>{"HASHES", Choices(datafile::Hashes())},
          std::pair<std::string_view, std::string>{"WAIT_SECONDS", std::to_string(PasswordCommandWait.count())}}) {
        for (std::size_t at = 0; (at = result.find(name, at)) != std::string::npos; at += words.size()) {
            result.replace(at, name.size(), words);
        }
    }
    return result;
}

std::vector<std::string> WordsOf(std::string_view text) {
    std::vector<std::string> words;
    std::size_t at = 0;
    while ((at = text.find_first_not_of(' ', at)) != std::string_view::npos) {
        const std::size_t end = std::min(text.find(' ', at), text.size());
        words.emplace_back(text.substr(at, end - at));
        at = end;
    }
    return words;
}

// "--cipher rijndael|blowfish" or "-f, --force": how an option is named in
// the usage line (shortName false) and in the option list.
std::string OptionName(const TOption& option, bool withShort) {
    std::string name;
    if (withShort && option.Short != 0) {
        name = std::string("-") + option.Short + ", ";
    }
    name += "--" + std::string(option.Name);
    if (!option.Argument.empty()) {
        name += ' ' + WithChoices(option.Argument);
    }
    return name;
}

// Each paragraph of text (ended by '\n') wrapped on its own; one that starts
// with blanks keeps them, and its further lines are indented two more.
void PrintParagraphs(std::ostream& out, std::string_view text, std::size_t width) {
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        const std::string_view paragraph = text.substr(0, end);
        const std::size_t indent = std::min(paragraph.find_first_not_of(' '), paragraph.size());
        out << WrapParagraph(WithChoices(paragraph), width, paragraph.substr(0, indent), indent == 0 ? 0 : indent + 2);
        text.remove_prefix(std::min(end + 1, text.size()));
    }
}

void PrintCommandUsage(std::ostream& out, const TCommand& command, std::size_t width) {
    const std::string first = "usage: " + std::string(ProgramName) + ' ' + std::string(command.Name) + ' ';
    // Further lines start under the first option while that leaves room for
    // the widest bracket; on a narrow terminal a little way in.
    const std::size_t indent = Columns(first) + UsageRoom <= width ? Columns(first) : UsageIndent;
    // One word per bracket, so that a line breaks inside one only when it is
    // wider than a line, and then after a '|': [--compress | --decompress].
    std::vector<std::vector<std::string>> groups;
    for (const TOption& option : command.Options) {
        std::string item = option.Short != 0 ? std::string("-") + option.Short + " | " : std::string();
        item += OptionName(option, false);
        if (option.OrPrevious && !groups.empty()) {
            groups.back().back() += " |";
            groups.back().push_back(item);
        } else {
            groups.push_back({item});
        }
    }
    std::vector<std::string> words;
    for (std::vector<std::string>& group : groups) {
        group.front() = '[' + group.front();
        group.back() += ']';
        std::string whole;
        for (const std::string& piece : group) {
            if (!whole.empty()) {
                whole += ' ';
            }
            whole += piece;
        }
        if (indent + Columns(whole) <= width) {
            words.push_back(whole);
        } else {
            words.insert(words.end(), group.begin(), group.end());
        }
    }
    for (std::string& word : WordsOf(WithChoices(command.Operands))) {
        words.push_back(std::move(word));
    }
    out << WrapWords(words, width, first, indent);
    out << WrapParagraph(command.Summary, width, "  ", 2);
}

void PrintCommandHelp(std::ostream& out, const TCommand& command, std::size_t width) {
    PrintCommandUsage(out, command, width);
    if (command.About.empty() && command.Options.empty() && command.Notes.empty()) {
        return;
    }
    out << '\n';
    if (!command.About.empty()) {
        PrintParagraphs(out, command.About, width);
        out << '\n';
    }
    const std::size_t column = std::min(HelpColumn, width / 2);
    for (const TOption& option : command.Options) {
        std::string name = (option.Short != 0 ? "  " : "      ") + OptionName(option, true);
        if (Columns(name) + 2 > column) {
            out << name << '\n';
            name.clear();
        }
        name.resize(column, ' ');
        out << WrapParagraph(WithChoices(option.Help), width, name, column);
    }
    if (!command.Notes.empty()) {
        out << '\n';
        PrintParagraphs(out, command.Notes, width);
    }
}

} // namespace

std::size_t OutputWidth(int fd) {
    winsize size{};
    if (::isatty(fd) != 1 || ::ioctl(fd, TIOCGWINSZ, &size) != 0 || size.ws_col == 0) {
        return DefaultHelpWidth;
    }
    return std::max<std::size_t>(size.ws_col, NarrowestHelpWidth);
}

std::size_t Columns(std::string_view text) {
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

std::string WrapWords(const std::vector<std::string>& words, std::size_t width, std::string_view first,
                      std::size_t indent) {
    std::string text(first);
    std::size_t used = Columns(first);
    // Whether the current line holds a word yet.
    bool started = false;
    const auto endLine = [&] {
        // The first text may end in blanks that lead to its first word.
        while (!text.empty() && text.back() == ' ') {
            text.pop_back();
        }
        text += '\n';
    };
    for (const std::string& word : words) {
        const std::size_t columns = Columns(word);
        // A new line helps only where it starts further left.
        if ((started ? used + 1 : used) + columns > width && used > indent) {
            endLine();
            text += std::string(indent, ' ');
            used = indent;
            started = false;
        }
        if (started) {
            text += ' ';
            ++used;
        }
        text += word;
        used += columns;
        started = true;
    }
    endLine();
    return text;
}

std::string WrapParagraph(std::string_view text, std::size_t width, std::string_view first, std::size_t indent) {
    return WrapWords(WordsOf(text), width, first, indent);
}

const TCommand* FindCommand(std::string_view name) {
    for (const TCommand& command : AllCommands()) {
        if (command.Name == name) {
            return &command;
        }
    }
    return nullptr;
}

std::span<const TOption> CommandOptions(std::string_view name) {
    const TCommand* command = FindCommand(name);
    return command != nullptr ? command->Options : std::span<const TOption>();
}

void PrintUsage(std::ostream& out) {
    const std::size_t width = OutputWidth(&out == &std::cout ? STDOUT_FILENO : STDERR_FILENO);
    const std::string name(ProgramName);
    out << WrapParagraph(name + " <command> [arguments]", width, "usage: ", 9)
        << WrapParagraph(name + " <command> --help, or help [COMMAND]", width, "       ", 9)
        << WrapParagraph(name + " -V | --version", width, "       ", 9) << "\ncommands:\n";
    for (const TCommand& command : AllCommands()) {
        std::string name = "  " + std::string(command.Name) + "  ";
        name.resize(std::max(name.size(), SummaryColumn), ' ');
        out << WrapParagraph(command.Summary, width, name, SummaryColumn);
    }
}

void PrintVersion(std::ostream& out) {
    out << ProgramName << ' ' << QUILLOCK_VERSION << '\n';
    struct utsname system {};
    if (::uname(&system) == 0) {
        out << "Processor: " << system.machine << '\n';
    }
    // fast is the name of the instructions this build has for the processor
    // family, nullptr where it has none.
    const auto path = [](bool available, bool allowed, const char* fast) -> std::string {
        if (fast == nullptr) {
            return "portable (no instructions for this processor in this build)";
        }
        if (available && allowed) {
            return fast;
        }
        return available ? std::string("portable (") + fast + " turned off by QUILLOCK_PORTABLE_CRYPTO)"
                         : std::string("portable (the processor lacks ") + fast + ")";
    };
    out << "Rijndael: "
        << path(crypto::RijndaelAccelerationAvailable(), crypto::RijndaelAccelerationAllowed(),
                crypto::RijndaelAccelerationName())
        << '\n';
    // Asking for the choice means setting it; it is put back at once.
    const bool crcAllowed = datafile::SetCRC32Acceleration(true);
    (void)datafile::SetCRC32Acceleration(crcAllowed);
    out << "CRC-32: " << path(datafile::CRC32AccelerationAvailable(), crcAllowed, datafile::CRC32AccelerationName())
        << '\n';
    out << "Compression: " << datafile::CompressionPathName() << '\n';
}

int ShowHelp(std::string_view command) {
    if (const TCommand* found = FindCommand(command)) {
        PrintCommandHelp(std::cout, *found, OutputWidth(STDOUT_FILENO));
    }
    return ExitOk;
}

int UsageError(std::string_view command, std::string_view message) {
    std::cerr << ProgramName << ' ' << command << ": " << message << '\n';
    if (const TCommand* found = FindCommand(command)) {
        PrintCommandUsage(std::cerr, *found, OutputWidth(STDERR_FILENO));
    }
    return ExitUsage;
}

std::optional<int> ParseOrEnd(std::string_view command, int argc, char** argv, std::vector<std::string>& operands,
                              const TOptionHandler& handler) {
    std::string error;
    const TParseResult parsed = ParseCommandLine(argc, argv, CommandOptions(command), handler, operands, error);
    if (parsed == TParseResult::prHelp) {
        return ShowHelp(command);
    }
    if (parsed == TParseResult::prError) {
        return UsageError(command, error);
    }
    return std::nullopt;
}

int RunHelp(int argc, char** argv) {
    std::vector<std::string> operands;
    if (const std::optional<int> end = ParseOrEnd("help", argc, argv, operands)) {
        return *end;
    }
    if (operands.size() > 1) {
        return UsageError("help", "unexpected argument '" + operands[1] + "'");
    }
    if (operands.empty()) {
        PrintUsage(std::cout);
        return ExitOk;
    }
    if (FindCommand(operands[0]) == nullptr) {
        std::cerr << ProgramName << ": unknown command '" << operands[0] << "'\n";
        PrintUsage(std::cerr);
        return ExitUsage;
    }
    return ShowHelp(operands[0]);
}

} // namespace quillock::cli
