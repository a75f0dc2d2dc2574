// Laying out the help of quillock-cli: paragraphs and option lists wrapped to
// the width of the output.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quillock::cli {

// The width when the output is not a terminal (a pipe, a file), and the
// narrowest a terminal's width is taken as.
inline constexpr std::size_t DefaultHelpWidth = 80;
inline constexpr std::size_t NarrowestHelpWidth = 40;

// The columns of the terminal fd is, at least NarrowestHelpWidth;
// DefaultHelpWidth when fd is not a terminal or does not tell.
[[nodiscard]] std::size_t OutputWidth(int fd);

// The columns a text takes: its UTF-8 characters.
[[nodiscard]] std::size_t Columns(std::string_view text);

// The words laid out in lines of at most width columns, each line ending
// with '\n': the first line starts with first, the others with indent
// blanks. A word wider than the room is a line of its own. Words are never
// split.
[[nodiscard]] std::string WrapWords(const std::vector<std::string>& words, std::size_t width, std::string_view first,
                                    std::size_t indent);

// The blank-separated words of a paragraph, wrapped as WrapWords does.
[[nodiscard]] std::string WrapParagraph(std::string_view text, std::size_t width, std::string_view first,
                                        std::size_t indent);

} // namespace quillock::cli
