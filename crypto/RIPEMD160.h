// The RIPEMD-160 message digest.
#pragma once

#include "crypto/Hash160.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace quillock::crypto {

class TDCP_ripemd160 final : public TDCP_hash160 {
public:
    explicit TDCP_ripemd160(platform::TComponent* owner = nullptr) : TDCP_hash160(owner, TByteOrder::LittleEndian) {}

    static int Id() { return 10; }
    static std::string Algorithm() { return "RipeMD-160"; }
    static int HashSize() { return 160; }
    static bool SelfCheck();

    [[nodiscard]] const TDCP_hashclass& ClassType() const override { return HashClassOf<TDCP_ripemd160>(); }

private:
    void Compress(const std::uint8_t* data, std::size_t count) override;
};

} // namespace quillock::crypto
