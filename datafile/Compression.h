// Compressing the content of a data file to one zlib stream, and back.
#pragma once

#include "datafile/DataFileHost.h"

#include <string>

namespace quillock::datafile {

// Compresses source into destination (zlib, fastest level); errors pass to the caller.
void CompressFile(const std::string& source, const std::string& destination);

// Decompresses source into destination. Damaged data (a wrong password, most
// likely) wipes the working copy and the intermediate file of the host's data
// file, reports "Decryption Error!..." and terminates.
void DecompressFile(TDataFileHost& host, const std::string& source, const std::string& destination);

} // namespace quillock::datafile
