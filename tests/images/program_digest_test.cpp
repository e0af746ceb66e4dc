// The generator reproduces the embedded programs byte for byte (their digests in SHA256SUMS are
// checked with sha256sum by xsvf_tool_test.sh).
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "devtools/imagegen/program_generator.h"
#include "images/image_source.h"
#include "tests/images/embedded_programs.h"

namespace {

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
