// The SHA-1 message digest (160 bits).
#pragma once

#include "crypto/Hash160.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace quillock::crypto {

class TDCP_sha1 final : public TDCP_hash160 {
public:
    explicit TDCP_sha1(platform::TComponent* owner = nullptr) : TDCP_hash160(owner, TByteOrder::BigEndian) {}

    static int Id() { return 2; }
    static std::string Algorithm() { return "SHA1"; }
    static int HashSize() { return 160; }
    static bool SelfCheck();

    [[nodiscard]] const TDCP_hashclass& ClassType() const override { return HashClassOf<TDCP_sha1>(); }

private:
    void Compress(const std::uint8_t* data, std::size_t count) override;
};

} // namespace quillock::crypto
