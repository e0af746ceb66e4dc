#include "devtools/imagegen/program_generator.h"

#include "sim/device_definition.h"

namespace {

constexpr std::uint32_t FIRST_FETCH_BITS = DEVICE_READ_BITS;                        // 4224
constexpr std::uint32_t FETCH_STRIDE_BITS = 2 * DEVICE_ROW_BITS;                     // 4096
constexpr std::uint32_t LAST_FETCH_BITS = FETCH_STRIDE_BITS - (FIRST_FETCH_BITS - FETCH_STRIDE_BITS); // 3968

constexpr std::uint32_t FETCHES = 191;
static_assert(FIRST_FETCH_BITS + (FETCHES - 2) * FETCH_STRIDE_BITS + LAST_FETCH_BITS == DEVICE_MEMORY_BITS);

// Block address of the k-th verify fetch (k = 0..190) and its scan length in bits.
std::uint32_t fetch_address(std::uint32_t k)
{
    // The first fetch reads 33 blocks from block 0, every later one 32 blocks on from there.
    return k == 0 ? 0 : (FIRST_FETCH_BITS + (k - 1) * FETCH_STRIDE_BITS) / DEVICE_BLOCK_BITS;
}

std::uint32_t fetch_bits(std::uint32_t k)
{
    if (k == 0) {
        return FIRST_FETCH_BITS;
    }
    return k + 1 == FETCHES ? LAST_FETCH_BITS : FETCH_STRIDE_BITS;
}

// Bit functions for Writer::vector: bit i of a value (a short register), all zeros, all ones,
// and the configuration of a card model from bit `base` on.
constexpr auto bits_of(std::uint64_t v)
{
    return [v](std::uint32_t i) { return i < 64 ? static_cast<int>((v >> i) & 1u) : 0; };
}
constexpr auto ZEROS = [](std::uint32_t) { return 0; };
constexpr auto ONES = [](std::uint32_t) { return 1; };
auto configuration(CardModel model, std::uint32_t base)
{
    return [=](std::uint32_t i) { return device_configuration_bit(model, base + i); };
}

struct Writer {
    std::vector<std::uint8_t>* out;
    std::uint32_t size_bits = 0; // data-register length set by the last XSDRSIZE

    void byte(std::uint32_t b) { out->push_back(static_cast<std::uint8_t>(b)); }

    void u32(std::uint32_t v) // most significant byte first
    {
        for (int shift = 24; shift >= 0; shift -= 8) {
            byte(v >> shift);
        }
    }

    // A vector of size_bits bits, most significant byte first; bit i is the i-th bit shifted.
    template <typename Bit>
    void vector(Bit bit)
    {
        const std::uint32_t n = (size_bits + 7) / 8;
        for (std::uint32_t k = 0; k < n; ++k) {
            const std::uint32_t first = (n - 1 - k) * 8; // bit number of this byte's bit 0
            std::uint32_t value = 0;
            for (std::uint32_t i = 0; i < 8 && first + i < size_bits; ++i) {
                value |= static_cast<std::uint32_t>(bit(first + i) & 1) << i;
            }
            byte(value);
        }
    }

    void runtest(std::uint32_t us)
    {
        byte(XRUNTEST);
        u32(us);
    }

    void sir(std::uint8_t instruction)
    {
        byte(XSIR);
        byte(DEVICE_IR_LENGTH);
        byte(instruction);
    }

    // An instruction scan after setting the time to wait in Run-Test/Idle after it.
    void sir(std::uint8_t instruction, std::uint32_t us)
    {
        runtest(us);
        sir(instruction);
    }

    void sdrsize(std::uint32_t bits)
    {
        byte(XSDRSIZE);
        u32(bits);
        size_bits = bits;
    }

    template <typename Bit>
    void mask(Bit bit)
    {
        byte(XTDOMASK);
        vector(bit);
    }

    // A data scan: the bits shifted in on TDI, then those expected on TDO.
    template <typename Tdi, typename Tdo>
    void sdrtdo(Tdi tdi, Tdo expected)
    {
        byte(XSDRTDO);
        vector(tdi);
        vector(expected);
    }

