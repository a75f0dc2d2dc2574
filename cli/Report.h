// How quillock-cli tells of a failure, in one style for every command:
// "quillock-cli: FILE: what happened", then a line of what to do next.
#pragma once

#include "datafile/DataFileHost.h"

#include <ostream>
#include <string>
#include <string_view>

namespace quillock::cli {

// The program's name, first on every line it prints of its own.
inline constexpr std::string_view ProgramName = "quillock-cli";

// "quillock-cli: FILE: happened" and next on a line of its own (none when
// next is empty) on out; without a file, "quillock-cli: happened". A name
// that is not valid UTF-8 is shown with its bytes escaped.
void Report(std::ostream& out, std::string_view file, std::string_view happened, std::string_view next = {});

// Report on stderr; returns ExitFailure, so a command ends with "return Fail(...)".
[[nodiscard]] int Fail(std::string_view file, std::string_view happened, std::string_view next = {});

// Reports a failure of the data-file operations through host (its
// temporaries wiped, its text shown) and returns the exit code that
// host.ExitWithError ends with.
[[nodiscard]] int ReportDataFileError(datafile::TDataFileHost& host, const datafile::EDataFileError& error);

} // namespace quillock::cli
