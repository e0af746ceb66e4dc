// Driver interface: exact requests on both driver families and every failure path.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "card/driver.h"
#include "platform/os.h"
#include "sim/sim_platform.h"

namespace {

constexpr RegAddr SENTINEL = 0x12345678;

SimConfig config_with(int cards, DriverFamily family)
{
    SimConfig c;
    c.family = family;
    c.card_count = cards;
    for (int k = 0; k < cards; ++k) {
        c.cards[k].revision = 9 + k;
    }
    return c;
}

std::uint32_t le32(const std::uint8_t* p)
{
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

// The calls of the log, one word each, for compact comparisons.
std::string call_kinds()
{
    std::string s;
    for (int i = 0; i < TheSimCallLog.count; ++i) {
        const SimCall& c = TheSimCallLog.calls[i];
        switch (c.kind) {
        case SimCallKind::GetVersion: s += "version "; break;
        case SimCallKind::CreateFile: s += "open "; break;
        case SimCallKind::DeviceIoControl: s += "ioctl:" + std::to_string(c.code) + " "; break;
        case SimCallKind::CloseHandle: s += "close "; break;
        case SimCallKind::SetExecutionState: s += "awake:" + std::to_string(c.code) + " "; break;
        case SimCallKind::BlockShutdown: s += "block "; break;
        case SimCallKind::UnblockShutdown: s += "unblock "; break;
        }
    }
    return s;
}

class DriverTest : public ::testing::Test {
protected:
    void SetUp() override { RegisterPointer = SENTINEL; }
    void use(const SimConfig& c) { sim_configure(c); }
};

TEST_F(DriverTest, NtDevicePathIsThirteenTimesTheCardIndex)
{
    use(config_with(6, DriverFamily::Nt));
    const struct { int k; const char* path; } cases[] = {
        {0, "\\\\.\\molaOut0"}, {1, "\\\\.\\molaOut13"}, {5, "\\\\.\\molaOut65"}};
    for (const auto& c : cases) {
        TheSimCallLog = SimCallLog{};
        ASSERT_EQ(driver_probe(c.k, 0), 1) << c.k;
        EXPECT_STREQ(DevicePath, c.path);
        const SimCall& open = TheSimCallLog.calls[1];
        ASSERT_EQ(open.kind, SimCallKind::CreateFile);
        EXPECT_STREQ(open.path, c.path);
        EXPECT_EQ(HardwareRevision, 9 + c.k);
    }
}

TEST_F(DriverTest, TheSimulatedDriverOpensEachDeviceOfItsFamilyOnceAndNoOtherPath)
{
    const struct { DriverFamily family; const char* path; bool opens; } cases[] = {
        {DriverFamily::Nt, "\\\\.\\molaOut13", true}, {DriverFamily::Nt, "\\\\.\\molaOut26", false},
        {DriverFamily::Nt, DRIVER_VXD_PATH, false}, {DriverFamily::Win9x, DRIVER_VXD_PATH, true},
        {DriverFamily::Win9x, "\\\\.\\molaOut0", false}};
    for (const auto& c : cases) {
        use(config_with(2, c.family));
        const OsHandle h = os_create_file(c.path, OS_GENERIC_READ, 0, OS_OPEN_EXISTING, 0);
        EXPECT_EQ(h != OS_INVALID_HANDLE, c.opens) << c.path;
        // The devices are not shared: a second open fails.
        EXPECT_EQ(os_create_file(c.path, OS_GENERIC_READ, 0, OS_OPEN_EXISTING, 0), OS_INVALID_HANDLE) << c.path;
    }
}

TEST_F(DriverTest, NtProbeWithoutMappingSendsOnlyCardInfo)
{
    use(config_with(2, DriverFamily::Nt));
    ASSERT_EQ(driver_probe(1, 0), 1);
    EXPECT_EQ(call_kinds(), "version open ioctl:1917112 close ");
    const SimCall& open = TheSimCallLog.calls[1];
    EXPECT_EQ(open.access, OS_GENERIC_READ);
    EXPECT_EQ(open.share_mode, 0u);
    EXPECT_EQ(open.creation, OS_OPEN_EXISTING);
    EXPECT_EQ(open.flags, 0u);
    const SimCall& info = TheSimCallLog.calls[2];
    EXPECT_FALSE(info.in_present);
    EXPECT_EQ(info.in_size, 0u);
    EXPECT_EQ(info.out_size, 92u);
    EXPECT_EQ(CardDriverFamily, DriverFamily::Nt);
    EXPECT_EQ(CardCount, 2);
    EXPECT_EQ(HardwareRevision, 10);
    EXPECT_EQ(RegisterPointer, SENTINEL);
    EXPECT_EQ(TheSimCallLog.open_handles, 0);
}

TEST_F(DriverTest, NtMappingGivesPointerPastStatusAndReleaseSendsTheAddress)
{
    use(config_with(3, DriverFamily::Nt));
    ASSERT_EQ(driver_probe(2, 1), 1);
    const std::uint32_t a = sim_register_address(2);
    EXPECT_EQ(RegisterPointer, static_cast<RegAddr>(a) + 0x100);
    EXPECT_EQ(call_kinds(), "version open ioctl:1917112 close open ioctl:1917044 close ");
    const SimCall& map = TheSimCallLog.calls[5];
    EXPECT_FALSE(map.in_present);
    EXPECT_EQ(map.out_size, 4u);
    EXPECT_TRUE(sim_is_mapped(2));

    TheSimCallLog = SimCallLog{};
    driver_release();
    EXPECT_EQ(call_kinds(), "open ioctl:1917048 close ");
    const SimCall& unmap = TheSimCallLog.calls[1];
    EXPECT_EQ(unmap.in_size, 4u);
    EXPECT_FALSE(unmap.out_present);
    EXPECT_EQ(unmap.out_size, 0u);
    EXPECT_EQ(le32(unmap.in), a);
    EXPECT_STREQ(TheSimCallLog.calls[0].path, "\\\\.\\molaOut26");
    EXPECT_FALSE(sim_is_mapped(2));
    EXPECT_EQ(TheSimCallLog.open_handles, 0);
}

TEST_F(DriverTest, NtFailuresReturnZeroKeepTheRegisterPointerAndSayWhy)
{
    using F = ProbeFailure;
    struct Case { const char* what; std::uint32_t fault; int map; bool override_count; std::int32_t count; F why; };
    const Case cases[] = {
        {"device missing", SIM_FAULT_DEVICE_MISSING, 0, false, 0, F::NotFound},
        {"card info fails", SIM_FAULT_CARD_INFO_FAILS, 0, false, 0, F::NoAnswer},
        {"wrong magic", SIM_FAULT_WRONG_MAGIC, 0, false, 0, F::BadAnswer},
        {"short card info leaves count 0", SIM_FAULT_SHORT_CARD_INFO, 0, false, 0, F::BadCount},
        {"count 0", 0, 0, true, 0, F::BadCount},
        {"count 7", 0, 0, true, 7, F::BadCount},
        {"count -1", 0, 0, true, -1, F::BadCount},
        {"map fails", SIM_FAULT_MAP_FAILS, 1, false, 0, F::MapFailed},
        {"map address 0", SIM_FAULT_MAP_ADDRESS_ZERO, 1, false, 0, F::MapFailed},
    };
    for (const Case& c : cases) {
        SimConfig cfg = config_with(1, DriverFamily::Nt);
        cfg.driver_faults = c.fault;
        cfg.override_count = c.override_count;
        cfg.reported_count = c.count;
        use(cfg);
        RegisterPointer = SENTINEL;
        LastProbeFailure = F::None;
        EXPECT_EQ(driver_probe(0, c.map), 0) << c.what;
        EXPECT_EQ(LastProbeFailure, c.why) << c.what;
        EXPECT_EQ(RegisterPointer, SENTINEL) << c.what;
        EXPECT_EQ(TheSimCallLog.open_handles, 0) << c.what;
        if (c.override_count) {
            EXPECT_EQ(CardCount, c.count) << c.what << ": the count stays for the message";
        }
        // The next probe that succeeds clears the reason.
        use(config_with(1, DriverFamily::Nt));
        EXPECT_EQ(driver_probe(0, 1), 1) << c.what;
        EXPECT_EQ(LastProbeFailure, F::None) << c.what;
    }
}

TEST_F(DriverTest, NtCountSixSucceedsAndDriverMissingSendsNoRequest)
{
    SimConfig cfg = config_with(6, DriverFamily::Nt);
    use(cfg);
    EXPECT_EQ(driver_probe(0, 0), 1);
    EXPECT_EQ(CardCount, 6);

    cfg.driver_present = false;
    use(cfg);
    EXPECT_EQ(driver_probe(0, 0), 0);
    EXPECT_EQ(call_kinds(), "version open ");
}

TEST_F(DriverTest, ShortCardInfoLeavesTheRestOfTheRecordZero)
{
    // A reply of 8 bytes with a valid magic: the count stays at the zero it was given.
    SimConfig cfg = config_with(1, DriverFamily::Nt);
    cfg.driver_faults = SIM_FAULT_SHORT_CARD_INFO;
    use(cfg);
    EXPECT_EQ(driver_probe(0, 0), 0);
    EXPECT_EQ(CardCount, 0);
}

TEST_F(DriverTest, NtDriverControlClosesEvenWhenTheRequestFails)
{
    use(config_with(1, DriverFamily::Nt));
    std::snprintf(DevicePath, sizeof DevicePath, "\\\\.\\molaOut0");
    EXPECT_EQ(driver_control(0x1234, nullptr, 0, nullptr, 0), 0);
    EXPECT_EQ(call_kinds(), "open ioctl:4660 close ");
    EXPECT_EQ(TheSimCallLog.open_handles, 0);
}

TEST_F(DriverTest, Win9xProbeSendsThreeRequestsOnOneHandle)
{
    use(config_with(3, DriverFamily::Win9x));
    ASSERT_EQ(driver_probe(2, 1), 1);
    EXPECT_EQ(call_kinds(), "version open ioctl:13 ioctl:12 ioctl:1 close ");
    const SimCall& open = TheSimCallLog.calls[1];
    EXPECT_STREQ(open.path, "\\\\.\\mola.vxd");
    EXPECT_EQ(open.access, 0u);
    EXPECT_EQ(open.share_mode, 0u);
    EXPECT_EQ(open.creation, 0u);
    EXPECT_EQ(open.flags, OS_FILE_FLAG_DELETE_ON_CLOSE);
    const std::uint32_t words0[] = {0, 2, 2};
    for (int i = 0; i < 3; ++i) {
        const SimCall& r = TheSimCallLog.calls[2 + i];
        EXPECT_EQ(r.in_size, 12u);
        EXPECT_EQ(r.out_size, 128u);
        EXPECT_EQ(le32(r.in), words0[i]);
        EXPECT_EQ(le32(r.in + 4), 0u);
        EXPECT_EQ(le32(r.in + 8), 0u);
    }
    EXPECT_EQ(CardDriverFamily, DriverFamily::Win9x);
    EXPECT_EQ(CardCount, 3);
    EXPECT_EQ(HardwareRevision, 11);
    EXPECT_EQ(RegisterPointer, static_cast<RegAddr>(sim_register_address(2)) + 0x100);
    EXPECT_EQ(TheSimCallLog.open_handles, 0);

    TheSimCallLog = SimCallLog{};
    driver_release();
    EXPECT_EQ(TheSimCallLog.count, 0);
}

TEST_F(DriverTest, Win9xWithoutMappingSkipsTheMapRequest)
{
    use(config_with(1, DriverFamily::Win9x));
    ASSERT_EQ(driver_probe(0, 0), 1);
    EXPECT_EQ(call_kinds(), "version open ioctl:13 ioctl:12 close ");
    EXPECT_EQ(RegisterPointer, SENTINEL);
}

TEST_F(DriverTest, Win9xRevisionIsWidenedWithoutSign)
{
    SimConfig cfg = config_with(1, DriverFamily::Win9x);
    cfg.cards[0].revision = 0xFFFF;
    use(cfg);
    ASSERT_EQ(driver_probe(0, 0), 1);
    EXPECT_EQ(HardwareRevision, 65535);
}

TEST_F(DriverTest, Win9xFailuresCloseTheHandleKeepTheRegisterPointerAndSayWhy)
{
    using F = ProbeFailure;
    struct Case { const char* what; std::uint32_t fault; bool override_count; std::int32_t count; F why; };
    const Case cases[] = {
        {"vxd missing", SIM_FAULT_DEVICE_MISSING, false, 0, F::NotFound},
        {"count fails", SIM_FAULT_VXD_COUNT_FAILS, false, 0, F::NoAnswer},
        {"count 0", 0, true, 0, F::BadCount},
        {"count 7", 0, true, 7, F::BadCount},
        {"count -1", 0, true, -1, F::BadCount},
        {"card fails", SIM_FAULT_VXD_CARD_FAILS, false, 0, F::NoAnswer},
        {"card address 0", SIM_FAULT_VXD_CARD_ADDRESS_ZERO, false, 0, F::NoAnswer},
        {"map fails", SIM_FAULT_MAP_FAILS, false, 0, F::MapFailed},
        {"register address 0", SIM_FAULT_MAP_ADDRESS_ZERO, false, 0, F::MapFailed},
    };
    for (const Case& c : cases) {
        SimConfig cfg = config_with(1, DriverFamily::Win9x);
        cfg.driver_faults = c.fault;
        cfg.cards[0].driver_faults = c.fault;
        cfg.override_count = c.override_count;
        cfg.reported_count = c.count;
        use(cfg);
        RegisterPointer = SENTINEL;
        EXPECT_EQ(driver_probe(0, 1), 0) << c.what;
        EXPECT_EQ(LastProbeFailure, c.why) << c.what;
        EXPECT_EQ(RegisterPointer, SENTINEL) << c.what;
        EXPECT_EQ(TheSimCallLog.open_handles, 0) << c.what;
    }
}

TEST_F(DriverTest, LastProbeWinsForFamilyCountAndRevision)
{
    SimConfig cfg = config_with(2, DriverFamily::Win9x);
    use(cfg);
    ASSERT_EQ(driver_probe(1, 1), 1);
    cfg.family = DriverFamily::Nt;
    cfg.card_count = 1;
    use(cfg);
    ASSERT_EQ(driver_probe(0, 0), 1);
    EXPECT_EQ(CardDriverFamily, DriverFamily::Nt);
    EXPECT_EQ(CardCount, 1);
    EXPECT_EQ(HardwareRevision, 9);
}

} // namespace
