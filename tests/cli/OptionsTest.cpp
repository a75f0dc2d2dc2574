// The option tables of quillock-cli's commands, the parser made from them and
// the wrapping of the help. Parser and help come from the one table; what a
// table can still get wrong is checked here.
#include "cli/Commands.h"
#include "cli/Help.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <utility>

namespace quillock::cli {
namespace {

using Strings = std::vector<std::string>;

TEST(CommandTable, NamesAreUniqueAndEveryOptionIsExplained) {
    for (const TCommand& command : AllCommands()) {
        std::set<std::string_view> names;
        std::set<char> shorts;
        for (const TOption& option : command.Options) {
            EXPECT_TRUE(names.insert(option.Name).second) << command.Name << ": --" << option.Name << " twice";
            EXPECT_FALSE(option.Help.empty()) << command.Name << ": --" << option.Name << " is not explained";
            if (option.Short != 0) {
                EXPECT_NE(option.Short, 'h') << command.Name << ": -h is the help";
                EXPECT_TRUE(shorts.insert(option.Short).second) << command.Name << ": -" << option.Short << " twice";
            }
        }
        EXPECT_TRUE(command.Options.empty() || !command.Options.front().OrPrevious) << command.Name;
    }
}

// Parses the arguments with the options of command; what the handler got,
// "id=value" each, and the operands after them.
struct TParsed {
    TParseResult Result = TParseResult::prOk;
    Strings Taken;
    Strings Operands;
    std::string Error;
};

TParsed Parse(std::string_view command, Strings arguments) {
    arguments.insert(arguments.begin(), std::string(command));
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    TParsed parsed;
    parsed.Result = ParseCommandLine(
        static_cast<int>(arguments.size()), argv.data(), CommandOptions(command),
        [&](TOptionId id, std::string_view value) {
            parsed.Taken.push_back(std::to_string(id) + "=" + std::string(value));
            return value == "refused" ? std::string("refused value") : std::string();
        },
        parsed.Operands, parsed.Error);
    return parsed;
}

std::string Taken(TOptionId id, const std::string& value = {}) {
    return std::to_string(id) + "=" + value;
}

TEST(ParseCommandLine, LongAndShortOptionsValuesAndOperands) {
    TParsed parsed = Parse("unseal", {"in", "-fq", "--cipher=blowfish", "--hash", "sha1", "--", "-out"});
    EXPECT_EQ(parsed.Result, TParseResult::prOk) << parsed.Error;
    EXPECT_EQ(parsed.Taken, (Strings{Taken(oForce), Taken(oQuiet), Taken(oCipher, "blowfish"), Taken(oHash, "sha1")}));
    EXPECT_EQ(parsed.Operands, (Strings{"in", "-out"}));
    EXPECT_EQ(Parse("edit", {"-y", "f"}).Taken, Strings{Taken(oYes)});
    EXPECT_EQ(Parse("seal", {"a", "-h"}).Result, TParseResult::prHelp);
    EXPECT_EQ(Parse("check", {"--help"}).Result, TParseResult::prHelp);
}

TEST(ParseCommandLine, EachMistakeIsNamed) {
    for (const auto& [arguments, error] : std::vector<std::pair<Strings, std::string>>{
             {{"--cipher"}, "--cipher needs a value"},
             {{"--force=yes"}, "--force takes no value"},
             {{"--bogus=1"}, "unknown option '--bogus'"},
             {{"-z"}, "unknown option '-z'"},
             {{"-y"}, "unknown option '-y'"}, // edit's, not unseal's
             {{"--hash", "refused"}, "refused value"},
         }) {
        const TParsed parsed = Parse("unseal", arguments);
        EXPECT_EQ(parsed.Result, TParseResult::prError) << arguments.front();
        EXPECT_EQ(parsed.Error, error);
    }
}

TEST(Help, WordsAreWrappedToTheWidthWithTheIndent) {
    EXPECT_EQ(WrapParagraph("one two three four", 10, "> ", 2), "> one two\n  three\n  four\n");
    // A word wider than a line is a line of its own; an empty text is the first part alone.
    EXPECT_EQ(WrapWords({"a", "0123456789abc", "b"}, 10, "", 0), "a\n0123456789abc\nb\n");
    EXPECT_EQ(WrapParagraph("", 10, "  --flag   ", 11), "  --flag\n");
    // Characters, not bytes, count: "Grün" takes four columns.
    EXPECT_EQ(Columns("Gr\xC3\xBCn"), 4u);
    EXPECT_EQ(WrapParagraph("Gr\xC3\xBCn 12345", 10, "", 0), "Gr\xC3\xBCn 12345\n");
}

} // namespace
} // namespace quillock::cli
