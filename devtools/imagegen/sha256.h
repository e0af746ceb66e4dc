// SHA-256 (FIPS 180-4), for recording and checking the digests of the embedded programs.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

std::array<std::uint8_t, 32> sha256(const std::uint8_t* data, std::size_t size);
// The digest as 64 lower-case hexadecimal digits.
std::string sha256_hex(const std::uint8_t* data, std::size_t size);
