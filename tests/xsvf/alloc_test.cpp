// The player allocates nothing and prints nothing while a stream plays at level 0.
#include <atomic>
#include <cstdlib>
#include <new>

#include "sim/ui_recording.h"
#include "tests/xsvf/xsvf_fixture.h"

namespace {
std::atomic<bool> counting{false};
std::atomic<long> allocations{0};
} // namespace

void* operator new(std::size_t size)
{
    if (counting) {
        ++allocations;
    }
    if (void* p = std::malloc(size ? size : 1)) {
        return p;
    }
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

using AllocationTest = XsvfTest;

TEST_F(AllocationTest, PlayingAllocatesAndFormatsNothingAtLevelZero)
{
    rec.store = false; // the recorder itself would allocate for every event
    const Bytes s = program({xrepeat(2), xruntest(5), xsdrsize(4224), xtdomask(Bytes(528, 0xFF)),
                             xsdrtdo(Bytes(528, 0x5A), Bytes(528, 0x00)), xsir(8, {0x12}),
                             xsetsdrmasks(Bytes(528, 0x01), Bytes(528, 0x10)),
                             xsdrinc(Bytes(528, 0), 3, Bytes(3 * 66, 0xA5))});
    load(s);
    // The test's own progress sink keeps what the reader sends it; room made beforehand.
    RecordedMessages.clear();
    RecordedMessages.reserve(256);
    testing::internal::CaptureStdout();
    counting = true;
    const std::int32_t result = player_execute();
    counting = false;
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(result, 0);
    EXPECT_EQ(allocations.load(), 0);
    EXPECT_EQ(ImageReadIndex, s.size());
    EXPECT_GT(rec.writes, 5u * 4224u * 12u); // the shifts really ran
}

} // namespace
