// A data-file host whose window state is plain fields: the getters and setters
// of TDataFileHost written once, for the terminal and the tests' hosts.
#pragma once

#include "datafile/DataFileHost.h"
#include "platform/Secret.h"

#include <string>
#include <string_view>

namespace quillock::datafile {

// TBase is TDataFileHost or an interface derived from it (the session's view).
template <class TBase> class TFieldHost : public TBase {
public:
    std::string FName;               // the data-file box
    platform::TSecretText FPassword; // Windows-1252 bytes
    int FAlgorithm = 0;
    int FHash = 0;
    bool FChangePass = false;
    bool FChangeAlgorithm = false;

    [[nodiscard]] std::string DataFileName() const override { return FName; }
    [[nodiscard]] platform::TSecretText Password() const override { return FPassword.Clone(); }
    void SetPassword(std::string_view password) override { FPassword.Assign(password); }
    [[nodiscard]] int AlgorithmIndex() const override { return FAlgorithm; }
    void SetAlgorithmIndex(int index) override { FAlgorithm = index; }
    [[nodiscard]] int HashIndex() const override { return FHash; }
    void SetHashIndex(int index) override { FHash = index; }
    [[nodiscard]] bool ChangePass() const override { return FChangePass; }
    [[nodiscard]] bool ChangeAlgorithm() const override { return FChangeAlgorithm; }
};

} // namespace quillock::datafile