    // A data scan of a short register: XSDRSIZE, XTDOMASK, XSDRTDO.
    template <typename Mask>
    void scan(std::uint32_t bits, Mask mask_bits, std::uint64_t tdi, std::uint64_t expected)
    {
        sdrsize(bits);
        mask(mask_bits);
        sdrtdo(bits_of(tdi), bits_of(expected));
    }
};

// 1. Identify, enter programming mode, erase.
void identify_and_erase(Writer& w, std::uint32_t idcode)
{
    w.byte(XREPEAT);
    w.byte(0);
    w.byte(XSTATE);
    w.byte(1);
    w.sir(DEVICE_DISABLE, DEVICE_MODE_US); // a device left in a mode by an interrupted update leaves it
    w.sir(DEVICE_IDCODE, 0);
    w.scan(DEVICE_IDCODE_LENGTH, bits_of(DEVICE_IDCODE_MASK), 0, idcode);
    w.sir(DEVICE_ENABLE, DEVICE_MODE_US);
    w.sir(DEVICE_BYPASS, 0);
    w.sir(DEVICE_STATUS);
    w.scan(DEVICE_STATUS_LENGTH, bits_of(DEVICE_STATUS_ONE | 0x02 | DEVICE_STATUS_PROGRAM | DEVICE_STATUS_VERIFY), 0,
           DEVICE_STATUS_ONE | DEVICE_STATUS_PROGRAM);
    w.sir(DEVICE_ADDRESS, DEVICE_ADDRESS_US);
    w.scan(DEVICE_ADDRESS_LENGTH, ZEROS, 0, 0);
    w.sir(DEVICE_BYPASS);
    w.scan(DEVICE_BYPASS_LENGTH, bits_of(1), 0, 0);
    w.runtest(DEVICE_ERASE_US);
    for (std::uint32_t s = 0; s < DEVICE_SECTORS; ++s) {
        w.sir(DEVICE_ERASE);
    }
}

// 2. Identify again, check blank, program row 0; 3. rows 1 to 381, after the last one the
// address register selected.
void program_rows(Writer& w, CardModel model, std::uint32_t idcode)
{
    w.byte(XSTATE);
    w.byte(1);
    w.sir(DEVICE_ENABLE, DEVICE_MODE_US);
    w.sir(DEVICE_BYPASS, 0);
    w.sir(DEVICE_IDCODE);
    w.scan(DEVICE_IDCODE_LENGTH, bits_of(DEVICE_IDCODE_MASK), 0, idcode);
    w.sir(DEVICE_STATUS);
    w.scan(DEVICE_STATUS_LENGTH, ONES, 0,
           DEVICE_STATUS_ONE | DEVICE_STATUS_PROGRAM | DEVICE_STATUS_BLANK);
    w.sir(DEVICE_LOAD);
    w.sdrsize(DEVICE_ROW_BITS);
    w.mask(ZEROS);
    // Row 0 into the row buffer: its configuration on TDI; TDO is not compared.
    w.sdrtdo(configuration(model, 0), ZEROS);
    w.sir(DEVICE_ADDRESS, DEVICE_ADDRESS_US);
    w.scan(DEVICE_ADDRESS_LENGTH, ONES, 0, DEVICE_SECTORS * DEVICE_SECTOR_BLOCKS);
    w.sir(DEVICE_PROGRAM, DEVICE_PROGRAM_US);
    w.sir(DEVICE_LOAD, 0);
    w.sdrsize(DEVICE_ROW_BITS);
    w.mask(ZEROS);
    for (std::uint32_t row = 1; row < DEVICE_ROWS; ++row) {
        w.sdrtdo(configuration(model, row * DEVICE_ROW_BITS), ZEROS);
        w.sir(DEVICE_PROGRAM, DEVICE_PROGRAM_US);
        w.sir(row + 1 < DEVICE_ROWS ? DEVICE_LOAD : DEVICE_ADDRESS, 0);
    }
}

// 4. Check that every row stepped the address, done flag, verify mode, first fetch; 5. and 6.
// fetches 0 to 189, each followed by the address of the next fetch (the outline's section 6
// begins with the last pass, fetch 189), then the last, shorter one.
void verify(Writer& w, CardModel model)
{
    w.runtest(DEVICE_ADDRESS_US);
    w.scan(DEVICE_ADDRESS_LENGTH, ONES, fetch_address(0),
           DEVICE_ROWS * DEVICE_ROW_BLOCKS);
    w.sir(DEVICE_DONE, DEVICE_DONE_US);
    w.sir(DEVICE_VERIFY, DEVICE_MODE_US);
    w.sir(DEVICE_BYPASS, 0);
    w.sir(DEVICE_STATUS);
    w.scan(DEVICE_STATUS_LENGTH, ONES, 0,
           DEVICE_STATUS_ONE | DEVICE_STATUS_VERIFY | DEVICE_STATUS_DONE);
    w.sir(DEVICE_READ, DEVICE_READ_US);
    w.sdrsize(fetch_bits(0));
    for (std::uint32_t k = 0; k + 1 < FETCHES; ++k) {
        // Fetch k read back: zeros on TDI, the configuration expected on TDO.
        w.mask(ONES);
        w.sdrtdo(ZEROS, configuration(model, fetch_address(k) * DEVICE_BLOCK_BITS));
        // The address of fetch k + 1, checking that the device still holds that of fetch k.
        w.sir(DEVICE_ADDRESS, 0);
        w.runtest(DEVICE_ADDRESS_US);
        w.scan(DEVICE_ADDRESS_LENGTH, ONES, fetch_address(k + 1), fetch_address(k));
        w.sir(DEVICE_READ, DEVICE_READ_US);
        w.sdrsize(fetch_bits(k + 1));
    }
    w.mask(ONES);
    w.sdrtdo(ZEROS, configuration(model, fetch_address(FETCHES - 1) * DEVICE_BLOCK_BITS));
}

} // namespace

void imagegen_program(CardModel model, std::vector<std::uint8_t>* out)
{
    Writer w{out};
    identify_and_erase(w, device_idcode(model));
    program_rows(w, model, device_idcode(model));
    verify(w, model);
    // 7. Leave verify mode. DISABLE is idempotent; it is given three times so that one
    //    disturbed instruction scan cannot leave the device in a mode.
    for (int i = 0; i < 3; ++i) {
        w.sir(DEVICE_DISABLE, DEVICE_MODE_US);
        w.sir(DEVICE_BYPASS, 0);
    }
    w.byte(XCOMPLETE);
}
