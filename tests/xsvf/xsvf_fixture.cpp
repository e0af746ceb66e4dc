#include "tests/xsvf/xsvf_fixture.h"

#include <cstdio>
#include <cstdlib>

namespace {

// With MOLA_DUMP_STREAMS=DIR, every stream a test plays is also written to DIR, named after
// the test: the seed corpus of the fuzz targets is made of them (tools/fuzz-seeds.sh).
void dump_stream(const Bytes& bytes)
{
    const char* dir = std::getenv("MOLA_DUMP_STREAMS");
    if (dir == nullptr || *dir == '\0') {
        return;
    }
    // Numbered within each test, so that the names stay as long as the test does.
    static std::string test;
    static int serial = 0;
    const ::testing::TestInfo* t = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string name = std::string(t->test_suite_name()) + "." + t->name();
    serial = name == test ? serial + 1 : 1;
    test = name;
    const std::string path = std::string(dir) + "/" + name + "." + std::to_string(serial) + ".xsvf";
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
}

} // namespace

void XsvfTest::SetUp()
{
    SimConfig c;
    c.card_count = 1;
    sim_configure(c);
    sim_attach_target(0, recording_target(&rec));
    sim_map_directly(0);
    PortShadow = PORT_SHADOW_INITIAL;
    LogLevel = 0;
}

void XsvfTest::load(const Bytes& bytes)
{
    dump_stream(bytes);
    image = bytes;
    SelectedImage = image.data();
    SelectedImageLength = static_cast<std::uint32_t>(image.size());
    ImageReadIndex = 0;
    LastPercent = 0;
}

std::string XsvfTest::play(std::int32_t* result)
{
    testing::internal::CaptureStdout();
    *result = player_execute();
    return testing::internal::GetCapturedStdout();
}

std::vector<WireEvent> XsvfTest::wire() const
{
    std::vector<WireEvent> out;
    const auto& ev = rec.events;
    for (std::size_t i = 0; i < ev.size();) {
        const RecordedEvent& e = ev[i];
        if (e.kind == 'R') {
            out.push_back({'R', 0, 0, e.value >> 28});
            ++i;
        } else if (e.kind == 'S') {
            out.push_back({'S', 0, 0, e.value});
            ++i;
        } else if (i + 1 < ev.size() && ev[i + 1].kind == 'W' && ev[i + 1].offset == 0x104) {
            // A pulse: four writes with TCK low, four high, four low, same TMS and TDI.
            EXPECT_LE(i + 12, ev.size());
            for (std::size_t k = 0; k < 12 && i + k < ev.size(); ++k) {
                const std::uint32_t want = (e.value & ~2u) | (k / 4 == 1 ? 2u : 0u);
                EXPECT_EQ(ev[i + k], (RecordedEvent{'W', 0x100u + 4u * std::uint32_t(k % 4), want})) << i + k;
            }
            out.push_back({'P', int(e.value & 1u), int((e.value >> 2) & 1u), 0});
            i += 12;
        } else {
            EXPECT_EQ(e.offset, 0x100u);
            if (out.empty() || out.back().kind != 'D') {
                out.push_back({'D', 0, 0, 0});
            }
            ++out.back().n;
            ++i;
        }
    }
    return out;
}

std::string XsvfTest::tms() const
{
    std::string s;
    for (const WireEvent& w : wire()) {
        if (w.kind == 'P') {
            s += char('0' + w.tms);
        }
    }
    return s;
}

std::string XsvfTest::tdi_bits(std::size_t first, std::size_t n) const
{
    std::string s;
    std::size_t k = 0;
    for (const WireEvent& w : wire()) {
        if (w.kind == 'P' && k++ >= first && s.size() < n) {
            s += char('0' + w.tdi);
        }
    }
    return s;
}
