// The cipher and digest classes behind the window's list indices.
#include "datafile/Algorithms.h"

#include "crypto/Blowfish.h"
#include "crypto/RIPEMD160.h"
#include "crypto/Rijndael.h"
#include "crypto/SHA1.h"

namespace quillock::datafile {

const crypto::TDCP_cipherclass* CipherClassByIndex(int index) {
    switch (index) {
    case 0:
        return &crypto::CipherClassOf<crypto::TDCP_rijndael>();
    case 1:
        return &crypto::CipherClassOf<crypto::TDCP_blowfish>();
    default:
        return nullptr;
    }
}

const crypto::TDCP_hashclass* HashClassByIndex(int index) {
    switch (index) {
    case 0:
        return &crypto::HashClassOf<crypto::TDCP_ripemd160>();
    case 1:
        return &crypto::HashClassOf<crypto::TDCP_sha1>();
    default:
        return nullptr;
    }
}

std::string AlgorithmText(int index) {
    return index == 0 || index == 1 ? AlgorithmNames[index] : std::string();
}

std::string HashText(int index) {
    return index == 0 || index == 1 ? HashNames[index] : std::string();
}

} // namespace quillock::datafile
