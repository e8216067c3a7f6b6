// The publisher's key and signatures: ECDSA P-256 over SHA-256, the same on
// every system (OpenSSL's libcrypto natively, Windows' CNG in vtlist.exe), so
// a list signed on a Linux server verifies in the launcher and the reverse.
//
// The key file is text, CR LF: "VTKEY 1", the private scalar d (64 hex
// digits), the public point X || Y (128 hex digits). It stays with the
// publisher, offline; the public point goes into UPDATE.CFG as PUBLICKEY=.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "launcher/rules/side_file.h"

namespace vt::vtlist {

struct KeyPair {
    std::array<std::uint8_t, 32> secret{};  // d
    launcher::PublicKey point{};             // X || Y
};

std::optional<KeyPair> GenerateKeyPair();
std::optional<launcher::Signature> SignDigest(const KeyPair& key, const vt::Sha256& digest);
bool VerifyDigest(const launcher::PublicKey& point, const vt::Sha256& digest, const launcher::Signature& signature);
vt::Sha256 Sha256Of(std::string_view bytes);

// SHA-256 of bytes that come piece by piece (a file streamed from a server).
class StreamDigest {
public:
    StreamDigest();
    ~StreamDigest();
    StreamDigest(const StreamDigest&) = delete;
    StreamDigest& operator=(const StreamDigest&) = delete;
    void Add(const void* data, std::size_t size);
    std::optional<vt::Sha256> Finish();  // once; nothing when the hash failed

private:
    struct State;
    std::unique_ptr<State> state_;
};

// SHA-256 and size of a file's bytes; nothing when it cannot be read.
struct FileDigest {
    std::uint64_t size = 0;
    vt::Sha256 hash{};
};
// `alsoRead` sees each piece of the file as it is read (the block index).
using PieceReader = std::function<void(const std::uint8_t* data, std::size_t size)>;
std::optional<FileDigest> DigestOfFile(const std::string& path, const PieceReader& alsoRead = {});

std::string FormatKeyFile(const KeyPair& key);
std::optional<KeyPair> ParseKeyFile(std::string_view text);

// A `--public-key` argument as publishers give it: the 128 hex digits, the
// "PUBLICKEY=..." line keygen printed (pasted whole, blanks and line ends
// around it allowed), or the path of a key file. Nothing, with `why` saying
// what was wrong, otherwise; a key that is no point of the curve is refused.
std::optional<launcher::PublicKey> PublicKeyFromArgument(const std::string& argument, std::string& why);

}  // namespace vt::vtlist
