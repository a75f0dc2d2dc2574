// What the tests of each block cipher share: data run through the block
// calls, the refusal of an unkeyed cipher, the published vectors both ways,
// agreement with OpenSSL for random keys, and the identity of the class.
#pragma once

#include "VecFile.h"
#include "crypto/Cipher.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

namespace quillock::crypto {

// Data of whole blocks through EncryptBlock or DecryptBlock, block by block.
tests::Bytes EncryptBlocks(TDCP_blockcipher& cipher, const tests::Bytes& plain);
tests::Bytes DecryptBlocks(TDCP_blockcipher& cipher, const tests::Bytes& data);

// Both block calls of an unkeyed cipher raise "Cipher not initialized".
void ExpectUnkeyed(TDCP_blockcipher& cipher);

// Every record (Key, In, Out) keys cipher, then runs both ways through whole
// data and in place in one buffer; keyed runs after each keying.
void ExpectPublishedVectors(TDCP_blockcipher& cipher, const std::vector<tests::TVecRecord>& records,
                            const std::function<void()>& keyed = {});

// A key of keyBytes bytes from rng keys cipher (keyed runs then); plainBytes
// of text seeded from rng agree with OpenSSL's cipher ecb ("BF-ECB",
// "AES-128-ECB", ...) both ways, and our decryption undoes our encryption.
void ExpectAgreesWithOpenSsl(TDCP_blockcipher& cipher, std::mt19937& rng, std::size_t keyBytes, std::size_t plainBytes,
                             const std::string& ecb, const std::function<void()>& keyed = {});

void ExpectClassAnswers(const TDCP_cipherclass& cls, int id, const std::string& algorithm, int maxKeySize,
                        int blockSize);

// What the class of TCipher answers, and TCipher's self-check passing.
template <class TCipher> void ExpectClass(int id, const std::string& algorithm, int maxKeySize, int blockSize) {
    const TCipher cipher;
    ExpectClassAnswers(cipher.ClassType(), id, algorithm, maxKeySize, blockSize);
    EXPECT_TRUE(TCipher::SelfCheck());
}

} // namespace quillock::crypto
