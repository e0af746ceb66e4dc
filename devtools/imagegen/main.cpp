// imagegen: writes the two embedded XSVF programs and their SHA-256 digests.
//   imagegen DIR   writes DIR/pci.xsvf, DIR/cardbus.xsvf and DIR/SHA256SUMS
#include <cstdio>
#include <string>
#include <vector>

#include "devtools/imagegen/program_generator.h"
#include "devtools/imagegen/sha256.h"

namespace {

bool write_file(const std::string& path, const std::uint8_t* data, std::size_t size)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        std::fprintf(stderr, "imagegen: cannot create %s\n", path.c_str());
        return false;
    }
    const bool ok = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: imagegen DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    struct Item {
        SimCardModel model;
        const char* name;
    };
    const Item items[] = {{SimCardModel::Pci, "pci.xsvf"}, {SimCardModel::CardBus, "cardbus.xsvf"}};
    std::string sums;
    for (const Item& item : items) {
        std::vector<std::uint8_t> program;
        imagegen_program(item.model, &program);
        if (!write_file(dir + "/" + item.name, program.data(), program.size())) {
            return 1;
        }
        sums += sha256_hex(program.data(), program.size()) + "  " + item.name + "\n";
        std::printf("%s: %zu bytes\n", item.name, program.size());
    }
    const auto* text = reinterpret_cast<const std::uint8_t*>(sums.data());
    return write_file(dir + "/SHA256SUMS", text, sums.size()) ? 0 : 1;
}
