// The tables of ciphers and digests, and look-ups in them.
#include "datafile/Algorithms.h"

#include "crypto/Blowfish.h"
#include "crypto/RIPEMD160.h"
#include "crypto/Rijndael.h"
#include "crypto/SHA1.h"

namespace quillock::datafile {
namespace {

constexpr TCipherEntry CipherTable[] = {
    {"rijndael", "Rijndael", &crypto::CipherClassOf<crypto::TDCP_rijndael>},
    {"blowfish", "Blowfish", &crypto::CipherClassOf<crypto::TDCP_blowfish>},
};

constexpr THashEntry HashTable[] = {
    {"ripemd160", "RIPEMD-160", &crypto::HashClassOf<crypto::TDCP_ripemd160>},
    {"sha1", "SHA-1", &crypto::HashClassOf<crypto::TDCP_sha1>},
};

template <class TEntry> std::optional<int> IndexOfWord(std::span<const TEntry> table, std::string_view word) {
    for (std::size_t i = 0; i < table.size(); ++i) {
        if (table[i].Word == word) {
            return static_cast<int>(i);
        }
    }
    return std::nullopt;
}

template <class TEntry> const TEntry* EntryAt(std::span<const TEntry> table, int index) {
    return index >= 0 && static_cast<std::size_t>(index) < table.size() ? &table[static_cast<std::size_t>(index)]
                                                                        : nullptr;
}

} // namespace

std::span<const TCipherEntry> Ciphers() {
    return CipherTable;
}

std::span<const THashEntry> Hashes() {
    return HashTable;
}

std::optional<int> CipherIndexOfWord(std::string_view word) {
    return IndexOfWord(Ciphers(), word);
}

std::optional<int> HashIndexOfWord(std::string_view word) {
    return IndexOfWord(Hashes(), word);
}

const crypto::TDCP_cipherclass* CipherClassByIndex(int index) {
    const TCipherEntry* entry = EntryAt(Ciphers(), index);
    return entry != nullptr ? &entry->Class() : nullptr;
}

const crypto::TDCP_hashclass* HashClassByIndex(int index) {
    const THashEntry* entry = EntryAt(Hashes(), index);
    return entry != nullptr ? &entry->Class() : nullptr;
}

std::string AlgorithmText(int index) {
    const TCipherEntry* entry = EntryAt(Ciphers(), index);
    return entry != nullptr ? std::string(entry->Name) : std::string();
}

std::string HashText(int index) {
    const THashEntry* entry = EntryAt(Hashes(), index);
    return entry != nullptr ? std::string(entry->Name) : std::string();
}

} // namespace quillock::datafile
