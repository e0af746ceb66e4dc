// The card's kernel driver: finding it on either driver family, reading the card count and
// a card's hardware revision, mapping a card's register block and releasing it.
// Results are 1 for success and 0 for failure; nothing here prints anything.
#pragma once

#include <cstdint>

#include "card/port_registers.h"
#include "platform/regs.h"

constexpr std::int32_t MAX_CARDS = 6;
constexpr std::uint32_t CARD_INFO_MAGIC = 0x3FC5;

// NT device control codes: device type 0x1D (sound), METHOD_BUFFERED, FILE_READ_ACCESS.
constexpr std::uint32_t CTL_CARD_INFO = 0x1D40B8;      // function 46: out 92-byte CardInfo
constexpr std::uint32_t CTL_MAP_REGISTER = 0x1D4074;   // function 29: out 4-byte address
constexpr std::uint32_t CTL_UNMAP_REGISTER = 0x1D4078; // function 30: in 4-byte address

// Windows 9x virtual device requests: 12-byte VxdRequest in, 128-byte VxdReply out.
constexpr std::uint32_t VXD_GET_CARD_COUNT = 13;
constexpr std::uint32_t VXD_GET_CARD = 12;
constexpr std::uint32_t VXD_MAP_REGISTER = 1;

constexpr std::uint32_t CARD_INFO_SIZE = 92;
constexpr std::uint32_t VXD_REQUEST_SIZE = 12;
constexpr std::uint32_t VXD_REPLY_SIZE = 128;
// Byte offset of the unsigned 16-bit hardware revision in the 9x driver's card structure.
constexpr std::uint32_t VXD_CARD_REVISION_OFFSET = 1388;
// Byte offset of the register address in the reply to VXD_MAP_REGISTER.
constexpr std::uint32_t VXD_MAP_REPLY_ADDRESS = 4;

// The driver's devices: on NT card k is "\\.\molaOut<13k>" (the driver's "\Device\molaOut"
// from the second backslash on), on 9x one virtual device serves every card.
constexpr const char* DRIVER_NT_DEVICE_NAME = "\\molaOut";
constexpr std::int32_t DRIVER_NT_DEVICE_STEP = 13;
constexpr const char* DRIVER_VXD_PATH = "\\\\.\\mola.vxd";

// The register pointer is the register address plus this many bytes: control word 0.
constexpr std::uint32_t REGISTER_POINTER_OFFSET = PORT_CONTROL_WORD_0;

// What CTL_CARD_INFO returns, little-endian, byte for byte. Its fields are read from the
// bytes of the reply at their offsets here (driver_get_le32), whatever the host's byte order.
struct CardInfo {
    std::uint32_t magic;         // bytes 0..3, CARD_INFO_MAGIC
    std::int32_t revision;       // bytes 4..7
    std::uint8_t unused1[64];    // bytes 8..71
    std::int32_t card_count;     // bytes 72..75
    std::uint8_t unused2[16];    // bytes 76..91
};
static_assert(sizeof(CardInfo) == CARD_INFO_SIZE, "CardInfo is 92 bytes");

// Little-endian 32-bit words of the driver's records (CardInfo, VxdRequest, VxdReply).
constexpr std::uint32_t driver_get_le32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

constexpr void driver_put_le32(std::uint8_t* p, std::uint32_t v)
{
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}

enum class DriverFamily : std::uint8_t { Nt, Win9x };

// Why the last driver_probe failed, for the messages and log lines of its callers.
enum class ProbeFailure : std::uint8_t {
    None,          // the last probe succeeded
    NotFound,      // the device could not be opened: no driver, or no device for that card
    NoAnswer,      // the driver failed a request for the card's information
    BadAnswer,     // the driver answered with a record this tool does not understand
    BadCount,      // the driver reports a card count outside 1 to MAX_CARDS (kept in CardCount)
    MapFailed,     // the card is there, but its register block could not be mapped
};

// Card facts, rewritten by every driver_probe; the last probe wins.
extern DriverFamily CardDriverFamily;
extern std::int32_t CardCount;
extern std::int32_t HardwareRevision;
extern RegAddr RegisterPointer; // register address + REGISTER_POINTER_OFFSET; set only by a probe with mapping
extern char DevicePath[32];     // NT device path of the card last probed
extern ProbeFailure LastProbeFailure;

// Opens the current device path, sends one request and closes it again.
int driver_control(std::uint32_t code, void* in, std::uint32_t in_size, void* out,
                   std::uint32_t out_size);

// Probes card k (0-based); with map nonzero also maps its register block.
int driver_probe(std::int32_t k, int map);

// Releases the mapping of the last probe with mapping (NT line only).
void driver_release();
