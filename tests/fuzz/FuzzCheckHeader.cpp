// Fuzz target: CheckHeader over a file of arbitrary content, compared with a
// direct reading of the rule (the editor's name, in any case, somewhere in the
// part of the first line before any zero byte).
#include "FuzzFile.h"
#include "datafile/FieldHost.h"
#include "datafile/FileChecks.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

using namespace quillock::datafile;

// Any dialog would be a failure of CheckHeader on a readable file.
class TFuzzHost final : public TFieldHost<TDataFileHost> {
public:
    [[nodiscard]] std::string Caption() const override { return {}; }
    TModalResult AskUser(const std::string&, TMsgDlgType, TMsgDlgButtons) override { std::abort(); }
    std::string InputBox(const std::string&, const std::string&, const std::string&) override { std::abort(); }
    bool QuestionBox(const std::string&) override { std::abort(); }
    [[noreturn]] void ExitWithError() override { std::abort(); }
};

bool Expected(const std::uint8_t* data, std::size_t size) {
    std::string line;
    for (std::size_t i = 0; i < size && data[i] != 0 && data[i] != '\r' && data[i] != '\n'; ++i) {
        const char c = static_cast<char>(data[i]);
        line.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c);
    }
    return line.find("arbolix") != std::string::npos;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TFuzzHost host;
    const std::string& path = quillock::fuzz::WriteScratch(data, size);
    if (CheckHeader(host, path) != Expected(data, size)) {
        std::abort();
    }
    return 0;
}
