// The list of who may sign what Kavelton starts or loads: one entry a line,
// "cert SHA256 [label]" for a certificate of a signer's chain, or
// "file SHA256 NAME" for one exact file that may run unsigned. Lines end in
// LF or CR LF; empty lines and lines starting with '#' are passed over.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "checksums.h"

namespace kv::core {

struct SignerEntry {
    enum Kind { Certificate, File } kind = Certificate;
    Sha256Digest digest{};
    std::string name;  // File: the file's plain name; Certificate: its label, if any
};

struct SignerList {
    std::vector<SignerEntry> entries;
    // 0 when every line could be read; otherwise the first bad line, from 1.
    std::size_t badLine = 0;
    bool Empty() const { return badLine == 0 && entries.empty(); }
    bool Ok() const { return badLine == 0 && !entries.empty(); }
};

// Reads a whole list; any line not in the format makes all of it unusable.
// A digest is 64 hex digits, or 32 pairs joined by colons as openssl prints
// a fingerprint.
SignerList ParseSignerList(std::string_view bytes);

// Whether a "cert" line names the certificate with this digest.
bool NamesCertificate(const SignerList& list, const Sha256Digest& certificate);

// Whether the list has a "file" line for fileName (compared without letter
// case), and whether one of them has this digest.
bool HasFileLine(const SignerList& list, std::string_view fileName);
bool AllowsFile(const SignerList& list, std::string_view fileName, const Sha256Digest& file);

}  // namespace kv::core
