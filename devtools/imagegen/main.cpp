// imagegen: writes the embedded XSVF program of each card model and their SHA-256 digests.
//   imagegen DIR   writes DIR/<key>.xsvf for each model (pci.xsvf, cardbus.xsvf) and DIR/SHA256SUMS
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
    std::string sums;
    for (int model = 0; model < CARD_MODEL_COUNT; ++model) {
        std::vector<std::uint8_t> program;
        imagegen_program(static_cast<CardModel>(model), &program);
        const std::string name = std::string(card_model_of(static_cast<CardModel>(model)).key) + ".xsvf";
        if (!write_file(dir + "/" + name, program.data(), program.size())) {
            return 1;
        }
        sums += sha256_hex(program.data(), program.size()) + "  " + name + "\n";
        std::printf("%s: %zu bytes\n", name.c_str(), program.size());
    }
    const auto* text = reinterpret_cast<const std::uint8_t*>(sums.data());
    return write_file(dir + "/SHA256SUMS", text, sums.size()) ? 0 : 1;
}
