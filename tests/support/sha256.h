#pragma once

#include <filesystem>
#include <string>

namespace testsupport {

// The lowercase hex SHA-256 of a file (OpenSSL's), for comparing a download
// with its source. Throws std::runtime_error when the file cannot be read.
std::string sha256OfFile(const std::filesystem::path& path);

} // namespace testsupport
