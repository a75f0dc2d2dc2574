// Sealing and unsealing a data file under the window's password and choices.
#pragma once

#include "datafile/DataFileHost.h"

#include <string>

namespace quillock::datafile {

// Writes the unsealed bytes of source to destination. Reports and terminates
// on any failure; checks nothing about the password.
void Decrypt(TDataFileHost& host, const std::string& source, const std::string& destination);

// Asks for a new password and cipher choices when the host's options say so,
// then seals source into destination. Reports and terminates on any failure.
void Encrypt(TDataFileHost& host, const std::string& source, const std::string& destination);

} // namespace quillock::datafile
