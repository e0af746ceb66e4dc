// The embedded programs' digests, and the generator reproducing them byte for byte. The digests
// in SHA256SUMS are the system's sha256sum's too (xsvf_tool_test.sh checks the embedded bytes
// with it), so matching them checks the generator's own SHA-256 on two 504089-byte inputs.
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

} // namespace
