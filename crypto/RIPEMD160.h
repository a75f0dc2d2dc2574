// The RIPEMD-160 message digest.
#pragma once

#include "crypto/Hash.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace quillock::crypto {

class TDCP_ripemd160 final : public TDCP_hash {
public:
    explicit TDCP_ripemd160(platform::TComponent* owner = nullptr) : TDCP_hash(owner) {}
    ~TDCP_ripemd160() override;

    static int Id() { return 10; }
    static std::string Algorithm() { return "RipeMD-160"; }
    static int HashSize() { return 160; }
    static bool SelfCheck();

    [[nodiscard]] const TDCP_hashclass& ClassType() const override { return HashClassOf<TDCP_ripemd160>(); }

    void Init() override;
    void Final(void* digest) override;
    void Scrub() override;
    void Update(const void* buffer, std::uint32_t size) override;

private:
    // Runs the compression function over count whole blocks at data.
    void Compress(const std::uint8_t* data, std::size_t count);

    std::uint32_t BitCountHigh = 0;
    std::uint32_t BitCountLow = 0;
    std::uint32_t BufferFill = 0;
    std::array<std::uint32_t, 5> ChainState{};
    std::array<std::uint8_t, 64> BlockBuffer{}; // bytes at and beyond BufferFill are zero
};

} // namespace quillock::crypto
