// Vector buffers: the player's unit of TDI data, expected and captured TDO, masks and 4-byte
// operands. A vector is big-endian: data[0] is the most significant byte, bit 0 of
// data[count - 1] the least significant bit and the first one shifted.
#pragma once

#include <cstdint>

constexpr std::int16_t MAX_LEN = 7000;

struct VectorBuffer {
    std::int16_t count;            // valid bytes, 0 to MAX_LEN
    std::uint8_t data[MAX_LEN];    // most significant byte first
};

// Big-endian value of the buffer; of more than four bytes, the last four count. 0 for count 0.
std::int32_t vb_value(const VectorBuffer* v);

// 1 when first and second are equal under mask (null: every bit), else 0. The count of first
// governs. A mask byte beyond the mask's own count selects every bit (as a null mask does),
// and a byte of second beyond its own count holds no value, so it differs wherever the mask
// selects a bit: missing data never passes as a match.
int vb_equal_masked(const VectorBuffer* first, const VectorBuffer* second, const VectorBuffer* mask);

// result := a + b over a's count, modulo 256^count; the carry out of data[0] is dropped.
// Bytes of b beyond its own count are taken as 0. result may be a or b.
void vb_add(VectorBuffer* result, const VectorBuffer* a, const VectorBuffer* b);

// Fills v with n bytes of the stream; n is bounded to 0..MAX_LEN.
void vb_read(VectorBuffer* v, std::int16_t n);

// Prints "0x" and two lower-case hex digits per byte, no line end; nothing for null.
void vb_print(const VectorBuffer* v);
// Prints label, the vector (vb_print) and a line end: one line of the diagnostic log.
void vb_print_line(const char* label, const VectorBuffer* v);

// Whether a vector of this many bits fits a buffer: (bits + 7) / 8 at most MAX_LEN, computed
// without overflow, so that no length near 2^32 wraps around into an accepted one.
bool vb_fits_bits(std::uint32_t bits);

// Bytes that hold a number of bits: (bits + 7) / 8, computed without overflow.
std::int32_t vb_bytes_for_bits(std::int32_t bits);

// The next TDI vector of XSDRINC: tdi += address_mask, then the j-th 1 bit of data_mask
// (counting from the least significant end) receives the j-th bit of data. Mask bytes
// beyond tdi's count are ignored, and data bits beyond data's count are taken as 0.
void vb_insert_data(VectorBuffer* tdi, const VectorBuffer* data, const VectorBuffer* address_mask,
                    const VectorBuffer* data_mask);

// Number of 1 bits in the buffer's bytes.
std::int32_t vb_count_ones(const VectorBuffer* v);
