// Vector buffer operations.
#include "xsvf/vector_buffer.h"

#include <cstdio>

#include "images/image_source.h"

namespace {

// A count as a safe array bound: 0..MAX_LEN.
int bounded(std::int32_t count)
{
    if (count < 0) {
        return 0;
    }
    return count > MAX_LEN ? MAX_LEN : static_cast<int>(count);
}

} // namespace

std::int32_t vb_value(const VectorBuffer* v)
{
    std::uint32_t value = 0;
    const int n = bounded(v->count);
    for (int i = 0; i < n; ++i) {
        value = (value << 8) | v->data[i];
    }
    return static_cast<std::int32_t>(value);
}

int vb_equal_masked(const VectorBuffer* first, const VectorBuffer* second, const VectorBuffer* mask)
{
    const int n = bounded(first->count);
    const int second_count = bounded(second->count);
    const int mask_count = mask ? bounded(mask->count) : 0;
    for (int i = n - 1; i >= 0; --i) {
        const unsigned m = (mask && i < mask_count) ? mask->data[i] : 0xFFu;
        if (i >= second_count) {
            if (m != 0) {
                return 0;
            }
            continue;
        }
        if ((first->data[i] & m) != (second->data[i] & m)) {
            return 0;
        }
    }
    return 1;
}

void vb_add(VectorBuffer* result, const VectorBuffer* a, const VectorBuffer* b)
{
    const int n = bounded(a->count);
    const int b_count = bounded(b->count);
    result->count = static_cast<std::int16_t>(n);
    unsigned carry = 0;
    for (int i = n - 1; i >= 0; --i) {
        const unsigned sum = a->data[i] + (i < b_count ? b->data[i] : 0u) + carry;
        result->data[i] = static_cast<std::uint8_t>(sum & 0xFFu);
        carry = sum >> 8;
    }
}

void vb_read(VectorBuffer* v, std::int16_t n)
{
    const int count = bounded(n);
    v->count = static_cast<std::int16_t>(count);
    for (int i = 0; i < count; ++i) {
        image_next_byte(&v->data[i]);
    }
}

void vb_print(const VectorBuffer* v)
{
    if (!v) {
        return;
    }
    std::fputs("0x", stdout);
    const int n = bounded(v->count);
    for (int i = 0; i < n; ++i) {
        std::printf("%02x", static_cast<unsigned>(v->data[i]));
    }
}

void vb_print_line(const char* label, const VectorBuffer* v)
{
    std::fputs(label, stdout);
    vb_print(v);
    std::fputs("\n", stdout);
}

std::int32_t vb_bytes_for_bits(std::int32_t bits)
{
    // In 64 bits so that bits near INT32_MAX cannot overflow; truncates toward zero.
    return static_cast<std::int32_t>((static_cast<std::int64_t>(bits) + 7) / 8);
}

void vb_insert_data(VectorBuffer* tdi, const VectorBuffer* data, const VectorBuffer* address_mask,
                    const VectorBuffer* data_mask)
{
    vb_add(tdi, tdi, address_mask);

    const int tdi_count = bounded(tdi->count);
    const int mask_count = bounded(data_mask->count);
    const int last = (mask_count < tdi_count ? mask_count : tdi_count) - 1;
    int k = bounded(data->count); // next data byte to take is data[k - 1]
    unsigned d = 0;               // current data byte
    unsigned sel = 0;             // selector of the next bit of d; 0: fetch the next byte
    for (int i = last; i >= 0; --i) {
        unsigned m = data_mask->data[i];
        if (m == 0) {
            continue;
        }
        unsigned t = tdi->data[i];
        unsigned pos = 1;
        while (m != 0) {
            if (m & 1u) {
                if (sel == 0) {
                    d = k > 0 ? data->data[--k] : 0u;
                    sel = 1;
                }
                t = (d & sel) ? (t | pos) : (t & ~pos);
                sel = (sel << 1) & 0xFFu;
            }
            pos <<= 1;
            m >>= 1;
        }
        tdi->data[i] = static_cast<std::uint8_t>(t);
    }
}

std::int32_t vb_count_ones(const VectorBuffer* v)
{
    std::int32_t ones = 0;
    const int n = bounded(v->count);
    for (int i = 0; i < n; ++i) {
        for (unsigned b = v->data[i]; b != 0; b &= b - 1) {
            ++ones;
        }
    }
    return ones;
}

bool vb_fits_bits(std::uint32_t bits)
{
    return (static_cast<std::uint64_t>(bits) + 7) / 8 <= static_cast<std::uint64_t>(MAX_LEN);
}
