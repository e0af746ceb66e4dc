// The embedded programs' digests, and the generator reproducing them byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "devtools/imagegen/program_generator.h"
#include "devtools/imagegen/sha256.h"
#include "images/image_source.h"
#include "tests/images/embedded_programs.h"

namespace {

std::map<std::string, std::string> recorded_digests()
{
    std::map<std::string, std::string> sums;
    std::FILE* f = std::fopen(MOLA_IMAGES_DIR "/SHA256SUMS", "r");
    if (f == nullptr) {
        return sums;
    }
    char hex[65] = {};
    char name[64] = {};
    while (std::fscanf(f, "%64s %63s", hex, name) == 2) {
        sums[name] = hex;
    }
    std::fclose(f);
    return sums;
}

TEST(ProgramDigest, EmbeddedBytesMatchTheRecordedDigests)
{
    const std::map<std::string, std::string> sums = recorded_digests();
    ASSERT_EQ(sums.size(), 2u);
    for (const EmbeddedProgram& p : PROGRAMS) {
        EXPECT_EQ(sha256_hex(p.bytes, IMAGE_LENGTH), sums.at(p.file)) << p.file;
    }
}

TEST(ProgramDigest, GeneratorReproducesTheEmbeddedPrograms)
{
    for (const EmbeddedProgram& p : PROGRAMS) {
        SCOPED_TRACE(p.file);
        std::vector<std::uint8_t> generated;
        imagegen_program(p.model, &generated);
        ASSERT_EQ(generated.size(), IMAGE_LENGTH);
        EXPECT_TRUE(std::equal(generated.begin(), generated.end(), p.bytes));
    }
}

TEST(ProgramDigest, Sha256KnownAnswers)
{
    auto hex = [](const std::string& s) {
        return sha256_hex(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
    };
    EXPECT_EQ(hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    // 56 bytes: the length no longer fits the last block.
    EXPECT_EQ(hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(hex(std::string(1000000, 'a')), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

} // namespace
